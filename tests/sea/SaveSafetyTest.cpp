// Saves on a shared machine: special files, links, rights, failing system calls, several writers.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <grp.h>

#include <algorithm>
#include <cstring>

#include "sea/SeaTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace seatest;

const std::string kOld = "a: 1\r\nb: 2\r\n";

// Staged files left in the folder (their names start with a dot).
std::vector<std::string> Leftovers(const ScratchDir& dir) {
    std::vector<std::string> found = dir.Names();
    std::erase_if(found, [](const std::string& name) { return name[0] != '.'; });
    return found;
}

// A sea with one change to save into `path`.
bool SaveChange(const CString& path, const wchar_t* value = L"changed") {
    CaptureOutput quiet;
    TestSea sea;
    if (!sea.Create(path, false)) return false;
    sea.CreateEntry(L"a", 0)->SetText(value, 0);
    return sea.UpdateIfPossible();
}

TEST(SaveSafety, SpecialFilesAreRefusedLinksStayWhatTheyWere) {
    ScratchDir dir;
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0644), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, dir.Path("sock").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_symlink(dir.Path("nowhere"), dir.Path("dangling"));
    const bool device = geteuid() == 0 && mknod(dir.Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    std::vector<std::pair<const char*, fs::file_type>> cases = {
        {"fifo", fs::file_type::fifo}, {"sock", fs::file_type::socket}, {"dangling", fs::file_type::symlink}};
    if (device) cases.push_back({"null", fs::file_type::character});
    for (const auto& [leaf, type] : cases) {
        SCOPED_TRACE(leaf);
        CaptureOutput capture;
        TestSea sea, reader;
        sea.CreateEntry(L"a", 0)->SetInt(1, 0);
        sea.SaveAs(dir.Wide(leaf));
        EXPECT_FALSE(sea.WriteError().IsEmpty());
        EXPECT_EQ(fs::symlink_status(dir.Path(leaf)).type(), type) << "never replaced";
        if (type != fs::file_type::symlink) { EXPECT_FALSE(reader.Create(dir.Wide(leaf), true)) << "never read"; }
    }
    EXPECT_TRUE(!fs::exists(dir.Path("nowhere")) && Leftovers(dir).empty()) << "a dangling link's target is not created";
    close(sock);
    // A hard-linked file would stop being one file: refused. A link to a file is saved through and stays a link.
    WriteBytes(dir.Path("f.sea"), kOld);
    fs::create_hard_link(dir.Path("f.sea"), dir.Path("g.sea"));
    CaptureOutput capture;
    TestSea sea;
    ASSERT_TRUE(sea.Create(dir.Wide("f.sea"), false));
    sea.GetEntry(L"a")->SetInt(5, 0);
    EXPECT_FALSE(sea.UpdateIfPossible());
    EXPECT_EQ(sea.WriteError(), FileIO::GetLastErrorMessage(FileIO::kErrorHardLinks));
    EXPECT_TRUE(ReadBytes(dir.Path("f.sea")) == kOld && fs::hard_link_count(dir.Path("f.sea")) == 2u);
    WriteBytes(dir.Path("real.sea"), kOld);
    fs::create_symlink(dir.Path("real.sea"), dir.Path("link.sea"));
    EXPECT_TRUE(SaveChange(dir.Wide("link.sea")) && fs::is_symlink(dir.Path("link.sea")));
    EXPECT_EQ(ReadBytes(dir.Path("real.sea")), "a:\tchanged \r\nb: 2\r\n");
}

// Runs `body` in a child with the rights of user and group `id`; its exit status.
template <class Body>
int AsUser(uid_t id, Body body) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(id, id, id) != 0 || setresuid(id, id, id) != 0) _exit(99);
        _exit(body());
    }
    int status = 0;
    return waitpid(child, &status, 0), WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SaveSafety, RealRightsDecideNotTheOwnersBit) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
    const uid_t nobody = 65534;
    ScratchDir dir;
    fs::permissions(dir.Path(""), fs::perms::all | fs::perms::sticky_bit);  // like /tmp
    WriteBytes(dir.Path("root.sea"), kOld);
    fs::permissions(dir.Path("root.sea"), fs::perms(0644));
    EXPECT_EQ(AsUser(nobody, [&] { return SaveChange(dir.Wide("root.sea")) ? 0 : 1; }), 1);
    struct stat st {};
    EXPECT_EQ(ReadBytes(dir.Path("root.sea")), kOld);
    EXPECT_TRUE(stat(dir.Path("root.sea").c_str(), &st) == 0 && st.st_uid == 0u) << "still root's";
    // A file the user may write keeps its owner and mode, also when root saves it.
    WriteBytes(dir.Path("shared.sea"), kOld);
    ASSERT_EQ(chown(dir.Path("shared.sea").c_str(), nobody, nobody), 0);
    fs::permissions(dir.Path("shared.sea"), fs::perms(0640));
    EXPECT_EQ(AsUser(nobody, [&] { return SaveChange(dir.Wide("shared.sea")) ? 0 : 1; }), 0);
    ASSERT_TRUE(SaveChange(dir.Wide("shared.sea"), L"again") && stat(dir.Path("shared.sea").c_str(), &st) == 0);
    EXPECT_TRUE(st.st_uid == nobody && (st.st_mode & 07777) == 0640u);
    EXPECT_TRUE(Leftovers(dir).empty());
}

