// Helpers shared by the file-layer tests: a scratch folder, byte-exact file access, and
// reading every line of a file through CUnicodeFile.
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

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/UnicodeFile.h"

namespace filestest {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir()
    {
        static std::atomic<unsigned> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = "kelvaro-files-";
        if (info != nullptr)
            leaf += std::string(info->test_suite_name()) + "-" + info->name();
        leaf += "-" + std::to_string(counter++) + "-" + std::to_string(std::random_device{}());
        for (char& c : leaf)
            if (c == '/')
                c = '_';
        m_path = fs::temp_directory_path() / leaf;
        fs::create_directories(m_path);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
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
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(m_path))
            names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path m_path;
};

inline std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct ReadResult {
    bool opened = false;
    std::vector<std::wstring> lines;
    std::vector<bool> tooLong;
    unsigned codePage = 0;
};

// Opens path, reads the byte-order mark and every line with the given capacity.
inline ReadResult ReadAllLines(const CString& path, unsigned capacity = 8192)
{
    ReadResult result;
    CUnicodeFile file;
    if (!file.Open(path, CUnicodeFile::modeRead))
        return result;
    result.opened = true;
    file.ReadBOM();
    result.codePage = file.m_codePage;
    std::vector<wchar_t> buffer(capacity + 1, L'#');
    while (file.ReadNextLine(buffer.data(), capacity)) {
        result.lines.emplace_back(buffer.data());
        result.tooLong.push_back(file.m_lineTooLong);
        if (result.lines.size() > 10'000'000)
            break;  // a reader that never ends would otherwise hang the test
    }
    EXPECT_EQ(buffer[capacity], L'#') << "the reader wrote past the capacity it was given";
    return result;
}

} // namespace filestest
