// Kelvaro SQLite companion: a sea table in an SQLite database.
#include "kelvaro_sqlite/SqliteTable.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/Utf.h"

namespace {

constexpr unsigned kStyleRead = 3;   // as the library's own reading problems
constexpr unsigned kStyleWrite = 4;  // as the library's own write-back failures

// An SQL identifier for any text: between double quotes, each one doubled.
std::string QuoteIdentifier(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

bool BindText(sqlite3_stmt* statement, int index, const wchar_t* text) {
    const std::string utf8 = kelvaro::utf8::Encode(text != nullptr ? text : L"");
    return sqlite3_bind_text64(statement, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8) ==
           SQLITE_OK;
}

std::wstring ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (text == nullptr) return std::wstring();  // NULL reads as empty
    const int bytes = sqlite3_column_bytes(statement, column);
    return kelvaro::utf8::Decode(std::string_view(text, static_cast<std::size_t>(bytes)));
}

// Nothing is at `path` yet, and the folder it would be in is there: a file
// an export may create.
bool Creatable(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path file(path);
    if (path.empty() || fs::symlink_status(file, error).type() != fs::file_type::not_found) return false;
    return fs::is_directory(file.has_parent_path() ? file.parent_path() : fs::path("."), error);
}

}  // namespace

CSqliteSeaTable::CSqliteSeaTable(const wchar_t* databasePath, const wchar_t* tableName)
    : m_path(databasePath), m_tableName(tableName) {
    m_quotedTable = QuoteIdentifier(kelvaro::utf8::Encode(m_tableName.Str()));
    m_nativePath = kelvaro::utf8::Encode(m_path.Str());
    Connect();
}

CSqliteSeaTable::~CSqliteSeaTable() {
    if (m_writing) FinishWrite(false);
    if (m_reading) FinishRead();
    sqlite3_close(m_db);
}

bool CSqliteSeaTable::Connect() {
    // Never with SQLITE_OPEN_CREATE: an import, or a table that is only
    // looked at, must not leave a new database file behind.
    if (sqlite3_open_v2(m_nativePath.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        m_missing = false;
        sqlite3_busy_timeout(m_db, m_busyTimeout);
        return true;
    }
    const std::wstring message =
        m_db != nullptr ? kelvaro::utf8::Decode(sqlite3_errmsg(m_db)) : std::wstring(L"out of memory");
    sqlite3_close(m_db);  // a handle is returned even when opening fails
    m_db = nullptr;
    m_missing = Creatable(m_nativePath);
    if (!m_missing) m_lastError = CString(L"open: ") + CString(message);
    return false;
}

bool CSqliteSeaTable::CreateAndConnect() {
    // Created here, exclusively, so that the table knows the file is its own
    // and may remove it again when the export fails.
    const int fd = ::open(m_nativePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    const int createError = fd >= 0 ? 0 : errno;
    if (fd >= 0) ::close(fd);
    if (!Connect()) {
        if (fd >= 0) RemoveIfEmpty();
        if (m_missing)
            m_lastError = CString(L"create: ") +
                          CString(kelvaro::utf8::Decode(std::generic_category().message(createError)));
        return false;
    }
    m_created = fd >= 0;
    return true;
}

void CSqliteSeaTable::RemoveIfEmpty() {
    // Only an empty file goes: had another program written into it meanwhile,
    // its rows would go with it.
    std::error_code error;
    const std::filesystem::path file(m_nativePath);
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(file, error)) &&
        std::filesystem::file_size(file, error) == 0 && !error)
        std::filesystem::remove(file, error);
}

void CSqliteSeaTable::SetBusyTimeout(int milliseconds) {
    m_busyTimeout = milliseconds;
    if (m_db != nullptr) sqlite3_busy_timeout(m_db, milliseconds);
}

void CSqliteSeaTable::Fail(const char* what, unsigned style) {
    // Without a database the message of the failed open stays; without
    // `what` the reason given already.
    if (m_db != nullptr && what != nullptr)
        m_lastError = CString(kelvaro::utf8::Decode(what)) + L": " + CString(kelvaro::utf8::Decode(sqlite3_errmsg(m_db)));
    PrWin::Output(PrWin::LibraryMessage, static_cast<PrWin::Style>(style), L"Sea table %s in %s: %s\n",
                  m_tableName.GetString(), m_path.GetString(), m_lastError.GetString());
}

