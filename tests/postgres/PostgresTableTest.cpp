// Seas in a real PostgreSQL server (one per test run, see PostgresServer.h):
// the checks every back end passes (sqlite/SeaTableChecks.h), and what is the
// server's own: concurrent exports never mix, a lost connection or a held
// lock leaves the table as it was, and every failure says what went wrong.
#ifdef KELVARO_HAVE_POSTGRES

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kelvaro_postgres/PostgresTable.h"
#include "postgres/PostgresServer.h"
#include "sqlite/SeaTableChecks.h"
#ifdef KELVARO_SEA_TOOL
#include "tools/SeaTool.h"
#endif

namespace {

namespace fs = std::filesystem;
using pgtest::Server;
using seatest::CaptureOutput;
using seatest::Row;
using seatest::RowsOf;
using seatest::ScratchDir;
using seatest::TestSea;
using tabletest::Has;
using tabletest::Said;

CString Wide(const std::string& text) { return CString(kelvaro::utf8::Decode(text)); }
CString Uri() { return Wide(Server::Get().Uri()); }

// The server's database, for the shared checks.
struct Postgres {
    using Table = CPostgresSeaTable;
    static constexpr bool kImportChecksShape = true;

    static std::unique_ptr<Table> Open(const std::wstring& name) { return std::make_unique<Table>(Uri(), name.c_str()); }
    // SQL straight to the server, as another program would send it; the first column of the rows.
    static std::vector<std::string> Sql(const std::string& sql) {
        PGconn* conn = PQconnectdb(Server::Get().Uri().c_str());
        PGresult* result = PQexec(conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) << sql << ": " << PQerrorMessage(conn);
        std::vector<std::string> column;
        for (int i = 0; status == PGRES_TUPLES_OK && i < PQntuples(result); ++i) column.push_back(PQgetvalue(result, i, 0));
        PQclear(result);
        PQfinish(conn);
        return column;
    }
    static std::vector<std::string> Tables() {
        return Sql("SELECT relname FROM pg_class WHERE relnamespace = 'public'::regnamespace ORDER BY 1");
    }
    static std::string State() {
        std::string all;
        for (const std::string& name : Tables()) all += name + "\n";
        return all;
    }
};

std::vector<Row> ReadRows(const wchar_t* tableName) { return seatest::ReadRows(*Postgres::Open(tableName)); }
const auto Sql = Postgres::Sql;

class PostgresTable : public ::testing::Test {
protected:
    // Skipped, loudly, where the server programs are missing; failed instead in
    // CI (the CI variable set) or when the server would not start.
    void SetUp() override {
        const Server& server = Server::Get();
        if (server.Running()) return;
        if (server.Absent() && std::getenv("CI") == nullptr) {
            std::fprintf(stderr, "\n*** PostgreSQL tests SKIPPED: %s ***\n\n", server.Problem().c_str());
            GTEST_SKIP() << server.Problem();
        }
        FAIL() << "no PostgreSQL server for the tests: " << server.Problem();
    }
};

TEST_F(PostgresTable, TheCorpusComesBackWhole) { tabletest::TheCorpusComesBackWhole(Postgres()); }
TEST_F(PostgresTable, ATableOfAnotherShapeIsRefusedAndKept) {
    tabletest::ATableOfAnotherShapeIsRefusedAndKept(Postgres());
    tabletest::AMissingTableIsNotImported(Postgres());
}
TEST_F(PostgresTable, RowNamesThatWouldBeOtherLinesAreRefused) {
    tabletest::RowNamesThatWouldBeOtherLinesAreRefused(Postgres());
}
TEST_F(PostgresTable, HostileNamesAndValuesSurvive) {
    const std::wstring longest = L"x23456789012345678901234567890123456789012345678901234567890123";
    tabletest::HostileTextsSurvive(Postgres(), {L"sea", L"with \"quote\" and space", L"drop table x; --",
                                                L"\u00A7\u00B6\u00AC\\", L"Mixed.Case", longest});
    // 64 bytes: PostgreSQL would cut the name short, so it is refused.
    CaptureOutput capture;
    CPostgresSeaTable tooLong(Uri(), (longest + L"4").c_str());
    TestSea sea;
    sea.LookupSetInt(L"a", 1);
    EXPECT_FALSE(sea.SaveToTable(&tooLong));
    EXPECT_TRUE(Has(tooLong.LastError(), L"63 bytes"));
}

TEST_F(PostgresTable, ConcurrentExportsAndImportsNeverMix) {
    // Each writer exports its own sea, of its own size; every import must be
    // exactly one of them.
    constexpr int kWriters = 4, kReaders = 2, kRounds = 6;
    auto seaOf = [](int writer, TestSea& sea) {
        for (int i = 0; i < 150 + 61 * writer; ++i)
            sea.LookupSetString((L"w" + std::to_wstring(writer) + L"_" + std::to_wstring(i)).c_str(), L"v 'x'");
    };
    std::vector<std::vector<Row>> exports(kWriters);
    for (int w = 0; w < kWriters; ++w) {
        TestSea sea;
        seaOf(w, sea);
        exports[w] = RowsOf(sea);
    }
    auto isAnExport = [&](const std::vector<Row>& rows) {
        return std::find(exports.begin(), exports.end(), rows) != exports.end();
    };
    std::vector<pid_t> children;
    for (int k = 0; k < kWriters + kReaders; ++k) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid != 0) {
            children.push_back(pid);
            continue;
        }
        // A child reports by its exit status only: 0 all well.
        int status = 0;
        CaptureOutput quiet;
        for (int round = 0; round < kRounds && status == 0; ++round) {
            CPostgresSeaTable table(Uri(), L"shared");
            table.SetLockTimeout(60000);
            if (k < kWriters) {
                TestSea sea;
                seaOf(k, sea);
                status = sea.SaveToTable(&table) ? 0 : 10;
            } else {
                const std::vector<Row> rows = seatest::ReadRows(table);
                status = rows.empty() || isAnExport(rows) ? 0 : 20;
            }
        }
        _exit(status);
    }
    for (const pid_t pid : children) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
    EXPECT_TRUE(isAnExport(ReadRows(L"shared")));
}

