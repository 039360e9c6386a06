// CString: the value semantics, clamping and search rules callers rely on.
#include "kelvaro/platform/CString.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_set>

namespace {

struct Case {
    const char* what;
    CString got;
    const wchar_t* expected;
};

void Check(std::initializer_list<Case> cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.expected);
    }
}

TEST(CStringTest, ConstructionClampsAndKeepsEmbeddedZeros)
{
    const wchar_t* nothing = nullptr;
    Check({
        {"null", CString(nothing), L""},
        {"prefix", CString(L"abcdef", 3), L"abc"},
        {"negative length", CString(L"abc", -4), L""},
        {"null with length", CString(nothing, 5), L""},
        {"repeated", CString(L'x', 3), L"xxx"},
        {"negative repeat", CString(L'x', -1), L""},
        {"view", CString(std::wstring_view(L"abcdef").substr(2, 2)), L"cd"},
    });
    const CString zeros(L"a\0b", 3);
    EXPECT_EQ(zeros.GetLength(), 3);
    EXPECT_EQ(zeros.GetAt(2), L'b');
    EXPECT_NE(zeros, CString(L"a"));
}

TEST(CStringTest, ComparisonIsExact)
{
    const CString abc = L"abc";
    EXPECT_LT(abc.Compare(L"abd"), 0);
    EXPECT_GT(abc.Compare(L"ab"), 0);
    EXPECT_GT(abc.Compare(nullptr), 0);
    EXPECT_EQ(CString().Compare(nullptr), 0);
    EXPECT_NE(abc.Compare(L"ABC"), 0);
    EXPECT_EQ(abc.CompareNoCase(L"ABC"), 0);
    EXPECT_TRUE(L"ab" < abc);
    std::map<CString, int> ordered{{L"b", 2}, {L"a", 1}, {L"B", 0}};
    EXPECT_EQ(ordered.begin()->first, L"B");
    std::unordered_set<CString> set{L"a", L"b", L"a"};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_EQ(std::hash<CString>{}(abc), std::hash<std::wstring_view>{}(L"abc")) << "hashes as its text";
}

TEST(CStringTest, ConcatenationAndFormatMayUseTheirOwnText)
{
    const wchar_t* nothing = nullptr;
    CString s = L"ab";
    EXPECT_EQ(s + nothing, L"ab");
    EXPECT_EQ(L'!' + s + L"c", L"!abc");
    s += nothing;
    s += s;
    EXPECT_EQ(s, L"abab");

    s.Format(L"%s=%d", L"x", 5);
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
    s.AppendFormat(L" %s", s);
    EXPECT_EQ(s, L"Key: Key! Key: Key!");
}

TEST(CStringTest, Trim)
{
    const struct { const wchar_t* in; const wchar_t* both; const wchar_t* left; const wchar_t* right; } cases[] = {
        {L"  a b  ", L"a b", L"a b  ", L"  a b"},
        {L"\t\r\n x\v\f", L"x", L"x\v\f", L"\t\r\n x"},
        {L"   ", L"", L"", L""},
        {L"\u00A0a\u00A0", L"\u00A0a\u00A0", L"\u00A0a\u00A0", L"\u00A0a\u00A0"},  // no-break space is kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.in)));
        EXPECT_EQ(CString(c.in).Trim(), c.both);
        EXPECT_EQ(CString(c.in).TrimLeft(), c.left);
        EXPECT_EQ(CString(c.in).TrimRight(), c.right);
    }
    Check({
        {"character", CString(L"xxaxx").Trim(L'x'), L"a"},
        {"set, right", CString(L"\"; a ;\"").TrimRight(L"\";"), L"\"; a "},
        {"set", CString(L"\"; a ;\"").Trim(L"\"; "), L"a"},
        {"null set", CString(L"abc").TrimRight(static_cast<const wchar_t*>(nullptr)), L"abc"},
    });
}

