// Rebuilding a changed entry's line, the line limit, and handing the line
// text out (whole, value part, bounded copy, list entries).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "entry/EntryTestSupport.h"

namespace {

using namespace entrytest;

class LineTest : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{16};

    // A stale entry of the given status with the values as a program sets them.
    TestEntry Make(unsigned status, const wchar_t* name, const Texts& values) {
        TestEntry e(&m_reservoir, status & ~8u, name);
        e.SetStatus(status);
        for (const std::wstring& v : values)
            e.AddValue(v);
        e.MarkStale();
        return e;
    }
};

TEST_F(LineTest, RebuiltLines) {
    // valuesAfter: the value texts in memory afterwards (empty: as before).
    const struct { const char* what; unsigned status; const wchar_t* name; Texts values; const wchar_t* line;
                   unsigned valueOffset; Texts valuesAfter; } cases[] = {
        {"two values", 0, L"width", {L"640", L"480"}, L"width:\t640 480 ", 7, {}},
        {"blank in a value", 0, L"title", {L"Main window", L"x"}, L"title:\t\"Main window\" x ", 7, {}},
        {"empty value", 0, L"path", {L""}, L"path:\t\"\" ", 6, {}},
        {"double quote", 0, L"quote", {L"a\"b"}, L"quote:\ta\u00A7b ", 7, {}},
        {"comment text", 4, nullptr, {L"hello world"}, L"; hello world ", 2, {}},
        {"entry made a comment", 4 | 1, L"width", {L"640"}, L"; width:\t640 ", 9, {}},
        {"comment without values", 4, nullptr, {}, L"  ", 2, {}},
        {"list head", 8, L"colors", {}, L"colors: {", 9, {}},
        {"continued list head", 8 | 64, L"colors", {}, L"colors: { +", 11, {}},
        {"list line", 16, nullptr, {L"red", L"green"}, L"\tred green ", 1, {}},
        {"list line comment", 16 | 4, nullptr, {L"a b"}, L";\ta b ", 2, {}},
        {"list line comment without values", 16 | 4, nullptr, {}, L" \t", 2, {}},
        {"closing line without name", 16 | 32, nullptr, {}, L"} \t;-- ", 7, {}},
        {"closing line ignores values", 16 | 32, L"x", {L"v"}, L"} \t;-- x", 8, {}},
        {"no name, no values", 0, nullptr, {}, L"", 0, {}},
        {"only blanks", 0, L"b", {L"  "}, L"b:\t\"  \" ", 3, {}},
        {"tab in value", 0, L"t", {L"a\tb"}, L"t:\t\"a\tb\" ", 3, {}},
        {"section sign turns into a quote", 0, L"s", {L"x\u00A7y"}, L"s:\tx\u00A7y ", 3, {L"x\"y"}},
        {"line feed", 0, L"n", {L"a\nb"}, L"n:\ta\u00B6b ", 3, {L"a\u00B6b"}},
        {"carriage return", 0, L"n", {L"a\rb"}, L"n:\ta\u00ACb ", 3, {L"a\u00ACb"}},
        {"comment keeps quotes", 4, nullptr, {L"say \"hi\""}, L"; say \"hi\" ", 2, {}},
        {"comment line feed", 4, nullptr, {L"a\nb"}, L"; a\u00B6b ", 2, {L"a\u00B6b"}},
        {"vertical tab is quoted", 0, L"v", {L"a\vb"}, L"v:\t\"a\vb\" ", 3, {}},
        {"brace first value is quoted", 0, L"v", {L"{", L"{"}, L"v:\t\"{\" { ", 3, {}},
        {"list line brace first", 16, nullptr, {L"}", L"}"}, L"\t\"}\" } ", 1, {}},
        {"list line semicolon first", 16, nullptr, {L";x", L";"}, L"\t\";x\" ; ", 1, {}},
        {"list line colon first", 16, nullptr, {L":", L"a:b"}, L"\t\":\" a:b ", 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestEntry e = Make(c.status, c.name, c.values);
        e.SeeZeileErneuern();
        EXPECT_EQ(e.Line(), c.line);
        EXPECT_EQ(e.ValueOffset(), c.valueOffset);
        EXPECT_FALSE(e.RebuildPending());
        EXPECT_EQ(e.Values(), c.valuesAfter.empty() ? c.values : c.valuesAfter);
    }
}

TEST_F(LineTest, LineLimit) {
    // "n:\t" + value + " " + terminator: a value of 4091 characters needs 4096.
    TestEntry fits = Make(0, L"n", {std::wstring(4091, L'x')});
    fits.SeeZeileErneuern();
    EXPECT_EQ(fits.Line().size(), 4095u);

    TestEntry over = Make(0, L"n", {std::wstring(4092, L'x')});
    CResourceSeaException e = CatchSea([&] { over.SeeZeileErneuern(); });
    EXPECT_EQ(e.m_code, 3u);
    EXPECT_EQ(Msg(e), L"n: maximum resource line lenght (4096) exceeded.");
    EXPECT_TRUE(over.RebuildPending());
    EXPECT_EQ(CatchSea([&] { Make(0, std::wstring(5000, L'h').c_str(), {}).SeeZeileErneuern(); }).m_code, 3u)
        << "a name that alone is too long";

    // A line read before keeps its text when the rebuild fails, again and again.
    TestEntry read(&m_reservoir, 0, nullptr);
    read = L"n: 1";
    read.AddValue(std::wstring(5000, L'y'));
    read.MarkStale();
    EXPECT_EQ(CatchSea([&] { read.SeeZeileErneuern(); }).m_code, 3u);
    EXPECT_EQ(read.Line(), L"n: 1");
    EXPECT_EQ(read.ValuePart(), L"1");
    EXPECT_TRUE(read.RebuildPending());
    CString out;
    EXPECT_EQ(CatchSea([&] { read.GetLine(out); }).m_code, 3u);
}

TEST_F(LineTest, BuildNeverWritesPastTheBuffer) {
    wchar_t buffer[16];
    unsigned offset = 0;
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    TestEntry head = Make(0, L"a-rather-long-name", {L"v"});
    EXPECT_EQ(head.SeeZeileBilden(buffer, 8, offset), 21u);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(std::count(buffer + 8, std::end(buffer), L'#'), 8);

    // "k:\taaaa bbbb " is 13 characters: with the terminator 14.
    TestEntry e = Make(0, L"k", {L"aaaa", L"bbbb"});
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(e.SeeZeileBilden(buffer, 14, offset), 14u);
    EXPECT_EQ(std::wstring(buffer), L"k:\taaaa bbbb ");
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(e.SeeZeileBilden(buffer, 13, offset), 14u);
    EXPECT_EQ(std::wstring(buffer), L"k:\taaaa ") << "the part built so far";
    EXPECT_EQ(std::count(buffer + 13, std::end(buffer), L'#'), 3);
}

TEST_F(LineTest, GetLine) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"  width:  640   480  ";
    e.ClearFlags();
    CString out;
    e.GetLine(out);
    EXPECT_EQ(out.Str(), L"width:  640   480") << "a read line is handed out as read, trimmed";
    EXPECT_TRUE(e.Accessed());
    EXPECT_EQ(e.Line(), L"  width:  640   480  ");
    e.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"640   480");

    e.WertNeuSetzen(L"800", 0);
    e.GetLine(out);
    EXPECT_EQ(out.Str(), L"width:\t800 480");
    EXPECT_FALSE(e.RebuildPending());
    e.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"800 480");
}

