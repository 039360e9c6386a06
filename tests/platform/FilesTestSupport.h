// Helpers of the file-layer tests: the shared support, and reading every line
// of a file through CUnicodeFile.
#pragma once

#include <string>
#include <vector>

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "support/TestSupport.h"

namespace filestest {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::ScratchDir;
using testsupport::WriteBytes;

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
