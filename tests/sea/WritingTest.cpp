// Writing seas back: when a sea writes, what it writes, sections, encodings,
// the sediment filter, and that a failed write leaves the old file whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/platform/File.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/sea/ResourceSea.h"
#include "sea/SeaTestSupport.h"

namespace {

using seatest::CaptureOutput;
using seatest::ScratchDir;
using seatest::SeaUtf16;
using seatest::TestSea;
using Lines = std::vector<std::wstring>;

void MakeReadOnly(const std::filesystem::path& path) {
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(path.wstring().c_str(), status));
    status.m_attribute |= CFile::readOnly;
    status.m_mtime = 0;
    ASSERT_TRUE(CFile::SetStatus(path.wstring().c_str(), status));
}

std::wstring WriteBackFailure(const ScratchDir& dir, const std::string& leaf, const std::wstring& why) {
    return L"Unable to write back sea file " + dir.Wide(leaf).Str() + L"\n" + why + L"\n";
}

void ExpectWriteBackReport(const CaptureOutput& capture, const std::wstring& text) {
    ASSERT_EQ(capture.Reports().size(), 1u);
    EXPECT_EQ(capture.Reports()[0].text, text);
    EXPECT_EQ(capture.Reports()[0].category, 16u);
    EXPECT_EQ(capture.Reports()[0].style, 4u);
}

TEST(SeaWriting, UnchangedSeaIsWrittenAsRead) {
    ScratchDir dir;
    const std::string original = SeaUtf16({L"; comment", L"", L"  a:1   2  ", L"l: {", L"\tx", L"\t;c", L"  }  end",
                                           L"\t", L"b: \"q r\""});
    seatest::WriteBytes(dir.Path("s.sea"), original);
    TestSea sea;
    ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), false));
    EXPECT_TRUE(sea.UpdateIfPossible());
    EXPECT_EQ(seatest::ReadBytes(dir.Path("s.sea")), original);
}

TEST(SeaWriting, ChangedLinesAreRebuiltOthersKept) {
    ScratchDir dir;
    seatest::WriteBytes(dir.Path("s.sea"), SeaUtf16({L"a:   1", L"b:   2"}));
    TestSea sea;
    ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), false));
    sea.GetEntry(L"b")->SetText(L"two words", 0);
    sea.CreateEntry(L"c", 0)->SetInt(3, 0);
    EXPECT_TRUE(sea.UpdateIfPossible());
    EXPECT_EQ(seatest::LinesOfFile(dir.Path("s.sea")), (Lines{L"a:   1", L"b:\t\"two words\" ", L"c:\t3 "}));
    EXPECT_TRUE(sea.GetEntry(L"c")->Modified()) << "a write does not reset the Modified bits";
}

TEST(SeaWriting, NothingToDoCountsAsWritten) {
    ScratchDir dir;
    seatest::WriteBytes(dir.Path("r.sea"), SeaUtf16({L"a: 1"}));
    const std::string before = seatest::ReadBytes(dir.Path("r.sea"));
    CaptureOutput capture;

    TestSea memory;
    memory.CreateEntry(L"a", 0);
    EXPECT_TRUE(memory.UpdateIfPossible());
    memory.UpdateFile();

    TestSea readOnly;
    ASSERT_TRUE(readOnly.Create(dir.Wide("r.sea"), true));
    readOnly.GetEntry(L"a")->SetInt(2, 0);
    EXPECT_TRUE(readOnly.UpdateIfPossible());
    readOnly.SaveAs(dir.Wide("other.sea"));
    EXPECT_EQ(readOnly.Filename(), dir.Wide("other.sea"));
    EXPECT_TRUE(readOnly.IsFilebased());
    EXPECT_FALSE(std::filesystem::exists(dir.Path("other.sea")));

    EXPECT_TRUE(capture.Reports().empty());
    EXPECT_EQ(seatest::ReadBytes(dir.Path("r.sea")), before);
}

TEST(SeaWriting, ReadOnlyFileIsRefusedAndKept) {
    for (bool section : {false, true}) {
        SCOPED_TRACE(section ? "a section" : "the whole file");
        ScratchDir dir;
        seatest::WriteBytes(dir.Path("p.sea"), SeaUtf16({L"a: 1"}));
        TestSea sea;
        sea.SetSeaName(L"S");
        sea.SetFileSection(section);
        if (!section) {
            ASSERT_TRUE(sea.Create(dir.Wide("p.sea"), false));
        }
        MakeReadOnly(dir.Path("p.sea"));
        const std::string before = seatest::ReadBytes(dir.Path("p.sea"));
        sea.CreateEntry(L"a", 0)->SetInt(2, 0);
        CaptureOutput capture;
        if (!section) {
            EXPECT_FALSE(sea.UpdateIfPossible());
            EXPECT_TRUE(capture.Reports().empty()) << "UpdateIfPossible itself reports nothing";
        }
        if (section) {
            sea.SaveAs(dir.Wide("p.sea"));
        } else {
            sea.UpdateFile();
        }
        ExpectWriteBackReport(capture, WriteBackFailure(dir, "p.sea", L"Permission denied"));
        EXPECT_EQ(seatest::ReadBytes(dir.Path("p.sea")), before);
    }
}

