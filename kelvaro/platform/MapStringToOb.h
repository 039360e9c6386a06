// CMapStringToOb: hash map from a case-sensitive name to a CObject pointer, the framework's
// map that the library's name indexes are built on. The table grows as keys come in, so a
// million keys stay fast; nodes never move, so a POSITION stays valid while other keys are
// removed (but not across an insertion, which may regrow the table). Lookups take a
// std::wstring_view and allocate nothing. The map never owns the objects.
#pragma once

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Object.h"
#include "kelvaro/platform/Types.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

class CMapStringToOb {
public:
    // Nodes are allocated blockSize at a time at first, in larger blocks as the map grows.
    explicit CMapStringToOb(int blockSize = 10);
    ~CMapStringToOb();
    CMapStringToOb(const CMapStringToOb&) = delete;
    CMapStringToOb& operator=(const CMapStringToOb&) = delete;

    // A hint for the number of buckets (rounded up to a power of two); existing keys are
    // redistributed. With allocNow false the table is made on the first insertion.
    void InitHashTable(unsigned hashSize, bool allocNow = true);
    unsigned GetHashTableSize() const noexcept { return m_bucketCount; }

    int GetCount() const noexcept { return m_count; }
    int GetSize() const noexcept { return m_count; }
    bool IsEmpty() const noexcept { return m_count == 0; }

    // False (value untouched) when key is missing.
    bool Lookup(std::wstring_view key, CObject*& value) const;
    // The value of key, null when missing.
    CObject* Find(std::wstring_view key) const;
    void SetAt(std::wstring_view key, CObject* value);
    // The value slot of key, made (holding null) when missing.
    CObject*& operator[](std::wstring_view key) { return Slot(key, HashOf(key)); }
    // As operator[] for a caller that has hashed the key already: `hash`
    // must be HashOf(key).
    CObject*& Slot(std::wstring_view key, std::size_t hash);
    static std::size_t HashOf(std::wstring_view key) noexcept;
    // False when key was not there.
    bool RemoveKey(std::wstring_view key);
    void RemoveAll();

    // Null when the map is empty.
    POSITION GetStartPosition() const noexcept;
    // Gives the entry at pos and moves pos on; pos is null after the last entry. A null pos
    // throws std::invalid_argument. The order is not defined.
    void GetNextAssoc(POSITION& pos, CString& key, CObject*& value) const;

private:
    // A key as the map keeps it. Most names are short and within Latin-1, so
    // such a key is stored one byte per character, in the node itself when
    // it fits: a million keys then cost no allocation and a quarter of the
    // memory that wide strings on the heap would take. Other keys go to the
    // heap, narrow when they can, wide otherwise.
    class Key {
    public:
        // Fills the node to 40 bytes; also holds the heap pointer of a longer key.
        static constexpr unsigned kInline = 19;

        Key() noexcept { m_inline[0] = 0; }
        ~Key() { Clear(); }
        Key(const Key&) = delete;
        Key& operator=(const Key&) = delete;

        void Assign(std::wstring_view text);  // strong guarantee: unchanged if it throws
        void Clear() noexcept;
        bool Equals(std::wstring_view text) const noexcept;
        CString Text() const;
        std::size_t Hash() const;  // HashOf the key's text

    private:
        enum Kind : unsigned char { kInlineBytes, kHeapBytes, kHeapWide };
        // unsigned char[m_length] or wchar_t[m_length], kept in the inline
        // bytes (which need no alignment, so the key packs into 24 bytes).
        void* Heap() const noexcept {
            void* heap;
            std::memcpy(&heap, m_inline, sizeof heap);
            return heap;
        }
        void SetHeap(void* heap) noexcept { std::memcpy(m_inline, &heap, sizeof heap); }
        const unsigned char* Bytes() const noexcept {
            return m_kind == kInlineBytes ? m_inline : static_cast<const unsigned char*>(Heap());
        }

        unsigned m_length = 0;
        Kind m_kind = kInlineBytes;
        unsigned char m_inline[kInline];
    };
    static_assert(sizeof(void*) <= Key::kInline);

    // A link to a node: its address and, in the 16 bits above the 48 that a
    // user-space address uses, whether the node has a next one and a tag made
    // from its hash. A search passes over a node whose tag is not the key's
    // without loading it, unless it must go on to the next one: in a large
    // map each load is a cache miss, and a key not yet in the map (every key
    // of a sea being read) would otherwise load each node of its bucket.
    // A node gains a next one only when it is linked in, so "no next" is
    // exact; "next" may be left over after a removal, which costs only a load.
    // A map whose nodes lie above that range (never on Linux unless asked
    // for) keeps plain addresses.
    using Link = std::uintptr_t;
    // No hash is kept: the links carry enough of it to pass over other keys,
    // and the rare regrowth and walk make it again from the key. A million
    // names then take 8 MB less.
    struct CAssoc {
        Link next = 0;  // in the chain of its bucket, or of the free list (untagged)
        CObject* value = nullptr;
        Key key;
    };
    static constexpr bool kCanTag = sizeof(Link) == 8;
    static constexpr unsigned kNextBit = kCanTag ? 48 : 0;
    static constexpr Link kAddressBits = kCanTag ? (Link{1} << kNextBit) - 1 : ~Link{0};
    static constexpr Link kHasNext = kCanTag ? Link{1} << kNextBit : 0;
    static constexpr Link kTagBits = ~(kAddressBits | kHasNext);
    static Link TagOf(std::size_t hash) noexcept { return static_cast<Link>(hash) & kTagBits; }
    CAssoc* Node(Link link) const noexcept { return reinterpret_cast<CAssoc*>(m_tagged ? link & kAddressBits : link); }
    // The link to `node`, whose key has `hash`, once its own next link is set.
    Link LinkTo(const CAssoc* node, std::size_t hash) const noexcept {
        const auto address = reinterpret_cast<Link>(node);
        if (!m_tagged || node == nullptr) return address;
        return address | TagOf(hash) | (node->next != 0 ? kHasNext : 0);
    }
    // Makes every link a plain address, for nodes above the tagged range.
    void StopTagging() noexcept;

    static bool SameKey(const CAssoc* assoc, std::wstring_view key) noexcept;
    CAssoc* FindAssoc(std::wstring_view key, std::size_t hash) const noexcept;
    CAssoc* NewAssoc();
    void FreeAssoc(CAssoc* assoc) noexcept;
    void Rehash(unsigned bucketCount);
    const CAssoc* FirstFrom(std::size_t bucket) const noexcept;

    // A plain array rather than a container: the lookups stay quick in unoptimised builds too.
    Link* m_buckets = nullptr;
    bool m_tagged = kCanTag;
    unsigned m_bucketCount = 0; // always a power of two once allocated
    unsigned m_wantedBuckets = 16;
    int m_count = 0;
    int m_blockSize;
    CAssoc* m_pFreeList = nullptr;
    // Node blocks, and the bucket table, of a large map come in huge pages:
    // its lookups land all over them, and with small pages nearly every one
    // would miss the address cache as well as the data cache.
    struct Block {
        CAssoc* nodes;
        std::size_t count;
        bool inPages;
    };
    static Block AllocateBlock(std::size_t count);
    static void FreeBlock(const Block& block) noexcept;
    static Link* AllocateBuckets(unsigned count, bool& inPages);
    static void FreeBuckets(Link* buckets, unsigned count, bool inPages) noexcept;
    bool m_bucketsInPages = false;
    std::vector<Block> m_blocks;
};
