#include "kelvaro/platform/Utf.h"

namespace kelvaro::utf16 {
namespace {

template <bool BigEndian>
std::string Encode(std::wstring_view text)
{
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const wchar_t w : text)
        AppendOne<BigEndian>(bytes, w);
    return bytes;
}

template <bool BigEndian>
std::wstring Decode(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size() / 2 + 1);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        wchar_t w;
        p += DecodeOne<BigEndian>(p, end, w);
        text.push_back(w);
    }
    return text;
}

} // namespace

std::string EncodeLE(std::wstring_view text) { return Encode<false>(text); }
std::string EncodeBE(std::wstring_view text) { return Encode<true>(text); }
std::wstring DecodeLE(std::string_view bytes) { return Decode<false>(bytes); }
std::wstring DecodeBE(std::string_view bytes) { return Decode<true>(bytes); }

} // namespace kelvaro::utf16

namespace kelvaro::utf8 {

std::string Encode(std::wstring_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t w : text)
        AppendOne(bytes, w);
    return bytes;
}

std::wstring Decode(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        wchar_t w;
        p += DecodeOne(p, end, w);
        text.push_back(w);
    }
    return text;
}

} // namespace kelvaro::utf8
