// Kelvaro PostgreSQL companion: a sea table in a PostgreSQL database.
#include "kelvaro_postgres/PostgresTable.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string_view>

#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/Utf.h"

namespace {

constexpr unsigned kStyleRead = 3;   // as the library's own reading problems
constexpr unsigned kStyleWrite = 4;  // as the library's own write-back failures

// PostgreSQL cuts longer identifiers short without an error, which would
// make two long names one table.
constexpr std::size_t kMaxNameBytes = 63;
// Rows per INSERT: few round trips, far below the limit of 65535 parameters.
constexpr std::size_t kRowsPerInsert = 500;

CString Wide(std::string_view text) { return CString(kelvaro::utf8::Decode(text)); }

// A server message as one line: libpq ends its lines with "\n" and indents
// hints with tabs.
std::string OneLine(const char* text) {
    std::string out;
    bool blank = false;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        if (*p == '\n' || *p == '\t' || *p == '\r' || *p == ' ') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += *p;
    }
    return out;
}

bool StartsWith(std::wstring_view text, std::wstring_view head) { return text.substr(0, head.size()) == head; }

// The URI with the password of its user part and of a password= parameter
// replaced by "***".
std::wstring HideUriPassword(std::wstring uri) {
    const std::size_t authority = uri.find(L"://") + 3;
    const std::size_t authorityEnd = std::min(uri.find_first_of(L"/?", authority), uri.size());
    const std::size_t at = uri.rfind(L'@', authorityEnd);
    if (at != std::wstring::npos && at >= authority) {
        const std::size_t colon = uri.find(L':', authority);
        if (colon < at) uri.replace(colon + 1, at - colon - 1, L"***");
    }
    for (std::size_t p = uri.find(L'?'); p != std::wstring::npos; p = uri.find(L'&', p + 1)) {
        if (uri.compare(p + 1, 9, L"password=") != 0) continue;
        const std::size_t start = p + 10;
        const std::size_t end = std::min(uri.find(L'&', start), uri.size());
        uri.replace(start, end - start, L"***");
    }
    return uri;
}

// A key=value string rebuilt from what libpq reads in it, the password hidden.
std::wstring HideKeywordPassword(const std::string& text) {
    PQconninfoOption* options = PQconninfoParse(text.c_str(), nullptr);
    if (options == nullptr) return L"(a connection string libpq cannot read)";
    std::string shown;
    for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val == nullptr) continue;
        if (!shown.empty()) shown += ' ';
        shown += std::string(option->keyword) + "=" +
                 (std::strcmp(option->keyword, "password") == 0 ? std::string("***") : std::string(option->val));
    }
    PQconninfoFree(options);
    return kelvaro::utf8::Decode(shown);
}

bool IsConnectionUri(const wchar_t* text) {
    const std::wstring_view view(text != nullptr ? text : L"");
    return StartsWith(view, L"postgresql://") || StartsWith(view, L"postgres://");
}

void IgnoreNotice(void*, const char*) {}

}  // namespace

CPostgresSeaTable::CPostgresSeaTable(const wchar_t* connection, const wchar_t* tableName)
    : m_connection(connection), m_tableName(tableName) {
    m_shown = IsConnectionUri(connection) ? CString(HideUriPassword(m_connection.Str()))
                                          : CString(HideKeywordPassword(kelvaro::utf8::Encode(m_connection.Str())));
    m_tableUtf8 = kelvaro::utf8::Encode(m_tableName.Str());
    Connect();
}

CPostgresSeaTable::~CPostgresSeaTable() {
    PQclear(m_result);
    PQfinish(m_conn);  // the server rolls back whatever this connection left open
}

bool CPostgresSeaTable::IsOpen() const { return m_conn != nullptr && PQstatus(m_conn) == CONNECTION_OK; }

