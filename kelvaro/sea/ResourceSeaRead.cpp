// Kelvaro: filling a sea from its file - opening, merging, reloading, and the
// one reader they share (sections, duplicates, lists, line numbers).
#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ValueGrammar.h"
#include "kelvaro/platform/File.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/Format.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/sea/SeaReport.h"

using kelvaro::seareport::kStyleReading;
using kelvaro::seareport::Report;
using Kind = kelvaro::SeaProblem::Kind;

namespace {

// Lines longer than this are reported and taken as far as they were read.
constexpr unsigned kLineBufferSize = 8192;

// "::::: " followed by a sea name starts the section of that sea in a shared file.
constexpr wchar_t kSectionMarker[] = L"::::: ";
constexpr std::size_t kSectionMarkerLength = 6;

bool IsSectionMarker(const wchar_t* line) {
    return std::wcsncmp(line, kSectionMarker, kSectionMarkerLength) == 0;
}

// The name a line probably has and its hash. Hashing it before the line is
// parsed lets the load of its index slot overlap the parsing; a wrong guess
// costs nothing but the load, and a right one saves hashing the name again.
struct NameGuess {
    std::wstring_view name;
    std::size_t hash = 0;
    bool made = false;
    std::size_t HashOf(std::wstring_view actual) const {
        return made && actual == name ? hash : SeaIndex::HashOf(actual);
    }
};

NameGuess PrefetchNameSlot(const SeaIndex& index, const wchar_t* line) {
    const wchar_t* name = line;
    while (CResourceEntry::IsWhite(*name)) ++name;
    if (*name == L';' || *name == L'\0') return {};
    const wchar_t* colon = name;
    while (*colon != L':' && *colon != L'\0') ++colon;
    if (*colon != L':' || colon == name) return {};
    NameGuess guess{std::wstring_view(name, static_cast<std::size_t>(colon - name)), 0, true};
    guess.hash = SeaIndex::HashOf(guess.name);
    index.Prefetch(guess.hash);
    return guess;
}

}  // namespace

bool CResourceSea::Create(const wchar_t* fileName, bool readOnly) {
    PurgeDataBase();
    m_readOnly = readOnly;
    return OpenFileBase(fileName, !readOnly);
}

bool CResourceSea::Create(CUnicodeFile* file, bool readOnly) {
    PurgeDataBase();
    m_problems.clear();
    m_readOnly = readOnly;
    if (file == nullptr || !file->IsOpen()) return false;
    m_fileName = file->GetFilePath();
    const bool result = ReadContent(*file, false, false, m_fileName);
    if (result) m_fileBased = true;
    return result;
}

bool CResourceSea::OpenFileBase(const wchar_t* fileName, bool create) {
    m_problems.clear();
    CFileStatus status;
    CUnicodeFile file;
    if (CFile::GetStatus(fileName, status)) {
        if (!file.Open(fileName, CUnicodeFile::modeRead)) {
            const CString why = FileIO::GetLastErrorMessage(static_cast<DWORD>(file.GetLastError()));
            Report(&m_problems, {Kind::NotOpened, fileName, 0, why.Str(), {}}, kStyleReading,
                   L"Could not open '%s' for reading sea file\n%s\n", fileName, why.GetString());
            return false;
        }
    } else if (!create) {
        Report(&m_problems, {Kind::NotFound, fileName, 0, L"no such file", {}}, kStyleReading,
               L"Could not find sea file: \n%s\n", fileName);
        return false;
    } else {
        // The new file is empty, so there is nothing to read from it.
        CUnicodeFile created;
        if (!created.Open(fileName, CUnicodeFile::modeCreate | CUnicodeFile::modeWrite) || !created.Close()) {
            Report(&m_problems, {Kind::NotOpened, fileName, 0, L"the file cannot be created", {}}, kStyleReading,
                   L"Could not create sea file: \n%s\n", fileName);
            return false;
        }
        m_fileBased = true;
        m_fileName = CString(fileName);
        return true;
    }
    m_fileBased = true;
    m_fileName = CString(fileName);
    const bool result = ReadContent(file, false, false, m_fileName);
    file.Close();
    return result;
}