TEST(SeaWriting, LineThatCannotBeRebuiltFailsTheWriteAndKeepsTheFile) {
    ScratchDir dir;
    const std::string original = SeaUtf16({L"a: 1", L"b: 2", L"c: 3"});
    seatest::WriteBytes(dir.Path("l.sea"), original);
    TestSea sea;
    ASSERT_TRUE(sea.Create(dir.Wide("l.sea"), false));
    sea.GetEntry(L"b")->SetText(std::wstring(5000, L'v').c_str(), 0);
    sea.MitSedimentfilter(true);
    CaptureOutput capture;
    sea.UpdateFile();
    ExpectWriteBackReport(capture, WriteBackFailure(dir, "l.sea", L"line 1 cannot be rebuilt: b: maximum resource line lenght (4096) exceeded."));
    EXPECT_EQ(seatest::ReadBytes(dir.Path("l.sea")), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()), std::filesystem::directory_iterator()),
              1) << "no staged file is left behind";
    // The sea is still usable: shorten the value and the write succeeds; the
    // failed write used up the sediment filter.
    sea.GetEntry(L"b")->SetText(L"short", 0);
    capture.Clear();
    sea.UpdateFile();
    EXPECT_TRUE(capture.Reports().empty());
    EXPECT_EQ(seatest::LinesOfFile(dir.Path("l.sea")), (Lines{L"a: 1", L"b:\tshort ", L"c: 3"}));
}

TEST(SeaWriting, FailedSectionAppendLeavesTheSharedFileAsItWas) {
    ScratchDir dir;
    const std::string original = SeaUtf16({L"a: 1"});
    seatest::WriteBytes(dir.Path("s.sea"), original);
    TestSea pref;
    pref.SetSeaName(L"P");
    pref.SetFileSection(true);
    pref.CreateEntry(L"first", 0)->SetInt(1, 0);
    pref.CreateEntry(L"huge", 0)->SetText(std::wstring(4100, L'h').c_str(), 0);
    CaptureOutput capture;
    pref.SaveAs(dir.Wide("s.sea"));
    ExpectWriteBackReport(capture, WriteBackFailure(dir, "s.sea", L"line 4 cannot be rebuilt: huge: maximum resource line lenght (4096) exceeded."));
    EXPECT_EQ(seatest::ReadBytes(dir.Path("s.sea")), original) << "no marker, no half section";
}

TEST(SeaWriting, SeaInCodePage1252) {
    ScratchDir dir;
    TestSea sea;
    sea.SaveAsUnicode(false);
    sea.CreateEntry(L"name", 0)->SetText(L"caf\u00E9\u20AC", 0);
    sea.SaveAs(dir.Wide("w.sea"));
    EXPECT_EQ(seatest::ReadBytes(dir.Path("w.sea")), std::string("name:\tcaf\xE9\x80 \r\n"));

    // A character the code page cannot hold is refused, never written as '?'.
    CaptureOutput capture;
    sea.CreateEntry(L"wide", 0)->SetText(L"\u65E5", 0);
    sea.SaveAs(dir.Wide("w.sea"));
    ExpectWriteBackReport(capture, WriteBackFailure(dir, "w.sea", L"line 2 holds a character that code page 1252 cannot hold"));
    EXPECT_EQ(seatest::ReadBytes(dir.Path("w.sea")), std::string("name:\tcaf\xE9\x80 \r\n"));
}

TEST(SeaWriting, SeaInUtf16StartsWithItsByteOrderMark) {
    ScratchDir dir;
    TestSea sea;
    sea.CreateEntry(L"k", 0)->SetText(L"\U0001F600", 0);
    sea.SaveAs(dir.Wide("u.sea"));
    EXPECT_EQ(seatest::ReadBytes(dir.Path("u.sea")),
              std::string("\xFF\xFE" "k\0:\0\t\0\x3D\xD8\x00\xDE \0\r\0\n\0", 18));
}

