// The entry model: construction, copy, comparison, clearing, list-line
// navigation and the process-wide 8-bit/wide conversion buffers.
#include "kelvaro/entry/ResourceEntry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "kelvaro/entry/NameHash.h"
#include "kelvaro/platform/CodePage.h"
#include "kelvaro/platform/Format.h"
#include "kelvaro/platform/Utf.h"

KELVARO_IMPLEMENT_DYNAMIC(CResourceEntry, CObject, 0xFFFF)

namespace {

// Never written: every writer first checks that a line is not the shared one.
wchar_t g_emptyLineStorage[1] = {L'\0'};

constexpr unsigned kKindBits = CResourceEntry::StatusListEntry | CResourceEntry::StatusListLine |
                               CResourceEntry::StatusListEnd | CResourceEntry::StatusListContinued;
constexpr unsigned kClosingLineStatus = CResourceEntry::StatusListLine | CResourceEntry::StatusListEnd;

}  // namespace

wchar_t* const CResourceEntry::g_leereZeile = g_emptyLineStorage;
const CString CResourceEntry::g_leerstring;
char CResourceEntry::g_charConvert[CResourceEntry::ConvertBufferSize];
wchar_t CResourceEntry::g_wcharConvert[CResourceEntry::ConvertBufferSize];
CResourceEntry::KonversionsSperre CResourceEntry::g_convertBlock;

// ---- construction and copy ---------------------------------------------------------

CResourceEntry::CResourceEntry(CResValueReservoir* reservoir, unsigned status, const wchar_t* name)
    : m_name(name),
      m_line{g_leereZeile},
      m_lineSize(0),
      m_status(status),
      m_rebuildLine(true),
      m_valuePart{g_leereZeile},
      m_reservoir(reservoir) {
    if (status & StatusListEntry) {
        try {
            ListenendeErzeugen();
        } catch (...) {
            ClearContents(true, false);
            throw;
        }
    }
}

CResourceEntry::CResourceEntry(const CResourceEntry& other)
    : CObject(),
      m_name(other.m_namePending ? EntryName() : other.m_name),
      m_line{g_leereZeile},
      m_lineSize(0),
      m_status(other.m_status),
      m_rebuildLine(other.m_rebuildLine),
      m_valuePart{g_leereZeile},
      m_reservoir(other.m_reservoir) {
    try {
        CopyLineFrom(other);
        CopyPendingName(other);
        if (IsListEntry()) {
            for (POSITION pos = other.m_listLines.GetHeadPosition(); pos != nullptr;)
                AddListLine(*other.NextListenZeile(pos), nullptr);
            ListenendeErzeugen();
            m_rebuildLine = true;
        }
        CopyValuesFrom(other);
    } catch (...) {
        ClearContents(true, false);
        throw;
    }
}

CResourceEntry& CResourceEntry::operator=(const CResourceEntry& other) {
    if (this == &other)
        return *this;
    const NameWatch watch(*this);
    ClearContents(false, false);
    m_status = other.m_status;
    if (!other.m_namePending)
        SetName(other.m_name.Get());
    m_rebuildLine = other.m_rebuildLine;
    CopyLineFrom(other);
    CopyPendingName(other);
    if (IsListEntry()) {
        bool copied = false;
        for (POSITION pos = other.m_listLines.GetHeadPosition(); pos != nullptr;) {
            // A line copy keeps the reservoir of the line it copies.
            auto copy = std::make_unique<CResourceEntry>(*other.NextListenZeile(pos));
            copy->m_status |= StatusListLine;
            m_listLines.AddTail(copy.get());
            copy.release();
            copied = true;
        }
        if (copied)
            SetModified();
        ListenendeErzeugen();
        m_rebuildLine = true;
    }
    CopyValuesFrom(other);
    return *this;
}

