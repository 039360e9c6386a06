// The `sea` tool's commands on files in a temporary folder: output, exit
// status and the bytes left on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "tools/SeaTool.h"

namespace {

namespace fs = std::filesystem;
using seatool::Has;
using seatool::Replaced;
using seatool::SeaToolTest;
using seatool::ToolRun;

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
    ToolRun run = Sea("check good.sea good.sea good.sea");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "3 files, no problems\n");

    run = Sea("check bad.sea");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.out, "\n1 file, 4 problems\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "bad.sea:2: Syntax error: Empty identifier (name before ':' missing)")) << run.out;
    EXPECT_TRUE(Has(run.out, "bad.sea:3: Syntax error: String value not terminated ('\"' missing)"));
    EXPECT_TRUE(Has(run.out, "bad.sea:4: Duplicate identifier"));
    EXPECT_TRUE(Has(run.out, "bad.sea:5: Syntax error in resource list"));
    EXPECT_TRUE(Has(run.out, "List not terminated ('}' missing)"));

    EXPECT_EQ(Sea("check missing.sea good.sea").out, "2 files, 1 problem\n");
    EXPECT_EQ(Sea("check missing.sea").status, 2);
    EXPECT_EQ(Sea("check").status, 2);
    EXPECT_EQ(Sea("frobnicate").status, 2);
}

TEST_F(SeaToolTest, ListAndGet) {
    Write("a.sea", kSea);
    ToolRun run = Sea("list a.sea");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "width\tvalue\t640 480\ntitle\tvalue\t\"Main window\" x\ncolors\tlist\t3 lines\n");
    EXPECT_TRUE(Has(Sea("list --json a.sea").out,
                    "{\"name\": \"title\", \"kind\": \"value\", \"values\": [\"Main window\", \"x\"]}"));
    EXPECT_TRUE(Has(Sea("list --json a.sea").out, "\"lines\": [[\"red\", \"1\"], {\"comment\": \"; inside\"}, [\"green\", \"2\"]]"));
    EXPECT_EQ(Sea("get a.sea width 1").out, "480\n");
    EXPECT_EQ(Sea("get a.sea width --index 1").out, "480\n");
    EXPECT_EQ(Sea("get a.sea width").out, "640 480\n");
    EXPECT_EQ(Sea("get a.sea colors").out, "red 1\n; inside\ngreen 2\n");
    EXPECT_EQ(Sea("get a.sea nothing").status, 1);
}

// A list whose reading failed, with a line too long to rebuild after the bad
// one: the rest of the sea is still shown, and JSON is whole or absent.
TEST_F(SeaToolTest, ListingsSurviveALineThatCannotBeShown) {
    Write("t.sea", "a: 1\r\nl: {\r\n\t\"bad\r\n\t" + std::string(5000, 'x') + "\r\n}\r\nb: 2\r\n");
    const ToolRun text = Sea("list t.sea");
    EXPECT_TRUE(Has(text.out, "a\tvalue\t1\n") && Has(text.out, "b\tvalue\t2\n")) << text.out;
    EXPECT_EQ(Sea("get t.sea b").out, "2\n");
    const ToolRun json = Sea("list --json t.sea");
    for (const ToolRun& run : {text, json}) {
        EXPECT_EQ(run.status == 1, Has(run.err, "t.sea:2: 'l' cannot be shown")) << run.err;
        EXPECT_NE(run.status, 2);
    }
    ASSERT_TRUE(json.out.size() > 4 && json.out.rfind("[\n", 0) == 0 && json.out.substr(json.out.size() - 3) == "\n]\n")
        << json.out;
    EXPECT_TRUE(Has(json.out, "{\"name\": \"b\", \"kind\": \"value\", \"values\": [\"2\"]}"));
}

