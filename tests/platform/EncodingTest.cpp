// The encodings: the UTF-16, UTF-8 and code page 1252 codecs, and CUnicodeFile writing each
// byte-exact (the quick path for one-unit characters and the general encoder alike), reading
// damaged, truncated and over-long input, and leaving the old file alone.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "kelvaro/platform/CodePage.h"
#include "kelvaro/platform/Utf.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ReadAllLines, testsupport::ReadBytes, testsupport::ScratchDir, testsupport::WriteBytes;
namespace fs = std::filesystem;
using Lines = std::vector<std::wstring>;
namespace cp = kelvaro::cp1252;

// UTF-16BE from UTF-16LE: each pair of bytes swapped.
std::string Swapped(std::string bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

TEST(Utf, BoundaryCharactersMalformedInputAndEveryScalarValue) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("utf.txt", 4)) {
        SCOPED_TRACE(row.Where());
        if (row.raw[0] == "encode" || row.raw[0] == "unwritable") {
            const std::wstring text(1, static_cast<wchar_t>(row.Number(1)));
            const std::string le = row.Bytes(2);
            EXPECT_EQ(kelvaro::utf16::EncodeLE(text), le);
            EXPECT_EQ(kelvaro::utf16::EncodeBE(text), Swapped(le));
            EXPECT_EQ(kelvaro::utf8::Encode(text), row.Bytes(3));
            if (row.raw[0] == "unwritable") continue;
            EXPECT_EQ(kelvaro::utf16::DecodeLE(le), text);
            EXPECT_EQ(kelvaro::utf16::DecodeBE(Swapped(le)), text);
            EXPECT_EQ(kelvaro::utf8::Decode(row.Bytes(3)), text);
        } else if (row.raw[0] == "utf16") {
            EXPECT_EQ(kelvaro::utf16::DecodeLE(row.Bytes(2)), row.Text(3));
        } else {
            EXPECT_EQ(kelvaro::utf8::Decode(row.Bytes(2)), row.Text(3));
        }
    }

    std::wstring all;
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<wchar_t>(c));
    EXPECT_EQ(kelvaro::utf16::DecodeLE(kelvaro::utf16::EncodeLE(all)), all);
    EXPECT_EQ(kelvaro::utf16::DecodeBE(kelvaro::utf16::EncodeBE(all)), all);
    EXPECT_EQ(kelvaro::utf8::Decode(kelvaro::utf8::Encode(all)), all);
}

TEST(CodePageTest, BytesRoundTripHighBytesFollowTheTableAndUnmappableOnesBecomeQuestionMarks) {
    // Lossless both ways also means that no two bytes decode to the same character.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::wstring text = cp::Decode(all);
    ASSERT_EQ(text.size(), 256u);
    bool lossless = false;
    EXPECT_EQ(cp::Encode(text, &lossless), all);
    EXPECT_TRUE(lossless);
    for (const testsupport::CaseRow& row : testsupport::ReadCases("codepage1252.txt", 2)) {
        SCOPED_TRACE(row.Where());
        const auto byte = static_cast<unsigned char>(row.Number(0));
        const wchar_t wide = static_cast<wchar_t>(row.Number(1));
        EXPECT_EQ(cp::ToWide(byte), wide);
        EXPECT_EQ(text[byte], wide);
        char back = 0;
        EXPECT_TRUE(cp::FromWide(wide, back) && static_cast<unsigned char>(back) == byte);
    }

    for (const testsupport::CaseRow& row : testsupport::ReadCases("platform-1252-unmappable.txt", 4)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        bool lossless = !row.Flag(3);
        EXPECT_EQ(cp::Encode(row.Text(1), &lossless), row.Bytes(2));
        EXPECT_EQ(lossless, row.Flag(3));
    }
    char out = 'k';
    EXPECT_FALSE(cp::FromWide(L'\u0416', out));
    EXPECT_EQ(out, 'k');
}

// The bytes of a file holding `text` in the code page, byte-order mark first.
std::string Encoded(unsigned codePage, const std::wstring& text) {
    if (codePage == 1200) return "\xFF\xFE" + kelvaro::utf16::EncodeLE(text);
    if (codePage == 1201) return "\xFE\xFF" + kelvaro::utf16::EncodeBE(text);
    if (codePage == 65001) return "\xEF\xBB\xBF" + kelvaro::utf8::Encode(text);
    return cp::Encode(text);
}

