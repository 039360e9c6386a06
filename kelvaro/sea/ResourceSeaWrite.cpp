// Kelvaro: writing a sea back to its file. A write replaces the file whole or
// leaves it exactly as it was: the file object stages everything and commits
// only on Close(), and any failure abandons the staged file. What the sea did
// not change goes back byte for byte: the other sections of a shared file,
// every untouched line with its own line end, and the bytes of lines whose
// text could not hold them.
#include <cstring>
#include <cwchar>
#include <exception>
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_set>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/Format.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/sea/SeaReport.h"

using kelvaro::seareport::kStyleWriteBack;
using kelvaro::seareport::Report;

namespace {

constexpr unsigned kCodePage1252 = 1252;
constexpr wchar_t kSectionMarker[] = L"::::: ";

using LineEnd = CUnicodeFile::LineEnd;

// Entries keep 1 + LineEnd for a line read from a file, 0 for any other.
constexpr unsigned kEndNone = 1 + static_cast<unsigned>(LineEnd::none);
constexpr unsigned kEndLf = 1 + static_cast<unsigned>(LineEnd::lf);
constexpr unsigned kEndCrLf = 1 + static_cast<unsigned>(LineEnd::crlf);

const wchar_t* EncodingName(unsigned codePage) {
    switch (codePage) {
    case 1200: return L"UTF-16LE";
    case 1201: return L"UTF-16BE";
    case 65001: return L"UTF-8";
    default: return L"code page 1252";
    }
}

// Thrown by the line writer; WriteError() then gives the message.
struct WriteRefused {
    CString why;
    int line = 0;  // the line of the file it concerns, when one
};

[[noreturn]] void Refuse(int line, const wchar_t* format, const wchar_t* detail) {
    throw WriteRefused{CString(kelvaro::FormatText(L"line %d %s", line, kelvaro::FormatText(format, detail).c_str())),
                       line};
}

// Clears the sediment filter however a write ends: it acts on one write only.
class FilterReset {
public:
    explicit FilterReset(bool& filter) : m_filter(filter) {}
    ~FilterReset() { m_filter = false; }
    FilterReset(const FilterReset&) = delete;
    FilterReset& operator=(const FilterReset&) = delete;

private:
    bool& m_filter;
};

// Whether bytes (after a byte-order mark of `bom` bytes) end with a line end.
bool EndsLine(std::string_view bytes, unsigned codePage, std::size_t bom) {
    if (bytes.size() <= bom) return true;
    const std::size_t n = bytes.size();
    if (codePage == 1200) return n >= 2 && bytes[n - 2] == '\n' && bytes[n - 1] == '\0';
    if (codePage == 1201) return n >= 2 && bytes[n - 2] == '\0' && bytes[n - 1] == '\n';
    return bytes[n - 1] == '\n';
}

// How many lines end in bytes of the given encoding (a byte-order mark keeps units aligned).
int CountLines(std::string_view bytes, unsigned codePage) {
    int lines = 0;
    if (codePage == 1200 || codePage == 1201) {
        const char first = codePage == 1200 ? '\n' : '\0', second = codePage == 1200 ? '\0' : '\n';
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) lines += bytes[i] == first && bytes[i + 1] == second;
        return lines;
    }
    for (char c : bytes) lines += c == '\n';
    return lines;
}

// A hash of bytes, eight at a time; fed in pieces, every piece but the last
// must hold a multiple of eight bytes for the hash to equal that of the whole.
class PartHash {
public:
    void Add(std::string_view bytes) {
        std::size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            Mix(word);
        }
        for (; i < bytes.size(); ++i) Mix(static_cast<unsigned char>(bytes[i]) | 0x100u);
    }
    std::uint64_t Value() const { return m_hash; }

private:
    void Mix(std::uint64_t word) {
        m_hash = (m_hash ^ word) * 0x9E3779B97F4A7C15ull;
        m_hash ^= m_hash >> 29;
    }
    std::uint64_t m_hash = 0xCBF29CE484222325ull;
};

// The file on disk split around this sea's part: what comes before it and
// after it stays as it is.
struct FileParts {
    unsigned codePage = 1200;
    std::size_t bom = 0;
    std::uint64_t size = 0;
    std::uint64_t ownStart = 0, ownEnd = 0;
    bool others = false;  // the file holds more than this sea's part
    bool markerKept = false;  // this section's marker line is part of what comes before
};

