// Kelvaro: the stream form of one value text. Tools and modules that write
// values to a wide stream, or read them back word by word, use these so that
// empty texts and texts with white space survive the trip as one token.
// Bring them in with `using ResourceSea::operator<<;` (and `>>`).
#pragma once

#include <cwctype>
#include <istream>
#include <ostream>
#include <string>

#include "kelvaro/entry/ValueGrammar.h"
#include "kelvaro/platform/CString.h"

namespace ResourceSea {

namespace detail {

// The line grammar's white space, so a token ends where a value in a line would.
inline bool IsStreamSpace(wchar_t ch) { return kelvaro::grammar::IsWhite(ch); }

}  // namespace detail

// Writes `text` as one token: "" for an empty text, the text between double
// quotes when it holds white space (quotes inside are not escaped), else as it is.
template <class Traits>
std::basic_ostream<wchar_t, Traits>& operator<<(std::basic_ostream<wchar_t, Traits>& out,
                                                const CString& text) {
    const std::wstring& s = text.Str();
    bool quote = s.empty();
    for (wchar_t ch : s) {
        if (detail::IsStreamSpace(ch)) {
            quote = true;
            break;
        }
    }
    if (quote) out.put(L'"');
    out.write(s.data(), static_cast<std::streamsize>(s.size()));
    if (quote) out.put(L'"');
    return out;
}

// Reads one token into `text` (emptied first): after leading white space,
// either the characters up to the next double quote when the token starts with
// one (both quotes consumed, not stored), or the characters up to the next
// white space (consumed). A stream that holds no token leaves `text` empty and
// gets failbit, so `while (in >> text)` ends at the last token.
template <class Traits>
std::basic_istream<wchar_t, Traits>& operator>>(std::basic_istream<wchar_t, Traits>& in,
                                                CString& text) {
    using Stream = std::basic_istream<wchar_t, Traits>;
    text.Empty();
    typename Stream::sentry guard(in, true);  // we skip white space ourselves, by iswspace
    if (!guard) return in;

    auto* buffer = in.rdbuf();
    const auto eof = Traits::eof();
    auto c = buffer->sgetc();
    while (!Traits::eq_int_type(c, eof) && detail::IsStreamSpace(Traits::to_char_type(c)))
        c = buffer->snextc();
    if (Traits::eq_int_type(c, eof)) {
        in.setstate(Stream::eofbit | Stream::failbit);
        return in;
    }

    std::wstring& s = text.Str();
    if (Traits::to_char_type(c) == L'"') {
        for (c = buffer->snextc(); !Traits::eq_int_type(c, eof); c = buffer->snextc()) {
            wchar_t ch = Traits::to_char_type(c);
            if (ch == L'"') {
                buffer->sbumpc();
                return in;
            }
            s.push_back(ch);
        }
        in.setstate(Stream::eofbit);  // an unterminated quote keeps what it read
        return in;
    }
    for (; !Traits::eq_int_type(c, eof); c = buffer->snextc()) {
        wchar_t ch = Traits::to_char_type(c);
        if (detail::IsStreamSpace(ch)) {
            buffer->sbumpc();
            return in;
        }
        s.push_back(ch);
    }
    in.setstate(Stream::eofbit);
    return in;
}

}  // namespace ResourceSea
