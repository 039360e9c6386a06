// Kelvaro: carrying the content of one sea into another (merge and
// synchronisation), and the whole-sea queries and maintenance operations.
#include <memory>
#include <string_view>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/sea/ResourceSea.h"

namespace {

// A value that stands for "nothing here": the settings store keeps it as a
// placeholder, and an entry holding just this text is never carried over.
constexpr std::wstring_view kExclusionMarker = L"$$<<<<<$$";

// The transfer keeps what the target entry already holds when it was changed
// by the program (not used by the public operations).
constexpr int kKeepModified = 2;

// A rebuilt value part ends every value with a blank; the single value
// "$$<<<<<$$" therefore reads "$$<<<<<$$ ". The blanks are cut before the
// comparison so that such an entry is indeed left out.
bool IsExcluded(const wchar_t* valuePart) {
    std::wstring_view text(valuePart != nullptr ? valuePart : L"");
    while (!text.empty() && text.back() == L' ') text.remove_suffix(1);
    return text == kExclusionMarker;
}

}  // namespace

void CResourceSea::MergeContent(const CResourceSea* other) { ContentTransfer(other, 0, 0); }

void CResourceSea::SynchContent(const CResourceSea* other) { ContentTransfer(other, 1, 0); }

void CResourceSea::ContentTransfer(const CResourceSea* other, int mode, int flags) {
    if (other == nullptr) return;
    // Synchronising (mode 1) updates the names both seas hold and adds none.
    const PlaceRule rule{true, (flags & kKeepModified) != 0, false, mode != 1};
    // The named entries of `other` are visited in its line order rather than
    // in the order of its index: new entries then follow each other here as
    // they did there, and a large sea is walked through memory in order.
    // Counted before the walk: a sea merged into itself gains no lines.
    const unsigned count = other->m_lines.size();
    // Every line that is no comment is normally the indexed entry of its
    // name; only when the counts say otherwise is each line checked against
    // the index (a lookup per line that large seas feel in their caches).
    auto named = [other](unsigned i) -> const CResourceEntry* {
        const CResourceEntry* line = other->m_lines[i].Entry();
        return line != nullptr && !line->IsComment() ? line : nullptr;
    };
    unsigned namedCount = 0;
    for (unsigned i = 0; i < count; ++i)
        if (named(i) != nullptr) ++namedCount;
    const bool checkIndex = namedCount != other->NrEntries();
    std::wstring narrow;
    for (unsigned i = 0; i < count; ++i) {
        const CResourceEntry* source = named(i);
        if (source == nullptr) continue;
        if (checkIndex && !other->Index().Holds(source)) continue;

        // Always rebuilt, so that the marker is recognised however the line
        // was written in the file. Throws when the line is too long; what was
        // carried over before stays.
        source->SeeZeileErneuern();
        if (IsExcluded(source->ValuePartText(narrow))) continue;

        // Entries copied from another sea would otherwise keep borrowing value
        // buffers from that sea's reservoir, and change their values through
        // a dangling pointer once that sea is gone.
        if (CResourceEntry* present = GetEntry(source->Name())) {
            if (MeetPresent(*present, *source, rule) == Placed::Merged && present != source)
                present->UseReservoir(m_reservoir);
            continue;
        }
        if (!rule.addNew) continue;
        auto copy = std::make_unique<CResourceEntry>(*source);
        copy->UseReservoir(m_reservoir);
        Place(copy, nullptr, rule);
    }
}

// A compact line is a comment as read: never modified, always accessed.
bool CResourceSea::Modified() const {
    for (const CSeaLine& line : m_lines)
        if (line.Entry() != nullptr && line.Entry()->Modified()) return true;
    return false;
}

void CResourceSea::ResetModified() {
    for (const CSeaLine& line : m_lines)
        if (line.Entry() != nullptr) line.Entry()->ResetModified();
}

bool CResourceSea::Orphans() const {
    for (const CSeaLine& line : m_lines)
        if (line.Entry() != nullptr && !line.Entry()->Accessed()) return true;
    return false;
}

bool CResourceSea::SelfTest() const {
    bool passed = true;
    VisitLines([&passed](const CResourceEntry& line) {
        const CResourceEntry* entry = &line;
        // A comment made by the program keeps its text as a value, but reads
        // back with its text in the line only: comparing the two would fail
        // every sound comment, so comments are checked without reading back.
        // A line that failed to parse is still read back, and fails.
        const bool reconstruct = !entry->IsComment() || entry->SyntaxError();
        // Every line is tested, also after a failure, so one run shows them all.
        try {
            if (!entry->Selbsttest(reconstruct)) passed = false;
        } catch (const CResourceSeaException&) {
            passed = false;
        }
    });
    return passed;
}

void CResourceSea::PrintEntries() const {
    CString text;
    VisitLines([&text](const CResourceEntry& entry) {
        try {
            entry.SeeZeileKopieren(text, true);
        } catch (const CResourceSeaException& error) {
            // A line too long to rebuild: the listing names the fault and goes on.
            text = error.m_message;
        }
        PrWin::Output(PrWin::LibraryMessage, PrWin::Normal, L"%s\n", text.GetString());
    });
}
