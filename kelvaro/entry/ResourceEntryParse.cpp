// The line grammar: splitting a line text into name, kind bits and values.
// Runs for every line of every sea that is read, so it avoids temporaries:
// the name reuses its string's capacity and the values go straight from the
// line into buffers of the sea's reservoir.
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ValueGrammar.h"

#include <cstdint>
#include <cstring>
#include <iterator>

namespace {

constexpr unsigned kSyntaxErrorCode = 2;
// Syntax error, comment and accessed: how a line that failed to parse stays.
constexpr unsigned kFailedLineBits =
    CResourceEntry::StatusSyntaxError | CResourceEntry::StatusComment | CResourceEntry::StatusAccessed;
// Bits every parse starts by clearing; Accessed, Modified and ListLine stay.
constexpr unsigned kParsedBits = CResourceEntry::StatusComment | CResourceEntry::StatusListEntry |
                                 CResourceEntry::StatusListEnd | CResourceEntry::StatusListContinued |
                                 CResourceEntry::StatusSyntaxError;

using kelvaro::grammar::kCarriageStandIn;
using kelvaro::grammar::kLineFeedStandIn;
using kelvaro::grammar::kQuote;
using kelvaro::grammar::kQuoteStandIn;

// The helpers below read a line in either of its forms: wide, or narrow
// (one byte a character, all below U+0100), with the same results.
template <class Char>
inline const Char* SkipBlank(const Char* p) {
    while (*p != 0 && kelvaro::grammar::IsWhite(static_cast<wchar_t>(*p))) ++p;
    return p;
}

// End of a bare token: the first white space or the terminator. Tells
// whether the token holds a '§', the only character of a bare token that
// is mapped (line ends are white space and end it).
template <class Char>
inline const Char* ScanBareToken(const Char* p, bool& hasStandIn) {
    for (;; ++p) {
        const auto u = static_cast<std::uint32_t>(*p);
        if (u <= 32) {
            if (u == 0 || ((kelvaro::grammar::kAsciiWhite >> u) & 1u) != 0)
                return p;
        } else if (u >= 128) {
            if (u == static_cast<std::uint32_t>(kQuoteStandIn))
                hasStandIn = true;
            else if (kelvaro::grammar::IsWhiteWide(static_cast<wchar_t>(u)))
                return p;
        }
    }
}

// The closing quote of the quoted token at p, or null when it is missing.
template <class Char>
inline const Char* FindClosingQuote(const Char* p) {
    for (++p; *p != 0; ++p)
        if (static_cast<wchar_t>(*p) == kQuote)
            return p;
    return nullptr;
}


// One value of a value text: its characters (quotes left out), whether
// they need mapping (quoted, or holding a '§'), and the whole token's length.
template <class Char>
struct ValueToken {
    const Char* text;
    std::size_t length;
    bool mapped;
    std::size_t tokenLength;
};

// Hands the values of the value text at p to `visit` in order until it
// returns false. False when a quote is not closed: the values before it were
// visited. The one tokenizer of the value grammar: splitting, counting and
// reading a single value all go through it.
template <class Char, class Visit>
inline bool ForEachValue(const Char* p, Visit&& visit) {
    while (*p != 0) {
        const Char* end;
        ValueToken<Char> token;
        if (static_cast<wchar_t>(*p) == kQuote) {
            const Char* close = FindClosingQuote(p);
            if (close == nullptr)
                return false;
            end = close + 1;
            token = {p + 1, static_cast<std::size_t>(close - (p + 1)), true, static_cast<std::size_t>(end - p)};
        } else {
            bool mapped = false;
            end = ScanBareToken(p, mapped);
            token = {p, static_cast<std::size_t>(end - p), mapped, static_cast<std::size_t>(end - p)};
        }
        if (!visit(token))
            return true;
        if (*end == 0)
            break;
        // Exactly one character after the token is skipped, whatever it is:
        // "ab"cd gives ab and d.
        p = SkipBlank(end + 1);
    }
    return true;
}

// The number of values of the value text at p; false for a quote that is not closed.
template <class Char>
inline bool CountValues(const Char* p, unsigned& count) {
    count = 0;
    return ForEachValue(p, [&count](const ValueToken<Char>&) {
        ++count;
        return true;
    });
}

// A value's text as SplitValues stores it: '§' is the file's double quote,
// and a value never holds a line end.
template <class Char>
inline void CopyMapped(wchar_t* out, const Char* text, std::size_t length, bool mapped) {
    if (mapped) {
        for (std::size_t i = 0; i < length; ++i) {
            wchar_t c = static_cast<wchar_t>(text[i]);
            if (c == kQuoteStandIn)
                c = kQuote;
            else if (c == L'\n')
                c = kLineFeedStandIn;
            else if (c == L'\r')
                c = kCarriageStandIn;
            out[i] = c;
        }
    } else {
        // Values are mostly a few characters: a plain loop beats a call.
        for (std::size_t i = 0; i < length; ++i)
            out[i] = static_cast<wchar_t>(text[i]);
    }
    out[length] = L'\0';
}

// Into the scratch room of a value read straight from the line.
template <class Char, class Scratch>
const wchar_t* CopyValueText(const Char* text, std::size_t length, bool mapped, Scratch& scratch) {
    wchar_t* out = scratch.small;
    if (length >= std::size(scratch.small)) {
        scratch.large.resize(length);
        out = scratch.large.data();
    }
    CopyMapped(out, text, length, mapped);
    return out;
}

[[noreturn]] void ThrowUnterminated() {
    throw CResourceSeaException(L"String value not terminated ('\"' missing)", kSyntaxErrorCode);
}

}  // namespace

