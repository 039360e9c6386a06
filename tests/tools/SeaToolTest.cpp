// The `sea` tool's commands on files in a temporary folder: output, exit
// status and the bytes left on disk. Most cases are transcripts in
// tests/data/golden-sea/tool; here are those that need more than a command.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>

#include "tools/SeaTool.h"

namespace {

namespace fs = std::filesystem;
using seatool::Has;
using seatool::SeaToolTest;
using seatool::ToolRun;

TEST_F(SeaToolTest, Transcripts) {
    RunTranscript("commands.txt");
#if KELVARO_HAVE_SQLITE
    RunTranscript("sqlite.txt");
#endif
}

// A failed write says why, and leaves the file as it was.
TEST_F(SeaToolTest, AFileWithoutWriteRightsIsLeftAsItWas) {
    Write("cp.sea", "a: 1\r\n");
    fs::permissions(m_dir / "cp.sea", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const ToolRun run = Sea("set cp.sea a 2");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "cannot write 'cp.sea': Permission denied")) << run.err;
    EXPECT_EQ(Read("cp.sea"), "a: 1\r\n");
}

TEST_F(SeaToolTest, SetOnALargeFileChangesOneLine) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        if (i % 10 == 0) text += ";  note " + std::to_string(i) + "\r\n";
        text += "key_" + std::to_string(i) + ":  " + std::to_string(i) + "   \"quoted value\"\r\n";
    }
    Write("big.sea", text);
    ASSERT_EQ(Sea("set big.sea key_12345 changed").status, 0);
    const std::string old = "key_12345:  12345   \"quoted value\"\r\n";
    EXPECT_TRUE(Read("big.sea") == text.replace(text.find(old), old.size(), "key_12345:\tchanged \r\n"))
        << "only the changed line differs";
}

// The README's command table names every command and option the tool takes,
// and each one appears in a test of the tool.
TEST_F(SeaToolTest, ReadmeListsAndTestsEveryCommandAndOption) {
    const fs::path source = testsupport::DataDir().parent_path().parent_path();
    std::string readme = testsupport::ReadBytes(source / "README.md");
    const std::size_t table = readme.find("| Command | What it does |");
    ASSERT_NE(table, std::string::npos);
    readme = readme.substr(table, readme.find("\n\n", table) - table);
    std::string tests;
    for (const char* file : {"tools/SeaToolTest.cpp", "tools/InterchangeTest.cpp", "tools/EditCorpusTest.cpp",
                             "data/golden-sea/tool/commands.txt", "data/golden-sea/tool/sqlite.txt",
                             "data/golden-sea/tool/interchange.txt"})
        tests += testsupport::ReadBytes(source / "tests" / file);
    // A transcript's command line counts as a command a test runs.
    tests = std::regex_replace(tests, std::regex("\n\\$\\+? "), "\n\"");
    const std::string usage = Sea("--help").out;
    const std::regex commandLine(R"(\n  sea ([a-z-]+) ([^\n]*))"), optionWord(R"([ \[](--?[a-z-]+))");
    unsigned commands = 0;
    for (auto line = std::sregex_iterator(usage.begin(), usage.end(), commandLine); line != std::sregex_iterator();
         ++line) {
        const std::string command = (*line)[1], forms = (*line)[2];
        SCOPED_TRACE(command);
        ++commands;
        std::string rows;  // the README's rows of the command
        for (std::size_t at = readme.find("| `sea " + command + " "); at != std::string::npos;
             at = readme.find("| `sea " + command + " ", at + 1))
            rows += readme.substr(at, readme.find('\n', at) - at);
        EXPECT_FALSE(rows.empty()) << "the README has no row for " << command;
        EXPECT_TRUE(Has(tests, "\"" + command + " ")) << "no test runs " << command;
        for (auto word = std::sregex_iterator(forms.begin(), forms.end(), optionWord); word != std::sregex_iterator();
             ++word) {
            const std::string option = (*word)[1];
            // --section is one option of every command, told of below the table.
            EXPECT_TRUE(option == "--section" || Has(rows, option)) << "the README's row lacks " << option;
            bool tested = false;  // a line of a test that runs the command with the option
            for (std::size_t t = tests.find(command + " "); t != std::string::npos && !tested;
                 t = tests.find(command + " ", t + 1))
                tested = Has(tests.substr(t, tests.find('\n', t) - t), option);
            EXPECT_TRUE(tested) << "no test runs " << command << " " << option;
        }
    }
    EXPECT_GE(commands, 12u);
}

TEST_F(SeaToolTest, ConcurrentSetsLoseNothing) {
    Write("c.sea", "a: 1\r\n");
    const std::string tool = "'" KELVARO_SEA_TOOL "'";
    const ToolRun run = Sea("--help >/dev/null; for w in 1 2 3; do (for i in $(seq 25); do " + tool +
                            " set c.sea w${w}r$i $i || echo failed; done) & done; wait");
    EXPECT_EQ(run.out, "") << run.err;
    EXPECT_EQ(Sea("check c.sea").status, 0);
    const std::string text = Read("c.sea");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 3 * 25) << "every writer's every name is there";
    EXPECT_FALSE(fs::exists(m_dir / ".c.sea.~lock"));
}

}  // namespace
