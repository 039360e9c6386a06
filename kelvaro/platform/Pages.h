// Memory straight from the system in whole pages, for allocators that hand
// out many small blocks of one big one. A large block can be asked for in
// huge pages: filling it then costs one page fault where it would cost 512,
// which on a virtual machine is most of the price of filling fresh memory.
#pragma once

#include <cstddef>

namespace kelvaro::pages {

// The size and alignment of a huge page where the system offers them.
constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

// `bytes` (rounded up to whole pages) of zeroed memory, or null when the
// system has none. With `huge`, bytes must be a multiple of kHugePageSize;
// the block is then aligned to it and the system is asked to back it with
// huge pages (a request only: without them it works the same).
void* Allocate(std::size_t bytes, bool huge) noexcept;

// Gives back a block from Allocate with the same byte count.
void Free(void* block, std::size_t bytes) noexcept;

}  // namespace kelvaro::pages