TEST_F(SeaToolTest, SetDeleteAndAddLineTouchOnlyTheirLines) {
    Write("a.sea", kSea);
    ASSERT_EQ(Sea("set a.sea width 800 600").status, 0);
    EXPECT_EQ(Read("a.sea"), Replaced(kSea, "width: 640 480\r\n", "width:\t800 600 \r\n"));
    ASSERT_EQ(Sea("set a.sea title 'New \"title\"' --index 0").status, 0);
    EXPECT_EQ(Sea("get a.sea title 0").out, "New \"title\"\n");
    EXPECT_EQ(Sea("get a.sea title 1").out, "x\n");
    ASSERT_EQ(Sea("add-line a.sea colors 'blue 3'").status, 0);
    EXPECT_EQ(Sea("get a.sea colors").out, "red 1\n; inside\ngreen 2\nblue 3\n");
    ASSERT_EQ(Sea("delete a.sea width").status, 0);
    EXPECT_FALSE(Has(Read("a.sea"), "width"));
    EXPECT_EQ(Sea("delete a.sea width").status, 1);
    EXPECT_TRUE(Has(Read("a.sea"), "; settings\r\n"));
}

// One argument is one value in every form of set, and reads back as given
// (line ends as their stand-ins).
TEST_F(SeaToolTest, EveryValueReadsBackAsGiven) {
    Write("a.sea", kSea);
    const std::string values = "'two words' 'say \"hi\"' \"$(printf 'l1\\nl2')\" '' '{' ';x' \"$(printf 'c\\rr')\"";
    ASSERT_EQ(Sea("set a.sea v " + values).status, 0);
    const std::string listed =
        "\"values\": [\"two words\", \"say \\\"hi\\\"\", \"l1¶l2\", \"\", \"{\", \";x\", \"c¬r\"]";
    EXPECT_TRUE(Has(Sea("list --json a.sea").out, listed)) << Sea("list --json a.sea").out;
    ASSERT_EQ(Sea("set a.sea v \"$(printf 'x \"y\"\\nz')\" --index 1").status, 0);
    EXPECT_TRUE(Has(Sea("list --json a.sea").out, Replaced(listed, "say \\\"hi\\\"", "x \\\"y\\\"¶z")));
    ASSERT_EQ(Sea("set a.sea w '{'").status, 0) << "a first value '{' must not make a list";
    EXPECT_EQ(Sea("get a.sea w 0").out, "{\n");
}

TEST_F(SeaToolTest, RefusedChangesLeaveTheFileByteForByte) {
    Write("a.sea", kSea);
    const struct { std::string args; const char* message; } cases[] = {
        {"set a.sea '' 1", "the name is empty"},
        {"set a.sea ';x' 1", "would be a comment"},
        {"set a.sea '}x' 1", "would close a list"},
        {"set a.sea \"$(printf '\\tx')\" 1", "starts with white space"},
        {"set a.sea a:b 1", "holds ':'"},
        {"set a.sea '::::: X' 1", "would start a section"},
        {"set a.sea \"$(printf 'a\\rb')\" 1", "'a\\rb' holds a line end"},
        {"set a.sea w 'p§q'", "would read back as 'p\"q'"},
        {"set a.sea w " + std::string(5000, 'x'), "cannot be written"},
        {"set a.sea colors 1", "is a list"},
        {"add-line a.sea colors ' } x'", "would close the list"},
        {"add-line a.sea colors \"$(printf 'a\\nb')\"", "holds a line end"},
        {"add-line a.sea colors ':x'", "does not read back as a list line"},
        {"add-line a.sea colors '\"open'", "does not read back as a list line"},
        {"add-line a.sea colors " + std::string(8191, 'x'), "longer than 8190 characters"},
        {"add-line a.sea 'a:b' x", "holds ':'"},
        {"add-line a.sea width x", "is not a list"},
        // Options a command cannot honour are refused, never ignored.
        {"get a.sea width --json", "option --json is not taken by 'get'"},
        {"get a.sea width 0 --index 0", "usage"},
        {"list a.sea --index 1", "option --index is not taken by 'list'"},
        {"check a.sea --json", "option --json is not taken by 'check'"},
        {"set a.sea width 1 --lossy", "option --lossy is not taken by 'set'"},
        {"add-line a.sea colors x --index 0", "option --index is not taken by 'add-line'"},
        {"convert a.sea --to utf16 --section X", "option --section is not taken by 'convert'"},
        {"merge a.sea a.sea --json", "option --json is not taken by 'merge'"},
        {"set a.sea width 1 --index 0 --index 1", "--index is given twice"},
        {"set a.sea width 1 --section ''", "--section needs a name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.substr(0, 80));
        const ToolRun run = Sea(c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(Has(run.err, c.message)) << run.err;
        EXPECT_EQ(Read("a.sea"), kSea);
    }

    // A file the reader had to repair is not written back.
    Write("broken.sea", "a: 1\r\nb: \"open\r\n");
    const ToolRun run = Sea("set broken.sea a 2");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "has problems"));
    EXPECT_EQ(Read("broken.sea"), "a: 1\r\nb: \"open\r\n");
}

