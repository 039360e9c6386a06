// Test seas made to measure: the benchmarks read and write large ones, the
// round-trip tests walk many small odd ones. Every generated line is written
// back unchanged by a sea that reads it (names are unique, lists are closed),
// so the file bytes themselves are the expected result of a round trip.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kelvaro/platform/Utf.h"

namespace seagen {

struct Options {
    unsigned entries = 1000;     // named entries, list entries included
    unsigned commentEvery = 10;  // a comment line before every n-th entry (0: none)
    unsigned listEvery = 1000;   // every n-th entry is a list (0: none)
    unsigned listLines = 4;      // lines inside each list
    bool odd = false;            // mix in quoted, blank, non-ASCII and faulty lines
    bool cp1252Safe = false;     // only characters that code page 1252 can hold
    std::uint32_t seed = 1;
};

namespace detail {

// A small fixed generator: the same seed gives the same file everywhere.
class Random {
public:
    explicit Random(std::uint32_t seed) : m_state(seed * 2654435761u + 1u) {}
    std::uint32_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    unsigned Below(unsigned n) { return n == 0 ? 0 : Next() % n; }

private:
    std::uint32_t m_state;
};

inline void AppendNumber(std::wstring& out, unsigned value, unsigned width) {
    wchar_t digits[16];
    unsigned n = 0;
    do {
        digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (unsigned i = n; i < width; ++i) out.push_back(L'0');
    while (n > 0) out.push_back(digits[--n]);
}

}  // namespace detail

// Calls sink(const std::wstring&) for each line of the sea, in order, without line ends.
template <class Sink>
void GenerateLines(const Options& options, Sink&& sink) {
    detail::Random random(options.seed);
    std::wstring line;
    line.reserve(256);

    // Odd lines that read back as they are: comments, blank lines and lines
    // the parser rejects (kept as comments with their text).
    static const wchar_t* const kOddLines[] = {
        L"",
        L"   ",
        L"\t",
        L";",
        L"   ; indented comment",
        L"; comment with \"quotes\" and \u00A7 and tabs\t\tinside",
        L": 5",
        L"} x: 1",
        L"C:\\data: 1",
        L"no colon at all",
    };
    static const wchar_t* const kOddValues[] = {
        L"\"two words\"",
        L"\"\"",
        L"a\u00A7b",
        L"\"\tpadded\t\"",
        L"; not a comment",
        L"x:y",
        L"{ not a list head",
        L"caf\u00E9 na\u00EFve \u00FC\u00DF",
        L"\"ab\"cd",
        L"trailing   ",
    };
    static const wchar_t* const kWideValues[] = {
        L"\u0416\u0438\u0437\u043D\u044C",
        L"\u65E5\u672C\u8A9E",
        L"\U0001F600",
    };

    for (unsigned i = 0; i < options.entries; ++i) {
        if (options.commentEvery != 0 && i % options.commentEvery == 0) {
            line.assign(L"; comment ");
            detail::AppendNumber(line, i, 7);
            sink(line);
        }
        if (options.odd && random.Below(4) == 0) {
            sink(std::wstring(kOddLines[random.Below(sizeof kOddLines / sizeof *kOddLines)]));
            if (random.Below(3) == 0) {
                // An unterminated quote: a syntax error that keeps its name.
                line.assign(L"bad");
                detail::AppendNumber(line, i, 7);
                line.append(L": 1 \"open");
                sink(line);
            }
        }

        line.assign(L"key");
        detail::AppendNumber(line, i, 7);
        if (options.listEvery != 0 && i % options.listEvery == options.listEvery - 1) {
            line.append(L": {");
            sink(line);
            for (unsigned k = 0; k < options.listLines; ++k) {
                line.assign(L"\titem");
                detail::AppendNumber(line, k, 2);
                line.append(L" value ");
                detail::AppendNumber(line, random.Below(100000), 1);
                if (options.odd && k == 1) line = L"\t; a comment inside the list";
                sink(line);
            }
            line.assign(L"}");
            if (options.odd && random.Below(2) == 0) line.assign(L"  } \t;-- end");
            sink(line);
            continue;
        }
        line.append(L": ");
        detail::AppendNumber(line, random.Below(100000), 1);
        line.append(L" \"v ");
        detail::AppendNumber(line, i % 1000, 3);
        line.append(L"\" x");
        if (options.odd) {
            switch (random.Below(5)) {
                case 0:
                    line.push_back(L' ');
                    line.append(kOddValues[random.Below(sizeof kOddValues / sizeof *kOddValues)]);
                    break;
                case 1:
                    if (!options.cp1252Safe) {
                        line.push_back(L' ');
                        line.append(kWideValues[random.Below(sizeof kWideValues / sizeof *kWideValues)]);
                    }
                    break;
                case 2:
                    line.append(L"\t \t");  // trailing white space stays as read
                    break;
                default:
                    break;
            }
        }
        sink(line);
    }
}

inline std::vector<std::wstring> GenerateLines(const Options& options) {
    std::vector<std::wstring> lines;
    GenerateLines(options, [&lines](const std::wstring& line) { lines.push_back(line); });
    return lines;
}

// Appends one line in UTF-16LE (characters above U+FFFF as surrogate pairs) and CR LF.
inline void AppendUtf16Line(std::string& bytes, std::wstring_view line) {
    bytes += kelvaro::utf16::EncodeLE(line);
    bytes += kelvaro::utf16::EncodeLE(L"\r\n");
}

// UTF-16LE with byte-order mark, CR LF after every line.
inline std::string EncodeUtf16(const std::vector<std::wstring>& lines) {
    std::string bytes = "\xFF\xFE";
    for (const auto& line : lines) AppendUtf16Line(bytes, line);
    return bytes;
}

// Code page 1252 bytes for lines made by cp1252Safe options (all below U+0100
// except the few that 1252 places in 0x80-0x9F, which the generator never uses).
inline std::string Encode1252(const std::vector<std::wstring>& lines) {
    std::string bytes;
    for (const auto& line : lines) {
        for (wchar_t ch : line) bytes.push_back(static_cast<char>(static_cast<unsigned char>(ch)));
        bytes += "\r\n";
    }
    return bytes;
}

// The whole file in one go, for the large benchmark seas.
inline std::string GenerateUtf16File(const Options& options) {
    std::string bytes = "\xFF\xFE";
    GenerateLines(options, [&bytes](const std::wstring& line) { AppendUtf16Line(bytes, line); });
    return bytes;
}

}  // namespace seagen
