// What every test folder needs once: a scratch folder, byte-exact file access,
// sea files built from lines in either encoding, and a capture of the reports.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/FileIO.h"

namespace testsupport {

namespace fs = std::filesystem;

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
                cp -= 0x10000;
                unit(0xD800 + (cp >> 10));
                unit(0xDC00 + (cp & 0x3FF));
            } else {
                unit(cp);
            }
        }
        unit(L'\r');
        unit(L'\n');
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
inline std::vector<std::wstring> LinesOfUtf16(const std::string& bytes) {
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

inline std::vector<std::wstring> LinesOfFile(const fs::path& path) { return LinesOfUtf16(ReadBytes(path)); }

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
