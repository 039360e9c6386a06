// Kelvaro: the sea's data - its lines, its name index, its value reservoir.
#include "kelvaro/sea/ResourceSea.h"

#include <memory>
#include <utility>

#include "kelvaro/entry/ResValueReservoir.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/Format.h"
#include "kelvaro/sea/SeaReport.h"

void kelvaro::seareport::Report(SeaProblems* sink, SeaProblem problem, unsigned style, const wchar_t* format, ...) {
    if (sink != nullptr) sink->push_back(std::move(problem));
    va_list args;
    va_start(args, format);
    const std::wstring text = kelvaro::FormatTextV(format, args);
    va_end(args);
    PrWin::Output(text.c_str(), PrWin::LibraryMessage, static_cast<PrWin::Style>(style));
}

CResourceSea::CResourceSea(unsigned hashSize) {
    m_index.InitHashTable(hashSize, true);
    m_reservoir = new CResValueReservoir(hashSize / 2);
}

CResourceSea::~CResourceSea() {
    PurgeDataBase();
    // Entries free their value buffers themselves, so the reservoir goes last.
    delete m_reservoir;
}

bool CResourceSea::Create() {
    PurgeDataBase();
    m_fileBased = false;
    return true;
}

void CResourceSea::ForgetFile() {
    m_keptBytes.clear();
    m_continuations.clear();
}

void CResourceSea::PurgeDataBase() {
    ForgetFile();
    m_index.RemoveAll();
    for (const CSeaLine& line : m_lines) delete line.Entry();
    m_lines.clear();  // keeps the capacity: a purged sea is usually refilled at once
    // With every entry gone, the memory they were read into goes too (kept
    // while an entry of it lives elsewhere, such as one the caller holds).
    m_reservoir->Arena().ResetIfUnused();
}

CResourceEntry* CResourceSea::CreateEntry(const wchar_t* name, int status) {
    if (CResourceEntry* existing = GetEntry(name)) return existing;
    auto* entry = new CResourceEntry(m_reservoir, static_cast<unsigned>(status), name);
    AppendIndexed(entry);
    return entry;
}

void CResourceSea::AppendLine(CResourceEntry* entry) {
    // Owned from here on, also when growing the line list fails.
    std::unique_ptr<CResourceEntry> guard(entry);
    m_lines.push_back(entry);
    guard.release();
}

void CResourceSea::AppendIndexed(CResourceEntry* entry) {
    // The line list owns the entry before the index refers to it, so a failed
    // insertion never leaves the index pointing at a lost entry.
    AppendLine(entry);
    m_index.SetAt(entry->NameView(), entry);
}

CResourceSea::Placed CResourceSea::Place(std::unique_ptr<CResourceEntry>& entry, CResourceEntry* present,
                                         const PlaceRule& rule, CObject** slot) {
    if (entry->IsComment()) {
        // A merge takes values only; the comments of the other source stay there.
        if (rule.merge) return Placed::Dropped;
        AppendLine(entry.release());
        return Placed::Line;
    }
    if (present != nullptr) return MeetPresent(*present, *entry, rule);
    if (!rule.addNew) return Placed::Dropped;
    if (slot != nullptr) {
        m_lines.push_back(entry.get());
        *slot = entry.release();
    } else {
        AppendIndexed(entry.release());
    }
    return Placed::Added;
}

CResourceSea::Placed CResourceSea::MeetPresent(CResourceEntry& present, const CResourceEntry& incoming,
                                               const PlaceRule& rule) {
    if (!rule.merge) return Placed::Duplicate;
    if (rule.keepModified && present.Modified()) return Placed::Dropped;
    if (rule.appendLists && incoming.IsListEntry())
        present += incoming;
    else
        present = incoming;  // an entry assigned to itself stays as it is
    return Placed::Merged;
}

CResourceEntry* CResourceSea::GetEntry(const wchar_t* name) const {
    return static_cast<CResourceEntry*>(m_index.Find(std::wstring_view(name ? name : L"")));
}

void CResourceSea::DeleteSeaLine(CResourceEntry* entry) {
    if (entry == nullptr) return;
    // The key may belong to another entry of the same name (a duplicate that
    // the reader turned into a comment, or an entry of another sea): only a
    // key that maps to this very entry goes.
    CObject* indexed = nullptr;
    const bool ownKey = m_index.Lookup(entry->NameView(), indexed) && indexed == entry;
    // A block placed after this line moves to the line before it, which takes
    // a search; so does an entry that is not indexed (it may be no line of
    // this sea at all). Every other delete is noted, and the gaps are closed
    // when the lines are next walked.
    bool placesBlock = false;
    for (const ListContinuation& block : m_continuations)
        if (block.after == entry && block.list != entry) placesBlock = true;
    long long at = -1;
    if (!ownKey || placesBlock) {
        at = m_lines.IndexOf(entry);
        if (at < 0) {
            if (ownKey) m_index.RemoveKey(entry->NameView());
            return;
        }
    }
    const auto forget = [this, entry] {
        // Nothing kept for its lines may outlive them.
        m_keptBytes.erase(entry);
        for (POSITION pos = entry->m_listLines.GetHeadPosition(); pos != nullptr;)
            m_keptBytes.erase(static_cast<const CResourceEntry*>(entry->m_listLines.GetNext(pos)));
        if (entry->m_listLines.End() != nullptr) m_keptBytes.erase(entry->m_listLines.End());
        std::erase_if(m_continuations, [entry](const ListContinuation& block) { return block.list == entry; });
    };
    if (at < 0) {
        m_lines.Remove(entry);  // may throw: nothing has changed yet
        m_index.RemoveKey(entry->NameView());
        forget();
        return;
    }
    // An entry given another name through its own assignment is still
    // indexed under the one it had: that key must not outlive it.
    if (ownKey)
        m_index.RemoveKey(entry->NameView());
    else
        m_index.RemoveValue(entry);
    forget();
    const auto index = static_cast<unsigned>(at);
    for (ListContinuation& block : m_continuations)
        if (block.after == entry) block.after = index > 0 ? EntryAt(index - 1) : nullptr;
    m_lines.EraseAt(index);
}

POSITION CResourceSea::GetEntriesStartPosition() const {
    return m_index.IsEmpty() ? nullptr : m_index.GetStartPosition();
}

CResourceEntry* CResourceSea::GetNextEntry(CString& name, POSITION& pos) {
    CObject* value = nullptr;
    m_index.GetNextAssoc(pos, name, value);
    return static_cast<CResourceEntry*>(value);
}

unsigned CResourceSea::NrEntries() const { return static_cast<unsigned>(m_index.GetCount()); }

unsigned CResourceSea::NrLines() const { return m_lines.size(); }

bool CResourceSea::IsEmpty() const { return m_index.IsEmpty(); }

CResourceSea& CResourceSea::operator+=(const CResourceSea& other) {
    MergeContent(&other);
    return *this;
}
