// Writing a line takes a quick path for characters of one UTF-16 unit or one
// 1252 byte and the general encoder from the first other one: both must give
// the bytes of Encode, and the quick path must not let through a character
// that a strict write refuses.
#include <gtest/gtest.h>

#include <string>

#include "kelvaro/platform/UnicodeFile.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ReadBytes;
using testsupport::ScratchDir;

TEST(WriteLine, QuickAndGeneralPathsGiveTheSameBytes) {
    const std::wstring texts[] = {
        L"", L"plain ASCII", L"\u007F\u0080\u00E9", L"a\u20ACb", L"\uD7FF\uE000\uFFFF", L"x\U0001F600y",
    };
    ScratchDir dir;
    for (const unsigned codePage : {1200u, 1201u, 65001u, 1252u})
        for (const std::wstring& text : texts) {
            CUnicodeFile file;
            file.m_codePage = codePage;
            ASSERT_TRUE(file.Open(dir.Wide("w.txt"), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite));
            ASSERT_TRUE(file.WriteLine(text.c_str(), CUnicodeFile::LineEnd::lf));
            ASSERT_TRUE(file.Close());
            EXPECT_EQ(ReadBytes(dir.Path("w.txt")), CUnicodeFile::Encode(text + L"\n", codePage))
                << "code page " << codePage << ", text of " << text.size();
        }
}

TEST(WriteLine, StrictWritesRefuseWhatTheQuickPathMustNotTake) {
    // Lone surrogates and values no character has (a negative wchar_t among
    // them) come after characters the quick path has already stored.
    const struct {
        unsigned codePage;
        std::wstring bad;
    } cases[] = {{1200, std::wstring(1, static_cast<wchar_t>(0xD800))},
                 {1200, std::wstring(1, static_cast<wchar_t>(-1))},
                 {1252, L"\u0100"},
                 {1252, std::wstring(1, static_cast<wchar_t>(-1))}};
    ScratchDir dir;
    for (const auto& c : cases) {
        CUnicodeFile file;
        file.m_codePage = c.codePage;
        file.m_strictEncoding = true;
        ASSERT_TRUE(file.Open(dir.Wide("r.txt"), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite));
        EXPECT_FALSE(file.WriteLine((L"good " + c.bad + L" tail").c_str(), CUnicodeFile::LineEnd::lf));
        EXPECT_EQ(file.GetLastError(), EILSEQ);
        file.Abandon();
    }
}

}  // namespace
