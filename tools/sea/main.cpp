// sea: check, inspect and edit sea files from a shell.
// Every command reads the file through the library, so what it reports and
// writes is what an application would see. A command that changes a file
// writes it back whole or not at all; on any error the file stays as it was.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvaro/Kelvaro.h"
#include "kelvaro/platform/CodePage.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/platform/Utf.h"

#if KELVARO_SEA_HAVE_SQLITE
#include "kelvaro_sqlite/SqliteTable.h"
#endif

namespace {

constexpr const char* kVersion = "0.1.0";

// Exit codes: scripts tell "found problems / missing name" from "could not run".
constexpr int kOk = 0;
constexpr int kProblems = 1;
constexpr int kFailure = 2;

// ---- text in and out -------------------------------------------------------

std::string Utf8(std::wstring_view text) { return kelvaro::utf8::Encode(text); }

CString Wide(const char* text) { return CString(kelvaro::utf8::Decode(text)); }

void Print(std::wstring_view text) { std::fputs(Utf8(text).c_str(), stdout); }

void PrintLine(std::wstring_view text) {
    Print(text);
    std::fputc('\n', stdout);
}

// Messages go to standard error, so standard output stays clean to pipe.
int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "sea: %s\n", message.c_str());
    return code;
}

std::string Quoted(const CString& path) { return "'" + Utf8(path.Str()) + "'"; }

std::string JsonString(std::wstring_view text) {
    std::string out = "\"";
    for (const char c : Utf8(text)) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                out += buffer;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// ---- command line ----------------------------------------------------------

struct Arguments {
    std::vector<CString> positional;
    std::map<std::string, CString> options;  // --name value
    std::map<std::string, bool> flags;       // --name
    bool help = false;
};

// Options that take a value; every other "--x" is a flag.
bool TakesValue(const std::string& name) {
    return name == "--section" || name == "--index" || name == "--to" || name == "-o" || name == "--db" ||
           name == "--table";
}

std::optional<Arguments> Parse(int argc, char** argv, int first, std::string& error) {
    Arguments args;
    bool onlyPositional = false;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (onlyPositional || arg.size() < 2 || arg[0] != '-' || arg == "-") {
            args.positional.push_back(Wide(argv[i]));
        } else if (arg == "--") {
            onlyPositional = true;
        } else if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (TakesValue(arg)) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return std::nullopt;
            }
            args.options[arg] = Wide(argv[++i]);
        } else if (arg == "--json" || arg == "--lossy" || arg == "--keep-existing" || arg == "--merge") {
            args.flags[arg] = true;
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    return args;
}

// A non-negative index; nullopt for anything else.
std::optional<unsigned> ParseIndex(const CString& text) {
    if (text.IsEmpty()) return std::nullopt;
    unsigned long value = 0;
    for (const wchar_t c : text.Str()) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - L'0');
        if (value > 0xFFFFFFFul) return std::nullopt;
    }
    return static_cast<unsigned>(value);
}

// ---- reading a sea with its reports ------------------------------------------

// One problem the library reported while reading, as "line: message".
struct Problem {
    int line = 0;  // 0 when the report names no line
    std::wstring message;
};

// Turns a library report ("file\nSyntax error in line 3: ...\ntext\n") into a
// line number and a one-line message.
Problem ToProblem(const CString& fileName, std::wstring text) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find(L'\n', start);
        std::wstring part = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    if (!parts.empty() && parts.front() == fileName.Str()) parts.erase(parts.begin());
    Problem problem;
    if (parts.empty()) return problem;

    std::wstring head = parts.front();
    for (const std::wstring_view phrase : {std::wstring_view(L" starting at line "), std::wstring_view(L" in line ")}) {
        const std::size_t at = head.find(phrase);
        if (at == std::wstring::npos) continue;
        std::size_t digits = at + phrase.size();
        std::size_t stop = digits;
        while (stop < head.size() && head[stop] >= L'0' && head[stop] <= L'9') ++stop;
        if (stop == digits) continue;
        problem.line = std::stoi(head.substr(digits, stop - digits));
        head.erase(at, stop - at);
        break;
    }
    while (!head.empty() && (head.back() == L':' || head.back() == L' ')) head.pop_back();
    problem.message = head;
    for (std::size_t i = 1; i < parts.size(); ++i) problem.message += (i == 1 ? L": " : L" | ") + parts[i];
    return problem;
}

