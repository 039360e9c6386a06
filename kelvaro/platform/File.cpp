#include "kelvaro/platform/File.h"

#include "kelvaro/platform/FileIO.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr mode_t kAllWrite = S_IWUSR | S_IWGRP | S_IWOTH;

bool StatPath(const wchar_t* path, struct stat& st)
{
    if (path == nullptr || *path == L'\0') {
        FileIO::SetLastError(ENOENT);
        return false;
    }
    if (::stat(FileIO::ToNativePath(path).c_str(), &st) != 0) {
        FileIO::SetLastError(static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

} // namespace

bool CFile::GetStatus(const wchar_t* path, CFileStatus& status)
{
    struct stat st {};
    if (!StatPath(path, st))
        return false;
    CString full(path);
    FileIO::makePathAbsolute(full, nullptr);
    status.m_mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    status.m_size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    status.m_attribute = 0;
    if ((st.st_mode & S_IWUSR) == 0)
        status.m_attribute |= readOnly;
    if (S_ISDIR(st.st_mode))
        status.m_attribute |= directory;
    status.m_szFullName = full;
    return true;
}

bool CFile::SetStatus(const wchar_t* path, const CFileStatus& status)
{
    struct stat st {};
    if (!StatPath(path, st))
        return false;
    const std::string native = FileIO::ToNativePath(path);

    if (status.m_mtime != 0) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(status.m_mtime);
        times[1].tv_nsec = 0;
        if (::utimensat(AT_FDCWD, native.c_str(), times, 0) != 0) {
            FileIO::SetLastError(static_cast<DWORD>(errno));
            return false;
        }
    }

    const bool wantReadOnly = (status.m_attribute & readOnly) != 0;
    const bool isReadOnly = (st.st_mode & S_IWUSR) == 0;
    mode_t mode = st.st_mode & 07777;
    if (wantReadOnly)
        mode &= ~kAllWrite;
    else if (isReadOnly)
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && ::chmod(native.c_str(), mode) != 0) {
        FileIO::SetLastError(static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

bool CFile::IsReadOnly(const wchar_t* path)
{
    if (path == nullptr || *path == L'\0')
        return false;
    struct stat st {};
    if (::stat(FileIO::ToNativePath(path).c_str(), &st) != 0)
        return false;
    return (st.st_mode & S_IWUSR) == 0;
}