void CResourceEntry::CopyLineFrom(const CResourceEntry& other) {
    if (other.IsNarrow()) {
        // The copy is wide: only the reader makes narrow lines.
        const unsigned char* narrow = other.m_line.narrow;
        const std::size_t textSize = std::strlen(reinterpret_cast<const char*>(narrow)) + 1;
        wchar_t* copy = new wchar_t[textSize];
        std::copy(narrow, narrow + textSize, copy);
        m_line.wide = copy;
        m_lineSize = static_cast<unsigned>(textSize);
        m_valuePart.wide = copy + (other.m_valuePart.narrow - narrow);
        return;
    }
    if (other.m_lineSize == 0 || !other.OwnsLine())
        return;  // this entry's line is the shared empty one (cleared before)
    // Copy the text, not the whole capacity: a reused buffer's tail is stale.
    const wchar_t* line = other.m_line.wide;
    const std::size_t textSize = std::wcslen(line) + 1;
    wchar_t* copy = new wchar_t[other.m_lineSize];
    std::wmemcpy(copy, line, textSize);
    m_line.wide = copy;
    m_lineSize = other.m_lineSize;
    const std::less<const wchar_t*> before;
    const wchar_t* valuePart = other.m_valuePart.wide;
    if (!before(valuePart, line) && before(valuePart, line + textSize))
        m_valuePart.wide = copy + (valuePart - line);
    else
        m_valuePart.wide = copy;
}

void CResourceEntry::CopyPendingName(const CResourceEntry& other) {
    if (!other.m_namePending)
        return;
    // The copied line holds the name at the same place.
    if (OwnsLine()) {
        m_namePending = true;
        m_nameOffset = other.m_nameOffset;
        m_nameLength = other.m_nameLength;
    } else {
        SetName(other.Name());
    }
}

void CResourceEntry::MakeName() const {
    if (IsNarrow()) {
        const unsigned char* name = m_line.narrow + m_nameOffset;
        std::wstring wide(name, name + m_nameLength);
        m_name.Assign(wide.data(), wide.size());
    } else {
        m_name.Assign(m_line.wide + m_nameOffset, m_nameLength);
    }
    m_namePending = false;
}

std::size_t CResourceEntry::NameHash() const noexcept {
    if (!m_namePending) return kelvaro::HashName(m_name.View());
    if (IsNarrow()) return kelvaro::HashName(m_line.narrow + m_nameOffset, m_nameLength);
    return kelvaro::HashName(std::wstring_view(m_line.wide + m_nameOffset, m_nameLength));
}

bool CResourceEntry::HasName(std::wstring_view name) const noexcept {
    if (!m_namePending) return m_name.View() == name;
    if (name.size() != m_nameLength) return false;
    if (!IsNarrow()) return std::wstring_view(m_line.wide + m_nameOffset, m_nameLength) == name;
    const unsigned char* own = m_line.narrow + m_nameOffset;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (static_cast<std::uint32_t>(name[i]) != own[i]) return false;
    return true;
}

bool CResourceEntry::HasSameName(const CResourceEntry& other) const noexcept {
    // Whichever side is not a narrow line gives its name as wide text.
    if (!other.m_namePending) return HasName(other.m_name.View());
    if (!other.IsNarrow()) return HasName(std::wstring_view(other.m_line.wide + other.m_nameOffset, other.m_nameLength));
    if (!m_namePending || !IsNarrow()) return other.HasSameName(*this);
    return m_nameLength == other.m_nameLength &&
           std::memcmp(m_line.narrow + m_nameOffset, other.m_line.narrow + other.m_nameOffset, m_nameLength) == 0;
}

void CResourceEntry::CopyName(CString& out) const {
    if (!m_namePending) {
        out = m_name.Get();
    } else if (IsNarrow()) {
        const unsigned char* own = m_line.narrow + m_nameOffset;
        out.Str().assign(own, own + m_nameLength);
    } else {
        out.Str().assign(m_line.wide + m_nameOffset, m_nameLength);
    }
}

void CResourceEntry::Widen() const {
    const unsigned char* narrow = m_line.narrow;
    const std::size_t textSize = std::strlen(reinterpret_cast<const char*>(narrow)) + 1;
    wchar_t* wide = new wchar_t[textSize];
    std::copy(narrow, narrow + textSize, wide);
    const std::ptrdiff_t valueOffset = m_valuePart.narrow - narrow;
    // The narrow bytes stay in the arena until it goes, as any arena line.
    m_storage &= static_cast<std::uint8_t>(~(kLineInArena | kLineNarrow));
    m_line.wide = wide;
    m_lineSize = static_cast<unsigned>(textSize);
    m_valuePart.wide = wide + valueOffset;
}

namespace {

const wchar_t* Widened(const unsigned char* text, std::wstring& scratch) {
    scratch.assign(text, text + std::strlen(reinterpret_cast<const char*>(text)));
    return scratch.c_str();
}

}  // namespace

const wchar_t* CResourceEntry::LineText(std::wstring& scratch) const {
    return IsNarrow() ? Widened(m_line.narrow, scratch) : m_line.wide;
}