bool CResourceSea::MergeFile(const wchar_t* fileName, bool overwrite) {
    m_problems.clear();
    CUnicodeFile file;
    if (!file.Open(fileName, CUnicodeFile::modeRead)) {
        Report(&m_problems, {Kind::NotOpened, fileName, 0, L"the file cannot be opened", {}}, kStyleReading,
               L"Could not open '%s' for reading (merge) sea file\n", fileName);
        return false;
    }
    const CString name(fileName);
    bool result;
    if (!overwrite) {
        // The Modified bits protect every present value from the file's; they
        // stay set afterwards.
        for (POSITION pos = Index().First(); pos != nullptr;) m_index.Next(pos)->SetModified();
        result = ReadContent(file, true, true, name);
    } else {
        result = ReadContent(file, true, false, name);
    }
    file.Close();
    if (!m_fileBased) {
        m_fileBased = true;
        m_fileName = name;
    }
    return result;
}

bool CResourceSea::ReloadFileBase(bool purge) {
    if (!m_fileBased) return true;
    const CString name = m_fileName;  // OpenFileBase assigns m_fileName from its argument
    if (purge) {
        PurgeDataBase();
        return OpenFileBase(name, false);
    }
    m_problems.clear();
    CUnicodeFile file;
    if (!file.Open(name, CUnicodeFile::modeRead)) {
        Report(&m_problems, {Kind::NotOpened, name.Str(), 0, L"the file cannot be opened", {}}, kStyleReading,
               L"Could not open '%s' for reloding sea file.\n", name.GetString());
        return false;
    }
    const bool result = ReadContent(file, true, true, name);
    file.Close();
    return result;
}

namespace {

// Hands every line of the file to `visit(number, text)` until it returns
// false; nothing when the file cannot be opened.
template <class Visit>
void ScanFileLines(const wchar_t* path, Visit&& visit) {
    CUnicodeFile file;
    if (!file.Open(path, CUnicodeFile::modeRead)) return;
    file.ReadBOM();
    const auto buffer = std::make_unique<wchar_t[]>(kLineBufferSize);
    for (int number = 1; file.ReadNextLine(buffer.get(), kLineBufferSize); ++number)
        if (!visit(number, std::wstring_view(buffer.get()))) break;
}

}  // namespace

bool CResourceSea::FileHasSection(const wchar_t* path, const wchar_t* section) {
    const std::wstring marker = std::wstring(kSectionMarker) + section;
    bool found = false;
    ScanFileLines(path, [&](int, std::wstring_view line) { return !(found = line == marker); });
    return found;
}

std::vector<std::wstring> CResourceSea::FileSections(const wchar_t* path) {
    std::vector<std::wstring> names;
    ScanFileLines(path, [&](int, std::wstring_view line) {
        if (line.starts_with(kSectionMarker)) names.emplace_back(line.substr(kSectionMarkerLength));
        return true;
    });
    return names;
}

int CResourceSea::LineOf(const wchar_t* name) const {
    if (!m_fileBased) return 0;
    const std::wstring_view wanted(name);
    bool inPart = !m_fileSection;
    bool inList = false;
    int found = 0;
    ScanFileLines(m_fileName.GetString(), [&](int number, std::wstring_view line) {
        if (line.starts_with(kSectionMarker)) {
            if (inPart) return false;
            inPart = line.substr(kSectionMarkerLength) == m_name.Str();
            return true;
        }
        if (!inPart) return true;
        std::size_t at = 0;
        while (at < line.size() && CResourceEntry::IsWhite(line[at])) ++at;
        if (inList) {
            inList = at >= line.size() || line[at] != L'}';
            return true;
        }
        const std::size_t colon = line.find(L':', at);
        if (at >= line.size() || line[at] == L';' || colon == std::wstring_view::npos) return true;
        if (line.substr(at, colon - at) == wanted) {
            found = number;
            return false;
        }
        std::size_t value = colon + 1;
        while (value < line.size() && CResourceEntry::IsWhite(line[value])) ++value;
        inList = value < line.size() && line[value] == L'{';
        return true;
    });
    return found;
}

bool CResourceSea::SeeInhaltEinlesen(CUnicodeFile& file, bool merge, bool keepModified) {
    return ReadContent(file, merge, keepModified, m_fileName);
}

// Tells the sea of every list line read, with its number in the file, and
// takes the closing lines of continued blocks.
class CResourceSea::LineKeeper : public CResourceEntry::ListLineSink {
public:
    LineKeeper(CResourceSea& sea, CUnicodeFile& file, const CString& reportName, bool plain)
        : m_sea(sea), m_file(file), m_reportName(reportName), m_plain(plain) {}
    void Start(int lineNumber) { m_base = lineNumber; }
    void LinePlaced(CResourceEntry& line, int consumed) override {
        if (!m_plain) return;
        const CUnicodeFile::LineInfo& info = m_file.LastLine();
        if (info.cut)
            m_sea.ReportLongLine(m_reportName, m_base + consumed);
        m_sea.NoteLineRead(line, info, m_file, m_base + consumed, m_reportName);
    }
    void ContinuationEnd(std::unique_ptr<CResourceEntry> end) override { m_end = std::move(end); }
    std::unique_ptr<CResourceEntry> TakeEnd() { return std::move(m_end); }

private:
    CResourceSea& m_sea;
    CUnicodeFile& m_file;
    const CString& m_reportName;
    bool m_plain;
    int m_base = 0;
    std::unique_ptr<CResourceEntry> m_end;
};

