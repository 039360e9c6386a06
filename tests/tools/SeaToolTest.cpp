// Drives the built `sea` binary as a user would: command lines on files in a
// temporary folder, checking output, exit status and the bytes left on disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
};

class SeaToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("kelvaro-seatool-" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directory(m_dir));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // Runs `sea ARGS` in the test folder; standard error is dropped unless asked for.
    ToolRun Sea(const std::string& args, bool withErrors = false) const {
        const std::string command = "cd '" + m_dir.string() + "' && '" KELVARO_SEA_TOOL "' " + args +
                                    (withErrors ? " 2>&1" : " 2>/dev/null");
        ToolRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return run;
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
        const int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return run;
    }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(m_dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path m_dir;
};

const std::string kSea =
    "; settings\r\n"
    "width: 640 480\r\n"
    "title:\t\"Main window\"   x\r\n"
    "colors: {\r\n"
    "\tred 1\r\n"
    "; inside\r\n"
    "\tgreen 2\r\n"
    "} \t;-- colors\r\n";

TEST_F(SeaToolTest, CheckReportsProblemsWithFileAndLine) {
    Write("good.sea", kSea);
    Write("bad.sea", "a: 1\r\n: 5\r\nb: \"open\r\na: 2\r\nlist: {\r\n\tx\r\n");
    ToolRun run = Sea("check good.sea");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");

    run = Sea("check bad.sea");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("bad.sea:2: Syntax error: Empty identifier (name before ':' missing)"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("bad.sea:3: Syntax error: String value not terminated ('\"' missing)"), std::string::npos);
    EXPECT_NE(run.out.find("bad.sea:4: Duplicate identifier"), std::string::npos);
    EXPECT_NE(run.out.find("bad.sea:5: Syntax error in resource list"), std::string::npos);
    EXPECT_NE(run.out.find("List not terminated ('}' missing)"), std::string::npos);

    EXPECT_EQ(Sea("check missing.sea").status, 2);
    EXPECT_EQ(Sea("check").status, 2);
    EXPECT_EQ(Sea("frobnicate").status, 2);
}

TEST_F(SeaToolTest, CheckOneSection) {
    Write("shared.sea", "a: 1\r\n::::: Extra\r\nb: \"open\r\n");
    ToolRun run = Sea("check --section Extra shared.sea");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(":3: Syntax error"), std::string::npos) << run.out;
}

TEST_F(SeaToolTest, ListAndGet) {
    Write("a.sea", kSea);
    ToolRun run = Sea("list a.sea");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "width\tvalue\t640 480\ntitle\tvalue\t\"Main window\" x\ncolors\tlist\t3 lines\n");

    run = Sea("list --json a.sea");
    EXPECT_NE(run.out.find("{\"name\": \"title\", \"kind\": \"value\", \"values\": [\"Main window\", \"x\"]}"),
              std::string::npos)
        << run.out;

    EXPECT_EQ(Sea("get a.sea width 1").out, "480\n");
    EXPECT_EQ(Sea("get a.sea width").out, "640 480\n");
    EXPECT_EQ(Sea("get a.sea colors").out, "red 1\n; inside\ngreen 2\n");
    EXPECT_EQ(Sea("get a.sea width 2").status, 1);
    EXPECT_EQ(Sea("get a.sea nothing").status, 1);
    EXPECT_EQ(Sea("get a.sea width x").status, 2);
}

TEST_F(SeaToolTest, SetDeleteAndAddLineTouchOnlyTheirLines) {
    Write("a.sea", kSea);
    ASSERT_EQ(Sea("set a.sea width 800 600").status, 0);
    std::string expected = kSea;
    expected.replace(expected.find("width: 640 480\r\n"), 16, "width:\t800 600 \r\n");
    EXPECT_EQ(Read("a.sea"), expected);

    ASSERT_EQ(Sea("set a.sea title 'New \"title\"' --index 0").status, 0);
    EXPECT_EQ(Sea("get a.sea title 0").out, "New \"title\"\n");
    EXPECT_EQ(Sea("get a.sea title 1").out, "x\n");

    ASSERT_EQ(Sea("add-line a.sea colors 'blue 3'").status, 0);
    EXPECT_EQ(Sea("get a.sea colors").out, "red 1\n; inside\ngreen 2\nblue 3\n");
    ASSERT_EQ(Sea("delete a.sea width").status, 0);
    EXPECT_EQ(Read("a.sea").find("width"), std::string::npos);
    EXPECT_EQ(Sea("delete a.sea width").status, 1);
    EXPECT_NE(Read("a.sea").find("; settings\r\n"), std::string::npos);
}