const wchar_t* CResourceEntry::NextNonSpace(const wchar_t* p) const {
    return SkipBlank(p);
}

const wchar_t* CResourceEntry::NextTokenEnd(const wchar_t* p) const {
    if (*p == L'\0')
        return p;
    if (*p == kQuote) {
        const wchar_t* close = FindClosingQuote(p);
        if (close == nullptr)
            ThrowUnterminated();
        return close + 1;
    }
    bool hasStandIn = false;
    return ScanBareToken(p, hasStandIn);
}

unsigned CResourceEntry::ZeileWerteZerlegen() {
    // Appends behind the values the entry has, including those still in its line.
    SettleValues();
    return SplitValues();
}

inline unsigned CResourceEntry::SplitValues() const {
    auto split = [this](const auto* p) {
        return ForEachValue(p, [this](const auto& token) {
            ValueBuffer value = TakeValueBuffer(static_cast<unsigned>(token.tokenLength) + 1);
            CopyMapped(value.first, token.text, token.length, token.mapped);
            try {
                m_values.push_back(value);
            } catch (...) {
                GiveBackValueBuffer(value);
                throw;
            }
            return true;
        });
    };
    if (!(IsNarrow() ? split(m_valuePart.narrow) : split(m_valuePart.wide)))
        ThrowUnterminated();  // the values before the open quote stay
    return m_values.size();
}

unsigned CResourceEntry::PendingValueCount() const {
    unsigned count = 0;
    // Checked when the line was assigned.
    if (IsNarrow())
        CountValues(m_valuePart.narrow, count);
    else
        CountValues(m_valuePart.wide, count);
    return count;
}

const wchar_t* CResourceEntry::EintragText(unsigned index, ValueScratch& scratch) const {
    if (!m_valuesPending)
        return EintragText(index);
    SetAccessed();
    const wchar_t* found = nullptr;
    auto find = [&](const auto* p) {
        unsigned i = 0;
        ForEachValue(p, [&](const auto& token) {
            if (i++ != index)
                return true;
            found = CopyValueText(token.text, token.length, token.mapped, scratch);
            return false;
        });
    };
    if (IsNarrow())
        find(m_valuePart.narrow);
    else
        find(m_valuePart.wide);
    return found;
}

void CResourceEntry::SplitPendingValues() const {
    m_valuesPending = false;
    const unsigned before = m_values.size();
    try {
        SplitValues();
    } catch (...) {
        for (unsigned i = m_values.size(); i-- > before;)
            GiveBackValueBuffer(m_values[i]);
        m_values.erase(before, m_values.size() - before);
        m_valuesPending = true;
        throw;
    }
}

unsigned CResourceEntry::ZeileZerlegen() {
    // Values present stay, and the new ones follow them.
    SettleValues();
    m_namePending = false;
    m_name.Clear();
    m_status &= ~kParsedBits;

    MakeWide();
    const wchar_t* const line = m_line.wide;
    const wchar_t* c = SkipBlank(line);
    m_valuePart.wide = c;
    if (*c == L'\0' || *c == L';') {
        m_status |= StatusComment | StatusAccessed;
        if (*c == L';')
            m_valuePart.wide = SkipBlank(c + 1);
        return 0;
    }
    if (*c == L':') {
        m_status |= kFailedLineBits;
        throw CResourceSeaException(L"Empty identifier (name before ':' missing)", kSyntaxErrorCode);
    }

    if (IsListLine()) {
        if (*c == L'}') {
            m_status |= StatusListEnd;
            return 0;
        }
        // All of a list line is value text; a ':' in it is an ordinary character.
    } else {
        const wchar_t* colon = c;
        while (*colon != L'\0' && *colon != L':')
            ++colon;
        // "C:\..." starts a path, not a name.
        if (*colon == L'\0' || colon[1] == L'\\') {
            m_status |= kFailedLineBits;
            throw CResourceSeaException(L"No identifier (':' missing)", kSyntaxErrorCode);
        }
        if (*c == L'}') {
            m_status |= kFailedLineBits;
            throw CResourceSeaException(L"Orphan list end ('}' with no matching '{')", kSyntaxErrorCode);
        }
        const auto offset = static_cast<std::size_t>(c - line);
        const auto length = static_cast<std::size_t>(colon - c);
        if (offset <= 0xFFFF && length <= 0xFFFF) {
            // Left in the line until someone asks for it as a string.
            m_namePending = true;
            m_nameOffset = static_cast<std::uint16_t>(offset);
            m_nameLength = static_cast<std::uint16_t>(length);
        } else {
            m_name.Assign(c, length);
        }
        const wchar_t* values = SkipBlank(colon + 1);
        m_valuePart.wide = values;
        if (*values == L'{') {
            m_status |= StatusListEntry;
            if (*SkipBlank(values + 1) == L'+')
                m_status |= StatusListContinued;
            return 0;
        }
    }

    unsigned count = 0;
    if (m_values.empty() && CountValues(m_valuePart.wide, count)) {
        m_valuesPending = count > 0;
        return count;
    }
    // A bad line keeps the values before its fault, as it always has.
    try {
        return SplitValues();
    } catch (const CResourceSeaException&) {
        m_status |= kFailedLineBits;
        throw;
    }
}
