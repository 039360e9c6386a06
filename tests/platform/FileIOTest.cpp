// FileIO: path arithmetic, folders, copying and deleting files, and error texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "kelvaro/platform/File.h"
#include "kelvaro/platform/FileIO.h"
#include "platform/FilesTestSupport.h"

namespace {

using filestest::ScratchDir;
namespace fs = std::filesystem;

std::string Narrow(const CString& text)
{
    return FileIO::ToNativePath(text.Str());
}

TEST(FileIO, IsAbsolutePath)
{
    const struct { const wchar_t* path; bool absolute; } cases[] = {
        {L"/", true}, {L"/a/b", true}, {L"a/b", false}, {L"", false}, {L"~/a", false}, {L"C:\\x", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.path));
        EXPECT_EQ(FileIO::isAbsolutePath(c.path), c.absolute);
    }
    EXPECT_FALSE(FileIO::isAbsolutePath(nullptr));
}

TEST(FileIO, MakePathAbsolute)
{
    const struct { const wchar_t* path; const wchar_t* base; const wchar_t* expected; } cases[] = {
        {L"a.sea", L"/proj", L"/proj/a.sea"},          {L"a.sea", L"/proj/", L"/proj/a.sea"},
        {L"../a.sea", L"/proj/sub/", L"/proj/a.sea"},  {L"./a.sea", L"/proj", L"/proj/a.sea"},
        {L"../../../../a.sea", L"/proj", L"/a.sea"},   {L"/etc/x.sea", L"/proj", L"/etc/x.sea"},
        {L"/a//b/./c/../d.sea", L"/proj", L"/a/b/d.sea"}, {L"/..", L"/proj", L"/"},
        {L"dir/", L"/proj", L"/proj/dir/"},            {L"dir/..", L"/proj", L"/proj"},
        {L"a.sea", L"/", L"/a.sea"},                   {L"a.sea", L"/p/./q/../r", L"/p/r/a.sea"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.path) + " against " + Narrow(c.base));
        CString path(c.path);
        EXPECT_TRUE(FileIO::makePathAbsolute(path, c.base));
        EXPECT_EQ(Narrow(path), Narrow(c.expected));
    }
}

TEST(FileIO, MakePathAbsoluteWithoutBaseUsesTheCurrentDirectory)
{
    const CString cwd = FileIO::GetCurrentDirectory();
    ASSERT_FALSE(cwd.IsEmpty());
    EXPECT_EQ(Narrow(cwd), fs::current_path().string());

    CString path(L"x/y.sea");
    EXPECT_TRUE(FileIO::makePathAbsolute(path, nullptr));
    EXPECT_EQ(Narrow(path), (fs::current_path() / "x/y.sea").lexically_normal().string());

    // A relative base is taken from the current directory as well.
    path = L"y.sea";
    EXPECT_TRUE(FileIO::makePathAbsolute(path, L"x"));
    EXPECT_EQ(Narrow(path), (fs::current_path() / "x/y.sea").lexically_normal().string());

    CString empty;
    EXPECT_FALSE(FileIO::makePathAbsolute(empty, L"/proj"));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(FileIO, MakePathRelative)
{
    const auto none = std::nullopt;  // not below base: path unchanged
    const struct { const wchar_t* path; const wchar_t* base; std::optional<std::wstring> expected; } cases[] = {
        {L"/proj/a.sea", L"/proj", L"a.sea"},          {L"/proj/sub/a.sea", L"/proj/", L"sub/a.sea"},
        {L"/proj/sub/../a.sea", L"/proj", L"a.sea"},   {L"/proj//sub/./a.sea", L"/proj", L"sub/a.sea"},
        {L"/proj/dir/", L"/proj", L"dir/"},            {L"/a.sea", L"/", L"a.sea"},
        {L"sub/a.sea", L"/proj", L"sub/a.sea"},        {L"sub/../a.sea", L"/proj", L"a.sea"},
        {L"/other/a.sea", L"/proj", none},             {L"/project/a.sea", L"/proj", none},
        {L"/proj", L"/proj", none},                    {L"/proj/", L"/proj", none},
        {L"/proj/../a.sea", L"/proj", none},           {L"../a.sea", L"/proj", none},
        {L"/Proj/a.sea", L"/proj", none},              {L"", L"/proj", none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.path) + " against " + Narrow(c.base));
        CString path(c.path);
        const bool below = FileIO::makePathRelative(path, c.base);
        EXPECT_EQ(below, c.expected.has_value());
        EXPECT_EQ(Narrow(path), Narrow(c.expected.value_or(c.path)));
        if (below) {
            EXPECT_EQ(path.Find(L".."), -1);
        }
    }
}

