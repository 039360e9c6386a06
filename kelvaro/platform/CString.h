// CString: the wide-character string value type that carries every name, value, file name
// and message of the library. A thin layer over std::wstring with the framework's names;
// Str() gives the std::wstring itself where speed matters. Indexes and lengths are int.
#pragma once

#include "kelvaro/platform/Format.h"

#include <cstdarg>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : m_str(text ? text : L"") {} // null gives an empty string
    CString(std::wstring_view text) : m_str(text) {}
    // Exactly `length` characters of text; a null text or a length <= 0 gives empty.
    CString(const wchar_t* text, int length);
    CString(wchar_t ch, int repeat = 1) : m_str(repeat > 0 ? static_cast<std::size_t>(repeat) : 0u, ch) {}
    CString(const std::wstring& text) : m_str(text) {}
    CString(std::wstring&& text) noexcept : m_str(std::move(text)) {}
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const wchar_t* text)
    {
        m_str = text ? text : L"";
        return *this;
    }
    CString& operator=(wchar_t ch)
    {
        m_str.assign(1, ch);
        return *this;
    }
    CString& operator=(std::wstring_view text)
    {
        m_str = text;
        return *this;
    }
    CString& operator=(const std::wstring& text)
    {
        m_str = text;
        return *this;
    }
    CString& operator=(std::wstring&& text) noexcept
    {
        m_str = std::move(text);
        return *this;
    }

    const wchar_t* GetString() const noexcept { return m_str.c_str(); }
    operator const wchar_t*() const noexcept { return m_str.c_str(); }
    operator std::wstring_view() const noexcept { return m_str; }
    int GetLength() const noexcept { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const noexcept { return m_str.empty(); }
    void Empty() noexcept { m_str.clear(); }

    // Index 0..GetLength(); GetLength() reads the terminating zero. Beyond that
    // std::invalid_argument is thrown.
    wchar_t GetAt(int index) const;
    wchar_t operator[](int index) const { return GetAt(index); }
    // Index 0..GetLength()-1, else std::invalid_argument.
    void SetAt(int index, wchar_t ch);

    // Exact, case-sensitive comparison by code unit: <0, 0 or >0. Null compares as empty.
    int Compare(const wchar_t* text) const noexcept;
    // Case-insensitive (towlower of each character, current C library locale).
    int CompareNoCase(const wchar_t* text) const noexcept;

    CString& operator+=(const CString& text)
    {
        m_str += text.m_str;
        return *this;
    }
    CString& operator+=(const wchar_t* text)
    {
        if (text)
            m_str += text;
        return *this;
    }
    CString& operator+=(wchar_t ch)
    {
        m_str += ch;
        return *this;
    }
    CString& operator+=(std::wstring_view text)
    {
        m_str += text;
        return *this;
    }
    CString& operator+=(const std::wstring& text)
    {
        m_str += text;
        return *this;
    }

    // printf-style formatting with Windows conventions (see kelvaro/platform/Format.h);
    // CString arguments may be passed as they are.
    template <class... Args>
    void Format(const wchar_t* fmt, const Args&... args)
    {
        FormatRaw(fmt, kelvaro::detail::FormatArg(args)...);
    }
    template <class... Args>
    void AppendFormat(const wchar_t* fmt, const Args&... args)
    {
        AppendFormatRaw(fmt, kelvaro::detail::FormatArg(args)...);
    }
    void FormatV(const wchar_t* fmt, va_list args);
    void AppendFormatV(const wchar_t* fmt, va_list args);

    // Remove white space (iswspace) or the given characters from either end.
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim(wchar_t ch);
    CString& TrimLeft(wchar_t ch);
    CString& TrimRight(wchar_t ch);
    CString& Trim(const wchar_t* chars);
    CString& TrimLeft(const wchar_t* chars);
    CString& TrimRight(const wchar_t* chars);

    // Out-of-range arguments are clamped: a negative start or count counts as 0, more
    // than is there gives what is there.
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    // Index of the first match at or after start, -1 when there is none (or start is
    // beyond the end). A negative start counts as 0; an empty sub matches at start.
    int Find(wchar_t ch, int start = 0) const noexcept;
    int Find(const wchar_t* sub, int start = 0) const noexcept;
    int ReverseFind(wchar_t ch) const noexcept;
    // Index of the first character that is in chars, -1 when there is none.
    int FindOneOf(const wchar_t* chars) const noexcept;

    // Number of replacements made. An empty or null `from` replaces nothing; a null `to`
    // removes the matches.
    int Replace(wchar_t from, wchar_t to);
    int Replace(const wchar_t* from, const wchar_t* to);
    // Removes every ch; returns how many went.
    int Remove(wchar_t ch);
    // Inserts at index (clamped to 0..GetLength()); returns the new length.
    int Insert(int index, wchar_t ch);
    int Insert(int index, const wchar_t* text);
    // Deletes up to count characters from index; returns the new length.
    int Delete(int index, int count = 1);

    // Case mapping of the C library (towupper/towlower in the current locale).
    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    // A writable buffer of at least minLength characters plus a terminator, holding the
    // current text. After writing, ReleaseBuffer sets the length: -1 takes the text up to
    // the first zero, otherwise newLength (clamped to the buffer).
    wchar_t* GetBuffer(int minLength);
    wchar_t* GetBuffer() { return m_str.data(); }
    void ReleaseBuffer(int newLength = -1);
    wchar_t* GetBufferSetLength(int length);
    void Preallocate(int length);

    const std::wstring& Str() const noexcept { return m_str; }
    std::wstring& Str() noexcept { return m_str; }

    friend bool operator==(const CString& a, const CString& b) noexcept { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const wchar_t* b) noexcept { return a.Compare(b) == 0; }
    friend bool operator==(const CString& a, std::wstring_view b) noexcept { return a.m_str == b; }
    friend bool operator==(const CString& a, const std::wstring& b) noexcept { return a.m_str == b; }
    friend bool operator!=(const CString& a, const CString& b) noexcept { return !(a == b); }
    friend bool operator!=(const CString& a, const wchar_t* b) noexcept { return !(a == b); }
    friend bool operator!=(const wchar_t* a, const CString& b) noexcept { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) noexcept { return a.m_str < b.m_str; }
    friend bool operator<(const CString& a, const wchar_t* b) noexcept { return a.Compare(b) < 0; }
    friend bool operator<(const wchar_t* a, const CString& b) noexcept { return b.Compare(a) > 0; }
    friend bool operator>(const CString& a, const CString& b) noexcept { return b < a; }
    friend bool operator<=(const CString& a, const CString& b) noexcept { return !(b < a); }
    friend bool operator>=(const CString& a, const CString& b) noexcept { return !(a < b); }

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(CString&& a, const CString& b);
    friend CString operator+(const CString& a, const wchar_t* b);
    friend CString operator+(CString&& a, const wchar_t* b);
    friend CString operator+(const wchar_t* a, const CString& b);
    friend CString operator+(const CString& a, wchar_t b);
    friend CString operator+(CString&& a, wchar_t b);
    friend CString operator+(wchar_t a, const CString& b);

private:
    void FormatRaw(const wchar_t* fmt, ...);
    void AppendFormatRaw(const wchar_t* fmt, ...);

    std::wstring m_str;
};

template <>
struct std::hash<CString> {
    std::size_t operator()(const CString& s) const noexcept { return std::hash<std::wstring_view>{}(s.Str()); }
};
