#include "kelvaro/platform/MapStringToOb.h"

#include <new>

#include "kelvaro/platform/Pages.h"

#include <algorithm>
#include <functional>
#include <cstdint>
#include <cwchar>
#include <stdexcept>

namespace {

constexpr unsigned kMaxBuckets = 1u << 30;

unsigned RoundUpPowerOfTwo(unsigned n)
{
    unsigned p = 1;
    while (p < n && p < kMaxBuckets)
        p <<= 1;
    return p;
}

} // namespace

CMapStringToOb::CMapStringToOb(int blockSize) : m_blockSize(blockSize < 1 ? 1 : blockSize) {}

CMapStringToOb::~CMapStringToOb()
{
    RemoveAll();
}

CMapStringToOb::Block CMapStringToOb::AllocateBlock(std::size_t count)
{
    const std::size_t bytes = count * sizeof(CAssoc);
    void* memory = nullptr;
    bool inPages = false;
    if (bytes >= kelvaro::pages::kHugePageSize / 2) {
        count = kelvaro::pages::kHugePageSize / sizeof(CAssoc);
        memory = kelvaro::pages::Allocate(kelvaro::pages::kHugePageSize, true);
        inPages = memory != nullptr;
    }
    if (memory == nullptr)
        memory = ::operator new(count * sizeof(CAssoc));
    auto* nodes = static_cast<CAssoc*>(memory);
    for (std::size_t i = 0; i < count; ++i)
        ::new (&nodes[i]) CAssoc();  // cannot throw
    return {nodes, count, inPages};
}

void CMapStringToOb::FreeBlock(const Block& block) noexcept
{
    for (std::size_t i = 0; i < block.count; ++i)
        block.nodes[i].~CAssoc();
    if (block.inPages)
        kelvaro::pages::Free(block.nodes, kelvaro::pages::kHugePageSize);
    else
        ::operator delete(block.nodes);
}

CMapStringToOb::Link* CMapStringToOb::AllocateBuckets(unsigned count, bool& inPages)
{
    const std::size_t bytes = std::size_t{count} * sizeof(Link);
    inPages = false;
    if (bytes >= kelvaro::pages::kHugePageSize) {
        const std::size_t whole = (bytes + kelvaro::pages::kHugePageSize - 1) / kelvaro::pages::kHugePageSize *
                                  kelvaro::pages::kHugePageSize;
        if (void* memory = kelvaro::pages::Allocate(whole, true)) {
            inPages = true;
            return static_cast<Link*>(memory);  // zeroed: every bucket empty
        }
    }
    return new Link[count]();
}

void CMapStringToOb::FreeBuckets(Link* buckets, unsigned count, bool inPages) noexcept
{
    if (!inPages) {
        delete[] buckets;
        return;
    }
    const std::size_t bytes = std::size_t{count} * sizeof(Link);
    kelvaro::pages::Free(buckets, (bytes + kelvaro::pages::kHugePageSize - 1) / kelvaro::pages::kHugePageSize *
                                      kelvaro::pages::kHugePageSize);
}

std::size_t CMapStringToOb::HashOf(std::wstring_view key) noexcept
{
    return std::hash<std::wstring_view>{}(key);
}

bool CMapStringToOb::SameKey(const CAssoc* assoc, std::wstring_view key) noexcept
{
    return assoc->key.Equals(key);
}

// ---- keys ------------------------------------------------------------------------

void CMapStringToOb::Key::Assign(std::wstring_view text)
{
    if (text.size() > 0xFFFFFFFFu)
        throw std::length_error("CMapStringToOb: key too long");
    const bool narrow = std::all_of(text.begin(), text.end(),
                                    [](wchar_t c) { return static_cast<std::uint32_t>(c) < 256; });
    const auto length = static_cast<unsigned>(text.size());
    if (narrow && length <= kInline) {
        Clear();
        for (unsigned i = 0; i < length; ++i)
            m_inline[i] = static_cast<unsigned char>(text[i]);
        m_length = length;
        return;
    }
    void* heap;
    if (narrow) {
        auto* bytes = new unsigned char[length];
        for (unsigned i = 0; i < length; ++i)
            bytes[i] = static_cast<unsigned char>(text[i]);
        heap = bytes;
    } else {
        auto* wide = new wchar_t[length];
        std::wmemcpy(wide, text.data(), length);
        heap = wide;
    }
    Clear();
    SetHeap(heap);
    m_kind = narrow ? kHeapBytes : kHeapWide;
    m_length = length;
}

