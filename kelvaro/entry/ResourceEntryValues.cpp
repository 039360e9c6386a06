// Typed access to an entry's values: reading value texts as numbers, strings,
// colours, vectors and sets, writing typed values back as text, and the value
// storage underneath (WertNeuSetzen, WerteSchrumpfen, SetSeaLine, SetToComment).
// Lookups run through here for every value a module reads or writes, so the
// number paths format and scan on the stack and a rewritten value reuses its
// buffer whenever the new text fits.
#include "kelvaro/entry/ResourceEntry.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

constexpr unsigned kValueWriteCode = 3;

const wchar_t* SkipSpace(const wchar_t* p) { return kelvaro::grammar::SkipWhite(p); }

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// Decimal integer conversion: white space, an optional sign, then digits up to
// the first non-digit; no digits give 0. A number beyond [lo, hi] gives the
// nearer bound, as the run-time library's conversions saturate.
long long ScanDecimal(const wchar_t* p, long long lo, long long hi) {
    p = SkipSpace(p);
    bool negative = false;
    if (*p == L'-' || *p == L'+')
        negative = *p++ == L'-';
    const unsigned long long limit =
        negative ? 0ull - static_cast<unsigned long long>(lo) : static_cast<unsigned long long>(hi);
    unsigned long long magnitude = 0;
    for (; IsDigit(*p); ++p) {
        const auto digit = static_cast<unsigned>(*p - L'0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;  // saturated; the remaining digits change nothing
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    // Unsigned to signed is modular: -limit of a negative bound is the bound itself.
    return negative ? static_cast<long long>(0ull - magnitude) : static_cast<long long>(magnitude);
}

int ScanInt(const wchar_t* p) {
    return static_cast<int>(ScanDecimal(p, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

long ScanLong(const wchar_t* p) {
    return static_cast<long>(
        ScanDecimal(p, std::numeric_limits<long>::min(), std::numeric_limits<long>::max()));
}

// Hexadecimal scanning as "%I64x"/"%Ix" read it: white space, an optional sign,
// an optional 0x or 0X, then hexadecimal digits of either case. Too many digits
// saturate at `max`; a minus sign negates the pattern (so "-1" is all ones).
std::uint64_t ScanHex(const wchar_t* p, std::uint64_t max) {
    p = SkipSpace(p);
    bool negative = false;
    if (*p == L'-' || *p == L'+')
        negative = *p++ == L'-';
    if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X') && HexDigit(p[2]) >= 0)
        p += 2;
    std::uint64_t value = 0;
    for (int digit = HexDigit(*p); digit >= 0; digit = HexDigit(*++p)) {
        if (value > (max - static_cast<unsigned>(digit)) / 16) {
            value = max;
            continue;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return negative ? (0 - value) & max : value;
}

// For a text that std::from_chars found out of range: whether its magnitude is
// huge (overflow) rather than tiny (underflow), from its decimal exponent.
bool IsOverflow(const char* p) {
    if (*p == '-')
        ++p;
    long integerDigits = 0;
    long leadingFractionZeros = 0;
    bool nonZero = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (*p != '0' || nonZero) {
            nonZero = true;
            ++integerDigits;
        }
    }
    if (*p == '.') {
        for (++p; *p >= '0' && *p <= '9'; ++p) {
            if (nonZero)
                continue;
            if (*p == '0')
                ++leadingFractionZeros;
            else
                nonZero = true;
        }
    }
    long exponent = 0;
    if (*p == 'e' || *p == 'E') {
        ++p;
        bool negative = false;
        if (*p == '-' || *p == '+')
            negative = *p++ == '-';
        for (; *p >= '0' && *p <= '9'; ++p)
            if (exponent < 100000)
                exponent = exponent * 10 + (*p - '0');
        if (negative)
            exponent = -exponent;
    }
    const long magnitude = integerDigits > 0 ? integerDigits + exponent : exponent - leadingFractionZeros;
    return magnitude > 0;
}

// Decimal floating-point conversion in the C locale, whatever the process
// locale: white space, an optional sign, digits with an optional point and
// fraction, an optional exponent (also inf and nan, as the writers produce
// them); reading stops at the first character that does not fit, and no number
// gives 0.0. Out of range gives +-HUGE_VAL or 0, as the run-time library does.
double ScanDouble(const wchar_t* p) {
    p = SkipSpace(p);
    if (*p == L'+') {  // std::from_chars takes '-' only
        ++p;
        if (*p == L'-')
            return 0.0;
    }
    // A narrow copy of the run of ASCII characters that may belong to the number;
    // a stack buffer serves every ordinary number.
    std::size_t length = 0;
    while (p[length] > L' ' && p[length] < 0x7F)
        ++length;
    char local[128];
    std::string heap;
    char* narrow = local;
    if (length >= sizeof local) {
        heap.resize(length + 1);
        narrow = heap.data();
    }
    for (std::size_t i = 0; i < length; ++i)
        narrow[i] = static_cast<char>(p[i]);
    narrow[length] = '\0';

    double value = 0.0;
    const std::errc error = std::from_chars(narrow, narrow + length, value, std::chars_format::general).ec;
    if (error == std::errc::invalid_argument)
        return 0.0;
    if (error == std::errc::result_out_of_range) {
        const bool negative = narrow[0] == '-';
        const double magnitude = IsOverflow(narrow) ? HUGE_VAL : 0.0;
        return negative ? -magnitude : magnitude;
    }
    return value;
}

// A typed value as text: integers on the stack, floating point in fixed notation
// with six decimals in the C locale ("%f"). The buffer holds the longest text a
// value of the type can have (a double of 1e308 has 309 integer digits), so a
// text is never cut.
class NumberText {
public:
    const wchar_t* c_str() const { return m_text; }

    static NumberText Decimal(long long value) {
        char narrow[24];
        return Widen(narrow, std::to_chars(narrow, narrow + sizeof narrow, value).ptr);
    }
    static NumberText Unsigned(unsigned long long value) {
        char narrow[24];
        return Widen(narrow, std::to_chars(narrow, narrow + sizeof narrow, value).ptr);
    }
    static NumberText Hex(std::uint64_t value) {  // lower case, no prefix, no leading zeros
        char narrow[24];
        return Widen(narrow, std::to_chars(narrow, narrow + sizeof narrow, value, 16).ptr);
    }
    static NumberText Fixed(double value) {
        char narrow[kCapacity];
        const auto result = std::to_chars(narrow, narrow + sizeof narrow, value, std::chars_format::fixed, 6);
        if (result.ec != std::errc())
            throw std::length_error("NumberText: fixed-point text does not fit");  // cannot happen
        return Widen(narrow, result.ptr);
    }

private:
    // Sign, 309 digits, point, six decimals and the terminator, with room to spare.
    static constexpr std::size_t kCapacity = 336;

    static NumberText Widen(const char* first, const char* last) {
        NumberText text;
        std::size_t n = 0;
        for (; first != last; ++first)
            text.m_text[n++] = static_cast<wchar_t>(static_cast<unsigned char>(*first));
        text.m_text[n] = L'\0';
        return text;
    }

    wchar_t m_text[kCapacity];
};

[[noreturn]] void ThrowBeyondEnd(const CString& name, unsigned index, unsigned count) {
    throw CResourceSeaException::Formatted(kValueWriteCode, L"%s: tried to set value %u of %u.", name.GetString(),
                                           index, count);
}

// Copies at most size - 1 characters and terminates; true when all of `text` fitted.
template <class Char>
bool CopyBounded(Char* dst, unsigned size, const Char* text, std::size_t length) {
    if (dst == nullptr || size == 0)
        return false;
    const std::size_t n = length < size - 1 ? length : size - 1;
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = text[i];
    dst[n] = Char();
    return length < size;
}

}  // namespace

// ---- value storage ---------------------------------------------------------------

void CResourceEntry::WertNeuSetzen(const wchar_t* text, unsigned index) {
    SettleValues();
    const unsigned count = NValues();
    if (index > count)
        ThrowBeyondEnd(Name(), index, count);
    if (text == nullptr)
        text = L"";  // as CString does: a null text is the empty text
    SetAccessed();
    const std::size_t length = std::wcslen(text);
    if (length >= 0xFFFFFFFFu)
        throw std::bad_alloc();
    const auto need = static_cast<unsigned>(length + 1);

    if (index == count) {
        ValueBuffer value = TakeValueBuffer(need);
        std::wmemcpy(value.first, text, need);
        try {
            m_values.push_back(value);
        } catch (...) {
            GiveBackValueBuffer(value);
            throw;
        }
    } else {
        ValueBuffer& value = m_values[index];
        if (value.first != nullptr && std::wcscmp(value.first, text) == 0)
            return;  // same text: not a change
        if (value.first != nullptr && need <= value.second) {
            // Fits: overwritten in place, the reservoir is not touched. The text
            // may be a tail of this very value, hence move, not copy.
            std::wmemmove(value.first, text, need);
        } else {
            // Copy before the old buffer goes back: the text may lie in it.
            ValueBuffer fresh = TakeValueBuffer(need);
            std::wmemcpy(fresh.first, text, need);
            const ValueBuffer old = value;
            value = fresh;
            if (old.first != nullptr)
                GiveBackValueBuffer(old);
        }
    }
    SetModified();
    m_rebuildLine = true;
}

void CResourceEntry::WerteSchrumpfen(unsigned n) {
    SettleValues();
    const unsigned count = NValues();
    // An entry that holds n values or fewer has nothing to cut and is not
    // marked changed.
    if (count <= n)
        return;
    for (unsigned i = count; i-- > n;)
        GiveBackValueBuffer(m_values[i]);
    m_values.erase(n, count - n);
    SetModified();
    m_rebuildLine = true;
}

void CResourceEntry::SetSeaLine(const wchar_t* valueText) {
    if (valueText == nullptr)
        valueText = L"";
    // Bring the line up to date to see whether anything changes. A line that
    // cannot be rebuilt (too long) is not compared: the new text may be what
    // shortens it.
    bool current = true;
    if (m_rebuildLine) {
        try {
            SeeZeileErneuern();
        } catch (const CResourceSeaException&) {
            current = false;
        }
    }
    MakeWide();
    if (current && std::wcscmp(m_valuePart.wide, valueText) == 0)
        return;

    // The new values are split behind the old ones first, so that a bad text
    // (an unterminated quote) leaves the entry as it was; the old ones go after.
    SettleValues();
    const unsigned oldCount = NValues();
    const wchar_t* const linePart = m_valuePart.wide;
    m_valuePart.wide = valueText;
    try {
        ZeileWerteZerlegen();
    } catch (...) {
        m_valuePart.wide = linePart;
        for (unsigned i = NValues(); i-- > oldCount;)
            GiveBackValueBuffer(m_values[i]);
        m_values.erase(oldCount, NValues() - oldCount);
        throw;
    }
    // The value part keeps pointing into the line (never at the caller's text);
    // the rebuild flag makes the next use rebuild the line from the new values.
    m_valuePart.wide = linePart;
    for (unsigned i = 0; i < oldCount; ++i)
        GiveBackValueBuffer(m_values[i]);
    m_values.erase(0, oldCount);
    SetModified();
    m_rebuildLine = true;
}

void CResourceEntry::SetToComment(const wchar_t* text) {
    const NameWatch watch(*this);
    m_status |= StatusAccessed | StatusComment;
    if (text != nullptr) {
        // The text may lie in this entry's own line or values, which the
        // clearing gives away.
        const std::wstring comment(text);
        InhalteLoeschen(false);
        // A comment is no list head or list end: with those bits the line would
        // be rebuilt as a nameless list head (": {") or a bare "}" line.
        m_status &= ~static_cast<unsigned>(StatusListEntry | StatusListEnd | StatusListContinued);
        m_status |= StatusComment;
        WertNeuSetzen(comment.c_str(), 0);
    }
    // The line changes to a comment line, so the entry counts as modified.
    SetModified();
    m_rebuildLine = true;
}

// ---- strings -------------------------------------------------------------------------

CString CResourceEntry::GetString(unsigned index) const {
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    return text != nullptr ? CString(text) : g_leerstring;
}

CString CResourceEntry::GetStringFb(unsigned index, const wchar_t* fallback) {
    if (index < NValues())
        return GetString(index);
    if (fallback == nullptr)
        return CString();
    if (index == NValues())
        WertNeuSetzen(fallback, index);
    return CString(fallback);
}

bool CResourceEntry::GetString(wchar_t* dst, unsigned size, unsigned index) const {
    if (dst != nullptr && size > 0)
        dst[0] = L'\0';
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    if (text == nullptr)
        return false;
    return CopyBounded(dst, size, text, std::wcslen(text));
}

// The result says whether the whole text fitted, for the fallback as for a
// present value: a cut fallback is not reported as delivered whole.
bool CResourceEntry::GetStringFb(wchar_t* dst, unsigned size, unsigned index, const wchar_t* fallback) {
    if (index < NValues())
        return GetString(dst, size, index);
    if (fallback == nullptr)
        return false;
    if (index == NValues())
        WertNeuSetzen(fallback, index);
    return CopyBounded(dst, size, fallback, std::wcslen(fallback));
}

// Through the shared 8-bit buffer under the conversion lock. A value whose
// code page 1252 form does not fit that buffer (8192 bytes) is delivered as an
// empty string with false: it was not delivered.
bool CResourceEntry::GetString(char* dst, unsigned size, unsigned index) const {
    if (dst != nullptr && size > 0)
        dst[0] = '\0';
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    if (text == nullptr)
        return false;
    const int converted = KonvertiereNachChar(text, 1252);
    KonversionsFreigabe release;
    if (converted <= 0)
        return false;
    return CopyBounded(dst, size, g_charConvert, static_cast<std::size_t>(converted - 1));
}

bool CResourceEntry::GetStringFb(char* dst, unsigned size, unsigned index, const char* fallback) {
    if (index < NValues())
        return GetString(dst, size, index);
    if (fallback == nullptr)
        return false;
    if (index == NValues())
        SetText(fallback, index, 1252);
    return CopyBounded(dst, size, fallback, std::char_traits<char>::length(fallback));
}

void CResourceEntry::SetText(const CString& text, unsigned index) {
    WertNeuSetzen(text.GetString(), index);
}

void CResourceEntry::SetText(const wchar_t* text, unsigned index) {
    WertNeuSetzen(text, index);
}

// Through the shared wide buffer under the conversion lock. A text that does
// not convert (a code page the library does not know, or more than 8191
// characters, the buffer's size) is refused whole with code 3 rather than
// stored cut; the entry stays as it was.
void CResourceEntry::SetText(const char* text, unsigned index, unsigned codePage) {
    if (index > NValues())
        ThrowBeyondEnd(Name(), index, NValues());
    if (text == nullptr)
        text = "";
    const int converted = KonvertiereNachWChar(text, codePage);
    KonversionsFreigabe release;
    if (converted <= 0)
        throw CResourceSeaException::Formatted(kValueWriteCode,
                                               L"%s: value %u cannot be converted from code page %u "
                                               L"(unknown code page or more than %u characters).",
                                               Name().GetString(), index, codePage, ConvertBufferSize - 1);
    WertNeuSetzen(g_wcharConvert, index);
}

template <>
CString CResourceEntry::Get<CString>(unsigned index) const {
    CString text = GetString(index);
    text.Trim(L'"');
    return text;
}

CString CResourceEntry::Get(unsigned index, const wchar_t* fallback) {
    return GetStringFb(index, fallback);
}

template <>
void CResourceEntry::Set<CString>(CString value, unsigned index) {
    SetText(value, index);
}

// ---- numbers -------------------------------------------------------------------------

int CResourceEntry::GetInt(unsigned index) const {
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    return text != nullptr ? ScanInt(text) : 0;
}

int CResourceEntry::GetIntFb(unsigned index, int fallback) {
    if (index < NValues())
        return GetInt(index);
    if (index == NValues())
        SetInt(fallback, index);
    return fallback;
}

void CResourceEntry::SetInt(int value, unsigned index) {
    WertNeuSetzen(NumberText::Decimal(value).c_str(), index);
}

long CResourceEntry::GetLong(unsigned index) const {
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    return text != nullptr ? ScanLong(text) : 0L;
}

long CResourceEntry::GetLongFb(unsigned index, long fallback) {
    if (index < NValues())
        return GetLong(index);
    if (index == NValues())
        SetLong(fallback, index);
    return fallback;
}

void CResourceEntry::SetLong(long value, unsigned index) {
    WertNeuSetzen(NumberText::Decimal(value).c_str(), index);
}

// Narrowed as IEEE does: a double beyond the float range becomes +-infinity.
float CResourceEntry::GetFloat(unsigned index) const {
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    return text != nullptr ? static_cast<float>(ScanDouble(text)) : 0.0f;
}

float CResourceEntry::GetFloatFb(unsigned index, float fallback) {
    if (index < NValues())
        return GetFloat(index);
    if (index == NValues())
        SetFloat(fallback, index);
    return fallback;
}

void CResourceEntry::SetFloat(float value, unsigned index) {
    WertNeuSetzen(NumberText::Fixed(static_cast<double>(value)).c_str(), index);
}

double CResourceEntry::GetDouble(unsigned index) const {
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    return text != nullptr ? ScanDouble(text) : 0.0;
}

double CResourceEntry::GetDoubleFb(unsigned index, double fallback) {
    if (index < NValues())
        return GetDouble(index);
    if (index == NValues())
        SetDouble(fallback, index);
    return fallback;
}

// Every double is stored whole in fixed notation (1e300 gives 301 digits and
// six decimals): the text is never cut to a fixed length.
void CResourceEntry::SetDouble(double value, unsigned index) {
    WertNeuSetzen(NumberText::Fixed(value).c_str(), index);
}

std::int64_t CResourceEntry::GetHex(unsigned index) const {
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    return text != nullptr ? static_cast<std::int64_t>(ScanHex(text, std::numeric_limits<std::uint64_t>::max()))
                           : 0;
}

std::int64_t CResourceEntry::GetHexFb(unsigned index, std::int64_t fallback) {
    if (index < NValues())
        return GetHex(index);
    if (index == NValues())
        SetHex(fallback, index);
    return fallback;
}

// The 64-bit pattern: -1 is sixteen f.
void CResourceEntry::SetHex(std::int64_t value, unsigned index) {
    WertNeuSetzen(NumberText::Hex(static_cast<std::uint64_t>(value)).c_str(), index);
}

unsigned long CResourceEntry::GetAddress(unsigned index) const {
    ValueScratch scratch;
    const wchar_t* text = EintragText(index, scratch);
    return text != nullptr ? static_cast<unsigned long>(ScanHex(text, std::numeric_limits<unsigned long>::max()))
                           : 0UL;
}

unsigned long CResourceEntry::GetAddressFb(unsigned index, unsigned long fallback) {
    if (index < NValues())
        return GetAddress(index);
    if (index == NValues())
        SetAddress(fallback, index);
    return fallback;
}

void CResourceEntry::SetAddress(unsigned long value, unsigned index) {
    WertNeuSetzen(NumberText::Hex(value).c_str(), index);
}

bool CResourceEntry::GetBool(unsigned index) const {
    return GetInt(index) != 0;
}

bool CResourceEntry::GetBoolFb(unsigned index, bool fallback) {
    if (index < NValues())
        return GetBool(index);
    if (index == NValues())
        SetBool(fallback, index);
    return fallback;
}

void CResourceEntry::SetBool(bool value, unsigned index) {
    WertNeuSetzen(value ? L"1" : L"0", index);
}

// ---- colours, vectors, sets --------------------------------------------------------------

// Red, green and blue from three values; a missing one counts 0. Index
// arithmetic is wide so that the last indexes do not wrap around to value 0.
unsigned long CResourceEntry::GetRgbColor(unsigned index) const {
    SetAccessed();
    ValueScratch scratch;
    unsigned long color = 0;
    for (unsigned part = 0; part < 3; ++part) {
        const unsigned long long at = static_cast<unsigned long long>(index) + part;
        if (at >= NValues())
            break;
        const wchar_t* text = EintragText(static_cast<unsigned>(at), scratch);
        if (text != nullptr)
            color |= (static_cast<unsigned long>(static_cast<unsigned>(ScanInt(text))) & 0xFFu) << (8 * part);
    }
    return color;
}

unsigned long CResourceEntry::GetRgbColorFb(unsigned index, unsigned long fallback) {
    if (index < NValues())
        return GetRgbColor(index);
    if (index == NValues())
        SetRgbColor(fallback, index);
    return fallback;
}

void CResourceEntry::SetRgbColor(unsigned long color, unsigned index) {
    // The first write refuses an index beyond the end before anything changed.
    for (unsigned part = 0; part < 3; ++part)
        WertNeuSetzen(NumberText::Unsigned((color >> (8 * part)) & 0xFFu).c_str(), index + part);
}

unsigned CResourceEntry::GetIntVector(int* out, unsigned max) const {
    SettleValues();  // all of them are read: copied out once, not looked up one by one
    const unsigned count = max < NValues() ? max : NValues();
    if (out == nullptr && count > 0)
        throw std::invalid_argument("CResourceEntry::GetIntVector: null destination");
    for (unsigned i = 0; i < count; ++i)
        out[i] = GetInt(i);
    return count;
}

void CResourceEntry::SetIntVector(const int* values, unsigned n) {
    if (values == nullptr && n > 0)
        throw std::invalid_argument("CResourceEntry::SetIntVector: null values");
    for (unsigned i = 0; i < n; ++i)
        SetInt(values[i], i);
    WerteSchrumpfen(n);
}

unsigned CResourceEntry::GetIntSet(std::set<int>& out) const {
    SettleValues();  // all of them are read: copied out once, not looked up one by one
    out.clear();
    for (unsigned i = 0; i < NValues(); ++i)
        out.insert(GetInt(i));
    return static_cast<unsigned>(out.size());
}

void CResourceEntry::SetIntSet(const std::set<int>& values) {
    unsigned i = 0;
    for (int value : values)
        SetInt(value, i++);
    WerteSchrumpfen(i);
}
