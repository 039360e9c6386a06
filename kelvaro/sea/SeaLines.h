// CSeaLines: the lines of a sea in file order, as CResourceSea keeps them.
//
// A blank or comment line read from a file and never asked for is not kept
// as an entry: it is a CSeaLine of one word, its text (if any) in the list's
// own text store, one byte a character when the text allows. Such lines are
// most of many files and need nothing of an entry unless a caller asks for
// one; the sea then makes the entry and puts it in the line's place.
//
// Taking a line out does not close the gap at once: the line is noted and
// the gaps are closed in one pass the next time the lines are walked or
// indexed. Deleting many entries one by one then costs one pass over the
// sea, not one per entry. Appending never waits for that pass.
//
// The list owns the lines taken out until that pass deletes them; the
// entries still in it belong to the sea. Not thread-safe, like the sea.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "kelvaro/platform/FastVector.h"

class CResourceEntry;

// One line of the list: an entry, or a compact blank or comment line.
class CSeaLine {
public:
    CSeaLine() = default;
    CSeaLine(CResourceEntry* entry) noexcept : m_word(reinterpret_cast<std::uintptr_t>(entry)) {}

    bool IsCompact() const noexcept { return (m_word & kCompact) != 0; }
    // The entry, or null for a compact line.
    CResourceEntry* Entry() const noexcept {
        return IsCompact() ? nullptr : reinterpret_cast<CResourceEntry*>(m_word);
    }
    // A compact line's text, widened into `scratch` when it is kept narrow.
    const wchar_t* Text(std::wstring& scratch) const;
    // A compact line's end as read (1 + CUnicodeFile::LineEnd).
    unsigned ReadLineEnd() const noexcept;

    bool operator==(const CSeaLine& other) const noexcept { return m_word == other.m_word; }

private:
    friend class CSeaLines;
    struct Stored;  // length, line end and width, then the characters
    const Stored* StoredText() const noexcept;
    static constexpr std::uintptr_t kCompact = 1;
    // A blank line keeps its line end in the word itself: no text at all.
    static constexpr unsigned kEndShift = 1;
    static constexpr std::uintptr_t kBlankLimit = 8;

    std::uintptr_t m_word = 0;
};

class CSeaLines {
public:
    CSeaLines() = default;
    // Deletes the lines taken out and not yet collected; the others are the sea's.
    ~CSeaLines();
    CSeaLines(const CSeaLines&) = delete;
    CSeaLines& operator=(const CSeaLines&) = delete;

    // Lines still in the list, without collecting.
    unsigned size() const noexcept { return m_lines.size() - static_cast<unsigned>(m_removed.size()); }
    bool empty() const noexcept { return size() == 0; }

    // Walking or indexing first closes the gaps. Pointers stay valid as long
    // as nothing is appended.
    const CSeaLine* begin() const { Collect(); return m_lines.begin(); }
    const CSeaLine* end() const { Collect(); return m_lines.end(); }
    CSeaLine operator[](unsigned index) const { Collect(); return m_lines[index]; }

    // Throws std::bad_alloc when the list cannot grow; the entry is not owned then.
    void push_back(CResourceEntry* entry) { m_lines.push_back(CSeaLine(entry)); }
    // Appends a blank or comment line as read, `length` characters of
    // `text` that ended with `readLineEnd`. Throws std::bad_alloc.
    void PushCompact(const wchar_t* text, unsigned length, unsigned readLineEnd);
    // Puts `entry` in the place of the compact line at `index`.
    void Replace(unsigned index, CResourceEntry* entry) noexcept { m_lines[index] = CSeaLine(entry); }

    // Takes out `entry`, which must be a line of the list not taken out
    // before, and deletes it no later than the next walk. Throws
    // std::bad_alloc (nothing changes) when it cannot be noted.
    void Remove(CResourceEntry* entry);
    // Where `entry` stands, or -1 when it is no line of the list (one pass).
    long long IndexOf(const CResourceEntry* entry) const;
    // Takes out and deletes the line at `index` at once (one pass).
    void EraseAt(unsigned index);
    // Deletes the lines taken out and forgets the others (the sea deletes
    // the entries); the compact lines' texts go too.
    void clear();

    // Lines looked at or moved by collecting and searching since the list
    // was made: tests check that deleting stays one pass however many go.
    std::uint64_t Steps() const noexcept { return m_steps; }

private:
    void Collect() const;
    void* StoreText(std::size_t bytes);

    mutable FastVector<CSeaLine> m_lines;
    mutable std::unordered_set<const CResourceEntry*> m_removed;
    mutable std::uint64_t m_steps = 0;
    // The compact lines' texts, in chunks given up together by clear().
    std::vector<std::unique_ptr<char[]>> m_chunks;
    char* m_next = nullptr;
    std::size_t m_left = 0;
    static constexpr std::size_t kFirstTextChunk = 16 * 1024;
    std::size_t m_chunkSize = kFirstTextChunk;
};