TEST_F(SeaToolTest, FailedChangesLeaveTheFileByteForByte) {
    Write("a.sea", kSea);
    const std::string before = Read("a.sea");
    EXPECT_EQ(Sea("set a.sea width 1 --index 7").status, 2);
    EXPECT_EQ(Sea("set a.sea colors 1").status, 2) << "a list is not set by value";
    EXPECT_EQ(Sea("set a.sea 'a:b' 1").status, 2);
    EXPECT_EQ(Sea("add-line a.sea width x").status, 2) << "width is no list";
    EXPECT_EQ(Read("a.sea"), before);

    // A file the reader had to repair is not written back.
    Write("broken.sea", "a: 1\r\nb: \"open\r\n");
    const std::string broken = Read("broken.sea");
    const ToolRun run = Sea("set broken.sea a 2", true);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("has problems"), std::string::npos);
    EXPECT_EQ(Read("broken.sea"), broken);

    // A read-only file is refused and kept.
    fs::permissions(m_dir / "a.sea", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Sea("set a.sea width 1").status, 2);
    EXPECT_EQ(Read("a.sea"), before);
}

TEST_F(SeaToolTest, SetOnALargeFileChangesOneLine) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        if (i % 10 == 0) text += ";  note " + std::to_string(i) + "\r\n";
        text += "key_" + std::to_string(i) + ":  " + std::to_string(i) + "   \"quoted value\"\r\n";
    }
    Write("big.sea", text);
    ASSERT_EQ(Sea("set big.sea key_12345 changed").status, 0);
    const std::string after = Read("big.sea");
    const std::string old = "key_12345:  12345   \"quoted value\"\r\n";
    std::string expected = text;
    expected.replace(expected.find(old), old.size(), "key_12345:\tchanged \r\n");
    EXPECT_TRUE(after == expected) << "only the changed line differs";
}

TEST_F(SeaToolTest, CatAndConvertKeepTheText) {
    // "Grüße €" in code page 1252.
    Write("cp.sea", "greeting: \"Gr\xFC\xDF" "e \x80\"\r\n");
    EXPECT_EQ(Sea("cat cp.sea").out, "greeting: \"Grüße €\"\n");
    ASSERT_EQ(Sea("convert cp.sea --to utf16 -o u.sea").status, 0);
    const std::string utf16 = Read("u.sea");
    ASSERT_GE(utf16.size(), 2u);
    EXPECT_EQ(utf16.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Sea("cat u.sea").out, "greeting: \"Grüße €\"\n");
    ASSERT_EQ(Sea("convert u.sea --to cp1252 -o back.sea").status, 0);
    EXPECT_EQ(Read("back.sea"), Read("cp.sea"));

    // A character code page 1252 cannot hold stops the conversion unless --lossy.
    static const char kWide[] = "\xFF\xFEx\0:\0 \0\x3A\x26\r\0\n\0";  // "x: ☺" in UTF-16LE
    Write("wide.sea", std::string(kWide, sizeof kWide - 1));
    const ToolRun refused = Sea("convert wide.sea --to cp1252 -o narrow.sea", true);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.out.find("--lossy"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_dir / "narrow.sea"));
    ASSERT_EQ(Sea("convert wide.sea --to cp1252 -o narrow.sea --lossy").status, 0);
    EXPECT_EQ(Read("narrow.sea"), "x: ?\r\n");
}

TEST_F(SeaToolTest, MergeAddsAndOverwrites) {
    Write("t.sea", "a: 1\r\nb: 2\r\n");
    Write("s.sea", "b: 20\r\nc: 30\r\n");
    ASSERT_EQ(Sea("merge t.sea s.sea --keep-existing").status, 0);
    EXPECT_EQ(Sea("get t.sea b").out, "2\n");
    EXPECT_EQ(Sea("get t.sea c").out, "30\n");
    ASSERT_EQ(Sea("merge t.sea s.sea").status, 0);
    EXPECT_EQ(Sea("get t.sea b").out, "20\n");
}

#if KELVARO_HAVE_SQLITE
TEST_F(SeaToolTest, ExportThenImportReproducesTheSea) {
    Write("a.sea", kSea);
    ASSERT_EQ(Sea("export a.sea --db t.db --table settings").status, 0);
    ASSERT_EQ(Sea("import b.sea --db t.db --table settings").status, 0);
    EXPECT_EQ(Sea("list b.sea").out, Sea("list a.sea").out);
    EXPECT_EQ(Sea("get b.sea colors").out, Sea("get a.sea colors").out);
}
#endif

TEST_F(SeaToolTest, HelpAndVersion) {
    EXPECT_EQ(Sea("--version").out, "sea 0.1.0\n");
    const ToolRun help = Sea("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("sea check FILE..."), std::string::npos);
    const ToolRun setHelp = Sea("set --help");
    EXPECT_EQ(setHelp.status, 0);
    EXPECT_NE(setHelp.out.find("usage: sea set"), std::string::npos);
}

}  // namespace