// Fails the call numbered g_failAt (counting every call the seam sees) and,
// with g_unlinkToo, every removal after it: the stage cannot be cleaned up.
int g_calls = 0, g_failAt = 0;
bool g_unlinkToo = false;
std::string g_failed;
int FailOne(const char* call) {
    if (++g_calls == g_failAt) return g_failed = call, EIO;
    return g_unlinkToo && !g_failed.empty() && std::strcmp(call, "unlink") == 0 ? EIO : 0;
}

TEST(SaveSafety, EveryFailingSystemCallLeavesTheOldFileAndNoStage) {
    ScratchDir dir;
    const std::string newBytes = "a:\tchanged \r\nb: 2\r\n";
    std::vector<std::string> seen;
    for (const bool unlinkToo : {false, true})
    for (g_failAt = 1;; ++g_failAt) {
        g_unlinkToo = unlinkToo;
        WriteBytes(dir.Path("f.sea"), kOld);
        fs::permissions(dir.Path("f.sea"), fs::perms(0600));
        g_calls = 0;
        g_failed.clear();
        CaptureOutput capture;
        TestSea sea;
        ASSERT_TRUE(sea.Create(dir.Wide("f.sea"), false));
        sea.GetEntry(L"a")->SetText(L"changed", 0);
        FileIO::SetFaultHook(FailOne);
        const bool saved = sea.UpdateIfPossible();
        FileIO::SetFaultHook(nullptr);
        if (g_failed.empty()) break;  // every call of a save has failed once
        SCOPED_TRACE(g_failed + " (call " + std::to_string(g_failAt) + ")" + (unlinkToo ? ", unlink too" : ""));
        seen.push_back(g_failed);
        // Only the removal of a stage that was already renamed may fail unnoticed.
        EXPECT_EQ(ReadBytes(dir.Path("f.sea")), saved ? newBytes : kOld);
        if (!saved) { EXPECT_FALSE(sea.WriteError().IsEmpty()); }
        ASSERT_EQ(capture.Reports().size(), 0u) << "UpdateIfPossible reports through WriteError";
        EXPECT_EQ(fs::status(dir.Path("f.sea")).permissions() & fs::perms::all, fs::perms(0600));
        if (unlinkToo) { ASSERT_TRUE(SaveChange(dir.Wide("f.sea"))); }  // the next save tidies up
        EXPECT_TRUE(Leftovers(dir).empty());
    }
    for (const char* call : {"open", "write", "fchmod", "fsync", "close", "rename"})
        EXPECT_NE(std::find(seen.begin(), seen.end(), call), seen.end()) << call << " was never failed";
}

TEST(SaveSafety, ChangedOnDiskIsRefusedAndConcurrentWritersLoseNothing) {
    ScratchDir dir;
    WriteBytes(dir.Path("f.sea"), SeaUtf16({L"a: 1", L"::::: P", L"p: 1"}));
    CaptureOutput capture;
    TestSea first, second, section;
    section.Section(L"P");
    for (TestSea* sea : {&first, &second, &section}) ASSERT_TRUE(sea->Create(dir.Wide("f.sea"), false));
    first.CreateEntry(L"x", 0)->SetInt(1, 0);
    ASSERT_TRUE(first.UpdateIfPossible());
    second.CreateEntry(L"y", 0)->SetInt(2, 0);
    EXPECT_FALSE(second.UpdateIfPossible()) << "would lose x";
    EXPECT_EQ(second.WriteError(), FileIO::GetLastErrorMessage(FileIO::kErrorChangedOnDisk));
    section.CreateEntry(L"q", 0)->SetInt(3, 0);
    EXPECT_TRUE(section.UpdateIfPossible()) << "another part changed, not this one";
    ASSERT_TRUE(second.ReloadFileBase(false));
    EXPECT_TRUE(second.UpdateIfPossible());
    TestSea all, part;
    part.Section(L"P");
    ASSERT_TRUE(all.Create(dir.Wide("f.sea"), true) && part.Create(dir.Wide("f.sea"), true));
    EXPECT_EQ(all.Values({{L"x", 0}, {L"y", 0}}), (Lines{L"1", L"2"}));
    EXPECT_EQ(part.Value(L"q"), L"3");
    // Writers that reload over each other's saves lose nothing.
    WriteBytes(dir.Path("f.sea"), kOld);
    const int writers = 3, rounds = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        const pid_t child = fork();
        if (child == 0) {
            // Each writer sets its own names, reloading over the others' saves.
            for (int r = 0; r < rounds; ++r) {
                CaptureOutput quiet;
                TestSea sea;
                if (!sea.Create(dir.Wide("f.sea"), false)) _exit(1);
                const std::wstring name = L"w" + std::to_wstring(w) + L"r" + std::to_wstring(r);
                sea.CreateEntry(name.c_str(), 0)->SetInt(r, 0);
                int tries = 0;
                while (!sea.UpdateIfPossible())
                    if (++tries > 200 || !sea.ReloadFileBase(false)) _exit(2);
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    capture.Clear();
    TestSea sea;
    ASSERT_TRUE(sea.Create(dir.Wide("f.sea"), true) && capture.Reports().empty());
    EXPECT_EQ(sea.NrEntries(), 2u + writers * rounds) << "no update lost";
    EXPECT_TRUE(Leftovers(dir).empty());
}

}  // namespace
