#include "kelvaro/platform/Format.h"

#include "kelvaro/platform/CodePage.h"

#include <locale.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string_view>

namespace kelvaro {
namespace {

constexpr int kMaxWidth = 65536;

enum class Size { None, hh, h, l, ll, L, I64, I32, I, z, j, t, w };

// Numbers must not pick up a decimal comma from whatever locale the application set;
// the switch is per thread and only made when a number is formatted.
class CNumberLocale {
public:
    CNumberLocale() = default;
    CNumberLocale(const CNumberLocale&) = delete;
    CNumberLocale& operator=(const CNumberLocale&) = delete;
    ~CNumberLocale()
    {
        if (m_switched)
            uselocale(m_old);
    }
    void Ensure()
    {
        if (m_switched)
            return;
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (cLocale == static_cast<locale_t>(nullptr))
            return;
        m_old = uselocale(cLocale);
        m_switched = true;
    }

private:
    locale_t m_old{};
    bool m_switched = false;
};

struct Directive {
    std::wstring flags;
    int width = -1;
    int precision = -1;
    Size size = Size::None;
    wchar_t conversion = 0;
};

// Text to hand on in a normalised directive; only the flags the conversion defines are kept,
// so nothing undefined reaches swprintf.
std::wstring BuildDirective(const Directive& conv, std::wstring_view allowedFlags, bool withPrecision,
                       std::wstring_view size, wchar_t conversion)
{
    std::wstring text = L"%";
    for (wchar_t f : conv.flags)
        if (allowedFlags.find(f) != std::wstring_view::npos && text.find(f) == std::wstring::npos)
            text += f;
    if (conv.width >= 0)
        text += std::to_wstring(conv.width);
    if (withPrecision && conv.precision >= 0) {
        text += L'.';
        text += std::to_wstring(conv.precision);
    }
    text += size;
    text += conversion;
    return text;
}

// Formats one value with swprintf straight into out, growing the room until it fits.
template <class T>
bool Emit(std::wstring& out, const std::wstring& directive, std::size_t hint, T value)
{
    const std::size_t old = out.size();
    std::size_t room = std::max<std::size_t>(hint + 1, 64);
    const std::size_t limit = room + 2 * kMaxWidth + 8192;
    for (;;) {
        out.resize(old + room);
        const int n = std::swprintf(out.data() + old, room, directive.c_str(), value);
        if (n >= 0 && static_cast<std::size_t>(n) < room) {
            out.resize(old + static_cast<std::size_t>(n));
            return true;
        }
        if (room > limit) {
            out.resize(old);
            return false;
        }
        room *= 2;
    }
}

std::size_t NumberHint(const Directive& conv)
{
    return static_cast<std::size_t>(std::max(conv.width, 0)) +
           static_cast<std::size_t>(std::max(conv.precision, 0)) + 64;
}

// 8-bit text from the rest of the system is UTF-8 on this platform; bytes that do not
// form UTF-8 are taken as code page 1252 so that nothing is lost or rejected.
std::wstring DecodeNarrow(const char* text, std::size_t length)
{
    std::wstring result;
    result.reserve(length);
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < length) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            result += static_cast<wchar_t>(c);
            ++i;
            continue;
        }
        std::size_t extra = 0;
        std::uint32_t code = 0;
        std::uint32_t minimum = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, code = c & 0x1Fu, minimum = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, code = c & 0x0Fu, minimum = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, code = c & 0x07u, minimum = 0x10000;
        }
        bool ok = extra > 0;
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            if (i + k >= length || (s[i + k] & 0xC0u) != 0x80u)
                ok = false;
            else
                code = (code << 6) | (s[i + k] & 0x3Fu);
        }
        if (ok && (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            ok = false;
        if (ok) {
            result += static_cast<wchar_t>(code);
            i += extra + 1;
        } else {
            result += cp1252::ToWide(c);
            ++i;
        }
    }
    return result;
}

bool IsWideText(const Directive& conv)
{
    if (conv.conversion == L's' || conv.conversion == L'c')
        return conv.size == Size::None || conv.size == Size::l || conv.size == Size::w;
    return conv.size == Size::l || conv.size == Size::w; // %S, %C: wide only when asked
}

bool IsNarrowText(const Directive& conv)
{
    if (conv.conversion == L's' || conv.conversion == L'c')
        return conv.size == Size::h;
    return conv.size == Size::None || conv.size == Size::h;
}

