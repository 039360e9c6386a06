// Helpers shared by the sea tests: a scratch folder, byte-exact file access,
// sea files built from lines in either encoding, and a capturing output handler.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "../../bench/SeaGenerator.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/CString.h"
#include "kelvaro/sea/ResourceSea.h"

namespace seatest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        static std::atomic<unsigned> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = "kelvaro-sea-";
        if (info != nullptr) leaf += std::string(info->test_suite_name()) + "-" + info->name();
        leaf += "-" + std::to_string(counter++) + "-" + std::to_string(std::random_device{}());
        for (char& c : leaf)
            if (c == '/') c = '_';
        m_path = std::filesystem::temp_directory_path() / leaf;
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        // Read-only files inside must not keep the folder alive.
        for (auto& item : std::filesystem::recursive_directory_iterator(m_path, ignored))
            std::filesystem::permissions(item.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::filesystem::path Path(const std::string& leaf) const { return m_path / leaf; }
    CString Wide(const std::string& leaf) const { return CString(Path(leaf).wstring()); }
    const std::filesystem::path& Root() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A sea file in UTF-16LE with byte-order mark, every line ended by CR LF.
inline std::string SeaUtf16(const std::vector<std::wstring>& lines) { return seagen::EncodeUtf16(lines); }

// A sea file in code page 1252 (characters below U+0100 only), lines ended by CR LF.
inline std::string Sea1252(const std::vector<std::wstring>& lines) { return seagen::Encode1252(lines); }

// The lines of a UTF-16LE file with byte-order mark and CR LF line ends.
inline std::vector<std::wstring> LinesOfUtf16(const std::string& bytes) {
    std::vector<std::wstring> lines;
    std::wstring current;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned u = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            unsigned lo = static_cast<unsigned char>(bytes[i + 2]) | (static_cast<unsigned char>(bytes[i + 3]) << 8);
            u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
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

inline std::vector<std::wstring> LinesOfFile(const std::filesystem::path& path) {
    return LinesOfUtf16(ReadBytes(path));
}

// Opens the protected operations of a sea to the tests.
class TestSea : public CResourceSea {
public:
    using CResourceSea::CResourceSea;
    using CResourceSea::DeleteSeaLine;
    using CResourceSea::GetEntry;
    using CResourceSea::SeeInhaltEinlesen;
    using CResourceSea::SeeInhaltSpeichern;
    using CResourceSea::UpdateFile;

    // Value `index` of entry `name`, or "<missing>".
    std::wstring Value(const wchar_t* name, unsigned index = 0) const {
        CResourceEntry* entry = GetEntry(name);
        if (entry == nullptr || index >= entry->NValues()) return L"<missing>";
        return entry->GetString(index).Str();
    }
};

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
    void Clear() { m_reports.clear(); }

private:
    PrWin::OutputHandler m_previous;
    std::vector<Report> m_reports;
};

}  // namespace seatest
