// Kelvaro: the sea's data - its lines, its name index, its value reservoir.
#include "kelvaro/sea/ResourceSea.h"

#include <memory>
#include <new>
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
    // hashSize counts slots; three quarters of them may be filled.
    m_index.Reserve(hashSize - hashSize / 4);
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
    m_index.Clear();
    bool lost = false;
    m_reservoir->TakeRenames(lost);  // the notes name entries that go now
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

void CResourceSea::AppendIndexed(CResourceEntry* entry, const std::size_t* hash) {
    // The line list owns the entry before the index refers to it, so a failed
    // insertion never leaves the index pointing at a lost entry.
    AppendLine(entry);
    if (hash != nullptr) {
        m_index.Insert(entry, *hash);
        return;
    }
    const std::size_t own = entry->NameHash();
    // A name that is taken stays with its entry; this one is then a line only.
    if (Index().FindNameOf(*entry, own) == nullptr) m_index.Insert(entry, own);
}

SeaIndex& CResourceSea::Index() const {
    if (m_reservoir->HasRenames()) FileRenamedEntries();
    return m_index;
}

void CResourceSea::FileRenamedEntries() const {
    bool lost = false;
    const std::vector<CResValueReservoir::Renamed> renamed = m_reservoir->TakeRenames(lost);
    // The entry answers to its new name, unless another entry has it or it
    // is no entry any more.
    const auto file = [this](CResourceEntry& entry, std::size_t hash) {
        if (entry.IsComment() || m_index.FindNameOf(entry, hash) != nullptr) {
            entry.SetIndexed(false);
            return;
        }
        try {
            m_index.Insert(&entry, hash);
        } catch (const std::bad_alloc&) {
            entry.SetIndexed(false);  // out of memory: a line without a name to find it by
        }
    };
    if (lost) {
        // Some note could not be kept: every entry that was filed is filed
        // again, first line first. They fit in the table they were in.
        m_index.Clear();
        for (const CSeaLine& line : m_lines) {
            CResourceEntry* entry = line.Entry();
            if (entry != nullptr && entry->IsIndexed()) file(*entry, entry->NameHash());
        }
        return;
    }
    for (const CResValueReservoir::Renamed& note : renamed) {
        // An entry renamed twice is filed again at its first note.
        auto* entry = const_cast<CResourceEntry*>(note.entry);
        if (m_index.Remove(entry, note.oldHash)) file(*entry, entry->NameHash());
    }
}

CResourceSea::Placed CResourceSea::Place(std::unique_ptr<CResourceEntry>& entry, CResourceEntry* present,
                                         const PlaceRule& rule, const std::size_t* hash) {
    if (entry->IsComment()) {
        // A merge takes values only; the comments of the other source stay there.
        if (rule.merge) return Placed::Dropped;
        AppendLine(entry.release());
        return Placed::Line;
    }
    if (present != nullptr) return MeetPresent(*present, *entry, rule);
    if (!rule.addNew) return Placed::Dropped;
    AppendIndexed(entry.release(), hash);
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
    return Index().Find(std::wstring_view(name ? name : L""));
}

void CResourceSea::DeleteSeaLine(CResourceEntry* entry) {
    if (entry == nullptr) return;
    // The key may belong to another entry of the same name (a duplicate that
    // the reader turned into a comment, or an entry of another sea): only a
    // key that maps to this very entry goes.
    const bool ownKey = Index().Holds(entry);
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
            if (ownKey) m_index.Remove(entry);
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
        m_index.Remove(entry);
        forget();
        return;
    }
    if (ownKey) m_index.Remove(entry);
    forget();
    const auto index = static_cast<unsigned>(at);
    for (ListContinuation& block : m_continuations)
        if (block.after == entry) block.after = index > 0 ? EntryAt(index - 1) : nullptr;
    m_lines.EraseAt(index);
}

POSITION CResourceSea::GetEntriesStartPosition() const {
    return Index().First();
}

CResourceEntry* CResourceSea::GetNextEntry(CString& name, POSITION& pos) {
    CResourceEntry* entry = Index().Next(pos);
    if (entry != nullptr)
        entry->CopyName(name);
    else
        name.Empty();
    return entry;
}

unsigned CResourceSea::NrEntries() const { return static_cast<unsigned>(Index().Count()); }

unsigned CResourceSea::NrLines() const { return m_lines.size(); }

bool CResourceSea::IsEmpty() const { return Index().IsEmpty(); }

CResourceSea& CResourceSea::operator+=(const CResourceSea& other) {
    MergeContent(&other);
    return *this;
}
