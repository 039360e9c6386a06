// CResourceEntry: one line of a sea — a named entry with values, a comment or
// blank line, a list head with its list lines and closing line, or a line of a
// list. It keeps the line text as read (written back unchanged until a value
// changes) beside the parsed parts (name, status bits, value texts). Seas,
// list cursors and table import/export build on it.
//
// An assigned line is checked whole at once (a syntax error is thrown
// there), but its values stay in the line until something changes them:
// reading a value takes its text straight from the line. Most entries of a
// large sea are only read, and value buffers would double what it holds.
// The name, too, stays in the line until it is asked for as a string.
//
// An entry is not safe for use from several threads at once, reading
// included: a read marks it accessed and may make its name string. Guard a
// shared entry, or the sea that holds it, with a lock.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>
#include <string_view>
#include <utility>

#include "kelvaro/entry/ResValueReservoir.h"
#include "kelvaro/entry/ValueGrammar.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/FastVector.h"
#include "kelvaro/platform/ObList.h"
#include "kelvaro/platform/Object.h"
#include "kelvaro/platform/Types.h"

class CUnicodeFile;
class CResourceSea;
class CResourceList;
class CResSeaTableInterface;
class SeaIndex;

class CResourceEntry : public CObject {
public:
    KELVARO_DECLARE_DYNAMIC(CResourceEntry)

public:
    // Status bits (Status()).
    enum : unsigned {
        StatusAccessed = 1,
        StatusModified = 2,
        StatusComment = 4,
        StatusListEntry = 8,
        StatusListLine = 16,
        StatusListEnd = 32,
        StatusListContinued = 64,
        StatusSyntaxError = 128,
    };
    // How the line ended when it was read, kept in bits above the status bits: 0 when the
    // line was not read from a file, else 1 + CUnicodeFile::LineEnd.
    static constexpr unsigned kLineEndShift = 8;
    static constexpr unsigned kLineEndBits = 3u << kLineEndShift;

    // Limits that callers can observe.
    static constexpr unsigned ConvertBufferSize = 8192;   // conversion buffers, 8-bit line assignment
    static constexpr unsigned MaxReadLineLength = 8192;   // list reader's line buffer
    static constexpr unsigned MaxRebuildLength = 4096;    // rebuilt line, terminator included
    static constexpr unsigned SelfTestBufferSize = 5000;
    static constexpr unsigned SelfTestMaxLength = 1000;   // self-test line limit, terminator included

    using ValueBuffer = CResValueReservoir::Buffer;

    // ---- construction, copy, comparison -------------------------------------
    // An empty entry of kind `status` (0 ordinary, 16 list line, 8 list entry —
    // which gets its closing line at once). A null or empty name gives an empty name.
    CResourceEntry(CResValueReservoir* reservoir, unsigned status, const wchar_t* name);
    CResourceEntry(const CResourceEntry& other);
    CResourceEntry& operator=(const CResourceEntry& other);
    // A new entry (as the constructor makes it, without name) in the arena
    // of `reservoir`, or on the heap when the arena has no room. Deleted
    // with delete, like any other; it must not outlive the reservoir.
    static CResourceEntry* NewInArena(CResValueReservoir* reservoir, unsigned status);
    // Gives an entry's memory back where it came from: its arena or the heap.
    void operator delete(CResourceEntry* entry, std::destroying_delete_t) noexcept;
    // Makes `line` (null = empty) the line text and parses it. A syntax error
    // throws code 2 and leaves the line kept as a comment with the
    // SyntaxError and Accessed bits.
    CResourceEntry& operator=(const wchar_t* line);
    // As above for a line in Windows code page 1252. A line that converts to
    // more than 8191 characters throws code 1 "Max. line length 8192 exceeded"
    // and leaves the entry unchanged (a cut line is never stored as whole).
    CResourceEntry& operator=(const char* line);
    // Same names (exact), same value count, same kind bits (0x78) and equal
    // value texts; line texts and list lines are not compared.
    bool operator==(const CResourceEntry& other) const;
    bool operator!=(const CResourceEntry& other) const { return !(*this == other); }
    ~CResourceEntry() override;

