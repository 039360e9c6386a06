// Fuzzes the promise of a save: read a file, change one entry, save, and every
// line the change did not touch is still there byte for byte, in its order.
//
// Input: byte 0 picks the change (set, delete, add, rename), byte 1 the entry, byte 2 the
// value; the rest is the file, read as code page 1252 (so a line is whatever
// ends in byte 0x0A, whatever the file's line ends). After the save, the new
// file is the old one with one run of lines replaced: at most one line (the set
// line, or the last line when an added line needs the line end before it) for
// a set or an add, at most one line removed for a delete. A refused save leaves
// the file as it was. Files whose reading reported something (duplicates
// become comments, say) must still save or refuse without damage elsewhere:
// only the lines are not compared then.
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "kelvaro/entry/ResourceEntry.h"

namespace {

std::vector<std::string_view> Lines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::size_t length = end == std::string_view::npos ? bytes.size() : end + 1;
        lines.push_back(bytes.substr(0, length));
        bytes.remove_prefix(length);
    }
    return lines;
}

// How many lines of `before` and `after` the change replaced, after taking off
// the lines both share at the start and at the end.
std::pair<std::size_t, std::size_t> Replaced(std::string_view before, std::string_view after) {
    const auto a = Lines(before);
    const auto b = Lines(after);
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    return {a.size() - head - tail, b.size() - head - tail};
}

// Values that rebuild plainly, need quoting or stand-ins, or that code page 1252
// cannot hold (the save must then refuse).
const wchar_t* const kValues[] = {
    L"1", L"two words", L"", L"a\"quote", L"tab\there", L"line\nfeed", L"\x00e9t\x00e9",
    L"\x4e2d", L";semi", L"}", L"::::: x", L"\x00a7\x00b6\x00ac",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > 100000)
        return 0;
    const unsigned change = data[0] % 4;
    const unsigned pick = data[1];
    const wchar_t* value = kValues[data[2] % (sizeof kValues / sizeof kValues[0])];
    const std::string before(reinterpret_cast<const char*>(data) + 3, size - 3);
    // A byte-order mark would make this another encoding, where 0x0A is no line end.
    if (before.rfind("\xFF\xFE", 0) == 0 || before.rfind("\xFE\xFF", 0) == 0 ||
        before.rfind("\xEF\xBB\xBF", 0) == 0)
        return 0;

    const std::string path = fuzzsupport::ScratchPath("edit.sea");
    fuzzsupport::WriteBytes(path, reinterpret_cast<const std::uint8_t*>(before.data()), before.size());

    bool saved = false;
    unsigned reports = 0;
    {
        fuzzsupport::CountReports counter;
        CResourceSea sea(31);
        if (!sea.Create(fuzzsupport::Wide(path), false))
            return 0;
        reports = counter.Count();

        // The entry to change: one of the named single-line entries, in line order.
        std::vector<CString> names;
        for (unsigned i = 0; i < sea.NrLines(); ++i) {
            const CResourceEntry* line = sea.LineAt(i);
            if (line != nullptr && line->Name().GetLength() > 0 && !line->IsListEntry() &&
                sea.FindEntry(line->Name()) == line)
                names.push_back(line->Name());
        }
        if (change == 2) {
            sea.LookupSetString(L"fuzz added", value);
        } else if (names.empty()) {
            return 0;
        } else if (change == 0) {
            sea.LookupSetString(names[pick % names.size()], value);
        } else if (change == 1) {
            sea.Delete(names[pick % names.size()]);
        } else {
            // A new line through the entry's own assignment, under a name of
            // its own or one another entry holds: the index follows it.
            CResourceEntry* entry = sea.CreateEntry(names[pick % names.size()], 0);  // the one there is
            const CString target = data[2] % 2 ? names[data[2] / 2 % names.size()] : CString(L"fuzz renamed");
            const CResourceEntry* holder = sea.FindEntry(target);
            if (std::wcspbrk(value, L"\r\n") != nullptr) return 0;  // a raw line holds no line end
            const CString line = target + CString(L": ") + CString(value);
            try {
                *entry = line.GetString();
            } catch (const CResourceSeaException&) {
                return 0;  // a value that does not parse bare
            }
            const CResourceEntry* expected = holder != nullptr ? holder : entry;
            if (sea.FindEntry(target) != expected) fuzzsupport::Fail("a renamed entry is not found by its name");
            if (target != names[pick % names.size()] && sea.FindEntry(names[pick % names.size()]) != nullptr)
                fuzzsupport::Fail("a renamed entry still answers to its old name");
        }
        saved = sea.UpdateIfPossible();
        if (!saved && sea.WriteError().IsEmpty())
            fuzzsupport::Fail("a refused save does not say why");
    }

    const std::string after = fuzzsupport::ReadBytes(path);
    if (!saved) {
        if (after != before)
            fuzzsupport::Fail("a refused save changed the file");
        return 0;
    }
    // What was saved reads back.
    {
        fuzzsupport::CountReports counter;
        CResourceSea again(31);
        if (!again.Create(fuzzsupport::Wide(path), true))
            fuzzsupport::Fail("the saved file does not open");
    }
    if (reports != 0)
        return 0;
    const auto [removed, added] = Replaced(before, after);
    const bool fits = change == 0 || change == 3 ? removed <= 1 && added <= 1
                      : change == 1              ? removed <= 1 && added == 0
                                                 : removed <= 1 && added >= 1 && added <= 2;
    if (!fits)
        fuzzsupport::Fail("the save changed lines it was not asked to change");
    return 0;
}
