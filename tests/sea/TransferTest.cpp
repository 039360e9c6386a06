// Merge, synchronisation and +=, and the whole-sea queries Modified, Orphans, SelfTest, PrintEntries.
#include <algorithm>
#include <chrono>
#include <memory>

#include "sea/SeaTestSupport.h"

namespace {

using namespace seatest;

const Lines kSource = {L"; the source", L"alpha: 1 2", L"", L"beta:\t\"two words\"", L"colors: {",
                       L"\tred 255", L"\t; a comment in the list", L"\tgreen 128", L"}", L"gamma: x"};

// A merge copies every named entry (copies, which outlive their source) and no
// comment; into a sea of its own it changes nothing, not even Modified.
TEST(Transfer, MergeCopiesEveryNamedEntryAndNoComment) {
    ScratchDir dir;
    TestSea target, self;
    {
        TestSea source, plus, second;
        Load(source, dir, kSource, "source.sea");
        target.MergeContent(&source);
        EXPECT_EQ(target.NrLines(), 4u) << "comment lines are never carried over";
        for (const wchar_t* name : {L"alpha", L"beta", L"colors", L"gamma"}) {
            const CResourceEntry* copy = target.GetEntry(name);
            ASSERT_NE(copy, nullptr) << kelvaro::utf8::Encode(name);
            EXPECT_TRUE(*copy == *source.GetEntry(name) && copy != source.GetEntry(name)) << kelvaro::utf8::Encode(name);
        }
        EXPECT_EQ(target.ListLines(L"colors"), (Lines{L"red 255", L"; a comment in the list", L"green 128"}));
        EXPECT_TRUE(source.Text(L"alpha") == L"alpha:\t1 2" && source.NrLines() == kSource.size() - 4);
        plus.LookupSetString(L"alpha", L"old");
        EXPECT_EQ(&(plus += source), &plus) << "+= merges and returns the target";
        EXPECT_TRUE(plus.Value(L"alpha", 1) == L"2" && plus.NrEntries() == 4u);
        second.LookupSetString(L"alpha", L"assigned");
        second.AddListLine(L"colors", L"blue 64");
        target.MergeContent(&second);  // assignment to present entries, a list among them
    }
    // Copies once borrowed the source sea's value buffers; changing them
    // after that sea was gone wrote through a dangling pointer.
    for (int round = 0; round < 3; ++round) {
        target.LookupSetString(L"alpha", std::wstring(40 + round * 20, L'a').c_str());
        target.LookupSetString(L"beta", L"b");
        target.LookupSetInt(L"gamma", round, 1);
        target.AddListLine(L"colors", L"more lines");
    }
    EXPECT_EQ(target.Values({{L"alpha", 0}, {L"gamma", 1}}), (Lines{std::wstring(80, L'a'), L"2"}));
    EXPECT_EQ(target.ListLines(L"colors").size(), 4u);  // blue, three more
    target.PurgeDataBase();
    Load(self, dir, kSource, "self.sea");
    self.MergeContent(&self);
    self += self;
    EXPECT_TRUE(self.NrLines() == kSource.size() - 4 && self.Value(L"beta") == L"two words" && !self.Modified());
    EXPECT_EQ(self.ListLines(L"colors"), (Lines{L"red 255", L"; a comment in the list", L"green 128"}));
    // Touching and adding make a sea modified, writing does not reset it, a reset clears only that bit.
    EXPECT_TRUE(self.Touch(L"gamma"));
    self.AddListLine(L"colors", L"one");
    EXPECT_TRUE(self.UpdateIfPossible() && self.Modified()) << "writing does not count as saving";
    self.ResetModified();
    EXPECT_FALSE(self.Modified() || self.GetEntry(L"colors")->Modified());
    EXPECT_TRUE(self.GetEntry(L"gamma")->Accessed()) << "reset clears only the Modified bit";
}

TEST(Transfer, MergeOverwritesAppendsInOrderKeepsStatusAndNeverThePlaceholder) {
    // The placeholder value is never carried over.
    for (const CaseRow& c : ReadCases("sea-placeholder.txt", 2)) {
        SCOPED_TRACE(c.Where());
        const bool carried = c.Flag(1);
        ScratchDir dir;
        TestSea source, empty, present;
        Load(source, dir, {c.Text(0), L"y: 1"}, "source.sea");
        empty.MergeContent(&source);
        EXPECT_EQ(empty.HasEntry(L"x"), carried);
        EXPECT_TRUE(empty.HasEntry(L"y")) << "the other entries still go";
        present.LookupSetString(L"x", L"mine");
        present.SynchContent(&source);
        EXPECT_EQ(present.Value(L"x") == L"mine", !carried);
    }
    // Present entries are overwritten in place, new ones appended in the source's order.
    ScratchDir dir;
    TestSea source, target;
    Lines lines = {L"b: new"};
    for (int i = 0; i < 50; ++i) lines.push_back(L"e" + std::to_wstring((i * 37) % 50) + L": " + std::to_wstring(i));
    Load(source, dir, lines, "source.sea");
    Load(target, dir, {L"a: 1", L"; note", L"b: old", L"e7: mine", L"c: 3"}, "target.sea");
    target.MergeContent(&source);
    EXPECT_EQ(target.Value(L"b"), L"new");
    // Present entries stay at their place, new ones follow in the source's order.
    Lines expected = {L"a", L"; note", L"b", L"e7", L"c"};
    for (const auto& line : lines)
        if (line.rfind(L"e7:", 0) != 0 && line.rfind(L"b:", 0) != 0) expected.push_back(line.substr(0, line.find(L':')));
    Lines names;
    for (const auto& line : Written(target, dir, "target.sea")) names.push_back(line.substr(0, line.find(L':')));
    EXPECT_EQ(names, expected);
    // A line too long to rebuild stops the transfer.
    TestSea tooLong, empty;
    tooLong.LookupSetString(L"long", std::wstring(5000, L'x').c_str());
    const auto error = Thrown([&] { empty.MergeContent(&tooLong); });
    EXPECT_TRUE(error && error->m_code == 3u && !empty.HasEntry(L"long"));
    // An assigned entry carries the source's Modified bit; with the keep flag a changed target entry is left alone.
    TestSea from, into;
    Load(from, dir, {L"a: from-source", L"b: from-source", L"c: new"}, "from.sea");
    Load(into, dir, {L"a: mine", L"b: old"}, "into.sea");
    from.LookupSetString(L"b", L"changed-source");
    into.LookupSetString(L"a", L"changed");
    into.ContentTransfer(&from, 0, 2);
    EXPECT_EQ(into.Values({{L"a", 0}, {L"b", 0}, {L"c", 0}}), (Lines{L"changed", L"changed-source", L"new"}));
    EXPECT_TRUE(into.GetEntry(L"b")->Modified() && !into.GetEntry(L"c")->Modified());
    into.ContentTransfer(&from, 0, 0);
    EXPECT_EQ(into.Value(L"a"), L"from-source") << "without the flag every entry is overwritten";
    // Synchronisation updates the common entries and adds nothing.
    TestSea synch;
    Load(from, dir, {L"a: new", L"only: in source", L"list: {", L"\tx", L"}"}, "from.sea");
    Load(synch, dir, {L"a: old", L"b: kept"}, "synch.sea");
    synch.SynchContent(&from);
    EXPECT_EQ(Written(synch, dir, "synch.sea"), (Lines{L"a:\tnew ", L"b: kept"}));
}

TEST(Maintenance, OrphansPrintEntriesAndSelfTest) {
    ScratchDir dir;
    TestSea comments, sea;
    Load(comments, dir, {L"; only", L"", L"; comments"}, "comments.sea");
    EXPECT_FALSE(comments.Orphans());
    EXPECT_EQ(comments.LookupGetInt(L"missing", 0, 7), 7);
    comments.LookupSetInt(L"made", 1);
    int value = 3;
    comments.LookupInt(lookup::write, L"written", value);
    EXPECT_FALSE(comments.Orphans()) << "entries created by typed lookups are used";
    Load(sea, dir, {L"; head", L"a: 1", L"b: 2", L"list: {", L"\tx", L"}"}, "named.sea");
    EXPECT_TRUE(sea.Orphans());
    sea.LookupGetInt(L"a", 0, 0);
    sea.Touch(L"b");
    EXPECT_TRUE(sea.Orphans());
    EXPECT_TRUE(sea.IsListEntry(L"list") && sea.Orphans()) << "asking for the kind is no use of the entry";
    CString line;
    sea.GetLine(L"list", line);
    EXPECT_FALSE(sea.Orphans()) << "list lines are not looked at";
    // PrintEntries lists every line in order.
    TestSea printed;
    Load(printed, dir, {L"; head", L"a: 1", L"list: {", L"\tx", L"}"}, "print.sea");
    printed.LookupSetString(L"long", std::wstring(5000, L'x').c_str());
    printed.LookupSetInt(L"after", 1);
    CaptureOutput capture;
    EXPECT_NO_THROW(printed.PrintEntries());
    const auto& reports = capture.Reports();
    ASSERT_EQ(reports.size(), 5u);
    // Each line trimmed; a line too long to rebuild is reported, and the listing goes on past it.
    EXPECT_EQ(capture.Texts(), (Lines{L"; head\n", L"a: 1\n", L"list: {\nx\n}\n", reports[3].text, L"after:\t1\n"}));
    EXPECT_NE(reports[3].text.find(L"lenght"), std::wstring::npos);
    for (const int i : {0, 1, 2, 4})
        EXPECT_TRUE(reports[i].category == PrWin::LibraryMessage && reports[i].style == PrWin::Normal) << i;
    EXPECT_FALSE(printed.Orphans()) << "listing a line uses it";
    // The self-test tests every line, even after a failure.
    TestSea empty, failing, good, bad;
    EXPECT_TRUE(empty.SelfTest());
    failing.LookupSetString(L"first", std::wstring(1200, L'x').c_str());  // over the self-test limit
    failing.LookupSetString(L"second", L"a\nb");
    // The self-test builds each line, which turns a line feed in a value into
    // its stand-in: that shows whether the second line was tested at all.
    EXPECT_TRUE(!failing.SelfTest() && failing.Value(L"second") == L"a\u00B6b");
    good.LookupSetString(L"a", L"1");
    good.AppendCommentLine(L"fine");
    good.CreateEntry(L"list", CResourceEntry::StatusListEntry);
    good.AddListLine(L"list", L"x y");
    EXPECT_TRUE(good.SelfTest()) << "a comment written by the program is sound";
    CaptureOutput quiet;
    Load(bad, dir, {L"; fine", L"a: 1", L"b: \"open"}, "bad.sea");
    EXPECT_FALSE(bad.SelfTest()) << "a line that failed to parse does not read back";
}

// Seconds to merge `seas` seas of `count` entries each into empty seas made
// before the clock starts; both sizes copy as many entries into as much fresh
// memory, which leaves the merge's own work for each entry to differ.
double MergeSeconds(unsigned count, unsigned seas) {
    std::vector<std::unique_ptr<TestSea>> sources, targets;
    for (unsigned i = 0; i < seas; ++i) {
        sources.push_back(std::make_unique<TestSea>(count));
        for (unsigned e = 0; e < count; ++e) sources.back()->LookupSetInt((L"entry" + std::to_wstring(e)).c_str(), 1);
        targets.push_back(std::make_unique<TestSea>(count));
    }
    const auto start = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < seas; ++i) targets[i]->MergeContent(sources[i].get());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    for (const auto& target : targets) EXPECT_EQ(target->NrEntries(), count);
    return elapsed.count();
}

// Linear work measures 8-13 times for ten times the entries, work per entry
// that grew with the sea about a hundred: best of three, with a margin.
TEST(Transfer, MergeTimeGrowsLinearlyWithTheEntries) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "timings under a sanitizer say nothing about the merge";
#endif
    double small = 1e9, large = 1e9;
    for (int round = 0; round < 3; ++round) {
        small = std::min(small, MergeSeconds(10000, 10) / 10);
        large = std::min(large, MergeSeconds(100000, 1));
    }
    EXPECT_LT(large, 35 * small) << "10,000 entries: " << small << " s, 100,000 entries: " << large << " s";
}

}  // namespace
