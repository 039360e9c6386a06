// Kelvaro: the list cursor. Comment lines stay in a list (they are written
// back) but do not count as elements: moves, numbers and counts skip them,
// while the key search and the removal step back look at every line.
#include "kelvaro/sea/ResourceList.h"

#include <cwchar>
#include <memory>
#include <string>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/sea/ResourceSea.h"

namespace {

// Modes of CResourceEntry::AddListLine(mode, pos).
constexpr int kAddAtEnd = 14;
constexpr int kAddAtFront = 15;

}  // namespace

CResourceList::CResourceList(CResourceSea* sea, const wchar_t* name) {
    if (sea == nullptr || name == nullptr) return;
    m_entry = sea->CreateEntry(name, CResourceEntry::StatusListEntry);
    m_entry->SetAccessed();
}

CResourceList::CResourceList(const CResourceSea* sea, const wchar_t* name) : m_readOnly(true) {
    if (sea == nullptr || name == nullptr) return;
    m_entry = sea->GetEntry(name);
    if (m_entry != nullptr) m_entry->SetAccessed();
}

CResourceList& CResourceList::operator=(const CResourceList& other) {
    m_entry = other.m_entry;
    m_pos = other.m_pos;
    m_readOnly = other.m_readOnly;
    return *this;
}

int CResourceList::Status() const { return m_entry != nullptr ? 1 : -1; }

bool CResourceList::IsEmpty() const { return m_entry == nullptr || m_entry->m_listLines.IsEmpty(); }

unsigned CResourceList::NrElements() const {
    if (m_entry == nullptr) return 0;
    unsigned count = 0;
    for (POSITION pos = m_entry->m_listLines.GetHeadPosition(); pos != nullptr;) {
        if (!m_entry->NextListenZeile(pos)->IsComment()) ++count;
    }
    return count;
}

CResourceEntry* CResourceList::GetCurrentLine() const {
    return m_pos != nullptr ? m_entry->GetListenZeile(m_pos) : nullptr;
}

bool CResourceList::IsValid() const { return m_pos != nullptr; }

POSITION CResourceList::SkipCommentsForward(POSITION pos) const {
    while (pos != nullptr) {
        const POSITION here = pos;
        if (!m_entry->NextListenZeile(pos)->IsComment()) return here;
    }
    return nullptr;
}

POSITION CResourceList::SkipCommentsBackward(POSITION pos) const {
    while (pos != nullptr) {
        const POSITION here = pos;
        if (!m_entry->PrevListenZeile(pos)->IsComment()) return here;
    }
    return nullptr;
}

bool CResourceList::GotoHead() {
    if (m_entry == nullptr) return false;
    m_pos = SkipCommentsForward(m_entry->m_listLines.GetHeadPosition());
    return m_pos != nullptr;
}

bool CResourceList::GotoTail() {
    if (m_entry == nullptr) return false;
    m_pos = SkipCommentsBackward(m_entry->m_listLines.GetTailPosition());
    return m_pos != nullptr;
}

bool CResourceList::GotoNext() {
    if (m_pos == nullptr) return false;
    POSITION next = m_pos;
    m_entry->NextListenZeile(next);
    m_pos = SkipCommentsForward(next);
    return m_pos != nullptr;
}

bool CResourceList::GotoPrev() {
    if (m_pos == nullptr) return false;
    POSITION prev = m_pos;
    m_entry->PrevListenZeile(prev);
    m_pos = SkipCommentsBackward(prev);
    return m_pos != nullptr;
}

bool CResourceList::GotoLine(unsigned n) {
    if (m_entry == nullptr) return false;
    if (n >= static_cast<unsigned>(m_entry->m_listLines.GetCount())) return false;
    unsigned count = 0;
    for (POSITION pos = m_entry->m_listLines.GetHeadPosition(); pos != nullptr;) {
        const POSITION here = pos;
        if (m_entry->NextListenZeile(pos)->IsComment()) continue;
        if (count == n) {
            m_pos = here;
            return true;
        }
        ++count;
    }
    m_pos = nullptr;
    return false;
}

bool CResourceList::GotoLine(const wchar_t* key) {
    if (m_entry == nullptr) return false;
    m_pos = nullptr;
    if (key == nullptr) return false;
    for (POSITION pos = m_entry->m_listLines.GetHeadPosition(); pos != nullptr;) {
        const POSITION here = pos;
        const CResourceEntry* line = m_entry->NextListenZeile(pos);
        line->SetAccessed();
        if (line->NValues() == 0) continue;
        const wchar_t* first = line->EintragText(0);
        if (first != nullptr && std::wcscmp(first, key) == 0) {
            m_pos = here;
            return true;
        }
    }
    return false;
}

CResourceEntry* CResourceList::GetLineByIndex(unsigned n) {
    return GotoLine(n) ? GetCurrentLine() : nullptr;
}

CResourceEntry* CResourceList::GetLineByKey(const wchar_t* key) {
    return GotoLine(key) ? GetCurrentLine() : nullptr;
}

CResourceEntry* CResourceList::GetLineByKey(int key) {
    // std::to_wstring gives the same text as "%d".
    return GetLineByKey(std::to_wstring(key).c_str());
}

CResourceEntry* CResourceList::AddLineHead() {
    if (m_readOnly || m_entry == nullptr) return nullptr;
    return m_entry->AddListLine(kAddAtFront, nullptr);
}

CResourceEntry* CResourceList::AddLineTail() {
    if (m_readOnly || m_entry == nullptr) return nullptr;
    return m_entry->AddListLine(kAddAtEnd, nullptr);
}

CResourceEntry* CResourceList::InsertLine() {
    if (m_readOnly || m_entry == nullptr || !m_entry->IsListEntry()) return nullptr;
    auto line = std::make_unique<CResourceEntry>(m_entry->m_reservoir, CResourceEntry::StatusListLine,
                                                 nullptr);
    // InsertBefore with a null position puts the line in front.
    m_entry->m_listLines.InsertBefore(m_pos, line.get());
    m_entry->SetModified();
    return line.release();
}

void CResourceList::RemoveCurrent() {
    if (m_readOnly || m_pos == nullptr) return;
    const POSITION current = m_pos;
    POSITION before = current;
    m_entry->PrevListenZeile(before);
    RemoveAt(current);
    m_pos = before;
}

void CResourceList::RemoveAll() {
    if (m_readOnly || m_entry == nullptr) return;
    m_entry->SubListeLoeschen(false);
    m_pos = nullptr;
}

void CResourceList::RemoveAt(POSITION pos) {
    CResourceEntry* line = m_entry->GetListenZeile(pos);
    m_entry->m_listLines.RemoveAt(pos);
    // Its value buffers go back to the sea's reservoir, as when a whole list is cleared.
    line->InhalteLoeschen(false);
    delete line;
}
