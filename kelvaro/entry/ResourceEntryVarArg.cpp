// Several values of an entry at once through a short format string
// ("%d %lf %s"): the sea's format-string lookups hand their argument lists
// here. Each element stands for one value, in order; conversions and text
// forms are those of the typed readers and writers, which do the work.
//
// "%c" and "%lc" stand for a wchar_t object on both sides, read and write: the
// sea's Lookup passes one pointer to either, so both must agree on its width.
// Reading stores the value's decimal integer (saturated to int; wchar_t is a
// signed 32-bit type here, so it holds every int); writing stores the
// object's value with "%d". A value read and written back keeps its text.
//
// A string element may carry a width, "%255s": the caller's buffer then holds
// 255 characters and the terminator. Reading copies at most that many and
// always terminates, so a long value is cut rather than written past the
// buffer; writing reads at most that many characters of the string, so the
// same buffer serves Lookup either way. Plain "%s" stays unbounded for the
// callers that have always used it: their buffer must hold the whole value.
#include <cwchar>
#include <cwctype>
#include <stdexcept>
#include <string>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/CoreLib.h"

static_assert(sizeof(wchar_t) == sizeof(int) && static_cast<wchar_t>(-1) < 0,
              "\"%c\" values are stored as int in a wchar_t object");

namespace {

constexpr unsigned kFormatCode = 5;

enum ElementType : int { kString = 0, kChar = 1, kInt = 2, kLong = 3, kFloat = 4, kDouble = 5, kHex = 6 };

// As scanf takes widths: an int, and 0 is no width but a fault.
constexpr unsigned long long kMaxStringWidth = 0x7FFFFFFF;

// The width digits of an element ("%255s"), read from just after its '%'.
// `digits` is false when there are none; the width is 0 for one out of range.
struct Width {
    const wchar_t* after;
    unsigned width;
    bool digits;
};

Width ReadWidth(const wchar_t* p) {
    Width result{p, 0, false};
    unsigned long long value = 0;
    for (; *result.after >= L'0' && *result.after <= L'9'; ++result.after) {
        result.digits = true;
        if (value <= kMaxStringWidth)
            value = value * 10 + static_cast<unsigned long long>(*result.after - L'0');
    }
    if (value >= 1 && value <= kMaxStringWidth)
        result.width = static_cast<unsigned>(value);
    return result;
}

// The width of a string element the decoder accepted; 0 for plain "%s".
unsigned StringWidth(const wchar_t* element) {
    return ReadWidth(element + 1).width;
}

// The string argument of a writing element, read no further than its width.
std::wstring BoundedText(const wchar_t* text, unsigned width) {
    if (text == nullptr)
        return std::wstring();
    return width == 0 ? std::wstring(text) : std::wstring(text, wcsnlen(text, width));
}

const wchar_t* SkipSpace(const wchar_t* p) { return kelvaro::grammar::SkipWhite(p); }

// Past the rest of the element and the white space after it.
const wchar_t* NextElement(const wchar_t* p) {
    return SkipSpace(skip_non_white_space(p));
}

// Ends a va_list copy on every way out, exceptions included.
class ArgumentList {
public:
    explicit ArgumentList(va_list args) { va_copy(m_args, args); }
    ~ArgumentList() { va_end(m_args); }
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;

    template <class T>
    T Next() {
        return va_arg(m_args, T);
    }
    // A pointer argument that is read or written through; a null one is a
    // caller's fault reported as such, never dereferenced.
    template <class T>
    T* NextTarget() {
        T* target = va_arg(m_args, T*);
        if (target == nullptr)
            throw std::invalid_argument("CResourceEntry: null pointer argument for a format element");
        return target;
    }

private:
    va_list m_args;
};

}  // namespace

int CResourceEntry::FormatInterpretieren(const wchar_t* element) const {
    if (element == nullptr || element[0] != L'%')
        throw CResourceSeaException::Formatted(
            kFormatCode, L"Resource entry %s:\nInvalid Lookup() format string element (>>'%s')",
            Name().GetString(), element != nullptr ? element : L"");
    const Width width = ReadWidth(element + 1);
    const wchar_t* p = width.after;
    const bool wide = *p == L'l';
    const wchar_t type = wide ? p[1] : *p;
    if (width.digits) {
        // Only a string has a buffer whose size matters.
        if (type != L's')
            throw CResourceSeaException::Formatted(kFormatCode,
                                                   L"Resource entry %s:\nUnknown Lookup() format type (>>'%s')",
                                                   Name().GetString(), element);
        if (width.width == 0)
            throw CResourceSeaException::Formatted(
                kFormatCode, L"Resource entry %s:\nInvalid Lookup() string width, 1 to %d (>>'%s')",
                Name().GetString(), static_cast<int>(kMaxStringWidth), element);
        return kString;
    }
    switch (type) {
    case L's':
        return kString;
    case L'c':
        return kChar;
    case L'd':
        return wide ? kLong : kInt;
    case L'f':
        return wide ? kDouble : kFloat;
    case L'x':
        return kHex;
    default:
        throw CResourceSeaException::Formatted(kFormatCode,
                                               L"Resource entry %s:\nUnknown Lookup() format type (>>'%s')",
                                               Name().GetString(), element);
    }
}