const wchar_t* CResourceEntry::ValuePartText(std::wstring& scratch) const {
    return IsNarrow() ? Widened(m_valuePart.narrow, scratch) : m_valuePart.wide;
}

void CResourceEntry::CopyValuesFrom(const CResourceEntry& other) {
    // Values still in the other's line are still in the copied line too.
    if (other.m_valuesPending && m_values.empty() && OwnsLine()) {
        m_valuesPending = true;
        return;
    }
    other.SettleValues();
    const unsigned count = other.NValues();
    m_values.reserve(m_values.size() + count);
    for (unsigned i = 0; i < count; ++i) {
        const ValueBuffer& source = other.m_values[i];
        ValueBuffer copy = TakeValueBuffer(source.second);
        if (source.first != nullptr)
            std::wcscpy(copy.first, source.first);
        else
            copy.first[0] = L'\0';
        m_values.push_back(copy);  // room reserved above: cannot throw
    }
}

CResourceEntry::~CResourceEntry() {
    ClearContents(true, false);
}

// ---- memory ----------------------------------------------------------------------

CResourceEntry* CResourceEntry::NewInArena(CResValueReservoir* reservoir, unsigned status) {
    void* block = reservoir != nullptr ? reservoir->Arena().TakeBlock(sizeof(CResourceEntry)) : nullptr;
    if (block == nullptr)
        return new CResourceEntry(reservoir, status, nullptr);
    CResourceEntry* entry;
    try {
        entry = ::new (block) CResourceEntry(reservoir, status, nullptr);
    } catch (...) {
        reservoir->Arena().GiveBackBlock(block);
        throw;
    }
    entry->m_storage |= kEntryInArena;
    return entry;
}

void CResourceEntry::operator delete(CResourceEntry* entry, std::destroying_delete_t) noexcept {
    // An arena entry's reservoir is the one it was made with: nothing
    // reassigns the reservoir of an entry in an arena.
    CSeaArena* arena = (entry->m_storage & kEntryInArena) != 0 ? &entry->m_reservoir->Arena() : nullptr;
    entry->~CResourceEntry();
    if (arena != nullptr)
        arena->GiveBackBlock(entry);
    else
        ::operator delete(entry);
}

wchar_t* CResourceEntry::NewLineBuffer(unsigned need, bool& inArena) const {
    inArena = false;
    if ((m_storage & (kEntryInArena | kArenaLineTaken)) == kEntryInArena) {
        // Once only: an entry that keeps getting new lines would otherwise
        // fill its arena with lines nobody uses.
        m_storage |= kArenaLineTaken;
        if (need <= CSeaArena::kLargestRequest / sizeof(wchar_t)) {
            if (void* block = m_reservoir->Arena().Allocate(need * sizeof(wchar_t))) {
                inArena = true;
                return static_cast<wchar_t*>(block);
            }
        }
    }
    return new wchar_t[need];
}

void CResourceEntry::FreeLineBuffer() const noexcept {
    if ((m_storage & kLineInArena) != 0)
        m_storage &= static_cast<std::uint8_t>(~(kLineInArena | kLineNarrow));
    else if (OwnsLine())
        delete[] m_line.wide;
}

// ---- line assignment ------------------------------------------------------------

CResourceEntry& CResourceEntry::operator=(const wchar_t* line) {
    if (line == nullptr)
        line = L"";
    const std::size_t length = std::wcslen(line);
    if (length >= 0xFFFFFFFFu)
        throw std::bad_alloc();
    const NameWatch watch(*this);
    m_valuesPending = false;  // the values of the old line go with it
    // The line buffer is a capacity: a line that fits reuses it, which keeps
    // re-reading and re-assigning lines free of allocations.
    StoreLine(line, static_cast<unsigned>(length));
    ClearContents(false, true);
    m_rebuildLine = false;
    ZeileZerlegen();
    return *this;
}

