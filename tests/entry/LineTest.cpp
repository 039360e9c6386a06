// Rebuilding a changed entry's line, the line limit, and handing the line
// text out (whole, value part, bounded copy, list entries).
#include <gtest/gtest.h>

#include <string>

#include "entry/EntryTestSupport.h"

namespace {

using entrytest::CatchSea;
using entrytest::Msg;
using entrytest::TestEntry;
using entrytest::Texts;

struct RebuildCase {
    const char* what;
    unsigned status;
    const wchar_t* name;
    Texts values;
    const wchar_t* line;       // rebuilt line
    unsigned valueOffset;
    Texts valuesAfter;         // value texts in memory afterwards (empty: as before)
};

class LineTest : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{16};

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
    const RebuildCase cases[] = {
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
    for (const RebuildCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestEntry e = Make(c.status, c.name, c.values);
        wchar_t buffer[256];
        unsigned offset = 12345;
        const unsigned need = e.SeeZeileBilden(buffer, 256, offset);
        EXPECT_EQ(std::wstring(buffer), c.line);
        EXPECT_EQ(need, std::wstring(c.line).size() + 1);
        EXPECT_EQ(offset, c.valueOffset);
        EXPECT_EQ(e.Values(), c.valuesAfter.empty() ? c.values : c.valuesAfter);

        TestEntry f = Make(c.status, c.name, c.values);
        f.SeeZeileErneuern();
        EXPECT_EQ(f.Line(), c.line);
        EXPECT_EQ(f.ValueOffset(), c.valueOffset);
        EXPECT_FALSE(f.RebuildPending());
    }
}

TEST_F(LineTest, ClosingLineOfAList) {
    TestEntry list(&m_reservoir, 8, L"colors");
    ASSERT_NE(list.ListEnd(), nullptr);
    EXPECT_EQ(entrytest::LineOf(*list.ListEnd()), L"} \t;-- colors");
    EXPECT_EQ(list.ListEnd()->Status(), 48u);
}

TEST_F(LineTest, RebuiltLinesReadBackToTheSameValues) {
    const Texts values[] = {
        {L"a b", L"", L"  "},      {L"q\"uote", L"\u00A7"}, {L"x\ny", L"\r"},
        {L"\t", L"v\vw", L"f\fg"}, {L"{", L"}"},            {L"plain"},
    };
    for (const Texts& v : values) {
        TestEntry e = Make(0, L"key", v);
        e.SeeZeileErneuern();
        TestEntry back(&m_reservoir, 0, nullptr);
        back = e.Line().c_str();
        SCOPED_TRACE(::testing::Message() << "line [" << e.Line() << "]");
        EXPECT_EQ(back.Values(), e.Values());
        EXPECT_TRUE(back == e);
    }
}

TEST_F(LineTest, LineLimit) {
    // "n:\t" + value + " " + terminator: a value of 4091 characters needs 4096.
    TestEntry fits = Make(0, L"n", {std::wstring(4091, L'x')});
    fits.SeeZeileErneuern();
    EXPECT_EQ(fits.Line().size(), 4095u);
    EXPECT_EQ(fits.LineSize(), 4096u);

    TestEntry over = Make(0, L"n", {std::wstring(4092, L'x')});
    CResourceSeaException e = CatchSea([&] { over.SeeZeileErneuern(); });
    EXPECT_EQ(e.m_code, 3u);
    EXPECT_EQ(Msg(e), L"n: maximum resource line lenght (4096) exceeded.");
    EXPECT_TRUE(over.RebuildPending());
    EXPECT_TRUE(over.LineIsShared());

    // A line read before keeps its text when the rebuild fails.
    TestEntry read(&m_reservoir, 0, nullptr);
    read = L"n: 1";
    read.AddValue(std::wstring(5000, L'y'));
    read.MarkStale();
    e = CatchSea([&] { read.SeeZeileErneuern(); });
    EXPECT_EQ(e.m_code, 3u);
    EXPECT_EQ(read.Line(), L"n: 1");
    EXPECT_EQ(read.ValuePart(), L"1");
    EXPECT_TRUE(read.RebuildPending());
    CString out;
    e = CatchSea([&] { read.GetLine(out); });
    EXPECT_EQ(e.m_code, 3u) << "fails the same way until the value is shortened";
}

TEST_F(LineTest, HeadThatDoesNotFitIsNotWrittenPastTheBuffer) {
    TestEntry e = Make(0, L"a-rather-long-name", {L"v"});
    wchar_t buffer[16];
    for (wchar_t& c : buffer)
        c = L'#';
    unsigned offset = 0;
    EXPECT_EQ(e.SeeZeileBilden(buffer, 8, offset), 18u + 2u + 1u);
    EXPECT_EQ(buffer[0], L'\0');
    for (int i = 8; i < 16; ++i)
        EXPECT_EQ(buffer[i], L'#') << i;

    TestEntry huge = Make(0, std::wstring(5000, L'h').c_str(), {});
    CResourceSeaException ex = CatchSea([&] { huge.SeeZeileErneuern(); });
    EXPECT_EQ(ex.m_code, 3u);
}

TEST_F(LineTest, ValuesThatDoNotFitStopTheBuild) {
    TestEntry e = Make(0, L"k", {L"aaaa", L"bbbb"});
    wchar_t buffer[16];
    for (wchar_t& c : buffer)
        c = L'#';
    unsigned offset = 0;
    // "k:\taaaa bbbb " is 13 characters: with the terminator 14.
    EXPECT_EQ(e.SeeZeileBilden(buffer, 14, offset), 14u);
    EXPECT_EQ(std::wstring(buffer), L"k:\taaaa bbbb ");
    for (wchar_t& c : buffer)
        c = L'#';
    EXPECT_EQ(e.SeeZeileBilden(buffer, 13, offset), 14u);
    EXPECT_EQ(std::wstring(buffer), L"k:\taaaa ") << "the part built so far";
    EXPECT_EQ(buffer[13], L'#');
    EXPECT_EQ(buffer[14], L'#');
}

TEST_F(LineTest, LineBufferOnlyGrows) {
    TestEntry g = Make(0, L"k", {L"a-long-value-text"});
    g.SeeZeileErneuern();
    TestEntry shorter(g);
    shorter.WertNeuSetzen(L"x", 0);
    const wchar_t* before = shorter.LinePtr();
    const unsigned sizeBefore = shorter.LineSize();
    shorter.SeeZeileErneuern();
    EXPECT_EQ(shorter.Line(), L"k:\tx ");
    EXPECT_EQ(shorter.LinePtr(), before);
    EXPECT_EQ(shorter.LineSize(), sizeBefore);

    // InhalteLoeschen frees the line; the next rebuild makes a fresh one.
    shorter.InhalteLoeschen(false);
    EXPECT_TRUE(shorter.LineIsShared());
    EXPECT_EQ(shorter.LineSize(), 0u);
}

TEST_F(LineTest, GetLineOfAReadEntryDoesNotRebuild) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"  width:  640   480  ";
    e.ClearBits(1);
    CString out;
    e.GetLine(out);
    EXPECT_EQ(out.Str(), L"width:  640   480");
    EXPECT_TRUE(e.Accessed());
    EXPECT_FALSE(e.RebuildPending());
    EXPECT_EQ(e.Line(), L"  width:  640   480  ");
    e.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"640   480");
}

