// Exporting a sea to a table and importing it back, through an in-memory
// table: which rows a sea makes, what rows make of a sea, the reports of an
// import, and the row buffers of the table interface.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/platform/Utf.h"
#include "kelvaro/entry/ResSeaTableInterface.h"
#include "kelvaro/sea/ResourceSea.h"
#include "sea/SeaTestSupport.h"

namespace {

using seatest::CaptureOutput;
using seatest::ScratchDir;
using seatest::TestSea;

using seatest::Row;
using Lines = std::vector<std::wstring>;

// The rows with trailing white space cut from the values: a rebuilt line
// ends every value with a blank, a line as read does not.
std::vector<Row> Trimmed(std::vector<Row> rows) {
    for (Row& row : rows)
        while (!row.values.empty() && (row.values.back() == L' ' || row.values.back() == L'\t')) row.values.pop_back();
    return rows;
}

// A table held in a vector; each answer can be made a refusal or a failure.
class MemoryTable : public CResSeaTableInterface {
public:
    std::vector<Row> rows;
    bool refuseWrite = false;
    bool refuseRead = false;
    bool failEndWrite = false;
    bool failEndRead = false;
    int endWriteCalls = 0;
    int endReadCalls = 0;
    int nextCallsAfterEnd = 0;

    bool BeginWrite() override {
        if (refuseWrite) return false;
        rows.clear();
        return true;
    }
    void WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) override {
        rows.push_back({name, values, listCounter});
    }
    bool EndWrite() override {
        ++endWriteCalls;
        return !failEndWrite;
    }
    bool BeginRead() override {
        m_next = 0;
        if (refuseRead || rows.empty()) return false;
        return NextTableLine();
    }
    bool NextTableLine() override {
        if (m_next >= rows.size()) {
            ++nextCallsAfterEnd;
            return false;
        }
        const Row& row = rows[m_next++];
        SetCurrentLine(row.name.c_str(), row.values.c_str(), row.counter);
        return true;
    }
    bool EndRead() override {
        ++endReadCalls;
        return !failEndRead;
    }

    // The protected buffer filler, for its own tests.
    bool Prepare(const wchar_t* name, const wchar_t* values) { return PrepareLineValues(name, values); }
    unsigned NameSize() const { return m_lineNameSize; }
    unsigned ValsSize() const { return m_lineValsSize; }

private:
    std::size_t m_next = 0;
};

void Load(CResourceSea& sea, const ScratchDir& dir, const std::vector<std::wstring>& lines) {
    seatest::WriteBytes(dir.Path("table.sea"), seatest::SeaUtf16(lines));
    ASSERT_TRUE(sea.Create(dir.Wide("table.sea"), false));
}

// The lines a sea writes into a file of its own.
std::vector<std::wstring> WrittenLines(CResourceSea& sea, const ScratchDir& dir, const std::string& leaf) {
    sea.SaveAs(dir.Wide(leaf));
    return seatest::LinesOfFile(dir.Path(leaf));
}

// Lines as read go out as they are, changed lines rebuilt, an empty list as
// its closing row alone.
TEST(TableExport, RowsFollowTheLinesInOrder) {
    ScratchDir dir;
    TestSea sea;
    Load(sea, dir, {L"; a comment", L"name: 1 \"two words\"", L"list: {", L"\tfirst line", L"\tsecond 2", L"}"});
    sea.LookupSetString(L"a", L"say \"hi\"");
    sea.LookupSetInt(L"a", 7, 1);
    sea.CreateEntry(L"empty", CResourceEntry::StatusListEntry);
    MemoryTable table;
    ASSERT_TRUE(sea.SaveToTable(&table));
    const std::vector<Row> expected = {
        {L";", L"a comment", 0},   {L"name", L"1 \"two words\"", 0}, {L"list", L"first line", 1},
        {L"list", L"second 2", 2}, {L"list", L"}", 3},               {L"a", L"\"say \u00A7hi\u00A7\" 7 ", 0},
        {L"empty", L"}", 1},
    };
    EXPECT_EQ(table.rows, expected);
    EXPECT_EQ(table.endWriteCalls, 1);

    TestSea back;
    ASSERT_TRUE(back.ReadFromTable(&table, false));
    ASSERT_TRUE(back.IsListEntry(L"empty"));
    CString text;
    back.GetEntry(L"empty")->GetLine(text);
    EXPECT_EQ(text.Str(), L"empty: {\n} \t;-- empty") << "the closing line is there";
}

