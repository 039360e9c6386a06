#include "kelvaro/sea/SeaIndex.h"

#include <new>
#include <stdexcept>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/Pages.h"

namespace pages = kelvaro::pages;

SeaIndex::~SeaIndex() { FreeSlots(m_slots, Capacity(), m_inPages); }

namespace {

// The bytes of a table of `count` slots in whole huge pages.
std::size_t InHugePages(std::size_t count) {
    const std::size_t bytes = count * sizeof(std::uintptr_t);
    return (bytes + pages::kHugePageSize - 1) / pages::kHugePageSize * pages::kHugePageSize;
}

}  // namespace

// A large table comes in huge pages: its lookups land all over it, and with
// small pages nearly every one would miss the address cache as well.
SeaIndex::Link* SeaIndex::AllocateSlots(std::size_t count, bool& inPages) {
    inPages = false;
    if (count * sizeof(Link) >= pages::kHugePageSize) {
        if (void* memory = pages::Allocate(InHugePages(count), true)) {
            inPages = true;
            return static_cast<Link*>(memory);  // zeroed: every slot empty
        }
    }
    return new Link[count]();
}

void SeaIndex::FreeSlots(Link* slots, std::size_t count, bool inPages) noexcept {
    if (slots == nullptr) return;
    if (!inPages) {
        delete[] slots;
        return;
    }
    pages::Free(slots, InHugePages(count));
}

std::size_t SeaIndex::CapacityFor(std::size_t count) noexcept {
    // At most three quarters full, so that a name not yet filed (every name
    // of a sea being read) finds an empty slot within a few probes.
    std::size_t capacity = 16;
    while (capacity - capacity / 4 < count + 1) capacity *= 2;
    return capacity;
}

void SeaIndex::Reserve(std::size_t count) {
    const std::size_t capacity = CapacityFor(count);
    if (capacity > Capacity()) Rebuild(capacity);
}

void SeaIndex::Place(Link* slots, std::size_t mask, Link slot, std::size_t hash) const noexcept {
    std::size_t i = hash & mask;
    while (Live(slots[i])) i = (i + 1) & mask;
    slots[i] = slot;
}

void SeaIndex::Rebuild(std::size_t capacity) {
    bool inPages = false;
    Link* slots = AllocateSlots(capacity, inPages);
    // Slots keep no hash: the entries give theirs again. A read sea was
    // sized before its reading, so this is rare.
    for (std::size_t i = 0; m_slots != nullptr && i <= m_mask; ++i)
        if (Live(m_slots[i])) Place(slots, capacity - 1, m_slots[i], EntryOf(m_slots[i])->NameHash());
    FreeSlots(m_slots, Capacity(), m_inPages);
    m_slots = slots;
    m_mask = capacity - 1;
    m_inPages = inPages;
    m_removed = 0;
}

template <class Same>
CResourceEntry* SeaIndex::Probe(std::size_t hash, Same same) const noexcept {
    if (m_slots == nullptr) return nullptr;
    const Link tag = m_tagged ? TagOf(hash) : 0;
    const Link tagBits = m_tagged ? ~kAddressBits : 0;
    for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
        const Link slot = m_slots[i];
        if (slot == kEmpty) return nullptr;
        // A tag that differs passes over the entry without loading it.
        if ((slot & tagBits) == tag && slot != kRemoved) {
            CResourceEntry* entry = EntryOf(slot);
            if (same(*entry)) return entry;
        }
    }
}

CResourceEntry* SeaIndex::Find(std::wstring_view name, std::size_t hash) const noexcept {
    return Probe(hash, [name](const CResourceEntry& entry) { return entry.HasName(name); });
}

CResourceEntry* SeaIndex::FindNameOf(const CResourceEntry& like, std::size_t hash) const noexcept {
    return Probe(hash, [&like](const CResourceEntry& entry) { return entry.HasSameName(like); });
}

bool SeaIndex::Holds(const CResourceEntry* entry) const noexcept {
    if (m_slots == nullptr) return false;
    for (std::size_t i = entry->NameHash() & m_mask;; i = (i + 1) & m_mask) {
        const Link slot = m_slots[i];
        if (slot == kEmpty) return false;
        if (Live(slot) && EntryOf(slot) == entry) return true;
    }
}

void SeaIndex::Prefetch(std::size_t hash) const noexcept {
#if defined(__GNUC__) || defined(__clang__)
    if (m_slots != nullptr) __builtin_prefetch(&m_slots[hash & m_mask]);
#else
    (void)hash;
#endif
}

void SeaIndex::Insert(CResourceEntry* entry, std::size_t hash) {
    if (m_slots == nullptr || m_count + m_removed + 1 > MaxUsed()) Rebuild(CapacityFor(m_count + 1));
    const auto address = reinterpret_cast<Link>(entry);
    if (m_tagged && (address & ~kAddressBits) != 0) {
        for (std::size_t i = 0; i <= m_mask; ++i)
            if (Live(m_slots[i])) m_slots[i] &= kAddressBits;
        m_tagged = false;
    }
    std::size_t i = hash & m_mask;
    while (Live(m_slots[i])) i = (i + 1) & m_mask;
    if (m_slots[i] == kRemoved) --m_removed;
    m_slots[i] = m_tagged ? address | TagOf(hash) : address;
    ++m_count;
    entry->SetIndexed(true);
}

bool SeaIndex::Remove(const CResourceEntry* entry, std::size_t hash) noexcept {
    if (m_slots == nullptr) return false;
    for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
        const Link slot = m_slots[i];
        if (slot == kEmpty) return false;
        if (!Live(slot) || EntryOf(slot) != entry) continue;
        // A slot before an empty one ends no other probe: it and the markers
        // before it become empty again.
        if (m_slots[(i + 1) & m_mask] == kEmpty) {
            m_slots[i] = kEmpty;
            for (std::size_t j = (i - 1) & m_mask; m_slots[j] == kRemoved; j = (j - 1) & m_mask) {
                m_slots[j] = kEmpty;
                --m_removed;
            }
        } else {
            m_slots[i] = kRemoved;
            ++m_removed;
        }
        --m_count;
        entry->SetIndexed(false);
        return true;
    }
}

bool SeaIndex::Remove(const CResourceEntry* entry) noexcept { return Remove(entry, entry->NameHash()); }

void SeaIndex::Clear() noexcept {
    for (std::size_t i = 0; m_slots != nullptr && i <= m_mask; ++i) m_slots[i] = kEmpty;
    m_count = 0;
    m_removed = 0;
}

std::size_t SeaIndex::NextLive(std::size_t from) const noexcept {
    while (from <= m_mask && !Live(m_slots[from])) ++from;
    return from;
}

POSITION SeaIndex::First() const noexcept {
    if (m_count == 0) return nullptr;
    return reinterpret_cast<POSITION>(NextLive(0) + 1);
}

CResourceEntry* SeaIndex::Next(POSITION& pos) const {
    if (pos == nullptr) throw std::invalid_argument("SeaIndex::Next: null position");
    // An entry removed since pos was given is passed over.
    const std::size_t at = m_slots == nullptr ? 1 : NextLive(reinterpret_cast<std::size_t>(pos) - 1);
    if (m_slots == nullptr || at > m_mask) {
        pos = nullptr;
        return nullptr;
    }
    const std::size_t next = NextLive(at + 1);
    pos = next > m_mask ? nullptr : reinterpret_cast<POSITION>(next + 1);
    return EntryOf(m_slots[at]);
}
