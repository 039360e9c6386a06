// Reading sea files: opening, creating, merging, reloading, sections, duplicates, lists and the exact reports.
#include "kelvaro/platform/UnicodeFile.h"
#include "sea/SeaTestSupport.h"

namespace {

using namespace seatest;

// Every report of the reader goes out with category 16 and style 3.
void ExpectReadingReports(const CaptureOutput& capture, const Lines& texts) {
    ASSERT_EQ(capture.Texts(), texts);
    for (const auto& report : capture.Reports()) EXPECT_TRUE(report.category == 16u && report.style == 3u);
}

std::wstring Name(const ScratchDir& dir, const std::string& leaf) { return dir.Wide(leaf).Str(); }

// A missing file is created empty; a short one is read as it is and left so.
TEST(SeaReading, ShortAndMissingFilesAreReadAndFailuresToOpenReported) {
    for (const CaseRow& c : ReadCases("sea-short-files.txt", 4)) {
        SCOPED_TRACE(c.Where() + " " + c.raw[0]);
        ScratchDir dir;
        if (!c.Null(1)) WriteBytes(dir.Path("s.sea"), c.Bytes(1));
        CaptureOutput capture;
        TestSea sea;
        EXPECT_TRUE(sea.Create(dir.Wide("s.sea"), false) && sea.IsFilebased() && sea.Filename() == dir.Wide("s.sea"));
        EXPECT_EQ(sea.NrLines(), c.Number(2));
        EXPECT_EQ(capture.Reports().empty(), !c.Flag(3));
        EXPECT_EQ(ReadBytes(dir.Path("s.sea")), c.Null(1) ? "" : c.Bytes(1)) << "exists, unchanged";
    }

    // Failures to open are reported and leave the sea alone.
    ScratchDir dir;
    std::filesystem::create_directories(dir.Path("folder.sea"));
    const std::wstring missing = Name(dir, "missing.sea"), folder = Name(dir, "folder.sea"),
                       unreachable = Name(dir, "no/such/dir/x.sea");
    // linesAfter: Create empties the sea first, the others keep it.
    using Call = std::function<bool(TestSea&)>;
    const struct Case { const char* what; Call call; std::wstring report; unsigned linesAfter; } cases[] = {
        {"read-only create of a missing file", [&](TestSea& s) { return s.Create(missing.c_str(), true); },
         L"Could not find sea file: \n" + missing + L"\n", 0},
        {"open without create", [&](TestSea& s) { return s.OpenFileBase(missing.c_str(), false); },
         L"Could not find sea file: \n" + missing + L"\n", 1},
        {"existing path that is no file", [&](TestSea& s) { return s.OpenFileBase(folder.c_str(), false); },
         L"Could not open '" + folder + L"' for reading sea file\nIs a directory\n", 1},
        {"file that cannot be created", [&](TestSea& s) { return s.Create(unreachable.c_str(), false); },
         L"Could not create sea file: \n" + unreachable + L"\n", 0},
        {"merge of a missing file", [&](TestSea& s) { return s.MergeFile(missing.c_str(), true); },
         L"Could not open '" + missing + L"' for reading (merge) sea file\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CaptureOutput capture;
        TestSea sea;
        sea.CreateEntry(L"keep", 0);
        EXPECT_FALSE(c.call(sea) || sea.IsFilebased());
        ExpectReadingReports(capture, {c.report});
        EXPECT_EQ(sea.NrLines(), c.linesAfter);
    }
}

// How each problem is reported is the corpus's part (RoundTripTest.cpp); here what only a sea shows.
TEST(SeaReading, DuplicatesSectionMarkersAndUnterminatedLists) {
    ScratchDir dir;
    WriteBytes(dir.Path("s.sea"), SeaUtf16({L"x: 1", L"x: 1", L"::::: P", L"a: 1", L"a: 2"}));
    CaptureOutput capture;
    TestSea sea;
    sea.Section(L"P");
    ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), false));
    ExpectReadingReports(capture, {Name(dir, "s.sea") +
                                   L"\nDuplicate identifier in line 5 (second will be ignored):\na: 1\na: 2\n"});
    EXPECT_EQ(sea.NrLines(), 2u) << "a section counts the lines before it";
    // The report of a duplicate shows the current text of a changed entry.
    TestSea changed;
    changed.CreateEntry(L"a", 0)->SetInt(5, 0);
    WriteBytes(dir.Path("d.sea"), SeaUtf16({L"a: 1"}));
    capture.Clear();
    ASSERT_TRUE(changed.OpenFileBase(dir.Wide("d.sea"), false));
    ExpectReadingReports(capture, {Name(dir, "d.sea") +
                                   L"\nDuplicate identifier in line 1 (second will be ignored):\na:\t5 \na: 1\n"});
    EXPECT_EQ(changed.Value(L"a"), L"5");
    // A plain sea stops reading at the first marker, even one without a name.
    TestSea plain, open, reread;
    Load(plain, dir, {L"a: 1", L"::::: ", L"b: 2"}, "m.sea");
    EXPECT_EQ(plain.NrLines(), 1u);
    // An entry added after an unterminated list is not swallowed by it.
    capture.Clear();
    Load(open, dir, {L"a: 1", L"l: {", L"\tone", L"\ttwo"}, "u.sea");
    EXPECT_EQ(capture.Reports().size(), 1u);
    open.CreateEntry(L"later", 0)->SetInt(5, 0);
    open.UpdateFile();
    capture.Clear();
    ASSERT_TRUE(reread.Create(dir.Wide("u.sea"), false) && capture.Reports().empty());
    EXPECT_EQ(reread.Value(L"later"), L"5");
    EXPECT_EQ(reread.Text(L"l"), L"l: {\none\ntwo\n} \t;-- l");
}

