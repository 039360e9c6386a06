#include "kelvaro/platform/Pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace kelvaro::pages {

namespace {

std::size_t PageSize() noexcept {
    static const std::size_t size = [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        return page > 0 ? static_cast<std::size_t>(page) : std::size_t{4096};
    }();
    return size;
}

// Blocks are filled right after they are taken: making their pages in one
// call spares a page fault per page, which is dear on a virtual machine.
#ifdef MAP_POPULATE
constexpr int kPopulate = MAP_POPULATE;
#else
constexpr int kPopulate = 0;
#endif

std::size_t RoundUp(std::size_t bytes, std::size_t unit) noexcept {
    return (bytes + unit - 1) / unit * unit;
}

}  // namespace

void* Allocate(std::size_t bytes, bool huge) noexcept {
    if (bytes == 0 || bytes > SIZE_MAX / 2)
        return nullptr;
    if (!huge) {
        void* block = ::mmap(nullptr, RoundUp(bytes, PageSize()), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | kPopulate, -1, 0);
        return block == MAP_FAILED ? nullptr : block;
    }
    if (bytes % kHugePageSize != 0)
        return nullptr;
    // One huge page more than needed, so an aligned block fits; the ends are
    // given back at once.
    const std::size_t mapped = bytes + kHugePageSize;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePageSize - 1) & ~(std::uintptr_t{kHugePageSize} - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const std::uintptr_t end = start + mapped;
    if (end > aligned + bytes)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(block, bytes, MADV_HUGEPAGE);  // advice only: failure changes nothing
#endif
#ifdef MADV_POPULATE_WRITE
    ::madvise(block, bytes, MADV_POPULATE_WRITE);  // as kPopulate, after the advice
#endif
    return block;
}

void Free(void* block, std::size_t bytes) noexcept {
    if (block != nullptr && bytes != 0)
        ::munmap(block, RoundUp(bytes, PageSize()));
}

}  // namespace kelvaro::pages
