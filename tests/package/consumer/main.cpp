// An outside program that sees only the installed umbrella header.
#include "kelvaro/Kelvaro.h"

#include <cstdio>

#ifdef CONSUMER_HAS_POSTGRES
#include "kelvaro_postgres/PostgresTable.h"
#endif

int main()
{
    CString text(L"installed");
    text += L" package";
    if (text != CString(L"installed package"))
        return 1;
#ifdef CONSUMER_HAS_POSTGRES
    // No server listens in an empty folder: the table says so.
    CPostgresSeaTable table(L"postgresql://%2Fnonexistent/db");
    if (table.IsOpen() || table.LastError().IsEmpty())
        return 1;
#endif
    std::printf("consumer: %ls\n", text.GetString());
    return 0;
}