    // ---- accessors ------------------------------------------------------------
    const CString& Name() const {
        if (m_namePending)
            MakeName();
        return m_name.Get();
    }
    // The name without making a string of it; valid until the entry changes.
    std::wstring_view NameView() const {
        if (!m_namePending) return m_name.View();
        MakeWide();
        return std::wstring_view(m_line.wide + m_nameOffset, m_nameLength);
    }
    // The name as a sea's index sees it: no string is made and no line is
    // widened for it. NameHash is kelvaro::HashName of the name.
    std::size_t NameHash() const noexcept;
    bool HasName(std::wstring_view name) const noexcept;
    bool HasSameName(const CResourceEntry& other) const noexcept;
    // The name into `out`, without the entry keeping a string of it.
    void CopyName(CString& out) const;
    unsigned NValues() const { return m_valuesPending ? PendingValueCount() : m_values.size(); }
    unsigned Status() const { return m_status & ~kLineEndBits; }
    bool Accessed() const { return (m_status & StatusAccessed) != 0; }
    bool Modified() const { return (m_status & StatusModified) != 0; }
    bool IsComment() const { return (m_status & StatusComment) != 0; }
    bool IsListEntry() const { return (m_status & StatusListEntry) != 0; }
    bool IsListLine() const { return (m_status & StatusListLine) != 0; }
    bool IsListEnd() const { return (m_status & StatusListEnd) != 0; }
    bool IsListContinued() const { return (m_status & StatusListContinued) != 0; }
    bool SyntaxError() const { return (m_status & StatusSyntaxError) != 0; }
    // No bit other than Accessed and Modified.
    bool IsNormalEntry() const { return (m_status & ~kLineEndBits) < 4; }
    void SetAccessed() const { m_status |= StatusAccessed; }
    void SetModified() { m_status |= StatusAccessed | StatusModified; }
    void ResetModified() { m_status &= ~static_cast<unsigned>(StatusModified); }

    // ---- line text ------------------------------------------------------------
    // The line (rebuilt first if stale), white space trimmed; a list entry adds
    // "\n", each list line's line + "\n", and the closing line. Sets Accessed.
    // A line that cannot be rebuilt within 4096 characters throws code 3.
    void GetLine(CString& out) const;
    // As GetLine, from the value part on.
    void GetLineValuePart(CString& out) const;
    // A list entry's lines as GetLine gives them, without the head and the
    // closing line; empty for an entry that is no list. Throws as GetLine.
    std::vector<std::wstring> ListLineTexts() const;
    // GetLineValuePart copied like wcsncpy: at most n characters, zero-padded;
    // a text of n or more characters leaves dst without a terminator.
    void GetLineValuePartC(wchar_t* dst, unsigned n) const;

    // ---- self-test --------------------------------------------------------------
    // True, or throws code 0 (buffer fault, line over 1000 characters, failed
    // reconstruction), code 2 when the rebuilt line does not parse; a fault in
    // a list line is wrapped with the list's name and keeps its code.
    bool Selbsttest(bool reconstruct) const;

    // ---- typed values (reading sets Accessed; writing past NValues() throws code 3)
    // A missing value reads as empty, 0, 0.0 or false. A ...Fb reader returns
    // the fallback for a missing value and appends it when index == NValues();
    // beyond that it changes nothing. Integer texts that overflow saturate.
    CString GetString(unsigned index) const;
    CString GetStringFb(unsigned index, const wchar_t* fallback);
    // Into dst of `size` elements, always terminated (size > 0); true when the
    // whole text fitted, false when it was cut or the value is missing.
    bool GetString(wchar_t* dst, unsigned size, unsigned index) const;
    bool GetStringFb(wchar_t* dst, unsigned size, unsigned index, const wchar_t* fallback);
    // As above in code page 1252; false (dst empty) for a value whose 8-bit
    // form does not fit the 8192-byte conversion buffer.
    bool GetString(char* dst, unsigned size, unsigned index) const;
    bool GetStringFb(char* dst, unsigned size, unsigned index, const char* fallback);
    void SetText(const CString& text, unsigned index);
    void SetText(const wchar_t* text, unsigned index);  // null stores the empty text
    // Converted from codePage (1252 or 65001); a text that does not convert
    // (other code page, more than 8191 characters) throws code 3, entry unchanged.
    void SetText(const char* text, unsigned index, unsigned codePage);