// The pointer of an element is taken once the element is known, so that it is
// read from the list with its own type.
void CResourceEntry::GetVarArgP(unsigned start, const wchar_t* format, va_list args) const {
    if (format == nullptr)
        return;
    SettleValues();
    ArgumentList list(args);
    unsigned index = start;
    for (const wchar_t* element = SkipSpace(format); *element != L'\0'; element = NextElement(element), ++index) {
        SetAccessed();
        if (index >= NValues() || m_values[index].first == nullptr)
            return;  // the remaining targets keep their contents
        switch (FormatInterpretieren(element)) {
        case kString: {
            wchar_t* target = list.NextTarget<wchar_t>();
            const wchar_t* text = EintragText(index);
            const unsigned width = StringWidth(element);
            if (width == 0) {
                // Unbounded, as "%s" of the standard scanners: the buffer must
                // hold the value text and its terminator.
                std::wcscpy(target, text);
                break;
            }
            const std::size_t length = wcsnlen(text, width);
            std::wmemcpy(target, text, length);
            target[length] = L'\0';
            break;
        }
        case kChar:
            *list.NextTarget<wchar_t>() = static_cast<wchar_t>(GetInt(index));
            break;
        case kInt:
            *list.NextTarget<int>() = GetInt(index);
            break;
        case kLong:
            *list.NextTarget<long>() = GetLong(index);
            break;
        case kFloat:
            *list.NextTarget<float>() = GetFloat(index);
            break;
        case kDouble:
            *list.NextTarget<double>() = GetDouble(index);
            break;
        case kHex:
            *list.NextTarget<unsigned long>() = GetAddress(index);
            break;
        }
    }
}

// "%s" takes the string itself as its pointer; a null string is written as
// the empty text, as SetText does. A width bounds how much of it is read.
void CResourceEntry::SetVarArgP(const wchar_t* format, va_list args) {
    if (format == nullptr)
        return;
    ArgumentList list(args);
    unsigned index = 0;
    for (const wchar_t* element = SkipSpace(format); *element != L'\0'; element = NextElement(element), ++index) {
        switch (FormatInterpretieren(element)) {
        case kString:
            SetText(BoundedText(list.Next<const wchar_t*>(), StringWidth(element)).c_str(), index);
            break;
        case kChar:
            SetInt(static_cast<int>(*list.NextTarget<const wchar_t>()), index);
            break;
        case kInt:
            SetInt(*list.NextTarget<const int>(), index);
            break;
        case kLong:
            SetLong(*list.NextTarget<const long>(), index);
            break;
        case kFloat:
            SetFloat(*list.NextTarget<const float>(), index);
            break;
        case kDouble:
            SetDouble(*list.NextTarget<const double>(), index);
            break;
        case kHex:
            SetAddress(*list.NextTarget<const unsigned long>(), index);
            break;
        }
    }
}

void CResourceEntry::SetVarArg(const wchar_t* format, va_list args) {
    if (format == nullptr)
        return;
    ArgumentList list(args);
    unsigned index = 0;
    for (const wchar_t* element = SkipSpace(format); *element != L'\0'; element = NextElement(element), ++index) {
        switch (FormatInterpretieren(element)) {
        case kString:
            SetText(BoundedText(list.Next<const wchar_t*>(), StringWidth(element)).c_str(), index);
            break;
        case kChar:
            // A character passed by value reaches the list promoted, with no
            // trace of its width: refused.
            throw CResourceSeaException::Formatted(kFormatCode, L"Resource entry %s: Unknown data type",
                                                   Name().GetString());
        case kInt:
            SetInt(list.Next<int>(), index);
            break;
        case kLong:
            SetLong(list.Next<long>(), index);
            break;
        case kFloat:
            SetFloat(static_cast<float>(list.Next<double>()), index);  // promoted by the call
            break;
        case kDouble:
            SetDouble(list.Next<double>(), index);
            break;
        case kHex:
            SetAddress(list.Next<unsigned long>(), index);
            break;
        }
    }
}
