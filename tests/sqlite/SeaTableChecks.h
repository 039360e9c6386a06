// What every database table of seas must do, checked alike for each back end
// (SQLite and PostgreSQL): the corpus comes back whole, each export replacing the
// rows; hostile texts and table names survive; rows named like other lines are
// refused; a table of another shape is left alone; a table that cannot be opened
// refuses both ways. A back end gives: Table, the table class; Open(name), a table
// of its test database; Sql(text), the first column of what the database answers,
// asked as another program would; State(), the whole database as text; and
// kImportChecksShape, whether an import refuses a table of another shape too.
#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kelvaro/entry/ResourceSeaException.h"
#include "sea/SeaTestSupport.h"

namespace tabletest {

namespace fs = std::filesystem;
using seatest::CaptureOutput;
using seatest::MemoryTable;
using seatest::RowsOf;
using seatest::TestSea;

inline std::string Said(const CString& text) { return kelvaro::utf8::Encode(text.Str()); }
inline bool Has(const CString& text, const wchar_t* part) { return text.Str().find(part) != std::wstring::npos; }

// 1 exported, 0 refused, -1 thrown (a line that cannot be rebuilt).
inline int Export(CResourceSea& sea, CResSeaTableInterface& table) {
    try {
        return sea.SaveToTable(&table) ? 1 : 0;
    } catch (const CResourceSeaException&) {
        return -1;
    }
}

// Every sea of the corpus and the examples: the table holds the rows of an
// export into memory, and only those (each export replaces the rows of the
// file before), and what comes back exports as what memory gives back.
template <class Backend>
void TheCorpusComesBackWhole(const Backend& db) {
    std::vector<fs::path> files;
    for (const fs::path& folder : {testsupport::DataDir() / "valid", testsupport::DataDir() / "../../examples"})
        for (const auto& item : fs::directory_iterator(folder))
            if (item.path().extension() == ".sea") files.push_back(item.path());
    ASSERT_GT(files.size(), 20u);
    CaptureOutput quiet;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        TestSea sea;
        ASSERT_TRUE(sea.Create(CString(file.wstring()), true));
        MemoryTable memory;
        const auto table = db.Open(L"corpus");
        // A line that cannot be rebuilt stops every export alike.
        const int exported = Export(sea, memory);
        EXPECT_EQ(Export(sea, *table), exported) << Said(table->LastError());
        if (exported < 0) continue;
        EXPECT_EQ(seatest::ReadRows(*db.Open(L"corpus")), memory.rows);
        if (memory.rows.empty()) continue;
        TestSea back, fromMemory;
        ASSERT_TRUE(back.ReadFromTable(table.get(), false));
        EXPECT_EQ(back.NrLines(), sea.NrLines());
        EXPECT_EQ(back.NrEntries(), sea.NrEntries());
        fromMemory.ReadFromTable(&memory, false);
        MemoryTable again, againMemory;
        const int rebuilt = Export(back, again);
        EXPECT_EQ(Export(fromMemory, againMemory), rebuilt);
        EXPECT_EQ(again.rows, againMemory.rows);
        if (rebuilt <= 0) continue;  // a line read whole, too long to be rebuilt
        // Lines as read may be written loosely ("ab"cd); once rebuilt, the
        // rows of a round trip are the rows it started from.
        ASSERT_EQ(Export(back, *table), 1);
        TestSea third;
        ASSERT_TRUE(third.ReadFromTable(table.get(), false));
        EXPECT_EQ(RowsOf(third), again.rows);
    }
}

// Quotes, escapes, SQL, stand-in characters and characters beyond 16 bits,
// in names, values, comments, lists and table names; every table of the
// database is written before any is read back.
template <class Backend>
void HostileTextsSurvive(const Backend& db, const std::vector<std::wstring>& tables) {
    struct Case { std::wstring name, value, expected; };  // expected: what the sea gives back
    std::vector<Case> cases = {{L"long", std::wstring(3000, L'\u00E9'), std::wstring(3000, L'\u00E9')}};
    for (const testsupport::CaseRow& row : testsupport::ReadCases("sqlite-hostile-texts.txt", 3))
        cases.push_back({row.Text(0), row.Text(1), row.Text(row.Null(2) ? 1 : 2)});
    const std::wstring listName = L"list \U0001F600", listLine = L"\"tab\there\" \U0001F600 'q' \u00A7";
    for (const std::wstring& tableName : tables) {
        SCOPED_TRACE(kelvaro::utf8::Encode(tableName));
        TestSea sea;
        for (const Case& c : cases) sea.LookupSetString(c.name.c_str(), c.value.c_str());
        sea.LookupSetString(L"table", tableName.c_str());
        sea.AppendCommentLine(L"comment ' \" \\ \u00A7\u00B6\u00AC; \U0001F600");
        sea.AddListLine(listName.c_str(), listLine.c_str());
        const auto table = db.Open(tableName);
        ASSERT_TRUE(sea.SaveToTable(table.get())) << Said(table->LastError());
        EXPECT_EQ(seatest::ReadRows(*db.Open(tableName)), RowsOf(sea));
    }
    for (const std::wstring& tableName : tables) {
        SCOPED_TRACE(kelvaro::utf8::Encode(tableName));
        TestSea back;
        CaptureOutput capture;
        ASSERT_TRUE(back.ReadFromTable(db.Open(tableName).get(), false));
        EXPECT_TRUE(capture.Texts().empty());
        std::wstring shown = tableName;  // as a value, with '§' for a double quote
        std::replace(shown.begin(), shown.end(), L'\u00A7', L'"');
        EXPECT_EQ(back.Value(L"table"), shown);
        for (const Case& c : cases) EXPECT_EQ(back.Value(c.name.c_str()), c.expected) << kelvaro::utf8::Encode(c.name);
        EXPECT_EQ(back.Text(listName.c_str()), listName + L": {\n" + listLine + L"\n} \t;-- " + listName);
        MemoryTable again;
        ASSERT_TRUE(back.SaveToTable(&again));
        EXPECT_EQ(seatest::Trimmed(again.rows), seatest::Trimmed(seatest::ReadRows(*db.Open(tableName))));
    }
    for (const std::string& name : db.Tables()) EXPECT_NE(name, "x") << "a name or value ran as SQL";
}

