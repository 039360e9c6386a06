// SeaIndex: a sea's entries by name. The index holds the entries themselves,
// not copies of their names: a slot is one word, the entry's address with a
// tag of its name's hash in the bits above the 48 an address uses, and a
// lookup compares the name where the entry keeps it. In a large sea each
// lookup then waits on two loads, the slot and the entry, where a map of
// name strings would add its own node between them, and a million names take
// no memory beyond their slots.
//
// Open addressing with linear probing; a removed entry leaves a marker so
// that the probes of others pass over it, and markers are cleared when the
// table is next rebuilt. A POSITION stays valid while entries are removed,
// not across an insertion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kelvaro/entry/NameHash.h"
#include "kelvaro/platform/Types.h"

class CResourceEntry;

class SeaIndex {
public:
    SeaIndex() = default;
    ~SeaIndex();
    SeaIndex(const SeaIndex&) = delete;
    SeaIndex& operator=(const SeaIndex&) = delete;

    static std::size_t HashOf(std::wstring_view name) noexcept { return kelvaro::HashName(name); }

    std::size_t Count() const noexcept { return m_count; }
    bool IsEmpty() const noexcept { return m_count == 0; }
    std::size_t Capacity() const noexcept { return m_slots == nullptr ? 0 : m_mask + 1; }
    // Room for `count` entries without a rebuild. Throws std::bad_alloc,
    // the index unchanged.
    void Reserve(std::size_t count);

    // The entry named `name`, null when there is none; `hash` is HashOf(name).
    CResourceEntry* Find(std::wstring_view name, std::size_t hash) const noexcept;
    CResourceEntry* Find(std::wstring_view name) const noexcept { return Find(name, HashOf(name)); }
    // The entry filed under the name `like` has, whose hash is `hash`; `like`
    // itself need not be filed, and its line is not widened.
    CResourceEntry* FindNameOf(const CResourceEntry& like, std::size_t hash) const noexcept;
    // Whether this very entry is filed under its present name.
    bool Holds(const CResourceEntry* entry) const noexcept;
    // Starts loading the slot of `hash`, for a caller with other work to do first.
    void Prefetch(std::size_t hash) const noexcept;

    // Files `entry` under its name, whose hash is `hash`; no entry of that
    // name may be filed yet. Marks the entry indexed. Throws std::bad_alloc,
    // the index unchanged.
    void Insert(CResourceEntry* entry, std::size_t hash);
    // Takes `entry` out of the slot it has under `hash` and unmarks it;
    // false when it is not filed there.
    bool Remove(const CResourceEntry* entry, std::size_t hash) noexcept;
    bool Remove(const CResourceEntry* entry) noexcept;
    // Empties the index and keeps its table. The entries keep their mark:
    // this is for a sea about to delete them or file them again.
    void Clear() noexcept;

    // Every entry once, in no defined order; null when the index is empty.
    POSITION First() const noexcept;
    // The entry at pos, and pos moved on (null after the last one). A null
    // pos throws std::invalid_argument.
    CResourceEntry* Next(POSITION& pos) const;

private:
    using Link = std::uintptr_t;
    static constexpr Link kEmpty = 0;
    static constexpr Link kRemoved = 1;  // no entry lies at address 1
    static constexpr unsigned kTagShift = 48;
    static constexpr Link kAddressBits = (Link{1} << kTagShift) - 1;
    static_assert(sizeof(Link) == 8, "the tags need 64-bit words");

    static Link TagOf(std::size_t hash) noexcept { return static_cast<Link>(hash) & ~kAddressBits; }
    CResourceEntry* EntryOf(Link slot) const noexcept {
        return reinterpret_cast<CResourceEntry*>(m_tagged ? slot & kAddressBits : slot);
    }
    bool Live(Link slot) const noexcept { return slot > kRemoved; }
    std::size_t MaxUsed() const noexcept { return Capacity() - Capacity() / 4; }
    static std::size_t CapacityFor(std::size_t count) noexcept;
    // Moves every entry into a table of `capacity` slots, which drops the markers.
    void Rebuild(std::size_t capacity);
    void Place(Link* slots, std::size_t mask, Link slot, std::size_t hash) const noexcept;
    std::size_t NextLive(std::size_t from) const noexcept;
    // The first filed entry under `hash` for which same(entry) holds.
    template <class Same>
    CResourceEntry* Probe(std::size_t hash, Same same) const noexcept;

    static Link* AllocateSlots(std::size_t count, bool& inPages);
    static void FreeSlots(Link* slots, std::size_t count, bool inPages) noexcept;

    Link* m_slots = nullptr;
    std::size_t m_mask = 0;     // slot count - 1, a power of two less one
    std::size_t m_count = 0;    // live slots
    std::size_t m_removed = 0;  // markers
    bool m_inPages = false;
    // An entry above the 48-bit range (never on Linux unless asked for)
    // turns the tags off for good.
    bool m_tagged = true;
};
