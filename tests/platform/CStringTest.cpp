// CString: the clamping, bounds and aliasing rules callers rely on; and skip_non_white_space,
// which stops at white space or the terminator and keeps a null pointer.
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/CoreLib.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <stdexcept>
#include <string>

namespace {

struct Case { const char* what; CString got; const wchar_t* expected; };

TEST(CStringTest, LengthsPositionsAndSearchStartsAreClamped) {
    const wchar_t* nothing = nullptr;
    const CString s = L"abcdef";
    const Case cases[] = {
        {"null", CString(nothing), L""}, {"negative length", CString(L"abc", -4), L""},
        {"null with length", CString(nothing, 5), L""}, {"negative repeat", CString(L'x', -1), L""},
        {"Left -1", s.Left(-1), L""}, {"Left 99", s.Left(99), L"abcdef"}, {"Mid -3", s.Mid(-3), L"abcdef"},
        {"Mid 99", s.Mid(99), L""}, {"Mid 2,99", s.Mid(2, 99), L"cdef"}, {"Mid -2,3", s.Mid(-2, 3), L"abc"},
        {"Mid 2,-1", s.Mid(2, -1), L""}, {"Mid INT_MAX,INT_MAX", s.Mid(2147483647, 2147483647), L""},
        {"Mid 1,INT_MAX", s.Mid(1, 2147483647), L"bcdef"}, {"Right 99", s.Right(99), L"abcdef"},
        {"Trim keeps the no-break space", CString(L"\t\u00A0a\u00A0\v\f").Trim(), L"\u00A0a\u00A0"},
        {"TrimRight of a null set", CString(L"abc").TrimRight(nothing), L"abc"},
        {"Trim of a set", CString(L"\"; a ;\"").Trim(L"\"; "), L"a"},
        {"character first", L'!' + s.Left(1) + L'?', L"!a?"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
    const CString zeros(L"a\0b", 3);
    EXPECT_EQ(zeros.GetLength(), 3) << "embedded zeros are kept";
    EXPECT_NE(zeros, CString(L"a"));
    EXPECT_GT(s.Compare(nullptr), 0);
    EXPECT_NE(s.Compare(L"ABCDEF"), 0) << "comparison is exact";
    EXPECT_EQ(s.CompareNoCase(L"ABCDEF"), 0);
    EXPECT_LT(s.CompareNoCase(L"ABCDEFG"), 0);
    EXPECT_EQ(std::hash<CString>{}(s), std::hash<std::wstring_view>{}(L"abcdef"));

    const CString dots = L"a.b.c";
    const struct { const char* what; int got; int expected; } finds[] = {
        {"char from 4", dots.Find(L'.', 4), -1}, {"char negative start", dots.Find(L'a', -5), 0},
        {"char start past end", dots.Find(L'a', 99), -1},
        {"sub null", dots.Find(static_cast<const wchar_t*>(nullptr)), -1},
        {"sub at end", dots.Find(L"", 5), 5}, {"sub past end", dots.Find(L"", 6), -1},
        {"reverse", dots.ReverseFind(L'.'), 3}, {"one of empty", dots.FindOneOf(L""), -1},
    };
    for (const auto& c : finds) EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(CStringTest, FormatMayUseItsOwnText) {
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
}

TEST(CStringTest, EditsNeitherOverlapNorReachPastTheEnd) {
    CString overlap = L"aaaa";
    EXPECT_EQ(overlap.Replace(L"aa", L"a"), 2) << "left to right, no overlap";
    EXPECT_EQ(overlap, L"aa");
    CString grow = L"xax";
    EXPECT_EQ(grow.Replace(L"x", L"xx"), 2) << "the replacement is not searched again";
    EXPECT_EQ(grow, L"xxaxx");
    EXPECT_EQ(grow.Replace(L"", L"y"), 0);
    EXPECT_EQ(grow.Replace(L"zz", L"y"), 0);
    EXPECT_EQ(grow.Replace(L'x', L'-'), 4);
    EXPECT_EQ(grow.Remove(L'-'), 4);

    CString r = L"abc";
    EXPECT_EQ(r.Insert(99, L"!"), 4);
    EXPECT_EQ(r.Insert(-3, L'<'), 5);
    EXPECT_EQ(r.Delete(2, 99), 2);
    EXPECT_EQ(r.Delete(99), 2);
    EXPECT_EQ(r, L"<a");

    CString s = L"abc";
    EXPECT_EQ(s.GetAt(3), L'\0') << "the terminator may be read";
    EXPECT_THROW(s.GetAt(4), std::invalid_argument);
    EXPECT_THROW(s.GetAt(-1), std::invalid_argument);
    EXPECT_THROW(s.SetAt(3, L'x'), std::invalid_argument);
    s.SetAt(2, L'C');
    EXPECT_EQ(s, L"abC");
    wchar_t* p = s.GetBuffer(10);
    std::wcscpy(p, L"0123456789");
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"0123456789");
    s.GetBuffer(0);
    s.ReleaseBuffer(99);  // clamped to the buffer
    EXPECT_EQ(s, L"0123456789");
    s.GetBufferSetLength(4)[3] = L'y';
    EXPECT_EQ(s, L"012y");
}

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

} // namespace