TEST(TableExport, AFailedExportIsNeverSuccess) {
    // A table that refuses to begin writes nothing; one that could not store
    // its rows says so when the export ends; a line that cannot be rebuilt
    // throws before the export ends.
    struct Case {
        const char* what;
        bool refuseWrite, failEndWrite, tooLong;
        int endWriteCalls;
    };
    const Case cases[] = {
        {"refused", true, false, false, 0},
        {"failed end", false, true, false, 1},
        {"line too long", false, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestSea sea;
        sea.LookupSetInt(L"a", 1);
        if (c.tooLong) sea.LookupSetString(L"long", std::wstring(5000, L'x').c_str());
        sea.MitSedimentfilter(true);
        MemoryTable table;
        table.refuseWrite = c.refuseWrite;
        table.failEndWrite = c.failEndWrite;
        if (c.tooLong) {
            EXPECT_THROW(sea.SaveToTable(&table), CResourceSeaException);
        } else {
            EXPECT_FALSE(sea.SaveToTable(&table));
        }
        if (c.refuseWrite) {
            EXPECT_TRUE(table.rows.empty());
        }
        EXPECT_EQ(table.endWriteCalls, c.endWriteCalls);
    }
}

TEST(TableExport, SedimentFilterSkipsUnusedLinesButKeepsUsedBadOnes) {
    ScratchDir dir;
    TestSea sea;
    CaptureOutput quiet;
    Load(sea, dir, {L"used: 1", L"unused: 2", L"bad: \"open", L"; comment"});
    sea.LookupGetInt(L"used", 0, 0);
    sea.MitSedimentfilter(true);
    MemoryTable table;
    ASSERT_TRUE(sea.SaveToTable(&table));
    // The bad line and the comment carry the Accessed bit from parsing.
    const std::vector<Row> expected = {{L"used", L"1", 0}, {L";", L"bad: \"open", 0}, {L";", L"comment", 0}};
    EXPECT_EQ(table.rows, expected);

    ASSERT_TRUE(sea.SaveToTable(&table));
    EXPECT_EQ(table.rows.size(), 4u) << "the filter acts on one export only";
}

TEST(TableImport, RoundTripGivesTheSameSea) {
    ScratchDir dir;
    TestSea sea;
    const std::vector<std::wstring> lines = {
        L"; head comment", L"", L"a: 1 2 3", L"b:\t\"with blank\" \"\"", L"list: {",
        L"\tx 1",          L"\t; inside", L"\t\"}\" brace", L"}", L"c: C:\\path\\file",
    };
    Load(sea, dir, lines);
    MemoryTable table;
    ASSERT_TRUE(sea.SaveToTable(&table));

    TestSea back;
    ASSERT_TRUE(back.ReadFromTable(&table, false));
    EXPECT_FALSE(back.Modified()) << "an imported sea is unchanged";
    EXPECT_TRUE(back.Orphans()) << "and unused";
    EXPECT_EQ(back.NrLines(), sea.NrLines());
    EXPECT_EQ(back.NrEntries(), sea.NrEntries());
    for (const wchar_t* name : {L"a", L"b", L"list", L"c"}) {
        SCOPED_TRACE(testing::Message() << "entry " << CString(name).GetString());
        ASSERT_NE(back.GetEntry(name), nullptr);
        EXPECT_TRUE(*back.GetEntry(name) == *sea.GetEntry(name));
    }
    EXPECT_EQ(back.Value(L"b", 1), L"");
    // The same rows again: names, kinds, values, list lines and comments in order.
    MemoryTable again;
    ASSERT_TRUE(back.SaveToTable(&again));
    EXPECT_EQ(Trimmed(again.rows), Trimmed(table.rows));
    // And a file written from the imported sea reads as the original does.
    const auto written = WrittenLines(back, dir, "back.sea");
    ASSERT_EQ(written.size(), lines.size());
    EXPECT_EQ(written[5], L"\tx 1 ");
    EXPECT_EQ(written[6], L"; inside");  // a comment keeps the text of its row
    EXPECT_EQ(written[7], L"\t\"}\" brace ");
}

TEST(TableImport, CommentsInsideAListStayComments) {
    MemoryTable table;
    table.rows = {{L"list", L"; note", 1}, {L"list", L"", 2}, {L"list", L"value", 3}, {L"list", L"}", 4}};
    TestSea sea;
    ASSERT_TRUE(sea.ReadFromTable(&table, false));
    CResourceEntry* list = sea.GetEntry(L"list");
    ASSERT_NE(list, nullptr);
    CString text;
    sea.GetEntry(L"list")->GetLine(text);
    EXPECT_EQ(text.Str(), L"list: {\n; note\n\nvalue\n} \t;-- list");
    MemoryTable again;
    ASSERT_TRUE(sea.SaveToTable(&again));
    EXPECT_EQ(Trimmed(again.rows), table.rows);
}

TEST(TableImport, CommentTextsDoNotGrowOverRoundTrips) {
    MemoryTable table;
    table.rows = {{L";", L"a comment   ", 0}, {L"", L"", 0}};
    for (int round = 0; round < 3; ++round) {
        TestSea sea;
        ASSERT_TRUE(sea.ReadFromTable(&table, false));
        ASSERT_TRUE(sea.SaveToTable(&table));
    }
    EXPECT_EQ(table.rows, (std::vector<Row>{{L";", L"a comment ", 0}, {L";", L" ", 0}}));
}

TEST(TableImport, RowKinds) {
    struct Case {
        Row row;
        unsigned kindBits;   // comment 4, list 8
        const wchar_t* name;
        unsigned values;
    };
    const Case cases[] = {
        {{L"spaced name", L"1 2", 0}, 0, L"spaced name", 2},
        {{L"", L"x: 5", 0}, 4, L"", 1},
        {{L"   ", L"text", 0}, 4, L"", 1},
        {{L";", L"text", 0}, 4, L"", 1},
        {{L" ; ", L"text", 0}, 4, L"", 1},
        {{L"a", L"", 0}, 0, L"a", 0},
        {{L"a", L"{", 0}, 0, L"a", 1},  // a value, never a list head
        {{L"", L"x", 1}, 4, L"", 1},   // no name to head a list with
        {{L";", L"}", 2}, 4, L"", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.row);
        MemoryTable table;
        table.rows = {c.row};
        TestSea sea;
        ASSERT_TRUE(sea.ReadFromTable(&table, false));
        ASSERT_EQ(sea.NrLines(), 1u);
        MemoryTable out;
        ASSERT_TRUE(sea.SaveToTable(&out));
        ASSERT_EQ(out.rows.size(), 1u);
        if (c.kindBits & 4) {
            EXPECT_EQ(sea.NrEntries(), 0u);
            EXPECT_EQ(out.rows[0].name, L";");
        } else {
            const CResourceEntry* entry = sea.GetEntry(c.name);
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->NValues(), c.values);
            EXPECT_EQ(entry->Status() & 0x7C, c.kindBits);
        }
    }
}

