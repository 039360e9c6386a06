// Texts. CString: the clamping, bounds and aliasing rules callers rely on. The formatter
// takes wide format strings written for the Windows runtime as they stand. skip_non_white_space
// stops at white space or the terminator and keeps a null pointer.
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/CoreLib.h"
#include "kelvaro/platform/Format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <stdexcept>

#include "support/TestSupport.h"

using kelvaro::FormatText;

namespace {

struct Case { const char* what; CString got; const wchar_t* expected; };

TEST(CStringTest, ClampedRangesFormattingFromItsOwnTextAndEditsWithinTheEnd) {
    const wchar_t* nothing = nullptr;
    const CString abcdef = L"abcdef";
    const Case cases[] = {
        {"null", CString(nothing), L""}, {"negative length", CString(L"abc", -4), L""},
        {"null with length", CString(nothing, 5), L""}, {"negative repeat", CString(L'x', -1), L""},
        {"Left -1", abcdef.Left(-1), L""}, {"Left 99", abcdef.Left(99), L"abcdef"}, {"Mid -3", abcdef.Mid(-3), L"abcdef"},
        {"Mid 99", abcdef.Mid(99), L""}, {"Mid 2,99", abcdef.Mid(2, 99), L"cdef"}, {"Mid -2,3", abcdef.Mid(-2, 3), L"abc"},
        {"Mid 2,-1", abcdef.Mid(2, -1), L""}, {"Mid INT_MAX,INT_MAX", abcdef.Mid(2147483647, 2147483647), L""},
        {"Mid 1,INT_MAX", abcdef.Mid(1, 2147483647), L"bcdef"}, {"Right 99", abcdef.Right(99), L"abcdef"},
        {"Trim keeps the no-break space", CString(L"\t\u00A0a\u00A0\v\f").Trim(), L"\u00A0a\u00A0"},
        {"TrimRight of a null set", CString(L"abc").TrimRight(nothing), L"abc"},
        {"Trim of a set", CString(L"\"; a ;\"").Trim(L"\"; "), L"a"},
        {"character first", L'!' + abcdef.Left(1) + L'?', L"!a?"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
    const CString zeros(L"a\0b", 3);
    EXPECT_EQ(zeros.GetLength(), 3) << "embedded zeros are kept";
    EXPECT_NE(zeros, CString(L"a"));
    EXPECT_GT(abcdef.Compare(nullptr), 0);
    EXPECT_NE(abcdef.Compare(L"ABCDEF"), 0) << "comparison is exact";
    EXPECT_EQ(abcdef.CompareNoCase(L"ABCDEF"), 0);
    EXPECT_LT(abcdef.CompareNoCase(L"ABCDEFG"), 0);
    EXPECT_EQ(std::hash<CString>{}(abcdef), std::hash<std::wstring_view>{}(L"abcdef"));
    // Finds, and edits that return a count or length (taken in order: the edits build on each other).
    const CString dots = L"a.b.c";
    CString overlap = L"aaaa", grow = L"xax", r = L"abc";
    const struct { const char* what; int got; int expected; } counts[] = {
        {"char from 4", dots.Find(L'.', 4), -1}, {"char negative start", dots.Find(L'a', -5), 0},
        {"char start past end", dots.Find(L'a', 99), -1},
        {"sub null", dots.Find(static_cast<const wchar_t*>(nullptr)), -1},
        {"sub at end", dots.Find(L"", 5), 5}, {"sub past end", dots.Find(L"", 6), -1},
        {"reverse", dots.ReverseFind(L'.'), 3}, {"one of empty", dots.FindOneOf(L""), -1},
        {"replace left to right, no overlap", overlap.Replace(L"aa", L"a"), 2},
        {"the replacement is not searched again", grow.Replace(L"x", L"xx"), 2},
        {"replace empty", grow.Replace(L"", L"y"), 0}, {"replace missing", grow.Replace(L"zz", L"y"), 0},
        {"replace characters", grow.Replace(L'x', L'-'), 4}, {"remove", grow.Remove(L'-'), 4},
        {"insert past the end", r.Insert(99, L"!"), 4}, {"insert before the start", r.Insert(-3, L'<'), 5},
        {"delete past the end", r.Delete(2, 99), 2}, {"delete from past the end", r.Delete(99), 2},
    };
    for (const auto& c : counts) EXPECT_EQ(c.got, c.expected) << c.what;
    EXPECT_TRUE(overlap == L"aa" && grow == L"a" && r == L"<a");

    CString s;
    s.Format(L"%s=%d", L"x", 5);
    s.AppendFormat(L";%I64x", 255ull);
    s.Format(L"[%s][%s]", s.GetString(), s.GetString());
    EXPECT_EQ(s, L"[x=5;ff][x=5;ff]");
    s.AppendFormat(L"%s", s.GetString());
    EXPECT_EQ(s, L"[x=5;ff][x=5;ff][x=5;ff][x=5;ff]");
    const CString name = L"Key";
    s.Format(L"%s: %s", name, name + L"!");  // CString arguments as they stand
    s.AppendFormat(L" %s", s);
    s.AppendFormat(nullptr);  // a null format adds nothing
    EXPECT_EQ(s, L"Key: Key! Key: Key!");
    s += s;
    EXPECT_EQ(s.GetLength(), 38);

    CString t = L"abc";
    EXPECT_EQ(t.GetAt(3), L'\0') << "the terminator may be read";
    for (const int bad : {4, -1}) EXPECT_THROW(t.GetAt(bad), std::invalid_argument) << bad;
    EXPECT_THROW(t.SetAt(3, L'x'), std::invalid_argument);
    t.SetAt(2, L'C');
    EXPECT_EQ(t, L"abC");
    wchar_t* p = t.GetBuffer(10);
    std::wcscpy(p, L"0123456789");
    t.ReleaseBuffer();
    EXPECT_EQ(t, L"0123456789");
    t.GetBuffer(0);
    t.ReleaseBuffer(99);  // clamped to the buffer
    EXPECT_EQ(t, L"0123456789");
    t.GetBufferSetLength(4)[3] = L'y';
    EXPECT_EQ(t, L"012y");
}

// One FormatText call of a case row: format|argument type|argument.
std::wstring FormatRow(const testsupport::CaseRow& row) {
    const std::wstring format = row.Text(1), text = row.Text(3);
    const std::string type = row.raw[2], bytes(text.begin(), text.end());
    const wchar_t* f = format.c_str();
    if (type == "-") return FormatText(f);
    if (type == "s") return FormatText(f, row.Null(3) ? nullptr : text.c_str());
    if (type == "hs") return FormatText(f, row.Null(3) ? nullptr : bytes.c_str());
    if (type == "ull") return FormatText(f, std::stoull(row.raw[3], nullptr, 0));
    if (type == "z") return FormatText(f, static_cast<std::size_t>(std::stoull(row.raw[3], nullptr, 0)));
    const long long n = row.Number(3);
    if (type == "ll") return FormatText(f, static_cast<std::int64_t>(n));
    if (type == "l") return FormatText(f, static_cast<long>(n));
    if (type == "c") return FormatText(f, static_cast<wchar_t>(n));
    if (type == "C") return FormatText(f, static_cast<char>(n));
    return FormatText(f, static_cast<int>(n));
}

TEST(FormatTest, ConversionsWithWindowsSizePrefixesFlagsWidthsAndPrecisionsAndLongTexts) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("pe-format-one-argument.txt", 5))
        EXPECT_EQ(FormatRow(row), row.Text(4)) << row.Where() << " " << row.raw[0];
    const std::string narrow = "n\xC3\xA4";
    const wchar_t odd[] = {0xD800, 0x110000, L'x', 0};
    const struct { const char* what; std::wstring got; std::wstring expected; } cases[] = {
        {"Iu", FormatText(L"%Iu", SIZE_MAX), std::to_wstring(SIZE_MAX)},
        {"mixed", FormatText(L"%I64x-%d-%Ix", 0xFFull, 3, static_cast<std::size_t>(16)), L"ff-3-10"},
        {"widths", FormatText(L"%5d|%-5d|%05d|%+d|% d", 42, 42, 42, 42, 42), L"   42|42   |00042|+42| 42"},
        {"hash", FormatText(L"%#x %#o %o", 255u, 8u, 8u), L"0xff 010 10"},
        {"negative star width", FormatText(L"%*d|", -5, 42), L"42   |"},
        {"negative star precision", FormatText(L"%.*s|", -1, L"abc"), L"abc|"},
        {"star both", FormatText(L"%*.*f|", 8, 2, 3.14159), L"    3.14|"},
        {"%3c", FormatText(L"%3c|%-3c|", L'a', L'b'), L"  a|b  |"},
        {"odd character values are kept",
         FormatText(L"%s%c%c", odd, static_cast<wchar_t>(0xDC00), static_cast<wchar_t>(-1)),
         std::wstring{0xD800, 0x110000, L'x', 0xDC00, static_cast<wchar_t>(-1)}},
        {"%p has the digits of a pointer", FormatText(L"%p", reinterpret_cast<void*>(std::uintptr_t{0x1A2B})),
         std::wstring(2 * sizeof(void*) - 4, L'0') + L"1A2B"},
        {"std::wstring", FormatText(L"[%-6s]", std::wstring(L"wide")), L"[wide  ]"},
        {"std::string as %S", FormatText(L"%S", narrow), L"n\u00E4"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
    // Long text is never cut, a huge width is clamped, and a null format gives nothing.
    const std::wstring longText(100000, L'q');
    EXPECT_EQ(FormatText(L"<%s>", longText.c_str()), L"<" + longText + L">");
    const std::wstring wide = FormatText(L"%3000d", 1);
    ASSERT_EQ(wide.size(), 3000u);
    EXPECT_EQ(wide.back(), L'1');
    EXPECT_EQ(FormatText(L"%.400f", 1.0).size(), 402u);
    EXPECT_EQ(FormatText(L"%f", 1e300).size(), 308u);
    EXPECT_EQ(FormatText(L"%999999999d", 1).size(), 65536u);
    EXPECT_EQ(FormatText(L"%*d", 2000000000, 1).size(), 65536u);
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

TEST(CoreLib, SkipNonWhiteSpace) {
    const struct { const wchar_t* text; int offset; } cases[] = {
        {L"", 0}, {L"abc", 3}, {L" abc", 0}, {L"%d\t%s", 2}, {L"x\ny", 1}, {L"x\vy", 1}, {L"\u00A7\u00B6 ", 2},
    };
    for (const auto& c : cases) {
        std::wstring copy(c.text);  // the const and the mutable overload
        EXPECT_EQ(skip_non_white_space(c.text) - c.text, c.offset) << c.offset;
        EXPECT_EQ(skip_non_white_space(copy.data()) - copy.data(), c.offset);
    }
    EXPECT_EQ(skip_non_white_space(static_cast<const wchar_t*>(nullptr)), nullptr);
}

} // namespace