    int GetInt(unsigned index) const;
    int GetIntFb(unsigned index, int fallback);
    void SetInt(int value, unsigned index);
    long GetLong(unsigned index) const;
    long GetLongFb(unsigned index, long fallback);
    void SetLong(long value, unsigned index);
    float GetFloat(unsigned index) const;
    float GetFloatFb(unsigned index, float fallback);
    void SetFloat(float value, unsigned index);
    double GetDouble(unsigned index) const;
    double GetDoubleFb(unsigned index, double fallback);
    void SetDouble(double value, unsigned index);
    std::int64_t GetHex(unsigned index) const;
    std::int64_t GetHexFb(unsigned index, std::int64_t fallback);
    void SetHex(std::int64_t value, unsigned index);
    unsigned long GetAddress(unsigned index) const;
    unsigned long GetAddressFb(unsigned index, unsigned long fallback);
    void SetAddress(unsigned long value, unsigned index);
    bool GetBool(unsigned index) const;
    bool GetBoolFb(unsigned index, bool fallback);
    void SetBool(bool value, unsigned index);
    unsigned long GetRgbColor(unsigned index) const;
    unsigned long GetRgbColorFb(unsigned index, unsigned long fallback);
    void SetRgbColor(unsigned long color, unsigned index);
    unsigned GetIntVector(int* out, unsigned max) const;
    void SetIntVector(const int* values, unsigned n);
    unsigned GetIntSet(std::set<int>& out) const;
    void SetIntSet(const std::set<int>& values);

    // Get<CString>(i): GetString(i) without leading and trailing double quotes.
    template <class T> T Get(unsigned index) const;
    CString Get(unsigned index, const wchar_t* fallback);
    // Set<CString>(text, i): SetText(text, i).
    template <class T> void Set(T value, unsigned index);

    // Replaces the value part (the text after "name:") and splits it anew.
    void SetSeaLine(const wchar_t* valueText);
    // Makes the entry a comment; a non-null text replaces all values by it.
    void SetToComment(const wchar_t* text);

    // ---- several values through a format string ("%s %d %lf ...") ---------------
    // `args` stands at the first argument after the format string. Elements:
    // %Ns (also %Nls, N from 1) wchar_t buffer of N + 1 characters, %s wchar_t
    // buffer that must hold the whole value text, %c/%lc wchar_t, %d int, %ld
    // long, %f float, %lf double, %x/%lx unsigned long. A bad element (a width
    // on anything but a string, too) throws code 5; what came before it stays
    // read or written.
    // Reads values start, start+1, ... through pointers; stops quietly at the
    // first missing value, leaving the remaining targets untouched. %Ns copies
    // at most N characters and always terminates: a longer value arrives cut.
    void GetVarArgP(unsigned start, const wchar_t* format, va_list args) const;
    // Writes values 0, 1, ... from pointers (for %s the string itself, of
    // which %Ns reads at most N characters); later values stay.
    void SetVarArgP(const wchar_t* format, va_list args);
    // As SetVarArgP with the values themselves as arguments; %c is refused (code 5).
    void SetVarArg(const wchar_t* format, va_list args);

    // ---- lists --------------------------------------------------------------------
    // Appends copies of the lines of list `other` (this may be `other` itself:
    // its lines are then doubled once). Sets Accessed only. Throws code 2
    // "Illegal list concatenation" when either side is no list entry.
    CResourceEntry& operator+=(const CResourceEntry& other);

    // White space of the line grammar: what iswspace counts, with a quick
    // answer for ASCII, since the parser asks for every character of every line.
    static bool IsWhite(wchar_t c) { return kelvaro::grammar::IsWhite(c); }
    static constexpr std::uint64_t kAsciiWhite = kelvaro::grammar::kAsciiWhite;
    static bool IsWhiteWide(wchar_t c);

    // Why `name` cannot be the name of an entry written into a sea (it would
    // not read back as that name): a short English reason without the name,
    // or an empty string when it can. Null counts as empty.
    static CString NameProblem(const wchar_t* name);
    // Why `text`, written as one line of a list (indented with a tab), would
    // not read back as that one line: a short reason without the text, or an
    // empty string when it would.
    static CString ListLineProblem(const wchar_t* text);
    // Why this entry's line, rebuilt as a save writes it, would not read back
    // as the same name with the same values; empty when it would. Each
    // (index, text) in `given` must also read back as that text, its line
    // ends as the stand-ins the entry keeps.
    CString ReadBackProblem(const std::vector<std::pair<unsigned, std::wstring>>& given = {}) const;