TEST(CStringTest, LeftMidRightClamp)
{
    const CString s = L"abcdef";
    Check({
        {"Left -1", s.Left(-1), L""},
        {"Left 99", s.Left(99), L"abcdef"},
        {"Mid -3", s.Mid(-3), L"abcdef"},
        {"Mid 6", s.Mid(6), L""},
        {"Mid 99", s.Mid(99), L""},
        {"Mid 2,3", s.Mid(2, 3), L"cde"},
        {"Mid 2,99", s.Mid(2, 99), L"cdef"},
        {"Mid -2,3", s.Mid(-2, 3), L"abc"},
        {"Mid 2,-1", s.Mid(2, -1), L""},
        {"Mid INT_MAX,INT_MAX", s.Mid(2147483647, 2147483647), L""},
        {"Mid 1,INT_MAX", s.Mid(1, 2147483647), L"bcdef"},
        {"Right -1", s.Right(-1), L""},
        {"Right 99", s.Right(99), L"abcdef"},
    });
}

TEST(CStringTest, Find)
{
    const CString s = L"a.b.c";
    const struct { const char* what; int got; int expected; } cases[] = {
        {"char from 2", s.Find(L'.', 2), 3},
        {"char from 4", s.Find(L'.', 4), -1},
        {"char negative start", s.Find(L'a', -5), 0},
        {"char start past end", s.Find(L'a', 99), -1},
        {"sub", s.Find(L"b.c"), 2},
        {"sub empty", s.Find(L"", 2), 2},
        {"sub null", s.Find(static_cast<const wchar_t*>(nullptr)), -1},
        {"sub at end", s.Find(L"", 5), 5},
        {"sub past end", s.Find(L"", 6), -1},
        {"reverse", s.ReverseFind(L'.'), 3},
        {"one of", s.FindOneOf(L"cb"), 2},
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
    EXPECT_EQ(s.Replace(L"+", nullptr), 2);
    EXPECT_EQ(s, L"abc");
    EXPECT_EQ(s.Replace(L"", L"x"), 0);
    EXPECT_EQ(s.Replace(nullptr, L"x"), 0);
    CString overlap = L"aaaa";
    EXPECT_EQ(overlap.Replace(L"aa", L"a"), 2) << "left to right, no overlap";
    EXPECT_EQ(overlap, L"aa");
    CString grow = L"xax";
    EXPECT_EQ(grow.Replace(L"x", L"xx"), 2) << "the replacement is not searched again";
    EXPECT_EQ(grow, L"xxaxx");

    CString r = L"a b c ";
    EXPECT_EQ(r.Remove(L' '), 3);
    EXPECT_EQ(r.Insert(1, L'-'), 4);
    EXPECT_EQ(r.Insert(99, L"!"), 5);
    EXPECT_EQ(r.Insert(-3, L"<"), 6);
    EXPECT_EQ(r, L"<a-bc!");
    EXPECT_EQ(r.Delete(1, 2), 4);
    EXPECT_EQ(r.Delete(2, 99), 2);
    EXPECT_EQ(r.Delete(99), 2);
    EXPECT_EQ(r, L"<b");
}

TEST(CStringTest, AccessAndBufferCheckTheirBounds)
{
    CString s = L"abc";
    EXPECT_EQ(s.GetAt(3), L'\0') << "the terminator may be read";
    EXPECT_THROW(s.GetAt(4), std::invalid_argument);
    EXPECT_THROW(s.GetAt(-1), std::invalid_argument);
    EXPECT_THROW(s.SetAt(3, L'x'), std::invalid_argument);
    EXPECT_THROW(s.SetAt(-1, L'x'), std::invalid_argument);
    EXPECT_EQ(s, L"abc");

    wchar_t* p = s.GetBuffer(10);
    EXPECT_EQ(std::wcscmp(p, L"abc"), 0) << "the text is kept";
    std::wcscpy(p, L"0123456789");
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"0123456789");
    p = s.GetBuffer(2);  // never shrinks
    p[3] = L'\0';
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"012");
    s.GetBuffer(0);
    s.ReleaseBuffer(99);  // clamped to the buffer
    EXPECT_EQ(s, L"012");
    wchar_t* q = s.GetBufferSetLength(4);
    q[3] = L'y';
    EXPECT_EQ(s, L"012y");
}

TEST(CStringTest, CopiesAreIndependent)
{
    CString a = L"one";
    CString b = a;
    b.SetAt(0, L'O');
    EXPECT_EQ(a, L"one");
    EXPECT_EQ(b, L"One");
    a = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(a.IsEmpty());
}

} // namespace
