// List entries: reading the lines of a list from a sea file, adding lines,
// writing a list back and appending one list to another.
#include "kelvaro/entry/ResourceEntry.h"

#include <memory>
#include <string>

#include "kelvaro/platform/UnicodeFile.h"

namespace {

enum ListLineMode : int { kAppend = 14, kPrepend = 15, kInsertAfter = 16, kInsertBefore = 18 };

}  // namespace

int CResourceEntry::ReadListLines(CUnicodeFile& file, bool append, int* linesConsumed) {
    int count = 0;
    try {
        ReadListLinesImpl(file, append, count);
    } catch (...) {
        if (linesConsumed != nullptr)
            *linesConsumed = count;
        throw;
    }
    if (linesConsumed != nullptr)
        *linesConsumed = count;
    return count;
}

int CResourceEntry::ReadListLinesImpl(CUnicodeFile& file, bool append, int& count) {
    if (!IsListEntry())
        throw CResourceSeaException(L"trying to read list lines from non-list entry!", 4);
    if (!append)
        SubListeLoeschen(false);

    auto buffer = std::make_unique<wchar_t[]>(MaxReadLineLength);
    auto readLine = [&]() -> bool {
        if (!file.ReadNextLine(buffer.get(), MaxReadLineLength))
            return false;
        ++count;
        if (file.m_lineTooLong)
            throw CResourceSeaException::Formatted(1, L"Max. line length %d exceeded",
                                                   static_cast<int>(MaxReadLineLength));
        return true;
    };

    for (;;) {
        if (!readLine())
            throw CResourceSeaException(L"List not terminated ('}' missing)", 2);
        auto line = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
        try {
            *line = buffer.get();
        } catch (const CResourceSeaException&) {
            // Keep the faulty line (a comment now, its text intact) and
            // recover the rest of the list as comment lines up to its "}"
            // line, so that nothing of the file is lost and reading goes on
            // after the list.
            m_listLines.AddTail(line.get());
            line.release();
            while (readLine()) {
                if (*NextNonSpace(buffer.get()) == L'}')
                    break;  // the generated end line below takes its place
                auto kept = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
                if (*NextNonSpace(buffer.get()) == L';')
                    *kept = buffer.get();
                else
                    kept->SetToComment(buffer.get());
                m_listLines.AddTail(kept.get());
                kept.release();
            }
            ListenendeErzeugen();
            throw;
        }
        if (line->IsListEnd()) {
            if (append)
                return count;  // the list keeps its own end line
            delete m_listEnd;
            m_listEnd = line.release();
            return count;
        }
        m_listLines.AddTail(line.get());
        line.release();
    }
}

CResourceEntry* CResourceEntry::AddListLine(int mode, POSITION pos) {
    if (!IsListEntry())
        return nullptr;
    if (mode != kAppend && mode != kPrepend && mode != kInsertAfter && mode != kInsertBefore)
        throw CResourceSeaException::Formatted(4, L"%s: tried to add list line with mode = %d.",
                                               Name().GetString(), mode);
    auto line = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
    switch (mode) {
    case kAppend:
        m_listLines.AddTail(line.get());
        break;
    case kPrepend:
        m_listLines.AddHead(line.get());
        break;
    case kInsertAfter:
        m_listLines.InsertAfter(pos, line.get());  // null: at the end
        break;
    default:
        m_listLines.InsertBefore(pos, line.get());  // null: in front
        break;
    }
    SetModified();
    return line.release();
}

CResourceEntry* CResourceEntry::AddListLine(const wchar_t* text, int mode) {
    if (!IsListEntry())
        return nullptr;
    auto owned = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
    CResourceEntry* line = owned.get();
    if (mode == kPrepend)
        m_listLines.AddHead(line);
    else
        m_listLines.AddTail(line);
    owned.release();
    // The list has changed even when the text does not parse (the line stays
    // in it as a comment), so it is marked before the text is given.
    SetModified();
    *line = text;
    return line;
}

CResourceEntry* CResourceEntry::AddListLine(const CResourceEntry& line, POSITION pos) {
    if (!IsListEntry())
        return nullptr;
    auto copy = std::make_unique<CResourceEntry>(line);
    copy->m_status |= StatusListLine;
    m_listLines.InsertAfter(pos, copy.get());  // null: at the end
    SetModified();
    return copy.release();
}

bool CResourceEntry::WriteToSeaFile(CUnicodeFile& file) const {
    if (m_rebuildLine)
        SeeZeileErneuern();
    if (!file.WriteLine(m_line))
        return false;
    if (!IsListEntry())
        return true;
    for (POSITION pos = m_listLines.GetHeadPosition(); pos != nullptr;)
        if (!NextListenZeile(pos)->WriteToSeaFile(file))
            return false;
    if (m_listEnd != nullptr)
        return m_listEnd->WriteToSeaFile(file);
    // A list head parsed without its lines (or whose reading failed before
    // its end) still gets a closing line: an unterminated list would swallow
    // the lines after it when the file is read again.
    CResourceEntry end(m_reservoir, StatusListLine | StatusListEnd, nullptr);
    end.SetName(Name());
    return end.WriteToSeaFile(file);
}

CResourceEntry& CResourceEntry::operator+=(const CResourceEntry& other) {
    if (!IsListEntry() || !other.IsListEntry())
        throw CResourceSeaException(L"Illegal list concatenation", 2);
    // Counted first: appending a list to itself must copy its lines once,
    // not chase its own growing tail.
    int remaining = other.m_listLines.GetCount();
    for (POSITION pos = other.m_listLines.GetHeadPosition(); pos != nullptr && remaining > 0; --remaining) {
        const CResourceEntry* source = other.NextListenZeile(pos);
        auto line = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
        *line = *source;
        m_listLines.AddTail(line.get());
        line.release();
    }
    SetAccessed();
    return *this;
}