bool FormatString(std::wstring& out, const Directive& conv, va_list& ap)
{
    const bool wide = IsWideText(conv);
    if (!wide && !IsNarrowText(conv))
        return false;
    std::wstring decoded;
    const wchar_t* text = nullptr;
    std::size_t length = 0;
    if (wide) {
        text = va_arg(ap, const wchar_t*);
        if (text != nullptr) {
            // With a precision the text need not be terminated; never read past it.
            length = conv.precision >= 0 ? wcsnlen(text, static_cast<std::size_t>(conv.precision))
                                         : std::wcslen(text);
            if (conv.precision >= 0) {
                decoded.assign(text, length);
                text = decoded.c_str();
            }
        }
    } else {
        const char* narrow = va_arg(ap, const char*);
        if (narrow != nullptr) {
            const std::size_t bytes = conv.precision >= 0
                ? strnlen(narrow, static_cast<std::size_t>(conv.precision))
                : std::strlen(narrow);
            decoded = DecodeNarrow(narrow, bytes);
            text = decoded.c_str();
            length = decoded.size();
        }
    }
    if (text == nullptr) {
        text = L"(null)";
        length = 6;
    }
    const std::size_t hint = std::max(length, static_cast<std::size_t>(std::max(conv.width, 0)));
    return Emit(out, BuildDirective(conv, L"-", true, L"l", L's'), hint, text);
}

bool FormatChar(std::wstring& out, const Directive& conv, va_list& ap)
{
    const bool wide = IsWideText(conv);
    if (!wide && !IsNarrowText(conv))
        return false;
    const int value = va_arg(ap, int);
    const wchar_t ch = wide ? static_cast<wchar_t>(value) : cp1252::ToWide(static_cast<unsigned char>(value));
    // Placed by hand: swprintf refuses some values (WEOF), and a character is never refused.
    const std::size_t pad = conv.width > 1 ? static_cast<std::size_t>(conv.width - 1) : 0;
    const bool left = conv.flags.find(L'-') != std::wstring::npos;
    if (!left)
        out.append(pad, L' ');
    out += ch;
    if (left)
        out.append(pad, L' ');
    return true;
}

bool FormatSigned(std::wstring& out, const Directive& conv, va_list& ap)
{
    const std::wstring_view flags = L"-+ 0";
    const std::size_t hint = NumberHint(conv);
    switch (conv.size) {
    case Size::None:
    case Size::I32:
        return Emit(out, BuildDirective(conv, flags, true, L"", L'd'), hint, va_arg(ap, int));
    case Size::h:
        return Emit(out, BuildDirective(conv, flags, true, L"h", L'd'), hint, va_arg(ap, int));
    case Size::hh:
        return Emit(out, BuildDirective(conv, flags, true, L"hh", L'd'), hint, va_arg(ap, int));
    case Size::l:
        return Emit(out, BuildDirective(conv, flags, true, L"l", L'd'), hint, va_arg(ap, long));
    case Size::ll:
    case Size::I64:
        return Emit(out, BuildDirective(conv, flags, true, L"ll", L'd'), hint, va_arg(ap, long long));
    case Size::I:
    case Size::z:
    case Size::t:
        return Emit(out, BuildDirective(conv, flags, true, L"t", L'd'), hint, va_arg(ap, std::ptrdiff_t));
    case Size::j:
        return Emit(out, BuildDirective(conv, flags, true, L"j", L'd'), hint, va_arg(ap, std::intmax_t));
    default:
        return false;
    }
}

bool FormatUnsigned(std::wstring& out, const Directive& conv, va_list& ap)
{
    // '#' is defined for octal and hex only.
    const std::wstring_view flags = conv.conversion == L'u' ? L"-0" : L"-0#";
    const wchar_t c = conv.conversion;
    const std::size_t hint = NumberHint(conv);
    switch (conv.size) {
    case Size::None:
    case Size::I32:
        return Emit(out, BuildDirective(conv, flags, true, L"", c), hint, va_arg(ap, unsigned));
    case Size::h:
        return Emit(out, BuildDirective(conv, flags, true, L"h", c), hint, va_arg(ap, unsigned));
    case Size::hh:
        return Emit(out, BuildDirective(conv, flags, true, L"hh", c), hint, va_arg(ap, unsigned));
    case Size::l:
        return Emit(out, BuildDirective(conv, flags, true, L"l", c), hint, va_arg(ap, unsigned long));
    case Size::ll:
    case Size::I64:
        return Emit(out, BuildDirective(conv, flags, true, L"ll", c), hint, va_arg(ap, unsigned long long));
    case Size::I:
    case Size::z:
    case Size::t:
        return Emit(out, BuildDirective(conv, flags, true, L"z", c), hint, va_arg(ap, std::size_t));
    case Size::j:
        return Emit(out, BuildDirective(conv, flags, true, L"j", c), hint, va_arg(ap, std::uintmax_t));
    default:
        return false;
    }
}

bool FormatFloat(std::wstring& out, const Directive& conv, va_list& ap)
{
    const std::wstring_view flags = L"-+ #0";
    // Fixed notation of a huge number has up to 4933 digits before the point.
    const std::size_t hint = NumberHint(conv) + (conv.conversion == L'f' || conv.conversion == L'F' ? 320 : 0);
    switch (conv.size) {
    case Size::None:
    case Size::l:
        return Emit(out, BuildDirective(conv, flags, true, L"", conv.conversion), hint, va_arg(ap, double));
    case Size::L:
        return Emit(out, BuildDirective(conv, flags, true, L"L", conv.conversion), hint, va_arg(ap, long double));
    default:
        return false;
    }
}