constexpr std::size_t kPiece = 1u << 20;  // even, and a multiple of eight for PartHash

// The lines of a file, read a piece at a time so that a save never holds the
// whole file: for each line its start, where its text ends (before CR LF or
// LF), where the next starts, and its first bytes, enough to tell a marker.
class LineScan {
public:
    LineScan(const CUnicodeFile& file, std::uint64_t from, std::uint64_t size, unsigned unit, bool big,
             std::size_t keep)
        : m_file(file), m_size(size), m_unit(unit), m_big(big), m_keep(keep), m_at(from), m_next(from) {}

    // False at the end of the file; then failed() tells whether a read failed.
    bool Next() {
        if (m_next >= m_size) return false;
        m_start = m_next;
        m_head.clear();
        bool cr = false;  // the unit before the current position is a CR
        for (std::uint64_t pos = m_start;;) {
            if (pos + m_unit > m_size) {  // the last line has no line end; a CR before none stays
                m_textEnd = m_next = m_size;
                if (pos < m_size && (pos < m_at || m_size > m_at + m_piece.size()) && !Load(pos)) return false;
                Keep(pos, m_size);
                return true;
            }
            if (pos < m_at || pos + m_unit > m_at + m_piece.size()) {
                if (!Load(pos)) return false;
            }
            const std::size_t off = static_cast<std::size_t>(pos - m_at);
            const std::size_t lf = FindLf(off);
            if (lf == std::string::npos) {
                const std::size_t whole = m_piece.size() - (m_piece.size() - off) % m_unit;
                Keep(pos, m_at + whole);
                cr = whole >= off + m_unit && IsUnit(whole - m_unit, '\r');
                pos = m_at + whole;
                continue;
            }
            Keep(pos, m_at + lf);
            if (lf >= off + m_unit) cr = IsUnit(lf - m_unit, '\r');
            m_textEnd = m_at + lf;
            if (cr && m_textEnd >= m_start + m_unit) m_textEnd -= m_unit;
            m_next = m_at + lf + m_unit;
            return true;
        }
    }

    std::uint64_t start() const { return m_start; }
    std::uint64_t textEnd() const { return m_textEnd; }
    std::uint64_t next() const { return m_next; }
    const std::string& head() const { return m_head; }
    bool failed() const { return m_failed; }

private:
    bool Load(std::uint64_t pos) {
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, m_size - pos));
        if (!m_file.ReadRawBytes(pos, length, m_piece)) {
            m_failed = true;
            return false;
        }
        m_at = pos;
        return true;
    }
    bool IsUnit(std::size_t at, char c) const {
        if (m_unit == 1) return m_piece[at] == c;
        return m_big ? m_piece[at] == '\0' && m_piece[at + 1] == c : m_piece[at] == c && m_piece[at + 1] == '\0';
    }
    // The offset in the piece of the first LF unit at or after off (aligned to off).
    std::size_t FindLf(std::size_t off) const {
        const char* data = m_piece.data();
        const std::size_t size = m_piece.size();
        const std::size_t shift = m_big ? 1 : 0;  // where the '\n' byte sits in a unit
        for (std::size_t at = off + shift; at < size;) {
            const void* hit = std::memchr(data + at, '\n', size - at);
            if (hit == nullptr) return std::string::npos;
            const std::size_t byte = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
            const std::size_t unitAt = byte - shift;
            if ((unitAt - off) % m_unit == 0 && unitAt + m_unit <= size && IsUnit(unitAt, '\n')) return unitAt;
            at = byte + 1;
        }
        return std::string::npos;
    }
    void Keep(std::uint64_t from, std::uint64_t to) {
        if (m_head.size() >= m_keep || to <= from) return;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, m_keep - m_head.size()));
        m_head.append(m_piece, static_cast<std::size_t>(from - m_at), take);
    }

    const CUnicodeFile& m_file;
    const std::uint64_t m_size;
    const unsigned m_unit;
    const bool m_big;
    const std::size_t m_keep;
    std::string m_piece;
    std::uint64_t m_at;  // file offset of m_piece[0]
    std::uint64_t m_start = 0, m_textEnd = 0, m_next;
    std::string m_head;
    bool m_failed = false;
};