// A failed write says why, and leaves the file as it was.
TEST_F(SeaToolTest, FailedWritesNameTheReason) {
    Write("cp.sea", "a: 1\r\n");
    ToolRun run = Sea("set cp.sea b ☺");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "cannot write 'cp.sea': line 2 holds a character that code page 1252 cannot hold"))
        << run.err;
    fs::permissions(m_dir / "cp.sea", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    run = Sea("set cp.sea a 2");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "cannot write 'cp.sea': Permission denied")) << run.err;
    EXPECT_EQ(Read("cp.sea"), "a: 1\r\n");
}

// A changed file keeps its encoding and every other byte.
TEST_F(SeaToolTest, ChangesKeepTheEncoding) {
    const auto encode = [](const std::string& text, int form) {
        std::string out = form == 1 ? "\xFF\xFE" : form == 2 ? "\xFE\xFF" : form == 3 ? "\xEF\xBB\xBF" : "";
        for (const char c : text) {
            if (form == 1) out += std::string{c, '\0'};
            else if (form == 2) out += std::string{'\0', c};
            else out += c;
        }
        return out;
    };
    const std::string before = "; keep\r\na: 1\nb: 2\r\n", after = "; keep\r\na:\t5 \nb: 2\r\n";
    for (int form = 0; form < 4; ++form) {
        SCOPED_TRACE(form);
        Write("e.sea", encode(before, form));
        ASSERT_EQ(Sea("set e.sea a 5").status, 0);
        EXPECT_EQ(Read("e.sea"), encode(after, form));
    }
}

// --section works in every command; a missing section is an error, never an
// empty sea nor a new section; other sections stay byte for byte.
TEST_F(SeaToolTest, CommandsWorkInsideASection) {
    const std::string shared =
        "a: 1\r\n::::: Extra\r\nb: 2\r\nl: {\r\n\tx\r\n}\r\n::::: Empty\r\n::::: Last\r\nc: 3\r\n";
    Write("s.sea", shared);
    Write("src.sea", "::::: Extra\r\nb: 7\r\n");
    const struct { const char* args; int status; const char* out; } reads[] = {
        {"list s.sea --section Extra", 0, "b\tvalue\t2\nl\tlist\t1 lines\n"},
        {"list --json s.sea --section Empty", 0, "[]\n"},
        {"get s.sea b --section Extra", 0, "2\n"},
        {"get s.sea a --section Extra", 1, ""},
        {"get s.sea b", 1, ""},
        {"cat s.sea --section Extra", 0, "b: 2\nl: {\n\tx\n}\n"},
        {"check s.sea --section Last", 0, "1 file, no problems\n"},
    };
    for (const auto& c : reads) {
        SCOPED_TRACE(c.args);
        const ToolRun run = Sea(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
    }
    const struct { const char* args; std::string after; } changes[] = {
        {"set s.sea b 20 --section Extra", Replaced(shared, "b: 2\r\n", "b:\t20 \r\n")},
        {"add-line s.sea l y --section Extra", Replaced(shared, "\tx\r\n", "\tx\r\n\ty\r\n")},
        {"delete s.sea c --section Last", Replaced(shared, "c: 3\r\n", "")},
        {"set s.sea n 1 --section Empty", Replaced(shared, "Empty\r\n", "Empty\r\nn:\t1 \r\n")},
        {"set s.sea a 5", Replaced(shared, "a: 1\r\n", "a:\t5 \r\n")},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.args);
        Write("s.sea", shared);
        EXPECT_EQ(Sea(c.args).status, 0);
        EXPECT_EQ(Read("s.sea"), c.after);
    }
    Write("s.sea", shared);
    ASSERT_EQ(Sea("merge s.sea src.sea --section Extra").status, 0);
    EXPECT_EQ(Sea("get s.sea b --section Extra").out, "7\n");
    EXPECT_EQ(Sea("get s.sea c --section Last").out, "3\n");

    Write("s.sea", shared);
    for (const char* command : {"check s.sea", "list s.sea", "get s.sea b", "set s.sea b 1", "delete s.sea b",
                                "add-line s.sea l y", "cat s.sea", "merge s.sea src.sea"}) {
        SCOPED_TRACE(command);
        const ToolRun run = Sea(std::string(command) + " --section Nope");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(Has(run.err, "'s.sea' has no section 'Nope'")) << run.err;
        EXPECT_EQ(Read("s.sea"), shared);
    }
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
    EXPECT_TRUE(Read("big.sea") == Replaced(text, old, "key_12345:\tchanged \r\n"))
        << "only the changed line differs";
}