// The server drops the connection half-way (after the old rows are deleted,
// at the row named "boom"), or another session holds the table past the
// export's lock timeout: the export fails, readers are not held up, the table
// keeps its rows, and the same table takes the next export.
TEST_F(PostgresTable, AFailedExportLeavesTheTableAsItWas) {
    PGconn* holder = nullptr;
    const struct { const wchar_t* table, *says; std::function<void()> block, unblock; } cases[] = {
        {L"lost", L"the connection was lost; the table was left as it was",
         [] {
             Sql("CREATE FUNCTION boom() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF NEW.name = 'boom' THEN"
                 " PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5); END IF; RETURN NEW; END $$");
             Sql("CREATE TRIGGER boom BEFORE INSERT ON lost FOR EACH ROW EXECUTE FUNCTION boom()");
         },
         [] { Sql("DROP TRIGGER boom ON lost"); }},
        {L"waits", L"another export of this table holds its lock",
         [&holder] {
             holder = PQconnectdb(Server::Get().Uri().c_str());
             PQclear(PQexec(holder, "BEGIN; LOCK TABLE waits IN EXCLUSIVE MODE"));
         },
         [&holder] { PQfinish(holder); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kelvaro::utf8::Encode(c.table));
        TestSea old, next;
        old.LookupSetInt(L"old", 1);
        old.LookupSetInt(L"older", 2);
        next.LookupSetInt(L"new", 3);
        next.LookupSetInt(L"boom", 4);
        CPostgresSeaTable table(Uri(), c.table);
        ASSERT_TRUE(old.SaveToTable(&table));
        c.block();
        table.SetLockTimeout(200);
        {
            CaptureOutput capture;
            EXPECT_FALSE(next.SaveToTable(&table));
            EXPECT_TRUE(Has(table.LastError(), c.says)) << Said(table.LastError());
            EXPECT_EQ(capture.Reports().size(), 1u);
        }
        EXPECT_EQ(ReadRows(c.table), RowsOf(old));
        c.unblock();
        EXPECT_TRUE(next.SaveToTable(&table)) << Said(table.LastError());
        EXPECT_EQ(ReadRows(c.table), RowsOf(next));
    }
}

TEST_F(PostgresTable, ConnectionFailuresAreClear) {
    ScratchDir empty;
    const std::string dir = pgtest::UriEncode(Server::Get().SocketDir());
    const std::string secret = "s3cr3t-word";
    const struct { std::string uri; const wchar_t* says; } cases[] = {
        {"postgresql://kelvaro@" + pgtest::UriEncode(empty.Root().string()) + "/postgres",
         L"Is the server running"},
        {"postgresql://kelvaro:" + secret + "@" + dir + "/postgres", L"password authentication failed"},
        {"postgresql:///postgres?host=" + dir + "&user=nobody_here&password=" + secret,
         L"password authentication failed"},
        {Server::Get().Uri("no_such_db"), L"database \"no_such_db\" does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uri);
        CaptureOutput capture;
        CPostgresSeaTable table(Wide(c.uri));
        EXPECT_TRUE(Has(table.LastError(), L"cannot connect: ")) << Said(table.LastError());
        EXPECT_TRUE(Has(table.LastError(), c.says)) << Said(table.LastError());
        tabletest::RefusesBoth(table, capture);
        for (const auto& report : capture.Reports())
            EXPECT_EQ(report.text.find(kelvaro::utf8::Decode(secret)), std::wstring::npos) << "password shown";
        EXPECT_EQ(table.Shown().Str().find(kelvaro::utf8::Decode(secret)), std::wstring::npos);
    }
}

#ifdef KELVARO_SEA_TOOL
// `sea export` and `sea import` with both URI forms of a socket host.
TEST_F(PostgresTable, TheSeaToolTakesUrls) {
    ScratchDir dir;
    const Server& server = Server::Get();
    const std::string forms[] = {
        server.Uri(),
        "postgres:///postgres?host=" + server.SocketDir() + "&user=kelvaro&password=" +
            pgtest::UriEncode(Server::kPassword),
    };
    const auto sea = [&dir](const std::string& args) { return seatool::RunSea(dir.Root(), args); };
    const std::string example = testsupport::DataDir().string() + "/../../examples/Configuration.sea";
    for (const std::string& uri : forms) {
        SCOPED_TRACE(uri);
        const std::string copy = dir.Path("copy.sea").string();
        fs::remove(copy);
        const seatool::ToolRun exported = sea("export '" + example + "' --db '" + uri + "' --table tool");
        ASSERT_EQ(exported.status, 0) << exported.err;
        const seatool::ToolRun imported = sea("import '" + copy + "' --db '" + uri + "' --table tool");
        ASSERT_EQ(imported.status, 0) << imported.err;
        const seatool::ToolRun original = sea("list '" + example + "'");
        ASSERT_EQ(original.status, 0);
        EXPECT_EQ(sea("list '" + copy + "'").out, original.out);
    }
    const seatool::ToolRun refused = sea("import '" + dir.Path("none.sea").string() +
                                         "' --db 'postgresql://kelvaro:wrong-pw@" +
                                         pgtest::UriEncode(server.SocketDir()) + "/postgres'");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("password authentication failed"), std::string::npos) << refused.err;
    EXPECT_EQ((refused.out + refused.err).find("wrong-pw"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(dir.Path("none.sea")));
}
#endif

}  // namespace

#endif  // KELVARO_HAVE_POSTGRES
