// sea: check, inspect and edit sea files from a shell.
// Every command reads the file through the library, so what it reports and
// writes is what an application would see. A command that changes a file
// writes it back whole or not at all; on any error the file stays as it was.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvaro/Kelvaro.h"
#include "kelvaro/platform/CodePage.h"
#include "kelvaro/entry/ValueGrammar.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/platform/Utf.h"

#include <memory>

#if KELVARO_SEA_HAVE_SQLITE
#include "kelvaro_sqlite/SqliteTable.h"
#endif
#if KELVARO_SEA_HAVE_POSTGRES
#include "kelvaro_postgres/PostgresTable.h"
#endif
#if KELVARO_SEA_HAVE_JSON
#include "kelvaro_json/SeaJson.h"
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

// Messages go to standard error, so standard output stays clean to pipe.
int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "sea: %s\n", message.c_str());
    return code;
}

// A name, path or text between quotes for a message; line ends and tabs
// show as \n, \r and \t so that the message stays one line.
std::string Quoted(const CString& text) {
    std::string out = "'";
    for (const char c : Utf8(text.Str())) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out + "'";
}

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

    const CString* Option(const char* name) const {
        const auto found = options.find(name);
        return found == options.end() ? nullptr : &found->second;
    }
    bool Flag(const char* name) const { return flags.count(name) != 0; }
};

// Options that take a value; every other "--x" is a flag. `import --json IN`
// names the document to read, where the other commands' --json is a flag.
bool TakesValue(const std::string& name, const std::string& command) {
    if (name == "--json") return command == "import";
    return name == "--section" || name == "--index" || name == "--to" || name == "-o" || name == "--db" ||
           name == "--table" || name == "--type" || name == "--from";
}

