// CPostgresSeaTable: a sea table kept in a PostgreSQL database, so that many
// machines can share one sea (CResourceSea::SaveToTable and ReadFromTable).
// It lives in the optional companion library kelvaro_postgres; the core
// library does not depend on it.
//
// The rows are those of the SQLite table, in a table of four columns:
//   line         bigint PRIMARY KEY  the row's place in the sea, from 1
//   name         text NOT NULL       the row's name
//   vals         text NOT NULL       the row's values
//   listcounter  bigint NOT NULL     the row's list counter
// A table that is there with other columns is refused and left alone.
//
// An export is one transaction that holds the table's lock from its first
// statement to its commit: two exports of one table run one after the other,
// the later one replacing the earlier whole. A connection lost before the
// commit leaves the table as it was. An import reads one snapshot, so it sees
// one whole export. Names and values travel as parameters; the table name is
// quoted as an identifier.
#pragma once

#include <string>
#include <vector>

#include "kelvaro/platform/CString.h"
#include "kelvaro/entry/ResSeaTableInterface.h"

struct pg_conn;
struct pg_result;

class CPostgresSeaTable : public CResSeaTableInterface {
public:
    // Connects with `connection`, a libpq connection URI
    // ("postgresql://user@host:port/db", "postgresql:///db?host=/run/dir")
    // or key=value string. The table is `tableName` in the first schema of
    // the search path (any text up to 63 bytes of UTF-8). A failed connection
    // leaves IsOpen() false with LastError() saying why; every Begin...
    // tries to connect again.
    explicit CPostgresSeaTable(const wchar_t* connection, const wchar_t* tableName = L"sea");
    ~CPostgresSeaTable() override;

    // True while the connection to the server is up.
    bool IsOpen() const;
    // How long an export waits for another export of the table (10000 ms
    // to begin with); then it fails and leaves the table alone.
    void SetLockTimeout(int milliseconds) { m_lockTimeout = milliseconds; }
    // The failure of the last operation as one line; empty when none.
    const CString& LastError() const { return m_lastError; }
    // The connection text with any password replaced by "***", for messages.
    const CString& Shown() const { return m_shown; }

    // Connects when needed and checks the table name; the rows are kept
    // until EndWrite, so that the table is locked only while it is written.
    bool BeginWrite() override;
    void WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) override;
    // In one transaction: locks the table, creates it when missing, replaces
    // its rows, commits. False, with the table as it was, on any failure (a
    // table of another shape, a lock that does not come, a lost connection).
    bool EndWrite() override;

    // Reads the whole table in one snapshot and makes the first row current;
    // false for a missing or empty table (not created), a table of another
    // shape, or a failure.
    bool BeginRead() override;
    bool NextTableLine() override;
    // False when BeginRead was refused by a failure (a missing table is none).
    bool EndRead() override;

private:
    struct Row {
        std::string name;
        std::string values;
        unsigned counter;
    };

    bool Connect();
    // Records `what` with the message of `result` (or of the connection).
    void Fail(const char* what, unsigned style, const pg_result* result = nullptr);
    // Runs `sql` with text parameters; false (recorded as `what`) unless the
    // result has `status`. `*out` takes the result when asked for.
    bool Run(const char* what, const std::string& sql, const std::vector<std::string>& params, int status,
             unsigned style, pg_result** out = nullptr);
    // 1 when the table is there with the four columns, 0 when it is missing,
    // -1 when it has another shape or the check failed (recorded).
    int CheckTable(unsigned style);
    bool InsertRows(std::size_t first, std::size_t count);
    void Rollback();

    pg_conn* m_conn = nullptr;
    CString m_connection;
    CString m_shown;
    CString m_tableName;
    std::string m_tableUtf8;
    std::string m_quotedTable;
    CString m_lastError;
    int m_lockTimeout = 10000;
    std::vector<Row> m_rows;
    bool m_writing = false;
    pg_result* m_result = nullptr;  // the rows of a running import
    int m_nextRow = 0;
    bool m_readFailed = false;
};