    // ---- process-wide 8-bit/wide conversion -------------------------------------
    // Each takes the conversion lock and leaves it taken (also on failure);
    // the caller reads the result buffer and then calls KonversionFreigeben.
    // Code pages: 1252 (also 0, the ANSI page here) and 65001 (UTF-8); a
    // character without a 1252 form becomes '?'. Result: units written,
    // terminator included; 0 for a null text, an unknown code page or a
    // result that does not fit 8192 units.
    static int KonvertiereNachWChar(const char* text, unsigned codePage);
    static int KonvertiereNachChar(const wchar_t* text, unsigned codePage);
    static void KonversionFreigeben();

    // Releases the conversion lock when it goes out of scope; take it right
    // after a Konvertiere... call so that an exception cannot keep the lock.
    class KonversionsFreigabe {
    public:
        KonversionsFreigabe() = default;
        ~KonversionsFreigabe() { KonversionFreigeben(); }
        KonversionsFreigabe(const KonversionsFreigabe&) = delete;
        KonversionsFreigabe& operator=(const KonversionsFreigabe&) = delete;
    };

    static wchar_t* const g_leereZeile;        // shared empty line, never freed nor written
    static const CString g_leerstring;         // result of string readers for a missing value
    static char g_charConvert[ConvertBufferSize];
    static wchar_t g_wcharConvert[ConvertBufferSize];
    // The conversion lock: a blocking mutual exclusion (waiters sleep, they do
    // not spin). Taken by one call and released by another, so it is a flag
    // under a mutex rather than a bare std::mutex; a release by a thread that
    // does not hold it is harmless.
    class KonversionsSperre {
    public:
        void Lock();
        void Unlock();
        bool IsLocked() const;

    private:
        mutable std::mutex m_mutex;
        std::condition_variable m_released;
        bool m_busy = false;
    };
    static KonversionsSperre g_convertBlock;

protected:
    friend class CResourceSea;
    friend class CResourceList;
    friend class SeaIndex;

    // ---- clearing --------------------------------------------------------------------
    // Frees the line, gives the values back (freeAll: frees them), deletes the
    // list lines, clears the closing line (freeAll: deletes it), empties the
    // name and clears Accessed, Modified and SyntaxError; kind bits stay.
    void InhalteLoeschen(bool freeAll);
    // Deletes the list lines only.
    void SubListeLoeschen(bool freeAll);
    // Creates the closing line if missing and sets its text "} \t;-- name".
    void ListenendeErzeugen();

    // Whether a sea's index holds this entry under its name. While it does,
    // a change of name is told to the entry's reservoir, which the sea that
    // owns the index reads before its next lookup: an entry knows its
    // reservoir, not its sea.
    bool IsIndexed() const noexcept { return (m_storage & kIndexed) != 0; }
    void SetIndexed(bool indexed) const noexcept {
        m_storage = static_cast<std::uint8_t>(indexed ? m_storage | kIndexed : m_storage & ~kIndexed);
    }

    // Sets Accessed; value `index`'s text, or null when index >= NValues().
    // Copies the values out of the line first.
    const wchar_t* EintragText(unsigned index) const;
    // Room for one value taken from the line without copying the others out.
    struct ValueScratch {
        wchar_t small[64];
        std::wstring large;
    };
    // Copies values still in the line out of it, for code that works on m_values.
    void SettleValues() const {
        if (m_valuesPending)
            SplitPendingValues();
    }
    // As EintragText, but a value still in the line is copied into `scratch`
    // (the result lives as long as it does) and the others stay there.
    const wchar_t* EintragText(unsigned index, ValueScratch& scratch) const;

    // List lines by position; a null pos throws std::invalid_argument.
    CResourceEntry* NextListenZeile(POSITION& pos) const;
    CResourceEntry* PrevListenZeile(POSITION& pos) const;
    CResourceEntry* GetListenZeile(POSITION pos) const;

