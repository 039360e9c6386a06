// Every file of the corpus, changed in one entry through the library and
// through each editing command of the sea tool: every line that does not
// belong to the changed entry keeps its bytes, line end included, and its
// place. Compared as raw lines of the file, never as parsed values.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/sea/ResourceSea.h"
#include "sea/SeaTestSupport.h"
#include "tools/SeaTool.h"

namespace {

namespace fs = std::filesystem;
using seatest::CaptureOutput;
using seatest::ScratchDir;
using seatest::TestSea;

const fs::path kData = testsupport::DataDir();

// The raw lines of a file, each with its line end (the byte-order mark stays
// with the first), and the same lines as UTF-8 text without ends (nullopt
// where the bytes do not decode).
struct RawFile {
    unsigned codePage = 0;
    std::string bom;
    std::vector<std::string> lines;
    std::vector<std::optional<std::string>> text;
};

RawFile Split(const std::string& bytes) {
    RawFile file;
    std::size_t bom = 0;
    if (bytes.rfind("\xFF\xFE", 0) == 0) file.codePage = 1200, bom = 2;
    else if (bytes.rfind("\xFE\xFF", 0) == 0) file.codePage = 1201, bom = 2;
    else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) file.codePage = 65001, bom = 3;
    else file.codePage = 1252;
    const std::size_t unit = file.codePage == 1200 || file.codePage == 1201 ? 2 : 1;
    const std::string lf = file.codePage == 1200 ? std::string("\n\0", 2)
                           : file.codePage == 1201 ? std::string("\0\n", 2) : std::string("\n");
    const std::string cr = file.codePage == 1200 ? std::string("\r\0", 2)
                           : file.codePage == 1201 ? std::string("\0\r", 2) : std::string("\r");
    file.bom = bytes.substr(0, bom);
    std::size_t start = bom;
    for (std::size_t at = bom; at < bytes.size(); at += unit) {
        const bool end = bytes.compare(at, unit, lf) == 0 || at + unit >= bytes.size();
        if (!end) continue;
        std::string line = bytes.substr(start, at + unit - start);
        std::string body = line;
        if (body.size() >= unit && body.compare(body.size() - unit, unit, lf) == 0) body.resize(body.size() - unit);
        if (body.size() >= unit && body.compare(body.size() - unit, unit, cr) == 0) body.resize(body.size() - unit);
        std::string utf8;
        file.text.push_back(CUnicodeFile::Transcode(body, file.codePage, 65001, utf8) ? std::optional(utf8)
                                                                                      : std::nullopt);
        file.lines.push_back(std::move(line));
        start = at + unit;
    }
    return file;
}

// One part of a file: the head, or a section (lines after its marker up to the next).
struct Part {
    std::string section;  // empty for the head
    std::size_t first = 0, end = 0;
};

std::vector<Part> Parts(const RawFile& file) {
    std::vector<Part> parts{{}};
    for (std::size_t i = 0; i < file.text.size(); ++i) {
        if (!file.text[i] || file.text[i]->rfind("::::: ", 0) != 0) continue;
        parts.back().end = i;
        parts.push_back({file.text[i]->substr(6), i + 1, 0});
    }
    parts.back().end = file.text.size();
    return parts;
}

// A plain entry and a list of a part whose names are simple and unique in the
// file, with the line ranges they occupy.
struct Targets {
    std::string entry, list;
    std::size_t entryLine = 0, listFirst = 0, listLast = 0;
};

std::string NameOf(const std::optional<std::string>& text) {
    const std::size_t colon = text ? text->find(':') : std::string::npos;
    if (colon == std::string::npos || !std::isalpha(static_cast<unsigned char>((*text)[0]))) return {};
    const std::string name = text->substr(0, colon);
    const auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    return std::all_of(name.begin(), name.end(), alnum) ? name : std::string();
}

// Names and sections of the corpus are ASCII.
CString Widen(const std::string& text) { return CString(std::wstring(text.begin(), text.end())); }