std::optional<Arguments> Parse(int argc, char** argv, int first, const std::string& command, std::string& error) {
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
        } else if (args.options.count(arg) != 0 || args.flags.count(arg) != 0) {
            // Two values for one option: taking either would drop the other unseen.
            error = "option " + arg + " is given twice";
            return std::nullopt;
        } else if (TakesValue(arg, command)) {
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

// ---- what the tool writes must read back -------------------------------------

// Why `name` cannot be the name of an entry written into a sea (it would not
// read back as that name); empty when it can. The rule is the library's, so
// that the tool and table imports accept the same names.
std::string NameProblem(const CString& name) {
    if (name.IsEmpty()) return "the name is empty";
    const CString problem = CResourceEntry::NameProblem(name.GetString());
    return problem.IsEmpty() ? std::string() : Quoted(name) + " " + Utf8(problem.Str());
}

// Why `text` cannot be written as one line of a list (the tool indents it
// with a tab); empty when it reads back as that one line.
std::string ListLineProblem(const CString& text) {
    const CString problem = CResourceEntry::ListLineProblem(text.GetString());
    return problem.IsEmpty() ? std::string() : "TEXT " + Utf8(problem.Str());
}

// Rebuilds the line of entry `name` as it will be written and reads it back;
// empty when it gives the same name and values, and value i holds given[i]
// for every index given.
std::string ReadBackProblem(const CResourceSea& sea, const CString& name,
                            const std::vector<std::pair<unsigned, CString>>& given) {
    const CResourceEntry* entry = sea.FindEntry(name);
    if (entry == nullptr) return Quoted(name) + " was not stored";
    std::vector<std::pair<unsigned, std::wstring>> texts;
    for (const auto& [index, text] : given) texts.emplace_back(index, text.Str());
    const CString problem = entry->ReadBackProblem(texts);
    return problem.IsEmpty() ? std::string() : Quoted(name) + ": " + Utf8(problem.Str());
}

// ---- reading a sea with its reports ------------------------------------------

// One problem the library reported, as "line: message".
struct Problem {
    int line = 0;  // 0 when it concerns no line
    std::wstring message;
};

Problem ToProblem(const kelvaro::SeaProblem& problem) {
    return {problem.line, problem.text.empty() ? problem.message : problem.message + L": " + problem.text};
}

std::vector<Problem> ToProblems(const kelvaro::SeaProblems& problems) {
    std::vector<Problem> shown;
    for (const kelvaro::SeaProblem& problem : problems) shown.push_back(ToProblem(problem));
    return shown;
}

// Keeps the library's report texts off the terminal while it lives: the tool
// prints the problems from the sea's data, in its own form.
using Quiet = PrWin::ScopedOutputHandler;

// A sea read from an existing file, with what the reader reported.
struct LoadedSea {
    FileIO::CFileLock lock;  // held from reading to writing, when the sea is to be changed
    CResourceSea sea;
    std::vector<Problem> problems;
    CString path;
    const CString* section = nullptr;
};

// "::::: " and a sea's name start that sea's section in a shared file.
const std::wstring kSectionMarker = L"::::: ";

bool HasSection(const CString& path, const CString& section) {
    return CResourceSea::FileHasSection(path.GetString(), section.GetString());
}

// The line of the file that entry `name` of the loaded sea starts on; 0 when
// it cannot be told.
int LineOf(const LoadedSea& loaded, const CString& name) { return loaded.sea.LineOf(name.GetString()); }

// Reads `path` (its section `section` when given). False, with a message,
// when the file cannot be read at all or has no such section.
bool Load(const CString& path, const CString* section, bool readOnly, LoadedSea& loaded, std::string& error) {
    loaded.path = path;
    loaded.section = section;
    if (!FileIO::FileExists(path)) {
        error = "cannot read " + Quoted(path) + ": no such file";
        return false;
    }
    Quiet quiet;
    if (section != nullptr) {
        loaded.sea.SetSeaName(*section);
        loaded.sea.SetFileSection(true);
    }
    const bool opened = loaded.sea.Create(path, readOnly);
    loaded.problems = ToProblems(loaded.sea.Problems());
    if (!opened) {
        error = "cannot read " + Quoted(path);
        if (!loaded.problems.empty()) error += ": " + Utf8(loaded.problems.front().message);
        return false;
    }
    // A missing section reads as an empty sea; an empty one must still be there.
    if (section != nullptr && loaded.sea.NrLines() == 0 && !HasSection(path, *section)) {
        error = Quoted(path) + " has no section " + Quoted(*section);
        return false;
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
// would make the repair permanent. With `created` given, a missing file
// (never a missing section) gives an empty sea and sets *created; whether it
// is missing is asked under the lock, so two commands cannot both create it.
bool LoadForChange(const CString& path, const CString* section, LoadedSea& loaded, std::string& error,
                   bool* created = nullptr) {
    // Other writers of the file wait until this change is written, so none is lost.
    if (!loaded.lock.Acquire(path)) {
        error = "cannot change " + Quoted(path) + ": " + Utf8(FileIO::GetLastErrorMessage(FileIO::GetLastError()).Str());
        return false;
    }
    if (created != nullptr && section == nullptr && !FileIO::FileExists(path)) {
        loaded.path = path;
        return *created = true;
    }
    if (!Load(path, section, false, loaded, error)) return false;
    if (!loaded.problems.empty()) {
        error = Quoted(path) + " has problems (see 'sea check " + Utf8(path.Str()) + "'); it was not changed";
        return false;
    }
    return true;
}

int Save(LoadedSea& loaded) {
    if (loaded.sea.UpdateIfPossible()) return kOk;
    CString why = loaded.sea.WriteError();
    if (why.IsEmpty()) why = FileIO::GetLastErrorMessage(FileIO::GetLastError());
    return Fail(kFailure, "cannot write " + Quoted(loaded.path) + ": " + Utf8(why.Str()) +
                              "; the file was left as it was");
}

// Writes a sea that has no file yet, as a new sea is written (UTF-16LE).
int SaveNew(LoadedSea& loaded) {
    Quiet quiet;
    if (loaded.sea.SaveAs(loaded.path) && FileIO::FileExists(loaded.path)) return kOk;
    const CString why = loaded.sea.WriteError().IsEmpty() ? FileIO::GetLastErrorMessage(FileIO::GetLastError())
                                                          : loaded.sea.WriteError();
    return Fail(kFailure, "cannot write " + Quoted(loaded.path) + ": " + Utf8(why.Str()));
}

// The bytes of a whole file, for documents the tool reads that are not seas.
bool ReadFileBytes(const CString& path, std::string& bytes, std::string& error) {
    CUnicodeFile file;
    if (!file.Open(path, CUnicodeFile::modeRead) || !file.ReadRawBytes(0, file.GetLength(), bytes)) {
        error = "cannot read " + Quoted(path) + ": " + Utf8(FileIO::GetLastErrorMessage(FileIO::GetLastError()).Str());
        return false;
    }
    return true;
}

// Replaces (or creates) `path` with `bytes`, whole or not at all.
int WriteFileBytes(const CString& path, const std::string& bytes) {
    CUnicodeFile file;
    file.m_codePage = 65001;
    if (file.Open(path, CUnicodeFile::modeCreate | CUnicodeFile::modeWrite) && file.WriteRaw(bytes) && file.Close())
        return kOk;
    const std::string why = Utf8(FileIO::GetLastErrorMessage(FileIO::GetLastError()).Str());
    file.Abandon();
    return Fail(kFailure, "cannot write " + Quoted(path) + ": " + why + "; it was left as it was");
}

// A library message without the ": " it starts with when it names no entry.
std::wstring Trimmed(const CString& message) {
    const std::size_t start = message.Str().find_first_not_of(L": ");
    return start == std::wstring::npos ? std::wstring() : message.Str().substr(start);
}

// "FILE:LINE: 'name' cannot be shown: why" on standard error.
void ReportUnshown(const LoadedSea& loaded, const CString& name, const CResourceSeaException& e) {
    const int line = LineOf(loaded, name);
    std::fprintf(stderr, "sea: %s:%s %s cannot be shown: %s\n", Utf8(loaded.path.Str()).c_str(),
                 line > 0 ? (std::to_string(line) + ":").c_str() : "", Quoted(name).c_str(),
                 Utf8(Trimmed(e.m_message)).c_str());
}

const wchar_t* KindName(const CResourceEntry& entry) { return entry.IsListEntry() ? L"list" : L"value"; }

// The lines of a list entry without its head and closing line. Throws when a
// line cannot be rebuilt.
std::vector<std::wstring> ListLines(const CResourceEntry& entry) { return entry.ListLineTexts(); }

const CString* Section(const Arguments& args) { return args.Option("--section"); }

// ---- commands ----------------------------------------------------------------

// A file without a byte-order mark is read as code page 1252, and UTF-8 text
// then reads as other characters without any error: true when its bytes
// beyond ASCII all form UTF-8, which code page 1252 text almost never does.
bool LooksLikeUtf8(const CString& path) {
    std::string bytes, error, ignored;
    if (!ReadFileBytes(path, bytes, error)) return false;
    if (std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return false;
    return CUnicodeFile::Transcode(bytes, 65001, 1200, ignored);
}

std::string Counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int Check(const Arguments& args) {
    if (args.positional.empty()) return Fail(kFailure, "check: name at least one FILE (see 'sea check --help')");
    int result = kOk;
    std::size_t found = 0;  // problems of every file, unreadable files included
    for (const CString& path : args.positional) {
        LoadedSea loaded;
        std::string error;
        if (!Load(path, Section(args), true, loaded, error)) {
            Fail(kFailure, error);
            result = kFailure;
            ++found;
            continue;
        }
        PrintProblems(path, loaded.problems);
        bool clean = loaded.problems.empty();
        found += loaded.problems.size();
        if (loaded.sea.FileCodePage() == 1252 && LooksLikeUtf8(path)) {
            std::printf("%s: warning: no byte-order mark, but the text looks like UTF-8; it is read as code "
                        "page 1252 (if it is UTF-8: 'sea convert FILE --from utf8 --to utf8')\n",
                        Utf8(path.Str()).c_str());
            clean = false;
            ++found;
        }
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
                ++found;
            }
        }
        if (!clean && result == kOk) result = kProblems;
    }
    // A clean run says so: an empty output could also be a check that never ran.
    std::printf("%s, %s\n", Counted(args.positional.size(), "file", "files").c_str(),
                found == 0 ? "no problems" : Counted(found, "problem", "problems").c_str());
    return result;
}

// The values as the library writes them when it rebuilds a line, so that a
// sea lists alike whatever spacing its file has; a line too long to rebuild
// shows as the file holds it.
std::wstring ValuePart(const CResourceEntry& entry) {
    CResourceEntry shown(nullptr, 0, L"v");
    for (unsigned i = 0; i < entry.NValues(); ++i) shown.SetText(entry.GetString(i), i);
    CString part;
    try {
        shown.GetLineValuePart(part);
    } catch (const CResourceSeaException&) {
        entry.GetLineValuePart(part);
    }
    return part.Str();
}

// A list line's text as the reader parses it (a comment, or values); throws
// for a line that does not parse.
CResourceEntry ParsedListLine(const std::wstring& text) {
    CResourceEntry line(nullptr, CResourceEntry::StatusListLine, nullptr);
    line = text.c_str();
    return line;
}

std::string JsonValues(const CResourceEntry& entry) {
    std::string out = "[";
    for (unsigned v = 0; v < entry.NValues(); ++v) out += (v == 0 ? "" : ", ") + JsonString(entry.GetString(v).Str());
    return out + "]";
}

// One entry as a line of `sea list` or an object of `sea list --json`.
std::string ListItem(const CResourceEntry& entry, bool json) {
    const std::wstring& name = entry.Name().Str();
    if (!json) {
        if (entry.IsListEntry())
            return Utf8(name + L"\tlist\t" + std::to_wstring(ListLines(entry).size()) + L" lines\n");
        return Utf8(name + L"\tvalue\t" + ValuePart(entry) + L"\n");
    }
    std::string item = "  {\"name\": " + JsonString(name) + ", \"kind\": " + JsonString(KindName(entry));
    if (!entry.IsListEntry()) return item + ", \"values\": " + JsonValues(entry) + "}";
    // Each list line as the reader parses it: its values, or the comment it is.
    item += ", \"lines\": [";
    const std::vector<std::wstring> lines = ListLines(entry);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const CResourceEntry line = ParsedListLine(lines[i]);
        item += (i == 0 ? "" : ", ") +
                (line.IsComment() ? "{\"comment\": " + JsonString(lines[i]) + "}" : JsonValues(line));
    }
    return item + "]}";
}

int List(const Arguments& args) {
    if (args.positional.size() != 1) return Fail(kFailure, "list: name exactly one FILE (see 'sea list --help')");
    LoadedSea loaded;
    std::string error;
    if (!Load(args.positional[0], Section(args), true, loaded, error)) return Fail(kFailure, error);
    const bool json = args.Flag("--json");
    // The whole output is made before any of it is printed: an entry that
    // cannot be shown leaves out itself, never the end of the listing.
    std::string out;
    int result = kOk;
    bool first = true;
    for (unsigned i = 0; i < loaded.sea.NrLines(); ++i) {
        const CResourceEntry& entry = *loaded.sea.LineAt(i);
        if (entry.IsComment() || entry.Name().IsEmpty()) continue;
        try {
            const std::string item = ListItem(entry, json);
            out += json ? (first ? "\n" : ",\n") + item : item;
            first = false;
        } catch (const CResourceSeaException& e) {
            ReportUnshown(loaded, entry.Name(), e);
            result = kProblems;
        }
    }
    if (json) out = "[" + out + (first ? "]\n" : "\n]\n");
    std::fputs(out.c_str(), stdout);
    return result;
}

// The text forms the typed readers take whole. The readers themselves read
// any text (a bad number as 0, a too large one saturated), so `get --type`
// checks the form first: a script then learns of a value the application
// would silently misread.
bool IsDecimal(const std::wstring& text, long long low, long long high) {
    std::size_t at = text.starts_with(L'-') || text.starts_with(L'+') ? 1 : 0;
    if (at == text.size()) return false;
    long long value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < L'0' || text[at] > L'9') return false;
        value = value * 10 + (text[at] - L'0');
        if (value > high + 1ll) return false;
    }
    return text[0] == L'-' ? -value >= low : value <= high;
}

