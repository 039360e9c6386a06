// List entries: reading list lines from a sea file (with its errors and the
// recovery after a syntax error), adding lines, writing a list, appending lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry/EntryTestSupport.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "support/TestSupport.h"

namespace {

using namespace entrytest;
using Lines = std::vector<std::wstring>;

class ListTest : public ::testing::Test {
protected:
    CResValueReservoir m_reservoir{16};
    testsupport::ScratchDir m_dir;

    // The line texts of the list's lines, as kept (trimmed: as GetLine gives them).
    static Lines LinesOf(const TestEntry& list, bool trimmed = false) {
        Lines out;
        for (CResourceEntry* line : list.ListLines()) {
            CString text;
            if (trimmed)
                line->GetLine(text);
            out.push_back(trimmed ? text.Str() : LineOf(*line));
        }
        return out;
    }
    // Writes `lines` as a sea file and opens it for reading after the byte-order mark.
    void OpenWith(CUnicodeFile& file, const Lines& lines) {
        testsupport::WriteBytes(m_dir.Path("list.sea"), testsupport::SeaUtf16(lines));
        ASSERT_NE(file.Open(m_dir.Wide("list.sea"), CUnicodeFile::modeRead), 0);
        file.ReadBOM();
    }
    static std::wstring NextLine(CUnicodeFile& file) {
        wchar_t buffer[8192];
        return file.ReadNextLine(buffer, 8192) ? std::wstring(buffer) : L"<eof>";
    }
    // The bytes `list` writes to a fresh sea file.
    std::string Written(const TestEntry& list) {
        CUnicodeFile file;
        EXPECT_NE(file.Open(m_dir.Wide("out.sea"), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite), 0);
        file.WriteBOM();
        EXPECT_TRUE(list.WriteToSeaFile(file));
        EXPECT_TRUE(file.Close());
        return testsupport::ReadBytes(m_dir.Path("out.sea"));
    }
};

TEST_F(ListTest, ReadingListLines) {
    const std::wstring overlong(9000, L'x');
    const wchar_t* const kNoEnd = L"List not terminated ('}' missing)";
    const wchar_t* const kTooLong = L"Max. line length 8192 exceeded";
    const wchar_t* const kEmptyName = L"Empty identifier (name before ':' missing)";
    const struct {
        const char* what;
        Lines before;  // lines of the list "l" before, with a generated closing line
        bool append;
        Lines file;
        const wchar_t* error;  // null: none
        int consumed;
        Lines lines;         // afterwards, as kept
        const wchar_t* end;  // the closing line afterwards; null: not checked
        const wchar_t* next;
    } cases[] = {
        {"up to the closing line", {}, false,
         {L"\tred 1", L"; note", L"\t\"dark blue\" 2", L"} \t;-- colors", L"after: 1"}, nullptr, 4,
         {L"\tred 1", L"; note", L"\t\"dark blue\" 2"}, L"} \t;-- colors", L"after: 1"},
        {"empty list", {}, false, {L"}"}, nullptr, 1, {}, L"}", L"<eof>"},
        {"lines and generated end replaced", {L"old"}, false, {L"new", L"}   end"}, nullptr, 2, {L"new"},
         L"}   end", L"<eof>"},
        {"appending keeps lines and end", {L"a 1", L"b 2"}, true, {L"c 3", L"}"}, nullptr, 2,
         {L"a 1", L"b 2", L"c 3"}, L"} \t;-- l", L"<eof>"},
        {"end of file inside the list", {}, false, {L"a 1", L"b 2"}, kNoEnd, 2, {L"a 1", L"b 2"}, nullptr, L"<eof>"},
        {"line longer than the buffer", {}, false, {L"a 1", overlong, L"b 2", L"}"}, kTooLong, 2, {L"a 1"},
         nullptr, L"b 2"},
        {"syntax error recovers the rest", {}, false,
         {L"\ta 1", L": bad", L"\tb 2", L"  ; c", L"\t\"open", L"}  old end", L"next: 1"}, kEmptyName, 6,
         {L"\ta 1", L": bad", L"\tb 2", L"  ; c", L"\t\"open"}, L"}  old end", L"next: 1"},
        {"syntax error while appending", {L"a 1", L"b 2"}, true, {L": bad", L"x y", L"}", L"next: 1"}, kEmptyName, 3,
         {L"a 1", L"b 2", L": bad", L"x y"}, L"} \t;-- l", L"next: 1"},
        {"syntax error without closing line", {}, false, {L": bad", L"x"}, kEmptyName, 2, {L": bad", L"x"},
         L"} \t;-- l", L"<eof>"},
        {"syntax error then an overlong line", {}, false, {L": bad", overlong, L"}"}, kTooLong, 2, {L": bad"},
         nullptr, L"}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CUnicodeFile file;
        OpenWith(file, c.file);
        TestEntry list(&m_reservoir, 0, nullptr);
        list = L"l: {";
        for (const std::wstring& line : c.before)
            list.AddListLine(line.c_str(), 14);
        if (!c.before.empty())
            list.ListenendeErzeugen();
        int consumed = -1;
        if (c.error == nullptr) {
            EXPECT_EQ(list.ReadListLines(file, c.append, &consumed), c.consumed);
        } else {
            CResourceSeaException e = CatchSea([&] { list.ReadListLines(file, c.append, &consumed); });
            EXPECT_EQ(Msg(e), c.error);
            EXPECT_EQ(e.m_code, c.error == kTooLong ? 1u : 2u);
        }
        EXPECT_EQ(consumed, c.consumed);
        EXPECT_EQ(LinesOf(list), c.lines);
        if (c.end != nullptr) {
            ASSERT_NE(list.ListEnd(), nullptr);
            EXPECT_EQ(LineOf(*list.ListEnd()), c.end);
            EXPECT_TRUE(list.ListEnd()->IsListEnd());
        }
        EXPECT_EQ(NextLine(file), c.next) << "nothing after the list is swallowed";
    }
}

TEST_F(ListTest, ReadLinesKeepTheirKinds) {
    CUnicodeFile file;
    OpenWith(file, {L"\ta 1", L"; note", L"\t\"dark blue\" 2", L": bad", L"\tb 2", L"\t\"open", L"}"});
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors: {";
    EXPECT_EQ(CatchSea([&] { list.ReadListLines(file, false); }).m_code, 2u);
    const auto lines = list.ListLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0]->Status(), 16u);
    EXPECT_TRUE(lines[1]->IsComment());
    EXPECT_EQ(ValuesOf(*lines[2]), (Texts{L"dark blue", L"2"}));
    EXPECT_EQ(lines[3]->Status() & 0xFC, 16u | 0x84) << "the faulty line, kept as a comment";
    EXPECT_TRUE(lines[4]->IsComment()) << "lines after the fault are kept as they were, to be written back";
    EXPECT_TRUE(lines[5]->IsComment());
    EXPECT_FALSE(lines[5]->SyntaxError());
}

TEST_F(ListTest, ReadingIntoANonListFails) {
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

TEST_F(ListTest, AddListLineByMode) {
    const struct {
        int mode;
        int anchor;  // index of pos in the list a b c, -1: null
        Lines expected;
    } cases[] = {
        {14, 1, {L"a", L"b", L"c", L"*"}}, {14, -1, {L"a", L"b", L"c", L"*"}}, {15, 1, {L"*", L"a", L"b", L"c"}},
        {15, -1, {L"*", L"a", L"b", L"c"}}, {16, 1, {L"a", L"b", L"*", L"c"}}, {16, -1, {L"a", L"b", L"c", L"*"}},
        {18, 1, {L"a", L"*", L"b", L"c"}}, {18, -1, {L"*", L"a", L"b", L"c"}}, {16, 2, {L"a", L"b", L"c", L"*"}},
        {18, 0, {L"*", L"a", L"b", L"c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " anchor " << c.anchor);
        TestEntry list(&m_reservoir, 8, L"l");
        for (const wchar_t* text : {L"a", L"b", L"c"})
            list.AddListLine(text, 14);
        list.ClearFlags();
        POSITION pos = c.anchor >= 0 ? list.HeadPosition() : nullptr;
        for (int i = 0; i < c.anchor; ++i)
            list.NextListenZeile(pos);
        CResourceEntry* added = list.AddListLine(c.mode, pos);
        ASSERT_NE(added, nullptr);
        EXPECT_EQ(added->Status(), 16u);
        *added = L"*";
        EXPECT_EQ(LinesOf(list), c.expected);
        EXPECT_TRUE(list.Modified());
    }
    TestEntry list(&m_reservoir, 8, L"colors");
    list.AddListLine(L"a", 14);
    list.ResetModified();
    CResourceSeaException e = CatchSea([&] { list.AddListLine(17, nullptr); });
    EXPECT_EQ(e.m_code, 4u);
    EXPECT_EQ(Msg(e), L"colors: tried to add list line with mode = 17.");
    EXPECT_EQ(list.ListCount(), 1);
    EXPECT_FALSE(list.Modified());
}

TEST_F(ListTest, AddListLineWithTextOrCopy) {
    for (const int mode : {14, 15, 16, 18, 0}) {
        SCOPED_TRACE(mode);
        TestEntry list(&m_reservoir, 8, L"l");
        list.AddListLine(L"a", 14);
        ASSERT_NE(list.AddListLine(L"*", mode), nullptr);
        EXPECT_EQ(LinesOf(list), mode == 15 ? (Lines{L"*", L"a"}) : (Lines{L"a", L"*"}));
    }
    TestEntry list(&m_reservoir, 8, L"l");
    EXPECT_EQ(CatchSea([&] { list.AddListLine(L"\"open", 14); }).m_code, 2u);
    ASSERT_EQ(list.ListCount(), 1) << "the bad line is in the list";
    EXPECT_TRUE(list.ListLines()[0]->SyntaxError());
    EXPECT_TRUE(list.Modified());

    TestEntry source(&m_reservoir, 0, nullptr);
    source = L"b: 1 2";
    CResourceEntry* copy = list.AddListLine(source, list.HeadPosition());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->IsListLine());
    EXPECT_EQ(ValuesOf(*copy), (Texts{L"1", L"2"}));
    EXPECT_EQ(list.ListLines()[1], copy);

    TestEntry plain(&m_reservoir, 0, L"p");
    EXPECT_EQ(plain.AddListLine(14, nullptr), nullptr);
    EXPECT_EQ(plain.AddListLine(99, nullptr), nullptr);
    EXPECT_EQ(plain.AddListLine(L"x", 14), nullptr);
    EXPECT_EQ(plain.AddListLine(source, nullptr), nullptr);
    EXPECT_EQ(plain.Status(), 0u);
}

TEST_F(ListTest, Writing) {
    TestEntry list(&m_reservoir, 0, nullptr);
    list = L"colors:   {";
    list.AddListLine(L"  red  1", 14);
    list.AddListLine(L"; note", 14);
    CResourceEntry* changed = list.AddListLine(L"green 2", 14);
    changed->SetText(L"3", 1);
    EXPECT_EQ(Written(list),
              testsupport::SeaUtf16({L"colors:   {", L"  red  1", L"; note", L"\tgreen 3 ", L"} \t;-- colors"}))
        << "unchanged lines as read, a closing line made for the list";

    TestEntry e(&m_reservoir, 0, nullptr);
    e = L"a: 1";
    CUnicodeFile closed;
    EXPECT_FALSE(e.WriteToSeaFile(closed));
}

TEST_F(ListTest, Concatenation) {
    TestEntry target(&m_reservoir, 8, L"t");
    target.AddListLine(L"a", 14);
    target.ClearFlags();
    CResValueReservoir otherReservoir(4);
    TestEntry source(&otherReservoir, 8, L"s");
    for (const wchar_t* text : {L"c 1", L"; d"})
        source.AddListLine(text, 14);
    target += source;
    EXPECT_EQ(LinesOf(target, true), (Lines{L"a", L"c 1", L"; d"}));
    EXPECT_FALSE(target.Modified());
    EXPECT_TRUE(target.Accessed());
    EXPECT_EQ(source.ListCount(), 2);
    for (CResourceEntry* line : target.ListLines())
        EXPECT_EQ(TestEntry(*line).Reservoir(), &m_reservoir) << "the copies live in the target's reservoir";
    EXPECT_EQ(LineOf(*target.ListEnd()), L"} \t;-- t");

    target += target;  // counted first: doubled once, not chased forever
    EXPECT_EQ(LinesOf(target, true), (Lines{L"a", L"c 1", L"; d", L"a", L"c 1", L"; d"}));

    TestEntry plain(&m_reservoir, 0, L"p");
    EXPECT_EQ(Msg(CatchSea([&] { target += plain; })), L"Illegal list concatenation");
    EXPECT_EQ(CatchSea([&] { plain += target; }).m_code, 2u);
    EXPECT_EQ(target.ListCount(), 6);
    EXPECT_EQ(plain.Status(), 0u);
}

}  // namespace
