// Fuzzes the byte decoders: CUnicodeFile reading a file line by line after its
// byte-order mark, checked against the stand-alone decoders, and the
// stand-alone decoders' own round trips.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "kelvaro/platform/CodePage.h"
#include "kelvaro/platform/Utf.h"

namespace {

// The lines a file of this code page holds after its mark, as the reader must give them.
std::vector<std::wstring> ExpectedLines(unsigned codePage, std::string_view body) {
    std::wstring text;
    switch (codePage) {
    case 1200: text = kelvaro::utf16::DecodeLE(body); break;
    case 1201: text = kelvaro::utf16::DecodeBE(body); break;
    case 65001: text = kelvaro::utf8::Decode(body); break;
    default: text = kelvaro::cp1252::Decode(body); break;
    }
    for (wchar_t& c : text)
        if (c == 0)
            c = kelvaro::kReplacementChar;
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 200000)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // 1252 maps every byte, so it encodes back unchanged.
    bool lossless = false;
    if (kelvaro::cp1252::Encode(kelvaro::cp1252::Decode(bytes), &lossless) != bytes || !lossless)
        fuzzsupport::Fail("cp1252 does not round-trip");
    // UTF-16 and UTF-8: decoding then encoding is stable after the first pass.
    const std::string le = kelvaro::utf16::EncodeLE(kelvaro::utf16::DecodeLE(bytes));
    if (kelvaro::utf16::EncodeLE(kelvaro::utf16::DecodeLE(le)) != le)
        fuzzsupport::Fail("UTF-16LE is not stable");
    const std::string be = kelvaro::utf16::EncodeBE(kelvaro::utf16::DecodeBE(bytes));
    if (kelvaro::utf16::EncodeBE(kelvaro::utf16::DecodeBE(be)) != be)
        fuzzsupport::Fail("UTF-16BE is not stable");
    const std::wstring u8 = kelvaro::utf8::Decode(bytes);
    const std::string u8bytes = kelvaro::utf8::Encode(u8);
    if (kelvaro::utf8::Decode(u8bytes) != u8)
        fuzzsupport::Fail("UTF-8 is not stable");
    if (u8.find(kelvaro::kReplacementChar) == std::wstring::npos && u8bytes != bytes)
        fuzzsupport::Fail("valid UTF-8 does not round-trip");

    // The file reader, with a line buffer large enough for every line.
    const std::string path = fuzzsupport::ScratchPath("decode");
    fuzzsupport::WriteBytes(path, data, size);
    CUnicodeFile file;
    if (!file.Open(fuzzsupport::Wide(path), 0))
        fuzzsupport::Fail("the scratch file does not open");
    const int mark = file.ReadBOM();
    const std::vector<std::wstring> expected =
        ExpectedLines(file.m_codePage, bytes.substr(static_cast<std::size_t>(mark)));
    std::vector<wchar_t> buffer(size + 2);
    std::vector<std::wstring> lines;
    while (file.ReadNextLine(buffer.data(), static_cast<unsigned>(buffer.size())))
        lines.emplace_back(buffer.data());
    if (file.m_lineTooLong)
        fuzzsupport::Fail("a line within capacity counted as too long");
    if (lines != expected)
        fuzzsupport::Fail("the file reader and the decoders disagree");

    // A small buffer: lines are cut, never overrun.
    if (size > 0) {
        CUnicodeFile small;
        small.Open(fuzzsupport::Wide(path), 0);
        small.ReadBOM();
        const unsigned capacity = 1 + data[0] % 8;
        std::vector<wchar_t> tight(capacity);
        std::size_t n = 0;
        while (small.ReadNextLine(tight.data(), capacity)) {
            if (n < expected.size() && expected[n].substr(0, capacity - 1) != std::wstring(tight.data()))
                fuzzsupport::Fail("a cut line is not the start of the line");
            ++n;
        }
        if (n != expected.size())
            fuzzsupport::Fail("cutting lines changed the line count");
    }
    return 0;
}