TEST(SeaReading, ProblemsAreKeptAsDataWithFileAndLineAndACleanReadIsRead) {
    using Kind = kelvaro::SeaProblem::Kind;
    ScratchDir dir;
    CaptureOutput capture;
    TestSea sea;
    Load(sea, dir, {L"a: 1", L": 5", L";" + std::wstring(9000, L'x'), L"a: 2", L"l: {", L"\tone"}, "p.sea");
    using Seen = std::tuple<Kind, int, std::wstring, std::wstring>;
    std::vector<Seen> seen;
    for (const kelvaro::SeaProblem& p : sea.Problems()) {
        EXPECT_EQ(p.source, Name(dir, "p.sea"));
        seen.push_back({p.kind, p.line, p.message, p.text});
    }
    const std::vector<Seen> expected = {
        {Kind::Syntax, 2, L"Syntax error: Empty identifier (name before ':' missing)", L": 5"},
        {Kind::LineTooLong, 3, L"Input file error: Max. line length 8192 exceeded.", L""},
        {Kind::Duplicate, 4, L"Duplicate identifier (second will be ignored)", L"a: 2"},
        {Kind::ListSyntax, 5, L"Syntax error in resource list: l: List not terminated ('}' missing)", L""},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(capture.Texts().size(), expected.size()) << "every problem is reported as text too";
    // A clean reading starts afresh: lines become entries, comments and lists.
    capture.Clear();
    Load(sea, dir, {L"; head", L"width: 640 480", L"", L"title:\t\"Main window\" x", L"colors: {", L"\tred 1",
                    L"\t; inner", L"\tgreen 2", L"}", L"size : 3"}, "p.sea");
    EXPECT_TRUE(sea.Problems().empty() && capture.Reports().empty() && sea.NrLines() == 6u && sea.NrEntries() == 4u);
    EXPECT_EQ(sea.Values({{L"width", 1}, {L"title", 0}, {L"size ", 0}}), (Lines{L"480", L"Main window", L"3"}));
    EXPECT_EQ(sea.Text(L"colors"), L"colors: {\nred 1\n; inner\ngreen 2\n}");
    // A refused save is a problem of its own.
    std::filesystem::create_directory(dir.Path("folder"));
    EXPECT_FALSE(sea.SaveAs(dir.Wide("folder")));
    ASSERT_EQ(sea.Problems().size(), 1u);
    EXPECT_TRUE(sea.Problems()[0].kind == Kind::WriteBack && !sea.Problems()[0].message.empty());
    EXPECT_TRUE(sea.SaveAs(dir.Wide("p.sea")) && sea.Problems().empty());
}

// Each sea reads its part and writes the file back byte for byte.
TEST(SeaReading, SectionsOfASharedFile) {
    ScratchDir dir;
    const std::string file = SeaUtf16({L"; application", L"x: 1", L"::::: Preference", L"; preference", L"y: \"two words\"",
                                       L"", L"::::: Other", L"z: 3", L"::::: Preference", L"w: 4"});
    for (const CaseRow& c : ReadCases("sea-sections.txt", 3)) {
        SCOPED_TRACE(c.Where());
        WriteBytes(dir.Path("s.sea"), file);
        CaptureOutput capture;
        TestSea sea;
        sea.SetSeaName(c.Text(0).c_str());
        sea.SetFileSection(c.Flag(1));
        ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), false) && capture.Reports().empty());
        EXPECT_EQ(sea.NrEntries(), c.List(2).size());
        for (const auto& name : c.List(2)) EXPECT_NE(sea.GetEntry(name.c_str()), nullptr);
        if (c.List(2).empty()) continue;  // an absent section would be added
        EXPECT_TRUE(sea.UpdateIfPossible());
        EXPECT_EQ(ReadBytes(dir.Path("s.sea")), file);
    }
}

