// CUnicodeFile: each encoding written byte-exact and read back, line ends, undecodable and
// truncated input, lines longer than the buffer, and writers that leave the old file alone.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "kelvaro/platform/CodePage.h"
#include "kelvaro/platform/File.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/platform/Utf.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ReadAllLines;
using testsupport::ScratchDir;
namespace fs = std::filesystem;
using Lines = std::vector<std::wstring>;

const wchar_t R = kelvaro::kReplacementChar;

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int v : values)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

// Writes lines through CUnicodeFile; the result is that of Close().
bool WriteLines(const CString& path, const Lines& lines, unsigned codePage = 1200, unsigned flags = 0x1001,
                bool bom = true)
{
    CUnicodeFile file;
    file.m_codePage = codePage;
    if (!file.Open(path, flags))
        return false;
    if (bom) {
        EXPECT_TRUE(file.WriteBOM());
    }
    for (const auto& line : lines)
        EXPECT_TRUE(file.WriteLine(line.c_str()));
    return file.Close();
}

// A text that needs every part of the UTF-16 codec: plain and accented letters, the characters
// that seas use to escape quotes and line ends, and characters outside the BMP.
const Lines kRichLines = {
    L"; Kelvaro test sea",
    L"Name: \"Gr\u00FC\u00DFe aus K\u00F6ln\" \u00A7quoted\u00A7 \u00B6 \u00AC",
    L"Emoji: \U0001F600 \U0001F9ED \U00010348",
    L"Edge: \U00010000 \U0010FFFF \uFFFD \uFEFF",
    L"",
    L"   indented: value",
    L"Han: \u6F22\u5B57 \U00020000",
};

TEST(UnicodeFile, EachEncodingIsWrittenByteExactAndReadBack)
{
    const Lines latin = {L"Preis: 5 \u20AC \u201Equotes\u201C", L"undefined \u0081\u008D", L""};
    std::wstring rich;
    std::wstring latinText;
    for (const auto& line : kRichLines)
        rich += line + L"\r\n";
    for (const auto& line : latin)
        latinText += line + L"\r\n";
    const struct { unsigned codePage; Lines lines; std::string bytes; } cases[] = {
        {1200, kRichLines, Bytes({0xFF, 0xFE}) + kelvaro::utf16::EncodeLE(rich)},
        {1201, kRichLines, Bytes({0xFE, 0xFF}) + kelvaro::utf16::EncodeBE(rich)},
        {65001, kRichLines, Bytes({0xEF, 0xBB, 0xBF}) + kelvaro::utf8::Encode(rich)},
        {1252, latin, kelvaro::cp1252::Encode(latinText)},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), c.lines, c.codePage));
        EXPECT_EQ(testsupport::ReadBytes(dir.Path("f.sea")), c.bytes);
        const auto read = ReadAllLines(dir.Wide("f.sea"));
        EXPECT_EQ(read.codePage, c.codePage);
        EXPECT_EQ(read.lines, c.lines);
    }
    // Characters code page 1252 lacks become question marks.
    ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), {L"a\u0100b\U0001F600c\u20AC"}, 1252));
    EXPECT_EQ(testsupport::ReadBytes(dir.Path("f.sea")), "a?b?c\x80\r\n");
}

TEST(UnicodeFile, LineEndsInEveryEncoding)
{
    const struct { const char* what; std::wstring text; Lines lines; } cases[] = {
        {"LF", L"a\nb\n", {L"a", L"b"}},
        {"last line without end", L"a\r\nb", {L"a", L"b"}},
        {"lone CR stays in the line", L"a\rb\r\nc", {L"a\rb", L"c"}},
        {"CR CR LF", L"a\r\r\nb", {L"a\r", L"b"}},
        {"CR at the end of the file", L"a\r", {L"a\r"}},
        {"LF CR", L"a\n\rb", {L"a", L"\rb"}},
        {"outside the BMP", L"\U0001F600\r\n\U0001F600\r", {L"\U0001F600", L"\U0001F600\r"}},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        bool latin = false;  // whether code page 1252 holds the text
        const std::string narrow = kelvaro::cp1252::Encode(c.text, &latin);
        const std::pair<const char*, std::string> files[] = {
            {"1252", narrow},
            {"UTF-16LE", Bytes({0xFF, 0xFE}) + kelvaro::utf16::EncodeLE(c.text)},
            {"UTF-16BE", Bytes({0xFE, 0xFF}) + kelvaro::utf16::EncodeBE(c.text)},
            {"UTF-8", Bytes({0xEF, 0xBB, 0xBF}) + kelvaro::utf8::Encode(c.text)},
        };
        for (const auto& [encoding, bytes] : files) {
            if (!latin && bytes == narrow)
                continue;  // code page 1252 cannot hold this text
            SCOPED_TRACE(std::string(c.what) + " in " + encoding);
            testsupport::WriteBytes(dir.Path("f.sea"), bytes);
            EXPECT_EQ(ReadAllLines(dir.Wide("f.sea")).lines, c.lines);
        }
    }
}

