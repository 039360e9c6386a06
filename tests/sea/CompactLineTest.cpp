// Blank and comment lines are kept compact until asked for: byte for byte, as entries, a few bytes each.
#include <algorithm>
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

}  // namespace