// `bytes` read as the sea of `part`, as an application would.
void Open(TestSea& sea, const fs::path& path, const Part& part) {
    if (!part.section.empty()) sea.Section(Widen(part.section));
    EXPECT_TRUE(sea.Create(CString(path.wstring()), false));
}

Targets FindTargets(const RawFile& file, const fs::path& path, const Part& part) {
    CaptureOutput quiet;
    TestSea sea;
    Open(sea, path, part);
    Targets found;
    auto unique = [&](const std::string& name) {
        return std::count_if(file.text.begin(), file.text.end(), [&](const auto& t) { return NameOf(t) == name; }) == 1;
    };
    for (std::size_t i = part.first; i < part.end; ++i) {
        const std::string name = NameOf(file.text[i]);
        if (name.empty() || !unique(name)) continue;
        const bool list = file.text[i]->find('{') != std::string::npos;
        const CResourceEntry* entry = sea.GetEntry(Widen(name));
        if (entry == nullptr || entry->IsListEntry() != list) continue;  // e.g. a line the reader did not take
        if (!list && found.entry.empty()) found.entry = name, found.entryLine = i;
        if (list && found.list.empty()) {
            std::size_t last = i + 1;
            while (last < part.end && !(file.text[last] && file.text[last]->find_first_not_of(" \t") != std::string::npos &&
                                        (*file.text[last])[file.text[last]->find_first_not_of(" \t")] == '}'))
                ++last;
            if (last < part.end) found.list = name, found.listFirst = i, found.listLast = last;
        }
    }
    return found;
}

// `after` is `before` with only lines [first, last] replaced, removed or added
// to. A last line without a line end may come back with one when a line
// follows it now.
void ExpectOnlyChanged(const std::string& beforeBytes, const std::string& afterBytes, std::size_t first,
                       std::size_t last) {
    const RawFile before = Split(beforeBytes), after = Split(afterBytes);
    if (!beforeBytes.empty()) {
        EXPECT_EQ(after.bom, before.bom) << "an empty file has no encoding to keep";
    }
    const std::size_t n = before.lines.size(), m = after.lines.size();
    std::size_t head = 0, tail = 0;
    while (head < n && head < m && before.lines[head] == after.lines[head]) ++head;
    while (tail < n - head && tail < m - head && before.lines[n - 1 - tail] == after.lines[m - 1 - tail]) ++tail;
    for (std::size_t i = head; i < n - tail; ++i) {
        if (i >= first && i <= last) continue;
        const bool unended = i + 1 == n && Split(before.lines[i] + "x").lines.size() == 1;
        const bool endedNow = unended && i < m && after.lines[i].rfind(before.lines[i], 0) == 0;
        EXPECT_TRUE(endedNow) << "line " << i + 1 << " changed: " << before.text[i].value_or("(undecodable)").substr(0, 60);
    }
}

// The lines an edit may change: the plain entry's, the list's, or at the end
// of the part (only a last line without its end).
enum class Changes { entry, list, partEnd };

// An edit of "f.sea": through the library, or the tool's arguments with
// {entry}, {list} and {section} standing for the targets and the part.
struct Edit {
    const char* what;
    Changes changes;
};
const Edit kEdits[] = {
    {"library: set a value", Changes::entry},
    {"library: new entry", Changes::partEnd},
    {"set f.sea {entry} changed{section}", Changes::entry},
    {"set f.sea addedByTest 7{section}", Changes::partEnd},
    {"delete f.sea {entry}{section}", Changes::entry},
    {"delete f.sea {list}{section}", Changes::list},
    {"add-line f.sea {list} 'added line'{section}", Changes::list},
    {"merge f.sea src.sea{section}", Changes::entry},
#ifdef KELVARO_HAVE_SQLITE
    {"export src.sea --db t.db{section} && '" KELVARO_SEA_TOOL "' import f.sea --db t.db --merge{section}",
     Changes::entry},
#endif
};

