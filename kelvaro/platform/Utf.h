// The library's one UTF-16 and UTF-8 codec between 32-bit wchar_t text and bytes.
// CUnicodeFile reads and writes sea files with it, and the platform layer uses it for file names.
// Bad input never fails: whatever cannot be decoded or encoded becomes U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvaro {

// Stands in for every unpaired surrogate, odd final byte, malformed UTF-8 sequence and
// every wchar_t that is no Unicode scalar value.
inline constexpr wchar_t kReplacementChar = static_cast<wchar_t>(0xFFFD);

// w itself when it is a Unicode scalar value (not a surrogate, at most U+10FFFF), else U+FFFD.
inline constexpr char32_t ScalarOrReplacement(wchar_t w) noexcept
{
    const auto c = static_cast<std::uint32_t>(w);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0xFFFD;
    return c;
}

} // namespace kelvaro

namespace kelvaro::utf16 {

// Decodes one character from [p, end), which must not be empty, and returns the bytes used
// (1, 2 or 4). A surrogate pair becomes one wchar_t; an unpaired surrogate uses 2 bytes and
// a single final byte 1, each giving U+FFFD. Callers that decode from a buffer keep at least
// 4 bytes in it until the end of the data, so that a pair is never split.
template <bool BigEndian>
inline std::size_t DecodeOne(const unsigned char* p, const unsigned char* end, wchar_t& out) noexcept
{
    const std::size_t avail = static_cast<std::size_t>(end - p);
    if (avail < 2) {
        out = kReplacementChar;
        return avail;
    }
    const unsigned unit = BigEndian ? (unsigned{p[0]} << 8 | p[1]) : (unsigned{p[1]} << 8 | p[0]);
    if (unit < 0xD800 || unit > 0xDFFF) {
        out = static_cast<wchar_t>(unit);
        return 2;
    }
    if (unit <= 0xDBFF && avail >= 4) {
        const unsigned low = BigEndian ? (unsigned{p[2]} << 8 | p[3]) : (unsigned{p[3]} << 8 | p[2]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            out = static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            return 4;
        }
    }
    out = kReplacementChar;
    return 2;
}

// Appends w as one or two UTF-16 code units; a non-scalar w is written as U+FFFD.
template <bool BigEndian>
inline void AppendOne(std::string& out, wchar_t w)
{
    const auto put = [&out](unsigned unit) {
        if (BigEndian) {
            out.push_back(static_cast<char>(unit >> 8));
            out.push_back(static_cast<char>(unit & 0xFF));
        } else {
            out.push_back(static_cast<char>(unit & 0xFF));
            out.push_back(static_cast<char>(unit >> 8));
        }
    };
    const char32_t c = ScalarOrReplacement(w);
    if (c < 0x10000) {
        put(static_cast<unsigned>(c));
    } else {
        put(0xD800 + ((c - 0x10000) >> 10));
        put(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

std::string EncodeLE(std::wstring_view text);
std::string EncodeBE(std::wstring_view text);
std::wstring DecodeLE(std::string_view bytes);
std::wstring DecodeBE(std::string_view bytes);

} // namespace kelvaro::utf16

namespace kelvaro::utf8 {

// Decodes one character from [p, end), which must not be empty, and returns the bytes used.
// Overlong forms, encoded surrogates, values above U+10FFFF, stray continuation bytes and
// truncated sequences give U+FFFD for each maximal ill-formed part (so one bad byte never
// swallows the good text after it).
inline std::size_t DecodeOne(const unsigned char* p, const unsigned char* end, wchar_t& out) noexcept
{
    const unsigned b0 = p[0];
    if (b0 < 0x80) {
        out = static_cast<wchar_t>(b0);
        return 1;
    }
    std::size_t need;
    unsigned lo = 0x80, hi = 0xBF; // allowed range of the second byte
    char32_t c;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        c = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        c = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        out = kReplacementChar;
        return 1;
    }
    const std::size_t avail = static_cast<std::size_t>(end - p);
    for (std::size_t i = 1; i <= need; ++i) {
        if (i >= avail) {
            out = kReplacementChar;
            return i;
        }
        const unsigned b = p[i];
        if (b < lo || b > hi) {
            out = kReplacementChar;
            return i;
        }
        lo = 0x80;
        hi = 0xBF;
        c = (c << 6) | (b & 0x3F);
    }
    out = static_cast<wchar_t>(c);
    return need + 1;
}

// Appends w in 1 to 4 bytes; a non-scalar w is written as U+FFFD.
inline void AppendOne(std::string& out, wchar_t w)
{
    const char32_t c = ScalarOrReplacement(w);
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Encode(std::wstring_view text);
std::wstring Decode(std::string_view bytes);

} // namespace kelvaro::utf8
