// Kelvaro: one entry's rows in a table (export and import). The sea walks its
// lines and hands each entry the table; a list entry reads or writes all rows
// of its list, the closing row included.
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ValueGrammar.h"
#include "kelvaro/entry/ResSeaTableInterface.h"

namespace {

// A row's text may hold line ends, which would split the line in a sea file;
// they get the stand-ins that value texts carry for them anyway.
std::wstring WithoutLineEnds(std::wstring_view text) {
    return kelvaro::grammar::LineEndsAsStandIns(std::wstring(text));
}

}  // namespace

void CResourceEntry::WriteToTable(CResSeaTableInterface* table) const {
    if (m_rebuildLine)
        SeeZeileErneuern();
    if (IsListEntry()) {
        unsigned counter = 0;
        for (POSITION pos = m_listLines.GetHeadPosition(); pos != nullptr;) {
            const CResourceEntry* line = NextListenZeile(pos);
            if (line->m_rebuildLine)
                line->SeeZeileErneuern();
            // A comment inside a list keeps its ';' (and a bad line its whole
            // text): a list row is read back as a list line, and its bare text
            // would otherwise come back as values.
            line->MakeWide();
            const wchar_t* text = line->IsComment() ? line->NextNonSpace(line->m_line.wide) : line->m_valuePart.wide;
            table->WriteTableLine(Name().GetString(), text, ++counter);
        }
        table->WriteTableLine(Name().GetString(), L"}", counter + 1);
        return;
    }
    if (IsComment()) {
        // A plain comment's value part is its text. A commented-out entry
        // (with a name) and a line that failed to parse give the whole line,
        // so that nothing of them is lost.
        MakeWide();
        const wchar_t* text = m_valuePart.wide;
        if (SyntaxError() || !Name().IsEmpty()) {
            text = NextNonSpace(m_line.wide);
            if (*text == L';')
                text = NextNonSpace(text + 1);
        }
        table->WriteTableLine(L";", text, 0);
        return;
    }
    std::wstring narrow;
    table->WriteTableLine(Name().GetString(), ValuePartText(narrow), 0);
}

void CResourceEntry::ReadFromTable(CResSeaTableInterface* table) {
    const NameWatch watch(*this);
    ClearContents(false, false);
    m_status = 0;
    CString name(table->CurrentLineName());
    name.Trim();
    SetName(name);
    m_rebuildLine = true;
    // A row without a usable name cannot head an entry or a list: it stays as
    // a comment, whatever its counter says.
    const bool named = !Name().IsEmpty() && Name()[0] != L';';

    if (named && table->CurrentLineListCounter() != 0) {
        m_status |= StatusListEntry;
        SubListeLoeschen(false);
        // A bad line is kept (as the file reader keeps it) and the rest of the
        // list is still read, so that its rows do not come back as a second
        // list of the same name; the first error is thrown at the end.
        std::optional<CResourceSeaException> firstError;
        while (*NextNonSpace(table->CurrentLineVals()) != L'}') {
            auto line = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
            const std::wstring text = WithoutLineEnds(table->CurrentLineVals());
            try {
                *line = text.c_str();
            } catch (const CResourceSeaException& error) {
                if (!firstError)
                    firstError = error;
            }
            // A parsed comment holds its text in the line only: rebuilding
            // it would lose the text.
            if (!line->IsComment())
                line->m_rebuildLine = true;
            m_listLines.AddTail(line.get());
            line.release();
            if (!table->NextTableLine()) {
                // Closed here, so that the list is written back whole.
                ListenendeErzeugen();
                throw CResourceSeaException(L"List not terminated ('}' missing)", 2);
            }
        }
        ListenendeErzeugen();
        if (firstError)
            throw *firstError;
        return;
    }

    if (named) {
        const std::wstring values(table->CurrentLineVals());
        m_valuePart.wide = values.c_str();
        try {
            ZeileWerteZerlegen();
        } catch (const CResourceSeaException&) {
            // As the file reader leaves a bad line: kept as a comment with the
            // text it came from, written back unchanged.
            const std::wstring line = WithoutLineEnds(Name().Str() + L":\t" + values);
            StoreLine(line.c_str(), static_cast<unsigned>(line.size()));
            m_valuePart.wide = m_line.wide + (Name().GetLength() + 2);
            m_rebuildLine = false;
            m_status |= StatusSyntaxError | StatusComment | StatusAccessed;
            throw;
        } catch (...) {
            m_valuePart.wide = g_leereZeile;  // never left pointing at the local text
            throw;
        }
        m_valuePart.wide = g_leereZeile;
        return;
    }

    // A comment: its text is value 0. Trailing white space goes, since the
    // rebuilt line adds a blank that would otherwise grow with every round trip.
    CString text(table->CurrentLineVals());
    text.TrimRight();
    InhalteLoeschen(false);
    m_status = StatusComment | StatusAccessed;
    m_values.reserve(1);  // the buffer taken next cannot be lost to a failed push_back
    const ValueBuffer buffer = TakeValueBuffer(static_cast<unsigned>(text.GetLength()) + 1);
    std::wmemcpy(buffer.first, text.GetString(), static_cast<std::size_t>(text.GetLength()) + 1);
    m_values.push_back(buffer);
}