TEST(FileIO, EnsureLimitedPath)
{
    const struct { const wchar_t* path; const wchar_t* expected; bool result; } cases[] = {
        {L"/proj", L"/proj/", true}, {L"/proj/", L"/proj/", true}, {L"/", L"/", true}, {L"", L"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.path));
        CString path(c.path);
        EXPECT_EQ(FileIO::ensureLimitedPath(path), c.result);
        EXPECT_EQ(Narrow(path), Narrow(c.expected));
    }
}

TEST(FileIO, PathParts)
{
    const struct { const wchar_t* path; const wchar_t* dir; const wchar_t* name; const wchar_t* ext; } cases[] = {
        {L"/proj/sub/app.sea", L"/proj/sub/", L"app", L".sea"},       {L"app.sea", L"", L"app", L".sea"},
        {L"/proj/archive.tar.gz", L"/proj/", L"archive.tar", L".gz"}, {L"/proj/.profile", L"/proj/", L".profile", L""},
        {L"/proj.d/noext", L"/proj.d/", L"noext", L""},               {L"/proj/", L"/proj/", L"", L""},
        {L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.path));
        EXPECT_EQ(Narrow(FileIO::getFilePath(c.path)), Narrow(c.dir));
        EXPECT_EQ(Narrow(FileIO::getFileName(c.path)), Narrow(CString(c.name) + c.ext));
        const FileIO::CFileNames names(c.path);
        EXPECT_EQ(Narrow(names.m_dir), Narrow(c.dir));
        EXPECT_EQ(Narrow(names.m_name), Narrow(c.name));
        EXPECT_EQ(Narrow(names.m_ext), Narrow(c.ext));
        EXPECT_EQ(Narrow(FileIO::stripFileName(names, 12)), Narrow(CString(c.name) + c.ext));
        EXPECT_EQ(Narrow(FileIO::stripFileName(names, 3)), Narrow(c.dir));
        EXPECT_EQ(Narrow(FileIO::stripFileName(names, 15)), Narrow(c.path));
        EXPECT_EQ(Narrow(FileIO::stripFileName(names, 4)), Narrow(c.name));
    }
}

TEST(FileIO, CreateFolderMakesParents)
{
    ScratchDir dir;
    EXPECT_TRUE(FileIO::CreateFolder(dir.Wide("a/b/c")));
    EXPECT_TRUE(fs::is_directory(dir.Path("a/b/c")));
    EXPECT_TRUE(FileIO::FolderExists(dir.Wide("a/b")));
    EXPECT_FALSE(FileIO::FileExists(dir.Wide("a/b")));
    EXPECT_TRUE(FileIO::CreateFolder(dir.Wide("a/b/c/")));  // already there
    EXPECT_TRUE(FileIO::CreateFolder(dir.Wide("a/./b/../b2")));
    EXPECT_TRUE(fs::is_directory(dir.Path("a/b2")));

    filestest::WriteBytes(dir.Path("file"), "x");
    EXPECT_FALSE(FileIO::CreateFolder(dir.Wide("file")));
    EXPECT_FALSE(FileIO::CreateFolder(dir.Wide("file/sub")));
    EXPECT_TRUE(FileIO::FileExists(dir.Wide("file")));
    EXPECT_FALSE(FileIO::FolderExists(dir.Wide("file")));
    EXPECT_FALSE(FileIO::CreateFolder(CString()));
}

TEST(FileIO, CopyFileKeepsContentPermissionsAndTime)
{
    ScratchDir dir;
    std::string content;
    for (int i = 0; i < 3'000'000; ++i)  // more than one copy chunk
        content.push_back(static_cast<char>(i * 7));
    filestest::WriteBytes(dir.Path("src.sea"), content);
    fs::permissions(dir.Path("src.sea"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const auto time = fs::last_write_time(dir.Path("src.sea")) - std::chrono::hours(24 * 400) +
                      std::chrono::nanoseconds(123456789);
    fs::last_write_time(dir.Path("src.sea"), time);
    filestest::WriteBytes(dir.Path("dst.sea"), "old");

    ASSERT_TRUE(FileIO::CopyFile(dir.Wide("src.sea"), dir.Wide("dst.sea"), false));
    EXPECT_EQ(filestest::ReadBytes(dir.Path("dst.sea")), content);
    EXPECT_EQ(fs::status(dir.Path("dst.sea")).permissions(), fs::status(dir.Path("src.sea")).permissions());
    EXPECT_EQ(fs::last_write_time(dir.Path("dst.sea")), time);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"dst.sea", "src.sea"}));

    // The copy keeps the source's attributes, so a protected start file stays protected.
    fs::permissions(dir.Path("src.sea"), fs::perms::owner_read);
    ASSERT_TRUE(FileIO::CopyFile(dir.Wide("src.sea"), dir.Wide("ro.sea"), false));
    EXPECT_TRUE(CFile::IsReadOnly(dir.Wide("ro.sea")));
}

