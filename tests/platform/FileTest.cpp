// CFile status: size, time, attributes and the read-only rule, read and applied.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "kelvaro/platform/File.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ScratchDir;
namespace fs = std::filesystem;
using fs::perms;

std::int64_t NowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::int64_t MtimeSeconds(const fs::path& path)
{
    const auto sys = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

TEST(File, GetStatusReportsSizeTimeAttributeAndFullName)
{
    ScratchDir dir;
    CFileStatus status;
    status.m_size = 77;
    for (const CString& missing : {dir.Wide("missing.sea"), CString()})
        EXPECT_FALSE(CFile::GetStatus(missing, status));
    EXPECT_FALSE(CFile::GetStatus(nullptr, status));
    EXPECT_EQ(status.m_size, 77u) << "status must stay untouched";

    testsupport::WriteBytes(dir.Path("a.sea"), "12345");
    fs::create_directory(dir.Path("sub"));
    // A path with "." and ".." segments still names the file; the full name is normalised.
    const CString roundabout = dir.Wide("sub/.././a.sea");
    ASSERT_TRUE(CFile::GetStatus(roundabout, status));
    EXPECT_EQ(status.m_size, 5u);
    EXPECT_EQ(status.m_attribute, 0u);
    EXPECT_NEAR(static_cast<double>(status.m_mtime), static_cast<double>(NowSeconds()), 60.0);
    EXPECT_EQ(status.m_szFullName, dir.Wide("a.sea"));

    ASSERT_TRUE(CFile::GetStatus(dir.Wide("sub"), status));
    EXPECT_EQ(status.m_attribute & CFile::directory, CFile::directory);
}

TEST(File, ReadOnlyFollowsTheOwnerWriteBitEvenForRoot)
{
    const struct { const char* what; perms mode; bool readOnly; } cases[] = {
        {"rw-r--r--", perms::owner_read | perms::owner_write | perms::group_read | perms::others_read, false},
        {"r--r--r--", perms::owner_read | perms::group_read | perms::others_read, true},
        {"r--rw-rw- (others may write, the owner may not)",
         perms::owner_read | perms::group_read | perms::group_write | perms::others_read | perms::others_write, true},
        {"-w------- (write only)", perms::owner_write, false},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path path = dir.Path("f.sea");
        testsupport::WriteBytes(path, "x");
        fs::permissions(path, c.mode);
        EXPECT_EQ(CFile::IsReadOnly(FileIO::FromNativePath(path.string())), c.readOnly);
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(FileIO::FromNativePath(path.string()), status));
        EXPECT_EQ((status.m_attribute & CFile::readOnly) != 0, c.readOnly);
        fs::permissions(path, perms::owner_all);
        fs::remove(path);
    }
    EXPECT_FALSE(CFile::IsReadOnly(dir.Wide("missing.sea")));
    EXPECT_FALSE(CFile::IsReadOnly(nullptr));
}

TEST(File, SetStatusAppliesTheReadOnlyAttribute)
{
    const perms rw_rw_r = perms::owner_read | perms::owner_write | perms::group_read | perms::group_write |
                          perms::others_read;
    const perms r_r_r = perms::owner_read | perms::group_read | perms::others_read;
    const struct { const char* what; perms before; unsigned attribute; perms after; } cases[] = {
        {"protect clears every write bit", rw_rw_r, CFile::readOnly, r_r_r},
        {"unprotect gives the owner write bit back", r_r_r, 0, r_r_r | perms::owner_write},
        {"unprotect of a writable file changes nothing", rw_rw_r, 0, rw_rw_r},
        {"protect of a protected file changes nothing", r_r_r, CFile::readOnly, r_r_r},
        {"execute bits survive", perms::owner_all | perms::group_exec, CFile::readOnly,
         perms::owner_read | perms::owner_exec | perms::group_exec},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path path = dir.Path("f.sea");
        testsupport::WriteBytes(path, "content");
        fs::permissions(path, c.before);
        CFileStatus status;
        const CString wide = FileIO::FromNativePath(path.string());
        ASSERT_TRUE(CFile::GetStatus(wide, status));
        const std::int64_t mtime = status.m_mtime;
        status.m_attribute = c.attribute;
        status.m_mtime = 0;  // leave the time alone
        ASSERT_TRUE(CFile::SetStatus(wide, status));
        EXPECT_EQ(fs::status(path).permissions(), c.after);
        EXPECT_EQ(MtimeSeconds(path), mtime);
        EXPECT_EQ(testsupport::ReadBytes(path), "content");
        fs::permissions(path, perms::owner_all);
        fs::remove(path);
    }
}

TEST(File, SetStatusAppliesTheModificationTime)
{
    ScratchDir dir;
    CFileStatus status;
    EXPECT_FALSE(CFile::SetStatus(dir.Wide("f.sea"), status));
    EXPECT_FALSE(fs::exists(dir.Path("f.sea"))) << "a missing file is not made";
    EXPECT_EQ(FileIO::GetLastError(), static_cast<DWORD>(ENOENT));
    testsupport::WriteBytes(dir.Path("f.sea"), "x");
    ASSERT_TRUE(CFile::GetStatus(dir.Wide("f.sea"), status));
    status.m_attribute = CFile::readOnly;
    // A protected file still takes a new time (the registry stamps it when it changes the level).
    for (const std::int64_t mtime : {1'000'000'000, 1'100'000'000}) {
        status.m_mtime = mtime;
        ASSERT_TRUE(CFile::SetStatus(dir.Wide("f.sea"), status));
        EXPECT_EQ(MtimeSeconds(dir.Path("f.sea")), mtime);
    }
}

} // namespace
