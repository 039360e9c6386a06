// Kelvaro: CResourceSea, one sea in memory - the lines of a sea file in their
// order, an index from entry name to entry, and the file the sea belongs to.
// The sea registry creates seas; modules read and write values through the
// lookup family and write a sea back only when they ask for it (UpdateIfPossible).
// A sea serves one thread at a time, lookups included (they mark entries
// accessed); guard a sea shared between threads with a lock. Its entries
// live no longer than the sea: the sea's reader makes them in its own memory.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/FastVector.h"
#include "kelvaro/platform/Types.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/sea/Lookup.h"
#include "kelvaro/sea/SeaIndex.h"
#include "kelvaro/sea/SeaLines.h"
#include "kelvaro/sea/SeaReport.h"

class CResourceEntry;
class CResValueReservoir;
class CResSeaTableInterface;
class CResourceList;
class CSeaBase;

class CResourceSea {
    // The list cursor binds to list entries through GetEntry, also of a const
    // sea; the registry removes lines of the Locals sea with DeleteSeaLine.
    friend class CResourceList;
    friend class CSeaBase;

public:
    // ---- Sea model and entry index ----

    // hashSize is the initial size of the name index (it grows on its own) and,
    // halved, the number of value buffers the sea keeps ready.
    explicit CResourceSea(unsigned hashSize = 4001);
    ~CResourceSea();
    CResourceSea(const CResourceSea&) = delete;
    CResourceSea& operator=(const CResourceSea&) = delete;

    // Empties the sea and makes it memory-only; name, file name and flags stay. Always true.
    bool Create();
    // Deletes every line and empties the index; name, file name, flags and reservoir stay.
    void PurgeDataBase();
    // The entry of that name; created (indexed, appended to the lines) with
    // `status` when missing. `status` is ignored for an existing entry.
    CResourceEntry* CreateEntry(const wchar_t* name, int status);

    // Iteration over the index (hash order; comment lines are never visited).
    // Null when the sea has no named entries.
    POSITION GetEntriesStartPosition() const;
    // One step: stores the key in `name`, returns the entry, advances `pos`
    // (null after the last). `pos` must not be null.
    CResourceEntry* GetNextEntry(CString& name, POSITION& pos);

    unsigned NrEntries() const;  // keys in the index
    unsigned NrLines() const;    // lines of the sea, comments and duplicates included
    bool IsEmpty() const;        // no named entry (comment lines do not count)

    // Read-only views for tools that show a sea as it stands: line `index` in
    // file order (null past the end), and the indexed entry of `name` (null
    // when missing). Neither marks anything as accessed. A blank or comment
    // line read from the file gets its entry made here, the first time it
    // is asked for: like the rest of the sea, not for two threads at once.
    const CResourceEntry* LineAt(unsigned index) const;
    const CResourceEntry* FindEntry(const wchar_t* name) const;

    const CString& SeaName() const { return m_name; }
    void SetSeaName(const CString& name) { m_name = name; }
    const CString& Filename() const { return m_fileName; }
    bool IsFilebased() const { return m_fileBased; }
    // The encoding a write-back uses: the one the file was read in (1200
    // UTF-16LE, 1201 UTF-16BE, 65001 UTF-8 with byte-order mark, 1252), UTF-16LE
    // for a new sea. SaveAsUnicode(false) asks for 1252; SaveAsUnicode(true)
    // asks for UTF-16LE unless the sea already writes a Unicode form.
    bool IsUnicodeFile() const { return m_codePage != 1252; }
    void SaveAsUnicode(bool unicode);
    unsigned FileCodePage() const { return m_codePage; }
    // False (nothing changed) for a code page other than the four above.
    bool SetFileCodePage(unsigned codePage);
    // Why the last write-back failed ("line 7 holds ..." or the system's error
    // text); empty after a write that succeeded.
    const CString& WriteError() const { return m_writeError; }
    // What the last reading or saving operation met (the reading operations
    // below, ReadFromTable, UpdateIfPossible and what calls it), in the order
    // met; each was also reported to the output handler, a refused save by
    // UpdateFile. Empty after a clean one.
    const kelvaro::SeaProblems& Problems() const { return m_problems; }
    bool IsFileSection() const { return m_fileSection; }
    void SetFileSection(bool section) { m_fileSection = section; }
    // The next write (file or table) drops the sediment: lines nothing used, bad lines.
    void MitSedimentfilter(bool on) { m_sedimentFilter = on; }