void CMapStringToOb::Key::Clear() noexcept
{
    if (m_kind == kHeapBytes)
        delete[] static_cast<unsigned char*>(Heap());
    else if (m_kind == kHeapWide)
        delete[] static_cast<wchar_t*>(Heap());
    m_kind = kInlineBytes;
    m_length = 0;
}

bool CMapStringToOb::Key::Equals(std::wstring_view text) const noexcept
{
    if (text.size() != m_length)
        return false;
    if (m_kind == kHeapWide)
        return std::wmemcmp(static_cast<const wchar_t*>(Heap()), text.data(), m_length) == 0;
    const unsigned char* bytes = Bytes();
    for (unsigned i = 0; i < m_length; ++i)
        if (static_cast<std::uint32_t>(text[i]) != bytes[i])
            return false;
    return true;
}

std::size_t CMapStringToOb::Key::Hash() const
{
    if (m_kind == kHeapWide)
        return HashOf(std::wstring_view(static_cast<const wchar_t*>(Heap()), m_length));
    const unsigned char* bytes = Bytes();
    if (m_kind == kInlineBytes) {
        wchar_t wide[kInline];
        for (unsigned i = 0; i < m_length; ++i)
            wide[i] = bytes[i];
        return HashOf(std::wstring_view(wide, m_length));
    }
    return HashOf(std::wstring(bytes, bytes + m_length));
}

CString CMapStringToOb::Key::Text() const
{
    if (m_kind == kHeapWide)
        return CString(std::wstring(static_cast<const wchar_t*>(Heap()), m_length));
    const unsigned char* bytes = Bytes();
    return CString(std::wstring(bytes, bytes + m_length));
}

void CMapStringToOb::InitHashTable(unsigned hashSize, bool allocNow)
{
    m_wantedBuckets = RoundUpPowerOfTwo(std::max(hashSize, 1u));
    if (allocNow || m_buckets)
        Rehash(m_wantedBuckets);
}

void CMapStringToOb::Rehash(unsigned bucketCount)
{
    bool inPages = false;
    Link* buckets = AllocateBuckets(bucketCount, inPages);
    const std::size_t mask = bucketCount - 1;
    for (unsigned b = 0; b < m_bucketCount; ++b) {
        CAssoc* assoc = Node(m_buckets[b]);
        while (assoc != nullptr) {
            CAssoc* next = Node(assoc->next);
            const std::size_t hash = assoc->key.Hash();
            Link& head = buckets[hash & mask];
            assoc->next = head;
            head = LinkTo(assoc, hash);
            assoc = next;
        }
    }
    FreeBuckets(m_buckets, m_bucketCount, m_bucketsInPages);
    m_buckets = buckets;
    m_bucketsInPages = inPages;
    m_bucketCount = bucketCount;
}

void CMapStringToOb::StopTagging() noexcept
{
    for (unsigned b = 0; b < m_bucketCount; ++b) {
        for (Link* link = &m_buckets[b]; *link != 0;) {
            CAssoc* node = Node(*link);
            *link = reinterpret_cast<Link>(node);
            link = &node->next;
        }
    }
    m_tagged = false;
}

CMapStringToOb::CAssoc* CMapStringToOb::FindAssoc(std::wstring_view key, std::size_t hash) const noexcept
{
    if (m_bucketCount == 0)
        return nullptr;
    const Link tag = TagOf(hash);
    for (Link link = m_buckets[hash & (m_bucketCount - 1)]; link != 0;) {
        if (m_tagged && (link & kTagBits) != tag) {
            if ((link & kHasNext) == 0)
                break;  // the last node, another key's: not loaded
            link = Node(link)->next;
            continue;
        }
        CAssoc* assoc = Node(link);
        if (SameKey(assoc, key))
            return assoc;
        link = assoc->next;
    }
    return nullptr;
}

CMapStringToOb::CAssoc* CMapStringToOb::NewAssoc()
{
    if (m_pFreeList == nullptr) {
        // Blocks grow with the map so that a large map needs few of them.
        // Blocks grow with the map up to a huge page's worth of nodes.
        const int maxBlock = static_cast<int>(kelvaro::pages::kHugePageSize / sizeof(CAssoc));
        const int size = std::clamp(m_count / 8, m_blockSize, std::max(m_blockSize, maxBlock));
        m_blocks.reserve(m_blocks.size() + 1);
        const Block block = AllocateBlock(static_cast<std::size_t>(size));
        m_blocks.push_back(block);  // room reserved: cannot throw
        for (std::size_t i = block.count; i-- > 0;) {
            block.nodes[i].next = reinterpret_cast<Link>(m_pFreeList);
            m_pFreeList = &block.nodes[i];
        }
        const auto last = reinterpret_cast<Link>(block.nodes + block.count);
        if (m_tagged && (last & ~kAddressBits) != 0)
            StopTagging();
    }
    CAssoc* assoc = m_pFreeList;
    m_pFreeList = reinterpret_cast<CAssoc*>(assoc->next);
    assoc->next = 0;
    return assoc;
}

