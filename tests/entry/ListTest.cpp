// List entries: reading list lines from a sea file (with its errors and the
// recovery after a syntax error), adding lines, writing a list, appending lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry/EntryTestSupport.h"

namespace {

using entrytest::CatchSea;
using entrytest::LineOf;
using entrytest::Msg;
using entrytest::OpenForReading;
using entrytest::TempFile;
using entrytest::TestEntry;
using entrytest::Texts;
using entrytest::ValuesOf;

using Lines = std::vector<std::wstring>;

class ListTest : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{16};
    TempFile m_file{"list.sea"};

    // The trimmed line texts of the list's lines.
    static Lines LinesOf(const TestEntry& list) {
        Lines out;
        for (CResourceEntry* line : list.ListLines()) {
            CString text;
            line->GetLine(text);
            out.push_back(text.Str());
        }
        return out;
    }
    // Writes `lines` to the list file and opens it for reading with `file`.
    void OpenWith(CUnicodeFile& file, const std::vector<std::wstring>& lines) {
        m_file.WriteUtf16(lines);
        OpenForReading(file, m_file);
    }
    // The next line the file gives, or "<eof>".
    static std::wstring NextLine(CUnicodeFile& file) {
        wchar_t buffer[8192];
        return file.ReadNextLine(buffer, 8192) ? std::wstring(buffer) : L"<eof>";
    }
};

TEST_F(ListTest, ReadsLinesUpToTheClosingLine) {
    CUnicodeFile file;
    OpenWith(file, {L"\tred 1", L"; note", L"\t\"dark blue\" 2", L"} \t;-- colors", L"after: 1"});
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {";
    int consumed = -1;
    EXPECT_EQ(list.ReadListLines(file, false, &consumed), 4);
    EXPECT_EQ(consumed, 4);
    const auto lines = list.ListLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->Status(), 16u);
    EXPECT_EQ(LinesOf(list), (Lines{L"red 1", L"; note", L"\"dark blue\" 2"}));
    EXPECT_TRUE(lines[1]->IsComment());
    EXPECT_EQ(ValuesOf(*lines[2]), (Texts{L"dark blue", L"2"}));
    ASSERT_NE(list.ListEnd(), nullptr);
    EXPECT_EQ(LineOf(*list.ListEnd()), L"} \t;-- colors");
    EXPECT_EQ(list.ListEnd()->Status(), 48u);
    EXPECT_FALSE(list.Modified()) << "reading leaves the head's status as its split set it";
    EXPECT_EQ(NextLine(file), L"after: 1");
}

TEST_F(ListTest, EmptyList) {
    CUnicodeFile file;
    OpenWith(file, {L"}"});
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"empty: {";
    EXPECT_EQ(list.ReadListLines(file, false), 1);
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(LineOf(*list.ListEnd()), L"}");
}

TEST_F(ListTest, ReadingReplacesLinesAndTheGeneratedEndLine) {
    CUnicodeFile file;
    OpenWith(file, {L"new", L"}   end"});
    TestEntry list(&m_reservoir, 8, L"l");
    list.AddListLine(L"old", 14);
    EXPECT_EQ(list.ReadListLines(file, false), 2);
    EXPECT_EQ(LinesOf(list), Lines{L"new"});
    EXPECT_EQ(LineOf(*list.ListEnd()), L"}   end");
}

TEST_F(ListTest, AppendingKeepsLinesAndEndLine) {
    CUnicodeFile file;
    OpenWith(file, {L"c 3", L"}"});
    TestEntry list(&m_reservoir, 8, L"l");
    list.AddListLine(L"a 1", 14);
    list.AddListLine(L"b 2", 14);
    CResourceEntry* end = list.ListEnd();
    EXPECT_EQ(list.ReadListLines(file, true), 2);
    EXPECT_EQ(LinesOf(list), (Lines{L"a 1", L"b 2", L"c 3"}));
    EXPECT_EQ(list.ListEnd(), end);
    EXPECT_EQ(LineOf(*end), L"} \t;-- l");
}