void CResourceSea::ReportLongLine(const CString& reportName, int lineNumber) {
    Report(&m_problems, {Kind::LineTooLong, reportName.Str(), lineNumber,
                         kelvaro::FormatText(L"Input file error: Max. line length %d exceeded.", static_cast<int>(kLineBufferSize)), {}}, kStyleReading,
           L"%s\nInput file error in line %d: Max. line length %d exceeded.\n", reportName.GetString(), lineNumber,
           static_cast<int>(kLineBufferSize));
}

unsigned CResourceSea::CountLineEnd(CUnicodeFile::LineEnd end) {
    if (end == CUnicodeFile::LineEnd::lf) ++m_lfLines;
    else if (end == CUnicodeFile::LineEnd::crlf) ++m_crlfLines;
    return 1u + static_cast<unsigned>(end);
}

void CResourceSea::NoteLineRead(CResourceEntry& entry, const CUnicodeFile::LineInfo& info, const CUnicodeFile& file,
                                int lineNumber, const CString& reportName) {
    entry.SetReadLineEnd(CountLineEnd(info.end));
    if (info.exact) return;
    KeptBytes kept;
    if (!file.ReadRawBytes(info.offset, static_cast<std::size_t>(info.length), kept.bytes)) {
        // Without its bytes the line cannot be given back: the save will refuse it.
        kept.bytes.clear();
        kept.lineNumber = -lineNumber;
    } else {
        kept.lineNumber = lineNumber;
    }
    std::wstring narrow;
    kept.text = entry.LineText(narrow);
    if (!info.cut)
        Report(&m_problems, {Kind::Undecodable, reportName.Str(), lineNumber,
                             L"Input file error: bytes that do not decode; the line is kept as it was.", {}},
               kStyleReading, L"%s\nInput file error in line %d: bytes that do not decode; the line is kept as it was.\n",
               reportName.GetString(), lineNumber);
    m_keptBytes[&entry] = std::move(kept);
}