bool IsHex(const std::wstring& text) {
    std::size_t at = text.starts_with(L'-') || text.starts_with(L'+') ? 1 : 0;
    if (text.compare(at, 2, L"0x") == 0 || text.compare(at, 2, L"0X") == 0) at += 2;
    const std::size_t digits = text.find_first_not_of(L'0', at) == std::wstring::npos
                                   ? 0 : text.size() - text.find_first_not_of(L'0', at);
    return at < text.size() && digits <= 16 && text.find_first_not_of(L"0123456789abcdefABCDEF", at) == std::wstring::npos;
}

bool IsNumber(const std::wstring& text) {
    if (text.empty() || text.find_first_not_of(L"0123456789+-.eE") != std::wstring::npos) return false;
    wchar_t* end = nullptr;
    const double value = std::wcstod(text.c_str(), &end);
    return *end == L'\0' && std::isfinite(value);
}

const char* const kTypes[] = {"int", "bool", "float", "hex", "color", "path"};

// `sea get --type TYPE`: value `index` of `name` through the library's reader
// of that type; exit 1 when its text is not of that type's form.
int GetTyped(const LoadedSea& loaded, const CString& name, const CResourceEntry& entry, unsigned index,
             const std::string& type) {
    const unsigned count = type == "color" ? 3 : 1;  // red, green, blue
    if (entry.IsListEntry()) {
        std::fprintf(stderr, "sea: %s is a list, not a value of type %s\n", Quoted(name).c_str(), type.c_str());
        return kProblems;
    }
    if (static_cast<unsigned long long>(index) + count > entry.NValues()) {
        std::fprintf(stderr, "sea: %s has %u value(s); a %s needs %s from value %u\n", Quoted(name).c_str(),
                     entry.NValues(), type.c_str(), count == 1 ? "one" : "three", index);
        return kProblems;
    }
    const CResourceSea& sea = loaded.sea;
    const std::wstring text = entry.GetString(index).Str();
    bool converts = true;
    std::string out;
    if (type == "int" || type == "bool") {
        converts = IsDecimal(text, INT_MIN, INT_MAX);
        out = type == "int" ? std::to_string(sea.LookupGetInt(name, index, 0))
                            : (sea.LookupGetBool(name, index, false) ? "true" : "false");
    } else if (type == "float") {
        converts = IsNumber(text);
        char buffer[64];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, sea.LookupGetDouble(name, index, 0.0));
        out.assign(buffer, written.ptr);
    } else if (type == "hex") {
        converts = IsHex(text);
        out = std::to_string(sea.LookupGetHex(name, index, 0));
    } else if (type == "color") {
        for (unsigned i = 0; i < 3; ++i) converts = converts && IsDecimal(entry.GetString(index + i).Str(), 0, 255);
        const unsigned long color = sea.LookupGetRgbColor(name, index, 0);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "#%02lx%02lx%02lx", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
        out = buffer;
    } else {
        // Relative to the sea's own folder, as a module reading it with LookupFilename would take it.
        converts = !text.empty();
        out = Utf8(sea.LookupGetFilename(name, FileIO::getFilePath(loaded.path), index, CString()).Str());
    }
    if (!converts) {
        const std::wstring shown = count == 1 ? text : ValuePart(entry);
        std::fprintf(stderr, "sea: value %u of %s is not of type %s: %s\n", index, Quoted(name).c_str(), type.c_str(),
                     Quoted(CString(shown)).c_str());
        return kProblems;
    }
    std::printf("%s\n", out.c_str());
    return kOk;
}

