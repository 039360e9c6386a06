// Kelvaro: which names, list lines and rebuilt lines read back as themselves.
// Every way text comes in from outside (the sea tool, table imports, JSON,
// Python) asks these rules, so that none of them can write a line that reads
// back as something else: a second line, a section marker, a comment, a list end.
#include <string>
#include <string_view>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/entry/ValueGrammar.h"
#include "kelvaro/platform/Format.h"

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

CString CResourceEntry::ListLineProblem(const wchar_t* text) {
    const std::wstring_view line(text != nullptr ? text : L"");
    if (line.find_first_of(L"\r\n") != std::wstring_view::npos)
        return CString(L"holds a line end");
    std::size_t first = 0;
    while (first < line.size() && IsWhite(line[first]))
        ++first;
    if (first < line.size() && line[first] == L'}')
        return CString(L"starts with '}' and would close the list");
    if (line.size() + 1 >= MaxReadLineLength)
        return CString(kelvaro::FormatText(L"is longer than %u characters, which a list line cannot hold",
                                           MaxReadLineLength - 2));
    CResourceEntry probe(nullptr, StatusListLine, nullptr);
    try {
        probe = (L"\t" + std::wstring(line)).c_str();
    } catch (const CResourceSeaException& error) {
        return CString(L"does not read back as a list line: ") + error.m_message;
    }
    if (probe.IsListEnd())
        return CString(L"would close the list");
    return CString();
}

CString CResourceEntry::ReadBackProblem(const std::vector<std::pair<unsigned, std::wstring>>& given) const {
    CString line;
    try {
        GetLine(line);
    } catch (const CResourceSeaException& error) {
        return CString(L"the line cannot be written: ") + error.m_message;
    }
    CResourceEntry probe(nullptr, 0, nullptr);
    try {
        probe = line.GetString();
    } catch (const CResourceSeaException& error) {
        return CString(L"the line would not read back: ") + error.m_message;
    }
    if (probe.IsComment() || probe.IsListEntry() || probe.Name() != Name())
        return CString(L"the name would not read back as itself");
    if (probe.NValues() != NValues())
        return CString(L"the values would not read back as given");
    for (unsigned i = 0; i < probe.NValues(); ++i)
        if (probe.GetString(i) != GetString(i))
            return CString(kelvaro::FormatText(L"value %u would not read back as given", i));
    for (const auto& [index, text] : given) {
        const CString back = probe.GetString(index);
        if (back.Str() != kelvaro::grammar::LineEndsAsStandIns(text))
            return CString(kelvaro::FormatText(L"value '%s' would read back as '%s'%s", text.c_str(), back.GetString(),
                                               text.find(kelvaro::grammar::kQuoteStandIn) != std::wstring::npos
                                                   ? L" (a sea reads '\u00A7' as '\"')"
                                                   : L""));
    }
    return CString();
}
