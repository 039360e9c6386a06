// Seas in and out of JSON through the tool: the mapping itself and imports
// (the transcript interchange.txt), documents refused whole, and the round
// trip JSON -> sea -> JSON over every example sea and every file of the
// round-trip corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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

TEST_F(InterchangeTest, Transcript) { RunTranscript("interchange.txt"); }

// JSON -> sea -> JSON gives the same document; the sea lists as the original.
TEST_F(InterchangeTest, RoundTripOverTheExamplesAndTheCorpus) {
    const fs::path source = testsupport::DataDir().parent_path().parent_path();
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

TEST_F(InterchangeTest, DocumentsThatWouldNotReadBackAreRefusedWhole) {
    std::ifstream in(testsupport::DataDir() / "golden-sea" / "tool" / "refused-json.txt");
    std::string message, document;
    unsigned cases = 0;
    while (std::getline(in, message)) {
        if (message.empty() || message[0] == '#' || !std::getline(in, document)) continue;
        SCOPED_TRACE(document.substr(0, 80));
        ++cases;
        Write("a.sea", "keep: 1\r\n");
        Write("doc.json", document);
        const ToolRun run = Sea("import a.sea --json doc.json");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(Has(run.err, "doc.json: ") && Has(run.err, message) && Has(run.err, "the file was not changed"))
            << run.err;
        EXPECT_EQ(Read("a.sea"), "keep: 1\r\n");
    }
    EXPECT_GE(cases, 20u);
}

}  // namespace

#endif
