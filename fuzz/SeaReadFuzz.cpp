// Fuzzes reading a whole sea file in each reading mode (create, merge, merge
// keeping modified values) and writing it back.
//
// Round trip: a file read in create mode must be written back byte for byte
// when all of these hold: it is UTF-16LE with the byte-order mark FF FE; it
// decodes without replacement (even length, surrogates paired, no U+0000);
// every line, the last included, ends with CR LF and no other CR or LF occurs;
// no line is longer than 8191 characters; and the reader reported nothing.
// White space around lines is kept: the writer writes a line as it was read.
// For every mode: what was written reads back (create mode) without reports
// and writes back to the same bytes.
#include <string>

#include "FuzzSupport.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/Utf.h"

namespace {

bool MustRoundTrip(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || data[0] != 0xFF || data[1] != 0xFE || size % 2 != 0)
        return false;
    const std::string body(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::wstring text = kelvaro::utf16::DecodeLE(body);
    if (kelvaro::utf16::EncodeLE(text) != body)
        return false;  // unpaired surrogates
    if (!text.empty() && text.size() < 2)
        return false;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == 0 || c == kelvaro::kReplacementChar)
            return false;
        if (c == L'\r') {
            if (i + 1 >= text.size() || text[i + 1] != L'\n')
                return false;
            const std::wstring_view line(text.data() + lineStart, i - lineStart);
            if (line.size() > 8191)
                return false;
            ++i;
            lineStart = i + 1;
        } else if (c == L'\n') {
            return false;
        }
    }
    return lineStart == text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 100000)
        return 0;
    const int mode = data[0] % 3;  // 0 create, 1 merge, 2 merge keeping modified
    ++data;
    --size;
    const std::string in = fuzzsupport::ScratchPath("sea-in");
    const std::string out = fuzzsupport::ScratchPath("sea-out");
    const std::string out2 = fuzzsupport::ScratchPath("sea-out2");
    fuzzsupport::WriteBytes(in, data, size);

    std::string written;
    unsigned reports = 0;
    {
        fuzzsupport::CountReports counter;
        fuzzsupport::OpenSea sea(31);
        if (mode != 0) {
            // Something to merge into, changed by the program so that
            // "keeping modified" has a value to keep.
            sea.LookupSetString(L"a", L"old");
            sea.LookupSetInt(L"n", 7);
            sea.AddListLine(L"l", L"x y");
        }
        if (!sea.ReadFile(in, mode != 0, mode == 2))
            fuzzsupport::Fail("the scratch file does not open");
        reports = counter.Count();
        try {
            written = sea.WriteBytesOut(out);
        } catch (const CResourceSeaException&) {
            return 0;  // a line that cannot be rebuilt is refused whole
        }
        (void)sea.SelfTest();
    }
    if (mode == 0 && reports == 0 && MustRoundTrip(data, size)) {
        if (written != std::string(reinterpret_cast<const char*>(data), size))
            fuzzsupport::Fail("an unchanged sea is not written back byte for byte");
    }
    // What the writer produced is a sea file of its own: it must be stable.
    fuzzsupport::CountReports counter;
    fuzzsupport::OpenSea again(31);
    if (!again.ReadFile(out, false, false))
        fuzzsupport::Fail("the written file does not open");
    if (counter.Count() != 0)
        return 0;  // e.g. a duplicate name the first reading made a comment of
    std::string rewritten;
    try {
        rewritten = again.WriteBytesOut(out2);
    } catch (const CResourceSeaException&) {
        fuzzsupport::Fail("a written sea cannot be written again");
    }
    if (rewritten != written)
        fuzzsupport::Fail("writing a written sea again changes it");
    return 0;
}
