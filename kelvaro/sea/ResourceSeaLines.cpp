// Read-only views of a sea's lines for tools that display a sea.
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/sea/ResourceSea.h"

const CResourceEntry* CResourceSea::LineAt(unsigned index) const {
    return index < m_lines.size() ? m_lines[index] : nullptr;
}

const CResourceEntry* CResourceSea::FindEntry(const wchar_t* name) const {
    return GetEntry(name);
}
