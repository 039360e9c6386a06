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
#include <cwchar>
#include <cwctype>
#include <stdexcept>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/CoreLib.h"

static_assert(sizeof(wchar_t) == sizeof(int) && static_cast<wchar_t>(-1) < 0,
              "\"%c\" values are stored as int in a wchar_t object");

namespace {

constexpr unsigned kFormatCode = 5;

enum ElementType : int { kString = 0, kChar = 1, kInt = 2, kLong = 3, kFloat = 4, kDouble = 5, kHex = 6 };

const wchar_t* SkipSpace(const wchar_t* p) {
    while (*p != L'\0' && std::iswspace(static_cast<wint_t>(*p)))
        ++p;
    return p;
}

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
    const bool wide = element[1] == L'l';
    switch (wide ? element[2] : element[1]) {
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
        case kString:
            // Unbounded, as "%s" of the standard scanners: the buffer must hold
            // the value text and its terminator.
            std::wcscpy(list.NextTarget<wchar_t>(), EintragText(index));
            break;
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
// the empty text, as SetText does.
void CResourceEntry::SetVarArgP(const wchar_t* format, va_list args) {
    if (format == nullptr)
        return;
    ArgumentList list(args);
    unsigned index = 0;
    for (const wchar_t* element = SkipSpace(format); *element != L'\0'; element = NextElement(element), ++index) {
        switch (FormatInterpretieren(element)) {
        case kString:
            SetText(list.Next<const wchar_t*>(), index);
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
            SetText(list.Next<const wchar_t*>(), index);
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
