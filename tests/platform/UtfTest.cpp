// The UTF-16 and UTF-8 codecs: boundary characters, every scalar value, and malformed input.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "kelvaro/platform/Utf.h"

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int v : values)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

// UTF-16BE from UTF-16LE: each pair of bytes swapped.
std::string Swapped(std::string bytes)
{
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

TEST(Utf, EncodesBoundaryCharacters)
{
    const struct { unsigned code; std::string le, utf8; } cases[] = {
        {0x41, Bytes({0x41, 0}), "A"},
        {0x7F, Bytes({0x7F, 0}), Bytes({0x7F})},
        {0x80, Bytes({0x80, 0}), Bytes({0xC2, 0x80})},
        {0x7FF, Bytes({0xFF, 0x07}), Bytes({0xDF, 0xBF})},
        {0x800, Bytes({0x00, 0x08}), Bytes({0xE0, 0xA0, 0x80})},
        {0x20AC, Bytes({0xAC, 0x20}), Bytes({0xE2, 0x82, 0xAC})},
        {0xFFFF, Bytes({0xFF, 0xFF}), Bytes({0xEF, 0xBF, 0xBF})},
        {0x10000, Bytes({0x00, 0xD8, 0x00, 0xDC}), Bytes({0xF0, 0x90, 0x80, 0x80})},
        {0x1F600, Bytes({0x3D, 0xD8, 0x00, 0xDE}), Bytes({0xF0, 0x9F, 0x98, 0x80})},
        {0x10FFFF, Bytes({0xFF, 0xDB, 0xFF, 0xDF}), Bytes({0xF4, 0x8F, 0xBF, 0xBF})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << c.code);
        const std::wstring text(1, static_cast<wchar_t>(c.code));
        EXPECT_EQ(kelvaro::utf16::EncodeLE(text), c.le);
        EXPECT_EQ(kelvaro::utf16::EncodeBE(text), Swapped(c.le));
        EXPECT_EQ(kelvaro::utf8::Encode(text), c.utf8);
        EXPECT_EQ(kelvaro::utf16::DecodeLE(c.le), text);
        EXPECT_EQ(kelvaro::utf16::DecodeBE(Swapped(c.le)), text);
        EXPECT_EQ(kelvaro::utf8::Decode(c.utf8), text);
    }
}

TEST(Utf, EveryScalarValueRoundTrips)
{
    std::wstring all;
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF)
            all.push_back(static_cast<wchar_t>(c));
    EXPECT_EQ(kelvaro::utf16::DecodeLE(kelvaro::utf16::EncodeLE(all)), all);
    EXPECT_EQ(kelvaro::utf16::DecodeBE(kelvaro::utf16::EncodeBE(all)), all);
    EXPECT_EQ(kelvaro::utf8::Decode(kelvaro::utf8::Encode(all)), all);
}

TEST(Utf, NonScalarCharactersAreWrittenAsReplacement)
{
    const wchar_t bad[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDFFF), static_cast<wchar_t>(0x110000),
                           static_cast<wchar_t>(-1)};
    for (const wchar_t w : bad) {
        SCOPED_TRACE(static_cast<long>(w));
        const std::wstring text(1, w);
        EXPECT_EQ(kelvaro::utf16::EncodeLE(text), Bytes({0xFD, 0xFF}));
        EXPECT_EQ(kelvaro::utf16::EncodeBE(text), Bytes({0xFF, 0xFD}));
        EXPECT_EQ(kelvaro::utf8::Encode(text), Bytes({0xEF, 0xBF, 0xBD}));
    }
}

struct DecodeCase {
    const char* what;
    std::string bytes;
    std::wstring text;
};

const wchar_t R = kelvaro::kReplacementChar;

TEST(Utf, MalformedUtf16DecodesToReplacement)
{
    const DecodeCase cases[] = {
        {"odd final byte", Bytes({0x41, 0x00, 0x42}), {L'A', R}},
        {"single byte", Bytes({0x41}), {R}},
        {"lone high surrogate at the end", Bytes({0x41, 0x00, 0x3D, 0xD8}), {L'A', R}},
        {"lone low surrogate", Bytes({0x00, 0xDE, 0x41, 0x00}), {R, L'A'}},
        {"high surrogate followed by a letter", Bytes({0x3D, 0xD8, 0x41, 0x00}), {R, L'A'}},
        {"two high surrogates then a low one", Bytes({0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}), {R, wchar_t(0x1F600)}},
        {"high surrogate and an odd byte", Bytes({0x3D, 0xD8, 0x00}), {R, R}},
        {"reversed pair", Bytes({0x00, 0xDE, 0x3D, 0xD8}), {R, R}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(kelvaro::utf16::DecodeLE(c.bytes), c.text);
    }
}

TEST(Utf, MalformedUtf8DecodesToReplacement)
{
    const DecodeCase cases[] = {
        {"stray continuation byte", Bytes({0x41, 0x80, 0x42}), {L'A', R, L'B'}},
        {"overlong two-byte NUL", Bytes({0xC0, 0x80}), {R, R}},
        {"overlong three-byte", Bytes({0xE0, 0x80, 0x80}), {R, R, R}},
        {"encoded surrogate", Bytes({0xED, 0xA0, 0x80}), {R, R, R}},
        {"above U+10FFFF", Bytes({0xF4, 0x90, 0x80, 0x80}), {R, R, R, R}},
        {"F5 lead byte", Bytes({0xF5, 0x41}), {R, L'A'}},
        {"truncated at the end", Bytes({0x41, 0xE2, 0x82}), {L'A', R}},
        {"truncated before ASCII", Bytes({0xE2, 0x82, 0x41}), {R, L'A'}},
        {"truncated four-byte then valid", Bytes({0xF0, 0x9F, 0x98, 0xE2, 0x82, 0xAC}), {R, L'\u20AC'}},
        {"FF byte", Bytes({0xFF}), {R}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(kelvaro::utf8::Decode(c.bytes), c.text);
    }
}

} // namespace