// Installs a handler that collects the library's reports while it lives.
class ReportCollector {
public:
    ReportCollector() {
        m_previous = PrWin::InstallOutputHandler(
            [this](PrWin::Category, PrWin::Style, const wchar_t* text) { m_reports.emplace_back(text); });
    }
    ~ReportCollector() { PrWin::InstallOutputHandler(m_previous); }
    ReportCollector(const ReportCollector&) = delete;
    ReportCollector& operator=(const ReportCollector&) = delete;

    const std::vector<std::wstring>& Reports() const { return m_reports; }

private:
    PrWin::OutputHandler m_previous;
    std::vector<std::wstring> m_reports;
};

// A sea read from an existing file, with what the reader reported.
struct LoadedSea {
    CResourceSea sea;
    std::vector<Problem> problems;
};

// Reads `path` (one section of it when `section` is given). False, with a
// message, when the file cannot be read at all.
bool Load(const CString& path, const CString* section, bool readOnly, LoadedSea& loaded, std::string& error) {
    if (!FileIO::FileExists(path)) {
        error = "cannot read " + Quoted(path) + ": no such file";
        return false;
    }
    ReportCollector collector;
    if (section != nullptr) {
        loaded.sea.SetSeaName(*section);
        loaded.sea.SetFileSection(true);
    }
    const bool opened = loaded.sea.Create(path, readOnly);
    for (const std::wstring& report : collector.Reports()) loaded.problems.push_back(ToProblem(path, report));
    if (!opened) {
        error = "cannot read " + Quoted(path);
        if (!loaded.problems.empty()) error += ": " + Utf8(loaded.problems.front().message);
        return false;
    }
    // A changed file keeps its encoding: the sea writes UTF-16 unless told otherwise.
    CUnicodeFile probe;
    if (probe.Open(path, CUnicodeFile::modeRead) && probe.GetLength() > 0) {
        probe.ReadBOM();
        loaded.sea.SaveAsUnicode(probe.m_codePage != 1252);
    }
    return true;
}

void PrintProblems(const CString& path, const std::vector<Problem>& problems) {
    for (const Problem& problem : problems) {
        std::string text = Utf8(path.Str()) + ":";
        if (problem.line > 0) text += std::to_string(problem.line) + ":";
        text += " " + Utf8(problem.message) + "\n";
        std::fputs(text.c_str(), stdout);
    }
}

// Loads a sea that a command is about to change. A file the reader had to
// repair (a cut over-long line, a damaged list) is refused: writing it back
// would make the repair permanent.
bool LoadForChange(const CString& path, LoadedSea& loaded, std::string& error) {
    if (!Load(path, nullptr, false, loaded, error)) return false;
    if (!loaded.problems.empty()) {
        error = Quoted(path) + " has problems (see 'sea check " + Utf8(path.Str()) +
                "'); it was not changed";
        return false;
    }
    return true;
}

bool Save(LoadedSea& loaded, const CString& path, std::string& error) {
    ReportCollector collector;
    if (loaded.sea.UpdateIfPossible()) return true;
    error = "cannot write " + Quoted(path) + "; the file was left as it was";
    return false;
}

const wchar_t* KindName(const CResourceEntry& entry) {
    if (entry.IsListEntry()) return L"list";
    return L"value";
}

// The value texts of an entry as a sea line writes them, for display.
std::wstring ValueList(const CResourceEntry& entry) {
    std::wstring out;
    for (unsigned i = 0; i < entry.NValues(); ++i) {
        const CString value = entry.GetString(i);
        const bool quote = value.IsEmpty() || value.Find(L' ') >= 0 || value.Find(L'\t') >= 0;
        if (i > 0) out += L' ';
        if (quote) out += L'"';
        out += value.Str();
        if (quote) out += L'"';
    }
    return out;
}

