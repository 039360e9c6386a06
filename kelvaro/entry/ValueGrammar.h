// The value grammar of a sea line in one place: what white space is, the
// stand-ins that carry characters a value cannot hold in a line, and when a
// value must be quoted to read back as itself. The parser, the line builder,
// the table rows, the streams and the sea tool all use these.
#pragma once

#include <cstdint>
#include <cwctype>
#include <string>

namespace kelvaro::grammar {

constexpr wchar_t kQuote = L'"';
constexpr wchar_t kQuoteStandIn = L'\u00A7';     // '§' stands for '"' inside a value
constexpr wchar_t kLineFeedStandIn = L'\u00B6';  // '¶' for a line feed
constexpr wchar_t kCarriageStandIn = L'\u00AC';  // '¬' for a carriage return

// Tab, line feed, vertical tab, form feed, carriage return, blank.
constexpr std::uint64_t kAsciiWhite =
    (1ull << 9) | (1ull << 10) | (1ull << 11) | (1ull << 12) | (1ull << 13) | (1ull << 32);

// White space beyond ASCII: what iswspace counts.
inline bool IsWhiteWide(wchar_t c) { return std::iswspace(static_cast<std::wint_t>(c)) != 0; }

// White space of the line grammar, with a quick answer for ASCII: the parser
// asks for every character of every line.
inline bool IsWhite(wchar_t c) {
    const auto u = static_cast<std::uint32_t>(c);
    if (u <= 32) return ((kAsciiWhite >> u) & 1u) != 0;
    return u >= 128 && IsWhiteWide(c);
}

inline const wchar_t* SkipWhite(const wchar_t* p) {
    while (*p != L'\0' && IsWhite(*p)) ++p;
    return p;
}

// A value is quoted when written bare it would not read back as itself: when
// it is empty or holds white space (line ends excepted: they are written as
// stand-ins), and, as the first value, when its first character would change
// the kind of the line ('{' makes a named line a list head; '}', ';' and ':'
// make a list line a list end, a comment or an error).
inline bool NeedsQuotes(const wchar_t* text, bool firstValue, bool listLine) {
    if (*text == L'\0') return true;
    if (firstValue) {
        const wchar_t c = *text;
        if (listLine ? (c == L'}' || c == L';' || c == L':') : c == L'{') return true;
    }
    for (; *text != L'\0'; ++text)
        if (*text != L'\n' && *text != L'\r' && IsWhite(*text)) return true;
    return false;
}

// A value as a line keeps it: line ends become their stand-ins.
inline std::wstring LineEndsAsStandIns(std::wstring value) {
    for (wchar_t& c : value) {
        if (c == L'\n') c = kLineFeedStandIn;
        else if (c == L'\r') c = kCarriageStandIn;
    }
    return value;
}

}  // namespace kelvaro::grammar
