// The sea's lines one by one: read-only views for tools that display a sea,
// and the entries of compact lines, made when first asked for.
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/sea/ResourceSea.h"

void CResourceSea::ParseCompact(CResourceEntry& entry, const CSeaLine& line) {
    std::wstring scratch;
    // A compact line was a clean blank or comment line: it parses again the same.
    entry = line.Text(scratch);
    entry.SetReadLineEnd(line.ReadLineEnd());
}

CResourceEntry* CResourceSea::EntryAt(unsigned index) const {
    const CSeaLine line = m_lines[index];
    if (!line.IsCompact()) return line.Entry();
    std::unique_ptr<CResourceEntry> entry(CResourceEntry::NewInArena(m_reservoir, 0u));
    ParseCompact(*entry, line);
    m_lines.Replace(index, entry.get());
    return entry.release();
}

void CResourceSea::VisitLines(const std::function<void(const CResourceEntry&)>& visit) const {
    std::unique_ptr<CResourceEntry> scratch;
    for (const CSeaLine& line : m_lines) {
        if (!line.IsCompact()) {
            visit(*line.Entry());
            continue;
        }
        if (!scratch) scratch = std::make_unique<CResourceEntry>(m_reservoir, 0u, nullptr);
        ParseCompact(*scratch, line);
        visit(*scratch);
    }
}

const CResourceEntry* CResourceSea::LineAt(unsigned index) const {
    return index < m_lines.size() ? EntryAt(index) : nullptr;
}

const CResourceEntry* CResourceSea::FindEntry(const wchar_t* name) const {
    return GetEntry(name);
}
