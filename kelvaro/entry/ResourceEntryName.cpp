// Kelvaro: which texts can be the name of an entry written into a sea. Every
// way a name comes in from outside (the sea tool, table imports) asks this
// one rule, so that none of them can write a line that reads back as
// something else: a second line, a section marker, a comment, a list end.
#include <string_view>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"

CString CResourceEntry::NameProblem(const wchar_t* name) {
    const std::wstring_view text(name != nullptr ? name : L"");
    if (text.empty())
        return CString(L"is empty");
    if (text.find_first_of(L"\r\n") != std::wstring_view::npos)
        return CString(L"holds a line end");
    if (text.starts_with(L"::::: "))
        return CString(L"would start a section ('::::: ')");
    if (text.find(L':') != std::wstring_view::npos)
        return CString(L"holds ':', which ends a name");
    if (text.front() == L';')
        return CString(L"starts with ';' and would be a comment");
    if (text.front() == L'}')
        return CString(L"starts with '}' and would close a list");
    if (IsWhite(text.front()))
        return CString(L"starts with white space, which reading drops");
    // The checks above name the usual faults; the parser has the last word.
    CResourceEntry probe(nullptr, 0, nullptr);
    try {
        probe = (std::wstring(text) + L":\tx").c_str();
    } catch (const CResourceSeaException& error) {
        return CString(L"does not read back: ") + error.m_message;
    }
    if (probe.IsComment() || probe.IsListEntry() || probe.NameView() != text)
        return CString(L"does not read back as itself");
    return CString();
}