    // ---- parsing ----------------------------------------------------------------------
    // Parses m_line into name, kind bits, value part and values; returns the
    // value count (0 for comments, list heads and list ends). Throws code 2.
    unsigned ZeileZerlegen();
    // Appends the values of the text at m_valuePart; returns the value count.
    unsigned ZeileWerteZerlegen();
    const wchar_t* NextNonSpace(const wchar_t* p) const;
    // End of the token at p: after its closing quote, else at white space or
    // the terminator. Throws code 2 for a quote that is not closed.
    const wchar_t* NextTokenEnd(const wchar_t* p) const;

    // ---- line building ---------------------------------------------------------------
    // Builds the line into buffer (size characters); returns the characters the
    // whole line needs with its terminator (> size: did not fit, buffer
    // incomplete). Maps the value texts in place ('§' becomes '"', line feed
    // '¶', carriage return '¬'). A value is quoted when written bare it would
    // not read back as itself (empty, white space, or a first value that
    // would change the line's kind), so every line it builds parses back to
    // an equal entry; a continued list head keeps its " +".
    unsigned SeeZeileBilden(wchar_t* buffer, unsigned size, unsigned& valueOffset) const;
    // Rebuilds m_line from the parsed parts. Throws code 3 when the line needs
    // more than 4096 characters; the old line and the flag then stay.
    void SeeZeileErneuern() const;
    void SeeZeileKopieren(CString& out, bool wholeLine) const;

    // ---- value storage -----------------------------------------------------------------
    // Sets value index (index == NValues() appends); throws code 3 beyond.
    void WertNeuSetzen(const wchar_t* text, unsigned index);
    // Cuts the values to the first n.
    void WerteSchrumpfen(unsigned n);
    // A value buffer from the entry's reservoir (straight from the heap when
    // the entry has none) and its way back.
    ValueBuffer TakeValueBuffer(unsigned need) const {
        return m_reservoir != nullptr ? m_reservoir->Take(need) : CResValueReservoir::AllocateBuffer(need);
    }
    void GiveBackValueBuffer(ValueBuffer buffer) const noexcept {
        if (m_reservoir != nullptr)
            m_reservoir->GiveBack(buffer);
        else
            CResValueReservoir::FreeBuffer(buffer);
    }

    // ---- format strings -------------------------------------------------------------
    // Type number of the element at `element` (0 s, 1 c, 2 d, 3 ld, 4 f, 5 lf,
    // 6 x); throws code 5 otherwise.
    int FormatInterpretieren(const wchar_t* element) const;

    // ---- list reading and writing ------------------------------------------------------
    // Told of every line the list reader takes from the file, so that a sea can keep what
    // it needs to give each line's bytes back as they were.
    class ListLineSink {
    public:
        virtual ~ListLineSink() = default;
        // `line` is what the line read last became; `consumed` counts it.
        virtual void LinePlaced(CResourceEntry& line, int consumed) = 0;
        // The closing line of a block appended to a list read before: the list keeps its
        // own, so the sink takes this one.
        virtual void ContinuationEnd(std::unique_ptr<CResourceEntry> end) = 0;
    };
    // As assigning `line` (`length` characters, terminated), for a line read
    // from a file: a line of characters below U+0100 is parsed where it is
    // and kept narrow in the arena. Gives the name as a view into `line`.
    std::wstring_view AssignReadLine(const wchar_t* line, std::size_t length);
    // The line text as it stands (not rebuilt), widened into `scratch` when
    // it is narrow; the entry itself stays as it is.
    const wchar_t* LineText(std::wstring& scratch) const;
    // As LineText, from the value part on.
    const wchar_t* ValuePartText(std::wstring& scratch) const;
    // The wide line buffer; null for a narrow line.
    const wchar_t* WideLine() const { return IsNarrow() ? nullptr : m_line.wide; }
    // Makes `line` the line text of a comment as it is: not parsed, never rebuilt.
    void KeepAsComment(const wchar_t* line);
    // Makes an entry read under a name taken before a comment line that
    // keeps the user's text at its place.
    void KeepAsDuplicate() {
        m_status |= StatusComment | StatusAccessed;
        m_rebuildLine = true;
    }
    // Makes the entry and its list lines take value buffers from `reservoir`.
    void UseReservoir(CResValueReservoir* reservoir);
    // The line end read with the line (1 + CUnicodeFile::LineEnd), 0 for a line not read.
    unsigned ReadLineEnd() const { return (m_status & kLineEndBits) >> kLineEndShift; }
    void SetReadLineEnd(unsigned end) const {
        m_status = (m_status & ~kLineEndBits) | ((end << kLineEndShift) & kLineEndBits);
    }
    // Reads the lines of this list from `file` (positioned after the head
    // line); returns the physical lines consumed, closing line included.
    // *linesConsumed (when given) receives that count on every exit, also when
    // an exception is thrown, so the caller keeps exact line numbers.
    // Throws code 4 (no list entry), 2 (end of file before "}"), 1 (line over
    // 8192 characters; with a sink such a line is kept as a comment and reading
    // goes on), or a line's syntax error after recovering the rest of the list
    // up to its "}" line. Recovered lines keep their text as comment lines.
    int ReadListLines(CUnicodeFile& file, bool append, int* linesConsumed = nullptr, ListLineSink* sink = nullptr);
    // Modes: 14 end, 15 front, 16 after pos (end when null), 18 before pos
    // (front when null); other modes throw code 4. Null when no list entry.
    CResourceEntry* AddListLine(int mode, POSITION pos);
    // Front for mode 15, else end; the text is parsed (a syntax error is thrown
    // with the line already in the list and the list marked modified).
    CResourceEntry* AddListLine(const wchar_t* text, int mode);
    // A copy of `line` after pos (end when null).
    CResourceEntry* AddListLine(const CResourceEntry& line, POSITION pos);
    // Writes the line (rebuilt if stale) and, for a list, its lines and closing
    // line. False when the file refused a line (writing stops there).
    bool WriteToSeaFile(CUnicodeFile& file) const;