bool CSqliteSeaTable::Execute(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CSqliteSeaTable::EnsureTable() {
    const std::string sql = "CREATE TABLE IF NOT EXISTS " + m_quotedTable +
                            " (line INTEGER PRIMARY KEY, name TEXT NOT NULL, vals TEXT NOT NULL,"
                            " listcounter INTEGER NOT NULL)";
    return Execute(sql.c_str());
}

// An export replaces the table's rows: a table of that name that another
// program made for something else (other columns, a view) is not emptied.
bool CSqliteSeaTable::HasSeaShape() {
    sqlite3_stmt* query = nullptr;
    std::string found;
    int columns = 0;
    bool fits = true;
    const char* const kColumns = "SELECT name FROM pragma_table_info(?1)";
    if (sqlite3_prepare_v2(m_db, kColumns, -1, &query, nullptr) != SQLITE_OK ||
        !BindText(query, 1, m_tableName.GetString())) {
        sqlite3_finalize(query);
        return false;
    }
    while (sqlite3_step(query) == SQLITE_ROW) {
        const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
        found += (columns++ == 0 ? "" : ", ") + name;
        fits = fits && (name == "line" || name == "name" || name == "vals" || name == "listcounter");
    }
    sqlite3_finalize(query);
    sqlite3_stmt* kind = nullptr;
    bool table = false;
    if (sqlite3_prepare_v2(m_db, "SELECT type FROM sqlite_schema WHERE name = ?1", -1, &kind, nullptr) == SQLITE_OK &&
        BindText(kind, 1, m_tableName.GetString()) && sqlite3_step(kind) == SQLITE_ROW)
        table = std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(kind, 0))) == "table";
    sqlite3_finalize(kind);
    if (table && fits && columns == 4) return true;
    m_lastError = table ? CString(L"the table has other columns than line, name, vals and listcounter (") +
                              CString(kelvaro::utf8::Decode(found)) + L"); it was left as it is"
                        : CString(L"the name is taken by a view or another kind of object, not a table; it was left as it is");
    return false;
}

// ---- export -------------------------------------------------------------------------

bool CSqliteSeaTable::BeginWrite() {
    if (m_writing) FinishWrite(false);  // an export never ended gives way
    if (m_reading) FinishRead();
    // The file may have come or gone since the table was made.
    if (m_db == nullptr && !Connect() && !(m_missing && CreateAndConnect())) {
        Fail("open", kStyleWrite);
        return false;
    }
    m_lastError.Empty();
    // The writer's lock is taken at once, so that a busy database refuses
    // here rather than half-way through the rows.
    if (!Execute("BEGIN IMMEDIATE")) {
        Fail("begin", kStyleWrite);
        return false;
    }
    m_writing = true;
    m_writeFailed = false;
    m_rowNumber = 0;
    const std::string remove = "DELETE FROM " + m_quotedTable;
    const std::string insert = "INSERT INTO " + m_quotedTable + " (line, name, vals, listcounter) VALUES (?, ?, ?, ?)";
    if (!EnsureTable() || !HasSeaShape()) {
        Fail(m_lastError.IsEmpty() ? "check table" : nullptr, kStyleWrite);
        FinishWrite(false);
        return false;
    }
    if (!Execute(remove.c_str()) ||
        sqlite3_prepare_v3(m_db, insert.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &m_insert, nullptr) != SQLITE_OK) {
        Fail("prepare export", kStyleWrite);
        FinishWrite(false);
        return false;
    }
    return true;
}

void CSqliteSeaTable::WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) {
    if (!m_writing || m_writeFailed) return;
    ++m_rowNumber;
    const bool ok = sqlite3_bind_int64(m_insert, 1, m_rowNumber) == SQLITE_OK && BindText(m_insert, 2, name) &&
                    BindText(m_insert, 3, values) && sqlite3_bind_int64(m_insert, 4, listCounter) == SQLITE_OK &&
                    sqlite3_step(m_insert) == SQLITE_DONE;
    if (!ok) {
        m_writeFailed = true;
        Fail("insert", kStyleWrite);
    }
    sqlite3_reset(m_insert);
    sqlite3_clear_bindings(m_insert);
}

bool CSqliteSeaTable::EndWrite() {
    if (!m_writing) return false;
    if (m_writeFailed) {
        FinishWrite(false);
        return false;
    }
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (!Execute("COMMIT")) {
        Fail("commit", kStyleWrite);
        FinishWrite(false);
        return false;
    }
    m_writing = false;
    m_created = false;  // the file holds the export now
    return true;
}

