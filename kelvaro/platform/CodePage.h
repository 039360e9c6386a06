// Windows code page 1252, the 8-bit encoding of seas that are not stored as UTF-16.
// Used by the file layer for 1252 files and by the entries' 8-bit conversion helpers.
// The five bytes the code page leaves undefined map to the code points of the same value
// (0x81 <-> U+0081 and so on), so every byte sequence decodes and encodes back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace kelvaro::cp1252 {

// The character that byte c stands for; never fails.
wchar_t ToWide(unsigned char c);

// The byte for w; false (out untouched) when the code page has no such character.
bool FromWide(wchar_t w, char& out);

std::wstring Decode(std::string_view bytes);

// Characters without a 1252 form become '?' and clear *lossless (when given); it is set
// to true otherwise.
std::string Encode(std::wstring_view text, bool* lossless = nullptr);

} // namespace kelvaro::cp1252