bool FormatPointer(std::wstring& out, const Directive& conv, va_list& ap)
{
    if (conv.size != Size::None)
        return false;
    const void* pointer = va_arg(ap, const void*);
    wchar_t digits[2 * sizeof(void*) + 1];
    std::swprintf(digits, std::size(digits), L"%0*llX", static_cast<int>(2 * sizeof(void*)),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    Directive text = conv;
    text.precision = -1;
    const std::size_t hint = std::max<std::size_t>(std::size(digits), static_cast<std::size_t>(std::max(conv.width, 0)));
    return Emit(out, BuildDirective(text, L"-", false, L"l", L's'), hint, static_cast<const wchar_t*>(digits));
}

int ReadNumber(const wchar_t*& p)
{
    long long value = 0;
    while (*p >= L'0' && *p <= L'9') {
        value = std::min<long long>(value * 10 + (*p - L'0'), kMaxWidth);
        ++p;
    }
    return static_cast<int>(value);
}

Size ReadSize(const wchar_t*& p)
{
    switch (*p) {
    case L'h':
        if (p[1] == L'h') {
            p += 2;
            return Size::hh;
        }
        ++p;
        return Size::h;
    case L'l':
        if (p[1] == L'l') {
            p += 2;
            return Size::ll;
        }
        ++p;
        return Size::l;
    case L'I':
        if (p[1] == L'6' && p[2] == L'4') {
            p += 3;
            return Size::I64;
        }
        if (p[1] == L'3' && p[2] == L'2') {
            p += 3;
            return Size::I32;
        }
        ++p;
        return Size::I;
    case L'L': ++p; return Size::L;
    case L'z': ++p; return Size::z;
    case L'j': ++p; return Size::j;
    case L't': ++p; return Size::t;
    case L'w': ++p; return Size::w;
    default: return Size::None;
    }
}

} // namespace

void AppendFormatV(std::wstring& out, const wchar_t* fmt, va_list args)
{
    if (fmt == nullptr)
        return;
    va_list ap;
    va_copy(ap, args);
    CNumberLocale numberLocale;
    const wchar_t* p = fmt;
    while (*p != L'\0') {
        const wchar_t* percent = std::wcschr(p, L'%');
        if (percent == nullptr) {
            out.append(p);
            break;
        }
        out.append(p, percent);
        const wchar_t* q = percent + 1;
        if (*q == L'%') {
            out += L'%';
            p = q + 1;
            continue;
        }
        Directive conv;
        while (*q != L'\0' && std::wcschr(L"-+ #0", *q) != nullptr)
            conv.flags += *q++;
        if (*q == L'*') {
            const int width = va_arg(ap, int);
            if (width < 0) {
                conv.flags += L'-'; // a negative width asks for left alignment
                conv.width = width < -kMaxWidth ? kMaxWidth : -width;
            } else {
                conv.width = std::min(width, kMaxWidth);
            }
            ++q;
        } else if (*q >= L'0' && *q <= L'9') {
            conv.width = ReadNumber(q);
        }
        if (*q == L'.') {
            ++q;
            if (*q == L'*') {
                const int precision = va_arg(ap, int);
                conv.precision = precision < 0 ? -1 : std::min(precision, kMaxWidth);
                ++q;
            } else {
                conv.precision = ReadNumber(q);
            }
        }
        conv.size = ReadSize(q);
        conv.conversion = *q;
        if (conv.conversion == L'\0') {
            out.append(percent); // an unfinished directive at the end stays as written
            break;
        }
        ++q;
        bool done = false;
        switch (conv.conversion) {
        case L's':
        case L'S':
            done = FormatString(out, conv, ap);
            break;
        case L'c':
        case L'C':
            done = FormatChar(out, conv, ap);
            break;
        case L'd':
        case L'i':
            numberLocale.Ensure();
            done = FormatSigned(out, conv, ap);
            break;
        case L'u':
        case L'o':
        case L'x':
        case L'X':
            numberLocale.Ensure();
            done = FormatUnsigned(out, conv, ap);
            break;
        case L'f':
        case L'F':
        case L'e':
        case L'E':
        case L'g':
        case L'G':
        case L'a':
        case L'A':
            numberLocale.Ensure();
            done = FormatFloat(out, conv, ap);
            break;
        case L'p':
            done = FormatPointer(out, conv, ap);
            break;
        default:
            break;
        }
        if (!done)
            out.append(percent, q);
        p = q;
    }
    va_end(ap);
}

std::wstring FormatTextV(const wchar_t* fmt, va_list args)
{
    std::wstring out;
    AppendFormatV(out, fmt, args);
    return out;
}

std::wstring detail::FormatTextRaw(const wchar_t* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::wstring out;
    AppendFormatV(out, fmt, args);
    va_end(args);
    return out;
}

} // namespace kelvaro