    // ---- table rows (defined with the table import/export) -----------------------------
    // Becomes what the table's current row makes: an entry, a comment (no
    // usable name) or, for a list counter above 0, a list read up to its
    // closing row, which stays current. Throws code 2 for a value text that
    // does not parse (the entry is then kept as a bad line, as the file reader
    // keeps one) and "List not terminated ('}' missing)" when the rows end
    // before the closing row (the list keeps the lines read and is closed).
    void ReadFromTable(CResSeaTableInterface* table);
    // Writes this line's rows, rebuilding stale lines; throws code 3 for a
    // line that cannot be rebuilt.
    void WriteToTable(CResSeaTableInterface* table) const;

private:
    // InhalteLoeschen; with keepLineBuffer the line buffer stays allocated
    // (its capacity m_lineSize) for the next line assignment.
    void ClearContents(bool freeAll, bool keepLineBuffer);
    // Copies line, list lines and values of `other` (copy construction and
    // copy assignment share it).
    void CopyLineFrom(const CResourceEntry& other);
    void CopyValuesFrom(const CResourceEntry& other);
    // Takes over a name still in the other's line, after CopyLineFrom.
    void CopyPendingName(const CResourceEntry& other);
    // Puts `length` characters of `text` into the line buffer, growing it
    // when it is too small (the buffer is a capacity, reused by every line
    // that fits).
    void StoreLine(const wchar_t* text, unsigned length) {
        if (m_valuesPending)
            SplitPendingValues();
        if (m_namePending)
            MakeName();
        const unsigned need = length + 1;
        // A narrow line has no capacity (m_lineSize 0): it is always replaced.
        if (need > m_lineSize || !OwnsLine()) {
            bool inArena = false;
            wchar_t* fresh = NewLineBuffer(need, inArena);
            std::memcpy(fresh, text, length * sizeof(wchar_t));
            fresh[length] = L'\0';
            FreeLineBuffer();
            if (inArena)
                m_storage |= kLineInArena;
            m_line.wide = fresh;
            m_lineSize = need;
        } else {
            // The text may lie inside the present line.
            std::memmove(m_line.wide, text, length * sizeof(wchar_t));
            m_line.wide[length] = L'\0';
        }
        m_valuePart.wide = m_line.wide;
    }
    // ZeileWerteZerlegen's work, inline for the parser's own use.
    inline unsigned SplitValues() const;
    // Copies the values of a parsed line out of it, for code that works on
    // m_values; on failure (memory) the entry stays as it was, values pending.
    void SplitPendingValues() const;
    // The number of values still in the line.
    unsigned PendingValueCount() const;
    // Makes m_name from the line; the name stays pending if that throws.
    void MakeName() const;
    void SetName(const CString& name) {
        m_namePending = false;
        m_name = name;
    }
    bool OwnsLine() const { return m_line.wide != g_leereZeile; }
    bool IsNarrow() const { return (m_storage & kLineNarrow) != 0; }
    // Makes a narrow line wide, for code that reads or changes it as text.
    // Throws std::bad_alloc (the line stays narrow).
    void MakeWide() const {
        if (IsNarrow())
            Widen();
    }
    void Widen() const;
    // A buffer of `need` characters for the line: the first line of an entry
    // made in an arena comes from there (inArena), any other from the heap.
    wchar_t* NewLineBuffer(unsigned need, bool& inArena) const;
    // Frees the line buffer; the shared empty line and an arena line are
    // only let go (an arena line goes with its arena).
    void FreeLineBuffer() const noexcept;
    int ReadListLinesImpl(CUnicodeFile& file, bool append, int& count, ListLineSink* sink);

protected:
    // The name once it is no longer only in the line. Most entries of a sea
    // read from a file never need it as a string: until then it is one
    // pointer, not a whole string object.
    class EntryName {
    public:
        EntryName() = default;
        explicit EntryName(const wchar_t* name) {
            if (name != nullptr && *name != L'\0') m_text = std::make_unique<CString>(name);
        }
        EntryName(const EntryName& other) : m_text(other.m_text ? std::make_unique<CString>(*other.m_text) : nullptr) {}
        EntryName& operator=(const EntryName&) = delete;
        void operator=(const CString& name) { Text() = name; }
        const CString& Get() const { return Text(); }
        std::wstring_view View() const noexcept {
            return m_text ? std::wstring_view(m_text->Str()) : std::wstring_view();
        }
        void Assign(const wchar_t* text, std::size_t length) const { Text().Str().assign(text, length); }
        // Keeps the string's capacity for the next name.
        void Clear() const noexcept {
            if (m_text) m_text->Str().clear();
        }

