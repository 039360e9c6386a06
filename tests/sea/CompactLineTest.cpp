// Lines as read are kept compact (blank and comment lines) or narrow (one byte a character) and must behave as any.
#include <fstream>

#include "sea/SeaTestSupport.h"

namespace {

using namespace seatest;

// The bytes of `text` as it is, its own line ends only: the shared writers end each line with CR LF, cut off here.
std::string Utf16(const std::wstring& text) {
    const std::string bytes = SeaUtf16({text});
    return bytes.substr(0, bytes.size() - 4);
}
std::string Latin(const std::wstring& text) { return Sea1252({text}).substr(0, text.size()); }

TEST(CompactLines, ComeBackByteForByteAndAsTheSameEntries) {
    for (const CaseRow& c : ReadCases("sea-compact-lines.txt", 3)) {
        SCOPED_TRACE(c.Where() + " " + c.raw[0]);
        ScratchDir dir;
        const auto encode = [&c](const std::wstring& text) { return c.Flag(2) ? Utf16(text) : Latin(text); };
        std::wstring after = c.Text(1);
        WriteBytes(dir.Path("s.sea"), encode(after));
        TestSea sea;
        ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), false));
        sea.Set(L"a", L"%d", 2);
        ASSERT_TRUE(sea.UpdateIfPossible());
        after.replace(after.find(L"a: 1"), 4, L"a:\t2 ");  // as a changed line is rebuilt
        EXPECT_EQ(ReadBytes(dir.Path("s.sea")), encode(after));
        // Asking for a line makes its entry: the line as read, a comment unless it has a name.
        std::wstringstream lines(after);
        std::wstring line;
        for (unsigned i = 0; i < sea.NrLines() && std::getline(lines, line); ++i) {
            line.erase(0, line.find_first_not_of(L" \t"));
            line.erase(line.find_last_not_of(L" \t\r") + 1);
            const CResourceEntry* entry = sea.LineAt(i);
            CString text;
            entry->GetLine(text);
            EXPECT_EQ(text.Str(), line) << i;
            EXPECT_TRUE(entry->IsComment() == (line.find(L':') == std::wstring::npos) &&
                        entry->IsComment() == entry->Name().IsEmpty()) << i;
        }
        EXPECT_TRUE(sea.UpdateIfPossible() && ReadBytes(dir.Path("s.sea")) == encode(after))
            << "asking for the lines changed nothing";
    }
}

TEST(CompactLines, AnswerAsCommentEntriesDo) {
    // A continued list follows "b", then, with "b" gone, the comment before it, which has no entry until then.
    ScratchDir dir;
    WriteBytes(dir.Path("s.sea"), Utf16(L"a: {\n x\n}\n; c\nb: 1\na: {+\n y\n}\n"));
    TestSea sea, walked;
    ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), false));
    sea.DeleteSeaLine(sea.GetEntry(L"b"));
    ASSERT_TRUE(sea.UpdateIfPossible());
    EXPECT_EQ(ReadBytes(dir.Path("s.sea")), Utf16(L"a: {\n x\n}\n; c\na: {+\n y\n}\n"));
    // A line added after a last line without an end gives it the file's own line end.
    WriteBytes(dir.Path("e.sea"), Utf16(L"a: 1\n; last"));
    TestSea added;
    ASSERT_TRUE(added.Create(dir.Wide("e.sea"), false));
    added.LookupSetInt(L"b", 2);
    ASSERT_TRUE(added.UpdateIfPossible());
    EXPECT_EQ(ReadBytes(dir.Path("e.sea")), Utf16(L"a: 1\n; last\nb:\t2 \n"));
    // Walks see the comments: they count as used, and the self-test looks at
    // them, one beyond its limit failing it as it does once it has its entry.
    WriteBytes(dir.Path("w.sea"), Utf16(L"; one\n\na: 1\n; " + std::wstring(1200, L'x') + L"\n"));
    ASSERT_TRUE(walked.Create(dir.Wide("w.sea"), false) && !walked.Modified());
    walked.Set(L"a", L"%d", 1);
    EXPECT_FALSE(walked.Orphans()) << "comments count as used";
    const bool compact = walked.SelfTest();
    for (unsigned i = 0; i < walked.NrLines(); ++i) walked.LineAt(i);
    EXPECT_EQ(compact, walked.SelfTest());
}

