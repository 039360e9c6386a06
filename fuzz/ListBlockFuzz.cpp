// Fuzzes reading the lines of a list from a file (the block after a list head
// up to its "}" line), then writing the list back and reading that again.
#include <string>

#include "FuzzSupport.h"
#include "kelvaro/entry/ResValueReservoir.h"
#include "kelvaro/entry/ResourceEntry.h"

namespace {

class ListEntry : public CResourceEntry {
public:
    using CResourceEntry::CResourceEntry;
    using CResourceEntry::AddListLine;
    using CResourceEntry::ReadListLines;
    using CResourceEntry::WriteToSeaFile;
};

// Lines in the file; every line end counts, and a last line without one too.
std::size_t PhysicalLines(const std::string& path) {
    CUnicodeFile file;
    if (!file.Open(fuzzsupport::Wide(path), 0))
        return 0;
    file.ReadBOM();
    std::wstring buffer(9000, L'\0');
    std::size_t n = 0;
    while (file.ReadNextLine(buffer.data(), static_cast<unsigned>(buffer.size())))
        ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 100000)
        return 0;
    const bool append = (data[0] & 1) != 0;
    const std::string in = fuzzsupport::ScratchPath("list-in");
    const std::string out = fuzzsupport::ScratchPath("list-out");
    fuzzsupport::WriteBytes(in, data + 1, size - 1);
    fuzzsupport::CountReports quiet;
    static CResValueReservoir reservoir(64);

    ListEntry list(&reservoir, CResourceEntry::StatusListEntry, L"list");
    if (append)
        list.AddListLine(L"first line", 14);
    CUnicodeFile file;
    if (!file.Open(fuzzsupport::Wide(in), 0))
        fuzzsupport::Fail("the scratch file does not open");
    file.ReadBOM();
    int consumed = -1;
    bool complete = true;
    try {
        const int returned = list.ReadListLines(file, append, &consumed);
        if (returned != consumed)
            fuzzsupport::Fail("returned and reported line counts differ");
    } catch (const CResourceSeaException&) {
        complete = false;
    }
    file.Close();
    if (consumed < 0 || static_cast<std::size_t>(consumed) > PhysicalLines(in))
        fuzzsupport::Fail("more lines consumed than the file has");
    if (!complete)
        return 0;

    // Written as head, lines and closing line, the list reads back equal.
    CUnicodeFile writer;
    writer.m_codePage = 1200;
    if (!writer.Open(fuzzsupport::Wide(out), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite))
        fuzzsupport::Fail("cannot open the scratch file for writing");
    writer.WriteBOM();
    try {
        if (!list.WriteToSeaFile(writer))
            fuzzsupport::Fail("the list was not written");
    } catch (const CResourceSeaException&) {
        writer.Abandon();
        return 0;  // a line over the rebuild limit
    }
    if (!writer.Close())
        fuzzsupport::Fail("cannot commit the scratch file");
    CUnicodeFile reader;
    if (!reader.Open(fuzzsupport::Wide(out), 0))
        fuzzsupport::Fail("the written file does not open");
    reader.ReadBOM();
    std::wstring head(9000, L'\0');
    if (!reader.ReadNextLine(head.data(), static_cast<unsigned>(head.size())))
        fuzzsupport::Fail("the written list has no head line");
    ListEntry back(&reservoir, CResourceEntry::StatusListEntry, L"list");
    try {
        back.ReadListLines(reader, false);
    } catch (const CResourceSeaException&) {
        fuzzsupport::Fail("a written list does not read back");
    }
    if (back != list)
        fuzzsupport::Fail("a written list reads back different");
    return 0;
}
