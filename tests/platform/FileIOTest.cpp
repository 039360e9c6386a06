// FileIO: path arithmetic, folders, copying and deleting files, and error texts. CFile status:
// size, time, attributes and the read-only rule, read and applied.
#include <cerrno>
#include <chrono>
#include <ctime>
#include <map>

#include "kelvaro/platform/File.h"
#include "kelvaro/platform/FileIO.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ScratchDir;
namespace fs = std::filesystem;

std::string Narrow(const CString& text) { return FileIO::ToNativePath(text.Str()); }

DWORD Errno(const std::string& name) {  // the error numbers the case files name
    return std::map<std::string, DWORD>{{"ENOENT", ENOENT}, {"EISDIR", EISDIR}, {"EEXIST", EEXIST}, {"EACCES", EACCES}}
        .at(name);
}

std::int64_t MtimeSeconds(const fs::path& path) {
    const auto sys = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    return std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count();
}

TEST(FileIO, PathArithmeticAndFoldersMadeWithTheirParents) {
    for (const testsupport::CaseRow& row : testsupport::ReadCases("path-absolute.txt", 3)) {
        SCOPED_TRACE(row.Where());
        CString path(row.Text(0));
        EXPECT_TRUE(FileIO::makePathAbsolute(path, CString(row.Text(1))));
        EXPECT_EQ(Narrow(path), Narrow(row.Text(2)));
        EXPECT_TRUE(FileIO::isAbsolutePath(path));
    }
    for (const testsupport::CaseRow& row : testsupport::ReadCases("path-relative.txt", 3)) {
        SCOPED_TRACE(row.Where());
        CString path(row.Text(0));
        EXPECT_EQ(FileIO::makePathRelative(path, CString(row.Text(1))), !row.Null(2));
        EXPECT_EQ(Narrow(path), Narrow(row.Null(2) ? row.Text(0) : row.Text(2)));
        EXPECT_TRUE(row.Null(2) || path.Find(L"..") == -1) << path.GetString();
    }
    for (const testsupport::CaseRow& row : testsupport::ReadCases("path-parts.txt", 4)) {
        SCOPED_TRACE(row.Where());
        const CString path(row.Text(0)), dir(row.Text(1)), name(row.Text(2)), ext(row.Text(3));
        const FileIO::CFileNames names(path);
        const struct { const char* what; CString got, expected; } parts[] = {
            {"getFilePath", FileIO::getFilePath(path), dir}, {"getFileName", FileIO::getFileName(path), name + ext},
            {"m_dir", names.m_dir, dir}, {"m_name", names.m_name, name}, {"m_ext", names.m_ext, ext},
            {"strip 12", FileIO::stripFileName(names, 12), name + ext}, {"strip 3", FileIO::stripFileName(names, 3), dir},
            {"strip 15", FileIO::stripFileName(names, 15), path}, {"strip 4", FileIO::stripFileName(names, 4), name},
        };
        for (const auto& part : parts) EXPECT_EQ(Narrow(part.got), Narrow(part.expected)) << part.what;
    }
    for (const wchar_t* relative : {L"a/b", L"", L"~/a", L"C:\\x", static_cast<const wchar_t*>(nullptr)})
        EXPECT_FALSE(FileIO::isAbsolutePath(relative));
    const struct { const wchar_t* path; const wchar_t* expected; bool result; } limited[] = {
        {L"/proj", L"/proj/", true}, {L"/proj/", L"/proj/", true}, {L"/", L"/", true}, {L"", L"", false},
    };
    for (const auto& c : limited) {
        CString path(c.path);
        EXPECT_EQ(FileIO::ensureLimitedPath(path), c.result);
        EXPECT_EQ(Narrow(path), Narrow(c.expected));
    }
    CString empty;
    EXPECT_FALSE(FileIO::makePathAbsolute(empty, L"/proj"));
    // Without a base, and with a relative one, the current directory is the start.
    EXPECT_EQ(Narrow(FileIO::GetCurrentDirectory()), fs::current_path().string());
    for (const auto& [leaf, base] : {std::pair<const wchar_t*, const wchar_t*>{L"x/y.sea", nullptr}, {L"y.sea", L"x"}}) {
        CString path(leaf);
        EXPECT_TRUE(FileIO::makePathAbsolute(path, base));
        EXPECT_EQ(Narrow(path), (fs::current_path() / "x/y.sea").lexically_normal().string());
    }

    ScratchDir dir;
    testsupport::WriteBytes(dir.Path("file"), "x");
    // "a/b/c/" is there already; no folder can be made in the place of a file or below it.
    for (const auto& [leaf, made] :
         {std::pair{"a/b/c", true}, {"a/b/c/", true}, {"a/./b/../b2", true}, {"file", false}, {"file/sub", false}})
        EXPECT_EQ(FileIO::CreateFolder(dir.Wide(leaf)), made) << leaf;
    EXPECT_FALSE(FileIO::CreateFolder(CString()));
    for (const char* folder : {"a/b/c", "a/b", "a/b2"}) {
        EXPECT_TRUE(fs::is_directory(dir.Path(folder))) << folder;
        EXPECT_TRUE(FileIO::FolderExists(dir.Wide(folder))) << folder;
        EXPECT_FALSE(FileIO::FileExists(dir.Wide(folder))) << folder;
    }
    EXPECT_TRUE(FileIO::FileExists(dir.Wide("file")));
    EXPECT_FALSE(FileIO::FolderExists(dir.Wide("file")));
}

