#include "kelvaro/entry/SeaArena.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "kelvaro/platform/Pages.h"

// Under AddressSanitizer a block given back is poisoned (all but the free
// list's link), so a deleted entry used again is caught as it is on the heap.
#if defined(__SANITIZE_ADDRESS__)
#define KELVARO_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVARO_ARENA_ASAN 1
#endif
#endif
#ifdef KELVARO_ARENA_ASAN
#include <sanitizer/asan_interface.h>
#define KELVARO_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define KELVARO_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define KELVARO_POISON(p, n) ((void)(p), (void)(n))
#define KELVARO_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

constexpr std::size_t kAlignment = 16;
constexpr std::size_t kFirstChunk = 64 * 1024;
// Blocks are aligned for pointers only: an entry is made of them, and 16
// would add 8 bytes to each of a million entries.
constexpr std::size_t kBlockAlignment = 8;

}  // namespace

CSeaArena::~CSeaArena() {
    FreeChunks();
}

void CSeaArena::FreeChunks() noexcept {
    for (const Chunk& chunk : m_chunks) {
        KELVARO_UNPOISON(chunk.base, chunk.size);
        kelvaro::pages::Free(chunk.base, chunk.size);
    }
    m_chunks.clear();
    m_next = m_end = nullptr;
    m_freeBlocks = nullptr;
    m_liveBlocks = 0;
    m_nextChunkSize = kFirstChunk;
}

bool CSeaArena::Grow(std::size_t atLeast) noexcept {
    std::size_t size = m_nextChunkSize;
    while (size < atLeast)
        size *= 2;
    // Small pages, made in one call: asking for huge pages made the same
    // 1,000,000-entry read take 70 ms or 600 ms of system time from one
    // fresh process to the next, as the kernel had free 2 MB pages at hand
    // or not (on a virtual machine, also as the host had backed them or
    // not); small pages cost about 150 ms every time. The name index, where
    // lookups land at random, still asks for them: it is a sixth of the size.
    void* base = kelvaro::pages::Allocate(size, false);
    if (base == nullptr)
        return false;
    try {
        m_chunks.push_back({base, size});
    } catch (...) {
        kelvaro::pages::Free(base, size);
        return false;
    }
    // The rest of the old chunk is left: it is at most one request.
    m_next = static_cast<char*>(base);
    m_end = m_next + size;
    if (m_nextChunkSize < kelvaro::pages::kHugePageSize)
        m_nextChunkSize *= 2;
    return true;
}

void* CSeaArena::Allocate(std::size_t bytes, std::size_t alignment) noexcept {
    if (bytes == 0 || bytes > kLargestRequest || alignment == 0 || alignment > kAlignment ||
        (alignment & (alignment - 1)) != 0)
        return nullptr;
    // Rounded up to the alignment asked for, not to 16: byte texts pack.
    const std::size_t need = (bytes + alignment - 1) & ~(alignment - 1);
    const auto at = reinterpret_cast<std::uintptr_t>(m_next);
    const std::size_t skip = ((at + alignment - 1) & ~(alignment - 1)) - at;
    if (m_next == nullptr || static_cast<std::size_t>(m_end - m_next) < skip + need) {
        if (!Grow(need))
            return nullptr;  // a chunk starts on a page
    } else {
        m_next += skip;
    }
    void* block = m_next;
    m_next += need;
    return block;
}

void* CSeaArena::TakeBlock(std::size_t bytes) noexcept {
    const std::size_t size = (std::max(bytes, sizeof(void*)) + kBlockAlignment - 1) & ~(kBlockAlignment - 1);
    if (m_blockSize == 0)
        m_blockSize = size;
    else if (size != m_blockSize)
        return nullptr;
    void* block = m_freeBlocks;
    if (block != nullptr) {
        KELVARO_UNPOISON(block, m_blockSize);
        std::memcpy(&m_freeBlocks, block, sizeof m_freeBlocks);
    } else {
        block = Allocate(m_blockSize, kBlockAlignment);
        if (block == nullptr)
            return nullptr;
    }
    ++m_liveBlocks;
    return block;
}

void CSeaArena::GiveBackBlock(void* block) noexcept {
    if (block == nullptr)
        return;
    std::memcpy(block, &m_freeBlocks, sizeof m_freeBlocks);
    KELVARO_POISON(static_cast<char*>(block) + sizeof m_freeBlocks, m_blockSize - sizeof m_freeBlocks);
    m_freeBlocks = block;
    --m_liveBlocks;
}

bool CSeaArena::ResetIfUnused() noexcept {
    if (m_liveBlocks != 0)
        return false;
    FreeChunks();
    m_blockSize = 0;
    return true;
}

std::size_t CSeaArena::ReservedBytes() const noexcept {
    std::size_t total = 0;
    for (const Chunk& chunk : m_chunks)
        total += chunk.size;
    return total;
}
