// The list cursor: moves that skip comment lines and never walk past either
// end, line numbers and keys, adding and removing lines, read-only cursors.
#include "kelvaro/sea/ResourceList.h"
#include "sea/SeaTestSupport.h"

namespace {

using namespace seatest;

const Lines kList = {L"\t; c1", L"\ta 1", L"\t; c2", L"\tb 2"};

// A sea holding the list "cfg" (by default: a comment, a 1, a comment, b 2), not modified.
void LoadList(TestSea& sea, const ScratchDir& dir, const Lines& listLines = kList) {
    Lines lines{L"before: 1", L"cfg: {"};
    lines.insert(lines.end(), listLines.begin(), listLines.end());
    lines.insert(lines.end(), {L"}", L"plain: 5"});
    Load(sea, dir, lines, "list.sea");
    sea.GetEntry(L"cfg")->ResetModified();
}

// The current line as its trimmed text; "-" when there is none.
std::wstring Current(const CResourceList& list) {
    const CResourceEntry* line = list.GetCurrentLine();
    if (line == nullptr) return L"-";
    CString text;
    line->GetLine(text);
    return text.GetString();
}

// One move and what it must give; "-" for no current line.
struct Step {
    enum Op { Head, Tail, Next, Prev, Line, Key, IntKey } op;
    bool result;
    const wchar_t* current;
    int arg = 0;
    const wchar_t* key = nullptr;
};

bool RunStep(CResourceList& list, const Step& step) {
    switch (step.op) {
    case Step::Head: return list.GotoHead();
    case Step::Tail: return list.GotoTail();
    case Step::Next: return list.GotoNext();
    case Step::Prev: return list.GotoPrev();
    case Step::Line: return list.GotoLine(static_cast<unsigned>(step.arg));
    case Step::Key: return list.GetLineByKey(step.key) != nullptr;
    case Step::IntKey: return list.GetLineByKey(step.arg) != nullptr;
    }
    return false;
}

TEST(ResourceList, MovesSkipCommentsAndStopAtBothEnds) {
    using S = Step;
    const struct { const char* what; Lines lines; unsigned elements; std::vector<Step> steps; } scripts[] = {
        {"forward to the end and beyond", kList, 2,
         {{S::Head, true, L"a 1"}, {S::Next, true, L"b 2"}, {S::Next, false, L"-"}, {S::Next, false, L"-"},
          {S::Prev, false, L"-"}}},
        {"backward to the front and beyond", kList, 2,
         {{S::Tail, true, L"b 2"}, {S::Prev, true, L"a 1"}, {S::Prev, false, L"-"}, {S::Prev, false, L"-"},
          {S::Next, false, L"-"}}},
        {"no move before the first", kList, 2, {{S::Next, false, L"-"}, {S::Prev, false, L"-"}}},
        // Line 4 is not below the line count: current stays; 2 is, but there are only two elements.
        {"line numbers count non-comment lines", kList, 2,
         {{S::Line, true, L"b 2", 1}, {S::Line, true, L"a 1", 0}, {S::Line, false, L"a 1", 4},
          {S::Line, false, L"a 1", 99}, {S::Line, false, L"-", 2},
          {S::Line, true, L"b 2", 1}, {S::Line, false, L"-", 3}}},
        {"keys: value 0, case matters", kList, 2,
         {{S::Key, true, L"b 2", 0, L"b"}, {S::Key, false, L"-", 0, L"B"}, {S::Key, true, L"a 1", 0, L"a"},
          {S::Key, false, L"-", 0, L"1"}, {S::Key, false, L"-", 0, L""}, {S::Key, false, L"-"},
          {S::IntKey, false, L"-", 7}}},
        {"no lines", {}, 0, {{S::Head, false, L"-"}, {S::Tail, false, L"-"}}},
        {"comments only", {L"\t; x", L"", L"\t;y"}, 0, {{S::Head, false, L"-"}, {S::Tail, false, L"-"}}},
        {"one line", {L"\tonly"}, 1, {{S::Head, true, L"only"}, {S::Tail, true, L"only"}}},
        {"comments at both ends", {L"; x", L"\tm 1", L"; y"}, 1, {{S::Head, true, L"m 1"}, {S::Tail, true, L"m 1"}}},
    };
    for (const auto& script : scripts) {
        SCOPED_TRACE(script.what);
        ScratchDir dir;
        TestSea sea;
        LoadList(sea, dir, script.lines);
        CResourceList list(&sea, L"cfg");
        EXPECT_EQ(list.IsEmpty(), script.lines.empty());
        EXPECT_EQ(list.NrElements(), script.elements);
        EXPECT_EQ(Current(list), L"-");
        int n = 0;
        for (const Step& step : script.steps) {
            SCOPED_TRACE("step " + std::to_string(n++));
            EXPECT_EQ(RunStep(list, step), step.result);
            EXPECT_EQ(Current(list), step.current);
            EXPECT_EQ(list.IsValid(), std::wstring(step.current) != L"-");
        }
    }
}

TEST(ResourceList, KeySearchLooksAtEveryLineAndMarksIt) {
    ScratchDir dir;
    TestSea sea;
    LoadList(sea, dir, {L"\t7 seven", L"\tc 3", L"\tb 2", L"\tb 9"});
    CResourceList list(&sea, L"cfg");
    // A line made a comment keeps its values: the key search finds it, the counts skip it.
    ASSERT_TRUE(list.GotoLine(1u));
    list.GetCurrentLine()->SetToComment(nullptr);
    EXPECT_EQ(list.NrElements(), 3u);
    EXPECT_EQ(list.GetLineByKey(7), list.GetLineByIndex(0));
    ASSERT_NE(list.GetLineByKey(L"c"), nullptr);
    EXPECT_EQ(Current(list), L";\tc 3");
    ASSERT_NE(list.GetLineByKey(L"b"), nullptr);
    EXPECT_EQ(Current(list), L"b 2") << "the first match wins";

    // A failed search has looked at, and marked, every line.
    TestSea fresh;
    LoadList(fresh, dir, {L"\tx 1", L"\t; note", L"\ty 2"});
    CResourceList search(&fresh, L"cfg");
    EXPECT_EQ(search.GetLineByKey(L"none"), nullptr);
    EXPECT_FALSE(search.IsValid());
    unsigned marked = 0;
    for (bool ok = search.GotoHead(); ok; ok = search.GotoNext())
        marked += search.GetCurrentLine()->Accessed() ? 1 : 0;
    EXPECT_EQ(marked, 2u);
}

TEST(ResourceList, RemoveCurrentStepsBackWhateverTheLineIsAndRemoveAllEmpties) {
    ScratchDir dir;
    TestSea sea;
    LoadList(sea, dir);
    CResourceList list(&sea, L"cfg");
    list.RemoveCurrent();  // no current line: nothing happens
    EXPECT_EQ(list.NrElements(), 2u);
    ASSERT_TRUE(list.GotoTail());
    for (const wchar_t* expected : {L"; c2", L"a 1", L"; c1", L"-"}) {
        list.RemoveCurrent();
        EXPECT_EQ(Current(list), expected) << "the line before becomes current";
    }
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_FALSE(sea.GetEntry(L"cfg")->Modified()) << "removing does not mark the list";

    // RemoveAll empties the list on disk too.
    TestSea other;
    LoadList(other, dir);
    CResourceList all(&other, L"cfg");
    ASSERT_TRUE(all.GotoHead());
    all.RemoveAll();
    EXPECT_FALSE(all.IsValid());
    EXPECT_EQ(all.NrElements(), 0u);
    EXPECT_TRUE(other.UpdateIfPossible());
    EXPECT_EQ(ReadBytes(dir.Path("list.sea")), SeaUtf16({L"before: 1", L"cfg: {", L"}", L"plain: 5"}));
}

TEST(ResourceList, AddAndInsertKeepTheCurrentLine) {
    // currentLine -1: none; a new empty line shows as "".
    struct Row { const char* what; int currentLine; enum { Head, Tail, Insert } op; Lines lines; };
    const Row rows[] = {
        {"insert without current line goes in front", -1, Row::Insert, {L"", L"; c1", L"a 1", L"; c2", L"b 2"}},
        {"insert before b 2 goes after the comment", 1, Row::Insert, {L"; c1", L"a 1", L"; c2", L"", L"b 2"}},
        {"insert before a 1", 0, Row::Insert, {L"; c1", L"", L"a 1", L"; c2", L"b 2"}},
        {"head", 1, Row::Head, {L"", L"; c1", L"a 1", L"; c2", L"b 2"}},
        {"tail", 0, Row::Tail, {L"; c1", L"a 1", L"; c2", L"b 2", L""}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir;
        TestSea sea;
        LoadList(sea, dir);
        CResourceList list(&sea, L"cfg");
        if (row.currentLine >= 0) { ASSERT_TRUE(list.GotoLine(static_cast<unsigned>(row.currentLine))); }
        const std::wstring before = Current(list);
        CResourceEntry* added = row.op == Row::Head   ? list.AddLineHead()
                                : row.op == Row::Tail ? list.AddLineTail()
                                                      : list.InsertLine();
        ASSERT_NE(added, nullptr);
        EXPECT_TRUE(added->IsListLine());
        EXPECT_EQ(Current(list), before);
        EXPECT_EQ(list.NrElements(), 3u);
        EXPECT_TRUE(sea.GetEntry(L"cfg")->Modified());
        EXPECT_EQ(sea.ListLines(L"cfg"), row.lines);
    }
}

TEST(ResourceList, BindingAssignmentAndCursorsThatChangeNothing) {
    ScratchDir dir;
    TestSea sea;
    LoadList(sea, dir);
    EXPECT_FALSE(sea.GetEntry(L"cfg")->Accessed());
    const CResourceSea& constSea = sea;
    CResourceList readOnly(&constSea, L"cfg");
    EXPECT_TRUE(sea.GetEntry(L"cfg")->Accessed()) << "also through a const sea";

    const unsigned entries = sea.NrEntries();
    CResourceList created(&sea, L"newlist");
    EXPECT_EQ(created.Status(), 1);
    EXPECT_TRUE(sea.IsListEntry(L"newlist"));
    EXPECT_EQ(sea.NrEntries(), entries + 1);
    EXPECT_TRUE(sea.GetEntry(L"newlist")->Accessed());
    ASSERT_NE(created.AddLineTail(), nullptr);
    EXPECT_EQ(created.NrElements(), 1u);

    // Assignment copies the entry, the position and the read-only flag.
    ASSERT_TRUE(readOnly.GotoTail());
    CResourceList writable(&sea, L"plain");
    writable = readOnly;
    EXPECT_EQ(Current(writable), L"b 2");
    EXPECT_EQ(writable.AddLineTail(), nullptr) << "the flag came along";
    EXPECT_TRUE(writable.GotoPrev());
    EXPECT_EQ(Current(readOnly), L"b 2") << "each cursor moves on its own";

    // Unbound, read-only and non-list cursors change nothing.
    struct Row { const char* what; CResourceList list; int status; unsigned elements; } rows[] = {
        {"const sea, missing name", CResourceList(&constSea, L"missing"), -1, 0},
        {"null sea", CResourceList(static_cast<CResourceSea*>(nullptr), L"cfg"), -1, 0},
        {"null name", CResourceList(&sea, static_cast<const wchar_t*>(nullptr)), -1, 0},
        {"const sea, existing list", CResourceList(&constSea, L"cfg"), 1, 2},
        {"entry that is no list", CResourceList(&sea, L"plain"), 1, 0},
    };
    const Lines listBefore = sea.ListLines(L"cfg");
    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        CResourceList& list = row.list;
        EXPECT_EQ(list.Status(), row.status);
        EXPECT_EQ(list.NrElements(), row.elements);
        EXPECT_EQ(list.AddLineHead(), nullptr);
        EXPECT_EQ(list.AddLineTail(), nullptr);
        EXPECT_EQ(list.InsertLine(), nullptr);
        EXPECT_EQ(list.GotoTail(), row.elements > 0);
        EXPECT_EQ(list.GetLineByKey(L"a") != nullptr, row.elements > 0);
        EXPECT_EQ(list.GetLineByIndex(0) != nullptr, row.elements > 0);
        list.RemoveCurrent();
        list.RemoveAll();
        EXPECT_EQ(list.NrElements(), row.elements);
        EXPECT_EQ(sea.ListLines(L"cfg"), listBefore);
    }
    EXPECT_FALSE(sea.HasEntry(L"missing"));
    EXPECT_FALSE(sea.IsListEntry(L"plain"));
}

}  // namespace
