#include "kelvaro/platform/CodePage.h"

#include <array>
#include <cstdint>

namespace kelvaro::cp1252 {
namespace {

// 0x80..0x9F; the rest of the code page equals Latin-1. Undefined bytes keep their own value.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

wchar_t ToWide(unsigned char c)
{
    if (c >= 0x80 && c <= 0x9F)
        return static_cast<wchar_t>(kHigh[c - 0x80]);
    return static_cast<wchar_t>(c);
}

bool FromWide(wchar_t w, char& out)
{
    const auto code = static_cast<std::uint32_t>(w);
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
        out = static_cast<char>(code);
        return true;
    }
    // Both the C1 range (only the five undefined bytes are valid there) and the
    // typographic characters are found in the table; the search is short.
    for (unsigned i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == code) {
            out = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

std::wstring Decode(std::string_view bytes)
{
    std::wstring text;
    text.resize(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = ToWide(static_cast<unsigned char>(bytes[i]));
    return text;
}

std::string Encode(std::wstring_view text, bool* lossless)
{
    std::string bytes;
    bytes.resize(text.size());
    bool all = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c;
        if (!FromWide(text[i], c)) {
            c = '?';
            all = false;
        }
        bytes[i] = c;
    }
    if (lossless)
        *lossless = all;
    return bytes;
}

} // namespace kelvaro::cp1252
