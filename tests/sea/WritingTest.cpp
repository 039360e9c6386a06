// Writing back: when and what a sea writes, sections, encodings, and failed writes that keep the file.
#include "kelvaro/platform/File.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "sea/SeaTestSupport.h"

namespace {

using namespace seatest;

void MakeReadOnly(const std::filesystem::path& path) {
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path.wstring().c_str(), status));
    status.m_attribute |= CFile::readOnly;
    status.m_mtime = 0;
    ASSERT_TRUE(CFile::SetStatus(path.wstring().c_str(), status));
}

// The one report of a failed write-back of `leaf`, category 16 and style 4.
void ExpectWriteBackReport(const CaptureOutput& capture, const ScratchDir& dir, const std::string& leaf,
                           const std::wstring& why) {
    ASSERT_EQ(capture.Reports().size(), 1u);
    const Report& report = capture.Reports()[0];
    EXPECT_EQ(report.text, L"Unable to write back sea file " + dir.Wide(leaf).Str() + L"\n" + why + L"\n");
    EXPECT_TRUE(report.category == 16u && report.style == 4u);
}

TEST(SeaWriting, WhatAndWhenASeaWritesAndChangingItsFile) {
    ScratchDir dir;
    TestSea sea;
    Load(sea, dir, {L"a:   1", L"b:   2"});
    sea.GetEntry(L"b")->SetText(L"two words", 0);
    sea.CreateEntry(L"c", 0)->SetInt(3, 0);
    EXPECT_EQ(Written(sea, dir), (Lines{L"a:   1", L"b:\t\"two words\" ", L"c:\t3 "}));
    EXPECT_TRUE(sea.GetEntry(L"c")->Modified()) << "a write does not reset the Modified bits";
    // The sediment filter leaves out unused lines, in one write only.
    CaptureOutput capture;
    TestSea filtered;
    Load(filtered, dir, {L"; c", L"used: 1", L"unused: 2", L": bad", L"read: 3"}, "s.sea");
    filtered.GetEntry(L"used")->SetInt(5, 0);
    filtered.GetEntry(L"read")->GetInt(0);
    filtered.MitSedimentfilter(true);
    EXPECT_EQ(Written(filtered, dir, "s.sea"), (Lines{L"; c", L"used:\t5 ", L"read: 3"}));
    EXPECT_EQ(Written(filtered, dir, "s.sea"), (Lines{L"; c", L"used:\t5 ", L"unused: 2", L": bad", L"read: 3"}));
    // Nothing to do counts as written: a memory sea, a read-only one.
    WriteBytes(dir.Path("r.sea"), SeaUtf16({L"a: 1"}));
    const std::string before = ReadBytes(dir.Path("r.sea"));
    capture.Clear();
    TestSea memory, readOnly;
    memory.CreateEntry(L"a", 0);
    EXPECT_TRUE(memory.UpdateIfPossible());
    memory.UpdateFile();
    ASSERT_TRUE(readOnly.Create(dir.Wide("r.sea"), true));
    readOnly.GetEntry(L"a")->SetInt(2, 0);
    EXPECT_TRUE(readOnly.UpdateIfPossible());
    readOnly.SaveAs(dir.Wide("other.sea"));
    EXPECT_TRUE(readOnly.Filename() == dir.Wide("other.sea") && readOnly.IsFilebased());
    EXPECT_TRUE(!std::filesystem::exists(dir.Path("other.sea")) && capture.Reports().empty());
    EXPECT_EQ(ReadBytes(dir.Path("r.sea")), before);
    // ChangeFileBase writes back, then reads the new file.
    WriteBytes(dir.Path("two.sea"), SeaUtf16({L"b: 2"}));
    TestSea changing;
    Load(changing, dir, {L"a: 1"}, "one.sea");
    changing.GetEntry(L"a")->SetInt(9, 0);
    EXPECT_TRUE(changing.ChangeFileBase(dir.Wide("two.sea"), true) && changing.Filename() == dir.Wide("two.sea"));
    EXPECT_EQ(LinesOfFile(dir.Path("one.sea")), (Lines{L"a:\t9 "}));
    EXPECT_EQ(changing.Values({{L"a", 0}, {L"b", 0}}), (Lines{L"<missing>", L"2"}));
    // A write-back that fails is reported and the change goes on.
    MakeReadOnly(dir.Path("two.sea"));
    capture.Clear();
    EXPECT_TRUE(changing.ChangeFileBase(changing.Filename(), true)) << "own name as argument";
    ExpectWriteBackReport(capture, dir, "two.sea", L"Permission denied");
    capture.Clear();
    EXPECT_TRUE(!changing.ChangeFileBase(dir.Wide("none.sea"), false) && changing.NrLines() == 0u);
    EXPECT_EQ(capture.Texts(), Lines{L"Could not find sea file: \n" + dir.Wide("none.sea").Str() + L"\n"});
}