// Finds this sea's part in the file open in `file`; false when a read fails.
bool SplitFile(const CUnicodeFile& file, const CString* section, FileParts& parts) {
    const std::uint64_t size = file.GetLength();
    std::string start;
    if (!file.ReadRawBytes(0, static_cast<std::size_t>(std::min<std::uint64_t>(size, 3)), start)) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(start.data());
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) parts = {1200, 2};
    else if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) parts = {1201, 2};
    else if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) parts = {65001, 3};
    else parts = {kCodePage1252, 0};
    parts.size = size;

    const std::string marker = CUnicodeFile::Encode(kSectionMarker, parts.codePage);
    const std::string own = section != nullptr ? CUnicodeFile::Encode(CString(kSectionMarker) + *section, parts.codePage)
                                               : std::string();
    const unsigned unit = parts.codePage == 1200 || parts.codePage == 1201 ? 2 : 1;
    LineScan lines(file, parts.bom, size, unit, parts.codePage == 1201, std::max(marker.size(), own.size()));

    bool inOwn = section == nullptr;
    bool found = section == nullptr;
    parts.ownStart = parts.bom;
    parts.ownEnd = size;
    while (lines.Next()) {
        const std::string& head = lines.head();
        if (head.compare(0, marker.size(), marker) != 0) continue;
        if (inOwn) {
            parts.ownEnd = lines.start();
            break;
        }
        if (!found && lines.textEnd() - lines.start() == own.size() && head.compare(0, own.size(), own) == 0) {
            found = inOwn = parts.markerKept = true;
            parts.ownStart = lines.next();  // the marker line stays as it is, line end included
        }
    }
    if (lines.failed()) return false;
    if (!found) parts.ownStart = parts.ownEnd = size;  // a new section goes at the end
    parts.others = parts.ownStart > parts.bom || parts.ownEnd < size;
    return true;
}

// The hash of the bytes [start, end) of an open file; false when a read fails.
bool HashRange(const CUnicodeFile& file, std::uint64_t start, std::uint64_t end, std::uint64_t& value) {
    PartHash hash;
    std::string piece;
    for (std::uint64_t at = start; at < end;) {
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, kPiece));
        if (!file.ReadRawBytes(at, length, piece)) return false;
        hash.Add(piece);
        at += length;
    }
    value = hash.Value();
    return true;
}

}  // namespace

POSITION CResourceSea::ListPosition(const CResourceEntry& list, unsigned index) {
    POSITION pos = list.m_listLines.GetHeadPosition();
    for (unsigned i = 0; i < index && pos != nullptr; ++i) list.m_listLines.GetNext(pos);
    return pos;
}

// Writes the lines of a sea one by one, each with the line end it had when
// read (the file's usual one for added and rebuilt lines); a line end is
// written when the next line comes, so a last line without one stays so.
class CResourceSea::LineWriter {
public:
    LineWriter(const CResourceSea& sea, CUnicodeFile& file) : m_sea(sea), m_file(file) {
        m_usual = sea.m_lineEnd != 0 ? sea.m_lineEnd : kEndCrLf;
    }

    void Raw(std::string_view bytes, bool endsLine) {
        Put(m_file.WriteRaw(bytes));
        m_number += CountLines(bytes, m_file.m_codePage);
        m_pending = endsLine || bytes.empty() ? 0 : m_usual;
    }

    void Text(const wchar_t* text, unsigned end) {
        ++m_number;
        if (end == 0) end = m_usual;
        Check(text, end);
        FlushEnd();
        if (!m_file.WriteLine(text, LineEnd::none)) Failed(text);
        m_pending = end;
    }

    void Line(const CResourceEntry& entry) {
        const bool rebuilt = entry.m_rebuildLine;
        if (rebuilt) {
            try {
                entry.SeeZeileErneuern();
            } catch (const CResourceSeaException& e) {
                Refuse(m_number + 1, L"cannot be rebuilt: %s", e.m_message.GetString());
            }
        }
        unsigned end = rebuilt ? 0 : entry.ReadLineEnd();
        if (end == 0) end = m_usual;
        if (!m_sea.m_keptBytes.empty()) {
            const auto kept = m_sea.m_keptBytes.find(&entry);
            if (kept != m_sea.m_keptBytes.end() && kept->second.text == entry.LineText(m_narrow)) {
                ++m_number;
                if (kept->second.lineNumber < 0)
                    Refuse(m_number, L"could not be read back from %s; nothing was written", L"the file");
                FlushEnd();
                if (m_sea.m_readCodePage == m_file.m_codePage) {
                    Put(m_file.WriteRaw(kept->second.bytes));
                } else {
                    std::string bytes;
                    if (!CUnicodeFile::Transcode(kept->second.bytes, m_sea.m_readCodePage, m_file.m_codePage, bytes))
                        Refuse(m_number, L"holds bytes that cannot be written in another encoding (%s)",
                               EncodingName(m_file.m_codePage));
                    Put(m_file.WriteRaw(bytes));
                }
                m_pending = end;
                return;
            }
        }
        Text(entry.LineText(m_narrow), end);
    }