int Get(const Arguments& args) {
    const CString* indexOption = args.Option("--index");
    if (args.positional.size() < 2 || args.positional.size() > 3 || (indexOption && args.positional.size() == 3))
        return Fail(kFailure, "get: usage is 'sea get FILE NAME [--index N] [--type TYPE]'");
    const CString* typeOption = args.Option("--type");
    const std::string type = typeOption ? Utf8(typeOption->Str()) : std::string();
    if (typeOption && std::find(std::begin(kTypes), std::end(kTypes), type) == std::end(kTypes))
        return Fail(kFailure, "get: --type takes int, bool, float, hex, color or path");
    LoadedSea loaded;
    std::string error;
    if (!Load(args.positional[0], Section(args), true, loaded, error)) return Fail(kFailure, error);
    const CString& name = args.positional[1];
    const CResourceEntry* entry = loaded.sea.FindEntry(name);
    if (entry == nullptr || entry->IsComment()) {
        std::fprintf(stderr, "sea: %s has no entry %s\n", Quoted(args.positional[0]).c_str(), Quoted(name).c_str());
        return kProblems;
    }
    std::optional<unsigned> index;
    if (indexOption != nullptr || args.positional.size() == 3) {
        index = ParseIndex(indexOption ? *indexOption : args.positional[2]);
        if (!index) return Fail(kFailure, "get: --index must be a number from 0 on");
    }
    if (typeOption) return GetTyped(loaded, name, *entry, index.value_or(0), type);
    std::wstring out;
    try {
        if (index) {
            if (*index >= entry->NValues()) {
                std::fprintf(stderr, "sea: %s has %u value(s); there is no value %u\n", Quoted(name).c_str(),
                             entry->NValues(), *index);
                return kProblems;
            }
            out = entry->GetString(*index).Str() + L"\n";
        } else if (entry->IsListEntry()) {
            for (const std::wstring& line : ListLines(*entry)) out += line + L"\n";
        } else {
            CString part;
            entry->GetLineValuePart(part);
            out = part.Str() + L"\n";
        }
    } catch (const CResourceSeaException& e) {
        ReportUnshown(loaded, name, e);
        return kProblems;
    }
    Print(out);
    return kOk;
}

int Set(const Arguments& args) {
    const CString* indexOption = args.Option("--index");
    if (args.positional.size() < 3 || (indexOption != nullptr && args.positional.size() != 3))
        return Fail(kFailure, "set: usage is 'sea set FILE NAME VALUE...' or 'sea set FILE NAME VALUE --index N'");
    const CString& name = args.positional[1];
    if (const std::string problem = NameProblem(name); !problem.empty())
        return Fail(kFailure, "set: " + problem + "; the file was not changed");
    std::optional<unsigned> index;
    if (indexOption != nullptr && !(index = ParseIndex(*indexOption)))
        return Fail(kFailure, "set: --index must be a number from 0 on");
    LoadedSea loaded;
    std::string error;
    bool created = false;
    if (!LoadForChange(args.positional[0], Section(args), loaded, error, &created)) return Fail(kFailure, error);
    if (loaded.sea.IsListEntry(name)) return Fail(kFailure, "set: " + Quoted(name) + " is a list; use 'sea add-line'");
    // Every value goes through the library's value setter, which quotes and
    // maps it when the line is rebuilt: one argument is one value.
    std::vector<std::pair<unsigned, CString>> given;
    try {
        if (index) {
            const CResourceEntry* entry = loaded.sea.FindEntry(name);
            const unsigned count = entry == nullptr ? 0 : entry->NValues();
            // A value beyond the end is missing, as it is for get; the file stays as it was.
            if (*index > count) {
                std::fprintf(stderr, "sea: %s has %u value(s); there is no value %u (--index may be at most %u)\n",
                             Quoted(name).c_str(), count, *index, count);
                return kProblems;
            }
            given.emplace_back(*index, args.positional[2]);
        } else {
            loaded.sea.SetLine(name, L"");
            for (std::size_t i = 2; i < args.positional.size(); ++i)
                given.emplace_back(static_cast<unsigned>(i - 2), args.positional[i]);
        }
        for (const auto& [at, text] : given) loaded.sea.LookupSetString(name, text, at);
    } catch (const CResourceSeaException& e) {
        return Fail(kFailure, "set: " + Utf8(e.m_message.Str()) + "; the file was not changed");
    }
    if (const std::string problem = ReadBackProblem(loaded.sea, name, given); !problem.empty())
        return Fail(kFailure, "set: " + problem + "; the file was not changed");
    if (!created) return Save(loaded);
    const int result = SaveNew(loaded);
    if (result == kOk) std::fprintf(stderr, "sea: created %s (UTF-16LE)\n", Quoted(loaded.path).c_str());
    return result;
}

int Delete(const Arguments& args) {
    if (args.positional.size() != 2) return Fail(kFailure, "delete: usage is 'sea delete FILE NAME'");
    const CString& path = args.positional[0];
    LoadedSea loaded;
    std::string error;
    if (!LoadForChange(path, Section(args), loaded, error)) return Fail(kFailure, error);
    if (loaded.sea.Delete(args.positional[1]) == 0) {
        std::fprintf(stderr, "sea: %s has no entry %s\n", Quoted(path).c_str(), Quoted(args.positional[1]).c_str());
        return kProblems;
    }
    return Save(loaded);
}

int AddLine(const Arguments& args) {
    if (args.positional.size() != 3) return Fail(kFailure, "add-line: usage is 'sea add-line FILE LIST TEXT'");
    const CString& list = args.positional[1];
    const CString& text = args.positional[2];
    std::string problem = NameProblem(list);
    if (problem.empty()) problem = ListLineProblem(text);
    if (!problem.empty()) return Fail(kFailure, "add-line: " + problem + "; the file was not changed");
    LoadedSea loaded;
    std::string error;
    if (!LoadForChange(args.positional[0], Section(args), loaded, error)) return Fail(kFailure, error);
    try {
        // List lines are written indented, as the sea writer itself does.
        if (!loaded.sea.AddListLine(list, CString(L"\t") + text))
            return Fail(kFailure, "add-line: " + Quoted(list) + " is not a list");
    } catch (const CResourceSeaException& e) {
        return Fail(kFailure, "add-line: " + Utf8(e.m_message.Str()) + "; the file was not changed");
    }
    return Save(loaded);
}

