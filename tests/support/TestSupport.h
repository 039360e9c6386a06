// What every test folder needs once: a scratch folder, byte-exact file access,
// sea files built from lines in either encoding, a capture of the reports,
// and case tables kept as text files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/UnicodeFile.h"

namespace testsupport {

namespace fs = std::filesystem;

// tests/data; only TestData.cpp is built knowing where it is, so a moved
// checkout compiles every other test file the same.
fs::path DataDir();

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        static std::atomic<unsigned> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = "kelvaro-";
        if (info != nullptr) leaf += std::string(info->test_suite_name()) + "-" + info->name();
        leaf += "-" + std::to_string(counter++) + "-" + std::to_string(std::random_device{}());
        std::replace(leaf.begin(), leaf.end(), '/', '_');
        m_path = fs::temp_directory_path() / leaf;
        fs::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        // Read-only files inside must not keep the folder alive.
        for (auto& item : fs::recursive_directory_iterator(m_path, ignored))
            fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    fs::path Path(const std::string& leaf) const { return m_path / leaf; }
    // The path as the library takes it (file names are UTF-8 on disk).
    CString Wide(const std::string& leaf) const { return FileIO::FromNativePath(Path(leaf).string()); }
    const fs::path& Root() const { return m_path; }
    // Names in the folder, so tests can see that no staged file was left behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(m_path)) names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path m_path;
};

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A sea file in UTF-16LE with byte-order mark, every line ended by CR LF
// (characters above U+FFFF as surrogate pairs).
inline std::string SeaUtf16(const std::vector<std::wstring>& lines) {
    std::string bytes = "\xFF\xFE";
    auto unit = [&bytes](unsigned u) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    };
    for (const auto& line : lines) {
        for (wchar_t ch : line) {
            unsigned cp = static_cast<unsigned>(ch);
            if (cp > 0xFFFF) {
                unit(0xD800 + ((cp - 0x10000) >> 10));
                cp = 0xDC00 + (cp & 0x3FF);
            }
            unit(cp);
        }
        for (unsigned end : {L'\r', L'\n'}) unit(end);
    }
    return bytes;
}

// A sea file in code page 1252 (characters below U+0100 outside 0x80-0x9F only), lines ended by CR LF.
inline std::string Sea1252(const std::vector<std::wstring>& lines) {
    std::string bytes;
    for (const auto& line : lines) {
        for (wchar_t ch : line) bytes.push_back(static_cast<char>(static_cast<unsigned char>(ch)));
        bytes += "\r\n";
    }
    return bytes;
}

