// The formatter takes wide format strings written for the Windows runtime as they stand.
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using kelvaro::FormatText;

namespace {

struct FormatCase { const char* what; std::wstring got; std::wstring expected; };

void Check(const std::vector<FormatCase>& cases) {
    for (const FormatCase& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(FormatTest, WindowsSizePrefixesFlagsWidthPrecisionAndUnknownConversions) {
    Check({
        {"I64x", FormatText(L"%I64x", 0x123456789ABCDEFull), L"123456789abcdef"},
        {"I64d negative", FormatText(L"%I64d", static_cast<std::int64_t>(-9000000000LL)), L"-9000000000"},
        {"I64u max", FormatText(L"%I64u", UINT64_MAX), L"18446744073709551615"},
        {"Ix", FormatText(L"%Ix", static_cast<std::size_t>(0xDEADBEEFCAFEull)), L"deadbeefcafe"},
        {"Iu", FormatText(L"%Iu", SIZE_MAX), std::to_wstring(SIZE_MAX)},
        {"I32d", FormatText(L"%I32d", -7), L"-7"},
        {"ld", FormatText(L"%ld", -123456789012L), L"-123456789012"},
        {"hd wraps", FormatText(L"%hd", 65537), L"1"},
        {"mixed", FormatText(L"%I64x-%d-%Ix", 0xFFull, 3, static_cast<std::size_t>(16)), L"ff-3-10"},
        {"widths", FormatText(L"%5d|%-5d|%05d|%+d|% d", 42, 42, 42, 42, 42), L"   42|42   |00042|+42| 42"},
        {"hash", FormatText(L"%#x %#o %o", 255u, 8u, 8u), L"0xff 010 10"},
        {"negative star width", FormatText(L"%*d|", -5, 42), L"42   |"},
        {"negative star precision", FormatText(L"%.*s|", -1, L"abc"), L"abc|"},
        {"star both", FormatText(L"%*.*f|", 8, 2, 3.14159), L"    3.14|"},
        {"percent in text", FormatText(L"100%% of %d", 7), L"100% of 7"},
        {"hash on d is dropped", FormatText(L"%#d", 5), L"5"},
        // Unknown conversions are copied and read no argument.
        {"%y", FormatText(L"%y %d", 7), L"%y 7"}, {"%n", FormatText(L"%n|%d", 5), L"%n|5"},
        {"%hf", FormatText(L"%hf|%d", 5), L"%hf|5"}, {"trailing %", FormatText(L"abc%"), L"abc%"},
        {"unfinished directive", FormatText(L"abc%-5"), L"abc%-5"},
        {"unfinished size", FormatText(L"abc%I6"), L"abc%I6"},
    });
}

TEST(FormatTest, StringsCharactersPointersAndStringObjects) {
    const wchar_t* nothing = nullptr;
    const char* nothingNarrow = nullptr;
    const std::string narrow = "n\xC3\xA4";
    const wchar_t odd[] = {0xD800, 0x110000, L'x', 0};
    Check({
        {"null %s", FormatText(L"[%s]", nothing), L"[(null)]"},
        {"null %hs", FormatText(L"[%hs]", nothingNarrow), L"[(null)]"},
        {"null %.3s", FormatText(L"[%.3s]", nothing), L"[(nu]"},
        {"%S UTF-8", FormatText(L"%S", "Gr\xC3\xBC\xC3\x9F"), L"Gr\u00FC\u00DF"},
        {"%hs 4-byte UTF-8", FormatText(L"%hs", "\xF0\x9F\x98\x80"), L"\U0001F600"},
        {"%hs invalid UTF-8 as 1252", FormatText(L"%hs", "\x80 \xE9!"), L"\u20AC \u00E9!"},
        {"%hs truncated sequence", FormatText(L"%hs", "a\xE2\x82"), L"a\u00E2\u201A"},
        {"%hs overlong", FormatText(L"%hs", "\xC0\xAF"), L"\u00C0\u00AF"},
        {"%.2hs counts bytes", FormatText(L"%.2hs|", "abc"), L"ab|"},
        {"non-BMP %s", FormatText(L"<%s>", L"\U0001F600x"), L"<\U0001F600x>"},
        {"non-BMP width", FormatText(L"%3s|", L"\U0001F600"), L"  \U0001F600|"},
        {"%c non-BMP", FormatText(L"%c", static_cast<wchar_t>(0x1F600)), L"\U0001F600"},
        {"%C 1252", FormatText(L"%C", static_cast<char>(0x80)), L"\u20AC"},
        {"%3c", FormatText(L"%3c|%-3c|", L'a', L'b'), L"  a|b  |"},
        {"odd character values are kept",
         FormatText(L"%s%c%c", odd, static_cast<wchar_t>(0xDC00), static_cast<wchar_t>(-1)),
         std::wstring{0xD800, 0x110000, L'x', 0xDC00, static_cast<wchar_t>(-1)}},
        {"%p has the digits of a pointer", FormatText(L"%p", reinterpret_cast<void*>(std::uintptr_t{0x1A2B})),
         std::wstring(2 * sizeof(void*) - 4, L'0') + L"1A2B"},
        {"std::wstring", FormatText(L"[%-6s]", std::wstring(L"wide")), L"[wide  ]"},
        {"std::string as %S", FormatText(L"%S", narrow), L"n\u00E4"},
    });
}

TEST(FormatTest, LongTextIsNeverCutHugeWidthIsClampedAndNullIsEmpty) {
    const std::wstring longText(100000, L'q');
    EXPECT_EQ(FormatText(L"<%s>", longText.c_str()), L"<" + longText + L">");
    const std::wstring wide = FormatText(L"%3000d", 1);
    ASSERT_EQ(wide.size(), 3000u);
    EXPECT_EQ(wide.back(), L'1');
    EXPECT_EQ(FormatText(L"%.400f", 1.0).size(), 402u);
    EXPECT_EQ(FormatText(L"%f", 1e300).size(), 308u);
    EXPECT_EQ(FormatText(L"%999999999d", 1).size(), 65536u);
    EXPECT_EQ(FormatText(L"%*d", 2000000000, 1).size(), 65536u);
    // A null format gives nothing.
    EXPECT_EQ(FormatText(nullptr), L"");
}

TEST(FormatTest, NumbersIgnoreTheApplicationLocale) {
    const std::string old = std::setlocale(LC_ALL, nullptr);
    bool found = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
        found = found || std::setlocale(LC_ALL, name) != nullptr;
    if (!found) GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::wstring got = FormatText(L"%.1f", 2.5);
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(got, L"2.5");
}

} // namespace
