// The sea's line list: compact blank and comment lines, deletes noted and
// gaps closed in one pass when the lines are next walked.
#include "kelvaro/sea/SeaLines.h"

#include <algorithm>
#include <cstring>

#include "kelvaro/entry/ResourceEntry.h"

struct CSeaLine::Stored {
    std::uint32_t length;
    std::uint8_t readLineEnd;
    bool narrow;  // one byte a character (all below 256), else wchar_t
    // the characters follow, a wide text with its terminator

    const unsigned char* Narrow() const noexcept { return reinterpret_cast<const unsigned char*>(this + 1); }
    const wchar_t* Wide() const noexcept { return reinterpret_cast<const wchar_t*>(this + 1); }
};

const CSeaLine::Stored* CSeaLine::StoredText() const noexcept {
    return reinterpret_cast<const Stored*>(m_word & ~std::uintptr_t{7});
}

namespace {

constexpr std::size_t kLargestChunk = 1024 * 1024;

}  // namespace

const wchar_t* CSeaLine::Text(std::wstring& scratch) const {
    if (m_word < kBlankLimit) return L"";
    const auto* text = StoredText();
    if (!text->narrow) return text->Wide();
    scratch.assign(text->Narrow(), text->Narrow() + text->length);
    return scratch.c_str();
}

unsigned CSeaLine::ReadLineEnd() const noexcept {
    if (m_word < kBlankLimit) return static_cast<unsigned>(m_word >> kEndShift);
    return StoredText()->readLineEnd;
}

CSeaLines::~CSeaLines() {
    Collect();
}

void* CSeaLines::StoreText(std::size_t bytes) {
    bytes = (bytes + 7) & ~std::size_t{7};
    if (bytes > m_left) {
        // Chunks double up to a megabyte, so a small sea stays small and a
        // large one makes few allocations.
        const std::size_t size = std::max(bytes, m_chunkSize);
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_chunkSize = std::min(m_chunkSize * 2, kLargestChunk);
        m_next = m_chunks.back().get();
        m_left = size;
    }
    void* at = m_next;
    m_next += bytes;
    m_left -= bytes;
    return at;
}

void CSeaLines::PushCompact(const wchar_t* text, unsigned length, unsigned readLineEnd) {
    if (length == 0) {
        m_lines.push_back(CSeaLine());
        m_lines.back().m_word = CSeaLine::kCompact | (std::uintptr_t{readLineEnd} << CSeaLine::kEndShift);
        return;
    }
    const bool narrow = std::all_of(text, text + length, [](wchar_t c) { return static_cast<std::uint32_t>(c) < 256; });
    const std::size_t chars = narrow ? length : (length + 1u) * sizeof(wchar_t);
    // Grown first: a list that cannot grow leaves no text behind to lose track of.
    m_lines.push_back(CSeaLine());
    void* block;
    try {
        block = StoreText(sizeof(CSeaLine::Stored) + chars);
    } catch (...) {
        m_lines.erase(m_lines.size() - 1);
        throw;
    }
    auto* stored = static_cast<CSeaLine::Stored*>(block);
    stored->length = length;
    stored->readLineEnd = static_cast<std::uint8_t>(readLineEnd);
    stored->narrow = narrow;
    if (narrow) {
        auto* out = reinterpret_cast<unsigned char*>(stored + 1);
        for (unsigned i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(text[i]);
    } else {
        std::memcpy(stored + 1, text, length * sizeof(wchar_t));
        reinterpret_cast<wchar_t*>(stored + 1)[length] = L'\0';
    }
    m_lines.back().m_word = reinterpret_cast<std::uintptr_t>(stored) | CSeaLine::kCompact;
}

void CSeaLines::Remove(CResourceEntry* entry) {
    m_removed.insert(entry);
}

void CSeaLines::Collect() const {
    if (m_removed.empty()) return;
    unsigned kept = 0;
    const unsigned count = m_lines.size();
    for (unsigned i = 0; i < count; ++i) {
        const CSeaLine line = m_lines[i];
        CResourceEntry* entry = line.Entry();
        if (entry != nullptr && m_removed.count(entry) != 0) {
            delete entry;
        } else {
            m_lines[kept++] = line;
        }
    }
    m_steps += count;
    m_lines.erase(kept, count - kept);
    m_removed.clear();
}

long long CSeaLines::IndexOf(const CResourceEntry* entry) const {
    Collect();
    const unsigned count = m_lines.size();
    for (unsigned i = 0; i < count; ++i) {
        if (m_lines[i].Entry() == entry && entry != nullptr) {
            m_steps += i + 1;
            return i;
        }
    }
    m_steps += count;
    return -1;
}

void CSeaLines::EraseAt(unsigned index) {
    Collect();
    CResourceEntry* entry = m_lines[index].Entry();
    m_steps += m_lines.size() - index;
    m_lines.erase(index);
    delete entry;
}

void CSeaLines::clear() {
    Collect();
    m_lines.clear();
    m_chunks.clear();
    m_next = nullptr;
    m_left = 0;
    m_chunkSize = kFirstTextChunk;
}
