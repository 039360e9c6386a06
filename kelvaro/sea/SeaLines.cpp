// The sea's line list: deletes noted, gaps closed in one pass when the lines are next walked.
#include "kelvaro/sea/SeaLines.h"

#include "kelvaro/entry/ResourceEntry.h"

CSeaLines::~CSeaLines() {
    Collect();
}

void CSeaLines::Remove(CResourceEntry* entry) {
    m_removed.insert(entry);
}

void CSeaLines::Collect() const {
    if (m_removed.empty()) return;
    unsigned kept = 0;
    const unsigned count = m_lines.size();
    for (unsigned i = 0; i < count; ++i) {
        CResourceEntry* line = m_lines[i];
        if (m_removed.count(line) != 0) {
            delete line;
        } else {
            m_lines[kept++] = line;
        }
    }
    m_steps += count;
    m_lines.erase(kept, count - kept);
    m_removed.clear();
}

long long CSeaLines::IndexOf(const CResourceEntry* entry) const {
    Collect();
    const unsigned count = m_lines.size();
    for (unsigned i = 0; i < count; ++i) {
        if (m_lines[i] == entry) {
            m_steps += i + 1;
            return i;
        }
    }
    m_steps += count;
    return -1;
}

void CSeaLines::EraseAt(unsigned index) {
    Collect();
    CResourceEntry* line = m_lines[index];
    m_steps += m_lines.size() - index;
    m_lines.erase(index);
    delete line;
}

void CSeaLines::clear() {
    Collect();
    m_lines.clear();
}