// The lines [first, last] `edit` may change, or nullopt when the part has nothing for it.
std::optional<std::pair<std::size_t, std::size_t>> Lines(const Edit& edit, const Part& part, const Targets& t) {
    if (edit.changes == Changes::partEnd) return std::pair(part.end - 1, part.end - 1);
    if (edit.changes == Changes::entry) return t.entry.empty() ? std::nullopt : std::optional(std::pair(t.entryLine, t.entryLine));
    return t.list.empty() ? std::nullopt : std::optional(std::pair(t.listFirst, t.listLast));
}

// Runs `edit` on "f.sea" in `dir`; false when it was refused.
bool RunEdit(const Edit& edit, const fs::path& dir, const Part& part, const Targets& t) {
    std::string args = edit.what;
    if (args.rfind("library", 0) == 0) {
        CaptureOutput quiet;
        TestSea sea;
        Open(sea, dir / "f.sea", part);
        if (edit.changes == Changes::partEnd) {
            sea.CreateEntry(L"addedByTest", 0)->SetInt(7, 0);
        } else {
            CResourceEntry* entry = sea.GetEntry(Widen(t.entry));
            EXPECT_NE(entry, nullptr) << t.entry;
            if (entry == nullptr) return false;
            entry->SetText(L"changed value", 0);
        }
        return sea.UpdateIfPossible();
    }
    // A one-entry source sea for merge and import, in a section when the part is one.
    const std::string marker = part.section.empty() ? "" : "::::: " + part.section + "\r\n";
    seatest::WriteBytes(dir / "src.sea", marker + t.entry + ": merged\r\n");
    const std::pair<std::string, std::string> fields[] = {
        {"{entry}", t.entry}, {"{list}", t.list}, {"{section}", part.section.empty() ? "" : " --section '" + part.section + "'"}};
    for (const auto& [field, text] : fields)
        for (std::size_t at = args.find(field); at != std::string::npos; at = args.find(field, at + text.size()))
            args.replace(at, field.size(), text);
    return seatool::RunSea(dir, args).status == 0;
}

TEST(EditCorpus, EveryOtherLineKeepsItsBytes) {
    unsigned checked = 0;
    for (const char* folder : {"valid", "invalid"}) {
        for (const auto& item : fs::directory_iterator(kData / folder)) {
            const fs::path source = item.path();
            if (source.extension() != ".sea" || source.stem().extension() == ".out") continue;
            const fs::path out = fs::path(source).replace_extension(".out.sea");
            // The library writes an invalid file as its expected output; the
            // tool refuses to change a file with problems.
            const std::string original = seatest::ReadBytes(source);
            const std::string written = seatest::ReadBytes(fs::exists(out) ? out : source);
            const bool clean = std::string(folder) == "valid";
            for (const Edit& edit : kEdits) {
                const bool library = std::string(edit.what).rfind("library", 0) == 0;
                // What the lines are compared with: what a plain write gives.
                const std::string& base = library ? written : original;
                const RawFile file = Split(base);
                for (const Part& part : Parts(file)) {
                    const Targets targets = FindTargets(file, source, part);
                    const auto lines = Lines(edit, part, targets);
                    if (!lines) continue;
                    SCOPED_TRACE(source.filename().string() + " [" + part.section + "] " + edit.what);
                    ScratchDir dir;
                    seatest::WriteBytes(dir.Path("f.sea"), original);
                    const bool saved = RunEdit(edit, dir.Path(""), part, targets);
                    const std::string after = seatest::ReadBytes(dir.Path("f.sea"));
                    if (!saved) {
                        EXPECT_EQ(after, original) << "a refused change leaves the file as it was";
                        EXPECT_FALSE(clean) << "a clean file takes the change";
                        continue;
                    }
                    ExpectOnlyChanged(base, after, lines->first, lines->second);
                    ++checked;
                }
            }
        }
    }
    EXPECT_GE(checked, 100u);
}

}  // namespace
