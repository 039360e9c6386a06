// Seas in a real SQLite database file: the checks every back end passes
// (SeaTableChecks.h), and what is the file's own: an export replaces the rows
// whole or not at all and leaves no file it made when it fails, an import
// creates nothing, and a busy database keeps the rows it had.
#ifdef KELVARO_HAVE_SQLITE

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kelvaro_sqlite/SqliteTable.h"
#include "sqlite/SeaTableChecks.h"

namespace {

using seatest::CaptureOutput;
using seatest::Row;
using seatest::ScratchDir;
using seatest::TestSea;

// One database file in a fresh folder.
struct Sqlite {
    using Table = CSqliteSeaTable;
    static constexpr bool kImportChecksShape = false;

    ScratchDir dir;
    std::string file = dir.Path("t.db").string();
    CString path = dir.Wide("t.db");

    std::unique_ptr<Table> Open(const std::wstring& name = L"sea") const {
        return std::make_unique<Table>(path, name.c_str());
    }
    std::vector<std::string> Sql(const std::string& sql) const {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        std::vector<std::string> column;
        char* error = nullptr;
        const auto first = [](void* out, int, char** values, char**) {
            static_cast<std::vector<std::string>*>(out)->push_back(values[0] != nullptr ? values[0] : "");
            return 0;
        };
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), first, &column, &error), SQLITE_OK) << sql << ": " << error;
        sqlite3_free(error);
        sqlite3_close(db);
        return column;
    }
    std::vector<std::string> Tables() const { return Sql("SELECT name FROM sqlite_schema ORDER BY 1"); }
    std::string State() const { return seatest::ReadBytes(file); }
    std::vector<Row> Rows() const { return seatest::ReadRows(*Open()); }
    // Rows straight into the table, as another program might have left them.
    void Write(const std::vector<Row>& rows) const {
        CSqliteSeaTable table(path);
        ASSERT_TRUE(table.BeginWrite());
        for (const Row& row : rows) table.WriteTableLine(row.name.c_str(), row.values.c_str(), row.counter);
        ASSERT_TRUE(table.EndWrite());
    }
};

TEST(SqliteTable, TheCorpusComesBackWhole) { tabletest::TheCorpusComesBackWhole(Sqlite()); }
TEST(SqliteTable, ATableOfAnotherShapeIsRefusedAndKept) { tabletest::ATableOfAnotherShapeIsRefusedAndKept(Sqlite()); }
TEST(SqliteTable, RowNamesThatWouldBeOtherLinesAreRefused) {
    tabletest::RowNamesThatWouldBeOtherLinesAreRefused(Sqlite());
}
TEST(SqliteTable, HostileTextsAndTablesOfAnyNameShareOneFile) {
    tabletest::HostileTextsSurvive(Sqlite(), {L"sea", L"Application", L"with \"quote\" and space", L"drop table x; --",
                                              L"\u00A7\u00B6\u00AC\\", L"Mixed.Case"});
}

TEST(SqliteTable, AnImportCreatesNothingAndAnUnopenableFileRefusesBoth) {
    const Sqlite db;
    TestSea sea;
    sea.LookupSetInt(L"old", 1);
    CaptureOutput capture;
    {
        const auto table = db.Open();
        EXPECT_TRUE(table->IsOpen()) << "an export could still create it";
        EXPECT_FALSE(sea.ReadFromTable(table.get(), false));
        EXPECT_EQ(table->LastError().Str(), L"the database does not exist");
    }
    EXPECT_EQ(sea.NrLines(), 0u);
    EXPECT_FALSE(std::filesystem::exists(db.file));
    ASSERT_EQ(capture.Reports().size(), 1u);
    EXPECT_EQ(capture.Reports()[0].style, PrWin::ReadProblem);
    EXPECT_TRUE(capture.Has(L"t.db: the database does not exist"));

    // A database without the table, and one in a folder that is not there.
    db.Write({{L"a", L"1", 0}});
    tabletest::AMissingTableIsNotImported(db);
    CaptureOutput refusals;
    CSqliteSeaTable table(db.dir.Wide("no-such-folder/seas.db"));
    tabletest::RefusesBoth(table, refusals);
}

TEST(SqliteTable, AFailedExportLeavesTheFileAsItWas) {
    TestSea bad;
    bad.LookupSetInt(L"new", 1);
    bad.LookupSetString(L"long", std::wstring(5000, L'x').c_str());  // too long to rebuild
    for (const std::string start : {"no file", "an empty file", "a database with rows"}) {
        SCOPED_TRACE(start);
        const Sqlite db;
        if (start == "an empty file") seatest::WriteBytes(db.file, "");
        if (start == "a database with rows") db.Write({{L"old", L"1", 0}, {L"older", L"2", 0}});
        const bool existed = std::filesystem::exists(db.file);
        const std::string before = db.State();
        EXPECT_THROW(bad.SaveToTable(db.Open().get()), CResourceSeaException);
        ASSERT_EQ(std::filesystem::exists(db.file), existed);
        EXPECT_EQ(db.State(), before);
        EXPECT_FALSE(std::filesystem::exists(db.file + "-journal"));

        // The same table takes the next export whole, creating the file again.
        const auto table = db.Open();
        EXPECT_THROW(bad.SaveToTable(table.get()), CResourceSeaException);
        TestSea good;
        good.LookupSetInt(L"good", 2);
        EXPECT_TRUE(good.SaveToTable(table.get()));
        EXPECT_EQ(db.Rows(), (std::vector<Row>{{L"good", L"2 ", 0}}));
    }
}

// Another table of the same file holds it: one in the middle of an import
// keeps the writer from committing; one in the middle of an export, that
// found no file either, made the file the failing export must not remove.
TEST(SqliteTable, AnExportThatCannotCommitLeavesTheFileAsItWas) {
    const std::vector<Row> old = {{L"old", L"1", 0}, {L"older", L"2", 0}};
    for (const bool reading : {true, false}) {
        SCOPED_TRACE(reading ? "held by an import" : "held by an export that created the file");
        const Sqlite db;
        if (reading) db.Write(old);
        const auto holder = db.Open();
        ASSERT_TRUE(reading ? holder->BeginRead() : holder->BeginWrite());
        if (!reading) holder->WriteTableLine(L"a", L"1", 0);
        TestSea sea;
        sea.LookupSetInt(L"new", 3);
        CaptureOutput capture;
        {
            const auto writer = db.Open();
            writer->SetBusyTimeout(50);
            EXPECT_FALSE(sea.SaveToTable(writer.get()));
            EXPECT_FALSE(writer->LastError().IsEmpty());
        }
        ASSERT_EQ(capture.Reports().size(), 1u);
        EXPECT_EQ(capture.Reports()[0].style, PrWin::WriteProblem);
        EXPECT_TRUE(capture.Has(L"Sea table sea in "));
        EXPECT_TRUE(std::filesystem::exists(db.file));
        if (reading) {
            ASSERT_TRUE(holder->NextTableLine());
            EXPECT_FALSE(holder->NextTableLine());
            EXPECT_FALSE(holder->NextTableLine()) << "false again after the end";
        }
        EXPECT_TRUE(reading ? holder->EndRead() : holder->EndWrite());
        EXPECT_EQ(db.Rows(), reading ? old : std::vector<Row>({{L"a", L"1", 0}}));
    }
}

}  // namespace

#endif  // KELVARO_HAVE_SQLITE