    // A line with its list lines and closing line; `lines` of them (all when negative).
    void Entry(CResourceEntry& entry, long lines = -1) {
        Line(entry);
        if (!entry.IsListEntry()) return;
        for (POSITION pos = entry.m_listLines.GetHeadPosition(); pos != nullptr && lines != 0; --lines)
            Line(*entry.NextListenZeile(pos));
        if (entry.m_listLines.End() == nullptr) entry.ListenendeErzeugen();
        Line(*entry.m_listLines.End());
    }

    // The continued block: its head, its lines of the list and its closing line.
    void Block(const ListContinuation& block) {
        Line(*block.head);
        POSITION pos = ListPosition(*block.list, block.first);
        for (unsigned i = 0; i < block.count && pos != nullptr; ++i) Line(*block.list->NextListenZeile(pos));
        Line(*block.end);
    }

    void Finish(bool endLastLine) {
        if (m_pending == kEndNone && !endLastLine) return;  // the last line had no end and keeps none
        FlushEnd();
    }

private:
    void Check(const wchar_t* text, unsigned& end) {
        if (std::wcschr(text, L'\n') != nullptr) Refuse(m_number, L"holds a line end%s", L"");
        if (m_number > 1 && std::wcsncmp(text, kSectionMarker, 6) == 0 && !m_marker)
            Refuse(m_number, L"would start a new section (\"%s\")", kSectionMarker);
        m_marker = false;
        // A carriage return at the end of the text only reads back before CR LF.
        const std::size_t length = std::wcslen(text);
        if (length > 0 && text[length - 1] == L'\r' && end == kEndLf) end = kEndCrLf;
    }
    void FlushEnd() {
        if (m_pending == kEndNone) m_pending = m_usual;  // no longer the last line
        if (m_pending == kEndLf) Put(m_file.WriteLine(L"", LineEnd::lf));
        else if (m_pending == kEndCrLf) Put(m_file.WriteLine(L"", LineEnd::crlf));
        m_pending = 0;
    }
    void Put(bool ok) {
        if (!ok) throw WriteRefused{FileIO::GetLastErrorMessage(static_cast<DWORD>(m_file.GetLastError()))};
    }
    void Failed(const wchar_t*) {
        if (m_file.GetLastError() == EILSEQ)
            Refuse(m_number, L"holds a character that %s cannot hold", EncodingName(m_file.m_codePage));
        Put(false);
    }

public:
    bool m_marker = false;  // the next line is this sea's own section marker

private:
    const CResourceSea& m_sea;
    CUnicodeFile& m_file;
    unsigned m_usual;
    unsigned m_pending = 0;
    std::wstring m_narrow;  // a narrow line made wide for writing
    int m_number = 0;
};

bool CResourceSea::RefuseWrite(const CString& why, int line) {
    m_writeError = why;
    m_problems.push_back({kelvaro::SeaProblem::Kind::WriteBack, m_fileName.Str(), line, why.Str(), {}});
    return false;
}

bool CResourceSea::UpdateIfPossible() {
    m_writeError.Empty();
    m_problems.clear();
    if (!m_fileBased || m_readOnly) return true;
    return WriteFile();
}

void CResourceSea::RecordDisk(const CUnicodeFile& file, std::uint64_t start, std::uint64_t end) {
    m_disk = DiskRecord{};
    std::uint64_t hash = 0;
    if (HashRange(file, start, end, hash)) m_disk = DiskRecord{m_fileName, hash, true};  // else no check
}

