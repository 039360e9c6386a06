// CSqliteSeaTable: a sea table kept in an SQLite database file, for modules
// that export seas to a database and import them back (CResourceSea::SaveToTable
// and ReadFromTable). Part of the optional companion library kelvaro_sqlite;
// the core library does not depend on it.
//
// The table has one row per sea row and four columns:
//   line         INTEGER PRIMARY KEY  the row's place in the sea, from 1
//   name         TEXT NOT NULL        the row's name (UTF-8)
//   vals         TEXT NOT NULL        the row's values (UTF-8)
//   listcounter  INTEGER NOT NULL     the row's list counter
// It is created when missing. An export replaces all rows of the table in one
// transaction: it is stored whole or not at all.
#pragma once

#include <string>

#include "kelvaro/platform/CString.h"
#include "kelvaro/sea/ResSeaTableInterface.h"

struct sqlite3;
struct sqlite3_stmt;

class CSqliteSeaTable : public CResSeaTableInterface {
public:
    // Opens `databasePath` (created when missing). The table is named
    // `tableName` (any text; it is quoted in every statement). A database that
    // cannot be opened leaves IsOpen() false, and every Begin... refuses.
    explicit CSqliteSeaTable(const wchar_t* databasePath, const wchar_t* tableName = L"sea");
    // Rolls back an export that was never ended and closes the database.
    ~CSqliteSeaTable() override;

    bool IsOpen() const { return m_db != nullptr; }
    // How long a statement waits for another connection's lock before it
    // fails (5000 ms to begin with).
    void SetBusyTimeout(int milliseconds);
    // The database's message for the last failure; empty when none.
    const CString& LastError() const { return m_lastError; }

    // Creates the table when missing, opens a transaction and deletes its rows.
    bool BeginWrite() override;
    // Inserts a row; a failure is remembered and makes EndWrite roll back.
    void WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) override;
    // Commits the rows; false (nothing changed in the table) after any failure.
    bool EndWrite() override;

    // Creates the table when missing and makes its first row current; false
    // for an empty table or a failure.
    bool BeginRead() override;
    bool NextTableLine() override;
    // False when reading stopped at an error rather than after the last row.
    bool EndRead() override;

private:
    // Records the database's message for `what` and reports it.
    void Fail(const char* what, unsigned style);
    bool Execute(const char* sql);
    bool EnsureTable();
    // Takes the current row of the read statement into the row buffers.
    void TakeRow();
    void FinishWrite(bool commit);
    void FinishRead();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_select = nullptr;
    CString m_path;
    CString m_tableName;
    std::string m_quotedTable;  // the table name as an SQL identifier, in UTF-8
    CString m_lastError;
    bool m_writing = false;
    bool m_writeFailed = false;
    unsigned m_rowNumber = 0;
    bool m_reading = false;
    bool m_readDone = false;
    bool m_readFailed = false;
};