bool CPostgresSeaTable::Connect() {
    if (IsOpen()) return true;
    PQfinish(m_conn);
    const std::string connection = kelvaro::utf8::Encode(m_connection.Str());
    // Keywords before dbname are defaults the connection text may override;
    // those after it hold: the rows are exchanged as UTF-8 whatever it says.
    const char* const keywords[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char* const values[] = {"10", "kelvaro", connection.c_str(), "UTF8", nullptr};
    m_conn = PQconnectdbParams(keywords, values, 1);
    if (m_conn != nullptr && PQstatus(m_conn) == CONNECTION_OK) {
        // Notices (a table name cut short, an implicit index) would go to
        // standard error behind the application's back.
        PQsetNoticeProcessor(m_conn, IgnoreNotice, nullptr);
        return true;
    }
    m_lastError = L"cannot connect: " +
                  Wide(OneLine(m_conn != nullptr ? PQerrorMessage(m_conn) : "out of memory"));
    PQfinish(m_conn);
    m_conn = nullptr;
    return false;
}

void CPostgresSeaTable::Fail(const char* what, unsigned style, const pg_result* result) {
    if (what != nullptr) {
        std::string message = OneLine(result != nullptr ? PQresultErrorMessage(result) : PQerrorMessage(m_conn));
        const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        if (state != nullptr && std::strcmp(state, "55P03") == 0)
            message = "another export of this table holds its lock; try again later";
        else if (m_conn != nullptr && PQstatus(m_conn) == CONNECTION_BAD)
            message += std::strcmp(what, "commit") == 0
                           ? " (the connection was lost during the commit: the table holds either its old rows or"
                             " the new ones)"
                           : " (the connection was lost; the table was left as it was)";
        m_lastError = Wide(what) + L": " + Wide(message);
    }
    PrWin::Output(PrWin::LibraryMessage, static_cast<PrWin::Style>(style), L"Sea table %s in %s: %s\n",
                  m_tableName.GetString(), m_shown.GetString(), m_lastError.GetString());
}

bool CPostgresSeaTable::Run(const char* what, const std::string& sql, const std::vector<std::string>& params,
                            int status, unsigned style, pg_result** out) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const std::string& param : params) values.push_back(param.c_str());
    PGresult* result = PQexecParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                    nullptr, nullptr, 0);
    if (result == nullptr || PQresultStatus(result) != status) {
        Fail(what, style, result);
        PQclear(result);
        return false;
    }
    if (out != nullptr)
        *out = result;
    else
        PQclear(result);
    return true;
}

int CPostgresSeaTable::CheckTable(unsigned style) {
    // The table as the server resolves the quoted name: the first schema of
    // the search path that has it.
    static const char kColumns[] =
        "SELECT c.relkind, a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_class c"
        " LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped"
        " WHERE c.oid = to_regclass($1) ORDER BY a.attnum";
    PGresult* result = nullptr;
    if (!Run("check table", kColumns, {m_quotedTable}, PGRES_TUPLES_OK, style, &result)) return -1;
    const int rows = PQntuples(result);
    std::string found;
    bool table = true;
    bool fits = rows == 4;
    for (int i = 0; i < rows; ++i) {
        const std::string_view kind = PQgetvalue(result, i, 0);
        const std::string name = PQgetvalue(result, i, 1);
        const std::string type = PQgetvalue(result, i, 2);
        found += (i == 0 ? "" : ", ") + name + " " + type;
        const bool number = type == "bigint" || type == "integer";
        const bool text = type == "text" || type.starts_with("character varying");
        table = table && (kind == "r" || kind == "p");
        fits = fits && (((name == "line" || name == "listcounter") && number) ||
                        ((name == "name" || name == "vals") && text));
    }
    PQclear(result);
    if (rows == 0) return 0;
    if (table && fits) return 1;
    m_lastError = table ? L"the table has other columns than line, name, vals and listcounter (" + Wide(found) +
                              L"); it was left as it is"
                        : CString(L"the name is taken by a view or another kind of relation, not a table; it was left"
                                  L" as it is");
    Fail(nullptr, style);
    return -1;
}

void CPostgresSeaTable::Rollback() {
    if (IsOpen()) PQclear(PQexec(m_conn, "ROLLBACK"));
}

// ---- export -------------------------------------------------------------------------

bool CPostgresSeaTable::BeginWrite() {
    if (m_result != nullptr) EndRead();
    m_rows.clear();
    m_writing = false;
    m_lastError.Empty();
    if (m_tableUtf8.empty() || m_tableUtf8.size() > kMaxNameBytes) {
        m_lastError = L"a table name must have 1 to 63 bytes of UTF-8, which PostgreSQL takes whole";
        Fail(nullptr, kStyleWrite);
        return false;
    }
    if (!Connect()) {
        Fail(nullptr, kStyleWrite);
        return false;
    }
    m_writing = true;
    return true;
}

void CPostgresSeaTable::WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) {
    if (!m_writing) return;
    m_rows.push_back({kelvaro::utf8::Encode(name != nullptr ? name : L""),
                      kelvaro::utf8::Encode(values != nullptr ? values : L""), listCounter});
}

bool CPostgresSeaTable::InsertRows(std::size_t first, std::size_t count) {
    std::string sql = "INSERT INTO " + m_quotedTable + " (line, name, vals, listcounter) VALUES ";
    std::vector<std::string> params;
    params.reserve(count * 4);
    for (std::size_t i = first; i < first + count; ++i) {
        const std::size_t p = params.size();
        sql += (i == first ? "($" : ",($") + std::to_string(p + 1) + ",$" + std::to_string(p + 2) + ",$" +
               std::to_string(p + 3) + ",$" + std::to_string(p + 4) + ")";
        params.push_back(std::to_string(i + 1));
        params.push_back(m_rows[i].name);
        params.push_back(m_rows[i].values);
        params.push_back(std::to_string(m_rows[i].counter));
    }
    return Run("insert", sql, params, PGRES_COMMAND_OK, kStyleWrite);
}

