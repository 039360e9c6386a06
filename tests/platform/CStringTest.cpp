// CString: the value semantics, clamping and search rules callers rely on.
#include "kelvaro/platform/CString.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_set>

namespace {

TEST(CStringTest, Construction)
{
    const wchar_t* nothing = nullptr;
    EXPECT_TRUE(CString().IsEmpty());
    EXPECT_TRUE(CString(nothing).IsEmpty());
    EXPECT_EQ(CString(L"abc").GetLength(), 3);
    EXPECT_EQ(CString(L"abcdef", 3), L"abc");
    EXPECT_TRUE(CString(L"abc", 0).IsEmpty());
    EXPECT_TRUE(CString(L"abc", -4).IsEmpty());
    EXPECT_TRUE(CString(nothing, 5).IsEmpty());
    EXPECT_EQ(CString(L'x', 3), L"xxx");
    EXPECT_EQ(CString(L'x'), L"x");
    EXPECT_TRUE(CString(L'x', -1).IsEmpty());
    EXPECT_EQ(CString(std::wstring_view(L"abcdef").substr(2, 2)), L"cd");
    std::wstring moved = L"moved text";
    EXPECT_EQ(CString(std::move(moved)), L"moved text");
    EXPECT_EQ(*CString().GetString(), L'\0');
}

TEST(CStringTest, EmbeddedZerosAreKept)
{
    const CString s(L"a\0b", 3);
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_EQ(s.GetAt(2), L'b');
    EXPECT_NE(s, CString(L"a"));
}

TEST(CStringTest, Comparison)
{
    const CString abc = L"abc";
    EXPECT_EQ(abc.Compare(L"abc"), 0);
    EXPECT_LT(abc.Compare(L"abd"), 0);
    EXPECT_GT(abc.Compare(L"ab"), 0);
    EXPECT_GT(abc.Compare(nullptr), 0);
    EXPECT_EQ(CString().Compare(nullptr), 0);
    EXPECT_NE(abc.Compare(L"ABC"), 0); // exact, case-sensitive
    EXPECT_EQ(abc.CompareNoCase(L"ABC"), 0);
    EXPECT_TRUE(abc == L"abc");
    EXPECT_TRUE(L"abc" == abc);
    EXPECT_TRUE(abc != L"abd");
    EXPECT_TRUE(L"abd" != abc);
    EXPECT_TRUE(abc == CString(L"abc"));
    EXPECT_TRUE(abc == std::wstring(L"abc"));
    EXPECT_TRUE(abc == std::wstring_view(L"abc"));
    EXPECT_TRUE(abc < CString(L"abd"));
    EXPECT_TRUE(abc < L"b");
    EXPECT_TRUE(L"ab" < abc);
    std::map<CString, int> ordered{{L"b", 2}, {L"a", 1}, {L"B", 0}};
    EXPECT_EQ(ordered.begin()->first, L"B");
}

TEST(CStringTest, Concatenation)
{
    CString s = L"ab";
    EXPECT_EQ(s + L"cd", L"abcd");
    EXPECT_EQ(L"cd" + s, L"cdab");
    EXPECT_EQ(s + L'!', L"ab!");
    EXPECT_EQ(L'!' + s, L"!ab");
    EXPECT_EQ(s + s, L"abab");
    EXPECT_EQ(CString(L"x") + s + L"y" + L'z', L"xabyz");
    const wchar_t* nothing = nullptr;
    EXPECT_EQ(s + nothing, L"ab");
    s += L"c";
    s += L'd';
    s += CString(L"e");
    s += std::wstring(L"f");
    s += nothing;
    EXPECT_EQ(s, L"abcdef");
    s += s;
    EXPECT_EQ(s, L"abcdefabcdef");
}

TEST(CStringTest, Format)
{
    CString s;
    s.Format(L"%s=%d", L"x", 5);
    EXPECT_EQ(s, L"x=5");
    s.AppendFormat(L";%I64x", 255ull);
    EXPECT_EQ(s, L"x=5;ff");
    // Its own text as an argument must not be clobbered by the formatting.
    s.Format(L"[%s][%s]", s.GetString(), s.GetString());
    EXPECT_EQ(s, L"[x=5;ff][x=5;ff]");
    s.AppendFormat(L"%s", s.GetString());
    EXPECT_EQ(s, L"[x=5;ff][x=5;ff][x=5;ff][x=5;ff]");
    // A CString argument as it stands, as the framework's callers write it.
    const CString name = L"Key";
    s.Format(L"%s: %s", name, name + L"!");
    EXPECT_EQ(s, L"Key: Key!");
    s.AppendFormat(L" %s", s);
    EXPECT_EQ(s, L"Key: Key! Key: Key!");
}

TEST(CStringTest, Trim)
{
    const struct {
        const wchar_t* in;
        const wchar_t* both;
        const wchar_t* left;
        const wchar_t* right;
    } cases[] = {
        {L"  a b  ", L"a b", L"a b  ", L"  a b"},
        {L"\t\r\n x\v\f", L"x", L"x\v\f", L"\t\r\n x"},
        {L"   ", L"", L"", L""},
        {L"", L"", L"", L""},
        {L"a", L"a", L"a", L"a"},
        {L"\u00A0a\u00A0", L"\u00A0a\u00A0", L"\u00A0a\u00A0", L"\u00A0a\u00A0"}, // no-break space is kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.in)));
        EXPECT_EQ(CString(c.in).Trim(), c.both);
        EXPECT_EQ(CString(c.in).TrimLeft(), c.left);
        EXPECT_EQ(CString(c.in).TrimRight(), c.right);
    }
    EXPECT_EQ(CString(L"xxaxx").Trim(L'x'), L"a");
    EXPECT_EQ(CString(L"xxaxx").TrimLeft(L'x'), L"axx");
    EXPECT_EQ(CString(L"xxaxx").TrimRight(L'x'), L"xxa");
    EXPECT_EQ(CString(L"\"; a ;\"").TrimRight(L"\";"), L"\"; a ");
    EXPECT_EQ(CString(L"\"; a ;\"").Trim(L"\"; "), L"a");
    EXPECT_EQ(CString(L"abc").TrimRight(static_cast<const wchar_t*>(nullptr)), L"abc");
}

TEST(CStringTest, LeftMidRightClamp)
{
    const CString s = L"abcdef";
    const struct {
        const char* what;
        CString got;
        const wchar_t* expected;
    } cases[] = {
        {"Left 2", s.Left(2), L"ab"},
        {"Left 0", s.Left(0), L""},
        {"Left -1", s.Left(-1), L""},
        {"Left 99", s.Left(99), L"abcdef"},
        {"Mid 2", s.Mid(2), L"cdef"},
        {"Mid -3", s.Mid(-3), L"abcdef"},
        {"Mid 6", s.Mid(6), L""},
        {"Mid 99", s.Mid(99), L""},
        {"Mid 2,3", s.Mid(2, 3), L"cde"},
        {"Mid 2,99", s.Mid(2, 99), L"cdef"},
        {"Mid -2,3", s.Mid(-2, 3), L"abc"},
        {"Mid 2,-1", s.Mid(2, -1), L""},
        {"Mid 99,2", s.Mid(99, 2), L""},
        {"Mid INT_MAX,INT_MAX", s.Mid(2147483647, 2147483647), L""},
        {"Mid 1,INT_MAX", s.Mid(1, 2147483647), L"bcdef"},
        {"Right 2", s.Right(2), L"ef"},
        {"Right 0", s.Right(0), L""},
        {"Right -1", s.Right(-1), L""},
        {"Right 99", s.Right(99), L"abcdef"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.expected);
    }
}

TEST(CStringTest, Find)
{
    const CString s = L"a.b.c";
    const struct {
        const char* what;
        int got;
        int expected;
    } cases[] = {
        {"char", s.Find(L'.'), 1},
        {"char from 2", s.Find(L'.', 2), 3},
        {"char from 4", s.Find(L'.', 4), -1},
        {"char missing", s.Find(L'x'), -1},
        {"char negative start", s.Find(L'a', -5), 0},
        {"char start past end", s.Find(L'a', 99), -1},
        {"sub", s.Find(L"b.c"), 2},
        {"sub from 3", s.Find(L".", 3), 3},
        {"sub missing", s.Find(L"cc"), -1},
        {"sub empty", s.Find(L"", 2), 2},
        {"sub null", s.Find(static_cast<const wchar_t*>(nullptr)), -1},
        {"sub at end", s.Find(L"", 5), 5},
        {"sub past end", s.Find(L"", 6), -1},
        {"reverse", s.ReverseFind(L'.'), 3},
        {"reverse missing", s.ReverseFind(L'x'), -1},
        {"one of", s.FindOneOf(L"cb"), 2},
        {"one of none", s.FindOneOf(L"xyz"), -1},
        {"one of empty", s.FindOneOf(L""), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.expected);
    }
}

TEST(CStringTest, ReplaceRemoveInsertDelete)
{
    CString s = L"a-b-c";
    EXPECT_EQ(s.Replace(L'-', L'+'), 2);
    EXPECT_EQ(s, L"a+b+c");
    EXPECT_EQ(s.Replace(L"+", L"--"), 2);
    EXPECT_EQ(s, L"a--b--c");
    EXPECT_EQ(s.Replace(L"--", nullptr), 2);
    EXPECT_EQ(s, L"abc");
    EXPECT_EQ(s.Replace(L"", L"x"), 0);
    EXPECT_EQ(s.Replace(nullptr, L"x"), 0);
    EXPECT_EQ(s.Replace(L"zz", L"x"), 0);
    EXPECT_EQ(s, L"abc");
    CString overlap = L"aaaa";
    EXPECT_EQ(overlap.Replace(L"aa", L"a"), 2); // left to right, no overlap
    EXPECT_EQ(overlap, L"aa");
    CString grow = L"xax";
    EXPECT_EQ(grow.Replace(L"x", L"xx"), 2); // the replacement is not searched again
    EXPECT_EQ(grow, L"xxaxx");

    CString r = L"a b c ";
    EXPECT_EQ(r.Remove(L' '), 3);
    EXPECT_EQ(r, L"abc");
    EXPECT_EQ(r.Insert(1, L'-'), 4);
    EXPECT_EQ(r.Insert(99, L"!"), 5);
    EXPECT_EQ(r.Insert(-3, L"<"), 6);
    EXPECT_EQ(r, L"<a-bc!");
    EXPECT_EQ(r.Delete(1, 2), 4);
    EXPECT_EQ(r, L"<bc!");
    EXPECT_EQ(r.Delete(2, 99), 2);
    EXPECT_EQ(r.Delete(99), 2);
    EXPECT_EQ(r, L"<b");
}

TEST(CStringTest, CaseAndReverse)
{
    CString s = L"Abc-Z9";
    EXPECT_EQ(s.MakeUpper(), L"ABC-Z9");
    EXPECT_EQ(s.MakeLower(), L"abc-z9");
    EXPECT_EQ(s.MakeReverse(), L"9z-cba");
}

TEST(CStringTest, AccessChecksIndexes)
{
    CString s = L"abc";
    EXPECT_EQ(s.GetAt(0), L'a');
    EXPECT_EQ(s[2], L'c');
    EXPECT_EQ(s.GetAt(3), L'\0'); // the terminator may be read
    EXPECT_THROW(s.GetAt(4), std::invalid_argument);
    EXPECT_THROW(s.GetAt(-1), std::invalid_argument);
    s.SetAt(1, L'X');
    EXPECT_EQ(s, L"aXc");
    EXPECT_THROW(s.SetAt(3, L'x'), std::invalid_argument);
    EXPECT_THROW(s.SetAt(-1, L'x'), std::invalid_argument);
    EXPECT_EQ(s, L"aXc");
}

TEST(CStringTest, Buffer)
{
    CString s = L"abc";
    wchar_t* p = s.GetBuffer(10);
    EXPECT_EQ(std::wcscmp(p, L"abc"), 0); // the text is kept
    std::wcscpy(p, L"0123456789");
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"0123456789");
    p = s.GetBuffer(2); // never shrinks
    p[3] = L'\0';
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"012");
    s.GetBuffer(5);
    s.ReleaseBuffer(2);
    EXPECT_EQ(s, L"01");
    s.GetBuffer(0);
    s.ReleaseBuffer(99); // clamped to the buffer
    EXPECT_EQ(s, L"01");
    wchar_t* q = s.GetBufferSetLength(4);
    q[2] = L'x';
    q[3] = L'y';
    EXPECT_EQ(s, L"01xy");
}

TEST(CStringTest, DirectAccessAndHash)
{
    CString s = L"key";
    s.Str() += L"s";
    EXPECT_EQ(s.Str(), L"keys");
    const std::wstring_view view = s;
    EXPECT_EQ(view, L"keys");
    std::unordered_set<CString> set{L"a", L"b", L"a"};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_EQ(std::hash<CString>{}(s), std::hash<std::wstring_view>{}(L"keys"));
    const wchar_t* raw = s;
    EXPECT_EQ(std::wcslen(raw), 4u);
}

TEST(CStringTest, CopiesAreIndependent)
{
    CString a = L"one";
    CString b = a;
    b.SetAt(0, L'O');
    EXPECT_EQ(a, L"one");
    CString c = std::move(b);
    EXPECT_EQ(c, L"One");
    a = L'x';
    EXPECT_EQ(a, L"x");
    a = std::wstring(L"w");
    EXPECT_EQ(a, L"w");
    a = std::wstring_view(L"v");
    EXPECT_EQ(a, L"v");
    a = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(a.IsEmpty());
    c.Empty();
    EXPECT_TRUE(c.IsEmpty());
}

} // namespace