// The list lines of a list entry, as GetLineValuePart hands them out: the head
// text, each line, then the closing line, separated by line feeds.
std::vector<std::wstring> ListLines(const CResourceEntry& entry) {
    CString text;
    entry.GetLineValuePart(text);
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    const std::wstring& all = text.Str();
    while (start <= all.size()) {
        const std::size_t end = all.find(L'\n', start);
        lines.push_back(all.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    // Drop the head's own text and the closing line: callers want the content.
    if (!lines.empty()) lines.erase(lines.begin());
    if (!lines.empty()) lines.pop_back();
    return lines;
}

// ---- commands ----------------------------------------------------------------

int Check(const Arguments& args) {
    if (args.positional.empty()) return Fail(kFailure, "check: name at least one FILE (see 'sea check --help')");
    const auto section = args.options.find("--section");
    int result = kOk;
    for (const CString& path : args.positional) {
        LoadedSea loaded;
        std::string error;
        if (!Load(path, section == args.options.end() ? nullptr : &section->second, true, loaded, error)) {
            Fail(kFailure, error);
            result = kFailure;
            continue;
        }
        PrintProblems(path, loaded.problems);
        bool clean = loaded.problems.empty();
        for (unsigned i = 0; i < loaded.sea.NrLines(); ++i) {
            const CResourceEntry* entry = loaded.sea.LineAt(i);
            // Comment lines, and the bad lines and duplicates the reader kept
            // as comments (already reported above), have nothing to test.
            if (entry->IsComment()) continue;
            try {
                entry->Selbsttest(true);
            } catch (const CResourceSeaException& e) {
                std::string text = Utf8(path.Str()) + ": self-test: " + Utf8(e.m_message.Str()) + "\n";
                std::fputs(text.c_str(), stdout);
                clean = false;
            }
        }
        if (!clean && result == kOk) result = kProblems;
    }
    return result;
}

int List(const Arguments& args) {
    if (args.positional.size() != 1) return Fail(kFailure, "list: name exactly one FILE (see 'sea list --help')");
    LoadedSea loaded;
    std::string error;
    if (!Load(args.positional[0], nullptr, true, loaded, error)) return Fail(kFailure, error);
    const bool json = args.flags.count("--json") != 0;
    if (json) std::fputs("[", stdout);
    bool first = true;
    for (unsigned i = 0; i < loaded.sea.NrLines(); ++i) {
        const CResourceEntry& entry = *loaded.sea.LineAt(i);
        if (entry.IsComment() || entry.Name().IsEmpty()) continue;
        if (json) {
            std::string item = first ? "\n" : ",\n";
            item += "  {\"name\": " + JsonString(entry.Name().Str()) + ", \"kind\": " + JsonString(KindName(entry));
            item += entry.IsListEntry() ? ", \"lines\": [" : ", \"values\": [";
            if (entry.IsListEntry()) {
                bool firstLine = true;
                for (const std::wstring& line : ListLines(entry)) {
                    item += (firstLine ? "" : ", ") + JsonString(line);
                    firstLine = false;
                }
            } else {
                for (unsigned v = 0; v < entry.NValues(); ++v)
                    item += (v == 0 ? "" : ", ") + JsonString(entry.GetString(v).Str());
            }
            item += "]}";
            std::fputs(item.c_str(), stdout);
        } else if (entry.IsListEntry()) {
            PrintLine(entry.Name().Str() + L"\tlist\t" + std::to_wstring(ListLines(entry).size()) + L" lines");
        } else {
            PrintLine(entry.Name().Str() + L"\tvalue\t" + ValueList(entry));
        }
        first = false;
    }
    if (json) std::fputs(first ? "]\n" : "\n]\n", stdout);
    return kOk;
}

int Get(const Arguments& args) {
    if (args.positional.size() < 2 || args.positional.size() > 3)
        return Fail(kFailure, "get: usage is 'sea get FILE NAME [INDEX]'");
    LoadedSea loaded;
    std::string error;
    if (!Load(args.positional[0], nullptr, true, loaded, error)) return Fail(kFailure, error);
    const CResourceEntry* entry = loaded.sea.FindEntry(args.positional[1]);
    if (entry == nullptr || entry->IsComment()) {
        std::fprintf(stderr, "sea: %s has no entry %s\n", Quoted(args.positional[0]).c_str(),
                     Quoted(args.positional[1]).c_str());
        return kProblems;
    }
    if (args.positional.size() == 3) {
        const std::optional<unsigned> index = ParseIndex(args.positional[2]);
        if (!index) return Fail(kFailure, "get: INDEX must be a number from 0 on");
        if (*index >= entry->NValues()) {
            std::fprintf(stderr, "sea: %s has %u value(s); there is no value %u\n",
                         Quoted(args.positional[1]).c_str(), entry->NValues(), *index);
            return kProblems;
        }
        PrintLine(entry->GetString(*index).Str());
        return kOk;
    }
    if (entry->IsListEntry()) {
        for (const std::wstring& line : ListLines(*entry)) PrintLine(line);
    } else {
        CString part;
        entry->GetLineValuePart(part);
        PrintLine(part.Str());
    }
    return kOk;
}

// The values as the value part of a sea line: quoted when they hold blanks or
// are empty; a double quote becomes the character that stands for it.
CString ValuePart(const std::vector<CString>& values) {
    CString text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        CString value = values[i];
        value.Replace(L'"', L'\u00A7');
        const bool quote = value.IsEmpty() || value.Find(L' ') >= 0 || value.Find(L'\t') >= 0;
        if (i > 0) text += L' ';
        text += quote ? CString(L"\"") + value + L"\"" : value;
    }
    return text;
}

int Set(const Arguments& args) {
    const auto indexOption = args.options.find("--index");
    if (args.positional.size() < 3 || (indexOption != args.options.end() && args.positional.size() != 3))
        return Fail(kFailure, "set: usage is 'sea set FILE NAME VALUE...' or 'sea set FILE NAME VALUE --index N'");
    const CString& path = args.positional[0];
    const CString& name = args.positional[1];
    if (name.IsEmpty() || name.Find(L':') >= 0 || name.Find(L'\n') >= 0)
        return Fail(kFailure, "set: NAME must be non-empty and hold no ':' or line end");
    LoadedSea loaded;
    std::string error;
    if (!LoadForChange(path, loaded, error)) return Fail(kFailure, error);
    if (loaded.sea.IsListEntry(name)) return Fail(kFailure, "set: " + Quoted(name) + " is a list; use 'sea add-line'");
    try {
        if (indexOption != args.options.end()) {
            const std::optional<unsigned> index = ParseIndex(indexOption->second);
            if (!index) return Fail(kFailure, "set: --index must be a number from 0 on");
            const CResourceEntry* entry = loaded.sea.FindEntry(name);
            const unsigned count = entry == nullptr ? 0 : entry->NValues();
            if (*index > count)
                return Fail(kFailure, "set: " + Quoted(name) + " has " + std::to_string(count) +
                                          " value(s); --index may be at most " + std::to_string(count));
            loaded.sea.LookupSetString(name, args.positional[2], *index);
        } else {
            std::vector<CString> values(args.positional.begin() + 2, args.positional.end());
            loaded.sea.SetLine(name, ValuePart(values));
        }
    } catch (const CResourceSeaException& e) {
        return Fail(kFailure, "set: " + Utf8(e.m_message.Str()) + "; the file was not changed");
    }
    return Save(loaded, path, error) ? kOk : Fail(kFailure, error);
}

int Delete(const Arguments& args) {
    if (args.positional.size() != 2) return Fail(kFailure, "delete: usage is 'sea delete FILE NAME'");
    const CString& path = args.positional[0];
    LoadedSea loaded;
    std::string error;
    if (!LoadForChange(path, loaded, error)) return Fail(kFailure, error);
    if (loaded.sea.Delete(args.positional[1]) == 0) {
        std::fprintf(stderr, "sea: %s has no entry %s\n", Quoted(path).c_str(), Quoted(args.positional[1]).c_str());
        return kProblems;
    }
    return Save(loaded, path, error) ? kOk : Fail(kFailure, error);
}

int AddLine(const Arguments& args) {
    if (args.positional.size() != 3) return Fail(kFailure, "add-line: usage is 'sea add-line FILE LIST TEXT'");
    const CString& path = args.positional[0];
    const CString& text = args.positional[2];
    if (text.Find(L'\n') >= 0 || text.Find(L'\r') >= 0) return Fail(kFailure, "add-line: TEXT must be one line");
    LoadedSea loaded;
    std::string error;
    if (!LoadForChange(path, loaded, error)) return Fail(kFailure, error);
    try {
        // List lines are written indented, as the sea writer itself does.
        if (!loaded.sea.AddListLine(args.positional[1], CString(L"\t") + text))
            return Fail(kFailure, "add-line: " + Quoted(args.positional[1]) + " is not a list");
    } catch (const CResourceSeaException& e) {
        return Fail(kFailure, "add-line: " + Utf8(e.m_message.Str()) + "; the file was not changed");
    }
    return Save(loaded, path, error) ? kOk : Fail(kFailure, error);
}

// Reads every line of a file as text, whatever its encoding. Lines longer
// than the buffer are an error rather than silently cut.
bool ReadLines(const CString& path, std::vector<std::wstring>& lines, unsigned& codePage, std::string& error) {
    CUnicodeFile file;
    if (!file.Open(path, CUnicodeFile::modeRead)) {
        error = "cannot read " + Quoted(path) + ": " + Utf8(FileIO::GetLastErrorMessage(FileIO::GetLastError()).Str());
        return false;
    }
    file.ReadBOM();
    codePage = file.m_codePage;
    constexpr unsigned kCapacity = 1u << 20;
    std::vector<wchar_t> buffer(kCapacity);
    while (file.ReadNextLine(buffer.data(), kCapacity)) {
        if (file.m_lineTooLong) {
            error = Quoted(path) + " has a line longer than " + std::to_string(kCapacity - 1) + " characters";
            return false;
        }
        lines.emplace_back(buffer.data());
    }
    return true;
}

int Cat(const Arguments& args) {
    if (args.positional.size() != 1) return Fail(kFailure, "cat: usage is 'sea cat FILE'");
    std::vector<std::wstring> lines;
    unsigned codePage = 0;
    std::string error;
    if (!ReadLines(args.positional[0], lines, codePage, error)) return Fail(kFailure, error);
    for (const std::wstring& line : lines) PrintLine(line);
    return kOk;
}

int Convert(const Arguments& args) {
    const auto to = args.options.find("--to");
    if (args.positional.size() != 1 || to == args.options.end())
        return Fail(kFailure, "convert: usage is 'sea convert FILE --to utf16|cp1252 [-o OUT] [--lossy]'");
    unsigned target = 0;
    if (to->second == L"utf16") target = 1200;
    else if (to->second == L"cp1252") target = 1252;
    else return Fail(kFailure, "convert: --to takes utf16 or cp1252");
    const CString& path = args.positional[0];
    const auto out = args.options.find("-o");
    const CString outPath = out == args.options.end() ? path : out->second;

    std::vector<std::wstring> lines;
    unsigned codePage = 0;
    std::string error;
    if (!ReadLines(path, lines, codePage, error)) return Fail(kFailure, error);
    if (target == 1252 && args.flags.count("--lossy") == 0) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            bool lossless = true;
            kelvaro::cp1252::Encode(lines[i], &lossless);
            if (!lossless)
                return Fail(kFailure, Utf8(path.Str()) + ":" + std::to_string(i + 1) +
                                          ": holds characters that code page 1252 cannot hold; "
                                          "nothing was written (use --lossy to write them as '?')");
        }
    }
    CUnicodeFile file;
    file.m_codePage = target;
    if (!file.Open(outPath, CUnicodeFile::modeCreate | CUnicodeFile::modeWrite))
        return Fail(kFailure, "cannot write " + Quoted(outPath) + ": " +
                                  Utf8(FileIO::GetLastErrorMessage(FileIO::GetLastError()).Str()));
    bool written = file.WriteBOM();
    for (const std::wstring& line : lines) written = file.WriteLine(line.c_str()) && written;
    if (!written || !file.Close()) {
        file.Abandon();
        return Fail(kFailure, "cannot write " + Quoted(outPath) + "; it was left as it was");
    }
    return kOk;
}

