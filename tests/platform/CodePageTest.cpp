// Code page 1252: the table of 0x80-0x9F, lossless round trips of every byte, and
// question marks for what it cannot hold.
#include "kelvaro/platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace cp = kelvaro::cp1252;

namespace {

TEST(CodePageTest, EveryByteRoundTripsAndTheHighBytesFollowTheTable) {
    // Lossless both ways also means that no two bytes decode to the same character.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::wstring text = cp::Decode(all);
    ASSERT_EQ(text.size(), 256u);
    bool lossless = false;
    EXPECT_EQ(cp::Encode(text, &lossless), all);
    EXPECT_TRUE(lossless);
    for (const testsupport::CaseRow& row : testsupport::ReadCases("codepage1252.txt", 2)) {
        SCOPED_TRACE(row.Where());
        const auto byte = static_cast<unsigned char>(row.Number(0));
        const wchar_t wide = static_cast<wchar_t>(row.Number(1));
        EXPECT_EQ(cp::ToWide(byte), wide);
        EXPECT_EQ(text[byte], wide);
        char back = 0;
        EXPECT_TRUE(cp::FromWide(wide, back) && static_cast<unsigned char>(back) == byte);
    }
}

TEST(CodePageTest, UnmappableCharactersBecomeQuestionMarks) {
    const struct { const char* what; std::wstring text; std::string bytes; bool lossless; } cases[] = {
        {"plain", L"abc \u00E4\u20AC", "abc \xE4\x80", true}, {"Cyrillic", L"a\u0416b", "a?b", false},
        {"C1 control without a byte", L"\u0080\u0082", "??", false}, {"outside the BMP", L"x\U0001F600y", "x?y", false},
        {"one bad among good", L"\u201C\u4E2D\u201D", "\x93?\x94", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool lossless = !c.lossless;
        EXPECT_EQ(cp::Encode(c.text, &lossless), c.bytes);
        EXPECT_EQ(lossless, c.lossless);
    }
    char out = 'k';
    EXPECT_FALSE(cp::FromWide(L'\u0416', out));
    EXPECT_EQ(out, 'k');
}

} // namespace