TEST_F(LineTest, GetLineValuePartCCopiesLikeWcsncpy) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"k: abc";
    wchar_t dst[8];
    std::fill(std::begin(dst), std::end(dst), L'#');
    e.GetLineValuePartC(dst, 3);
    EXPECT_EQ(std::wstring(dst, 4), L"abc#") << "no terminator when the text fills the destination";
    e.GetLineValuePartC(dst, 6);
    EXPECT_EQ(std::wstring(dst, 7), std::wstring(L"abc\0\0\0#", 7));
    e.GetLineValuePartC(dst, 2);
    EXPECT_EQ(std::wstring(dst, 3), L"abc") << "untouched beyond n";
}

TEST_F(LineTest, ListEntryText) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {  ";
    list.ListenendeErzeugen();
    for (const wchar_t* line : {L"\tred 1 ", L"  ; note", L"blue \"a b\""})
        list.AddListLine(line, 14);
    CString out;
    list.GetLine(out);
    EXPECT_EQ(out.Str(), L"colors: {\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
    list.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"{\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
    for (CResourceEntry* line : list.ListLines())
        EXPECT_TRUE(line->Accessed());
    list.MarkStale();
    list.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"\nred 1\n; note\nblue \"a b\"\n} \t;-- colors") << "a rebuilt head has no value part";
}

}  // namespace
