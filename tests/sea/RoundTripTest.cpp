// Round trips: the corpus comes back byte for byte, and a killed writer leaves the old or the new file.
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "sea/SeaTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace seatest;

const fs::path kData = testsupport::DataDir();

// Reads `path` into a sea of the file's encoding and writes it back in place;
// returns the reports, with the file's path replaced by "{file}".
std::string ReadAndWriteBack(const fs::path& path) {
    CaptureOutput capture;
    TestSea sea;
    sea.SaveAsUnicode(ReadBytes(path).rfind("\xFF\xFE", 0) == 0);
    EXPECT_TRUE(sea.Create(CString(path.wstring()), false));
    EXPECT_TRUE(sea.UpdateIfPossible());
    std::string reports;
    const std::wstring name = path.wstring();
    for (std::wstring text : capture.Texts()) {
        for (std::size_t at = text.find(name); at != std::wstring::npos; at = text.find(name, at))
            text.replace(at, name.size(), L"{file}");
        // The reports are ASCII apart from the lines they quote, which are checked through the output.
        for (wchar_t ch : text) reports.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    }
    return reports;
}

// The seas of the corpus folders, without the expected outputs.
std::vector<fs::path> CorpusFiles(const std::vector<fs::path>& folders) {
    std::vector<fs::path> files;
    for (const fs::path& folder : folders)
        for (const auto& item : fs::directory_iterator(folder))
            if (item.path().extension() == ".sea" && item.path().stem().extension() != ".out")
                files.push_back(item.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Valid files give no report and come back as they are; invalid ones give
// their reports and their expected output (the file itself if none).
TEST(SeaRoundTrip, CorpusComesBackByteForByteOrAsItsExpectedOutput) {
    for (const bool valid : {true, false}) {
        const auto files = CorpusFiles(valid ? std::vector{kData / "valid"}
                                             : std::vector{kData / "invalid", kData / "golden-sea" / "reading"});
        ASSERT_GE(files.size(), 8u);
        for (const auto& source : files) {
            SCOPED_TRACE(source.filename().string());
            const fs::path expectedOutput = fs::path(source).replace_extension(".out.sea"),
                           expectedReports = fs::path(source).replace_extension(".reports.txt");
            ASSERT_NE(fs::exists(expectedReports), valid) << "every invalid file, and only those, says what it reports";
            ScratchDir dir;
            const fs::path copy = dir.Path(source.filename().string());
            fs::copy_file(source, copy);
            EXPECT_EQ(ReadAndWriteBack(copy), valid ? "" : ReadBytes(expectedReports));
            const std::string written = ReadBytes(copy);
            EXPECT_EQ(written, ReadBytes(!valid && fs::exists(expectedOutput) ? expectedOutput : source));
            ReadAndWriteBack(copy);
            EXPECT_EQ(ReadBytes(copy), written) << "what a write produced is stable";
        }
    }
}

// A child writes a large sea over an old file and is killed at a moment
// spread over the time the write takes: the file is always the old one or the
// new one, whole, and a stage left behind shows nothing to others.
TEST(SeaRoundTrip, KilledWriterLeavesTheOldOrTheNewFile) {
    Lines lines;
    for (int i = 0; i < 20000; ++i)
        lines.push_back(L"key" + std::to_wstring(i) + L": " + std::to_wstring(i * 7919 % 100000) + L" \"v\" x");
    const std::string oldBytes = SeaUtf16(lines);
    ScratchDir dir;
    const fs::path target = dir.Path("big.sea");
    // Every named line rebuilt, so that the bytes differ throughout.
    const auto rewrite = [](const CString& path) {
        TestSea sea;
        if (!sea.Create(path, false)) return false;
        CString name;
        for (POSITION pos = sea.GetEntriesStartPosition(); pos != nullptr;) sea.GetNextEntry(name, pos)->SetInt(7, 0);
        return sea.UpdateIfPossible();
    };
    WriteBytes(dir.Path("new.sea"), oldBytes);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(rewrite(dir.Wide("new.sea")));
    const auto writeTime = std::chrono::steady_clock::now() - start;
    const std::string newBytes = ReadBytes(dir.Path("new.sea"));
    ASSERT_NE(newBytes, oldBytes);
    const auto stages = [&] {
        std::vector<std::string> found = dir.Names();
        std::erase_if(found, [](const std::string& name) { return name.rfind(".big.sea.~", 0) != 0; });
        return found;
    };
    const fs::perms mine = fs::perms::owner_read | fs::perms::owner_write;
    const int rounds = std::getenv("KELVARO_LONG_TESTS") != nullptr ? 100 : 8;
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        WriteBytes(target, oldBytes);
        fs::permissions(target, mine);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            char byte = 1;
            if (write(ready[1], &byte, 1) != 1) _exit(3);
            _exit(rewrite(CString(target.wstring())) ? 0 : 1);
        }
        close(ready[1]);
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        // Kill points from the start of the write to well past its end (a
        // forked writer runs slower than the measured one: its pages are copied).
        std::this_thread::sleep_for(writeTime * 2 * (round % 8) / 7 + std::chrono::microseconds(std::rand() % 2000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::string now = ReadBytes(target);
        const bool isOld = now == oldBytes, isNew = now == newBytes;
        EXPECT_TRUE(isOld || isNew) << "size " << now.size() << ", old " << oldBytes.size() << ", new " << newBytes.size();
        if (!WIFSIGNALED(status)) { EXPECT_TRUE(WEXITSTATUS(status) == 0 && isNew) << "a finished write leaves the new"; }
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, mine);
        for (const std::string& stage : stages())
            EXPECT_EQ(fs::status(dir.Path(stage)).permissions() & (fs::perms::group_all | fs::perms::others_all),
                      fs::perms::none)
                << stage << " shows a private file to others";
        sawOld += isOld;
        sawNew += isNew;
    }
    // The next save removes what killed saves left.
    ASSERT_TRUE(rewrite(CString(target.wstring())));
    EXPECT_TRUE(stages().empty());
    std::printf("killed writer: %d times the old file, %d times the new one\n", sawOld, sawNew);
}

}  // namespace
