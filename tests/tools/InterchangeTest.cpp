// Seas in and out of JSON through the tool: the mapping itself, documents
// refused whole, and the round trip JSON -> sea -> JSON over every example
// sea and every file of the round-trip corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/SeaTool.h"

#if KELVARO_SEA_HAVE_JSON

namespace {

namespace fs = std::filesystem;
using seatool::Has;
using seatool::SeaToolTest;
using seatool::ToolRun;

class InterchangeTest : public SeaToolTest {};

const std::string kSea =
    "; settings\r\n"
    "width: 640 480\r\n"
    "title:\t\"Main window\"   \"say \xA7hi\xA7\"\r\n"
    "empty:\r\n"
    "colors: {\r\n"
    "\tred 1\r\n"
    "; inside\r\n"
    "}\r\n";

TEST_F(InterchangeTest, ExportWritesTheDocumentedMapping) {
    Write("a.sea", kSea);
    const std::string expected = R"({
  "entries": [
    {
      "comment": "; settings"
    },
    {
      "name": "width",
      "values": [
        "640",
        "480"
      ]
    },
    {
      "name": "title",
      "values": [
        "Main window",
        "say \"hi\""
      ]
    },
    {
      "name": "empty",
      "values": []
    },
    {
      "name": "colors",
      "lines": [
        [
          "red",
          "1"
        ],
        {
          "comment": "; inside"
        }
      ]
    }
  ]
}
)";
    const ToolRun run = Sea("export a.sea --json");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, expected);
    ASSERT_EQ(Sea("export a.sea --json -o out.json").status, 0);
    EXPECT_EQ(Read("out.json"), expected);

    // What the mapping cannot carry is not exported at all.
    Write("bad.sea", "a: \"open\r\n");
    EXPECT_EQ(Sea("export bad.sea --json -o bad.json").status, 2);
    EXPECT_FALSE(fs::exists(m_dir / "bad.json"));
}

// JSON -> sea -> JSON gives the same document; the sea lists as the original.
TEST_F(InterchangeTest, RoundTripOverTheExamplesAndTheCorpus) {
    const fs::path source = fs::path(KELVARO_TEST_DATA).parent_path().parent_path();
    std::vector<fs::path> files;
    for (const fs::path& folder : {source / "examples", source / "tests" / "data" / "valid"})
        for (const auto& item : fs::directory_iterator(folder))
            if (item.path().extension() == ".sea") files.push_back(item.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 20u);
    unsigned parts = 0, refused = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        fs::copy_file(file, m_dir / "in.sea", fs::copy_options::overwrite_existing);
        if (Sea("export in.sea --json").status != 0) {  // only a file with problems is refused
            EXPECT_TRUE(Has(Sea("export in.sea --json").err, "has problems"));
            ++refused;
            continue;
        }
        std::vector<std::string> sections{""};
        const std::string text = Sea("cat in.sea").out;
        for (std::size_t line = 0; line < text.size(); line = text.find('\n', line) + 1)
            if (text.compare(line, 6, "::::: ") == 0) sections.push_back(text.substr(line + 6, text.find('\n', line) - line - 6));
        for (const std::string& section : sections) {
            SCOPED_TRACE(section);
            const std::string part = section.empty() ? "" : " --section '" + section + "'";
            ASSERT_EQ(Sea("export in.sea --json -o first.json" + part).status, 0) << Sea("export in.sea --json" + part).err;
            fs::remove(m_dir / "out.sea");
            // A line the file holds whole may be too long for a sea to build anew.
            const bool tooLong = file.filename() == "longest-line.sea";
            const ToolRun imported = Sea("import out.sea --json first.json");
            ASSERT_EQ(imported.status, tooLong ? 2 : 0) << imported.err;
            if (tooLong) {
                EXPECT_TRUE(Has(imported.err, "first.json: entries[1]: long: maximum resource line")) << imported.err;
                continue;
            }
            EXPECT_EQ(Sea("export out.sea --json").out, Read("first.json"));
            EXPECT_EQ(Sea("list --json out.sea").out, Sea("list --json in.sea" + part).out);
            ++parts;
        }
    }
    EXPECT_GE(parts, 25u);
    EXPECT_EQ(refused, 1u) << "examples/mistakes.sea";
}