TEST(FileIO, CopyFileKeepsContentPermissionsAndTime) {
    ScratchDir dir;
    std::string content;
    for (int i = 0; i < 3'000'000; ++i)  // more than one copy chunk
        content.push_back(static_cast<char>(i * 7));
    testsupport::WriteBytes(dir.Path("src.sea"), content);
    fs::permissions(dir.Path("src.sea"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const auto time = fs::last_write_time(dir.Path("src.sea")) - std::chrono::hours(24 * 400) +
                      std::chrono::nanoseconds(123456789);
    fs::last_write_time(dir.Path("src.sea"), time);
    testsupport::WriteBytes(dir.Path("dst.sea"), "old");

    ASSERT_TRUE(FileIO::CopyFile(dir.Wide("src.sea"), dir.Wide("dst.sea"), false));
    EXPECT_EQ(testsupport::ReadBytes(dir.Path("dst.sea")), content);
    EXPECT_EQ(fs::status(dir.Path("dst.sea")).permissions(), fs::status(dir.Path("src.sea")).permissions());
    EXPECT_EQ(fs::last_write_time(dir.Path("dst.sea")), time);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"dst.sea", "src.sea"}));
    // The copy keeps the source's attributes, so a protected start file stays protected.
    fs::permissions(dir.Path("src.sea"), fs::perms::owner_read);
    ASSERT_TRUE(FileIO::CopyFile(dir.Wide("src.sea"), dir.Wide("ro.sea"), false));
    EXPECT_TRUE(CFile::IsReadOnly(dir.Wide("ro.sea")));
}

TEST(FileIO, CopyFileAndDeleteFileRefusals) {
    ScratchDir dir;
    testsupport::WriteBytes(dir.Path("src.sea"), "new");
    fs::create_directory(dir.Path("folder"));
    for (const testsupport::CaseRow& row : testsupport::ReadCases("platform-copy-refusals.txt", 6)) {
        SCOPED_TRACE(row.Where() + " " + row.raw[0]);
        testsupport::WriteBytes(dir.Path("dst.sea"), "old");
        if (row.Flag(4)) fs::permissions(dir.Path("dst.sea"), fs::perms::owner_read);
        EXPECT_FALSE(FileIO::CopyFile(dir.Wide(row.raw[1]), dir.Wide(row.raw[2]), row.Flag(3)));
        EXPECT_EQ(FileIO::GetLastError(), Errno(row.raw[5]));
        EXPECT_EQ(testsupport::ReadBytes(dir.Path("dst.sea")), "old");
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"dst.sea", "folder", "src.sea"}));
        fs::permissions(dir.Path("dst.sea"), fs::perms::owner_all);
    }
    // Without the refusal the same copy goes through, also to a new name with failIfExists.
    EXPECT_TRUE(FileIO::CopyFile(dir.Wide("src.sea"), dir.Wide("new.sea"), true));
    EXPECT_EQ(testsupport::ReadBytes(dir.Path("new.sea")), "new");
    // Deleting refuses a missing or protected file and a folder.
    fs::permissions(dir.Path("dst.sea"), fs::perms::owner_read);
    for (const auto& [leaf, error] : {std::pair{"missing.sea", ENOENT}, {"dst.sea", EACCES}, {"folder", EISDIR}}) {
        EXPECT_FALSE(FileIO::DeleteFile(dir.Wide(leaf)));
        EXPECT_EQ(FileIO::GetLastError(), static_cast<DWORD>(error)) << leaf;
    }
    EXPECT_TRUE(FileIO::DeleteFile(dir.Wide("new.sea")));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"dst.sea", "folder", "src.sea"}));
}

TEST(File, StatusSizeTimeAttributeFullNameAndTheReadOnlyRuleReadAndApplied) {
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
    EXPECT_TRUE(status.m_size == 5u && status.m_attribute == 0u);
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
    // Read-only is the owner's write bit, even for root; applying it keeps the time and the content.
    const fs::path path = dir.Path("f.sea");
    for (const testsupport::CaseRow& row : testsupport::ReadCases("platform-read-only.txt", 4)) {
        SCOPED_TRACE(row.Where());
        const bool readOnly = row.Flag(1);
        testsupport::WriteBytes(path, "content");
        fs::permissions(path, static_cast<fs::perms>(row.Number(0)));
        EXPECT_EQ(CFile::IsReadOnly(dir.Wide("f.sea")), readOnly);
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(dir.Wide("f.sea"), status));
        EXPECT_EQ((status.m_attribute & CFile::readOnly) != 0, readOnly);
        const std::int64_t mtime = status.m_mtime;
        status.m_attribute = row.Flag(2) ? CFile::readOnly : 0u;
        status.m_mtime = 0;  // leave the time alone
        ASSERT_TRUE(CFile::SetStatus(dir.Wide("f.sea"), status));
        EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(row.Number(3)));
        EXPECT_EQ(MtimeSeconds(path), mtime);
        fs::permissions(path, fs::perms::owner_all);
        EXPECT_EQ(testsupport::ReadBytes(path), "content");
    }
    EXPECT_FALSE(CFile::IsReadOnly(dir.Wide("missing.sea")) || CFile::IsReadOnly(nullptr));
}

} // namespace