    private:
        CString& Text() const {
            if (!m_text) m_text = std::make_unique<CString>();
            return *m_text;
        }
        mutable std::unique_ptr<CString> m_text;
    };
    mutable EntryName m_name;       // made from the line on demand (m_namePending)
    // The line text. A line read from a file whose characters all lie below
    // U+0100 is kept one byte a character (kLineNarrow), a quarter of its
    // wide size: most lines of a sea are read, looked up and written back
    // without ever changing. Reading values and the name works on either
    // form; whatever shows or changes the line as text makes it wide first.
    union LineChars {
        wchar_t* wide;
        unsigned char* narrow;
    };
    union ValueChars {
        const wchar_t* wide;
        const unsigned char* narrow;
    };
    mutable LineChars m_line;
    mutable unsigned m_lineSize;     // capacity of a wide m_line; 0 for the shared empty line and a narrow one
    mutable unsigned m_status;
    mutable bool m_rebuildLine;
    // The values are still in the line at m_valuePart (checked, not yet
    // copied out); never set together with m_rebuildLine. Whatever works on
    // m_values, changes the line or repoints m_valuePart settles them first
    // (SettleValues) or drops them with the old line.
    mutable bool m_valuesPending = false;
    // The name is the m_nameLength characters at m_line + m_nameOffset, not
    // yet in m_name; the same rules as for pending values apply.
    mutable bool m_namePending = false;
    // Where the entry and its line live (kEntryInArena, kLineInArena), whether
    // it has had its one line from the arena (kArenaLineTaken) and whether
    // that line is narrow (kLineNarrow, always in the arena).
    mutable std::uint8_t m_storage = 0;
    enum : std::uint8_t { kEntryInArena = 1, kLineInArena = 2, kArenaLineTaken = 4, kLineNarrow = 8, kIndexed = 16 };
    // Notes a change of name of an indexed entry across whatever assigns it
    // a new line; the hashes are compared, so an unchanged name costs two
    // hashes of a short text and nothing else.
    class NameWatch {
    public:
        explicit NameWatch(const CResourceEntry& entry) noexcept
            : m_entry(entry), m_active(entry.IsIndexed() && entry.m_reservoir != nullptr),
              m_hash(m_active ? entry.NameHash() : 0) {}
        ~NameWatch() {
            if (m_active && m_entry.NameHash() != m_hash) m_entry.m_reservoir->NoteRenamed(&m_entry, m_hash);
        }
        NameWatch(const NameWatch&) = delete;
        NameWatch& operator=(const NameWatch&) = delete;