    // As MergeContent(&other).
    CResourceSea& operator+=(const CResourceSea& other);

    // ---- Sea file reading ----

    // Empties the sea and reads `fileName` (created empty when missing unless
    // readOnly). False, with a report, when the file cannot be found, created or opened.
    bool Create(const wchar_t* fileName, bool readOnly);
    // Empties the sea and reads an already opened file from its current position.
    bool Create(CUnicodeFile* file, bool readOnly);
    // Reads `fileName` into the sea without purging; the sea becomes file-based on success.
    bool OpenFileBase(const wchar_t* fileName, bool create);
    // Reads another file into the sea: with `overwrite` its values win, without
    // it only missing entries are added. False, with a report, when it cannot be opened.
    bool MergeFile(const wchar_t* fileName, bool overwrite);
    // Reads the sea's own file again: with `purge` from scratch, without it
    // keeping the values the program changed. True at once for a memory-only sea.
    // After a save refused because the file changed on disk since it was read
    // (another process saved it), ReloadFileBase(false) then UpdateIfPossible()
    // saves the program's changes over what the other process wrote.
    bool ReloadFileBase(bool purge);
    // The line of the sea's file that entry `name` of the sea's part (its
    // section, or the head) starts on; 0 when it is not there. The file is
    // read again: asked only to show where something is, so no line number
    // is kept for every entry.
    int LineOf(const wchar_t* name) const;
    // Whether the file at `path` holds the line that starts sea `section`'s part.
    static bool FileHasSection(const wchar_t* path, const wchar_t* section);
    // The names of the sections the file at `path` holds, in file order.
    static std::vector<std::wstring> FileSections(const wchar_t* path);

    // ---- Sea file writing ----

    // Writes the sea's part of Filename() (the head, or its section) and keeps
    // the rest of the file; the file is replaced whole or left as it was. The
    // file is locked for the write (other saves of it wait), and a part that
    // changed on disk since the sea read it is not overwritten: the save fails
    // and WriteError() says so (see ReloadFileBase). True also when there is
    // nothing to do (memory-only or read-only sea).
    bool UpdateIfPossible();
    // UpdateIfPossible, reporting a failure; its result.
    bool UpdateFile();
    // Ties the sea to `fileName` (kept even when the write fails), then UpdateFile().
    bool SaveAs(const wchar_t* fileName);
    // Optionally writes back to the present file, then purges and opens `fileName`.
    bool ChangeFileBase(const wchar_t* fileName, bool writeBack);

    // ---- Lookup by name ----
    // A missing name is never an error: the result says what happened and the
    // caller's variable keeps its value. Writing beyond the entry's number of
    // values throws CResourceSeaException (code 3) from the entry.

    lookup::result LookupInt(int mode, const wchar_t* name, int& value, unsigned index = 0);
    lookup::result LookupInt(int mode, const wchar_t* name, unsigned int& value, unsigned index = 0);
    lookup::result LookupInt(int mode, const wchar_t* name, long& value, unsigned index = 0);
    lookup::result LookupHex(int mode, const wchar_t* name, std::int64_t& value, unsigned index = 0);
    lookup::result LookupFloat(int mode, const wchar_t* name, float& value, unsigned index = 0);
    lookup::result LookupDouble(int mode, const wchar_t* name, double& value, unsigned index = 0);
    lookup::result LookupBool(int mode, const wchar_t* name, bool& value, unsigned index = 0);
    lookup::result LookupRgbColor(int mode, const wchar_t* name, unsigned long& value, unsigned index = 0);
    lookup::result LookupString(int mode, const wchar_t* name, CString& value, unsigned index = 0);
    // The sea stores `path` relative to `base`; the caller gets it back absolute.
    lookup::result LookupFilename(int mode, const wchar_t* name, CString& path, const wchar_t* base,
                                  unsigned index = 0);
    lookup::result LookupIntVector(int mode, const wchar_t* name, int* values, int count);
    lookup::result LookupIntSet(int mode, const wchar_t* name, std::set<int>& values);

