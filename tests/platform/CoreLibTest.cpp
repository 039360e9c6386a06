#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "kelvaro/platform/CoreLib.h"

namespace {

TEST(CoreLib, SkipNonWhiteSpaceStopsAtWhiteSpaceOrTerminatorAndKeepsNull)
{
    const struct { const wchar_t* text; int expected; } cases[] = {  // expected: offset of the result
        {L"", 0}, {L"abc", 3}, {L"abc def", 3}, {L" abc", 0}, {L"%d\t%s", 2}, {L"x\ny", 1}, {L"x\ry", 1},
        {L"x\vy", 1}, {L"x\fy", 1}, {L"%lf  %d", 3}, {L"\u00A7\u00B6 ", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "text length " << std::wcslen(c.text) << " expected " << c.expected);
        EXPECT_EQ(skip_non_white_space(c.text) - c.text, c.expected);
        std::wstring copy(c.text);
        wchar_t* mutableText = copy.data();
        EXPECT_EQ(skip_non_white_space(mutableText) - mutableText, c.expected);
    }
    EXPECT_EQ(skip_non_white_space(static_cast<const wchar_t*>(nullptr)), nullptr);
    EXPECT_EQ(skip_non_white_space(static_cast<wchar_t*>(nullptr)), nullptr);
}

} // namespace