TEST_F(ListTest, ReadErrors) {
    {
        SCOPED_TRACE("end of file inside the list");
        CUnicodeFile file;
        OpenWith(file, {L"a 1", L"b 2"});
        TestEntry list(&m_reservoir, 0, nullptr);
        list = L"l: {";
        int consumed = -1;
        CResourceSeaException e = CatchSea([&] { list.ReadListLines(file, false, &consumed); });
        EXPECT_EQ(e.m_code, 2u);
        EXPECT_EQ(Msg(e), L"List not terminated ('}' missing)");
        EXPECT_EQ(consumed, 2);
        EXPECT_EQ(LinesOf(list), (Lines{L"a 1", L"b 2"}));
    }
    {
        SCOPED_TRACE("line longer than the buffer");
        CUnicodeFile file;
        OpenWith(file, {L"a 1", std::wstring(9000, L'x'), L"b 2", L"}"});
        TestEntry list(&m_reservoir, 0, nullptr);
        list = L"l: {";
        int consumed = -1;
        CResourceSeaException e = CatchSea([&] { list.ReadListLines(file, false, &consumed); });
        EXPECT_EQ(e.m_code, 1u);
        EXPECT_EQ(Msg(e), L"Max. line length 8192 exceeded");
        EXPECT_EQ(consumed, 2);
        EXPECT_EQ(LinesOf(list), Lines{L"a 1"});
        EXPECT_EQ(NextLine(file), L"b 2");
    }
    {
        SCOPED_TRACE("no list entry");
        CUnicodeFile file;
        OpenWith(file, {L"a 1", L"}"});
        TestEntry plain(&m_reservoir, 0, nullptr);
        plain = L"p: 1";
        int consumed = -1;
        CResourceSeaException e = CatchSea([&] { plain.ReadListLines(file, false, &consumed); });
        EXPECT_EQ(e.m_code, 4u);
        EXPECT_EQ(Msg(e), L"trying to read list lines from non-list entry!");
        EXPECT_EQ(consumed, 0);
        EXPECT_EQ(plain.Values(), Texts{L"1"});
        EXPECT_EQ(NextLine(file), L"a 1");
    }
}

TEST_F(ListTest, SyntaxErrorRecoversTheRestOfTheList) {
    CUnicodeFile file;
    OpenWith(file, {L"\ta 1", L": bad", L"\tb 2", L"  ; c", L"\t\"open", L"}  old end", L"next: 1"});
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {";
    int consumed = -1;
    CResourceSeaException e = CatchSea([&] { list.ReadListLines(file, false, &consumed); });
    EXPECT_EQ(e.m_code, 2u);
    EXPECT_EQ(Msg(e), L"Empty identifier (name before ':' missing)");
    EXPECT_EQ(consumed, 6);
    const auto lines = list.ListLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]->Status(), 16u);
    EXPECT_EQ(lines[1]->Status() & 0xFC, 16u | 0x84) << "the faulty line, kept as a comment";
    EXPECT_EQ(LineOf(*lines[1]), L": bad");
    EXPECT_TRUE(lines[2]->IsComment());
    EXPECT_EQ(LineOf(*lines[2]), L"\tb 2") << "kept as it was, to be written back unchanged";
    EXPECT_TRUE(lines[3]->IsComment());
    EXPECT_EQ(LineOf(*lines[3]), L"  ; c") << "a comment line is split normally";
    EXPECT_TRUE(lines[4]->IsComment());
    EXPECT_FALSE(lines[4]->SyntaxError());
    ASSERT_NE(list.ListEnd(), nullptr);
    EXPECT_EQ(LineOf(*list.ListEnd()), L"}  old end") << "the list keeps its own closing line";
    EXPECT_EQ(NextLine(file), L"next: 1") << "nothing after the list is swallowed";
}

TEST_F(ListTest, SyntaxErrorWhileAppendingStopsAtTheClosingLine) {
    CUnicodeFile file;
    OpenWith(file, {L": bad", L"x y", L"}", L"next: 1", L"more: 2"});
    TestEntry list(&m_reservoir, 8, L"l");
    list.AddListLine(L"a 1", 14);
    list.AddListLine(L"b 2", 14);
    CResourceEntry* end = list.ListEnd();
    int consumed = -1;
    CResourceSeaException e = CatchSea([&] { list.ReadListLines(file, true, &consumed); });
    EXPECT_EQ(e.m_code, 2u);
    EXPECT_EQ(consumed, 3);
    EXPECT_EQ(list.ListCount(), 4);
    EXPECT_EQ(list.ListEnd(), end) << "the list keeps its end line";
    EXPECT_EQ(LineOf(*end), L"} \t;-- l");
    EXPECT_EQ(NextLine(file), L"next: 1");
}

TEST_F(ListTest, SyntaxErrorWithoutClosingLineReadsToTheEnd) {
    CUnicodeFile file;
    OpenWith(file, {L": bad", L"x"});
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"l: {";
    int consumed = -1;
    EXPECT_EQ(CatchSea([&] { list.ReadListLines(file, false, &consumed); }).m_code, 2u);
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(list.ListCount(), 2);
    ASSERT_NE(list.ListEnd(), nullptr);
    EXPECT_EQ(LineOf(*list.ListEnd()), L"} \t;-- l");
}