TEST_F(SeaToolTest, CatAndConvertKeepTheText) {
    // "Grüße €" in code page 1252.
    Write("cp.sea", "greeting: \"Gr\xFC\xDF" "e \x80\"\r\n");
    EXPECT_EQ(Sea("cat cp.sea").out, "greeting: \"Grüße €\"\n");
    ASSERT_EQ(Sea("convert cp.sea --to utf16 -o u.sea").status, 0);
    EXPECT_EQ(Read("u.sea").substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Sea("cat u.sea").out, "greeting: \"Grüße €\"\n");
    ASSERT_EQ(Sea("convert u.sea --to cp1252 -o back.sea").status, 0);
    EXPECT_EQ(Read("back.sea"), Read("cp.sea"));
    // Line ends stay as they were, a missing last one too.
    Write("lf.sea", "a: 1\nb: 2\r\nc: 3");
    ASSERT_EQ(Sea("convert lf.sea --to utf8 -o lf8.sea").status, 0);
    EXPECT_EQ(Read("lf8.sea"), "\xEF\xBB\xBF" "a: 1\nb: 2\r\nc: 3");

    // A character code page 1252 cannot hold stops the conversion unless --lossy.
    static const char kWide[] = "\xFF\xFEx\0:\0 \0\x3A\x26\r\0\n\0";  // "x: ☺" in UTF-16LE
    Write("wide.sea", std::string(kWide, sizeof kWide - 1));
    const ToolRun refused = Sea("convert wide.sea --to cp1252 -o narrow.sea");
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(Has(refused.err, "--lossy"));
    EXPECT_FALSE(fs::exists(m_dir / "narrow.sea"));
    ASSERT_EQ(Sea("convert wide.sea --to cp1252 -o narrow.sea --lossy").status, 0);
    EXPECT_EQ(Read("narrow.sea"), "x: ?\r\n");

    // Bytes that do not decode would be replaced: nothing is written.
    static const char kBroken[] = "\xFF\xFEx\0:\0 \0\x00\xD8\r\0\n\0";  // an unpaired surrogate
    Write("broken.sea", std::string(kBroken, sizeof kBroken - 1));
    EXPECT_EQ(Sea("convert broken.sea --to utf16 -o out.sea").status, 2);
    EXPECT_FALSE(fs::exists(m_dir / "out.sea"));
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
    Write("s.sea", "a: 1\r\n::::: Extra\r\n");
    ASSERT_EQ(Sea("import s.sea --db t.db --table settings --section Extra").status, 0);
    EXPECT_EQ(Sea("get s.sea a").out, "1\n");
    EXPECT_EQ(Sea("get s.sea width --section Extra").out, "640 480\n");
    EXPECT_EQ(Sea("import new.sea --db t.db --table settings --section Extra").status, 2);
}
#endif