int Merge(const Arguments& args) {
    if (args.positional.size() != 2) return Fail(kFailure, "merge: usage is 'sea merge TARGET SOURCE [--keep-existing]'");
    const CString& target = args.positional[0];
    const CString& source = args.positional[1];
    LoadedSea loaded;
    std::string error;
    if (!LoadForChange(target, loaded, error)) return Fail(kFailure, error);
    LoadedSea check;
    if (!Load(source, nullptr, true, check, error)) return Fail(kFailure, error);
    if (!check.problems.empty()) {
        PrintProblems(source, check.problems);
        return Fail(kFailure, Quoted(source) + " has problems; nothing was merged");
    }
    {
        ReportCollector collector;
        if (!loaded.sea.MergeFile(source, args.flags.count("--keep-existing") == 0))
            return Fail(kFailure, "cannot read " + Quoted(source));
    }
    return Save(loaded, target, error) ? kOk : Fail(kFailure, error);
}

#if KELVARO_SEA_HAVE_SQLITE
CString TableName(const Arguments& args) {
    const auto table = args.options.find("--table");
    return table == args.options.end() ? CString(L"sea") : table->second;
}

int Export(const Arguments& args) {
    const auto db = args.options.find("--db");
    if (args.positional.size() != 1 || db == args.options.end())
        return Fail(kFailure, "export: usage is 'sea export FILE --db DB [--table T]'");
    LoadedSea loaded;
    std::string error;
    if (!Load(args.positional[0], nullptr, true, loaded, error)) return Fail(kFailure, error);
    PrintProblems(args.positional[0], loaded.problems);
    ReportCollector collector;
    CSqliteSeaTable table(db->second, TableName(args));
    try {
        if (!table.IsOpen() || !loaded.sea.SaveToTable(&table))
            return Fail(kFailure, "cannot export to " + Quoted(db->second) + ": " + Utf8(table.LastError().Str()));
    } catch (const CResourceSeaException& e) {
        return Fail(kFailure, "export: " + Utf8(e.m_message.Str()));
    }
    return kOk;
}

