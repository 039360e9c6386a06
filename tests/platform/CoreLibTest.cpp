// skip_non_white_space: stops at white space or the terminator, and keeps a null pointer.
#include "kelvaro/platform/CoreLib.h"

#include <gtest/gtest.h>

#include <string>

TEST(CoreLib, SkipNonWhiteSpace) {
    const struct { const wchar_t* text; int offset; } cases[] = {
        {L"", 0}, {L"abc", 3}, {L" abc", 0}, {L"%d\t%s", 2}, {L"x\ny", 1}, {L"x\vy", 1}, {L"\u00A7\u00B6 ", 2},
    };
    for (const auto& c : cases) {
        std::wstring copy(c.text);
        EXPECT_EQ(skip_non_white_space(c.text) - c.text, c.offset) << c.offset;
        EXPECT_EQ(skip_non_white_space(copy.data()) - copy.data(), c.offset);
    }
    EXPECT_EQ(skip_non_white_space(static_cast<const wchar_t*>(nullptr)), nullptr);
}