void CSqliteSeaTable::FinishWrite(bool commit) {
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    // A failed COMMIT may have ended the transaction already; ROLLBACK then
    // fails harmlessly.
    const bool committed = commit && Execute("COMMIT");
    if (!committed) Execute("ROLLBACK");
    m_writing = false;
    if (committed || !m_created) {
        m_created = false;
        return;
    }
    // The export made the file and stored nothing in it: the file goes, so
    // that a failed export leaves no empty database behind.
    m_created = false;
    sqlite3_close(m_db);
    m_db = nullptr;
    RemoveIfEmpty();
    const CString error = m_lastError;
    Connect();  // the file, if it stayed, is opened again; else it is missing again
    m_lastError = error;
}

// ---- import -------------------------------------------------------------------------

bool CSqliteSeaTable::BeginRead() {
    if (m_writing) FinishWrite(false);
    if (m_reading) FinishRead();
    if (m_db == nullptr && !Connect()) {
        // An import has nothing to read from a file that is not there, and
        // does not create one.
        if (m_missing) m_lastError = L"the database does not exist";
        Fail("open", kStyleRead);
        return false;
    }
    m_lastError.Empty();
    m_readDone = false;
    m_readFailed = false;
    // The whole import reads one state of the table, even if a writer comes by.
    if (!Execute("BEGIN")) {
        Fail("begin import", kStyleRead);
        return false;
    }
    m_reading = true;
    // A table that is not there is an empty one; an import does not create it,
    // and the caller can still learn why nothing was read.
    const int exists = TableExists();
    if (exists <= 0) {
        if (exists < 0) Fail("begin import", kStyleRead);
        else m_lastError = L"there is no table " + m_tableName + L" in the database";
        FinishRead();
        return false;
    }
    const std::string select = "SELECT name, vals, listcounter FROM " + m_quotedTable + " ORDER BY line";
    if (sqlite3_prepare_v3(m_db, select.c_str(), -1, 0, &m_select, nullptr) != SQLITE_OK) {
        Fail("prepare import", kStyleRead);
        FinishRead();
        return false;
    }
    if (!NextTableLine()) {
        // Nothing to import (or the first row failed): the sea does not call EndRead.
        FinishRead();
        return false;
    }
    return true;
}

int CSqliteSeaTable::TableExists() {
    // Table names compare as SQLite compares them: ASCII letters in either case.
    static const char kQuery[] = "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE";
    sqlite3_stmt* query = nullptr;
    int answer = -1;
    if (sqlite3_prepare_v2(m_db, kQuery, -1, &query, nullptr) == SQLITE_OK &&
        BindText(query, 1, m_tableName.GetString())) {
        const int step = sqlite3_step(query);
        answer = step == SQLITE_ROW ? 1 : step == SQLITE_DONE ? 0 : -1;
    }
    sqlite3_finalize(query);
    return answer;
}

bool CSqliteSeaTable::NextTableLine() {
    if (!m_reading || m_readDone) return false;
    const int result = sqlite3_step(m_select);
    if (result == SQLITE_ROW) {
        TakeRow();
        return true;
    }
    m_readDone = true;  // false from here on, also on every further call
    if (result != SQLITE_DONE) {
        m_readFailed = true;
        Fail("read", kStyleRead);
    }
    return false;
}

void CSqliteSeaTable::TakeRow() {
    const std::wstring name = ColumnText(m_select, 0);
    const std::wstring values = ColumnText(m_select, 1);
    const sqlite3_int64 counter = sqlite3_column_int64(m_select, 2);
    // A counter outside the unsigned range cannot come from an export; it is
    // read as 0 so that the row is at least an ordinary one.
    SetCurrentLine(name.c_str(), values.c_str(),
                   counter < 0 || counter > 0xFFFFFFFFll ? 0u : static_cast<unsigned>(counter));
}

bool CSqliteSeaTable::EndRead() {
    if (!m_reading) return !m_readFailed;
    const bool complete = !m_readFailed;
    FinishRead();
    return complete;
}

void CSqliteSeaTable::FinishRead() {
    sqlite3_finalize(m_select);
    m_select = nullptr;
    Execute("COMMIT");
    m_reading = false;
}