    // Readers with a fallback; they never create an entry.
    int LookupGetInt(const wchar_t* name, unsigned index, int fallback) const;
    std::int64_t LookupGetHex(const wchar_t* name, unsigned index, std::int64_t fallback) const;
    float LookupGetFloat(const wchar_t* name, unsigned index, float fallback) const;
    double LookupGetDouble(const wchar_t* name, unsigned index, double fallback) const;
    bool LookupGetBool(const wchar_t* name, unsigned index, bool fallback) const;
    unsigned long LookupGetRgbColor(const wchar_t* name, unsigned index, unsigned long fallback) const;
    CString LookupGetString(const wchar_t* name, unsigned index, const CString& fallback) const;
    CString LookupGetFilename(const wchar_t* name, const wchar_t* base, unsigned index,
                              const CString& fallback) const;

    // Writers; they create a missing entry (found or created).
    lookup::result LookupSetInt(const wchar_t* name, int value, unsigned index = 0);
    lookup::result LookupSetHex(const wchar_t* name, std::int64_t value, unsigned index = 0);
    lookup::result LookupSetFloat(const wchar_t* name, float value, unsigned index = 0);
    lookup::result LookupSetDouble(const wchar_t* name, double value, unsigned index = 0);
    lookup::result LookupSetBool(const wchar_t* name, bool value, unsigned index = 0);
    lookup::result LookupSetRgbColor(const wchar_t* name, unsigned long value, unsigned index = 0);
    lookup::result LookupSetString(const wchar_t* name, const wchar_t* text, unsigned index = 0);
    lookup::result LookupSetFilename(const wchar_t* name, const wchar_t* path, const wchar_t* base,
                                     unsigned index = 0);

    // Format-string access (elements as CResourceEntry::GetVarArgP takes them):
    // the variadic arguments are pointers to the variables. Give a string its
    // buffer's size, "%255s" for wchar_t[256]: a plain "%s" buffer must hold
    // the whole value, whatever the file says.
    int Lookup(int mode, const wchar_t* name, const wchar_t* format, ...);
    // Reads the values of a present entry into the pointed-to variables; 0 when missing.
    int Get(const wchar_t* name, const wchar_t* format, ...) const;
    // Creates the entry when missing and writes the values (passed by value;
    // "%Ns" reads at most N characters of its string).
    void Set(const wchar_t* name, const wchar_t* format, ...);

    // Whole lines, list lines, comments and small queries.
    int GetLine(const wchar_t* name, CString& line) const;
    CResourceEntry* SetLine(const wchar_t* name, const wchar_t* values);
    // False when `name` holds an entry that is not a list.
    bool AddListLine(const wchar_t* name, const wchar_t* line);
    void AppendCommentLine(const wchar_t* text);
    int Delete(const wchar_t* name);
    bool HasEntry(const wchar_t* name) const;
    bool Touch(const wchar_t* name);
    bool IsListEntry(const wchar_t* name) const;

    // ---- Merge, synchronisation and sea maintenance ----

    // Entries of `other` overwrite those of the same name here, at their
    // place; missing ones are appended in `other`'s line order. Comment lines
    // and entries whose only value is "$$<<<<<$$" are not carried over. The
    // copies are independent of `other`, which may go at once. `other`'s named
    // lines are rebuilt; a line too long to rebuild throws
    // CResourceSeaException (code 3), keeping what was carried over before.
    void MergeContent(const CResourceSea* other);
    // As MergeContent, but only entries present in both seas are updated.
    void SynchContent(const CResourceSea* other);
    // A line of the sea carries the Modified bit (list lines are not looked at).
    bool Modified() const;
    // Marks the sea as saved: writing a sea does not.
    void ResetModified();
    // A line of the sea was never read, written or touched (list lines are not looked at).
    bool Orphans() const;
    // Tests every line, also after a failure; true when all pass (and for an empty sea).
    bool SelfTest() const;
    // Lists every line with its list lines through the output handler
    // (category 16, style 1), marking each as used.
    void PrintEntries() const;

    // ---- Table import and export ----

