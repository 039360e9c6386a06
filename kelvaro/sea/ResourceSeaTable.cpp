// Kelvaro: exporting a sea to a table and importing it back, one row per
// line. The table itself is the module's (CResSeaTableInterface); this side
// only decides which rows a sea makes and what rows make of a sea.
#include <memory>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/sea/ResSeaTableInterface.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/sea/SeaReport.h"

using kelvaro::seareport::kStyleReading;
using kelvaro::seareport::Report;

bool CResourceSea::SaveToTable(CResSeaTableInterface* table) {
    if (table == nullptr || !table->BeginWrite()) return false;
    try {
        for (const CResourceEntry* entry : m_lines) {
            // Unlike the file writer, bad lines are kept: a table is not read
            // back by the line parser, so they do no harm there.
            if (m_sedimentFilter && !entry->Accessed()) continue;
            entry->WriteToTable(table);
        }
    } catch (...) {
        // A line that cannot be rebuilt ends the export without EndWrite: the
        // table never sees a partial export as finished.
        m_sedimentFilter = false;
        throw;
    }
    // The table's answer counts: a table that failed to store the rows must
    // not be reported as written.
    const bool written = table->EndWrite();
    m_sedimentFilter = false;
    return written;
}

bool CResourceSea::ReadFromTable(CResSeaTableInterface* table, bool merge) {
    PurgeDataBase();
    if (table == nullptr || !table->BeginRead()) return false;
    do {
        auto entry = std::make_unique<CResourceEntry>(m_reservoir, 0u, nullptr);
        try {
            entry->ReadFromTable(table);
        } catch (const CResourceSeaException& error) {
            if (table->CurrentLineListCounter() != 0)
                Report(kStyleReading, L"%s Sea\nSyntax error in table line %s [%d]: %s\n%s\n", m_name.GetString(),
                       table->CurrentLineName(), static_cast<int>(table->CurrentLineListCounter()),
                       table->CurrentLineVals(), error.m_message.GetString());
            else
                Report(kStyleReading, L"%s Sea\nSyntax error in table line %s: %s\n%s\n", m_name.GetString(),
                       table->CurrentLineName(), table->CurrentLineVals(), error.m_message.GetString());
        }

        if (entry->IsComment()) {
            if (!merge) AppendLine(entry.release());
            continue;
        }
        CResourceEntry* present = GetEntry(entry->Name());
        if (present == nullptr) {
            AppendIndexed(entry.release());
        } else if (merge) {
            if (entry->IsListEntry()) {
                try {
                    *present += *entry;
                } catch (const CResourceSeaException& error) {
                    Report(kStyleReading, L"%s Sea\nSyntax error in table line %s / %s:\n%s\n", m_name.GetString(),
                           entry->Name().GetString(), present->Name().GetString(), error.m_message.GetString());
                }
            } else {
                *present = *entry;
            }
        } else {
            CString line;
            try {
                if (present->m_rebuildLine) present->SeeZeileErneuern();
            } catch (const CResourceSeaException&) {
                // Too long to rebuild: the report shows the line as it stands.
            }
            line = present->m_line;
            Report(kStyleReading, L"%s Sea\nDuplicate identifier in line '%s' (second will be ignored):\n%s\n%s\n",
                   m_name.GetString(), table->CurrentLineName(), line.GetString(), table->CurrentLineVals());
        }
    } while (table->NextTableLine());
    // The table's answer counts: an import that stopped at a read error is incomplete.
    return table->EndRead();
}