std::wstring_view CResourceEntry::AssignReadLine(const wchar_t* line, std::size_t length) {
    bool narrowable = (m_storage & (kEntryInArena | kArenaLineTaken)) == kEntryInArena &&
                      length + 1 <= CSeaArena::kLargestRequest;
    for (std::size_t i = 0; narrowable && i < length; ++i)
        narrowable = static_cast<std::uint32_t>(line[i]) <= 0xFF;
    unsigned char* narrow =
        narrowable ? static_cast<unsigned char*>(m_reservoir->Arena().Allocate(length + 1, 1)) : nullptr;
    if (narrow == nullptr) {
        *this = line;
        return NameView();
    }
    m_storage |= kArenaLineTaken;
    std::copy(line, line + length, narrow);
    narrow[length] = 0;

    m_valuesPending = false;
    ClearContents(false, false);
    m_rebuildLine = false;
    // Parsed where the caller has it; only a line that parses is kept narrow.
    m_line.wide = const_cast<wchar_t*>(line);
    auto unhook = [this] {  // never left pointing at the caller's text
        m_namePending = false;
        m_valuesPending = false;
        m_line.wide = g_leereZeile;
        m_valuePart.wide = g_leereZeile;
    };
    try {
        ZeileZerlegen();
    } catch (const CResourceSeaException&) {
        unhook();
        *this = line;  // keeps the line wide and throws the same error
        return NameView();
    } catch (...) {
        unhook();
        throw;
    }
    const std::wstring_view name =
        m_namePending ? std::wstring_view(line + m_nameOffset, m_nameLength) : m_name.View();
    m_valuePart.narrow = narrow + (m_valuePart.wide - line);
    m_line.narrow = narrow;
    m_storage |= kLineInArena | kLineNarrow;
    return name;
}

CResourceEntry& CResourceEntry::operator=(const char* line) {
    if (line == nullptr)
        line = "";
    const NameWatch watch(*this);
    {
        const int converted = KonvertiereNachWChar(line, 1252);
        KonversionsFreigabe release;
        // A line longer than the conversion buffer is refused as a whole
        // rather than stored cut: the entry stays as it was.
        if (converted <= 0)
            throw CResourceSeaException::Formatted(1, L"Max. line length %d exceeded",
                                                   static_cast<int>(ConvertBufferSize));
        m_valuesPending = false;  // the values of the old line go with it
        StoreLine(g_wcharConvert, static_cast<unsigned>(converted - 1));
    }  // lock released before parsing
    ClearContents(false, true);
    m_rebuildLine = false;
    ZeileZerlegen();
    return *this;
}

// ---- comparison ------------------------------------------------------------------

bool CResourceEntry::operator==(const CResourceEntry& other) const {
    if (NameView() != other.NameView())
        return false;
    if (NValues() != other.NValues())
        return false;
    SettleValues();
    other.SettleValues();
    if ((m_status & kKindBits) != (other.m_status & kKindBits))
        return false;
    for (unsigned i = 0; i < NValues(); ++i) {
        const wchar_t* a = m_values[i].first ? m_values[i].first : g_leereZeile;
        const wchar_t* b = other.m_values[i].first ? other.m_values[i].first : g_leereZeile;
        if (std::wcscmp(a, b) != 0)
            return false;
    }
    return true;
}

// ---- clearing ----------------------------------------------------------------------

void CResourceEntry::InhalteLoeschen(bool freeAll) {
    ClearContents(freeAll, false);
}

void CResourceEntry::ClearContents(bool freeAll, bool keepLineBuffer) {
    if (!keepLineBuffer) {
        FreeLineBuffer();
        m_line.wide = g_leereZeile;
        m_valuePart.wide = g_leereZeile;
        m_lineSize = 0;
    }
    m_valuesPending = false;
    for (ValueBuffer& value : m_values) {
        if (freeAll)
            CResValueReservoir::FreeBuffer(value);
        else
            GiveBackValueBuffer(value);
    }
    m_values.clear();
    if (!m_listLines.IsEmpty())
        SubListeLoeschen(freeAll);
    if (m_listLines.End() != nullptr) {
        if (freeAll) {
            m_listLines.SetEnd(nullptr);
        } else {
            // Kept ready for ListenendeErzeugen.
            m_listLines.End()->InhalteLoeschen(false);
            m_listLines.End()->m_status = kClosingLineStatus;
        }
    }
    m_namePending = false;
    m_name.Clear();
    m_status &= ~static_cast<unsigned>(StatusAccessed | StatusModified | StatusSyntaxError);
    m_rebuildLine = true;
}

void CResourceEntry::SubListeLoeschen(bool freeAll) {
    while (!m_listLines.IsEmpty()) {
        auto* line = static_cast<CResourceEntry*>(m_listLines.RemoveHead());
        line->InhalteLoeschen(freeAll);
        delete line;
    }
}