// Writes lines through CUnicodeFile, byte-order mark first; the result is that of Close().
bool WriteLines(const CString& path, const Lines& lines, unsigned codePage = 1200) {
    CUnicodeFile file;
    file.m_codePage = codePage;
    if (!file.Open(path, 0x1001)) return false;
    EXPECT_TRUE(file.WriteBOM());
    for (const auto& line : lines) EXPECT_TRUE(file.WriteLine(line.c_str()));
    return file.Close();
}

// A text that needs every part of the UTF-16 codec.
Lines RichLines() {
    Lines lines;
    for (const testsupport::CaseRow& row : testsupport::ReadCases("platform2-rich-lines.txt", 2))
        lines.push_back(row.Text(0));
    return lines;
}

TEST(UnicodeFile, EachEncodingIsWrittenByteExactAndReadBackWithEveryLineEnd) {
    const Lines latin = {L"Preis: 5 \u20AC \u201Equotes\u201C", L"undefined \u0081\u008D", L""};
    const Lines rich = RichLines();
    ScratchDir dir;
    for (const unsigned codePage : {1200u, 1201u, 65001u, 1252u}) {
        SCOPED_TRACE(codePage);
        const Lines& lines = codePage == 1252 ? latin : rich;
        std::wstring text;
        for (const auto& line : lines) text += line + L"\r\n";
        ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), lines, codePage));
        EXPECT_EQ(ReadBytes(dir.Path("f.sea")), Encoded(codePage, text));
        const auto read = ReadAllLines(dir.Wide("f.sea"));
        EXPECT_EQ(read.codePage, codePage);
        EXPECT_EQ(read.lines, lines);
    }
    // Characters code page 1252 lacks become question marks.
    ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), {L"a\u0100b\U0001F600c\u20AC"}, 1252));
    EXPECT_EQ(ReadBytes(dir.Path("f.sea")), "a?b?c\x80\r\n");
    // A line is written by a quick path up to the first character of more than one unit or byte,
    // by the general encoder from there: together they give the bytes of Encode.
    for (const unsigned codePage : {1200u, 1201u, 65001u, 1252u})
        for (const wchar_t* text : {L"", L"\u007F\u0080\u00E9", L"a\u20ACb", L"\uD7FF\uE000\uFFFF", L"x\U0001F600y"}) {
            SCOPED_TRACE(testing::Message() << codePage << " " << std::wcslen(text));
            CUnicodeFile file;
            file.m_codePage = codePage;
            ASSERT_TRUE(file.Open(dir.Wide("f.sea"), 0x1001));
            ASSERT_TRUE(file.WriteLine(text, CUnicodeFile::LineEnd::lf) && file.Close());
            EXPECT_EQ(ReadBytes(dir.Path("f.sea")), CUnicodeFile::Encode(std::wstring(text) + L"\n", codePage));
        }

    for (const testsupport::CaseRow& row : testsupport::ReadCases("line-ends.txt", 3)) {
        bool latin = false;  // whether code page 1252 holds the text
        cp::Encode(row.Text(1), &latin);
        for (const unsigned codePage : {1252u, 1200u, 1201u, 65001u}) {
            if (codePage == 1252 && !latin) continue;
            SCOPED_TRACE(row.Where() + " in " + std::to_string(codePage));
            WriteBytes(dir.Path("f.sea"), Encoded(codePage, row.Text(1)));
            EXPECT_EQ(ReadAllLines(dir.Wide("f.sea")).lines, row.List(2));
        }
    }
    // Input that cannot be decoded reads as replacement characters.
    for (const testsupport::CaseRow& row : testsupport::ReadCases("undecodable.txt", 3)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        WriteBytes(dir.Path("f.sea"), row.Bytes(1));
        EXPECT_EQ(ReadAllLines(dir.Wide("f.sea")).lines, row.List(2));
    }
}