// Reads every line of a file as text, whatever its encoding. Lines longer
// than the buffer, and bytes that do not decode, are an error rather than
// silently cut or replaced. `withoutMark` (when not 0) is the encoding of a
// file without byte-order mark, code page 1252 otherwise; a file whose mark
// names another encoding is then refused. `ends` (when given) gets how each
// line ended.
bool ReadLines(const CString& path, std::vector<std::wstring>& lines, std::string& error, unsigned withoutMark = 0,
               std::vector<CUnicodeFile::LineEnd>* ends = nullptr) {
    CUnicodeFile file;
    if (!file.Open(path, CUnicodeFile::modeRead)) {
        error = "cannot read " + Quoted(path) + ": " + Utf8(FileIO::GetLastErrorMessage(FileIO::GetLastError()).Str());
        return false;
    }
    if (file.ReadBOM() != 0 && withoutMark != 0 && file.m_codePage != withoutMark) {
        error = Quoted(path) + " has the byte-order mark of another encoding; --from is for files without one";
        return false;
    }
    if (withoutMark != 0) file.m_codePage = withoutMark;
    constexpr unsigned kCapacity = 1u << 20;
    std::vector<wchar_t> buffer(kCapacity);
    while (file.ReadNextLine(buffer.data(), kCapacity)) {
        const std::string where = Utf8(path.Str()) + ":" + std::to_string(lines.size() + 1);
        if (file.m_lineTooLong) {
            error = where + ": the line is longer than " + std::to_string(kCapacity - 1) + " characters";
            return false;
        }
        if (!file.LastLine().exact) {
            error = where + ": holds bytes that do not decode in the file's encoding";
            return false;
        }
        lines.emplace_back(buffer.data());
        if (ends != nullptr) ends->push_back(file.LastLine().end);
    }
    return true;
}

int Cat(const Arguments& args) {
    if (args.positional.size() != 1) return Fail(kFailure, "cat: usage is 'sea cat FILE [--section NAME]'");
    const CString& path = args.positional[0];
    std::vector<std::wstring> lines;
    std::string error;
    if (!ReadLines(path, lines, error)) return Fail(kFailure, error);
    std::size_t begin = 0, end = lines.size();
    if (const CString* section = Section(args)) {
        const auto marker = std::find(lines.begin(), lines.end(), kSectionMarker + section->Str());
        if (marker == lines.end()) return Fail(kFailure, Quoted(path) + " has no section " + Quoted(*section));
        begin = static_cast<std::size_t>(marker - lines.begin()) + 1;
        for (end = begin; end < lines.size() && lines[end].rfind(kSectionMarker, 0) != 0;) ++end;
    }
    std::wstring out;
    for (std::size_t i = begin; i < end; ++i) out += lines[i] + L"\n";
    Print(out);
    return kOk;
}

int Convert(const Arguments& args) {
    const CString* to = args.Option("--to");
    if (args.positional.size() != 1 || to == nullptr)
        return Fail(kFailure,
                    "convert: usage is 'sea convert FILE --to utf16|utf8|cp1252 [--from utf8] [-o OUT] [--lossy]'");
    const CString* from = args.Option("--from");
    if (from != nullptr && *from != L"utf8") return Fail(kFailure, "convert: --from takes utf8");
    unsigned target = 0;
    if (*to == L"utf16") target = 1200;
    else if (*to == L"utf8") target = 65001;
    else if (*to == L"cp1252") target = 1252;
    else return Fail(kFailure, "convert: --to takes utf16, utf8 or cp1252");
    const CString& path = args.positional[0];
    const CString outPath = args.Option("-o") ? *args.Option("-o") : path;

    std::vector<std::wstring> lines;
    std::vector<CUnicodeFile::LineEnd> ends;  // kept: a new encoding is no reason for new line ends
    std::string error;
    if (!ReadLines(path, lines, error, from != nullptr ? 65001 : 0, &ends))
        return Fail(kFailure, error + "; nothing was written");
    if (target == 1252 && !args.Flag("--lossy")) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            bool lossless = true;
            kelvaro::cp1252::Encode(lines[i], &lossless);
            if (!lossless)
                return Fail(kFailure, Utf8(path.Str()) + ":" + std::to_string(i + 1) +
                                          ": holds characters that code page 1252 cannot hold; "
                                          "nothing was written (use --lossy to write them as '?')");
        }
    }
    const auto why = [] { return Utf8(FileIO::GetLastErrorMessage(FileIO::GetLastError()).Str()); };
    CUnicodeFile file;
    file.m_codePage = target;
    if (!file.Open(outPath, CUnicodeFile::modeCreate | CUnicodeFile::modeWrite))
        return Fail(kFailure, "cannot write " + Quoted(outPath) + ": " + why());
    bool written = file.WriteBOM();
    for (std::size_t i = 0; i < lines.size(); ++i) written = file.WriteLine(lines[i].c_str(), ends[i]) && written;
    if (!written || !file.Close()) {
        const std::string reason = why();
        file.Abandon();
        return Fail(kFailure, "cannot write " + Quoted(outPath) + ": " + reason + "; it was left as it was");
    }
    return kOk;
}

int Merge(const Arguments& args) {
    if (args.positional.size() != 2)
        return Fail(kFailure, "merge: usage is 'sea merge TARGET SOURCE [--keep-existing]'");
    const CString& source = args.positional[1];
    LoadedSea loaded;
    std::string error;
    if (!LoadForChange(args.positional[0], Section(args), loaded, error)) return Fail(kFailure, error);
    // The sea reads the same section of SOURCE that it holds of TARGET.
    LoadedSea check;
    if (!Load(source, Section(args), true, check, error)) return Fail(kFailure, error);
    if (!check.problems.empty()) {
        PrintProblems(source, check.problems);
        return Fail(kFailure, Quoted(source) + " has problems; nothing was merged");
    }
    {
        Quiet quiet;
        if (!loaded.sea.MergeFile(source, !args.Flag("--keep-existing")))
            return Fail(kFailure, "cannot read " + Quoted(source));
    }
    return Save(loaded);
}

#if KELVARO_SEA_HAVE_SQLITE || KELVARO_SEA_HAVE_POSTGRES
CString TableName(const Arguments& args) {
    const CString* table = args.Option("--table");
    return table == nullptr ? CString(L"sea") : *table;
}

// The table behind --db: a PostgreSQL database for a postgresql:// or
// postgres:// URI, else an SQLite file. `shown` names it in messages, without
// a password.
struct Database {
    std::unique_ptr<CResSeaTableInterface> table;
    bool open = false;
    CString shown;
    CString (*lastError)(const CResSeaTableInterface&) = nullptr;
    std::string Error() const { return table ? Utf8(lastError(*table).Str()) : std::string(); }
};