TEST_F(SeaToolTest, HelpAndVersion) {
    EXPECT_EQ(Sea("--version").out, "sea 0.1.0\n");
    const ToolRun help = Sea("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Has(help.out, "sea check FILE...") && Has(help.out, "--section NAME: every command"));
    const ToolRun setHelp = Sea("set --help");
    EXPECT_EQ(setHelp.status, 0);
    EXPECT_TRUE(Has(setHelp.out, "usage: sea set") && Has(setHelp.out, "Refused: a NAME that is empty"));
    EXPECT_EQ(Sea("help set").out, setHelp.out);
    EXPECT_EQ(Sea("help").out, help.out);
    EXPECT_EQ(Sea("help nope").status, 2);
}

// get --type reads through the library's typed readers and says when the
// text is not of that type's form, where the reader would give 0 silently.
TEST_F(SeaToolTest, TypedGet) {
    Write("t.sea", "n: 42 -7 x 99999999999 1.5e3 0x1F zz 255 128 0 300 rel/p.txt \"\"\r\nl: {\r\n\t1\r\n}\r\n");
    const struct { const char* args; int status; std::string out; } cases[] = {
        {"n --type int", 0, "42\n"},
        {"n 1 --type int", 0, "-7\n"},
        {"n --index 2 --type int", 1, ""},
        {"n --index 3 --type int", 1, ""},  // would saturate
        {"n --index 4 --type float", 0, "1500\n"},
        {"n --index 2 --type float", 1, ""},
        {"n --index 5 --type hex", 0, "31\n"},
        {"n --index 6 --type hex", 1, ""},
        {"n --index 0 --type bool", 0, "true\n"},
        {"n --index 9 --type bool", 0, "false\n"},
        {"n --index 2 --type bool", 1, ""},
        {"n --index 7 --type color", 0, "#ff8000\n"},
        {"n --index 8 --type color", 1, ""},  // 300 is no colour part
        {"n --index 11 --type color", 1, ""},  // three values needed
        {"n --index 11 --type path", 0, m_dir.string() + "/rel/p.txt\n"},
        {"n --index 12 --type path", 1, ""},
        {"n --index 13 --type int", 1, ""},
        {"l --type int", 1, ""},
        {"missing --type int", 1, ""},
        {"n --type text", 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun run = Sea(std::string("get t.sea ") + c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err.empty(), c.status == 0) << run.err;
    }
    EXPECT_TRUE(Has(Sea("get t.sea n --index 2 --type int").err, "value 2 of 'n' is not of type int: 'x'"));
}

// get and set address a value alike: a value beyond the end is missing (exit 1).
TEST_F(SeaToolTest, GetAndSetAddressValuesAlike) {
    Write("a.sea", kSea);
    const struct { const char* args; int status; } cases[] = {
        {"get a.sea width --index 2", 1}, {"get a.sea width 2", 1}, {"set a.sea width 1 --index 3", 1},
        {"get a.sea width --index x", 2}, {"set a.sea width 1 --index x", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Sea(c.args).status, c.status);
        EXPECT_EQ(Read("a.sea"), kSea);
    }
    EXPECT_TRUE(Has(Sea("set a.sea width 1 --index 3").err, "there is no value 3 (--index may be at most 2)"));
    ASSERT_EQ(Sea("set a.sea width 9 --index 2").status, 0);
    EXPECT_EQ(Sea("get a.sea width --index 2").out, "9\n");
}

TEST_F(SeaToolTest, SetCreatesAMissingFile) {
    const ToolRun run = Sea("set new.sea a 1");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "sea: created 'new.sea' (UTF-16LE)\n");
    EXPECT_EQ(Read("new.sea").substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Sea("get new.sea a").out, "1\n");
    EXPECT_EQ(Sea("set new.sea b 2").err, "") << "only a new file is reported";
    // No section, no folder, no invalid name is created.
    for (const char* args : {"set other.sea a 1 --section S", "set no/such/dir.sea a 1", "set other.sea a:b 1"}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Sea(args).status, 2);
        EXPECT_FALSE(fs::exists(m_dir / "other.sea"));
    }
}