TEST(UnicodeFile, UndecodableInputReadsAsReplacementCharacters)
{
    ScratchDir dir;
    for (const testsupport::CaseRow& row : testsupport::ReadCases("undecodable.txt", 3)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        testsupport::WriteBytes(dir.Path("f.sea"), row.Bytes(1));
        EXPECT_EQ(ReadAllLines(dir.Wide("f.sea")).lines, row.List(2));
    }
}

TEST(UnicodeFile, LinesLongerThanTheBufferAreCutAndTheirRestSkipped)
{
    // length: characters of the long line
    const struct { const char* what; std::size_t length; unsigned capacity; bool tooLong; } cases[] = {
        {"fits exactly", 8191, 8192, false}, {"one too many", 8192, 8192, true}, {"far over", 100'000, 8192, true},
        {"tiny buffer", 5, 2, true}, {"buffer of one holds only the terminator", 3, 1, true},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring longLine;
        for (std::size_t i = 0; i < c.length; ++i)
            longLine.push_back(i % 3 == 0 ? L'\U0001F600' : static_cast<wchar_t>(L'a' + i % 26));
        ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), {L"x", longLine, L"y"}));
        const auto read = ReadAllLines(dir.Wide("f.sea"), c.capacity);
        ASSERT_EQ(read.lines.size(), 3u);
        EXPECT_EQ(read.lines[0], std::wstring(L"x").substr(0, c.capacity - 1));
        EXPECT_EQ(read.lines[1], longLine.substr(0, c.capacity - 1));
        EXPECT_EQ(read.tooLong[1], c.tooLong);
        EXPECT_EQ(read.tooLong[2], c.capacity < 2) << "the flag belongs to one line only";
        EXPECT_EQ(read.lines[2], std::wstring(L"y").substr(0, c.capacity - 1));
    }
}

TEST(UnicodeFile, AFullBufferBeforeCrLfIsNotTooLong)
{
    // The CR of the line end is no character of the line, even when the buffer is full.
    ScratchDir dir;
    testsupport::WriteBytes(dir.Path("f.sea"), "abc\r\nabcd\r\nab\rc\r\n");
    const auto read = ReadAllLines(dir.Wide("f.sea"), 4);
    EXPECT_EQ(read.lines, (Lines{L"abc", L"abc", L"ab\r"}));
    EXPECT_EQ(read.tooLong, (std::vector<bool>{false, true, true}));
}

TEST(UnicodeFile, TruncatedFilesReadAsAPrefixOfTheirText)
{
    const std::wstring text = L"a\U0001F600b\r\n\u00E9\r\n\U00010348\r\n";
    const struct { const char* what; std::string bom; std::string bytes; } cases[] = {
        {"UTF-16LE", Bytes({0xFF, 0xFE}), Bytes({0xFF, 0xFE}) + kelvaro::utf16::EncodeLE(text)},
        {"UTF-16BE", Bytes({0xFE, 0xFF}), Bytes({0xFE, 0xFF}) + kelvaro::utf16::EncodeBE(text)},
        {"UTF-8", Bytes({0xEF, 0xBB, 0xBF}), Bytes({0xEF, 0xBB, 0xBF}) + kelvaro::utf8::Encode(text)},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        for (std::size_t cut = c.bom.size(); cut <= c.bytes.size(); ++cut) {
            SCOPED_TRACE(std::string(c.what) + " cut at " + std::to_string(cut));
            testsupport::WriteBytes(dir.Path("f.sea"), c.bytes.substr(0, cut));
            const auto read = ReadAllLines(dir.Wide("f.sea"));
            std::wstring joined;
            for (std::size_t i = 0; i < read.lines.size(); ++i)
                joined += (i ? L"\r\n" : L"") + read.lines[i];
            // At most the cut character turns into replacement characters; all before it stays.
            while (!joined.empty() && joined.back() == R)
                joined.pop_back();
            EXPECT_EQ(text.compare(0, joined.size(), joined), 0);
        }
    }
}