TEST(TableImport, TheSeaIsEmptiedFirstInEitherMode) {
    for (bool merge : {false, true}) {
        SCOPED_TRACE(merge ? "merge" : "no merge");
        TestSea sea;
        sea.LookupSetInt(L"old", 1);
        MemoryTable table;
        table.rows = {{L"new", L"2", 0}};
        ASSERT_TRUE(sea.ReadFromTable(&table, merge));
        EXPECT_FALSE(sea.HasEntry(L"old"));
        EXPECT_EQ(sea.Value(L"new"), L"2");

        MemoryTable refusing;
        refusing.refuseRead = true;
        EXPECT_FALSE(sea.ReadFromTable(&refusing, merge));
        EXPECT_EQ(sea.NrLines(), 0u) << "the sea was emptied before the table refused";
        EXPECT_EQ(refusing.endReadCalls, 0);

        MemoryTable empty;
        EXPECT_FALSE(sea.ReadFromTable(&empty, merge)) << "a table without rows";
    }
}

TEST(TableImport, AFailedEndReadIsAFailedImport) {
    MemoryTable table;
    table.rows = {{L"a", L"1", 0}};
    table.failEndRead = true;
    TestSea sea;
    EXPECT_FALSE(sea.ReadFromTable(&table, false));
    EXPECT_EQ(sea.Value(L"a"), L"1") << "what was read stays";
}