bool IsPostgresUri(const CString& db) {
    return db.Str().starts_with(L"postgresql://") || db.Str().starts_with(L"postgres://");
}

bool OpenDatabase(const CString& db, const CString& tableName, Database& out, [[maybe_unused]] std::string& error) {
    if (IsPostgresUri(db)) {
#if KELVARO_SEA_HAVE_POSTGRES
        auto table = std::make_unique<CPostgresSeaTable>(db, tableName);
        out.open = table->IsOpen();
        out.shown = table->Shown();
        out.lastError = [](const CResSeaTableInterface& t) {
            return static_cast<const CPostgresSeaTable&>(t).LastError();
        };
        out.table = std::move(table);
        return true;
#else
        error = "this sea tool was built without PostgreSQL support";
        return false;
#endif
    }
#if KELVARO_SEA_HAVE_SQLITE
    auto table = std::make_unique<CSqliteSeaTable>(db, tableName);
    out.open = table->IsOpen();
    out.shown = db;
    out.lastError = [](const CResSeaTableInterface& t) { return static_cast<const CSqliteSeaTable&>(t).LastError(); };
    out.table = std::move(table);
    return true;
#else
    error = "this sea tool was built without SQLite support; --db takes a postgresql:// URI";
    return false;
#endif
}

#endif

// --db DB|URL or --json: the one place a sea goes to or comes from.
const char* const kExportUsage = "export: usage is 'sea export FILE --db DB|URL [--table T]' or "
                                 "'sea export FILE --json [-o OUT]'";
const char* const kImportUsage = "import: usage is 'sea import FILE --db DB|URL [--table T] [--merge]' or "
                                 "'sea import FILE --json IN [--merge]'";

int ExportJson([[maybe_unused]] const Arguments& args, [[maybe_unused]] const LoadedSea& loaded) {
#if KELVARO_SEA_HAVE_JSON
    // The mapping carries no bad line: what it would export could not come back.
    if (!loaded.problems.empty())
        return Fail(kFailure, Quoted(loaded.path) + " has problems (see 'sea check " + Utf8(loaded.path.Str()) +
                                  "'); nothing was exported");
    std::string text;
    CString why;
    if (!SeaToJson(loaded.sea, text, why)) return Fail(kFailure, "export: " + Utf8(why.Str()) + "; nothing was written");
    if (const CString* out = args.Option("-o")) return WriteFileBytes(*out, text);
    std::fputs(text.c_str(), stdout);
    return kOk;
#else
    return Fail(kFailure, "this sea tool was built without JSON support");
#endif
}

int Export(const Arguments& args) {
    const CString* db = args.Option("--db");
    const bool json = args.Flag("--json");
    if (args.positional.size() != 1 || (db != nullptr) == json || (json && args.Option("--table")) ||
        (!json && args.Option("-o")))
        return Fail(kFailure, kExportUsage);
    LoadedSea loaded;
    std::string error;
    if (!Load(args.positional[0], Section(args), true, loaded, error)) return Fail(kFailure, error);
    if (json) return ExportJson(args, loaded);
#if KELVARO_SEA_HAVE_SQLITE || KELVARO_SEA_HAVE_POSTGRES
    PrintProblems(args.positional[0], loaded.problems);
    Quiet quiet;
    Database database;
    if (!OpenDatabase(*db, TableName(args), database, error)) return Fail(kFailure, error);
    try {
        if (!database.open || !loaded.sea.SaveToTable(database.table.get()))
            return Fail(kFailure, "cannot export to " + Quoted(database.shown) + ": " + database.Error());
    } catch (const CResourceSeaException& e) {
        return Fail(kFailure, "export: " + Utf8(e.m_message.Str()));
    }
    return kOk;
#else
    return Fail(kFailure, "this sea tool was built without SQLite or PostgreSQL support");
#endif
}

// Fills `loaded` from the JSON document `in`: replaces its content, or
// merges the document's entries into it. The document is checked whole
// before the sea is touched.
bool ImportJson([[maybe_unused]] const CString& in, [[maybe_unused]] bool merge, [[maybe_unused]] LoadedSea& loaded,
                std::string& error) {
#if KELVARO_SEA_HAVE_JSON
    std::string text;
    if (!ReadFileBytes(in, text, error)) return false;
    CResourceSea imported;
    CString why;
    if (!SeaFromJson(text, imported, why)) {
        error = Utf8(in.Str()) + ": " + Utf8(why.Str());
        return false;
    }
    if (merge) {
        loaded.sea.MergeContent(&imported);
    } else {
        // Read again into the sea itself, so that its comments come along.
        loaded.sea.PurgeDataBase();
        SeaFromJson(text, loaded.sea, why);
    }
    return true;
#else
    error = "this sea tool was built without JSON support";
    return false;
#endif
}

bool ImportTable([[maybe_unused]] const Arguments& args, [[maybe_unused]] LoadedSea& loaded, std::string& error) {
#if KELVARO_SEA_HAVE_SQLITE || KELVARO_SEA_HAVE_POSTGRES
    Database database;
    if (!OpenDatabase(*args.Option("--db"), TableName(args), database, error)) return false;
    const CString& shown = database.shown;
    if (!database.open) {
        error = "cannot open " + Quoted(shown) + ": " + database.Error();
        return false;
    }
    Quiet quiet;
    const bool merge = args.Flag("--merge");
    CResourceSea imported;
    CResourceSea& reader = merge ? imported : loaded.sea;
    const bool read = reader.ReadFromTable(database.table.get(), merge);
    if (read && merge) loaded.sea.MergeContent(&imported);
    PrintProblems(shown, ToProblems(reader.Problems()));
    if (!read) {
        const std::string reason = database.Error();
        error = "cannot import from " + Quoted(shown) + (reason.empty() ? "" : ": " + reason);
    }
    return read;
#else
    error = "this sea tool was built without SQLite or PostgreSQL support";
    return false;
#endif
}

int Import(const Arguments& args) {
    const CString* db = args.Option("--db");
    const CString* json = args.Option("--json");
    if (args.positional.size() != 1 || (db == nullptr) == (json == nullptr) || (json && args.Option("--table")))
        return Fail(kFailure, kImportUsage);
    const CString& path = args.positional[0];
    LoadedSea loaded;
    std::string error;
    bool created = false;
    // A new file is written only once the whole source has been read; a
    // section only goes into a file that has it.
    if (!LoadForChange(path, Section(args), loaded, error, &created)) return Fail(kFailure, error);
    try {
        if (!(json ? ImportJson(*json, args.Flag("--merge"), loaded, error) : ImportTable(args, loaded, error)))
            return Fail(kFailure, error + "; the file was not changed");
    } catch (const CResourceSeaException& e) {
        return Fail(kFailure, "import: " + Utf8(e.m_message.Str()) + "; the file was not changed");
    }
    return created ? SaveNew(loaded) : Save(loaded);
}

