// CFile status: size, time, attributes and the read-only rule, read and applied.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "kelvaro/platform/File.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ScratchDir;
namespace fs = std::filesystem;
using fs::perms;

std::int64_t MtimeSeconds(const fs::path& path) {
    const auto sys = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

TEST(File, GetStatusReportsSizeTimeAttributeAndFullNameAndSetStatusTheTime) {
    ScratchDir dir;
    CFileStatus status;
    status.m_size = 77;
    for (const CString& missing : {dir.Wide("missing.sea"), CString()}) EXPECT_FALSE(CFile::GetStatus(missing, status));
    EXPECT_FALSE(CFile::GetStatus(nullptr, status));
    EXPECT_EQ(status.m_size, 77u) << "status must stay untouched";
    EXPECT_FALSE(CFile::SetStatus(dir.Wide("missing.sea"), status));
    EXPECT_FALSE(fs::exists(dir.Path("missing.sea"))) << "a missing file is not made";
    EXPECT_EQ(FileIO::GetLastError(), static_cast<DWORD>(ENOENT));

    testsupport::WriteBytes(dir.Path("a.sea"), "12345");
    fs::create_directory(dir.Path("sub"));
    // A path with "." and ".." segments still names the file; the full name is normalised.
    const CString roundabout = dir.Wide("sub/.././a.sea");
    ASSERT_TRUE(CFile::GetStatus(roundabout, status));
    EXPECT_EQ(status.m_size, 5u);
    EXPECT_EQ(status.m_attribute, 0u);
    EXPECT_NEAR(static_cast<double>(status.m_mtime), static_cast<double>(std::time(nullptr)), 60.0);
    EXPECT_EQ(status.m_szFullName, dir.Wide("a.sea"));
    // A protected file still takes a new time (the registry stamps it when it changes the level).
    status.m_attribute = CFile::readOnly;
    for (const std::int64_t mtime : {1'000'000'000, 1'100'000'000}) {
        status.m_mtime = mtime;
        ASSERT_TRUE(CFile::SetStatus(dir.Wide("a.sea"), status));
        EXPECT_EQ(MtimeSeconds(dir.Path("a.sea")), mtime);
    }

    ASSERT_TRUE(CFile::GetStatus(dir.Wide("sub"), status));
    EXPECT_EQ(status.m_attribute & CFile::directory, CFile::directory);
}

// Read-only is the owner's write bit, even for root. Protecting clears every write bit and
// unprotecting gives the owner's back; the rest of the mode, the time and the content stay.
TEST(File, ReadOnlyFollowsTheOwnerWriteBitAndSetStatusAppliesIt) {
    const unsigned protect = CFile::readOnly;
    const struct { unsigned before; bool readOnly; unsigned attribute; unsigned after; } cases[] = {
        {0644, false, protect, 0444}, {0664, false, protect, 0444}, {0664, false, 0, 0664}, {0444, true, 0, 0644},
        {0444, true, protect, 0444}, {0466, true, 0, 0666}, {0200, false, 0, 0200}, {0710, false, protect, 0510},
    };
    ScratchDir dir;
    const fs::path path = dir.Path("f.sea");
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::oct << c.before << " set to " << c.attribute);
        testsupport::WriteBytes(path, "content");
        fs::permissions(path, static_cast<perms>(c.before));
        EXPECT_EQ(CFile::IsReadOnly(dir.Wide("f.sea")), c.readOnly);
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(dir.Wide("f.sea"), status));
        EXPECT_EQ((status.m_attribute & CFile::readOnly) != 0, c.readOnly);
        const std::int64_t mtime = status.m_mtime;
        status.m_attribute = c.attribute;
        status.m_mtime = 0;  // leave the time alone
        ASSERT_TRUE(CFile::SetStatus(dir.Wide("f.sea"), status));
        EXPECT_EQ(fs::status(path).permissions(), static_cast<perms>(c.after));
        EXPECT_EQ(MtimeSeconds(path), mtime);
        fs::permissions(path, perms::owner_all);
        EXPECT_EQ(testsupport::ReadBytes(path), "content");
    }
    EXPECT_FALSE(CFile::IsReadOnly(dir.Wide("missing.sea")));
    EXPECT_FALSE(CFile::IsReadOnly(nullptr));
}

} // namespace
