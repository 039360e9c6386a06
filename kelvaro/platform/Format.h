// The one formatter behind every message and every printf-style text of the library.
// It takes format strings written for the wide-character Windows runtime as they stand:
// `%s` is a wide string, `%S`/`%hs` an 8-bit string, `%I64x` a 64-bit and `%Ix` a
// pointer-sized number. CString::Format and everything that builds message texts use it.
//
// Conversions: %d %i %u %o %x %X with the sizes h hh l ll I64 I32 I z j t; %f %F %e %E %g %G
// %a %A (l ignored, L long double); %c %lc %wc (wide character, passed as int), %hc %C
// (8-bit character); %s %ls %ws (const wchar_t*), %hs %S (const char*, read as UTF-8 with
// invalid bytes taken as code page 1252); %p (pointer as upper-case hex digits, zero-padded
// to the pointer's width); %%. Flags "-+ #0", width and precision, also as `*`.
// A null string prints "(null)". Numbers always use the C locale.
// A conversion that is not in this list (also %n) is copied to the output literally and
// reads no argument. Widths and precisions above 65536 are clamped to 65536.
//
// FormatText and CString::Format / AppendFormat take their arguments through a template
// that hands a CString, std::wstring or std::string on as its character pointer, so
// `Format(L"%s", name)` works with a CString name; any other class argument (which a C
// ellipsis would garble) does not compile. The va_list forms cannot check this.
#pragma once

#include <cstdarg>
#include <string>
#include <type_traits>

class CString;

namespace kelvaro {
namespace detail {

template <class T>
constexpr const T& FormatArg(const T& value) noexcept
{
    static_assert(std::is_scalar_v<T> || std::is_array_v<T>,
                  "format arguments are numbers, characters, pointers and strings "
                  "(CString, std::wstring, std::string)");
    return value;
}
const wchar_t* FormatArg(const CString& text) noexcept;
inline const wchar_t* FormatArg(const std::wstring& text) noexcept { return text.c_str(); }
inline const char* FormatArg(const std::string& text) noexcept { return text.c_str(); }

std::wstring FormatTextRaw(const wchar_t* fmt, ...);

} // namespace detail

template <class... Args>
std::wstring FormatText(const wchar_t* fmt, const Args&... args)
{
    return detail::FormatTextRaw(fmt, detail::FormatArg(args)...);
}

std::wstring FormatTextV(const wchar_t* fmt, va_list args);

// Appends the formatted text to out; a null fmt appends nothing.
void AppendFormatV(std::wstring& out, const wchar_t* fmt, va_list args);

} // namespace kelvaro