// ---- diff ----------------------------------------------------------------------

// The names of the sections of a file, in their order ("" first: the head).
std::vector<std::wstring> SectionsOf(const CString& path) {
    std::vector<std::wstring> names{L""};
    for (std::wstring& name : CResourceSea::FileSections(path.GetString())) names.push_back(std::move(name));
    return names;
}

// An entry as diff shows it: its values as the library rebuilds them, a list
// with its lines, so that spacing alone is no difference. Comment lines are
// not entries and do not count.
std::vector<std::wstring> DiffLines(const CResourceEntry& entry) {
    const std::wstring& name = entry.Name().Str();
    if (!entry.IsListEntry()) return {name + L": " + ValuePart(entry)};
    std::vector<std::wstring> lines{name + L": {"};
    for (const std::wstring& text : ListLines(entry)) {
        const CResourceEntry line = ParsedListLine(text);
        if (!line.IsComment()) lines.push_back(L"\t" + ValuePart(line));
    }
    lines.push_back(L"}");
    return lines;
}

// The entries of one part of a file by name, in line order; an absent
// section has none.
bool DiffPart(const CString& path, const std::wstring& section, std::vector<std::pair<std::wstring, std::vector<std::wstring>>>& out,
              std::string& error) {
    const CString name(section);
    if (!section.empty() && !HasSection(path, name)) return true;
    LoadedSea loaded;
    if (!Load(path, section.empty() ? nullptr : &name, true, loaded, error)) return false;
    if (!loaded.problems.empty()) {
        error = Quoted(path) + " has problems (see 'sea check " + Utf8(path.Str()) + "'); it was not compared";
        return false;
    }
    try {
        for (unsigned i = 0; i < loaded.sea.NrLines(); ++i) {
            const CResourceEntry& entry = *loaded.sea.LineAt(i);
            if (!entry.IsComment() && !entry.Name().IsEmpty()) out.emplace_back(entry.Name().Str(), DiffLines(entry));
        }
    } catch (const CResourceSeaException& e) {
        error = Quoted(path) + ": " + Utf8(e.m_message.Str());
        return false;
    }
    return true;
}

int Diff(const Arguments& args) {
    if (args.positional.size() != 2) return Fail(kFailure, "diff: usage is 'sea diff A B [--section NAME]'");
    const CString& a = args.positional[0];
    const CString& b = args.positional[1];
    for (const CString& path : {a, b})
        if (!FileIO::FileExists(path)) return Fail(kFailure, "cannot read " + Quoted(path) + ": no such file");
    std::vector<std::wstring> sections;
    if (const CString* section = Section(args)) {
        if (!HasSection(a, *section) && !HasSection(b, *section))
            return Fail(kFailure, "neither file has a section " + Quoted(*section));
        sections.push_back(section->Str());
    } else {
        sections = SectionsOf(a);
        for (const std::wstring& name : SectionsOf(b))
            if (std::find(sections.begin(), sections.end(), name) == sections.end()) sections.push_back(name);
    }
    // The whole difference is made before any of it is printed: trouble
    // half-way gives exit 2 and no partial answer.
    std::wstring out;
    for (const std::wstring& section : sections) {
        using Part = std::vector<std::pair<std::wstring, std::vector<std::wstring>>>;
        Part left, right;
        std::string error;
        if (!DiffPart(a, section, left, error) || !DiffPart(b, section, right, error)) return Fail(kFailure, error);
        const auto find = [](const Part& part, const std::wstring& name) {
            return std::find_if(part.begin(), part.end(), [&](const auto& item) { return item.first == name; });
        };
        std::wstring part;
        const auto emit = [&part](wchar_t sign, const std::vector<std::wstring>& lines) {
            for (const std::wstring& line : lines) part += sign + line + L"\n";
        };
        for (const auto& [name, lines] : left) {
            const auto other = find(right, name);
            if (other == right.end()) emit(L'-', lines);
            else if (other->second != lines) emit(L'-', lines), emit(L'+', other->second);
        }
        for (const auto& [name, lines] : right)
            if (find(left, name) == left.end()) emit(L'+', lines);
        if (!part.empty() && !section.empty()) part = L"@@ " + kSectionMarker + section + L" @@\n" + part;
        out += part;
    }
    if (out.empty()) return kOk;
    Print(L"--- " + a.Str() + L"\n+++ " + b.Str() + L"\n" + out);
    return kProblems;
}

// ---- help ------------------------------------------------------------------------

struct Command {
    const char* name;
    int (*run)(const Arguments&);
    const char* options;  // the options it takes, each between blanks
    const char* usage;
    const char* help;
};

