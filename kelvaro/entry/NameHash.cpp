#include "kelvaro/entry/NameHash.h"

#include <algorithm>
#include <cstdint>

// Inlined, so a short name costs no call into another library.
#define XXH_INLINE_ALL
#include <xxhash.h>

std::size_t kelvaro::HashName(const unsigned char* latin1, std::size_t length) noexcept {
    return static_cast<std::size_t>(XXH3_64bits(latin1, length));
}

std::size_t kelvaro::HashName(std::wstring_view name) noexcept {
    // A name with a character above U+00FF has no narrow form: its wide
    // text is hashed as it is.
    const auto wide = [name] { return static_cast<std::size_t>(XXH3_64bits(name.data(), name.size() * sizeof(wchar_t))); };
    constexpr std::size_t kChunk = 256;
    unsigned char narrow[kChunk];
    if (name.size() <= kChunk) {
        for (std::size_t i = 0; i < name.size(); ++i) {
            const auto c = static_cast<std::uint32_t>(name[i]);
            if (c > 0xFF) return wide();
            narrow[i] = static_cast<unsigned char>(c);
        }
        return HashName(narrow, name.size());
    }
    // A long name goes through in pieces; the digest is the one-shot one.
    for (const wchar_t c : name)
        if (static_cast<std::uint32_t>(c) > 0xFF)
            return wide();
    XXH3_state_t state;
    XXH3_INITSTATE(&state);
    XXH3_64bits_reset(&state);
    for (std::size_t at = 0; at < name.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, name.size() - at);
        for (std::size_t i = 0; i < n; ++i) narrow[i] = static_cast<unsigned char>(name[at + i]);
        XXH3_64bits_update(&state, narrow, n);
    }
    return static_cast<std::size_t>(XXH3_64bits_digest(&state));
}