TEST(UnicodeFile, ReadingContinuesFromTheCurrentPositionAndRewinds)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), {L"one", L"two"}));
    CUnicodeFile file;
    ASSERT_TRUE(file.Open(dir.Wide("f.sea"), 0));
    EXPECT_EQ(file.GetFilePath(), dir.Wide("f.sea"));
    wchar_t buffer[16];
    EXPECT_EQ(file.ReadBOM(), 2);
    ASSERT_TRUE(file.ReadNextLine(buffer, 16));
    ASSERT_TRUE(file.ReadNextLine(buffer, 16));
    EXPECT_STREQ(buffer, L"two");
    file.SeekToBegin();
    EXPECT_EQ(file.ReadBOM(), 2);
    ASSERT_TRUE(file.ReadNextLine(buffer, 16));
    EXPECT_STREQ(buffer, L"one");
    EXPECT_EQ(file.SeekToEnd(), file.GetLength());
    EXPECT_FALSE(file.ReadNextLine(buffer, 16));
    EXPECT_STREQ(buffer, L"");
}

TEST(UnicodeFile, OpenFailures)
{
    ScratchDir dir;
    fs::create_directory(dir.Path("folder"));
    testsupport::WriteBytes(dir.Path("a.sea"), "x");
    const struct { const char* what; const char* leaf; unsigned flags; int error; } cases[] = {
        {"read missing", "missing.sea", 0, ENOENT},
        {"read a folder", "folder", 0, EISDIR},
        {"write a folder", "folder", 0x1001, EISDIR},
        {"append to a missing file", "missing.sea", 0x2001, ENOENT},
        {"create in a missing folder", "nowhere/a.sea", 0x1001, ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CUnicodeFile file;
        EXPECT_EQ(file.Open(dir.Wide(c.leaf), c.flags), 0);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.GetLastError(), c.error);
        EXPECT_EQ(FileIO::GetLastError(), static_cast<DWORD>(c.error));
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.sea", "folder"}));

    CUnicodeFile file;
    ASSERT_TRUE(file.Open(dir.Wide("a.sea"), 0));
    EXPECT_EQ(file.Open(dir.Wide("a.sea"), 0), 0) << "an open object is not reopened";
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(CUnicodeFile().Open(nullptr, 0), 0);
}

TEST(UnicodeFile, AnAbandonedWriterLeavesTheOldFileByteForByte)
{
    enum class End { abandon, destroy };
    const struct { const char* what; unsigned flags; End end; } cases[] = {
        {"create, Abandon()", 0x1001, End::abandon},
        {"create, destroyed unclosed", 0x1001, End::destroy},
        {"append, Abandon()", 0x2001, End::abandon},
        {"append, destroyed unclosed", 0x2001, End::destroy},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), kRichLines));
        const std::string old = testsupport::ReadBytes(dir.Path("f.sea"));
        {
            CUnicodeFile file;
            ASSERT_TRUE(file.Open(dir.Wide("f.sea"), c.flags));
            file.SeekToEnd();
            for (int i = 0; i < 20000; ++i)  // enough to reach the disk before the end
                ASSERT_TRUE(file.WriteLine(L"new line that must never appear"));
            // Until the writer ends, readers see the old file.
            EXPECT_EQ(testsupport::ReadBytes(dir.Path("f.sea")), old);
            if (c.end == End::abandon) {
                file.Abandon();
                EXPECT_FALSE(file.IsOpen());
            }
        }
        EXPECT_EQ(testsupport::ReadBytes(dir.Path("f.sea")), old);
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f.sea"}));
    }
}

TEST(UnicodeFile, AppendingWriterAddsAfterTheOldContent)
{
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
    const std::string old = testsupport::ReadBytes(dir.Path("f.sea"));
    CUnicodeFile file;
    ASSERT_TRUE(file.Open(dir.Wide("f.sea"), 0x2001));
    EXPECT_EQ(file.GetLength(), old.size());
    EXPECT_EQ(file.SeekToEnd(), old.size());
    ASSERT_TRUE(file.WriteLine(L"::::: Preference"));
    ASSERT_TRUE(file.WriteLine(L"second \U0001F600"));
    EXPECT_EQ(file.GetLength(), old.size() + 2 * (16 + 2) + 2 * (9 + 2));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadAllLines(dir.Wide("f.sea")).lines, (Lines{L"first", L"::::: Preference", L"second \U0001F600"}));
}

TEST(UnicodeFile, RefusedWritesLeaveTheFileAlone)
{
    ScratchDir dir;
    CUnicodeFile closed;
    EXPECT_FALSE(closed.WriteLine(L"x"));
    EXPECT_FALSE(closed.WriteBOM());
    ASSERT_TRUE(WriteLines(dir.Wide("f.sea"), {L"old"}));
    const std::string old = testsupport::ReadBytes(dir.Path("f.sea"));
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
    EXPECT_EQ(testsupport::ReadBytes(dir.Path("f.sea")), old);
}

} // namespace