const Command kCommands[] = {
    {"check", Check, " --section ", "sea check FILE... [--section NAME]",
     "Reads each sea and prints every problem as FILE:LINE: message (syntax errors,\n"
     "duplicates, over-long lines, unterminated lists), then runs the self-test of\n"
     "every line, and ends with a count: '3 files, no problems'. A file without a\n"
     "byte-order mark that looks like UTF-8 is a problem too: it is read as code\n"
     "page 1252. Exit status: 0 clean, 1 problems found, 2 a file (or its\n"
     "section) could not be read."},
    {"list", List, " --section --json ", "sea list FILE [--json] [--section NAME]",
     "Prints the named entries in line order: name, kind (value or list) and the\n"
     "value part (for a list, its number of lines), separated by tabs. --json\n"
     "prints an array of {name, kind, values|lines} objects; a list's lines are\n"
     "arrays of their values, or {\"comment\": text}. An entry that cannot\n"
     "be shown is reported as FILE:LINE on standard error and left out; every\n"
     "other entry is listed, and the exit status is 1."},
    {"get", Get, " --section --index --type ", "sea get FILE NAME [--index N] [--type TYPE] [--section NAME]",
     "Prints value N of entry NAME (also 'sea get FILE NAME N'), or its whole value\n"
     "part (a list prints its lines, one per line). --type reads value N (0 when\n"
     "not given) as the library's typed readers do: int, bool (true or false),\n"
     "float, hex (printed in decimal), color (three values from N, printed\n"
     "#rrggbb) or path (made absolute from the sea's folder). Exit status 1 when\n"
     "NAME or the value is missing, cannot be shown, or is not of that type."},
    {"set", Set, " --section --index ", "sea set FILE NAME VALUE... | sea set FILE NAME VALUE --index N",
     "Makes the VALUEs the values of entry NAME (created at the end when missing),\n"
     "or sets value N only (N up to the number of values: one more appends). Exit\n"
     "status 1 when value N is missing beyond that. A missing FILE is created\n"
     "(UTF-16LE, as a new sea is), saying so on standard error; a missing section\n"
     "is not. Each VALUE stays one value, blanks and quotes\n"
     "included; a line end in it is kept as its stand-in (line feed '\u00B6',\n"
     "carriage return '\u00AC'). Refused: a NAME that is empty, holds ':' or a\n"
     "line end, starts with ';', '}', '::::: ', a blank or a tab, or otherwise\n"
     "would not read back as itself; a VALUE that would not read back as given\n"
     "(one holding '\u00A7', which a sea reads as '\"'). Every other line keeps\n"
     "its text; on any error the file is not changed."},
    {"delete", Delete, " --section ", "sea delete FILE NAME [--section NAME]",
     "Removes entry NAME (a list with its lines). Exit status 1 when it is missing."},
    {"add-line", AddLine, " --section ", "sea add-line FILE LIST TEXT [--section NAME]",
     "Appends TEXT as a line of list LIST (created when missing; LIST follows the\n"
     "rules of a NAME of 'sea set'). Refused: a TEXT with a line end, whose first\n"
     "character other than white space is '}' (it would close the list), or that\n"
     "otherwise would not read back as that one list line."},
    {"cat", Cat, " --section ", "sea cat FILE [--section NAME]",
     "Prints the file (or the lines of section NAME) as UTF-8 text, whatever its\n"
     "encoding."},
    {"convert", Convert, " --to --from -o --lossy ",
     "sea convert FILE --to utf16|utf8|cp1252 [--from utf8] [-o OUT] [--lossy]",
     "Re-encodes FILE (in place, or into OUT) as UTF-16LE or UTF-8, each with its\n"
     "byte-order mark, or as code page 1252. A file without a byte-order mark is\n"
     "read as code page 1252, or with --from utf8 as UTF-8 (what 'sea check'\n"
     "warns of). Characters that code page 1252 cannot\n"
     "hold make the conversion fail unless --lossy is given (they are then written\n"
     "as '?'). A file has one encoding for all its sections: --section is refused."},
    {"merge", Merge, " --section --keep-existing ", "sea merge TARGET SOURCE [--keep-existing] [--section NAME]",
     "Merges the entries of SOURCE into TARGET: values of SOURCE win, missing\n"
     "entries are added at the end. --keep-existing only adds missing entries.\n"
     "With --section, section NAME of SOURCE goes into section NAME of TARGET."},
    {"diff", Diff, " --section ", "sea diff A B [--section NAME]",
     "Compares the entries of two seas by name in each section: an entry only in A\n"
     "is printed '-', one only in B '+', a changed one '-' then '+' (values as\n"
     "rebuilt, so spacing and comments are no difference), under '--- A', '+++ B'\n"
     "and '@@ ::::: NAME @@' for a section. Exit status: 0 the same, 1 different,\n"
     "2 trouble (a file missing or with problems)."},
    {"export", Export, " --section --db --table --json -o ",
     "sea export FILE --db DB|URL [--table T] | sea export FILE --json [-o OUT]",
     "Writes the sea into table T (default 'sea') of the SQLite database file DB,\n"
     "or of the PostgreSQL database a postgresql:// URL names (a Unix-socket\n"
     "host too: postgresql:///DBNAME?host=/run/postgresql), replacing the\n"
     "table's rows in one transaction. --json prints the sea as JSON (into OUT,\n"
     "whole or not at all, with -o): {\"entries\": [...]}, each entry\n"
     "{\"name\", \"values\": [strings]}, {\"name\", \"lines\": [[strings] or\n"
     "{\"comment\"}]} or {\"comment\": text}. A file with problems is not exported."},
    {"import", Import, " --section --db --table --merge --json ",
     "sea import FILE --db DB|URL [--table T] [--merge] | sea import FILE --json IN [--merge]",
     "Reads table T of DB (or URL), or the JSON document IN (as export writes it),\n"
     "into FILE: replaces its content, or with --merge merges the entries into it.\n"
     "A missing FILE is created. A document is refused whole when it does not\n"
     "follow the mapping or holds what would not read back as given. A section is\n"
     "only imported into a file that has it."},
};

void PrintUsage(std::FILE* out) {
    std::fputs("usage: sea COMMAND [ARGS]   (sea help COMMAND for details)\n\n"
               "Checks, inspects and edits sea files.\n\ncommands:\n", out);
    for (const Command& command : kCommands) std::fprintf(out, "  %s\n", command.usage);
    std::fputs("\n--section NAME: every command but convert works inside the section NAME of a\n"
               "shared file (the lines after '::::: NAME'); a change replaces only that\n"
               "section. A section that is missing is an error: none is created.\n"
               "set and add-line refuse names and texts that would not read back as given\n"
               "(see 'sea set --help'). An option a command does not take is refused.\n"
               "Exit status: 0 done, 1 problems found, missing or not shown (see each\n"
               "command), 2 the command could not run; the file is then left as it was.\n"
               "\noptions: --help, --version; sea help COMMAND shows the help of COMMAND\n", out);
}

// Refuses an option the command does not take, and a section name no file can hold.
bool CheckOptions(const Command& command, const Arguments& args, std::string& error) {
    std::vector<std::string> given;
    for (const auto& option : args.options) given.push_back(option.first);
    for (const auto& flag : args.flags) given.push_back(flag.first);
    for (const std::string& name : given)
        if (std::strstr(command.options, (" " + name + " ").c_str()) == nullptr) {
            error = "option " + name + " is not taken by '" + command.name + "'";
            return false;
        }
    const CString* section = Section(args);
    if (section != nullptr && (section->IsEmpty() || section->FindOneOf(L"\r\n") >= 0)) {
        error = "--section needs a name that is not empty and holds no line end";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kFailure;
    }
    const std::string commandName = argv[1];
    if (commandName == "help" && argc == 3) {
        for (const Command& command : kCommands)
            if (command.name == std::string_view(argv[2])) {
                std::printf("usage: %s\n\n%s\n", command.usage, command.help);
                return kOk;
            }
        return Fail(kFailure, "help: unknown command '" + std::string(argv[2]) + "' (see 'sea --help')");
    }
    if (commandName == "--help" || commandName == "-h" || (commandName == "help" && argc == 2)) {
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
        std::optional<Arguments> args = Parse(argc, argv, 2, commandName, error);
        if (args && !args->help && !CheckOptions(command, *args, error)) args.reset();
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