// Rows another program wrote whose names would read back as other lines.
template <class Backend>
void RowNamesThatWouldBeOtherLinesAreRefused(const Backend& db) {
    db.Sql("CREATE TABLE refused (line bigint PRIMARY KEY, name text NOT NULL, vals text NOT NULL,"
           " listcounter bigint NOT NULL);");
    db.Sql("INSERT INTO refused VALUES (1, 'good', 'v', 0), (2, 'two\nlines', 'v', 0), (3, '::::: section', 'v', 0),"
           " (4, '}', 'v', 0), (5, 'a:b', 'v', 0), (6, ' blank', 'v', 0), (7, 'last', 'v', 0)");
    TestSea sea;
    CaptureOutput capture;
    ASSERT_TRUE(sea.ReadFromTable(db.Open(L"refused").get(), false));
    EXPECT_EQ(sea.NrLines(), 2u);
    EXPECT_EQ(sea.Value(L"good"), L"v");
    EXPECT_EQ(sea.Value(L"last"), L"v");
    ASSERT_EQ(capture.Texts().size(), 5u);
    EXPECT_NE(capture.Texts()[0].find(L"Name refused in table row 2: 'two\\nlines' holds a line end"), std::wstring::npos);
}

// A table of that name that another program made for something else is not
// emptied by an export: refused, and the database keeps every byte.
template <class Backend>
void ATableOfAnotherShapeIsRefusedAndKept(const Backend& db) {
    db.Sql("CREATE TABLE people (id integer, name text, vals text, listcounter bigint);"
           " INSERT INTO people VALUES (1, 'Ann', 'x', 0);");
    db.Sql("CREATE TABLE extra (line bigint, name text, vals text, listcounter bigint, note text);"
           " INSERT INTO extra VALUES (1, 'theirs', 'v', 0, 'keep');");
    db.Sql("CREATE VIEW seaview AS SELECT CAST(1 AS bigint) AS line, CAST('a' AS text) AS name,"
           " CAST('b' AS text) AS vals, CAST(0 AS bigint) AS listcounter;");
    // first: the first name of its rows
    const struct { const wchar_t* table; const char* first; const wchar_t* says; } cases[] = {
        {L"people", "Ann", L"other columns"}, {L"extra", "theirs", L"other columns"}, {L"seaview", "a", L"not a table"}};
    const std::string before = db.State();
    for (const auto& c : cases) {
        SCOPED_TRACE(kelvaro::utf8::Encode(c.table));
        CaptureOutput capture;
        const auto table = db.Open(c.table);
        TestSea sea;
        sea.LookupSetInt(L"a", 1);
        EXPECT_FALSE(sea.SaveToTable(table.get()));
        EXPECT_TRUE(Has(table->LastError(), c.says)) << Said(table->LastError());
        EXPECT_TRUE(Has(table->LastError(), L"it was left as it is")) << Said(table->LastError());
        if (Backend::kImportChecksShape) {
            EXPECT_FALSE(sea.ReadFromTable(table.get(), false));
            EXPECT_TRUE(Has(table->LastError(), c.says));
        }
        EXPECT_EQ(capture.Reports().size(), Backend::kImportChecksShape ? 2u : 1u);
        EXPECT_EQ(db.Sql("SELECT name FROM " + kelvaro::utf8::Encode(c.table)), std::vector<std::string>{c.first});
    }
    EXPECT_EQ(db.State(), before);
}

// An import from a table that is not there says why, reports nothing and
// creates nothing.
template <class Backend>
void AMissingTableIsNotImported(const Backend& db) {
    const std::string before = db.State();
    CaptureOutput capture;
    const auto table = db.Open(L"nosuchtable");
    TestSea sea;
    EXPECT_FALSE(sea.ReadFromTable(table.get(), false));
    EXPECT_TRUE(Has(table->LastError(), L"there is no table nosuchtable")) << Said(table->LastError());
    EXPECT_TRUE(capture.Reports().empty());
    EXPECT_EQ(db.State(), before);
}

// A table that cannot be opened refuses an export and an import, and reports each.
template <class Table>
void RefusesBoth(Table& table, const CaptureOutput& capture) {
    EXPECT_FALSE(table.IsOpen());
    EXPECT_FALSE(table.LastError().IsEmpty());
    TestSea sea;
    sea.LookupSetInt(L"a", 1);
    EXPECT_FALSE(sea.SaveToTable(&table));
    EXPECT_FALSE(sea.ReadFromTable(&table, false));
    ASSERT_EQ(capture.Reports().size(), 2u);
    EXPECT_EQ(capture.Reports()[0].style, PrWin::WriteProblem);
    EXPECT_EQ(capture.Reports()[1].style, PrWin::ReadProblem);
}

}  // namespace tabletest