bool CResourceSea::WriteFile() {
    // Other saves of this file (another sea of it, another process) wait until
    // this one has read, changed and replaced it.
    FileIO::CFileLock lock;
    if (!lock.Acquire(m_fileName)) return RefuseWrite(FileIO::GetLastErrorMessage(FileIO::GetLastError()));
    const bool exists = FileIO::FileExists(m_fileName);
    // A section is written into the file that holds the others, never a new one.
    if (m_fileSection && !exists) return RefuseWrite(L"the file does not exist; a section is only written into an existing file");

    // The present file stays open and is read a piece at a time: what this
    // sea does not own is copied from it, never held whole.
    CUnicodeFile present;
    const auto presentError = [&present] {
        return FileIO::GetLastErrorMessage(static_cast<DWORD>(present.GetLastError()));
    };
    FileParts parts;
    const CString* section = m_fileSection ? &m_name : nullptr;
    if (exists && (!present.Open(m_fileName, CUnicodeFile::modeRead) || !SplitFile(present, section, parts)))
        return RefuseWrite(presentError());
    if (exists && m_disk.valid && m_disk.file == m_fileName) {
        std::uint64_t now = 0;
        if (!HashRange(present, parts.ownStart, parts.ownEnd, now))
            return RefuseWrite(presentError());
        if (now != m_disk.hash) return RefuseWrite(FileIO::GetLastErrorMessage(FileIO::kErrorChangedOnDisk));
    }

    CUnicodeFile file;
    // The other sections stay readable only in the encoding they are in.
    file.m_codePage = parts.others ? parts.codePage : m_codePage;
    file.m_strictEncoding = true;
    if (!file.Open(m_fileName, CUnicodeFile::modeCreate | CUnicodeFile::modeWrite))
        return RefuseWrite(FileIO::GetLastErrorMessage(static_cast<DWORD>(file.GetLastError())));
    try {
        LineWriter writer(*this, file);
        // Copies [from, to) of the present file; endsLine for the last piece.
        std::string piece;
        auto copy = [&](std::uint64_t from, std::uint64_t to, bool endsLine) {
            for (std::uint64_t at = from; at < to;) {
                const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(to - at, kPiece));
                if (!present.ReadRawBytes(at, length, piece))
                    throw WriteRefused{presentError()};
                at += length;
                writer.Raw(piece, at < to || endsLine);
            }
        };
        if (parts.ownStart > 0) {
            std::string last;  // the last unit of what comes before tells whether it ends a line
            const std::uint64_t tail = std::min<std::uint64_t>(parts.ownStart, 2);
            if (!present.ReadRawBytes(parts.ownStart - tail, static_cast<std::size_t>(tail), last))
                throw WriteRefused{presentError()};
            const std::size_t bom = parts.ownStart - tail < parts.bom ? parts.bom - (parts.ownStart - tail) : 0;
            copy(0, parts.ownStart, EndsLine(last, parts.codePage, bom));
        } else {
            file.WriteBOM();
        }
        WriteContent(writer, parts.ownEnd < parts.size, !parts.markerKept);
        copy(parts.ownEnd, parts.size, true);
        // Written in place by a program that does not take the lock: what was
        // copied may be torn, so nothing is replaced.
        if (exists && present.GetLength() != parts.size)
            throw WriteRefused{FileIO::GetLastErrorMessage(FileIO::kErrorChangedOnDisk)};
    } catch (const WriteRefused& refused) {
        file.Abandon();
        return RefuseWrite(refused.why, refused.line);
    } catch (const std::exception& e) {
        file.Abandon();
        return RefuseWrite(CString(kelvaro::FormatText(L"%hs", e.what())));
    }
    present.Close();
    if (!file.Close()) return RefuseWrite(FileIO::GetLastErrorMessage(static_cast<DWORD>(file.GetLastError())));
    RecordWritten();
    return true;
}

// What the save just wrote becomes what the sea's part is known to hold.
void CResourceSea::RecordWritten() {
    m_disk = DiskRecord{};
    CUnicodeFile reader;
    FileParts parts;
    if (reader.Open(m_fileName, CUnicodeFile::modeRead) && SplitFile(reader, m_fileSection ? &m_name : nullptr, parts))
        RecordDisk(reader, parts.ownStart, parts.ownEnd);
}

void CResourceSea::SaveAsUnicode(bool unicode) {
    if (!unicode) m_codePage = kCodePage1252;
    else if (m_codePage == kCodePage1252) m_codePage = 1200;
}

