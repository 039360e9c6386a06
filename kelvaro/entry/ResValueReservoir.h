// CResValueReservoir: the per-sea recycler of value buffers. Each sea owns one;
// its entries take a buffer for every value text and give it back when the
// value goes, so thousands of short values do not reach the system allocator.
// It also holds the arena the sea's reader makes its entries in.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "kelvaro/entry/SeaArena.h"

// A zero-terminated wide buffer (first) and its capacity in wide characters,
// terminator included (second): the pair an entry keeps per value. A plain
// aggregate rather than std::pair, whose assignment is not trivial, so that
// the entries' FastVector may move it as raw memory.
class CResourceEntry;

struct ResValueBuffer {
    wchar_t* first;
    unsigned second;
};

class CResValueReservoir {
public:
    using Buffer = ResValueBuffer;

    // Size class of short values (up to 15 characters).
    static constexpr unsigned SmallCapacity = 16;

    // Starts with `count` ready buffers of 16 characters; the large list empty.
    explicit CResValueReservoir(unsigned count);
    // Frees every buffer held in the free lists; lent buffers are the
    // borrowers' to free (FreeBuffer).
    ~CResValueReservoir();
    CResValueReservoir(const CResValueReservoir&) = delete;
    CResValueReservoir& operator=(const CResValueReservoir&) = delete;

    // A buffer of capacity >= need (need = text length + 1). Needs up to 16
    // get capacity 16; larger needs are rounded up to a multiple of 16 and
    // served exact-size first, else by the first larger free buffer, else
    // fresh. Throws std::bad_alloc when memory runs out.
    Buffer Take(unsigned need) {
        // Short values are the common case: one pop, inline.
        if (need <= SmallCapacity && !m_small.empty()) {
            Buffer b = m_small.back();
            m_small.pop_back();
            return b;
        }
        return TakeSlow(need);
    }
    // Keeps the buffer for reuse; a pair with a null buffer is ignored. Never
    // throws: when a free list cannot grow the buffer is freed instead.
    void GiveBack(Buffer buffer) noexcept {
        if (buffer.second == SmallCapacity && buffer.first != nullptr && m_small.size() < m_small.capacity()) {
            m_small.push_back(buffer);
            return;
        }
        GiveBackSlow(buffer);
    }

    // The capacity Take gives a fresh buffer for `need`: 16, or need rounded
    // up to a multiple of 16. Throws std::bad_alloc when that overflows.
    static unsigned RoundedCapacity(unsigned need);
    // A fresh buffer of RoundedCapacity(need), outside any reservoir; its text is empty.
    static Buffer AllocateBuffer(unsigned need);
    // Frees a buffer directly (entries do so when they are destroyed).
    static void FreeBuffer(Buffer buffer) noexcept;

    // Bulk memory for entries and their first lines (see CSeaArena).
    CSeaArena& Arena() noexcept { return m_arena; }
    const CSeaArena& Arena() const noexcept { return m_arena; }

    // Where the sea's entries tell its index that a name changed (the entry,
    // and the hash it was filed under). Never throws: when the note cannot
    // be kept, the index is told to file every entry again instead.
    struct Renamed {
        const CResourceEntry* entry;
        std::size_t oldHash;
    };
    void NoteRenamed(const CResourceEntry* entry, std::size_t oldHash) noexcept {
        try {
            m_renamed.push_back({entry, oldHash});
        } catch (...) {
            m_renamesLost = true;
        }
    }
    bool HasRenames() const noexcept { return m_renamesLost || !m_renamed.empty(); }
    // The notes so far, and whether some were lost; both are reset.
    std::vector<Renamed> TakeRenames(bool& lost) noexcept {
        lost = m_renamesLost;
        m_renamesLost = false;
        return std::exchange(m_renamed, {});
    }

    // Free-list sizes, for tests and statistics.
    unsigned SmallCount() const { return static_cast<unsigned>(m_small.size()); }
    unsigned LargeCount() const { return static_cast<unsigned>(m_large.size()); }
    // Capacity of the large list at index i (tests check the search order).
    unsigned LargeCapacityAt(unsigned i) const { return m_large[i].second; }

private:
    Buffer TakeSlow(unsigned need);
    void GiveBackSlow(Buffer buffer) noexcept;
    static void Append(std::vector<Buffer>& list, Buffer buffer);

    std::vector<Buffer> m_small;  // capacity 16 only
    std::vector<Buffer> m_large;  // any other capacity, a multiple of 16
    CSeaArena m_arena;
    std::vector<Renamed> m_renamed;
    bool m_renamesLost = false;
};