void CMapStringToOb::FreeAssoc(CAssoc* assoc) noexcept
{
    assoc->key.Clear(); // a free node should not hold on to the key's memory
    assoc->value = nullptr;
    assoc->next = reinterpret_cast<Link>(m_pFreeList);
    m_pFreeList = assoc;
    --m_count;
    if (m_count == 0)
        RemoveAll();
}

bool CMapStringToOb::Lookup(std::wstring_view key, CObject*& value) const
{
    const CAssoc* assoc = FindAssoc(key, HashOf(key));
    if (assoc == nullptr)
        return false;
    value = assoc->value;
    return true;
}

CObject* CMapStringToOb::Find(std::wstring_view key) const
{
    const CAssoc* assoc = FindAssoc(key, HashOf(key));
    return assoc != nullptr ? assoc->value : nullptr;
}

void CMapStringToOb::SetAt(std::wstring_view key, CObject* value)
{
    (*this)[key] = value;
}

CObject*& CMapStringToOb::Slot(std::wstring_view key, std::size_t hash)
{
    if (CAssoc* assoc = FindAssoc(key, hash))
        return assoc->value;
    if (m_bucketCount == 0)
        Rehash(m_wantedBuckets);
    else if (static_cast<unsigned>(m_count) >= m_bucketCount && m_bucketCount < kMaxBuckets)
        Rehash(RoundUpPowerOfTwo(std::max(static_cast<unsigned>(m_count) + 1, m_bucketCount * 2)));
    CAssoc* assoc = NewAssoc();
    try {
        assoc->key.Assign(key);
    } catch (...) {
        assoc->next = reinterpret_cast<Link>(m_pFreeList);
        m_pFreeList = assoc;
        throw;
    }
    assoc->value = nullptr;
    Link& head = m_buckets[hash & (m_bucketCount - 1)];
    assoc->next = head;
    head = LinkTo(assoc, hash);
    ++m_count;
    return assoc->value;
}

bool CMapStringToOb::RemoveKey(std::wstring_view key)
{
    if (m_bucketCount == 0)
        return false;
    const std::size_t hash = HashOf(key);
    for (Link* link = &m_buckets[hash & (m_bucketCount - 1)]; *link != 0;) {
        CAssoc* assoc = Node(*link);
        if (SameKey(assoc, key)) {
            *link = assoc->next;
            FreeAssoc(assoc);
            return true;
        }
        link = &assoc->next;
    }
    return false;
}

void CMapStringToOb::RemoveAll()
{
    FreeBuckets(m_buckets, m_bucketCount, m_bucketsInPages);
    m_buckets = nullptr;
    m_bucketsInPages = false;
    m_bucketCount = 0;
    m_count = 0;
    m_pFreeList = nullptr;
    for (const Block& block : m_blocks)
        FreeBlock(block);
    m_blocks.clear();
}

POSITION CMapStringToOb::GetStartPosition() const noexcept
{
    return m_count == 0 ? nullptr : BEFORE_START_POSITION;
}

const CMapStringToOb::CAssoc* CMapStringToOb::FirstFrom(std::size_t bucket) const noexcept
{
    for (; bucket < m_bucketCount; ++bucket)
        if (m_buckets[bucket] != 0)
            return Node(m_buckets[bucket]);
    return nullptr;
}

void CMapStringToOb::GetNextAssoc(POSITION& pos, CString& key, CObject*& value) const
{
    if (pos == nullptr)
        throw std::invalid_argument("CMapStringToOb::GetNextAssoc: null POSITION");
    const CAssoc* assoc = pos == BEFORE_START_POSITION ? FirstFrom(0) : reinterpret_cast<const CAssoc*>(pos);
    if (assoc == nullptr)
        throw std::invalid_argument("CMapStringToOb::GetNextAssoc: POSITION of an empty map");
    const CAssoc* next =
        assoc->next != 0 ? Node(assoc->next) : FirstFrom((assoc->key.Hash() & (m_bucketCount - 1)) + 1);
    key = assoc->key.Text();
    value = assoc->value;
    pos = reinterpret_cast<POSITION>(const_cast<CAssoc*>(next));
}