TEST(UnicodeFile, OverLongLinesAreCutAndTruncatedFilesReadAsAPrefix) {
    ScratchDir dir;
    for (const testsupport::CaseRow& row : testsupport::ReadCases("platform-long-lines.txt", 4)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        const auto capacity = static_cast<unsigned>(row.Number(2));
        std::wstring longLine;
        for (long long i = 0; i < row.Number(1); ++i)
            longLine.push_back(i % 3 == 0 ? L'\U0001F600' : static_cast<wchar_t>(L'a' + i % 26));
        ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), {L"x", longLine, L"y"}));
        const auto read = ReadAllLines(dir.Wide("f.sea"), capacity);
        const auto cut = [capacity](const std::wstring& line) { return line.substr(0, capacity - 1); };
        EXPECT_EQ(read.lines, (Lines{cut(L"x"), cut(longLine), cut(L"y")}));
        // The flag belongs to one line only.
        EXPECT_EQ(read.tooLong, (std::vector<bool>{capacity < 2, row.Flag(3), capacity < 2}));
    }
    // The CR of the line end is no character of the line, even when the buffer is full.
    WriteBytes(dir.Path("f.sea"), "abc\r\nabcd\r\nab\rc\r\n");
    const auto read = ReadAllLines(dir.Wide("f.sea"), 4);
    EXPECT_EQ(read.lines, (Lines{L"abc", L"abc", L"ab\r"}));
    EXPECT_EQ(read.tooLong, (std::vector<bool>{false, true, true}));

    const std::wstring text = L"a\U0001F600b\r\n\u00E9\r\n\U00010348\r\n";
    for (const unsigned codePage : {1200u, 1201u, 65001u}) {
        const std::string bytes = Encoded(codePage, text);
        for (std::size_t cut = Encoded(codePage, L"").size(); cut <= bytes.size(); ++cut) {
            SCOPED_TRACE(std::to_string(codePage) + " cut at " + std::to_string(cut));
            WriteBytes(dir.Path("f.sea"), bytes.substr(0, cut));
            const auto prefix = ReadAllLines(dir.Wide("f.sea"));
            std::wstring joined;
            for (std::size_t i = 0; i < prefix.lines.size(); ++i) joined += (i ? L"\r\n" : L"") + prefix.lines[i];
            // At most the cut character turns into replacement characters; all before it stays.
            while (!joined.empty() && joined.back() == kelvaro::kReplacementChar) joined.pop_back();
            EXPECT_EQ(text.compare(0, joined.size(), joined), 0);
        }
    }
}

TEST(UnicodeFile, OpenFailures) {
    ScratchDir dir;
    fs::create_directory(dir.Path("folder"));
    WriteBytes(dir.Path("a.sea"), "x");
    for (const testsupport::CaseRow& row : testsupport::ReadCases("platform-open-failures.txt", 4)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        const int error = std::map<std::string, int>{{"ENOENT", ENOENT}, {"EISDIR", EISDIR}}.at(row.raw[3]);
        CUnicodeFile file;
        EXPECT_EQ(file.Open(dir.Wide(row.raw[1]), static_cast<unsigned>(row.Number(2))), 0);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.GetLastError(), error);
        EXPECT_EQ(FileIO::GetLastError(), static_cast<DWORD>(error));
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.sea", "folder"}));

    CUnicodeFile file;
    ASSERT_TRUE(file.Open(dir.Wide("a.sea"), 0));
    EXPECT_EQ(file.Open(dir.Wide("a.sea"), 0), 0) << "an open object is not reopened";
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(CUnicodeFile().Open(nullptr, 0), 0);
}