// The lines of a UTF-16LE file with byte-order mark and CR LF line ends.
inline std::vector<std::wstring> LinesOfFile(const fs::path& path) {
    const std::string bytes = ReadBytes(path);
    std::vector<std::wstring> lines;
    std::wstring current;
    auto at = [&bytes](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned u = at(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            u = 0x10000 + ((u - 0xD800) << 10) + (at(i + 2) - 0xDC00);
            i += 2;
        }
        if (u == L'\n') {
            if (!current.empty() && current.back() == L'\r') current.pop_back();
            lines.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<wchar_t>(u));
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

struct ReadResult {
    bool opened = false;
    std::vector<std::wstring> lines;
    std::vector<bool> tooLong;
    unsigned codePage = 0;
};

// Every line of a file read through CUnicodeFile with the given capacity, after its byte-order mark.
inline ReadResult ReadAllLines(const CString& path, unsigned capacity = 8192) {
    ReadResult result;
    CUnicodeFile file;
    if (!file.Open(path, CUnicodeFile::modeRead)) return result;
    result.opened = true;
    file.ReadBOM();
    result.codePage = file.m_codePage;
    std::vector<wchar_t> buffer(capacity + 1, L'#');
    while (file.ReadNextLine(buffer.data(), capacity)) {
        result.lines.emplace_back(buffer.data());
        result.tooLong.push_back(file.m_lineTooLong);
        if (result.lines.size() > 10'000'000) break;  // a reader that never ends would hang the test
    }
    EXPECT_EQ(buffer[capacity], L'#') << "the reader wrote past the capacity it was given";
    return result;
}

// One case of a table under tests/data/cases/: ASCII, one case a line, fields split by '|',
// blank lines and lines starting with '#' skipped. In a field \t \n \r \v \f \\ \| \, and
// \uXXXX \UXXXXXXXX stand for what they name; "~" is a missing (null) field.
struct CaseRow {
    std::string file;
    int line = 0;
    std::vector<std::string> raw;  // escapes not yet decoded

    std::string Where() const { return file + ":" + std::to_string(line); }
    bool Null(std::size_t i) const { return raw.at(i) == "~"; }
    std::wstring Text(std::size_t i) const { return Decode(raw.at(i)); }
    long long Number(std::size_t i) const { return std::stoll(raw.at(i), nullptr, 0); }
    bool Flag(std::size_t i) const { return raw.at(i) == "1" || raw.at(i) == "true"; }
    // Bytes written as hexadecimal pairs between blanks ("FF FE 41 00").
    std::string Bytes(std::size_t i) const {
        std::string out;
        std::istringstream in(raw.at(i));
        for (std::string pair; in >> pair;) out.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
        return out;
    }
    // A list of texts split at ','; "-" is the empty list.
    std::vector<std::wstring> List(std::size_t i) const {
        std::vector<std::wstring> out;
        if (raw.at(i) == "-") return out;
        for (const std::string& part : Split(raw.at(i), ',')) out.push_back(Decode(part));
        return out;
    }

    static std::vector<std::string> Split(const std::string& text, char separator) {
        std::vector<std::string> parts(1);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) {
                parts.back() += text.substr(i, 2);
                ++i;
            } else if (text[i] == separator) {
                parts.emplace_back();
            } else {
                parts.back() += text[i];
            }
        }
        return parts;
    }
    static std::wstring Decode(const std::string& text) {
        std::wstring out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c != '\\' || i + 1 == text.size()) {
                out += static_cast<wchar_t>(static_cast<unsigned char>(c));
                continue;
            }
            const char e = text[++i];
            const std::size_t digits = e == 'u' ? 4 : e == 'U' ? 8 : 0;
            if (digits != 0) {
                out += static_cast<wchar_t>(std::stoul(text.substr(i + 1, digits), nullptr, 16));
                i += digits;
                continue;
            }
            const std::string from = "tnrvf";
            const std::wstring to = L"\t\n\r\v\f";
            out += from.find(e) != std::string::npos ? to[from.find(e)] : static_cast<wchar_t>(e);
        }
        return out;
    }
};

// The cases of tests/data/cases/<name>, each with at least `fields` fields.
inline std::vector<CaseRow> ReadCases(const std::string& name, std::size_t fields) {
    const std::string path = testsupport::DataDir().string() + "/cases/" + name;
    std::ifstream in(path);
    EXPECT_TRUE(in.is_open()) << path;
    std::vector<CaseRow> rows;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        CaseRow row{name, line, CaseRow::Split(text, '|')};
        EXPECT_GE(row.raw.size(), fields) << row.Where();
        row.raw.resize(std::max(row.raw.size(), fields));
        rows.push_back(row);
    }
    EXPECT_FALSE(rows.empty()) << path;
    return rows;
}

struct Report {
    PrWin::Category category;
    PrWin::Style style;
    std::wstring text;
};

// Collects every report while it lives; the handler installed before comes back afterwards.
class CaptureOutput {
public:
    CaptureOutput() {
        m_previous = PrWin::InstallOutputHandler(
            [this](PrWin::Category category, PrWin::Style style, const wchar_t* text) {
                m_reports.push_back({category, style, text ? text : L""});
            });
    }
    ~CaptureOutput() {
        if (m_previous)
            PrWin::InstallOutputHandler(m_previous);
        else
            PrWin::UninstallOutputHandler();
    }
    CaptureOutput(const CaptureOutput&) = delete;
    CaptureOutput& operator=(const CaptureOutput&) = delete;

    const std::vector<Report>& Reports() const { return m_reports; }
    std::vector<std::wstring> Texts() const {
        std::vector<std::wstring> texts;
        for (const auto& r : m_reports) texts.push_back(r.text);
        return texts;
    }
    // Whether some report contains `part`.
    bool Has(const std::wstring& part) const {
        return std::any_of(m_reports.begin(), m_reports.end(),
                           [&part](const Report& r) { return r.text.find(part) != std::wstring::npos; });
    }
    void Clear() { m_reports.clear(); }

private:
    PrWin::OutputHandler m_previous;
    std::vector<Report> m_reports;
};

}  // namespace testsupport
