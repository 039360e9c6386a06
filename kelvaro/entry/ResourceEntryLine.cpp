// Rebuilding a changed entry's line from its parsed parts, and handing the
// line text out. The writer produces exactly what the parser reads back.
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ValueGrammar.h"

#include <cstdint>
#include <cwchar>
#include <string_view>

namespace {

using kelvaro::grammar::kCarriageStandIn;
using kelvaro::grammar::kLineFeedStandIn;
using kelvaro::grammar::kQuote;
using kelvaro::grammar::kQuoteStandIn;
using kelvaro::grammar::NeedsQuotes;

// Up to four pieces make a head; the name is one of them.
struct Head {
    std::wstring_view part[4];
    unsigned count = 0;
    void Add(std::wstring_view piece) { part[count++] = piece; }
    std::size_t Length() const {
        std::size_t n = 0;
        for (unsigned i = 0; i < count; ++i)
            n += part[i].size();
        return n;
    }
};

}  // namespace

unsigned CResourceEntry::SeeZeileBilden(wchar_t* buffer, unsigned size, unsigned& valueOffset) const {
    // A narrow line is about to be replaced: its name is made a string (as the
    // rebuild does anyway) rather than the whole line widened for a view.
    const std::wstring_view name = IsNarrow() && m_namePending ? std::wstring_view(Name().Str()) : NameView();
    Head head;
    bool withValues = true;
    if (IsListEntry()) {
        head.Add(name);
        // A continued list stays continued when its head is rebuilt.
        head.Add(IsListContinued() ? L": { +" : L": {");
        withValues = false;
    } else if (IsListEnd()) {
        head.Add(L"} \t;-- ");
        head.Add(name);
        withValues = false;
    } else if (IsListLine()) {
        head.Add(IsComment() ? L";\t" : L"\t");
    } else if (IsComment()) {
        head.Add(L"; ");
        head.Add(name);
        if (!name.empty())
            head.Add(L":\t");
    } else {
        head.Add(name);
        if (!name.empty())
            head.Add(L":\t");
    }

    const std::size_t headLength = head.Length();
    valueOffset = static_cast<unsigned>(headLength);
    std::uint64_t total = headLength + 1;
    auto result = [&total] { return total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(total); };
    if (total > size) {
        if (size > 0)
            buffer[0] = L'\0';
        return result();
    }
    wchar_t* out = buffer;
    for (unsigned i = 0; i < head.count; ++i)
        out = std::wmemcpy(out, head.part[i].data(), head.part[i].size()) + head.part[i].size();

    const bool comment = IsComment();
    SettleValues();  // the value texts are mapped in place below
    if (withValues) {
        for (unsigned i = 0; i < NValues(); ++i) {
            // The shared empty line stands in for an absent buffer; with no
            // characters it is never written to.
            wchar_t* value = m_values[i].first != nullptr ? m_values[i].first : g_leereZeile;
            const std::size_t length = std::wcslen(value);
            const bool quoted = !comment && NeedsQuotes(value, i == 0, IsListLine());
            total += length + 1 + (quoted ? 2 : 0);
            if (total > size) {
                *out = L'\0';
                return result();
            }
            if (comment) {
                // Comment text goes out as it is, except that a line end in
                // it would split the line in the file.
                for (std::size_t k = 0; k < length; ++k) {
                    if (value[k] == L'\n')
                        value[k] = kLineFeedStandIn;
                    else if (value[k] == L'\r')
                        value[k] = kCarriageStandIn;
                    *out++ = value[k];
                }
            } else {
                if (quoted)
                    *out++ = kQuote;
                // The file writes '§' for a double quote; in memory the value
                // keeps the double quote and the stand-ins for line ends, the
                // same texts that reading the built line gives back.
                for (std::size_t k = 0; k < length; ++k) {
                    wchar_t c = value[k];
                    if (c == kQuote || c == kQuoteStandIn) {
                        *out++ = kQuoteStandIn;
                        value[k] = kQuote;
                        continue;
                    }
                    if (c == L'\n')
                        c = value[k] = kLineFeedStandIn;
                    else if (c == L'\r')
                        c = value[k] = kCarriageStandIn;
                    *out++ = c;
                }
                if (quoted)
                    *out++ = kQuote;
            }
            *out++ = L' ';
        }
    }
    *out = L'\0';

    if (comment) {
        // A comment without text is written as white space only, which
        // still reads back as a comment.
        bool blankAfterFirst = true;
        for (const wchar_t* p = buffer + 1; p < out; ++p)
            if (!IsWhite(*p)) {
                blankAfterFirst = false;
                break;
            }
        if (blankAfterFirst && out > buffer)
            buffer[0] = L' ';
    }
    return result();
}

void CResourceEntry::SeeZeileErneuern() const {
    wchar_t work[MaxRebuildLength];
    unsigned valueOffset = 0;
    const unsigned need = SeeZeileBilden(work, MaxRebuildLength, valueOffset);
    if (need > MaxRebuildLength)
        throw CResourceSeaException::Formatted(3, L"%s: maximum resource line lenght (%d) exceeded.",
                                               Name().GetString(), static_cast<int>(MaxRebuildLength));
    if (m_namePending)
        MakeName();  // the name's place in the line is about to go
    // The line buffer only grows: it is a capacity, reused by later rebuilds.
    if (need > m_lineSize || !OwnsLine()) {
        bool inArena = false;
        wchar_t* fresh = NewLineBuffer(need, inArena);
        FreeLineBuffer();
        if (inArena)
            m_storage |= kLineInArena;
        m_line.wide = fresh;
        m_lineSize = need;
    }
    std::wmemcpy(m_line.wide, work, need);
    m_valuePart.wide = m_line.wide + valueOffset;
    m_rebuildLine = false;
}

void CResourceEntry::SeeZeileKopieren(CString& out, bool wholeLine) const {
    if (m_rebuildLine)
        SeeZeileErneuern();
    std::wstring narrow;
    out = CString(wholeLine ? LineText(narrow) : ValuePartText(narrow));
    out.Trim();
    SetAccessed();
    if (!IsListEntry())
        return;
    std::wstring& text = out.Str();
    text += L'\n';
    CString line;
    for (POSITION pos = m_listLines.GetHeadPosition(); pos != nullptr;) {
        NextListenZeile(pos)->SeeZeileKopieren(line, true);
        text += line.Str();
        text += L'\n';
    }
    if (m_listLines.End() != nullptr) {
        m_listLines.End()->SeeZeileKopieren(line, true);
        text += line.Str();
    }
}

void CResourceEntry::GetLine(CString& out) const {
    SeeZeileKopieren(out, true);
}

void CResourceEntry::GetLineValuePart(CString& out) const {
    SeeZeileKopieren(out, false);
}

std::vector<std::wstring> CResourceEntry::ListLineTexts() const {
    std::vector<std::wstring> lines;
    if (!IsListEntry()) return lines;
    CString text;
    GetLine(text);
    const std::wstring& all = text.Str();
    for (std::size_t start = all.find(L'\n'); start != std::wstring::npos;) {
        const std::size_t end = all.find(L'\n', start + 1);
        if (end == std::wstring::npos) break;  // the closing line
        lines.push_back(all.substr(start + 1, end - start - 1));
        start = end;
    }
    return lines;
}

void CResourceEntry::GetLineValuePartC(wchar_t* dst, unsigned n) const {
    CString text;
    GetLineValuePart(text);
    if (dst != nullptr && n > 0)
        std::wcsncpy(dst, text.GetString(), n);
}