TEST(UnicodeFile, AbandonedAndRefusedWritersLeaveTheOldFileByteForByte) {
    ScratchDir dir;
    // Creating and appending writers, each abandoned and destroyed unclosed.
    const struct { unsigned flags; bool abandon; } cases[] = {{0x1001, 1}, {0x1001, 0}, {0x2001, 1}, {0x2001, 0}};
    for (const auto& [flags, abandon] : cases) {
        SCOPED_TRACE(std::to_string(flags) + (abandon ? " abandoned" : " destroyed"));
        ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), RichLines()));
        const std::string old = ReadBytes(dir.Path("f.sea"));
        {
            CUnicodeFile file;
            ASSERT_TRUE(file.Open(dir.Wide("f.sea"), flags));
            file.SeekToEnd();
            for (int i = 0; i < 20000; ++i)  // enough to reach the disk before the end
                ASSERT_TRUE(file.WriteLine(L"new line that must never appear"));
            // Until the writer ends, readers see the old file.
            EXPECT_EQ(ReadBytes(dir.Path("f.sea")), old);
            if (abandon) {
                file.Abandon();
                EXPECT_FALSE(file.IsOpen());
            }
        }
        EXPECT_EQ(ReadBytes(dir.Path("f.sea")), old);
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f.sea"}));
    }
    // Refused writes leave it alone as well: a closed or reading file, an unknown code page, and
    // strict writes of what no character is, after characters the quick path has already taken.
    CUnicodeFile closed;
    EXPECT_FALSE(closed.WriteLine(L"x"));
    EXPECT_FALSE(closed.WriteBOM());
    const std::string old = ReadBytes(dir.Path("f.sea"));
    {
        CUnicodeFile reading;
        ASSERT_TRUE(reading.Open(dir.Wide("f.sea"), 0));
        EXPECT_FALSE(reading.WriteLine(L"x"));
        EXPECT_EQ(reading.GetLastError(), EBADF);
        EXPECT_TRUE(reading.Close());
    }
    CUnicodeFile unknownCodePage;
    unknownCodePage.m_codePage = 437;
    ASSERT_TRUE(unknownCodePage.Open(dir.Wide("f.sea"), 0x1001));
    EXPECT_FALSE(unknownCodePage.WriteLine(L"new"));
    EXPECT_FALSE(unknownCodePage.Close());
    const wchar_t none = static_cast<wchar_t>(-1), lone = static_cast<wchar_t>(0xD800);
    for (const auto& [codePage, bad] : {std::pair{1200u, lone}, {1200u, none}, {1252u, L'\u0100'}, {1252u, none}}) {
        SCOPED_TRACE(testing::Message() << codePage << " " << static_cast<long>(bad));
        CUnicodeFile strict;
        strict.m_codePage = codePage;
        strict.m_strictEncoding = true;
        ASSERT_TRUE(strict.Open(dir.Wide("f.sea"), 0x1001));
        EXPECT_FALSE(strict.WriteLine((L"good " + std::wstring(1, bad) + L" tail").c_str()));
        EXPECT_EQ(strict.GetLastError(), EILSEQ);
        strict.Abandon();
    }
    EXPECT_EQ(ReadBytes(dir.Path("f.sea")), old);
}

TEST(UnicodeFile, AppendingWriterAddsAfterTheOldContentAndReadersRewind) {
    ScratchDir dir;
    {
        // A sea created for a missing file opens it for writing, finds it empty and closes it.
        CUnicodeFile file;
        ASSERT_TRUE(file.Open(dir.Wide("new.sea"), 0x1001));
        wchar_t buffer[8];
        EXPECT_FALSE(file.ReadNextLine(buffer, 8));
        EXPECT_TRUE(file.Close());
        EXPECT_EQ(fs::file_size(dir.Path("new.sea")), 0u);
    }
    ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), {L"first"}));
    const std::size_t old = ReadBytes(dir.Path("f.sea")).size();
    CUnicodeFile file;
    ASSERT_TRUE(file.Open(dir.Wide("f.sea"), 0x2001));
    EXPECT_EQ(file.GetLength(), old);
    EXPECT_EQ(file.SeekToEnd(), old);
    ASSERT_TRUE(file.WriteLine(L"::::: Preference") && file.WriteLine(L"second \U0001F600"));
    EXPECT_EQ(file.GetLength(), old + 2 * (16 + 2) + 2 * (9 + 2));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadAllLines(dir.Wide("f.sea")).lines, (Lines{L"first", L"::::: Preference", L"second \U0001F600"}));
    // A reader goes on from where it stands and starts again after a rewind.
    CUnicodeFile reader;
    ASSERT_TRUE(reader.Open(dir.Wide("f.sea"), 0));
    EXPECT_EQ(reader.GetFilePath(), dir.Wide("f.sea"));
    wchar_t buffer[32];
    EXPECT_EQ(reader.ReadBOM(), 2);
    ASSERT_TRUE(reader.ReadNextLine(buffer, 32) && reader.ReadNextLine(buffer, 32));
    EXPECT_STREQ(buffer, L"::::: Preference");
    reader.SeekToBegin();
    EXPECT_EQ(reader.ReadBOM(), 2);
    ASSERT_TRUE(reader.ReadNextLine(buffer, 32));
    EXPECT_STREQ(buffer, L"first");
    EXPECT_EQ(reader.SeekToEnd(), reader.GetLength());
    EXPECT_FALSE(reader.ReadNextLine(buffer, 32));
    EXPECT_STREQ(buffer, L"");
}

} // namespace