TEST(FileIO, CopyFileRefusals)
{
    ScratchDir dir;
    filestest::WriteBytes(dir.Path("src.sea"), "new");
    fs::create_directory(dir.Path("folder"));
    const struct { const char* what; const char* from; const char* to; bool failIfExists; bool readOnlyTarget;
                   int error; } cases[] = {
        {"missing source", "missing.sea", "dst.sea", false, false, ENOENT},
        {"source is a folder", "folder", "dst.sea", false, false, EISDIR},
        {"target exists and must not", "src.sea", "dst.sea", true, false, EEXIST},
        {"read-only target", "src.sea", "dst.sea", false, true, EACCES},
        {"target is a folder", "src.sea", "folder", false, false, EISDIR},
        {"target folder missing", "src.sea", "nowhere/dst.sea", false, false, ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        filestest::WriteBytes(dir.Path("dst.sea"), "old");
        if (c.readOnlyTarget)
            fs::permissions(dir.Path("dst.sea"), fs::perms::owner_read);
        EXPECT_FALSE(FileIO::CopyFile(dir.Wide(c.from), dir.Wide(c.to), c.failIfExists));
        EXPECT_EQ(FileIO::GetLastError(), static_cast<DWORD>(c.error));
        EXPECT_EQ(filestest::ReadBytes(dir.Path("dst.sea")), "old");
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"dst.sea", "folder", "src.sea"}));
        fs::permissions(dir.Path("dst.sea"), fs::perms::owner_all);
    }
    // Without the refusal the same copy goes through, also to a new name with failIfExists.
    EXPECT_TRUE(FileIO::CopyFile(dir.Wide("src.sea"), dir.Wide("new.sea"), true));
    EXPECT_EQ(filestest::ReadBytes(dir.Path("new.sea")), "new");
}

TEST(FileIO, DeleteFile)
{
    ScratchDir dir;
    filestest::WriteBytes(dir.Path("a.sea"), "x");
    filestest::WriteBytes(dir.Path("ro.sea"), "x");
    fs::permissions(dir.Path("ro.sea"), fs::perms::owner_read);
    fs::create_directory(dir.Path("folder"));

    EXPECT_TRUE(FileIO::DeleteFile(dir.Wide("a.sea")));
    EXPECT_FALSE(fs::exists(dir.Path("a.sea")));
    EXPECT_FALSE(FileIO::DeleteFile(dir.Wide("a.sea")));
    EXPECT_EQ(FileIO::GetLastError(), static_cast<DWORD>(ENOENT));
    EXPECT_FALSE(FileIO::DeleteFile(dir.Wide("ro.sea")));
    EXPECT_EQ(FileIO::GetLastError(), static_cast<DWORD>(EACCES));
    EXPECT_TRUE(fs::exists(dir.Path("ro.sea")));
    EXPECT_FALSE(FileIO::DeleteFile(dir.Wide("folder")));
    EXPECT_TRUE(fs::exists(dir.Path("folder")));
}

TEST(FileIO, HomeConfigDirectory)
{
    const auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> xdg = saved("XDG_CONFIG_HOME");
    const std::optional<std::string> home = saved("HOME");

    const struct { const char* xdg; const char* home; const char* expected; } cases[] = {  // xdg null: unset
        {"/cfg", "/home/u", "/cfg"},
        {"/cfg/", "/home/u", "/cfg"},
        {"relative", "/home/u", "/home/u/.config"},
        {"", "/home/u", "/home/u/.config"},
        {nullptr, "/home/u/", "/home/u/.config"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.xdg ? c.xdg : "(unset)") + " / " + c.home);
        if (c.xdg)
            ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        ::setenv("HOME", c.home, 1);
        EXPECT_EQ(Narrow(FileIO::GetHomeConfigDirectory()), c.expected);
    }
    for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", xdg}, std::pair{"HOME", home}})
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

} // namespace