int Import(const Arguments& args) {
    const auto db = args.options.find("--db");
    if (args.positional.size() != 1 || db == args.options.end())
        return Fail(kFailure, "import: usage is 'sea import FILE --db DB [--table T] [--merge]'");
    const CString& path = args.positional[0];
    const bool exists = FileIO::FileExists(path);
    LoadedSea loaded;
    std::string error;
    // A new file is written only once the whole table has been read.
    if (exists && !LoadForChange(path, loaded, error)) return Fail(kFailure, error);
    CSqliteSeaTable table(db->second, TableName(args));
    if (!table.IsOpen())
        return Fail(kFailure, "cannot open " + Quoted(db->second) + ": " + Utf8(table.LastError().Str()));
    bool read = false;
    {
        ReportCollector collector;
        try {
            if (args.flags.count("--merge") != 0) {
                CResourceSea imported;
                read = imported.ReadFromTable(&table, true);
                if (read) loaded.sea.MergeContent(&imported);
            } else {
                read = loaded.sea.ReadFromTable(&table, false);
            }
        } catch (const CResourceSeaException& e) {
            return Fail(kFailure, "import: " + Utf8(e.m_message.Str()) + "; the file was not changed");
        }
        for (const std::wstring& report : collector.Reports()) PrintProblems(db->second, {ToProblem(db->second, report)});
    }
    if (!read) return Fail(kFailure, "cannot import from " + Quoted(db->second) + "; the file was not changed");
    if (exists) return Save(loaded, path, error) ? kOk : Fail(kFailure, error);
    ReportCollector collector;
    loaded.sea.SaveAs(path);
    if (!collector.Reports().empty() || !FileIO::FileExists(path))
        return Fail(kFailure, "cannot write " + Quoted(path));
    return kOk;
}
#endif