bool CResourceSea::ReadContent(CUnicodeFile& file, bool merge, bool keepModified, const CString& reportName) {
    // Only a plain reading fills the sea from its own file; a merge adds
    // another file's values, whose bytes and encoding are not the sea's.
    const bool plain = !merge;
    if (file.GetLength() == 0) return true;
    file.ReadBOM();
    if (plain) {
        ForgetFile();
        m_codePage = m_readCodePage = file.m_codePage;
        m_lfLines = m_crlfLines = 0;
    }
    // Entries renamed before are filed under their names before any is looked up.
    Index();
    if (plain && m_index.IsEmpty()) {
        // An index sized for the names the file may hold is not rebuilt step
        // by step, each step moving every name read so far. Room for a name
        // per 32 characters of file: the table takes at most two thirds of
        // the file's bytes, whatever the file holds.
        const unsigned charBytes = file.m_codePage == 1200 || file.m_codePage == 1201 ? 2u : 1u;
        m_index.Reserve(std::min<std::uint64_t>(file.GetLength() / (32u * charBytes), 1u << 26));
    }

    // Reading the sea's own file records what its part held, so that a save
    // can tell whether someone else changed it meanwhile.
    struct DiskRecorder {
        CResourceSea& sea;
        const CUnicodeFile& file;
        bool active;
        std::uint64_t start, end = ~std::uint64_t{0};
        ~DiskRecorder() {
            if (active) sea.RecordDisk(file, start, end == ~std::uint64_t{0} ? file.GetLength() : end);
        }
    } recorder{*this, file, plain || reportName == m_fileName, CUnicodeFile::BomLength(file.m_codePage)};

    const wchar_t* const fileName = reportName.GetString();
    const auto buffer = std::make_unique<wchar_t[]>(kLineBufferSize);
    wchar_t* const line = buffer.get();
    line[0] = L'\0';
    int lineNumber = 0;
    LineKeeper keeper(*this, file, reportName, plain);
    // The usual line end of the lines read, for the lines added and rebuilt.
    struct LineEndVote {
        CResourceSea& sea;
        bool plain;
        ~LineEndVote() {
            if (plain) sea.m_lineEnd = sea.m_lfLines > sea.m_crlfLines ? 1u + static_cast<unsigned>(CUnicodeFile::LineEnd::lf) : 0u;
        }
    } vote{*this, plain};

    if (m_fileSection) {
        const std::wstring_view seaName(m_name.Str());
        for (;;) {
            if (!file.ReadNextLine(line, kLineBufferSize)) return true;
            ++lineNumber;
            if (IsSectionMarker(line) && seaName == std::wstring_view(line + kSectionMarkerLength)) {
                recorder.start = file.LastLine().offset + file.LastLine().length +
                                 CUnicodeFile::LineEndLength(file.LastLine().end, file.m_codePage);
                break;
            }
        }
    }

    // Reads the lines of a list; the lines consumed count also when the list
    // reader gives up half-way, so later reports name the right lines. A list
    // read anew that failed before its closing line gets a generated one, so
    // it can be written back as a whole list whatever stopped its reading.
    auto readList = [&](CResourceEntry& list, bool append) {
        int consumed = 0;
        keeper.Start(lineNumber);
        try {
            list.ReadListLines(file, append, &consumed, &keeper);
        } catch (const CResourceSeaException&) {
            lineNumber += consumed;
            if (!append && list.IsListEntry() && list.m_listLines.End() == nullptr) list.ListenendeErzeugen();
            throw;
        }
        lineNumber += consumed;
    };
    auto syntaxError = [&](int number, const CResourceSeaException& e) {
        Report(&m_problems, {Kind::Syntax, fileName, number, L"Syntax error: " + e.m_message.Str(), line}, kStyleReading,
               L"%s\nSyntax error in line %d: %s\n%s\n", fileName, number, e.m_message.GetString(), line);
    };
    auto listError = [&](int number, const CResourceEntry& list, const CResourceSeaException& e) {
        Report(&m_problems,
               {Kind::ListSyntax, fileName, number, L"Syntax error in resource list: " + list.Name().Str() + L": " + e.m_message.Str(), {}},
               kStyleReading, L"%s\nSyntax error in resource list starting at line %d: %s\n%s\n", fileName, number,
               list.Name().GetString(), e.m_message.GetString());
    };
    auto noteHead = [&](CResourceEntry& entry, const CUnicodeFile::LineInfo& info, int number) {
        if (plain) NoteLineRead(entry, info, file, number, reportName);
    };

    // The entry that takes the next line; lines that are not kept leave it to
    // be reused, which saves an allocation per dropped line.
    std::unique_ptr<CResourceEntry> pending;
    const PlaceRule rule{merge, keepModified, false, true};
    try {
        while (file.ReadNextLine(line, kLineBufferSize)) {
            ++lineNumber;
            const CUnicodeFile::LineInfo lineInfo = file.LastLine();
            if (lineInfo.cut)
                ReportLongLine(reportName, lineNumber);
            if (IsSectionMarker(line)) {
                recorder.end = lineInfo.offset;
                break;
            }

            // A clean blank or comment line of the sea's own file needs no
            // entry until someone asks for it: it is kept in a few bytes.
            if (plain && lineInfo.exact && !lineInfo.cut) {
                const wchar_t* start = kelvaro::grammar::SkipWhite(line);
                if (*start == L'\0' || *start == L';') {
                    m_lines.PushCompact(line, static_cast<unsigned>(std::wcslen(line)), CountLineEnd(lineInfo.end));
                    continue;
                }
            }

            const NameGuess guess = PrefetchNameSlot(m_index, line);

            // A list that was dropped keeps its closing line and list state in
            // the entry; start the next line with a fresh one instead.
            if (pending && pending->IsListEntry()) pending.reset();
            if (!pending) pending.reset(CResourceEntry::NewInArena(m_reservoir, 0u));

            // A line whose bytes are kept apart is kept wide, as the save
            // compares it with them.
            const bool exact = lineInfo.exact && !lineInfo.cut;
            std::wstring_view name;
            try {
                if (exact)
                    name = pending->AssignReadLine(line, std::wcslen(line));
                else
                    *pending = line;
            } catch (const CResourceSeaException& e) {
                // The parser left the line as a comment that keeps its text.
                syntaxError(lineNumber, e);
            }

            if (pending->IsComment()) {
                noteHead(*pending, lineInfo, lineNumber);
                Place(pending, nullptr, rule);
                continue;
            }

            const int openingLine = lineNumber;
            // One hash lookup per line: a new name gets its index slot at once
            // (empty until the entry is placed; the guard takes an unfilled
            // slot out again, whatever ends this step).
            if (!exact || pending->SyntaxError()) name = pending->NameView();
            const std::size_t hash = guess.HashOf(name);
            CResourceEntry* existing = m_index.Find(name, hash);

            if (existing != nullptr && pending->IsListContinued()) {
                // A continuation ("name: {+") adds its lines to the list read before.
                ListContinuation block;
                block.list = existing;
                block.after = m_lines.empty() ? nullptr : EntryAt(m_lines.size() - 1);
                block.first = static_cast<unsigned>(existing->m_listLines.GetCount());
                try {
                    readList(*existing, true);
                } catch (const CResourceSeaException& e) {
                    listError(openingLine, *pending, e);
                }
                if (plain) {
                    block.end = keeper.TakeEnd();
                    block.count = static_cast<unsigned>(existing->m_listLines.GetCount()) - block.first;
                    if (block.count > 0) {
                        POSITION pos = existing->m_listLines.GetTailPosition();
                        for (unsigned i = 1; i < block.count; ++i) existing->m_listLines.GetPrev(pos);
                        block.firstLine = static_cast<CResourceEntry*>(existing->m_listLines.GetAt(pos));
                    }
                    noteHead(*pending, lineInfo, openingLine);
                    block.head = std::move(pending);
                    if (block.end) m_continuations.push_back(std::move(block));
                }
                continue;
            }
            if (pending->IsListEntry()) {
                try {
                    readList(*pending, false);
                } catch (const CResourceSeaException& e) {
                    if (existing != nullptr)
                        syntaxError(openingLine, e);
                    else
                        listError(openingLine, *pending, e);
                }
            }
            if (existing == nullptr) noteHead(*pending, lineInfo, openingLine);
            if (Place(pending, existing, rule, &hash) != Placed::Duplicate) continue;

            Report(&m_problems, {Kind::Duplicate, fileName, openingLine, L"Duplicate identifier (second will be ignored)", line},
                   kStyleReading, L"%s\nDuplicate identifier in line %d (second will be ignored):\n%s\n%s\n",
                   fileName, openingLine, PresentText(*existing), line);
            noteHead(*pending, lineInfo, openingLine);
            if (pending->IsListEntry()) {
                // Its lines stay in the file as comment lines at their place.
                KeepDuplicateList(std::move(pending));
            } else {
                // Kept as a comment at its place, so the user's line is not lost.
                pending->KeepAsDuplicate();
                AppendLine(pending.release());
            }
        }
    } catch (const CResourceSeaException& e) {
        // An entry that cannot take the content of a line ends the reading;
        // what was read before stays.
        Report(&m_problems, {Kind::InputData, fileName, lineNumber, L"Input data error: " + e.m_message.Str(), line},
               kStyleReading, L"%s\nInput data error in line %d: %s\n%s\n", fileName, lineNumber,
               e.m_message.GetString(), line);
    }
    return true;
}