    // Writes one row per line (a list as its lines and a closing row). False
    // when the table refuses to begin writing or reports from EndWrite that
    // the rows were not stored. A line that cannot be rebuilt throws
    // CResourceSeaException before EndWrite is called.
    bool SaveToTable(CResSeaTableInterface* table);
    // Empties the sea, then imports the table's rows; with `merge` a repeated
    // name overwrites (a list is appended to), without it the first stays and
    // the repeat is reported. False when the table refuses to begin reading or
    // reports from EndRead that reading stopped at an error.
    bool ReadFromTable(CResSeaTableInterface* table, bool merge);

protected:
    // The indexed entry or null; never creates.
    CResourceEntry* GetEntry(const wchar_t* name) const;
    // Removes the entry's line and deletes it. An entry that is not a line of
    // this sea stays alive, and its name's key goes only if it maps to it.
    void DeleteSeaLine(CResourceEntry* entry);
    // Lines looked at or moved to keep the line list in order: a test checks
    // that deleting one entry does not cost a pass over the sea.
    std::uint64_t LineSteps() const { return m_lines.Steps(); }

    // The reader shared by every way of filling a sea from a file. Always true.
    bool SeeInhaltEinlesen(CUnicodeFile& file, bool merge, bool keepModified);
    // The writer: marker line of a section, then every line. Clears the
    // sediment filter. A line that cannot be rebuilt throws CResourceSeaException.
    void SeeInhaltSpeichern(CUnicodeFile& file);
    // Byte-order mark and content into a file the caller has opened (and must
    // abandon if this throws).
    void UpdateFile(CUnicodeFile* file);

    // First step of every mode-driven lookup (modes 3 and 7 never create).
    lookup::result LookupEntry(CResourceEntry*& entry, int mode, const wchar_t* name, int status);
    int LookupVarArg(int mode, const wchar_t* name, const wchar_t* format, va_list args);

    // Carries the named entries of `other` into this sea: mode 1 updates
    // present entries only, any other mode also adds missing ones; flags bit
    // 2 keeps present entries that carry the Modified bit.
    void ContentTransfer(const CResourceSea* other, int mode, int flags);

private:
    // The shape every typed lookup shares, with the entry's typed writer and
    // fallback reader: find or create, then delete (mode 7), write (mode 2)
    // or read through the fallback reader.
    template <class T>
    lookup::result LookupTyped(int mode, const wchar_t* name, T& value, unsigned index,
                               void (CResourceEntry::*write)(T, unsigned), T (CResourceEntry::*read)(unsigned, T));
    // A reader that never creates, and a writer that always does.
    template <class T>
    T LookupGetTyped(const wchar_t* name, unsigned index, T fallback, T (CResourceEntry::*read)(unsigned, T)) const;
    template <class T>
    lookup::result LookupSetTyped(const wchar_t* name, T value, unsigned index,
                                  void (CResourceEntry::*write)(T, unsigned));
    // SeeInhaltEinlesen, naming `reportName` in its reports: a merged file is
    // reported under its own name, not the sea's.
    bool ReadContent(CUnicodeFile& file, bool merge, bool keepModified, const CString& reportName);
    // How the entries of a source (a file, a table, another sea) meet the
    // sea: one rule for every reader, so they differ only where they say so.
    struct PlaceRule {
        bool merge = false;         // a name read before takes the new values...
        bool keepModified = false;  // ...unless the program changed it
        bool appendLists = false;   // a merged list adds its lines instead of replacing them
        bool addNew = true;         // a name the sea lacks is added
    };
    enum class Placed { Line, Added, Merged, Dropped, Duplicate };
    // Places `entry` of a source; `present` is the entry of its name read
    // before (null: none). A comment line or a new name is taken (`entry` is
    // then empty); a merge changes `present`; a dropped or duplicate entry
    // stays with the caller, who reports a duplicate as its source words it.
    // `hash`, when given, is the name's hash from a caller that looked the
    // name up and found no entry.
    Placed Place(std::unique_ptr<CResourceEntry>& entry, CResourceEntry* present, const PlaceRule& rule,
                 const std::size_t* hash = nullptr);
    // The part of Place for a name read before: merge, drop or duplicate.
    static Placed MeetPresent(CResourceEntry& present, const CResourceEntry& incoming, const PlaceRule& rule);
    // Enters a new named entry into the index and the line list.
    void AppendIndexed(CResourceEntry* entry, const std::size_t* hash = nullptr);
    // Appends a line that is not indexed (comments, duplicates turned into comments).
    void AppendLine(CResourceEntry* entry);
    // The entry of line `index`; a compact line gets its entry made first.
    CResourceEntry* EntryAt(unsigned index) const;
    // Calls `visit` with every line as an entry, a compact line parsed into
    // a scratch entry for the call (for walks that only look).
    void VisitLines(const std::function<void(const CResourceEntry&)>& visit) const;
    // A compact line's text parsed into `entry`, as the reader would have.
    static void ParseCompact(CResourceEntry& entry, const CSeaLine& line);

