// Basic types of the framework layer that the rest of the library names as they stand.
// Kept in one small header so every part of the library agrees on their widths.
#pragma once

#include <cstdint>

using DWORD = unsigned long;
using UINT = unsigned;
using BYTE = unsigned char;

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// An RGB colour packed as 0x00BBGGRR, red in the low byte.
using COLORREF = unsigned long;

inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b)
{
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
inline constexpr BYTE GetRValue(COLORREF rgb) { return static_cast<BYTE>(rgb & 0xFFu); }
inline constexpr BYTE GetGValue(COLORREF rgb) { return static_cast<BYTE>((rgb >> 8) & 0xFFu); }
inline constexpr BYTE GetBValue(COLORREF rgb) { return static_cast<BYTE>((rgb >> 16) & 0xFFu); }

// Opaque iteration position of the lists and maps; null means the iteration is over.
struct __POSITION {};
using POSITION = __POSITION*;

// Marks "before the first element" for the maps' iteration.
#define BEFORE_START_POSITION (reinterpret_cast<POSITION>(static_cast<std::intptr_t>(-1)))