TEST(SeaWriting, SharedFileIsBuiltSectionBySection) {
    ScratchDir dir;
    // An empty file takes a section with a byte-order mark.
    seatest::WriteBytes(dir.Path("e.sea"), "");
    TestSea first;
    first.SetSeaName(L"P");
    first.SetFileSection(true);
    first.CreateEntry(L"p", 0)->SetInt(1, 0);
    first.SaveAs(dir.Wide("e.sea"));
    EXPECT_EQ(seatest::LinesOfFile(dir.Path("e.sea")), (Lines{L"::::: P", L"p:\t1 "}));

    TestSea app;
    app.CreateEntry(L"a", 0)->SetInt(1, 0);
    app.SaveAs(dir.Wide("shared.sea"));
    TestSea pref;
    pref.SetSeaName(L"Preference");
    pref.SetFileSection(true);
    // A 1252 section appended to a UTF-16 file would make the file unreadable:
    // the section takes the encoding of the file it joins.
    pref.SaveAsUnicode(false);
    pref.CreateEntry(L"p", 0)->SetText(L"\u00E9", 0);
    CaptureOutput capture;
    pref.SaveAs(dir.Wide("shared.sea"));
    EXPECT_TRUE(capture.Reports().empty());
    EXPECT_EQ(seatest::LinesOfFile(dir.Path("shared.sea")), (Lines{L"a:\t1 ", L"::::: Preference", L"p:\t\u00E9 "}));

    TestSea readApp;
    ASSERT_TRUE(readApp.Create(dir.Wide("shared.sea"), false));
    EXPECT_EQ(readApp.NrEntries(), 1u);
    TestSea readPref;
    readPref.SetSeaName(L"Preference");
    readPref.SetFileSection(true);
    ASSERT_TRUE(readPref.Create(dir.Wide("shared.sea"), false));
    EXPECT_EQ(readPref.Value(L"p"), L"\u00E9");
    EXPECT_EQ(readPref.NrEntries(), 1u);
}

TEST(SeaWriting, SectionWithoutItsFileFails) {
    ScratchDir dir;
    TestSea sea;
    sea.SetSeaName(L"P");
    sea.SetFileSection(true);
    CaptureOutput capture;
    sea.SaveAs(dir.Wide("missing.sea"));
    ExpectWriteBackReport(capture, WriteBackFailure(dir, "missing.sea", L"the file does not exist; a section is only written into an existing file"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("missing.sea")));
    EXPECT_FALSE(sea.UpdateIfPossible());
}

TEST(SeaWriting, SedimentFilterActsOnOneWrite) {
    ScratchDir dir;
    seatest::WriteBytes(dir.Path("s.sea"), SeaUtf16({L"; c", L"used: 1", L"unused: 2", L": bad", L"read: 3"}));
    CaptureOutput capture;
    TestSea sea;
    ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), false));
    sea.GetEntry(L"used")->SetInt(5, 0);
    sea.GetEntry(L"read")->GetInt(0);
    sea.MitSedimentfilter(true);
    sea.UpdateFile();
    EXPECT_EQ(seatest::LinesOfFile(dir.Path("s.sea")), (Lines{L"; c", L"used:\t5 ", L"read: 3"}));
    sea.UpdateFile();
    EXPECT_EQ(seatest::LinesOfFile(dir.Path("s.sea")),
              (Lines{L"; c", L"used:\t5 ", L"unused: 2", L": bad", L"read: 3"}));
}

TEST(SeaWriting, ChangeFileBaseWritesBackThenReadsTheNewFile) {
    ScratchDir dir;
    seatest::WriteBytes(dir.Path("one.sea"), SeaUtf16({L"a: 1"}));
    seatest::WriteBytes(dir.Path("two.sea"), SeaUtf16({L"b: 2"}));
    TestSea sea;
    ASSERT_TRUE(sea.Create(dir.Wide("one.sea"), false));
    sea.GetEntry(L"a")->SetInt(9, 0);
    EXPECT_TRUE(sea.ChangeFileBase(dir.Wide("two.sea"), true));
    EXPECT_EQ(seatest::LinesOfFile(dir.Path("one.sea")), (Lines{L"a:\t9 "}));
    EXPECT_EQ(sea.Filename(), dir.Wide("two.sea"));
    EXPECT_EQ(sea.GetEntry(L"a"), nullptr);
    EXPECT_EQ(sea.Value(L"b"), L"2");

    // A write-back that fails is reported and the change goes on.
    MakeReadOnly(dir.Path("two.sea"));
    CaptureOutput capture;
    EXPECT_TRUE(sea.ChangeFileBase(sea.Filename(), true)) << "own name as argument";
    ExpectWriteBackReport(capture, WriteBackFailure(dir, "two.sea", L"Permission denied"));
    capture.Clear();
    EXPECT_FALSE(sea.ChangeFileBase(dir.Wide("none.sea"), false));
    ASSERT_EQ(capture.Texts().size(), 1u);
    EXPECT_EQ(capture.Texts()[0], L"Could not find sea file: \n" + dir.Wide("none.sea").Str() + L"\n");
    EXPECT_EQ(sea.NrLines(), 0u);
}

TEST(SeaWriting, UpdateFileIntoAnOpenFile) {
    ScratchDir dir;
    TestSea sea;
    sea.SetSeaName(L"S");
    sea.SetFileSection(true);
    sea.CreateEntry(L"a", 0)->SetInt(1, 0);
    CUnicodeFile file;
    ASSERT_TRUE(file.Open(dir.Wide("o.sea"), CUnicodeFile::modeCreate | CUnicodeFile::modeWrite));
    sea.UpdateFile(&file);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(seatest::LinesOfFile(dir.Path("o.sea")), (Lines{L"::::: S", L"a:\t1 "}));
}

}  // namespace