TEST_F(InterchangeTest, ImportReplacesOrMergesAndKeepsTheRest) {
    // Code page 1252 with LF line ends, and a section that must stay as it is.
    const std::string shared = "a: 1\nb: 2\n::::: Other\nc: 3\n";
    Write("doc.json", R"({"entries": [{"comment": "; new"}, {"name": "b", "values": ["20"]},
                                      {"name": "l", "lines": [["x", "y z"], {"comment": ""}]}]})");
    Write("s.sea", shared);
    ASSERT_EQ(Sea("import s.sea --json doc.json").status, 0);
    EXPECT_EQ(Read("s.sea"), "; new \nb:\t20 \nl: {\n\tx \"y z\" \n\n} \t;-- l\n::::: Other\nc: 3\n");
    Write("s.sea", shared);
    ASSERT_EQ(Sea("import s.sea --json doc.json --merge").status, 0);
    EXPECT_EQ(Sea("list s.sea").out, "a\tvalue\t1\nb\tvalue\t20\nl\tlist\t2 lines\n");
    Write("s.sea", shared);
    ASSERT_EQ(Sea("import s.sea --json doc.json --section Other").status, 0);
    EXPECT_EQ(Sea("list s.sea --section Other").out, "b\tvalue\t20\nl\tlist\t2 lines\n");
    EXPECT_EQ(Sea("get s.sea a").out, "1\n");
    EXPECT_EQ(Sea("import new.sea --json doc.json --section Other").status, 2);
    EXPECT_FALSE(fs::exists(m_dir / "new.sea"));
}

TEST_F(InterchangeTest, DocumentsThatWouldNotReadBackAreRefusedWhole) {
    const std::string before = "keep: 1\r\n";
    const struct { std::string document, message; } cases[] = {
        {"{\"entries\": [", "parse error at line 1, column 14"},
        {"[]", "must be an object with the one member \"entries\""},
        {R"({"entries": [], "x": 1})", "must be an object with the one member"},
        {R"({"entries": {}})", "entries: must be an array"},
        {R"({"entries": [{"name": "a", "values": [1]}]})", "entries[0].values[0]: must be a string"},
        {R"({"entries": [{"name": "a", "values": []}, {"name": "a", "values": []}]})", "entries[1].name: 'a' is given twice"},
        {R"({"entries": [{"name": "a:b", "values": []}]})", "holds ':'"},
        {R"({"entries": [{"name": "", "values": []}]})", "entries[0].name: is empty"},
        {R"({"entries": [{"name": "a", "values": ["x\ny"]}]})", "entries[0].values[0]: holds a line end"},
        {R"({"entries": [{"name": "a", "values": ["p§q"]}]})", "which a sea reads back as '\"'"},
        {R"({"entries": [{"name": "a", "value": []}]})", "unknown member \"value\""},
        {R"({"entries": [{"name": "a", "values": [], "lines": []}]})", "exactly one of \"values\" and \"lines\""},
        {R"({"entries": [{"values": []}]})", "neither \"name\" nor \"comment\""},
        {R"({"entries": [{"name": "l", "lines": [[]]}]})", "entries[0].lines[0]: a list line needs at least one value"},
        {R"({"entries": [{"name": "l", "lines": [{"comment": "x"}]}]})", "does not start with ';'"},
        {R"({"entries": [{"comment": "; a\nb"}]})", "entries[0].comment: holds a line end"},
        {R"({"entries": [{"comment": ";x"}]})", "entries[0].comment: is not '; ' and text"},
        {R"({"entries": [{"comment": "; a", "name": "b"}]})", "a comment has no member but \"comment\""},
        {R"({"entries": [{"name": "a", "values": [")" + std::string(5000, 'x') + R"("]}]})", "entries[0]: a: maximum resource line"},
        {R"({"entries": [1]})", "entries[0]: must be an object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document.substr(0, 80));
        Write("a.sea", before);
        Write("doc.json", c.document);
        const ToolRun run = Sea("import a.sea --json doc.json");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(Has(run.err, "doc.json: ") && Has(run.err, c.message) && Has(run.err, "the file was not changed"))
            << run.err;
        EXPECT_EQ(Read("a.sea"), before);
    }
    // The verbs keep their forms: one source, options of the other form refused.
    for (const char* args : {"export a.sea", "export a.sea --json --db t.db", "export a.sea --json --table t",
                             "export a.sea --db t.db -o x", "import a.sea", "import a.sea --json doc.json --table t",
                             "import a.sea --json"}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Sea(args).status, 2);
    }
}

}  // namespace

#endif
