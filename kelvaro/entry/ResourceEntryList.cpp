// List entries: reading the lines of a list from a sea file, adding lines,
// writing a list back and appending one list to another.
#include "kelvaro/entry/ResourceEntry.h"

#include <cwchar>
#include <memory>
#include <string>

#include "kelvaro/platform/UnicodeFile.h"

namespace {

enum ListLineMode : int { kAppend = 14, kPrepend = 15, kInsertAfter = 16, kInsertBefore = 18 };

}  // namespace

int CResourceEntry::ReadListLines(CUnicodeFile& file, bool append, int* linesConsumed, ListLineSink* sink) {
    int count = 0;
    try {
        ReadListLinesImpl(file, append, count, sink);
    } catch (...) {
        if (linesConsumed != nullptr)
            *linesConsumed = count;
        throw;
    }
    if (linesConsumed != nullptr)
        *linesConsumed = count;
    return count;
}

int CResourceEntry::ReadListLinesImpl(CUnicodeFile& file, bool append, int& count, ListLineSink* sink) {
    if (!IsListEntry())
        throw CResourceSeaException(L"trying to read list lines from non-list entry!", 4);
    if (!append)
        SubListeLoeschen(false);

    auto buffer = std::make_unique<wchar_t[]>(MaxReadLineLength);
    auto readLine = [&]() -> bool {
        if (!file.ReadNextLine(buffer.get(), MaxReadLineLength))
            return false;
        ++count;
        if (file.m_lineTooLong && sink == nullptr)
            throw CResourceSeaException::Formatted(1, L"Max. line length %d exceeded",
                                                   static_cast<int>(MaxReadLineLength));
        return true;
    };
    auto placed = [&](CResourceEntry& line) {
        if (sink != nullptr)
            sink->LinePlaced(line, count);
    };
    auto addLine = [&](std::unique_ptr<CResourceEntry> line) {
        m_listLines.AddTail(line.get());
        placed(*line.release());
    };

    for (;;) {
        if (!readLine())
            throw CResourceSeaException(L"List not terminated ('}' missing)", 2);
        auto line = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
        if (file.m_lineTooLong) {
            // Only its first part was read: kept as it is, the sink gives the whole line back.
            line->KeepAsComment(buffer.get());
            addLine(std::move(line));
            continue;
        }
        try {
            *line = buffer.get();
        } catch (const CResourceSeaException&) {
            // Keep the faulty line (a comment now, its text intact) and
            // recover the rest of the list as comment lines up to its "}"
            // line, so that nothing of the file is lost and reading goes on
            // after the list. Every line keeps its text, so the file is
            // written back as it was read.
            addLine(std::move(line));
            while (readLine()) {
                auto kept = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
                if (*NextNonSpace(buffer.get()) == L'}' && !file.m_lineTooLong) {
                    kept->KeepAsComment(buffer.get());
                    kept->m_status = (kept->m_status & kLineEndBits) | StatusListLine | StatusListEnd | StatusAccessed;
                    kept->SetName(Name());
                    placed(*kept);
                    if (append) {
                        if (sink != nullptr)
                            sink->ContinuationEnd(std::move(kept));
                    } else {
                        m_listLines.SetEnd(std::move(kept));
                    }
                    throw;
                }
                kept->KeepAsComment(buffer.get());
                addLine(std::move(kept));
            }
            if (!append)
                ListenendeErzeugen();
            throw;
        }
        if (line->IsListEnd()) {
            if (append) {
                // The list keeps its own end line.
                if (sink != nullptr) {
                    placed(*line);
                    sink->ContinuationEnd(std::move(line));
                }
                return count;
            }
            m_listLines.SetEnd(std::move(line));
            placed(*m_listLines.End());
            return count;
        }
        addLine(std::move(line));
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
    std::wstring narrow;
    if (!file.WriteLine(LineText(narrow)))
        return false;
    if (!IsListEntry())
        return true;
    for (POSITION pos = m_listLines.GetHeadPosition(); pos != nullptr;)
        if (!NextListenZeile(pos)->WriteToSeaFile(file))
            return false;
    if (m_listLines.End() != nullptr)
        return m_listLines.End()->WriteToSeaFile(file);
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

void CResourceEntry::UseReservoir(CResValueReservoir* reservoir) {
    // Buffers are plain heap blocks, so any reservoir may take back what
    // another one lent.
    m_reservoir = reservoir;
    for (POSITION pos = m_listLines.GetHeadPosition(); pos != nullptr;)
        static_cast<CResourceEntry*>(m_listLines.GetNext(pos))->m_reservoir = reservoir;
    if (m_listLines.End() != nullptr) m_listLines.End()->m_reservoir = reservoir;
}

void CResourceEntry::KeepAsComment(const wchar_t* line) {
    if (line == nullptr)
        line = L"";
    m_valuesPending = false;
    StoreLine(line, static_cast<unsigned>(std::wcslen(line)));
    ClearContents(false, true);
    m_rebuildLine = false;
    m_status = (m_status & (kLineEndBits | StatusListLine)) | StatusComment | StatusAccessed;
}
