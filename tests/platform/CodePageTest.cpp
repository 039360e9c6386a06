// Code page 1252: the table of 0x80-0x9F and lossless round trips of every byte.
#include "kelvaro/platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace cp = kelvaro::cp1252;

namespace {

TEST(CodePageTest, HighTable)
{
    const struct { unsigned char byte; wchar_t wide; } cases[] = {
        {0x80, L'\u20AC'}, {0x82, L'\u201A'}, {0x83, L'\u0192'}, {0x84, L'\u201E'}, {0x85, L'\u2026'},
        {0x86, L'\u2020'}, {0x87, L'\u2021'}, {0x88, L'\u02C6'}, {0x89, L'\u2030'}, {0x8A, L'\u0160'},
        {0x8B, L'\u2039'}, {0x8C, L'\u0152'}, {0x8E, L'\u017D'}, {0x91, L'\u2018'}, {0x92, L'\u2019'},
        {0x93, L'\u201C'}, {0x94, L'\u201D'}, {0x95, L'\u2022'}, {0x96, L'\u2013'}, {0x97, L'\u2014'},
        {0x98, L'\u02DC'}, {0x99, L'\u2122'}, {0x9A, L'\u0161'}, {0x9B, L'\u203A'}, {0x9C, L'\u0153'},
        {0x9E, L'\u017E'}, {0x9F, L'\u0178'},
        // Undefined in the code page: kept as the code point of the same value.
        {0x81, L'\u0081'}, {0x8D, L'\u008D'}, {0x8F, L'\u008F'}, {0x90, L'\u0090'}, {0x9D, L'\u009D'},
        // Latin-1 part and ASCII.
        {0x00, L'\0'}, {0x41, L'A'}, {0x7F, L'\u007F'}, {0xA0, L'\u00A0'}, {0xA7, L'\u00A7'},
        {0xB6, L'\u00B6'}, {0xAC, L'\u00AC'}, {0xE9, L'\u00E9'}, {0xFF, L'\u00FF'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        EXPECT_EQ(cp::ToWide(c.byte), c.wide);
        char back = 0;
        ASSERT_TRUE(cp::FromWide(c.wide, back));
        EXPECT_EQ(static_cast<unsigned char>(back), c.byte);
    }
}

TEST(CodePageTest, EveryByteRoundTrips)
{
    // Lossless both ways also means that no two bytes decode to the same character.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::wstring text = cp::Decode(all);
    ASSERT_EQ(text.size(), 256u);
    bool lossless = false;
    EXPECT_EQ(cp::Encode(text, &lossless), all);
    EXPECT_TRUE(lossless);
}

TEST(CodePageTest, UnmappableCharactersBecomeQuestionMarks)
{
    const struct { const char* what; std::wstring text; std::string bytes; bool lossless; } cases[] = {
        {"plain", L"abc \u00E4\u20AC", "abc \xE4\x80", true},
        {"Cyrillic", L"a\u0416b", "a?b", false},
        {"C1 control without a byte", L"\u0080\u0082", "??", false},
        {"outside the BMP", L"x\U0001F600y", "x?y", false},
        {"one bad among good", L"\u201C\u4E2D\u201D", "\x93?\x94", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool lossless = !c.lossless;
        EXPECT_EQ(cp::Encode(c.text, &lossless), c.bytes);
        EXPECT_EQ(lossless, c.lossless);
        EXPECT_EQ(cp::Encode(c.text), c.bytes); // lossless is optional
    }
    char out = 'k';
    EXPECT_FALSE(cp::FromWide(L'\u0416', out));
    EXPECT_EQ(out, 'k');
}

} // namespace