// A file without byte-order mark is read as code page 1252; UTF-8 text in
// it is a problem check reports, and convert --from utf8 mends.
TEST_F(SeaToolTest, Utf8WithoutMarkIsReportedAndConverted) {
    Write("u8.sea", "greeting: \"Gr\xC3\xBC\xC3\x9F" "e\"\r\n");
    Write("cp.sea", "greeting: \"Gr\xFC\xDF" "e\"\r\n");
    const ToolRun run = Sea("check u8.sea cp.sea");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "u8.sea: warning: no byte-order mark, but the text looks like UTF-8; it is read as code page "
                       "1252 (if it is UTF-8: 'sea convert FILE --from utf8 --to utf8')\n2 files, 1 problem\n");
    ASSERT_EQ(Sea("convert u8.sea --from utf8 --to utf8").status, 0);
    EXPECT_EQ(Read("u8.sea"), "\xEF\xBB\xBF" "greeting: \"Gr\xC3\xBC\xC3\x9F" "e\"\r\n");
    EXPECT_EQ(Sea("check u8.sea").status, 0);
    ASSERT_EQ(Sea("convert cp.sea --to utf8 -o cp8.sea").status, 0);
    EXPECT_EQ(Read("cp8.sea"), Read("u8.sea"));
    EXPECT_EQ(Sea("get cp8.sea greeting 0").out, "Grüße\n");
    Write("u16.sea", std::string("\xFF\xFE" "a\0:\0 \0" "1\0", 10));
    EXPECT_EQ(Sea("convert u16.sea --from utf8 --to utf8").status, 2) << "its mark names another encoding";
    EXPECT_EQ(Sea("convert cp.sea --from utf16 --to utf8").status, 2);
}

TEST_F(SeaToolTest, DiffComparesEntriesBySection) {
    Write("a.sea", "a: 1\r\nb: 2 3\r\nl: {\r\n\tx 1\r\n}\r\n::::: S\r\nc: 1\r\n");
    Write("b.sea", "; note\nb:   2 4\na:\t1\nl: {\n\tx   1\n; c\n}\nn: 5\n::::: S\nc: 2\n::::: T\nd: 1\n");
    Write("bad.sea", "a: \"open\r\n");
    const struct { const char* args; int status; const char* out; } cases[] = {
        {"diff a.sea b.sea", 1,
         "--- a.sea\n+++ b.sea\n-b: 2 3\n+b: 2 4\n+n: 5\n@@ ::::: S @@\n-c: 1\n+c: 2\n@@ ::::: T @@\n+d: 1\n"},
        {"diff b.sea a.sea --section T", 1, "--- b.sea\n+++ a.sea\n@@ ::::: T @@\n-d: 1\n"},
        {"diff a.sea b.sea --section Nope", 2, ""},
        {"diff a.sea a.sea", 0, ""},
        {"diff a.sea missing.sea", 2, ""},
        {"diff a.sea bad.sea", 2, ""},
        {"diff a.sea", 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun run = Sea(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
    }
    Write("c.sea", "l: {\r\n\tx 1\r\n\ty\r\n}\r\n");
    EXPECT_EQ(Sea("diff a.sea c.sea").out, "--- a.sea\n+++ c.sea\n-a: 1\n-b: 2 3\n-l: {\n-\tx 1\n-}\n+l: {\n+\tx 1\n+\ty\n+}\n"
                                           "@@ ::::: S @@\n-c: 1\n");
}

// The README's command table names every command and option the tool takes,
// and each one appears in a test of the tool.
TEST_F(SeaToolTest, ReadmeListsAndTestsEveryCommandAndOption) {
    const fs::path source = fs::path(KELVARO_TEST_DATA).parent_path().parent_path();
    std::ifstream in(source / "README.md");
    std::string readme((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t table = readme.find("| Command | What it does |");
    ASSERT_NE(table, std::string::npos);
    readme = readme.substr(table, readme.find("\n\n", table) - table);
    std::string tests;
    for (const char* file : {"SeaToolTest.cpp", "InterchangeTest.cpp", "EditCorpusTest.cpp"}) {
        std::ifstream test(source / "tests" / "tools" / file);
        tests += std::string((std::istreambuf_iterator<char>(test)), std::istreambuf_iterator<char>());
    }
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