    private:
        const CResourceEntry& m_entry;
        bool m_active;
        std::size_t m_hash;
    };
    std::uint16_t m_nameOffset = 0;
    std::uint16_t m_nameLength = 0;
    mutable ValueChars m_valuePart;  // in the line's own form
    // The values once taken out of the line. Most entries of a read sea
    // never have theirs taken out (they are read where they stand), so the
    // vector is made only when the first one is: every other entry saves
    // two thirds of its size.
    class ValueList {
    public:
        unsigned size() const noexcept { return m_vector ? m_vector->size() : 0u; }
        bool empty() const noexcept { return size() == 0; }
        // Unchecked, like any array: only for an index below size().
        ValueBuffer& operator[](unsigned index) const noexcept { return (*m_vector)[index]; }
        ValueBuffer* begin() const noexcept { return m_vector ? m_vector->begin() : nullptr; }
        ValueBuffer* end() const noexcept { return m_vector ? m_vector->end() : nullptr; }
        // Both throw std::bad_alloc, with nothing changed, when memory runs out.
        void reserve(unsigned n) { Made().reserve(n); }
        void push_back(const ValueBuffer& value) { Made().push_back(value); }
        void erase(unsigned first, unsigned count) {
            if (m_vector) m_vector->erase(first, count);
        }
        void clear() noexcept {
            if (m_vector) m_vector->clear();
        }

    private:
        FastVector<ValueBuffer>& Made() {
            if (!m_vector) m_vector = std::make_unique<FastVector<ValueBuffer>>();
            return *m_vector;
        }
        std::unique_ptr<FastVector<ValueBuffer>> m_vector;
    };
    mutable ValueList m_values;
    CResValueReservoir* m_reservoir;

    // The lines of a list entry and its closing line. Only list heads have
    // any, so they are made with the first line or the closing line: every
    // other entry saves their size.
    class ListLines {
    public:
        bool IsEmpty() const noexcept { return m_list == nullptr || m_list->IsEmpty(); }
        int GetCount() const noexcept { return m_list == nullptr ? 0 : m_list->GetCount(); }
        POSITION GetHeadPosition() const noexcept { return m_list == nullptr ? nullptr : m_list->GetHeadPosition(); }
        POSITION GetTailPosition() const noexcept { return m_list == nullptr ? nullptr : m_list->GetTailPosition(); }
        // A position always comes from this list, so the list exists.
        // The closing line (owned by the entry), null when there is none.
        CResourceEntry* End() const noexcept { return m_list == nullptr ? nullptr : m_list->end; }
        // Deletes the closing line there was and keeps `end` (none for null).
        void SetEnd(std::unique_ptr<CResourceEntry> end) {
            if (m_list == nullptr && end == nullptr)
                return;
            Lines& lines = Made();
            delete lines.end;
            lines.end = end.release();
        }
        CObject* GetNext(POSITION& pos) const { return Made().GetNext(pos); }
        CObject* GetPrev(POSITION& pos) const { return Made().GetPrev(pos); }
        CObject* GetAt(POSITION pos) const { return Made().GetAt(pos); }
        CObject* RemoveHead() { return Made().RemoveHead(); }
        void RemoveAt(POSITION pos) { Made().RemoveAt(pos); }
        POSITION AddHead(CObject* line) { return Made().AddHead(line); }
        POSITION AddTail(CObject* line) { return Made().AddTail(line); }
        POSITION InsertBefore(POSITION pos, CObject* line) { return Made().InsertBefore(pos, line); }
        POSITION InsertAfter(POSITION pos, CObject* line) { return Made().InsertAfter(pos, line); }

    private:
        struct Lines : CObList {
            Lines() : CObList(10) {}
            CResourceEntry* end = nullptr;
        };
        Lines& Made() const {
            if (m_list == nullptr)
                m_list = std::make_unique<Lines>();
            return *m_list;
        }
        mutable std::unique_ptr<Lines> m_list;
    };
    ListLines m_listLines;
};

template <> CString CResourceEntry::Get<CString>(unsigned index) const;
template <> void CResourceEntry::Set<CString>(CString value, unsigned index);
