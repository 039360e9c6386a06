// The hash that a sea's name index files entries under. A name read from a
// file is kept one byte a character when it can be, and a name asked for
// comes as wide text: both forms of the same name hash alike, so the index
// never has to widen a line to find it.
#pragma once

#include <cstddef>
#include <string_view>

namespace kelvaro {

std::size_t HashName(std::wstring_view name) noexcept;
// The same name as Latin-1 bytes, one per character.
std::size_t HashName(const unsigned char* latin1, std::size_t length) noexcept;

}  // namespace kelvaro
