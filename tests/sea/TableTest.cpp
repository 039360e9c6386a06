// Exporting a sea to an in-memory table and importing it back, with the reports and the row buffers.
#include <cstdlib>

#include "sea/SeaTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace seatest;

// Lines as read go out as they are, changed lines rebuilt, an empty list as
// its closing row alone; the rows imported give the same sea again.
TEST(TableExport, RowsFollowTheLinesImportToTheSameSeaAndFailuresFail) {
    ScratchDir dir;
    TestSea sea;
    Load(sea, dir, {L"; a comment", L"", L"name: 1 \"two words\"", L"b:\t\"with blank\" \"\"", L"list: {",
                    L"\tfirst line", L"\t; inside", L"\t\"}\" brace", L"}", L"c: C:\\path\\file"});
    sea.LookupSetString(L"a", L"say \"hi\"");
    sea.LookupSetInt(L"a", 7, 1);
    sea.CreateEntry(L"empty", CResourceEntry::StatusListEntry);
    MemoryTable table;
    ASSERT_TRUE(sea.SaveToTable(&table));
    const std::vector<Row> expected = {
        {L";", L"a comment", 0},      {L";", L"", 0},           {L"name", L"1 \"two words\"", 0},
        {L"b", L"\"with blank\" \"\"", 0}, {L"list", L"first line", 1}, {L"list", L"; inside", 2},
        {L"list", L"\"}\" brace", 3}, {L"list", L"}", 4},        {L"c", L"C:\\path\\file", 0},
        {L"a", L"\"say \u00A7hi\u00A7\" 7 ", 0}, {L"empty", L"}", 1},
    };
    EXPECT_TRUE(table.rows == expected && table.endWriteCalls == 1) << testing::PrintToString(table.rows);
    TestSea back;
    ASSERT_TRUE(back.ReadFromTable(&table, false));
    EXPECT_TRUE(!back.Modified() && back.Orphans()) << "an imported sea is unchanged and unused";
    for (const wchar_t* name : {L"name", L"b", L"list", L"c", L"a"}) {
        ASSERT_NE(back.GetEntry(name), nullptr) << kelvaro::utf8::Encode(name);
        EXPECT_TRUE(*back.GetEntry(name) == *sea.GetEntry(name)) << kelvaro::utf8::Encode(name);
    }
    EXPECT_EQ(back.Text(L"empty"), L"empty: {\n} \t;-- empty") << "the closing line is there";
    // The same rows again: names, kinds, values, list lines and comments in order.
    EXPECT_EQ(Trimmed(RowsOf(back)), Trimmed(table.rows));
    // And a file written from the imported sea reads as the original does.
    back.SaveAs(dir.Wide("back.sea"));
    const Lines written = LinesOfFile(dir.Path("back.sea"));
    ASSERT_EQ(written.size(), 13u);  // a comment keeps the text of its row
    EXPECT_EQ(Lines(written.begin() + 5, written.begin() + 8), (Lines{L"\tfirst line ", L"; inside", L"\t\"}\" brace "}));

    // A refused begin writes nothing; a failed end fails the export; a line that
    // cannot be rebuilt throws before the end.
    const struct Case { const char* what; bool refuseWrite, failEndWrite, tooLong; int endWriteCalls; } cases[] = {
        {"refused", true, false, false, 0}, {"failed end", false, true, false, 1},
        {"line too long", false, false, true, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestSea exported;
        exported.LookupSetInt(L"a", 1);
        if (c.tooLong) exported.LookupSetString(L"long", std::wstring(5000, L'x').c_str());
        exported.MitSedimentfilter(true);
        MemoryTable target;
        target.refuseWrite = c.refuseWrite;
        target.failEndWrite = c.failEndWrite;
        EXPECT_EQ(Thrown([&] { EXPECT_FALSE(exported.SaveToTable(&target)); }).has_value(), c.tooLong);
        EXPECT_TRUE(target.endWriteCalls == c.endWriteCalls && (!c.refuseWrite || target.rows.empty()));
    }
    // The sediment filter skips unused lines but keeps used bad ones.
    TestSea filtered;
    CaptureOutput quiet;
    Load(filtered, dir, {L"used: 1", L"unused: 2", L"bad: \"open", L"; comment"});
    filtered.LookupGetInt(L"used", 0, 0);
    filtered.MitSedimentfilter(true);
    // The bad line and the comment carry the Accessed bit from parsing.
    EXPECT_EQ(RowsOf(filtered), (std::vector<Row>{{L"used", L"1", 0}, {L";", L"bad: \"open", 0}, {L";", L"comment", 0}}));
    EXPECT_EQ(RowsOf(filtered).size(), 4u) << "the filter acts on one export only";
}

// The sea is emptied first in either mode, a failed end fails; comments
// inside a list stay comments, and no comment grows over round trips.
TEST(TableImport, EmptiesTheSeaFirstAndKeepsComments) {
    for (bool merge : {false, true}) {
        SCOPED_TRACE(merge ? "merge" : "no merge");
        TestSea sea;
        sea.LookupSetInt(L"old", 1);
        MemoryTable table, refusing, empty;
        table.rows = {{L"new", L"2", 0}};
        ASSERT_TRUE(sea.ReadFromTable(&table, merge));
        EXPECT_EQ(sea.Values({{L"old", 0}, {L"new", 0}}), (Lines{L"<missing>", L"2"}));
        refusing.refuseRead = true;
        EXPECT_FALSE(sea.ReadFromTable(&refusing, merge));
        EXPECT_EQ(sea.NrLines(), 0u) << "the sea was emptied before the table refused";
        EXPECT_EQ(refusing.endReadCalls, 0);
        EXPECT_FALSE(sea.ReadFromTable(&empty, merge)) << "a table without rows";
        // A failed end of the read is a failed import; what was read stays.
        table.failEndRead = true;
        EXPECT_FALSE(sea.ReadFromTable(&table, merge));
        EXPECT_EQ(sea.Value(L"new"), L"2");
    }
    MemoryTable table;
    table.rows = {{L"list", L"; note", 1}, {L"list", L"", 2}, {L"list", L"value", 3}, {L"list", L"}", 4}};
    TestSea sea;
    ASSERT_TRUE(sea.ReadFromTable(&table, false));
    EXPECT_EQ(sea.Text(L"list"), L"list: {\n; note\n\nvalue\n} \t;-- list");
    EXPECT_EQ(Trimmed(RowsOf(sea)), table.rows);
    // Comment texts do not grow over round trips.
    table.rows = {{L";", L"a comment   ", 0}, {L"", L"", 0}};
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(sea.ReadFromTable(&table, false));
        ASSERT_TRUE(sea.SaveToTable(&table));
    }
    EXPECT_EQ(table.rows, (std::vector<Row>{{L";", L"a comment ", 0}, {L";", L" ", 0}}));
}