// ---- help ------------------------------------------------------------------------

struct Command {
    const char* name;
    int (*run)(const Arguments&);
    const char* usage;
    const char* help;
};

const Command kCommands[] = {
    {"check", Check, "sea check FILE... [--section NAME]",
     "Reads each sea and prints every problem as FILE:LINE: message (syntax errors,\n"
     "duplicates, over-long lines, unterminated lists), then runs the self-test of\n"
     "every line. --section NAME checks the section NAME of a shared file.\n"
     "Exit status: 0 clean, 1 problems found, 2 a file could not be read."},
    {"list", List, "sea list FILE [--json]",
     "Prints the named entries in line order: name, kind (value or list) and the\n"
     "values (for a list, its number of lines), separated by tabs. --json prints\n"
     "an array of {name, kind, values|lines} objects."},
    {"get", Get, "sea get FILE NAME [INDEX]",
     "Prints value INDEX of entry NAME, or its whole value part (a list prints its\n"
     "lines, one per line). Exit status 1 when NAME or the value is missing."},
    {"set", Set, "sea set FILE NAME VALUE... | sea set FILE NAME VALUE --index N",
     "Makes the VALUEs the values of entry NAME (created at the end when missing),\n"
     "or sets value N only. Every other line keeps its text; on any error the\n"
     "file is not changed."},
    {"delete", Delete, "sea delete FILE NAME",
     "Removes entry NAME (a list with its lines). Exit status 1 when it is missing."},
    {"add-line", AddLine, "sea add-line FILE LIST TEXT",
     "Appends TEXT as a line of list LIST (created when missing)."},
    {"cat", Cat, "sea cat FILE", "Prints the file as UTF-8 text, whatever its encoding."},
    {"convert", Convert, "sea convert FILE --to utf16|cp1252 [-o OUT] [--lossy]",
     "Re-encodes FILE (in place, or into OUT) as UTF-16LE with a byte-order mark or\n"
     "as code page 1252. Characters that code page 1252 cannot hold make the\n"
     "conversion fail unless --lossy is given (they are then written as '?')."},
    {"merge", Merge, "sea merge TARGET SOURCE [--keep-existing]",
     "Merges the entries of SOURCE into TARGET: values of SOURCE win, missing\n"
     "entries are added at the end. --keep-existing only adds missing entries."},
#if KELVARO_SEA_HAVE_SQLITE
    {"export", Export, "sea export FILE --db DB [--table T]",
     "Writes the sea into table T (default 'sea') of the SQLite database DB,\n"
     "replacing the table's rows."},
    {"import", Import, "sea import FILE --db DB [--table T] [--merge]",
     "Reads table T of DB into FILE: replaces its content, or with --merge merges\n"
     "the table's entries into it."},
#endif
};