TEST_F(LineTest, GetLineRebuildsAStaleLine) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"width: 640";
    e.WertNeuSetzen(L"800", 0);
    CString out;
    e.GetLine(out);
    EXPECT_EQ(out.Str(), L"width:\t800");
    EXPECT_FALSE(e.RebuildPending());
    e.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"800");
}

TEST_F(LineTest, GetLineValuePartCCopiesLikeWcsncpy) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"k: abc";
    wchar_t dst[8];
    for (wchar_t& c : dst)
        c = L'#';
    e.GetLineValuePartC(dst, 3);
    EXPECT_EQ(std::wstring(dst, 3), L"abc");
    EXPECT_EQ(dst[3], L'#') << "no terminator when the text fills the destination";
    e.GetLineValuePartC(dst, 6);
    EXPECT_EQ(std::wstring(dst, 3), L"abc");
    EXPECT_EQ(dst[3], L'\0');
    EXPECT_EQ(dst[5], L'\0');
    EXPECT_EQ(dst[6], L'#');
    e.GetLineValuePartC(dst, 2);
    EXPECT_EQ(dst[0], L'a');
    EXPECT_EQ(dst[1], L'b');
    EXPECT_EQ(dst[2], L'c') << "untouched beyond n";
}

TEST_F(LineTest, ListEntryText) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {  ";
    list.ListenendeErzeugen();
    list.AddListLine(L"\tred 1 ", 14);
    list.AddListLine(L"  ; note", 14);
    list.AddListLine(L"blue \"a b\"", 14);
    CString out;
    list.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"{\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
    list.GetLine(out);
    EXPECT_EQ(out.Str(), L"colors: {\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
    for (CResourceEntry* line : list.ListLines())
        EXPECT_TRUE(line->Accessed());

    // A rebuilt head has an empty value part.
    list.MarkStale();
    list.GetLineValuePart(out);
    EXPECT_EQ(out.Str(), L"\nred 1\n; note\nblue \"a b\"\n} \t;-- colors");
}

}  // namespace
