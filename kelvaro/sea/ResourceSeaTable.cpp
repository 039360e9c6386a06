// Kelvaro: exporting a sea to a table and importing it back, one row per
// line. The table itself is the module's (CResSeaTableInterface); this side
// only decides which rows a sea makes and what rows make of a sea.
#include <memory>
#include <string>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/entry/ResSeaTableInterface.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/sea/SeaReport.h"

using kelvaro::seareport::kStyleReading;
using kelvaro::seareport::Report;
using Kind = kelvaro::SeaProblem::Kind;

namespace {

// The rows of an import, counted as they go by, so that a report can say
// which row it is about: the rows of a list are taken by the entry, out of
// the sea's sight.
class CountedRows final : public CResSeaTableInterface {
public:
    explicit CountedRows(CResSeaTableInterface& rows) : m_rows(rows) {}
    unsigned Row() const { return m_row; }

    bool BeginWrite() override { return false; }
    void WriteTableLine(const wchar_t*, const wchar_t*, unsigned) override {}
    bool EndWrite() override { return false; }

    bool BeginRead() override {
        m_row = 0;
        return m_rows.BeginRead() && Take();
    }
    // Every call goes through, also after the end: the table answers them.
    bool NextTableLine() override { return m_rows.NextTableLine() && Take(); }
    bool EndRead() override { return m_rows.EndRead(); }

private:
    bool Take() {
        SetCurrentLine(m_rows.CurrentLineName(), m_rows.CurrentLineVals(), m_rows.CurrentLineListCounter());
        ++m_row;
        return true;
    }

    CResSeaTableInterface& m_rows;
    unsigned m_row = 0;
};

// A comment row has no name of its own: the export writes ";", and a row
// without any name is read as a comment too, which keeps its text.
bool IsCommentRow(const wchar_t* name) {
    CString trimmed(name);
    trimmed.Trim();
    return trimmed.IsEmpty() || trimmed == L";";
}

// A name for a report: its line ends shown as \n and \r, so that the report
// cannot seem to hold lines the row did not have.
std::wstring Shown(const wchar_t* name) {
    std::wstring out;
    for (; *name != L'\0'; ++name) {
        if (*name == L'\n')
            out += L"\\n";
        else if (*name == L'\r')
            out += L"\\r";
        else
            out += *name;
    }
    return out;
}

}  // namespace

bool CResourceSea::SaveToTable(CResSeaTableInterface* table) {
    if (table == nullptr || !table->BeginWrite()) return false;
    try {
        VisitLines([this, table](const CResourceEntry& entry) {
            // Unlike the file writer, bad lines are kept: a table is not read
            // back by the line parser, so they do no harm there.
            if (!m_sedimentFilter || entry.Accessed()) entry.WriteToTable(table);
        });
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

bool CResourceSea::ReadFromTable(CResSeaTableInterface* source, bool merge) {
    PurgeDataBase();
    m_problems.clear();
    if (source == nullptr) return false;
    const std::wstring origin = m_name.Str() + L" Sea";
    CountedRows rows(*source);
    CResSeaTableInterface* const table = &rows;
    // A table merged in adds the lines of a list to the list read before.
    const PlaceRule rule{merge, false, true, true};
    if (!table->BeginRead()) return false;
    do {
        // A name the sea could not write back as itself would come back as
        // other lines (a section marker, a comment, a list end, a line of its
        // own): the row is not placed, and the report keeps what it held.
        if (!IsCommentRow(table->CurrentLineName())) {
            const CString problem = CResourceEntry::NameProblem(table->CurrentLineName());
            if (!problem.IsEmpty()) {
                const std::wstring shown = Shown(table->CurrentLineName());
                Report(&m_problems,
                       {Kind::NameRefused, origin, static_cast<int>(rows.Row()),
                        L"Name refused: '" + shown + L"' " + problem.Str(), table->CurrentLineVals()},
                       kStyleReading, L"%s Sea\nName refused in table row %u: '%s' %s\n%s\n", m_name.GetString(),
                       rows.Row(), shown.c_str(), problem.GetString(), table->CurrentLineVals());
                continue;
            }
        }
        auto entry = std::make_unique<CResourceEntry>(m_reservoir, 0u, nullptr);
        try {
            entry->ReadFromTable(table);
        } catch (const CResourceSeaException& error) {
            m_problems.push_back({Kind::Syntax, origin, static_cast<int>(rows.Row()),
                                  L"Syntax error: " + error.m_message.Str(),
                                  std::wstring(table->CurrentLineName()) + L": " + table->CurrentLineVals()});
            if (table->CurrentLineListCounter() != 0)
                Report(nullptr, {}, kStyleReading, L"%s Sea\nSyntax error in table line %s [%d]: %s\n%s\n", m_name.GetString(),
                       table->CurrentLineName(), static_cast<int>(table->CurrentLineListCounter()),
                       table->CurrentLineVals(), error.m_message.GetString());
            else
                Report(nullptr, {}, kStyleReading, L"%s Sea\nSyntax error in table line %s: %s\n%s\n", m_name.GetString(),
                       table->CurrentLineName(), table->CurrentLineVals(), error.m_message.GetString());
        }

        CResourceEntry* present = entry->IsComment() ? nullptr : GetEntry(entry->Name());
        Placed placed = Placed::Dropped;
        try {
            placed = Place(entry, present, rule);
        } catch (const CResourceSeaException& error) {
            // Adding a list's lines to the one read before is reported;
            // anything else that fails here ends the reading as before.
            if (present == nullptr || !entry->IsListEntry()) throw;
            Report(&m_problems,
                   {Kind::ListSyntax, origin, static_cast<int>(rows.Row()),
                    L"Syntax error in resource list: " + entry->Name().Str() + L": " + error.m_message.Str(), {}},
                   kStyleReading, L"%s Sea\nSyntax error in table line %s / %s:\n%s\n", m_name.GetString(),
                   entry->Name().GetString(), present->Name().GetString(), error.m_message.GetString());
            continue;
        }
        if (placed == Placed::Duplicate)
            Report(&m_problems,
                   {Kind::Duplicate, origin, static_cast<int>(rows.Row()), L"Duplicate identifier (second will be ignored)",
                    std::wstring(table->CurrentLineName()) + L": " + table->CurrentLineVals()},
                   kStyleReading, L"%s Sea\nDuplicate identifier in line '%s' (second will be ignored):\n%s\n%s\n",
                   m_name.GetString(), table->CurrentLineName(), PresentText(*present), table->CurrentLineVals());
    } while (table->NextTableLine());
    // The table's answer counts: an import that stopped at a read error is incomplete.
    return table->EndRead();
}