    // ---- what the file held, so that a write gives it back ----
    class LineKeeper;
    class LineWriter;
    // Notes how a line just read ended and keeps its bytes when its text does
    // not encode back to them (bytes that do not decode, a line cut at the limit).
    void NoteLineRead(CResourceEntry& entry, const CUnicodeFile::LineInfo& info, const CUnicodeFile& file,
                      int lineNumber, const CString& reportName);
    void ReportLongLine(const CString& reportName, int lineNumber);
    // Counts a line end read towards the sea's usual one; the end as an entry keeps it.
    unsigned CountLineEnd(CUnicodeFile::LineEnd end);
    // The text a report shows of an entry read before: its present line.
    static const wchar_t* PresentText(CResourceEntry& entry);
    // A second list of a name read before: its lines become comment lines.
    void KeepDuplicateList(std::unique_ptr<CResourceEntry> list);
    // Writes the whole file: what lies before and after this sea's part stays as it is.
    bool WriteFile();
    // Fails a write with the reason WriteError() gives, about `line` of the file when not 0.
    bool RefuseWrite(const CString& why, int line = 0);
    // Writes the marker line of a section and every line.
    void WriteContent(LineWriter& writer, bool endLastLine, bool withMarker);
    static POSITION ListPosition(const CResourceEntry& list, unsigned index);
    // Drops what was kept of the lines read (the lines go, or a new reading comes).
    void ForgetFile();
    // Notes what bytes [start, end) of the sea's own file held, to tell a change
    // on disk at the next write.
    void RecordDisk(const CUnicodeFile& file, std::uint64_t start, std::uint64_t end);
    void RecordWritten();
    // What the sea's part of its file held when it was last read or written.
    struct DiskRecord {
        CString file;
        std::uint64_t hash = 0;
        bool valid = false;
    };

    // The bytes of a line whose text does not encode back to them. The text
    // is the line as read: the bytes stand for the line only while it is unchanged.
    struct KeptBytes {
        std::wstring text;
        std::string bytes;
        int lineNumber = 0;
    };
    // A "name: { +" block that continued a list read before it. While that
    // list is unchanged the block is written back at its place with its lines.
    struct ListContinuation {
        CResourceEntry* list = nullptr;
        const CResourceEntry* after = nullptr;  // the line of the sea it follows
        std::unique_ptr<CResourceEntry> head;
        std::unique_ptr<CResourceEntry> end;
        unsigned first = 0;                     // its first line's place in the list
        const CResourceEntry* firstLine = nullptr;
        unsigned count = 0;
    };

    CString m_name;
    bool m_fileBased = false;
    CString m_fileName;
    bool m_sedimentFilter = false;
    bool m_fileSection = false;
    unsigned m_codePage = 1200;
    unsigned m_readCodePage = 1200;  // the encoding the kept bytes are in
    unsigned m_lfLines = 0, m_crlfLines = 0;
    unsigned m_lineEnd = 0;          // line end of added and rebuilt lines: 1 + CUnicodeFile::LineEnd, 0 CR LF
    CString m_writeError;
    kelvaro::SeaProblems m_problems;
    DiskRecord m_disk;
    std::unordered_map<const CResourceEntry*, KeptBytes> m_keptBytes;
    std::vector<ListContinuation> m_continuations;
    bool m_readOnly = false;
    // Mutable: asking for a compact line's entry puts it in the line's place.
    mutable CSeaLines m_lines;
    // The index as its entries' names now are: entries renamed through
    // their own assignment are filed again first.
    SeaIndex& Index() const;
    void FileRenamedEntries() const;
    mutable SeaIndex m_index;
    CResValueReservoir* m_reservoir = nullptr;
};