// Resident memory of this process in bytes.
long ResidentBytes() {
    std::ifstream status("/proc/self/statm");
    long pages = 0, resident = 0;
    status >> pages >> resident;
    return resident * 4096;
}

TEST(CompactLines, CostAFewBytesEach) {
    constexpr int kLines = 400000;
    ScratchDir dir;
    std::wstring text;
    for (int i = 0; i < kLines; ++i) text += i % 2 == 0 ? L"\r\n" : L"; a comment\r\n";
    WriteBytes(dir.Path("s.sea"), Utf16(text + L"a: 1\r\n"));
    text = std::wstring();
    const long before = ResidentBytes();
    TestSea sea;
    ASSERT_TRUE(sea.Create(dir.Wide("s.sea"), true));
    EXPECT_LT((ResidentBytes() - before) / kLines, 48) << "bytes a line";
    ASSERT_EQ(sea.NrLines(), static_cast<unsigned>(kLines + 1));
}

// Not narrow: the euro sign, U+20AC, is byte 0x80 in code page 1252.
Lines SeaLines(bool unicode) {
    return {
        L"gr\u00F6\u00DFe:\t12 \"a b\" x\u00A7y",  // Latin-1 name, quoted value, '§' stand-in
        L"plain: 1 2 3",
        unicode ? L"wide: \u20AC 5" : L"wide: \u0080 5",
        L"bad: \"open",  // does not parse: kept as it was
        L"list: {",
        L"\t\u00E4",
        L"}",
    };
}

TEST(NarrowLine, ReadsChangesAndWritesBackAsAWideLine) {
    for (const bool unicode : {true, false}) {
        SCOPED_TRACE(unicode ? "UTF-16" : "code page 1252");
        ScratchDir dir;
        auto bytesOf = [unicode](const Lines& lines) { return unicode ? SeaUtf16(lines) : Sea1252(lines); };
        Lines lines = SeaLines(unicode);
        WriteBytes(dir.Path("t.sea"), bytesOf(lines));
        TestSea sea;
        sea.SaveAsUnicode(unicode);
        CaptureOutput capture;
        ASSERT_TRUE(sea.Create(dir.Wide("t.sea"), false));
        const wchar_t* latin = L"gr\u00F6\u00DFe";
        EXPECT_EQ(sea.Values({{latin, 0}, {latin, 1}, {latin, 2}, {L"plain", 2}, {L"wide", 0}, {L"bad", 0}}),
                  (Lines{L"12", L"a b", L"x\"y", L"3", L"\u20AC", L"<missing>"}));
        EXPECT_EQ(sea.Text(latin), lines[0]);
        EXPECT_EQ(sea.ListLines(L"list"), Lines{L"\u00E4"});
        const CResourceEntry copy(*sea.GetEntry(latin));
        EXPECT_EQ(Lines({copy.Name().Str(), copy.GetString(1).Str()}), (Lines{latin, L"a b"}));
        // Unchanged, every line comes back as it was.
        ASSERT_TRUE(sea.UpdateIfPossible());
        EXPECT_EQ(ReadBytes(dir.Path("t.sea")), bytesOf(lines));

        sea.GetEntry(L"plain")->SetInt(7, 1);
        EXPECT_TRUE(sea.Delete(latin) == 1 && sea.GetEntry(latin) == nullptr);
        lines.erase(lines.begin());
        lines[0] = L"plain:\t1 7 3 ";
        ASSERT_TRUE(sea.UpdateIfPossible());
        EXPECT_EQ(ReadBytes(dir.Path("t.sea")), bytesOf(lines));
    }
}

}  // namespace
