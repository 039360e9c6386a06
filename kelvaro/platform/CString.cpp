#include "kelvaro/platform/CString.h"

#include "kelvaro/platform/Format.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <stdexcept>

namespace {

std::size_t Clamp(int value, std::size_t high)
{
    if (value <= 0)
        return 0;
    return std::min(static_cast<std::size_t>(value), high);
}

int ToIndex(std::size_t pos)
{
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

} // namespace

const wchar_t* kelvaro::detail::FormatArg(const CString& text) noexcept
{
    return text.GetString();
}

CString::CString(const wchar_t* text, int length)
{
    if (text != nullptr && length > 0)
        m_str.assign(text, static_cast<std::size_t>(length));
}

wchar_t CString::GetAt(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) > m_str.size())
        throw std::invalid_argument("CString::GetAt: index out of range");
    return m_str.c_str()[index];
}

void CString::SetAt(int index, wchar_t ch)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_str.size())
        throw std::invalid_argument("CString::SetAt: index out of range");
    m_str[static_cast<std::size_t>(index)] = ch;
}

int CString::Compare(const wchar_t* text) const noexcept
{
    const int r = m_str.compare(text ? text : L"");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const wchar_t* text) const noexcept
{
    const std::wstring_view other = text ? text : L"";
    const std::size_t n = std::min(m_str.size(), other.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = std::towlower(static_cast<std::wint_t>(m_str[i]));
        const auto b = std::towlower(static_cast<std::wint_t>(other[i]));
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (m_str.size() == other.size())
        return 0;
    return m_str.size() < other.size() ? -1 : 1;
}

void CString::FormatRaw(const wchar_t* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

void CString::FormatV(const wchar_t* fmt, va_list args)
{
    // Format into a fresh string: an argument may be this very string's text.
    std::wstring text;
    kelvaro::AppendFormatV(text, fmt, args);
    m_str = std::move(text);
}

void CString::AppendFormatRaw(const wchar_t* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    AppendFormatV(fmt, args);
    va_end(args);
}

void CString::AppendFormatV(const wchar_t* fmt, va_list args)
{
    std::wstring text;
    kelvaro::AppendFormatV(text, fmt, args);
    m_str += text;
}

namespace {

template <class Pred>
void TrimLeftIf(std::wstring& s, Pred pred)
{
    std::size_t i = 0;
    while (i < s.size() && pred(s[i]))
        ++i;
    s.erase(0, i);
}

template <class Pred>
void TrimRightIf(std::wstring& s, Pred pred)
{
    std::size_t n = s.size();
    while (n > 0 && pred(s[n - 1]))
        --n;
    s.resize(n);
}

bool IsSpace(wchar_t c)
{
    return std::iswspace(static_cast<std::wint_t>(c)) != 0;
}

struct InSet {
    const wchar_t* chars;
    bool operator()(wchar_t c) const { return c != L'\0' && chars != nullptr && std::wcschr(chars, c) != nullptr; }
};

} // namespace

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::TrimLeft()
{
    TrimLeftIf(m_str, IsSpace);
    return *this;
}
CString& CString::TrimRight()
{
    TrimRightIf(m_str, IsSpace);
    return *this;
}
CString& CString::Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }
CString& CString::TrimLeft(wchar_t ch)
{
    TrimLeftIf(m_str, [ch](wchar_t c) { return c == ch; });
    return *this;
}
CString& CString::TrimRight(wchar_t ch)
{
    TrimRightIf(m_str, [ch](wchar_t c) { return c == ch; });
    return *this;
}
CString& CString::Trim(const wchar_t* chars) { return TrimRight(chars).TrimLeft(chars); }
CString& CString::TrimLeft(const wchar_t* chars)
{
    TrimLeftIf(m_str, InSet{chars});
    return *this;
}
CString& CString::TrimRight(const wchar_t* chars)
{
    TrimRightIf(m_str, InSet{chars});
    return *this;
}

CString CString::Left(int count) const
{
    return CString(m_str.substr(0, Clamp(count, m_str.size())));
}

CString CString::Mid(int first) const
{
    return CString(m_str.substr(Clamp(first, m_str.size())));
}

CString CString::Mid(int first, int count) const
{
    const std::size_t start = Clamp(first, m_str.size());
    return CString(m_str.substr(start, Clamp(count, m_str.size() - start)));
}

CString CString::Right(int count) const
{
    const std::size_t n = Clamp(count, m_str.size());
    return CString(m_str.substr(m_str.size() - n));
}

int CString::Find(wchar_t ch, int start) const noexcept
{
    const std::size_t from = start < 0 ? 0 : static_cast<std::size_t>(start);
    if (from > m_str.size())
        return -1;
    return ToIndex(m_str.find(ch, from));
}

int CString::Find(const wchar_t* sub, int start) const noexcept
{
    const std::size_t from = start < 0 ? 0 : static_cast<std::size_t>(start);
    if (sub == nullptr || from > m_str.size())
        return -1;
    return ToIndex(m_str.find(sub, from));
}

int CString::ReverseFind(wchar_t ch) const noexcept
{
    return ToIndex(m_str.rfind(ch));
}

int CString::FindOneOf(const wchar_t* chars) const noexcept
{
    if (chars == nullptr || *chars == L'\0')
        return -1;
    return ToIndex(m_str.find_first_of(chars));
}

int CString::Replace(wchar_t from, wchar_t to)
{
    int count = 0;
    for (wchar_t& c : m_str) {
        if (c == from) {
            c = to;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const wchar_t* from, const wchar_t* to)
{
    if (from == nullptr || *from == L'\0')
        return 0;
    const std::wstring_view f = from;
    const std::wstring_view t = to ? to : L"";
    std::size_t pos = m_str.find(f);
    if (pos == std::wstring::npos)
        return 0;
    int count = 0;
    std::wstring result;
    result.reserve(m_str.size());
    std::size_t done = 0;
    while (pos != std::wstring::npos) {
        result.append(m_str, done, pos - done);
        result += t;
        done = pos + f.size();
        ++count;
        pos = m_str.find(f, done);
    }
    result.append(m_str, done, std::wstring::npos);
    m_str = std::move(result);
    return count;
}

int CString::Remove(wchar_t ch)
{
    const std::size_t before = m_str.size();
    m_str.erase(std::remove(m_str.begin(), m_str.end(), ch), m_str.end());
    return static_cast<int>(before - m_str.size());
}

int CString::Insert(int index, wchar_t ch)
{
    m_str.insert(Clamp(index, m_str.size()), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const wchar_t* text)
{
    if (text != nullptr)
        m_str.insert(Clamp(index, m_str.size()), text);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    const std::size_t start = Clamp(index, m_str.size());
    m_str.erase(start, Clamp(count, m_str.size() - start));
    return GetLength();
}

CString& CString::MakeUpper()
{
    for (wchar_t& c : m_str)
        c = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
    return *this;
}

CString& CString::MakeLower()
{
    for (wchar_t& c : m_str)
        c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    return *this;
}

CString& CString::MakeReverse()
{
    std::reverse(m_str.begin(), m_str.end());
    return *this;
}

wchar_t* CString::GetBuffer(int minLength)
{
    if (minLength > 0 && static_cast<std::size_t>(minLength) > m_str.size())
        m_str.resize(static_cast<std::size_t>(minLength));
    return m_str.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        m_str.resize(std::wcslen(m_str.c_str())); // stops at the first zero, within the buffer
    else
        m_str.resize(std::min(static_cast<std::size_t>(newLength), m_str.size()));
}

wchar_t* CString::GetBufferSetLength(int length)
{
    m_str.resize(length > 0 ? static_cast<std::size_t>(length) : 0u);
    return m_str.data();
}

void CString::Preallocate(int length)
{
    if (length > 0)
        m_str.reserve(static_cast<std::size_t>(length));
}

CString operator+(const CString& a, const CString& b)
{
    std::wstring s;
    s.reserve(a.m_str.size() + b.m_str.size());
    s += a.m_str;
    s += b.m_str;
    return CString(std::move(s));
}

CString operator+(CString&& a, const CString& b)
{
    a.m_str += b.m_str;
    return std::move(a);
}

CString operator+(const CString& a, const wchar_t* b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(CString&& a, const wchar_t* b)
{
    a += b;
    return std::move(a);
}

CString operator+(const wchar_t* a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(const CString& a, wchar_t b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(CString&& a, wchar_t b)
{
    a += b;
    return std::move(a);
}

CString operator+(wchar_t a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}