// Each case: the file before (none: no file), a sea (read from it unless a section)
// with a change that cannot be written, and why. The file keeps its bytes, no stage is left.
TEST(SeaWriting, FailedWritesSayWhyAndLeaveTheFileWhole) {
    const std::string one = SeaUtf16({L"a: 1"});
    const struct Case {
        const char* what;
        std::optional<std::string> file;
        bool section, readOnly;
        std::function<void(TestSea&)> change;
        std::wstring why;
    } cases[] = {
        {"read-only file", one, false, true, [](TestSea& s) { s.GetEntry(L"a")->SetInt(2, 0); }, L"Permission denied"},
        {"read-only file, a section", one, true, true, [](TestSea& s) { s.CreateEntry(L"a", 0)->SetInt(2, 0); },
         L"Permission denied"},
        {"a line too long to rebuild", SeaUtf16({L"a: 1", L"b: 2", L"c: 3"}), false, false,
         [](TestSea& s) { s.GetEntry(L"b")->SetText(std::wstring(5000, L'v').c_str(), 0), s.MitSedimentfilter(true); },
         L"line 1 cannot be rebuilt: b: maximum resource line lenght (4096) exceeded."},
        {"a section appended to a shared file", one, true, false,
         [](TestSea& s) {
             s.CreateEntry(L"first", 0)->SetInt(1, 0), s.CreateEntry(L"huge", 0)->SetText(std::wstring(4100, L'h').c_str(), 0);
         },
         L"line 4 cannot be rebuilt: huge: maximum resource line lenght (4096) exceeded."},
        // Never written as '?'.
        {"a character code page 1252 cannot hold", std::string("name:\tcaf\xE9\x80 \r\n"), false, false,
         [](TestSea& s) { s.CreateEntry(L"wide", 0)->SetText(L"\u65E5", 0); },
         L"line 2 holds a character that code page 1252 cannot hold"},
        {"a section without its file", std::nullopt, true, false, [](TestSea& s) { s.CreateEntry(L"a", 0); },
         L"the file does not exist; a section is only written into an existing file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        if (c.file) WriteBytes(dir.Path("f.sea"), *c.file);
        TestSea sea;
        if (c.section) sea.Section(L"P");
        else ASSERT_TRUE(sea.Create(dir.Wide("f.sea"), false));
        if (c.readOnly) MakeReadOnly(dir.Path("f.sea"));
        c.change(sea);
        CaptureOutput capture;
        if (c.readOnly && !c.section) {
            CaptureOutput own;
            EXPECT_FALSE(sea.UpdateIfPossible());
            EXPECT_TRUE(own.Reports().empty()) << "UpdateIfPossible itself reports nothing";
        }
        sea.SaveAs(dir.Wide("f.sea"));
        ExpectWriteBackReport(capture, dir, "f.sea", c.why);
        const bool exists = std::filesystem::exists(dir.Path("f.sea"));
        EXPECT_EQ(exists ? std::optional(ReadBytes(dir.Path("f.sea"))) : std::nullopt, c.file);
        EXPECT_LE(dir.Names().size(), 1u) << "no staged file is left behind";
        EXPECT_FALSE(sea.UpdateIfPossible());
    }
    // The sea stays usable: shortened, the value is written; the failed write used up the sediment filter.
    ScratchDir dir;
    CaptureOutput capture;
    TestSea sea;
    Load(sea, dir, {L"a: 1", L"b: 2", L"c: 3"});
    sea.GetEntry(L"b")->SetText(std::wstring(5000, L'v').c_str(), 0);
    sea.MitSedimentfilter(true);
    sea.UpdateFile();
    sea.GetEntry(L"b")->SetText(L"short", 0);
    EXPECT_EQ(Written(sea, dir), (Lines{L"a: 1", L"b:\tshort ", L"c: 3"}));
    EXPECT_EQ(capture.Reports().size(), 1u);
}

// Both encodings are written exactly; a shared file is built section by section.
TEST(SeaWriting, EncodingsAndSharedFiles) {
    const struct {
        const char* what;
        std::optional<std::string> before;
        const wchar_t *section, *name, *value;
        bool unicode;
        std::string after;
    } cases[] = {
        {"code page 1252", std::nullopt, nullptr, L"name", L"caf\u00E9\u20AC", false, std::string("name:\tcaf\xE9\x80 \r\n")},
        {"UTF-16, a surrogate pair", std::nullopt, nullptr, L"k", L"\U0001F600", true,
         std::string("\xFF\xFE" "k\0:\0\t\0\x3D\xD8\x00\xDE \0\r\0\n\0", 18)},
        {"a section into an empty file takes a mark", "", L"P", L"p", L"1", true, SeaUtf16({L"::::: P", L"p:\t1 "})},
        // A 1252 section appended to a UTF-16 file would make the file
        // unreadable: the section takes the encoding of the file it joins.
        {"a 1252 section joining a UTF-16 file", SeaUtf16({L"a:\t1 "}), L"Preference", L"p", L"\u00E9", false,
         SeaUtf16({L"a:\t1 ", L"::::: Preference", L"p:\t\u00E9 "})},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.Path("f.sea"));
        if (c.before) WriteBytes(dir.Path("f.sea"), *c.before);
        CaptureOutput capture;
        TestSea sea;
        if (c.section != nullptr) sea.Section(c.section);
        sea.SaveAsUnicode(c.unicode);
        sea.CreateEntry(c.name, 0)->SetText(c.value, 0);
        sea.SaveAs(dir.Wide("f.sea"));
        EXPECT_TRUE(capture.Reports().empty());
        EXPECT_EQ(ReadBytes(dir.Path("f.sea")), c.after);
    }
    // Into an open file a section goes with its marker.
    TestSea open;
    open.Section(L"S");
    open.CreateEntry(L"a", 0)->SetInt(1, 0);
    CUnicodeFile file;
    ASSERT_TRUE(file.Open(dir.Wide("o.sea"), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite));
    open.UpdateFile(&file);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(LinesOfFile(dir.Path("o.sea")), (Lines{L"::::: S", L"a:\t1 "}));
}