void CResourceEntry::ListenendeErzeugen() {
    std::unique_ptr<CResourceEntry> created;
    CResourceEntry* end = m_listLines.End();
    if (end == nullptr) {
        created = std::make_unique<CResourceEntry>(m_reservoir, StatusListLine, nullptr);
        end = created.get();
    }
    // Read as a list line, the text is a list end, never a syntax error.
    end->m_status |= StatusListLine;
    const std::wstring text = kelvaro::FormatText(L"} \t;-- %s", Name().GetString());
    *end = text.c_str();
    if (created)
        m_listLines.SetEnd(std::move(created));
}

// ---- small accessors ---------------------------------------------------------------

const wchar_t* CResourceEntry::EintragText(unsigned index) const {
    SetAccessed();
    SettleValues();
    return index < NValues() ? m_values[index].first : nullptr;
}

CResourceEntry* CResourceEntry::NextListenZeile(POSITION& pos) const {
    if (pos == nullptr)
        throw std::invalid_argument("CResourceEntry::NextListenZeile: null POSITION");
    return static_cast<CResourceEntry*>(m_listLines.GetNext(pos));
}

CResourceEntry* CResourceEntry::PrevListenZeile(POSITION& pos) const {
    if (pos == nullptr)
        throw std::invalid_argument("CResourceEntry::PrevListenZeile: null POSITION");
    return static_cast<CResourceEntry*>(m_listLines.GetPrev(pos));
}

CResourceEntry* CResourceEntry::GetListenZeile(POSITION pos) const {
    if (pos == nullptr)
        throw std::invalid_argument("CResourceEntry::GetListenZeile: null POSITION");
    return static_cast<CResourceEntry*>(m_listLines.GetAt(pos));
}

bool CResourceEntry::IsWhiteWide(wchar_t c) {
    return kelvaro::grammar::IsWhiteWide(c);
}

// ---- conversion buffers --------------------------------------------------------------

void CResourceEntry::KonversionsSperre::Lock() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_released.wait(lock, [this] { return !m_busy; });
    m_busy = true;
}

void CResourceEntry::KonversionsSperre::Unlock() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_busy = false;
    }
    m_released.notify_one();
}

bool CResourceEntry::KonversionsSperre::IsLocked() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_busy;
}

int CResourceEntry::KonvertiereNachWChar(const char* text, unsigned codePage) {
    g_convertBlock.Lock();
    if (text == nullptr)
        return 0;
    const std::size_t length = std::strlen(text);
    switch (codePage) {
    case 0:
    case 1252: {
        if (length + 1 > ConvertBufferSize)
            return 0;
        for (std::size_t i = 0; i < length; ++i)
            g_wcharConvert[i] = kelvaro::cp1252::ToWide(static_cast<unsigned char>(text[i]));
        g_wcharConvert[length] = L'\0';
        return static_cast<int>(length + 1);
    }
    case 65001: {
        if (length + 1 > 4 * ConvertBufferSize)  // cannot fit: spare the decoding
            return 0;
        try {
            const std::wstring wide = kelvaro::utf8::Decode(std::string_view(text, length));
            if (wide.size() + 1 > ConvertBufferSize)
                return 0;
            std::wmemcpy(g_wcharConvert, wide.c_str(), wide.size() + 1);
            return static_cast<int>(wide.size() + 1);
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    default:
        return 0;
    }
}

int CResourceEntry::KonvertiereNachChar(const wchar_t* text, unsigned codePage) {
    g_convertBlock.Lock();
    if (text == nullptr)
        return 0;
    const std::size_t length = std::wcslen(text);
    switch (codePage) {
    case 0:
    case 1252: {
        if (length + 1 > ConvertBufferSize)
            return 0;
        for (std::size_t i = 0; i < length; ++i) {
            char byte = '?';
            // Like the system conversion without a default character: '?'.
            if (!kelvaro::cp1252::FromWide(text[i], byte))
                byte = '?';
            g_charConvert[i] = byte;
        }
        g_charConvert[length] = '\0';
        return static_cast<int>(length + 1);
    }
    case 65001: {
        try {
            const std::string bytes = kelvaro::utf8::Encode(std::wstring_view(text, length));
            if (bytes.size() + 1 > ConvertBufferSize)
                return 0;
            std::memcpy(g_charConvert, bytes.c_str(), bytes.size() + 1);
            return static_cast<int>(bytes.size() + 1);
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    default:
        return 0;
    }
}

void CResourceEntry::KonversionFreigeben() {
    g_convertBlock.Unlock();
}
