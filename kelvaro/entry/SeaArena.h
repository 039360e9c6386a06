// CSeaArena: the bulk memory of one sea's entries and their first lines. A
// sea read from a file makes hundreds of thousands of entries at once; the
// arena hands them out of large chunks, one after another, instead of one
// allocation each. Entry blocks are all of one size and go back to a free
// list when their entry is deleted; line texts are only given up whole, when
// the arena is reset. The chunks grow with the sea (64 KB doubling up to
// 2 MB, in small pages made at once), so a small sea stays small.
//
// Not thread-safe: it belongs to a sea, which is not either.
#pragma once

#include <cstddef>
#include <vector>

class CSeaArena {
public:
    CSeaArena() = default;
    // Frees every chunk: whatever lives in them must be gone before.
    ~CSeaArena();
    CSeaArena(const CSeaArena&) = delete;
    CSeaArena& operator=(const CSeaArena&) = delete;

    // `bytes` aligned to `alignment` (a power of two up to 16) from the
    // current chunk, or null when the system has no memory or the request is
    // large (callers use the heap then). Never given back alone.
    void* Allocate(std::size_t bytes, std::size_t alignment = 16) noexcept;

    // A block for an entry, aligned to 8; every block of an arena has the
    // same size, the first request's. Null as for Allocate, or for another size.
    void* TakeBlock(std::size_t bytes) noexcept;
    // Takes back a block from TakeBlock for reuse.
    void GiveBackBlock(void* block) noexcept;
    // Blocks taken and not given back.
    std::size_t LiveBlocks() const noexcept { return m_liveBlocks; }

    // Frees the chunks when no block is alive (so nothing lives in them);
    // false, and nothing changes, otherwise.
    bool ResetIfUnused() noexcept;
    // Memory held from the system, for statistics and tests.
    std::size_t ReservedBytes() const noexcept;

    // Requests above this go to the heap.
    static constexpr std::size_t kLargestRequest = 16 * 1024;

private:
    struct Chunk {
        void* base;
        std::size_t size;
    };
    bool Grow(std::size_t atLeast) noexcept;
    void FreeChunks() noexcept;

    std::vector<Chunk> m_chunks;
    char* m_next = nullptr;
    char* m_end = nullptr;
    void* m_freeBlocks = nullptr;   // each free block holds the next one's address
    std::size_t m_blockSize = 0;
    std::size_t m_liveBlocks = 0;
    std::size_t m_nextChunkSize = 64 * 1024;
};