const wchar_t* CResourceSea::PresentText(CResourceEntry& entry) {
    // An entry the program changed shows its present text; one that cannot
    // be rebuilt (too long) shows the text it has.
    try {
        if (entry.m_rebuildLine) entry.SeeZeileErneuern();
    } catch (const CResourceSeaException&) {
    }
    entry.MakeWide();
    return entry.WideLine();
}

void CResourceSea::KeepDuplicateList(std::unique_ptr<CResourceEntry> list) {
    // Every line of the list becomes a comment line that shows its text, in
    // file order, so the next reading sees no second list of that name.
    auto keep = [this](CResourceEntry& line) {
        auto comment = std::make_unique<CResourceEntry>(m_reservoir, 0u, nullptr);
        std::wstring narrow;
        const std::wstring text = std::wstring(L"; ") + line.LineText(narrow);
        comment->KeepAsComment(text.c_str());
        comment->SetReadLineEnd(line.ReadLineEnd());
        AppendLine(comment.release());
    };
    if (list->m_rebuildLine) list->SeeZeileErneuern();
    keep(*list);
    for (POSITION pos = list->m_listLines.GetHeadPosition(); pos != nullptr;)
        keep(*static_cast<CResourceEntry*>(list->m_listLines.GetNext(pos)));
    if (list->m_listLines.End() != nullptr) keep(*list->m_listLines.End());
    m_keptBytes.erase(list.get());
    for (POSITION pos = list->m_listLines.GetHeadPosition(); pos != nullptr;)
        m_keptBytes.erase(static_cast<CResourceEntry*>(list->m_listLines.GetNext(pos)));
    if (list->m_listLines.End() != nullptr) m_keptBytes.erase(list->m_listLines.End());
}