bool CPostgresSeaTable::EndWrite() {
    if (!m_writing) return false;
    m_writing = false;
    if (!Connect()) {
        Fail(nullptr, kStyleWrite);
        return false;
    }
    char* quoted = PQescapeIdentifier(m_conn, m_tableUtf8.c_str(), m_tableUtf8.size());
    if (quoted == nullptr) {
        Fail("quote table name", kStyleWrite);
        return false;
    }
    m_quotedTable = quoted;
    PQfreemem(quoted);

    // Exports of one table queue on an advisory lock taken before anything
    // else, so that two first exports do not both create the table; the
    // table lock then keeps out writers that do not know the advisory one.
    // Readers are not held up: they read their snapshot.
    bool ok = Run("begin", "BEGIN", {}, PGRES_COMMAND_OK, kStyleWrite) &&
              Run("lock", "SELECT set_config('lock_timeout', $1, true)", {std::to_string(m_lockTimeout) + "ms"},
                  PGRES_TUPLES_OK, kStyleWrite) &&
              Run("lock", "SELECT pg_advisory_xact_lock(hashtext($1))", {"kelvaro sea table " + m_tableUtf8},
                  PGRES_TUPLES_OK, kStyleWrite);
    if (ok) {
        const int table = CheckTable(kStyleWrite);
        ok = table >= 0 &&
             (table == 0 ? Run("create table",
                               "CREATE TABLE " + m_quotedTable +
                                   " (line bigint PRIMARY KEY, name text NOT NULL, vals text NOT NULL,"
                                   " listcounter bigint NOT NULL)",
                               {}, PGRES_COMMAND_OK, kStyleWrite)
                         : Run("lock", "LOCK TABLE " + m_quotedTable + " IN EXCLUSIVE MODE", {}, PGRES_COMMAND_OK,
                               kStyleWrite)) &&
             Run("delete", "DELETE FROM " + m_quotedTable, {}, PGRES_COMMAND_OK, kStyleWrite);
    }
    for (std::size_t first = 0; ok && first < m_rows.size(); first += kRowsPerInsert)
        ok = InsertRows(first, std::min(kRowsPerInsert, m_rows.size() - first));
    m_rows.clear();
    if (!ok) {
        Rollback();
        return false;
    }
    return Run("commit", "COMMIT", {}, PGRES_COMMAND_OK, kStyleWrite);
}

// ---- import -------------------------------------------------------------------------

bool CPostgresSeaTable::BeginRead() {
    m_writing = false;
    m_rows.clear();
    PQclear(m_result);
    m_result = nullptr;
    m_readFailed = true;
    m_lastError.Empty();
    if (!Connect()) {
        Fail(nullptr, kStyleRead);
        return false;
    }
    char* quoted = PQescapeIdentifier(m_conn, m_tableUtf8.c_str(), m_tableUtf8.size());
    if (quoted == nullptr) {
        Fail("quote table name", kStyleRead);
        return false;
    }
    m_quotedTable = quoted;
    PQfreemem(quoted);
    // One snapshot for the check and the rows: an export that commits
    // meanwhile is seen whole or not at all.
    if (!Run("begin import", "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", {}, PGRES_COMMAND_OK, kStyleRead))
        return false;
    const int table = CheckTable(kStyleRead);
    PGresult* rows = nullptr;
    const bool read =
        table > 0 && Run("read", "SELECT name, vals, listcounter FROM " + m_quotedTable + " ORDER BY line", {},
                         PGRES_TUPLES_OK, kStyleRead, &rows);
    Rollback();  // nothing to keep: the transaction only read
    // A table that is not there is an empty one; an import does not create it.
    if (table == 0) {
        m_readFailed = false;
        m_lastError = L"there is no table " + CString(m_tableName) + L" in the database";
    }
    if (!read) return false;
    m_readFailed = false;
    m_result = rows;
    m_nextRow = 0;
    if (!NextTableLine()) {
        // Nothing to import: the sea does not call EndRead.
        EndRead();
        return false;
    }
    return true;
}

bool CPostgresSeaTable::NextTableLine() {
    if (m_result == nullptr || m_nextRow >= PQntuples(m_result)) return false;
    const int row = m_nextRow++;
    const char* counterText = PQgetvalue(m_result, row, 2);
    char* end = nullptr;
    const long long counter = std::strtoll(counterText, &end, 10);
    // A counter outside the unsigned range cannot come from an export; it is
    // read as 0 so that the row is at least an ordinary one.
    SetCurrentLine(kelvaro::utf8::Decode(PQgetvalue(m_result, row, 0)).c_str(),
                   kelvaro::utf8::Decode(PQgetvalue(m_result, row, 1)).c_str(),
                   counter < 0 || counter > 0xFFFFFFFFll ? 0u : static_cast<unsigned>(counter));
    return true;
}

bool CPostgresSeaTable::EndRead() {
    PQclear(m_result);
    m_result = nullptr;
    return !m_readFailed;
}
