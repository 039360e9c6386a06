// The list cursor by scripts of steps (cases/sea-list-moves.txt); binding, assignment, refusals.
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
    CString text(L"-");
    if (const CResourceEntry* line = list.GetCurrentLine()) line->GetLine(text);
    return text.GetString();
}

// One step of tests/data/cases/sea-list-moves.txt; whether it succeeded.
bool RunStep(CResourceList& list, const CaseRow& step) {
    const std::string& op = step.raw[0];
    const auto added = [](const CResourceEntry* line) { return line != nullptr && line->IsListLine(); };
    if (op == "head") return list.GotoHead();
    if (op == "tail") return list.GotoTail();
    if (op == "next") return list.GotoNext();
    if (op == "prev") return list.GotoPrev();
    if (op == "line") return list.GotoLine(static_cast<unsigned>(step.Number(1)));
    if (op == "key") return list.GetLineByKey(step.Null(1) ? nullptr : step.Text(1).c_str()) != nullptr;
    if (op == "intkey") return list.GetLineByKey(static_cast<int>(step.Number(1))) != nullptr;
    if (op == "index") return list.GetLineByIndex(static_cast<unsigned>(step.Number(1))) == list.GetCurrentLine();
    if (op == "addhead") return added(list.AddLineHead());
    if (op == "addtail") return added(list.AddLineTail());
    if (op == "insert") return added(list.InsertLine());
    if (op == "comment") return list.GetCurrentLine()->SetToComment(nullptr), true;
    if (op == "marked") {
        unsigned marked = 0;
        for (bool ok = list.GotoHead(); ok; ok = list.GotoNext()) marked += list.GetCurrentLine()->Accessed() ? 1 : 0;
        return marked == step.Number(1);
    }
    if (op == "remove") return list.RemoveCurrent(), true;
    if (op == "removeall") return list.RemoveAll(), true;
    ADD_FAILURE() << step.Where() << ": no such step";
    return false;
}

TEST(ResourceList, ScriptsBindingAssignmentAndCursorsThatChangeNothing) {
    struct Script { std::string what; Lines lines; unsigned elements; std::vector<CaseRow> steps; };
    std::vector<Script> scripts;
    for (const CaseRow& row : ReadCases("sea-list-moves.txt", 4)) {
        if (row.raw[0] == "list")
            scripts.push_back({row.Where() + " " + row.raw[1], row.raw[2] == "default" ? kList : row.List(2),
                               static_cast<unsigned>(row.Number(3)), {}});
        else if (!scripts.empty())
            scripts.back().steps.push_back(row);
    }
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.what);
        ScratchDir dir;
        TestSea sea;
        LoadList(sea, dir, script.lines);
        CResourceList list(&sea, L"cfg");
        EXPECT_TRUE(list.IsEmpty() == script.lines.empty() && list.NrElements() == script.elements);
        EXPECT_EQ(Current(list), L"-");
        bool added = false;
        for (const CaseRow& step : script.steps) {
            SCOPED_TRACE(step.Where());
            EXPECT_EQ(RunStep(list, step), step.Flag(2));
            EXPECT_EQ(Current(list), step.Text(3));
            EXPECT_EQ(list.IsValid(), step.Text(3) != L"-");
            added = added || step.raw[0].rfind("add", 0) == 0 || step.raw[0] == "insert";
            EXPECT_EQ(sea.GetEntry(L"cfg")->Modified(), added) << "only an added line marks the list";
            if (step.raw.size() < 6) continue;
            EXPECT_EQ(sea.ListLines(L"cfg"), step.List(4));
            EXPECT_TRUE(list.IsEmpty() == step.List(4).empty() && list.NrElements() == step.Number(5)) << list.NrElements();
        }
        // What the cursor did reaches the file, the lines around the list untouched.
        TestSea again;
        ASSERT_TRUE(sea.UpdateIfPossible() && again.Create(dir.Wide("list.sea"), true));
        EXPECT_EQ(again.ListLines(L"cfg"), sea.ListLines(L"cfg"));
        EXPECT_EQ(again.Values({{L"before", 0}, {L"plain", 0}}), (Lines{L"1", L"5"}));
        if (sea.ListLines(L"cfg").empty()) {
            EXPECT_EQ(ReadBytes(dir.Path("list.sea")), SeaUtf16({L"before: 1", L"cfg: {", L"}", L"plain: 5"}));
        }
    }

    // Binding, assignment, and cursors that change nothing.
    ScratchDir dir;
    TestSea sea;
    LoadList(sea, dir);
    EXPECT_FALSE(sea.GetEntry(L"cfg")->Accessed());
    const CResourceSea& constSea = sea;
    CResourceList readOnly(&constSea, L"cfg");
    EXPECT_TRUE(sea.GetEntry(L"cfg")->Accessed()) << "also through a const sea";

    const unsigned entries = sea.NrEntries();
    CResourceList created(&sea, L"newlist");
    EXPECT_TRUE(created.Status() == 1 && sea.IsListEntry(L"newlist") && sea.GetEntry(L"newlist")->Accessed());
    EXPECT_EQ(sea.NrEntries(), entries + 1);
    EXPECT_TRUE(created.AddLineTail() != nullptr && created.NrElements() == 1u);
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
        EXPECT_TRUE(list.Status() == row.status && list.NrElements() == row.elements);
        EXPECT_TRUE(list.AddLineHead() == nullptr && list.AddLineTail() == nullptr && list.InsertLine() == nullptr);
        EXPECT_EQ(std::vector<bool>({list.GotoTail(), list.GetLineByKey(L"a") != nullptr, list.GetLineByIndex(0) != nullptr}),
                  std::vector<bool>(3, row.elements > 0));
        list.RemoveCurrent();
        list.RemoveAll();
        EXPECT_EQ(list.NrElements(), row.elements);
        EXPECT_EQ(sea.ListLines(L"cfg"), listBefore);
    }
    EXPECT_FALSE(sea.HasEntry(L"missing") || sea.IsListEntry(L"plain"));
}

}  // namespace
