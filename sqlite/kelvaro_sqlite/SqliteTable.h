// CSqliteSeaTable: a sea table kept in an SQLite database file, for modules
// that export seas to a database and import them back (CResourceSea::SaveToTable
// and ReadFromTable). It lives in the optional companion library
// kelvaro_sqlite; the core library does not depend on it.
//
// The table has one row per sea row and four columns:
//   line         INTEGER PRIMARY KEY  the row's place in the sea, from 1
//   name         TEXT NOT NULL        the row's name (UTF-8)
//   vals         TEXT NOT NULL        the row's values (UTF-8)
//   listcounter  INTEGER NOT NULL     the row's list counter
// An export creates the database file and the table when they are missing;
// an import creates neither. An export replaces all rows of the table in one
// transaction: it is stored whole or not at all, and a failed export into a
// file it created removes that file again.
#pragma once

#include <string>

#include "kelvaro/platform/CString.h"
#include "kelvaro/entry/ResSeaTableInterface.h"

struct sqlite3;
struct sqlite3_stmt;

class CSqliteSeaTable : public CResSeaTableInterface {
public:
    // Opens `databasePath`; a file that is not there yet is left to an export
    // to create. The table is named `tableName` (any text; it is quoted in
    // every statement). A database that can be neither opened nor created
    // leaves IsOpen() false, and every Begin... refuses.
    explicit CSqliteSeaTable(const wchar_t* databasePath, const wchar_t* tableName = L"sea");
    // Rolls back an export that was never ended (removing a file it created)
    // and closes the database.
    ~CSqliteSeaTable() override;

    // True when the database is open, or is not there yet but its folder is,
    // so that an export can create it (an import then refuses).
    bool IsOpen() const { return m_db != nullptr || m_missing; }
    // How long a statement waits for another connection's lock before it
    // fails (5000 ms to begin with).
    void SetBusyTimeout(int milliseconds);
    // The database's message for the last failure; empty when none.
    const CString& LastError() const { return m_lastError; }

    // Creates the database file when missing, opens a transaction, creates
    // the table when missing and deletes its rows.
    bool BeginWrite() override;
    // Inserts a row; a failure is remembered and makes EndWrite roll back.
    void WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) override;
    // Commits the rows; false after any failure, with the database as it was
    // (a file this export created is removed).
    bool EndWrite() override;

    // Makes the first row current; false for a missing database (reported,
    // and not created), a missing or empty table (not created) or a failure.
    bool BeginRead() override;
    bool NextTableLine() override;
    // False when reading stopped at an error rather than after the last row.
    bool EndRead() override;

private:
    // Records the database's message for `what` and reports it.
    void Fail(const char* what, unsigned style);
    bool Execute(const char* sql);
    // Opens the database file without creating it. False when it does not
    // open; m_missing then says whether it is simply not there yet.
    bool Connect();
    // Creates the file (exclusively, so that it is known to be this table's
    // own) and opens it.
    bool CreateAndConnect();
    // Removes the database file when it is empty.
    void RemoveIfEmpty();
    bool EnsureTable();
    bool HasSeaShape();
    // 1 when the table is in the database, 0 when not, -1 on a failure.
    int TableExists();
    // Takes the current row of the read statement into the row buffers.
    void TakeRow();
    void FinishWrite(bool commit);
    void FinishRead();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_select = nullptr;
    CString m_path;
    std::string m_nativePath;  // m_path in UTF-8, as the file system and SQLite take it
    CString m_tableName;
    std::string m_quotedTable;  // the table name as an SQL identifier, in UTF-8
    CString m_lastError;
    bool m_missing = false;  // no file yet, in a folder that is there: an export may create it
    bool m_created = false;  // the running export created the file
    int m_busyTimeout = 5000;
    bool m_writing = false;
    bool m_writeFailed = false;
    unsigned m_rowNumber = 0;
    bool m_reading = false;
    bool m_readDone = false;
    bool m_readFailed = false;
};
