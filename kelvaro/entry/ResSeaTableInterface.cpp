// Kelvaro: the row buffers of the table interface.
#include "kelvaro/entry/ResSeaTableInterface.h"

#include <cwchar>
#include <new>

#include "kelvaro/entry/ResourceEntry.h"

namespace {

constexpr unsigned kInitialNameSize = 512;
constexpr unsigned kInitialValsSize = 8192;
// Room the name and the values get beyond their own length.
constexpr unsigned kNameMargin = 10;
constexpr unsigned kValsMargin = 20;

using kelvaro::grammar::SkipWhite;

// What a text needs with every single quote doubled: a text of quotes only
// doubles, so the margin alone would not do.
unsigned long long EscapedNeed(std::size_t length, unsigned margin) {
    const unsigned long long withMargin = static_cast<unsigned long long>(length) + margin;
    const unsigned long long doubled = 2ull * length + 1;
    return withMargin > doubled ? withMargin : doubled;
}

// Copies `text` to `out` with every single quote written twice; `out` has
// room for EscapedNeed(wcslen(text), ...) characters.
void CopyDoublingQuotes(wchar_t* out, const wchar_t* text) {
    for (; *text != L'\0'; ++text) {
        if (*text == L'\'') *out++ = L'\'';
        *out++ = *text;
    }
    *out = L'\0';
}

}  // namespace

CResSeaTableInterface::CResSeaTableInterface()
    : m_lineName(new wchar_t[kInitialNameSize]),
      m_lineNameSize(kInitialNameSize),
      m_lineVals(nullptr),
      m_lineValsSize(kInitialValsSize),
      m_listCounter(0) {
    try {
        m_lineVals = new wchar_t[kInitialValsSize];
    } catch (...) {
        delete[] m_lineName;
        throw;
    }
    m_lineName[0] = L'\0';
    m_lineVals[0] = L'\0';
}

CResSeaTableInterface::~CResSeaTableInterface() {
    delete[] m_lineName;
    delete[] m_lineVals;
}

void CResSeaTableInterface::Reserve(wchar_t*& buffer, unsigned& size, unsigned long long need) {
    if (need <= size) return;
    if (need > 0xFFFFFFFFull) throw std::bad_alloc();
    unsigned long long grown = size > 0 ? size : 1;
    while (grown < need) grown *= 2;
    if (grown > 0xFFFFFFFFull) grown = need;
    // The new buffer comes first, so a failed allocation leaves the old one in place.
    wchar_t* fresh = new wchar_t[grown];
    fresh[0] = L'\0';
    delete[] buffer;
    buffer = fresh;
    size = static_cast<unsigned>(grown);
}

bool CResSeaTableInterface::PrepareLineValues(const wchar_t* name, const wchar_t* values) {
    name = SkipWhite(name != nullptr ? name : L"");
    if (*name == L'\0') return false;
    values = SkipWhite(values != nullptr ? values : L"");

    Reserve(m_lineName, m_lineNameSize, EscapedNeed(std::wcslen(name), kNameMargin));
    CopyDoublingQuotes(m_lineName, name);
    if (*values == L'\0') {
        // An empty values column would read back as no value at all.
        Reserve(m_lineVals, m_lineValsSize, 2);
        std::wcscpy(m_lineVals, L" ");
    } else {
        Reserve(m_lineVals, m_lineValsSize, EscapedNeed(std::wcslen(values), kValsMargin));
        CopyDoublingQuotes(m_lineVals, values);
    }
    return true;
}

void CResSeaTableInterface::SetCurrentLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) {
    name = name != nullptr ? name : L"";
    values = values != nullptr ? values : L"";
    const std::size_t nameLength = std::wcslen(name);
    const std::size_t valsLength = std::wcslen(values);
    Reserve(m_lineName, m_lineNameSize, static_cast<unsigned long long>(nameLength) + 1);
    Reserve(m_lineVals, m_lineValsSize, static_cast<unsigned long long>(valsLength) + 1);
    // A text that lies in its own buffer is shorter than it, so it was not
    // reallocated above; moving covers that case.
    std::wmemmove(m_lineName, name, nameLength + 1);
    std::wmemmove(m_lineVals, values, valsLength + 1);
    m_listCounter = listCounter;
}