// The rows of a golden file (golden-sea/table/NAME.rows.txt): one a line, list
// counter, name and values parted by tabs, escaped as the case files, UTF-8.
std::vector<Row> ParseRows(const fs::path& path) {
    const auto text = [](const std::string& field) {
        const std::wstring bytes = CaseRow::Decode(field);
        return kelvaro::utf8::Decode(std::string(bytes.begin(), bytes.end()));
    };
    std::vector<Row> rows;
    std::istringstream in(ReadBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto fields = CaseRow::Split(line, '\t');
        EXPECT_EQ(fields.size(), 3u) << line;
        rows.push_back({text(fields.at(1)), text(fields.at(2)), static_cast<unsigned>(std::stoul(fields.at(0)))});
    }
    return rows;
}

// Rows another program left, imported (merging where the name ends in ".merge"):
// the reports must be NAME.reports.txt and the file written NAME.out.txt
// (UTF-8). KELVARO_GOLDEN_UPDATE set writes them anew, to be reviewed.
TEST(TableImport, BadAndRepeatedRowsAreReportedAndKept) {
    unsigned cases = 0;
    for (const auto& item : fs::directory_iterator(DataDir() / "golden-sea" / "table")) {
        const fs::path source = item.path();
        if (source.stem().extension() != ".rows") continue;
        const fs::path golden = source.parent_path() / source.stem().stem();
        SCOPED_TRACE(golden.filename().string());
        ++cases;
        MemoryTable table;
        table.rows = ParseRows(source);
        TestSea sea;
        sea.SetSeaName(L"Test");
        CaptureOutput capture;
        ASSERT_TRUE(sea.ReadFromTable(&table, golden.extension() == ".merge"));
        std::string reports, written;
        for (const auto& report : capture.Reports()) reports += kelvaro::utf8::Encode(report.text);
        for (const auto& report : capture.Reports()) EXPECT_EQ(report.style, PrWin::ReadProblem);
        ScratchDir dir;
        sea.SaveAs(dir.Wide("t.sea"));
        for (const std::wstring& line : LinesOfFile(dir.Path("t.sea"))) written += kelvaro::utf8::Encode(line) + "\n";
        if (std::getenv("KELVARO_GOLDEN_UPDATE") != nullptr)
            WriteBytes(golden.string() + ".reports.txt", reports), WriteBytes(golden.string() + ".out.txt", written);
        EXPECT_EQ(reports, ReadBytes(golden.string() + ".reports.txt"));
        EXPECT_EQ(written, ReadBytes(golden.string() + ".out.txt"));
    }
    EXPECT_GE(cases, 10u);
}

TEST(TableInterface, PrepareLineValuesAndGrowTheBuffers) {
    for (const CaseRow& c : ReadCases("sea-table-prepare.txt", 5)) {
        SCOPED_TRACE(c.Where());
        MemoryTable table;
        EXPECT_EQ(table.Prepare(c.Text(0).c_str(), c.Text(1).c_str()), c.Flag(2));
        if (c.Flag(2)) { EXPECT_EQ(Lines({table.CurrentLineName(), table.CurrentLineVals()}), Lines({c.Text(3), c.Text(4)})); }
    }
    // Texts of quotes double in length, beyond the margins; sizes around both initial capacities.
    for (std::size_t length : {250u, 255u, 256u, 300u, 511u, 512u, 600u, 4096u, 8190u, 8192u, 20000u}) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        MemoryTable table;
        const std::wstring quotes(length, L'\'');
        ASSERT_TRUE(table.Prepare(quotes.c_str(), quotes.c_str()));
        EXPECT_EQ(Lines({table.CurrentLineName(), table.CurrentLineVals()}), Lines(2, std::wstring(2 * length, L'\'')));
        EXPECT_GE(std::min(table.NameSize(), table.ValsSize()), 2 * length + 1);
    }
    // Long rows reach the sea whole.
    MemoryTable table;
    const std::wstring longName(3000, L'n'), longValue(9000, L'v');
    table.rows = {{longName, longValue, 0}};
    TestSea sea;
    ASSERT_TRUE(sea.ReadFromTable(&table, false));
    EXPECT_EQ(sea.Value(longName.c_str()), longValue);
}

}  // namespace