bool CResourceSea::SetFileCodePage(unsigned codePage) {
    if (codePage != 1200 && codePage != 1201 && codePage != 65001 && codePage != kCodePage1252) return false;
    m_codePage = codePage;
    return true;
}

bool CResourceSea::UpdateFile() {
    if (UpdateIfPossible()) return true;
    // RefuseWrite recorded the problem; only the text goes out here.
    if (m_writeError.IsEmpty())
        Report(nullptr, {}, kStyleWriteBack, L"Unable to write back sea file %s\n", m_fileName.GetString());
    else
        Report(nullptr, {}, kStyleWriteBack, L"Unable to write back sea file %s\n%s\n", m_fileName.GetString(),
               m_writeError.GetString());
    return false;
}

void CResourceSea::UpdateFile(CUnicodeFile* file) {
    if (file == nullptr) return;
    file->WriteBOM();
    SeeInhaltSpeichern(*file);
}

bool CResourceSea::SaveAs(const wchar_t* fileName) {
    m_fileName = CString(fileName);  // a copy first: fileName may be our own file name
    m_fileBased = true;
    return UpdateFile();
}

bool CResourceSea::ChangeFileBase(const wchar_t* fileName, bool writeBack) {
    const CString target(fileName);  // may point into m_fileName, which the write-back reports
    if (writeBack) UpdateFile();
    PurgeDataBase();
    return OpenFileBase(target, false);
}

void CResourceSea::SeeInhaltSpeichern(CUnicodeFile& file) {
    file.m_strictEncoding = true;
    LineWriter writer(*this, file);
    try {
        WriteContent(writer, false, true);
    } catch (const WriteRefused& refused) {
        m_writeError = refused.why;
        throw CResourceSeaException(refused.why, 3);
    }
}

void CResourceSea::WriteContent(LineWriter& writer, bool endLastLine, bool withMarker) {
    FilterReset reset(m_sedimentFilter);
    const bool dropSediment = m_sedimentFilter;

    if (m_fileSection && withMarker) {
        writer.m_marker = true;
        writer.Text((CString(kSectionMarker) + m_name).GetString(), 0);
    }
    // Continued list blocks keep their place while their list is as it was read.
    std::unordered_map<const CResourceEntry*, long> intact;  // list -> lines of its first block
    if (!m_continuations.empty() && !dropSediment) {
        std::unordered_set<const CResourceEntry*> lines;
        for (const CSeaLine& line : m_lines)
            if (line.Entry() != nullptr) lines.insert(line.Entry());
        std::unordered_map<const CResourceEntry*, unsigned> next;  // where the next block must start
        std::unordered_set<const CResourceEntry*> broken;
        for (const ListContinuation& block : m_continuations) {
            const CResourceEntry* list = block.list;
            const auto seen = next.find(list);
            bool ok = lines.count(list) != 0 && block.after != nullptr && lines.count(block.after) != 0 &&
                      (seen == next.end() || seen->second == block.first);
            if (ok && block.count > 0) {
                const POSITION pos = ListPosition(*list, block.first);
                ok = pos != nullptr && list->m_listLines.GetAt(pos) == block.firstLine;
            }
            if (!ok) broken.insert(list);
            if (seen == next.end()) intact[list] = static_cast<long>(block.first);
            next[list] = block.first + block.count;
        }
        for (const auto& [list, end] : next)
            if (end != static_cast<unsigned>(list->m_listLines.GetCount())) broken.insert(list);
        for (const CResourceEntry* list : broken) intact.erase(list);
    }
    auto blocksAfter = [&](const CResourceEntry* line) {
        for (const ListContinuation& block : m_continuations)
            if (block.after == line && intact.count(block.list) != 0) writer.Block(block);
    };
    std::wstring scratch;
    for (const CSeaLine& line : m_lines) {
        CResourceEntry* entry = line.Entry();
        if (entry == nullptr) {
            // A blank or comment line as read: always kept, written as it was.
            writer.Text(line.Text(scratch), line.ReadLineEnd());
            continue;
        }
        if (dropSediment && (!entry->Accessed() || entry->SyntaxError())) continue;
        const auto blocks = intact.find(entry);
        writer.Entry(*entry, blocks != intact.end() ? blocks->second : -1);
        if (!intact.empty()) blocksAfter(entry);
    }
    writer.Finish(endLastLine);
}