// Rows another program left: what the import reports, how many lines the sea
// gets, the file written from it, and checks of each case's own.
TEST(TableImport, BadAndRepeatedRowsAreReportedAndKept) {
    auto listText = [](const wchar_t* name, const std::wstring& expected) {
        return [=](TestSea& s, const MemoryTable&) {
            ASSERT_TRUE(s.IsListEntry(name));
            CString text;
            s.GetEntry(name)->GetLine(text);
            EXPECT_EQ(text.Str(), expected);
        };
    };
    const std::wstring open = L"String value not terminated ('\"' missing)\n";
    const std::vector<Row> badValue = {{L"bad", L"1 \"open", 0}, {L"good", L"2", 0}};
    const std::vector<Row> repeated = {{L"a", L"first", 0}, {L";", L"note", 0}, {L"a", L"second", 0},
                                       {L"list", L"x", 1},  {L"list", L"}", 2}, {L"list", L"y", 1},
                                       {L"list", L"}", 2}};
    struct Case {
        const char* what;
        std::vector<Row> rows;
        bool merge;
        Lines reports;  // each after "Test Sea\n"
        unsigned nrLines;
        Lines written = {};  // empty: not written
        std::function<void(TestSea&, const MemoryTable&)> check = nullptr;
        bool rereadsCleanly = false;
    };
    const Case cases[] = {
        {"a list without its closing row", {{L"a", L"1", 0}, {L"list", L"one", 1}, {L"list", L"two", 2}}, false,
         {L"Syntax error in table line list [2]: two\nList not terminated ('}' missing)\n"}, 2,
         // The list is closed, so the file written from it reads back whole.
         {L"a:\t1 ", L"list: {", L"\tone ", L"\ttwo ", L"} \t;-- list"},
         [](TestSea&, const MemoryTable& t) { EXPECT_EQ(t.nextCallsAfterEnd, 2) << "the list once, the sea once"; },
         true},
        {"a bad value text is kept as a bad line", badValue, false,
         {L"Syntax error in table line bad: 1 \"open\n" + open}, 2, {L"bad:\t1 \"open", L"good:\t2 "},
         [](TestSea& s, const MemoryTable&) { EXPECT_FALSE(s.HasEntry(L"bad")); }},
        {"merging drops a bad line like every comment", badValue, true,
         {L"Syntax error in table line bad: 1 \"open\n" + open}, 1, {}},
        {"a bad list line is kept and the list read to its end",
         {{L"list", L"ok", 1}, {L"list", L"\"open", 2}, {L"list", L"after", 3}, {L"list", L"}", 4}}, false,
         {L"Syntax error in table line list [4]: }\n" + open}, 1, {},
         listText(L"list", L"list: {\nok\n\"open\nafter\n} \t;-- list")},
        {"repeated names without merge", repeated, false,
         {L"Duplicate identifier in line 'a' (second will be ignored):\na:\tfirst \nsecond\n",
          L"Duplicate identifier in line 'list' (second will be ignored):\nlist: {\n}\n"},
         3, {},
         [&](TestSea& s, const MemoryTable& t) {
             EXPECT_EQ(s.Value(L"a"), L"first");
             listText(L"list", L"list: {\nx\n} \t;-- list")(s, t);
         }},
        {"repeated names with merge", repeated, true, {}, 2, {},
         [&](TestSea& s, const MemoryTable& t) {
             EXPECT_EQ(s.Value(L"a"), L"second");
             listText(L"list", L"list: {\nx\ny\n} \t;-- list")(s, t);
         }},
        {"a list onto a plain entry when merging", {{L"a", L"1", 0}, {L"a", L"x", 1}, {L"a", L"}", 2}}, true,
         {L"Syntax error in table line a / a:\nIllegal list concatenation\n"}, 1, {},
         [](TestSea& s, const MemoryTable&) {
             EXPECT_EQ(s.Value(L"a"), L"1");
             EXPECT_FALSE(s.IsListEntry(L"a"));
         }},
        // Outside quotes a line end parts two values, inside them it gets its stand-in.
        {"line ends in rows do not split file lines",
         {{L";", L"two\nlines", 0}, {L"list", L"\"a\nb\"", 1}, {L"list", L"\"bad\r\n", 2}, {L"list", L"}", 3},
          {L"a", L"1\n::::: X \"q\r\n::::: Y\"", 0}},
         false, {L"Syntax error in table line list [3]: }\n" + open}, 3,
         {L"; two\u00B6lines ", L"list: {", L"\ta\u00B6b ", L"\"bad\u00AC\u00B6", L"} \t;-- list",
          L"a:\t1 ::::: X \"q\u00AC\u00B6::::: Y\" "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        MemoryTable table;
        table.rows = c.rows;
        TestSea sea;
        sea.SetSeaName(L"Test");
        CaptureOutput capture;
        ASSERT_TRUE(sea.ReadFromTable(&table, c.merge));
        Lines reports;
        for (const auto& r : c.reports) reports.push_back(L"Test Sea\n" + r);
        EXPECT_EQ(capture.Texts(), reports);
        for (const auto& report : capture.Reports()) EXPECT_EQ(report.style, PrWin::ReadProblem);
        EXPECT_EQ(sea.NrLines(), c.nrLines);
        if (c.check) c.check(sea, table);
        if (!c.written.empty()) {
            EXPECT_EQ(WrittenLines(sea, dir, "t.sea"), c.written);
        }
        if (c.rereadsCleanly) {
            TestSea reread;
            capture.Clear();
            ASSERT_TRUE(reread.Create(dir.Wide("t.sea"), true));
            EXPECT_TRUE(capture.Texts().empty()) << "the written file reads back cleanly";
        }
    }
}

TEST(TableImport, NamesThatWouldNotReadBackAreRefused) {
    struct Case {
        const wchar_t* name;
        const wchar_t* shown;
        const wchar_t* reason;
    };
    const Case cases[] = {
        {L"a\nb: 1", L"a\\nb: 1", L"holds a line end"},
        {L"a\r", L"a\\r", L"holds a line end"},
        {L"::::: X", L"::::: X", L"would start a section ('::::: ')"},
        {L"a:b", L"a:b", L"holds ':', which ends a name"},
        {L";x", L";x", L"starts with ';' and would be a comment"},
        {L"}x", L"}x", L"starts with '}' and would close a list"},
        {L" x", L" x", L"starts with white space, which reading drops"},
        {L"\tx", L"\tx", L"starts with white space, which reading drops"},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "name " << kelvaro::utf8::Encode(c.name));
        // Before the bad row a list, so that the row number counts the rows
        // the list took; the bad name also heads a list, refused row by row.
        MemoryTable table;
        table.rows = {{L"list", L"x", 1}, {L"list", L"}", 2}, {c.name, L"1", 0},
                      {c.name, L"y", 1},  {c.name, L"}", 2},  {L"after", L"2", 0}};
        TestSea sea;
        sea.SetSeaName(L"Test");
        CaptureOutput capture;
        ASSERT_TRUE(sea.ReadFromTable(&table, false));
        ASSERT_EQ(capture.Texts().size(), 3u);
        const std::wstring refused = std::wstring(L"Test Sea\nName refused in table row ");
        const std::wstring said = std::wstring(L": '") + c.shown + L"' " + c.reason + L"\n";
        EXPECT_EQ(capture.Texts()[0], refused + L"3" + said + L"1\n");
        EXPECT_EQ(capture.Texts()[2], refused + L"5" + said + L"}\n");
        EXPECT_EQ(capture.Reports()[0].style, PrWin::ReadProblem);
        EXPECT_EQ(sea.NrLines(), 2u);
        EXPECT_EQ(sea.Value(L"after"), L"2") << "reading goes on after a refused row";
        // Nothing but the rows placed reaches the file.
        EXPECT_EQ(WrittenLines(sea, dir, "refused.sea"),
                  (std::vector<std::wstring>{L"list: {", L"\tx ", L"} \t;-- list", L"after:\t2 "}));
    }
}

TEST(TableInterface, PrepareLineValues) {
    struct Case {
        const wchar_t* name;
        const wchar_t* values;
        bool ok;
        const wchar_t* storedName;
        const wchar_t* storedValues;
    };
    const Case cases[] = {
        {L"O'Neil", L"it's", true, L"O''Neil", L"it''s"},
        {L"  name", L"", true, L"name", L" "},
        {L"name", L" \t ", true, L"name", L" "},
        {L"name", L"  1 2", true, L"name", L"1 2"},
        {L"   ", L"x", false, nullptr, nullptr},
        {L"", L"x", false, nullptr, nullptr},
        {L"'", L"''", true, L"''", L"''''"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "name " << CString(c.name).GetString());
        MemoryTable table;
        EXPECT_EQ(table.Prepare(c.name, c.values), c.ok);
        if (!c.ok) continue;
        EXPECT_STREQ(table.CurrentLineName(), c.storedName);
        EXPECT_STREQ(table.CurrentLineVals(), c.storedValues);
    }
}

TEST(TableInterface, BuffersGrowForEscapedTexts) {
    // Texts made only of quotes double in length: the margins alone are too
    // small for them. Sizes around both initial capacities.
    for (std::size_t length : {250u, 255u, 256u, 300u, 511u, 512u, 600u, 4096u, 8190u, 8192u, 20000u}) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        MemoryTable table;
        const std::wstring quotes(length, L'\'');
        ASSERT_TRUE(table.Prepare(quotes.c_str(), quotes.c_str()));
        EXPECT_EQ(std::wstring(table.CurrentLineName()), std::wstring(2 * length, L'\''));
        EXPECT_EQ(std::wstring(table.CurrentLineVals()), std::wstring(2 * length, L'\''));
        EXPECT_GE(table.NameSize(), 2 * length + 1);
        EXPECT_GE(table.ValsSize(), 2 * length + 1);
        EXPECT_GE(table.NameSize(), length + 10);
        EXPECT_GE(table.ValsSize(), length + 20);
    }
    MemoryTable table;
    ASSERT_TRUE(table.Prepare(std::wstring(300, L'n').c_str(), L"v"));
    EXPECT_EQ(table.NameSize(), 1024u) << "doubled until twice the length fits";
}

TEST(TableInterface, LongRowsReachTheSeaWhole) {
    const std::wstring longName(3000, L'n');
    const std::wstring longValue(9000, L'v');
    MemoryTable table;
    table.rows = {{longName, longValue, 0}};
    TestSea sea;
    ASSERT_TRUE(sea.ReadFromTable(&table, false));
    EXPECT_EQ(sea.Value(longName.c_str()), longValue);
}

}  // namespace
