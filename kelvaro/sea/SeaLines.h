// CSeaLines: the lines of a sea in file order, as CResourceSea keeps them.
// Taking a line out does not close the gap at once: the line is noted and
// the gaps are closed in one pass the next time the lines are walked or
// indexed. Deleting many entries one by one then costs one pass over the
// sea, not one per entry. Appending never waits for that pass.
//
// The list owns the lines taken out until that pass deletes them; the lines
// still in it belong to the sea. Not thread-safe, like the sea.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "kelvaro/platform/FastVector.h"

class CResourceEntry;

class CSeaLines {
public:
    CSeaLines() = default;
    // Deletes the lines taken out and not yet collected; the others are the sea's.
    ~CSeaLines();
    CSeaLines(const CSeaLines&) = delete;
    CSeaLines& operator=(const CSeaLines&) = delete;

    // Lines still in the list, without collecting.
    unsigned size() const noexcept { return m_lines.size() - static_cast<unsigned>(m_removed.size()); }
    bool empty() const noexcept { return size() == 0; }

    // Walking or indexing first closes the gaps. Pointers stay valid as long
    // as nothing is appended.
    CResourceEntry* const* begin() const { Collect(); return m_lines.begin(); }
    CResourceEntry* const* end() const { Collect(); return m_lines.end(); }
    CResourceEntry* operator[](unsigned index) const { Collect(); return m_lines[index]; }
    CResourceEntry* back() const { Collect(); return m_lines.back(); }

    // Throws std::bad_alloc when the list cannot grow; the entry is not owned then.
    void push_back(CResourceEntry* entry) { m_lines.push_back(entry); }

    // Takes out `entry`, which must be a line of the list not taken out
    // before, and deletes it no later than the next walk. Throws
    // std::bad_alloc (nothing changes) when it cannot be noted.
    void Remove(CResourceEntry* entry);
    // Where `entry` stands, or -1 when it is no line of the list (one pass).
    long long IndexOf(const CResourceEntry* entry) const;
    // Takes out and deletes the line at `index` at once (one pass).
    void EraseAt(unsigned index);
    // Deletes the lines taken out and forgets the others (the sea deletes those).
    void clear();

    // Lines looked at or moved by collecting and searching since the list
    // was made: tests check that deleting stays one pass however many go.
    std::uint64_t Steps() const noexcept { return m_steps; }

private:
    void Collect() const;

    mutable FastVector<CResourceEntry*> m_lines;
    mutable std::unordered_set<const CResourceEntry*> m_removed;
    mutable std::uint64_t m_steps = 0;
};