TEST_F(ListTest, SyntaxErrorThenOverlongLine) {
    CUnicodeFile file;
    OpenWith(file, {L": bad", std::wstring(9000, L'x'), L"}"});
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"l: {";
    int consumed = -1;
    CResourceSeaException e = CatchSea([&] { list.ReadListLines(file, false, &consumed); });
    EXPECT_EQ(e.m_code, 1u);
    EXPECT_EQ(Msg(e), L"Max. line length 8192 exceeded");
    EXPECT_EQ(consumed, 2);
}

TEST_F(ListTest, AddListLineByMode) {
    struct Case {
        int mode;
        int anchor;  // index of pos in the list a b c, -1: null
        Lines expected;
    } cases[] = {
        {14, 1, {L"a", L"b", L"c", L"*"}},  {14, -1, {L"a", L"b", L"c", L"*"}},
        {15, 1, {L"*", L"a", L"b", L"c"}},  {15, -1, {L"*", L"a", L"b", L"c"}},
        {16, 1, {L"a", L"b", L"*", L"c"}},  {16, -1, {L"a", L"b", L"c", L"*"}},
        {18, 1, {L"a", L"*", L"b", L"c"}},  {18, -1, {L"*", L"a", L"b", L"c"}},
        {16, 2, {L"a", L"b", L"c", L"*"}},  {18, 0, {L"*", L"a", L"b", L"c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " anchor " << c.anchor);
        TestEntry list(&m_reservoir, 8, L"l");
        for (const wchar_t* text : {L"a", L"b", L"c"})
            list.AddListLine(text, 14);
        list.ResetModified();
        list.ClearBits(1);
        POSITION pos = nullptr;
        if (c.anchor >= 0) {
            pos = list.HeadPosition();
            for (int i = 0; i < c.anchor; ++i)
                list.NextListenZeile(pos);
        }
        CResourceEntry* added = list.AddListLine(c.mode, pos);
        ASSERT_NE(added, nullptr);
        EXPECT_EQ(added->Status(), 16u);
        EXPECT_EQ(added->NValues(), 0u);
        *added = L"*";
        EXPECT_EQ(LinesOf(list), c.expected);
        EXPECT_TRUE(list.Modified());
        EXPECT_TRUE(list.Accessed());
    }
}

TEST_F(ListTest, AddListLineWithAnUnknownMode) {
    TestEntry list(&m_reservoir, 8, L"colors");
    list.AddListLine(L"a", 14);
    list.ResetModified();
    CResourceSeaException e = CatchSea([&] { list.AddListLine(17, nullptr); });
    EXPECT_EQ(e.m_code, 4u);
    EXPECT_EQ(Msg(e), L"colors: tried to add list line with mode = 17.");
    EXPECT_EQ(list.ListCount(), 1);
    EXPECT_FALSE(list.Modified());
}

TEST_F(ListTest, AddListLineOnANonList) {
    TestEntry plain(&m_reservoir, 0, L"p");
    TestEntry other(&m_reservoir, 16, nullptr);
    EXPECT_EQ(plain.AddListLine(14, nullptr), nullptr);
    EXPECT_EQ(plain.AddListLine(99, nullptr), nullptr);
    EXPECT_EQ(plain.AddListLine(L"x", 14), nullptr);
    EXPECT_EQ(plain.AddListLine(other, nullptr), nullptr);
    EXPECT_EQ(plain.Status(), 0u);
}

TEST_F(ListTest, AddListLineWithText) {
    const struct {
        int mode;
        Lines expected;
    } cases[] = {
        {14, {L"a", L"*"}}, {15, {L"*", L"a"}}, {16, {L"a", L"*"}}, {18, {L"a", L"*"}}, {0, {L"a", L"*"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        TestEntry list(&m_reservoir, 8, L"l");
        list.AddListLine(L"a", 14);
        CResourceEntry* line = list.AddListLine(L"*", c.mode);
        ASSERT_NE(line, nullptr);
        EXPECT_TRUE(line->IsListLine());
        EXPECT_EQ(LinesOf(list), c.expected);
    }
    TestEntry list(&m_reservoir, 8, L"l");
    CResourceSeaException e = CatchSea([&] { list.AddListLine(L"\"open", 14); });
    EXPECT_EQ(e.m_code, 2u);
    ASSERT_EQ(list.ListCount(), 1) << "the line is in the list";
    EXPECT_TRUE(list.ListLines()[0]->SyntaxError());
    EXPECT_TRUE(list.Modified()) << "the list changed, so it is marked";
}

TEST_F(ListTest, AddListLineCopy) {
    TestEntry list(&m_reservoir, 8, L"l");
    list.AddListLine(L"a", 14);
    list.AddListLine(L"c", 14);
    TestEntry source(&m_reservoir, 0, nullptr);
    source = L"b: 1 2";
    CResourceEntry* copy = list.AddListLine(source, list.HeadPosition());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, &source);
    EXPECT_TRUE(copy->IsListLine());
    EXPECT_EQ(ValuesOf(*copy), (Texts{L"1", L"2"}));
    EXPECT_EQ(list.ListLines()[1], copy);
    CResourceEntry* last = list.AddListLine(source, nullptr);
    EXPECT_EQ(list.ListLines()[3], last);
}

TEST_F(ListTest, WritesHeadLinesAndEndLine) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors:   {";
    list.AddListLine(L"  red  1", 14);
    list.AddListLine(L"; note", 14);
    CResourceEntry* changed = list.AddListLine(L"green 2", 14);
    list.ListenendeErzeugen();
    changed->SetText(L"3", 1);
    {
        CUnicodeFile file;
        ASSERT_NE(file.Open(m_file.WidePath().c_str(), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite), 0);
        file.WriteBOM();
        EXPECT_TRUE(list.WriteToSeaFile(file));
        ASSERT_TRUE(file.Close());
    }
    EXPECT_EQ(m_file.ReadUtf16Lines(),
              (Lines{L"colors:   {", L"  red  1", L"; note", L"\tgreen 3 ", L"} \t;-- colors"}));
}

TEST_F(ListTest, WritingAListWithoutEndLineClosesIt) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"open: {";
    list.AddListLine(L"x", 14);
    ASSERT_EQ(list.ListEnd(), nullptr);
    {
        CUnicodeFile file;
        ASSERT_NE(file.Open(m_file.WidePath().c_str(), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite), 0);
        file.WriteBOM();
        EXPECT_TRUE(list.WriteToSeaFile(file));
        ASSERT_TRUE(file.Close());
    }
    EXPECT_EQ(m_file.ReadUtf16Lines(), (Lines{L"open: {", L"x", L"} \t;-- open"}));
}

TEST_F(ListTest, WritingToAClosedFileFails) {
    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"a: 1";
    CUnicodeFile file;
    EXPECT_FALSE(e.WriteToSeaFile(file));
}

TEST_F(ListTest, Concatenation) {
    TestEntry target(&m_reservoir, 8, L"t");
    target.AddListLine(L"a", 14);
    target.AddListLine(L"b", 14);
    target.ResetModified();
    target.ClearBits(1);
    CResValueReservoir otherReservoir(4);
    TestEntry source(&otherReservoir, 8, L"s");
    for (const wchar_t* text : {L"c 1", L"; d", L"e"})
        source.AddListLine(text, 14);
    target += source;
    EXPECT_EQ(LinesOf(target), (Lines{L"a", L"b", L"c 1", L"; d", L"e"}));
    EXPECT_FALSE(target.Modified());
    EXPECT_TRUE(target.Accessed());
    EXPECT_EQ(source.ListCount(), 3);
    for (CResourceEntry* line : target.ListLines()) {
        EXPECT_TRUE(line->IsListLine());
        EXPECT_EQ(TestEntry(*line).Reservoir(), &m_reservoir);
    }
    EXPECT_EQ(LineOf(*target.ListEnd()), L"} \t;-- t");
}

TEST_F(ListTest, ConcatenationWithItself) {
    TestEntry list(&m_reservoir, 8, L"l");
    list.AddListLine(L"a", 14);
    list.AddListLine(L"b", 14);
    list += list;
    EXPECT_EQ(LinesOf(list), (Lines{L"a", L"b", L"a", L"b"}));
}

TEST_F(ListTest, IllegalConcatenation) {
    TestEntry list(&m_reservoir, 8, L"l");
    list.AddListLine(L"a", 14);
    TestEntry plain(&m_reservoir, 0, L"p");
    CResourceSeaException e = CatchSea([&] { list += plain; });
    EXPECT_EQ(e.m_code, 2u);
    EXPECT_EQ(Msg(e), L"Illegal list concatenation");
    e = CatchSea([&] { plain += list; });
    EXPECT_EQ(e.m_code, 2u);
    EXPECT_EQ(Msg(e), L"Illegal list concatenation");
    EXPECT_EQ(list.ListCount(), 1);
    EXPECT_EQ(plain.Status(), 0u);
}

}  // namespace