// A save reads the file it writes into a megabyte at a time: a marker line or
// a line end cut by the edge of a piece must still be found, in every encoding.
TEST(SeaWriting, SectionsAreFoundAcrossReadPieces) {
    constexpr std::size_t kPiece = 1u << 20;
    ScratchDir dir;
    for (const unsigned codePage : {1200u, 1201u, 1252u})
        for (const int shift : {-8, -7, -2, -1, 0, 1}) {
            const std::size_t unit = codePage == 1252 ? 1 : 2;
            const std::string bom = codePage == 1200 ? "\xFF\xFE" : codePage == 1201 ? "\xFE\xFF" : "";
            auto encode = [&](const std::wstring& text) { return CUnicodeFile::Encode(text, codePage); };
            // The marker of P starts `shift` units from the edge of the first piece.
            const std::wstring filler = L"a: " + std::wstring((kPiece - bom.size()) / unit + shift - 5, L'x');
            const std::string before = bom + encode(filler + L"\r\n::::: P\r\n");
            const std::string after = encode(L"::::: Q\r\nq: 1\r\n");
            WriteBytes(dir.Path("s.sea"), before + encode(L"p: 1\r\n") + after);
            CaptureOutput quiet;
            TestSea sea;
            sea.Section(L"P");
            ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), false));
            sea.GetEntry(L"p")->SetInt(2, 0);
            EXPECT_TRUE(sea.UpdateIfPossible()) << sea.WriteError().GetString();
            EXPECT_TRUE(ReadBytes(dir.Path("s.sea")) == before + encode(L"p:\t2 \r\n") + after)
                << "code page " << codePage << ", shift " << shift;
        }
}

}  // namespace