TEST(SeaReading, MergeReloadAndCreateFromAnOpenFile) {
    ScratchDir dir;
    WriteBytes(dir.Path("m.sea"), SeaUtf16({L"; a comment", L"a: 1", L"a: 2", L"n: 9", L": bad"}));
    for (const bool overwrite : {true, false}) {
        SCOPED_TRACE(overwrite);
        CaptureOutput capture;
        TestSea sea;
        sea.CreateEntry(L"a", 0)->SetInt(5, 0);
        ASSERT_TRUE(sea.MergeFile(dir.Wide("m.sea"), overwrite));
        EXPECT_EQ(sea.Values({{L"a", 0}, {L"n", 0}}), (Lines{overwrite ? L"2" : L"5", L"9"}));
        EXPECT_EQ(sea.NrLines(), 2u) << "comments and bad lines of a merged file are not added";
        EXPECT_TRUE(sea.IsFilebased() && sea.Filename() == dir.Wide("m.sea")) << "a memory sea takes the merged file";
        // The merged file's own name and line number are reported.
        ExpectReadingReports(capture, {Name(dir, "m.sea") +
                                       L"\nSyntax error in line 5: Empty identifier (name before ':' missing)\n: bad\n"});
    }
    // A merge without overwrite leaves a file-based sea modified, tied to its own file.
    WriteBytes(dir.Path("m.sea"), SeaUtf16({L"b: 1"}));
    TestSea sea;
    Load(sea, dir, {L"a: 1"}, "own.sea");
    ASSERT_FALSE(sea.GetEntry(L"a")->Modified());
    ASSERT_TRUE(sea.MergeFile(dir.Wide("m.sea"), false));
    EXPECT_TRUE(sea.GetEntry(L"a")->Modified());
    EXPECT_EQ(sea.Filename(), dir.Wide("own.sea")) << "a file-based sea keeps its file";
    // A reload keeps changes and takes the rest from the file.
    TestSea reloaded;
    Load(reloaded, dir, {L"changed: 1", L"untouched: 1"}, "k.sea");
    reloaded.GetEntry(L"changed")->SetInt(7, 0);
    WriteBytes(dir.Path("k.sea"), SeaUtf16({L"changed: 2", L"untouched: 2", L"; c", L"fresh: 3"}));
    ASSERT_TRUE(reloaded.ReloadFileBase(false));
    EXPECT_EQ(reloaded.NrLines(), 3u);
    EXPECT_EQ(Written(reloaded, dir, "k.sea"), (Lines{L"changed:\t7 ", L"untouched: 2", L"fresh: 3"}));
    // A reload with purge starts afresh: changes and added entries are gone.
    WriteBytes(dir.Path("k.sea"), SeaUtf16({L"changed: 1"}));
    reloaded.GetEntry(L"changed")->SetInt(8, 0);
    reloaded.CreateEntry(L"extra", 0);
    ASSERT_TRUE(reloaded.ReloadFileBase(true));
    EXPECT_EQ(reloaded.Values({{L"changed", 0}, {L"extra", 0}}), (Lines{L"1", L"<missing>"}));
    // A file that vanished is reported, the sea keeps what it holds; a memory sea has nothing to reload.
    std::filesystem::remove(dir.Path("k.sea"));
    CaptureOutput capture;
    EXPECT_FALSE(reloaded.ReloadFileBase(false));
    ExpectReadingReports(capture, {L"Could not open '" + Name(dir, "k.sea") + L"' for reloding sea file.\n"});
    EXPECT_EQ(reloaded.Value(L"changed"), L"1");
    capture.Clear();
    TestSea memory;
    EXPECT_TRUE(memory.ReloadFileBase(false) && memory.ReloadFileBase(true) && capture.Reports().empty());

    // A sea made from an open file.
    WriteBytes(dir.Path("f.sea"), SeaUtf16({L"a: 1", L"b: 2"}));
    CUnicodeFile file;
    ASSERT_TRUE(file.Open(dir.Wide("f.sea"), CUnicodeFile::modeRead));
    TestSea opened;
    EXPECT_TRUE(opened.Create(&file, true) && opened.IsFilebased() && opened.NrEntries() == 2u);
    EXPECT_EQ(opened.Filename(), dir.Wide("f.sea"));
    EXPECT_FALSE(opened.Create(static_cast<CUnicodeFile*>(nullptr), true));
    // The caller has read the mark already: a U+FEFF that starts the text is
    // text, not a second mark, and the file keeps its encoding.
    for (const std::wstring& first : {std::wstring(L"\uFEFFa: 1"), std::wstring(L"\u3AFF: 1")}) {
        const std::string bytes = SeaUtf16({first, L"b: 2"});
        WriteBytes(dir.Path("m.sea"), bytes);
        CUnicodeFile marked;
        ASSERT_TRUE(marked.Open(dir.Wide("m.sea"), CUnicodeFile::modeRead) && marked.ReadBOM() == 2);
        TestSea again;
        ASSERT_TRUE(again.Create(&marked, false));
        marked.Close();
        EXPECT_TRUE(again.SaveAs(dir.Wide("m.sea")));
        EXPECT_EQ(ReadBytes(dir.Path("m.sea")), bytes);
    }
}

}  // namespace