void PrintUsage(std::FILE* out) {
    std::fputs("usage: sea COMMAND [ARGS]   (sea COMMAND --help for details)\n\n"
               "Checks, inspects and edits sea files.\n\ncommands:\n", out);
    for (const Command& command : kCommands) std::fprintf(out, "  %s\n", command.usage);
    std::fputs("\noptions: --help, --version\n", out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kFailure;
    }
    const std::string commandName = argv[1];
    if (commandName == "--help" || commandName == "-h" || commandName == "help") {
        PrintUsage(stdout);
        return kOk;
    }
    if (commandName == "--version") {
        std::printf("sea %s\n", kVersion);
        return kOk;
    }
    for (const Command& command : kCommands) {
        if (commandName != command.name) continue;
        std::string error;
        const std::optional<Arguments> args = Parse(argc, argv, 2, error);
        if (!args) return Fail(kFailure, commandName + ": " + error + " (see 'sea " + commandName + " --help')");
        if (args->help) {
            std::printf("usage: %s\n\n%s\n", command.usage, command.help);
            return kOk;
        }
        try {
            return command.run(*args);
        } catch (const CResourceSeaException& e) {
            return Fail(kFailure, commandName + ": " + Utf8(e.m_message.Str()));
        } catch (const std::exception& e) {
            return Fail(kFailure, commandName + ": " + e.what());
        }
    }
    return Fail(kFailure, "unknown command '" + commandName + "' (see 'sea --help')");
}
