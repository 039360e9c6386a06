#include "kelvaro/platform/FileIO.h"

#include "kelvaro/platform/File.h"
#include "kelvaro/platform/Utf.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileIO {
namespace {

thread_local DWORD t_lastError = 0;

bool Failed(int error)
{
    t_lastError = static_cast<DWORD>(error);
    return false;
}

// Resolves "." and ".." and repeated '/' in an absolute path without asking the file system;
// ".." at the root stays at the root. A trailing '/' survives, it marks a folder.
std::wstring Normalise(std::wstring_view path)
{
    const bool trailing = path.size() > 1 && path.back() == L'/';
    std::vector<std::wstring_view> parts;
    std::size_t i = 0;
    while (i < path.size()) {
        std::size_t j = path.find(L'/', i);
        if (j == std::wstring_view::npos)
            j = path.size();
        const std::wstring_view part = path.substr(i, j - i);
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::wstring result;
    result.reserve(path.size());
    for (const auto part : parts) {
        result += L'/';
        result += part;
    }
    if (result.empty() || trailing)
        result += L'/';
    return result;
}

// base as an absolute, normalised folder without a trailing '/' (except the root itself).
bool AbsoluteBase(const wchar_t* base, std::wstring& out)
{
    std::wstring joined;
    if (base == nullptr || *base != L'/') {
        const CString cwd = GetCurrentDirectory();
        if (cwd.IsEmpty())
            return false;
        joined = cwd.Str();
        if (base != nullptr && *base != L'\0') {
            joined += L'/';
            joined += base;
        }
    } else {
        joined = base;
    }
    out = Normalise(joined);
    if (out.size() > 1 && out.back() == L'/')
        out.pop_back();
    return true;
}

std::wstring JoinAbsolute(const std::wstring& absoluteBase, const std::wstring& path)
{
    if (!path.empty() && path[0] == L'/')
        return Normalise(path);
    return Normalise(absoluteBase + L'/' + path);
}

bool StatNative(const std::string& native, struct stat& st)
{
    return ::stat(native.c_str(), &st) == 0;
}

// Writes all of data at offset, retrying short writes and interrupted calls.
int WriteFully(int fd, std::uint64_t offset, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

std::string FolderOf(const std::string& native)
{
    const std::size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return native.substr(0, slash);
}

// Best effort: makes a finished rename survive a crash. A failure here loses nothing that the
// rename has not already made visible, so it is not reported.
void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::atomic<unsigned> g_stageCounter{0};

} // namespace

bool isAbsolutePath(const wchar_t* path)
{
    return path != nullptr && path[0] == L'/';
}

bool makePathAbsolute(CString& path, const wchar_t* base)
{
    if (path.IsEmpty())
        return Failed(EINVAL);
    if (isAbsolutePath(path.GetString())) {
        path = CString(Normalise(path.Str()));
        return true;
    }
    std::wstring absoluteBase;
    if (!AbsoluteBase(base, absoluteBase))
        return false;
    path = CString(JoinAbsolute(absoluteBase, path.Str()));
    return true;
}

bool makePathRelative(CString& path, const wchar_t* base)
{
    if (path.IsEmpty())
        return Failed(EINVAL);
    std::wstring absoluteBase;
    if (!AbsoluteBase(base, absoluteBase))
        return false;
    const std::wstring full = JoinAbsolute(absoluteBase, path.Str());
    const std::wstring prefix = absoluteBase == L"/" ? absoluteBase : absoluteBase + L'/';
    if (full.size() <= prefix.size() || full.compare(0, prefix.size(), prefix) != 0)
        return false;
    path = CString(full.substr(prefix.size()));
    return true;
}

bool ensureLimitedPath(CString& path)
{
    if (path.IsEmpty())
        return false;
    if (path.Str().back() != L'/')
        path += L'/';
    return true;
}

bool FileExists(const wchar_t* path)
{
    struct stat st {};
    return path != nullptr && *path != L'\0' && StatNative(ToNativePath(path), st) && !S_ISDIR(st.st_mode);
}

bool FolderExists(const wchar_t* path)
{
    struct stat st {};
    return path != nullptr && *path != L'\0' && StatNative(ToNativePath(path), st) && S_ISDIR(st.st_mode);
}

bool CreateFolder(const CString& path)
{
    CString full = path;
    if (!makePathAbsolute(full, nullptr))
        return false;
    const std::string native = ToNativePath(full.Str());
    // Each prefix in turn: the parents first, as mkdir -p does.
    std::size_t i = 1;
    while (i <= native.size()) {
        std::size_t slash = native.find('/', i);
        if (slash == std::string::npos)
            slash = native.size();
        const std::string prefix = native.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
            return Failed(errno);
        i = slash + 1;
    }
    struct stat st {};
    if (!StatNative(native, st))
        return Failed(errno);
    if (!S_ISDIR(st.st_mode))
        return Failed(ENOTDIR);
    return true;
}

CString getFilePath(const CString& path)
{
    const int slash = path.ReverseFind(L'/');
    return slash < 0 ? CString() : path.Left(slash + 1);
}

CString getFileName(const CString& path)
{
    const int slash = path.ReverseFind(L'/');
    return slash < 0 ? path : path.Mid(slash + 1);
}

CFileNames::CFileNames(const wchar_t* path)
{
    const CString full(path);
    m_dir = getFilePath(full);
    const CString file = getFileName(full);
    const int dot = file.ReverseFind(L'.');
    if (dot > 0) {
        m_name = file.Left(dot);
        m_ext = file.Mid(dot);
    } else {
        m_name = file;
    }
}

CString stripFileName(const CFileNames& names, int selector)
{
    CString result;
    if (selector & 1)
        result += names.m_drive;
    if (selector & 2)
        result += names.m_dir;
    if (selector & 4)
        result += names.m_name;
    if (selector & 8)
        result += names.m_ext;
    return result;
}

bool CopyFile(const wchar_t* from, const wchar_t* to, bool failIfExists)
{
    if (from == nullptr || *from == L'\0' || to == nullptr || *to == L'\0')
        return Failed(EINVAL);
    const std::string source = ToNativePath(from);
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return Failed(errno);
    struct stat st {};
    if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(in);
        return Failed(error);
    }
    struct stat existing {};
    if (failIfExists && ::lstat(ToNativePath(to).c_str(), &existing) == 0) {
        ::close(in);
        return Failed(EEXIST);
    }

    CStagedFile stage;
    if (!stage.Begin(to, false, false)) {
        ::close(in);
        return false;
    }
    std::vector<char> chunk(1 << 20);
    std::uint64_t offset = 0;
    for (;;) {
        const ssize_t n = ::read(in, chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(in);
            stage.Abandon();
            return Failed(error);
        }
        if (n == 0)
            break;
        if (!stage.WriteAt(offset, chunk.data(), static_cast<std::size_t>(n))) {
            ::close(in);
            stage.Abandon();
            return false;
        }
        offset += static_cast<std::uint64_t>(n);
    }
    ::close(in);
    stage.SetPermissions(st.st_mode & 07777);
    stage.SetModificationTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return stage.Commit(!failIfExists);
}

bool DeleteFile(const wchar_t* path)
{
    if (path == nullptr || *path == L'\0')
        return Failed(EINVAL);
    const std::string native = ToNativePath(path);
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0)
        return Failed(errno);
    if (S_ISDIR(st.st_mode))
        return Failed(EISDIR);
    if (CFile::IsReadOnly(path))
        return Failed(EACCES);
    if (::unlink(native.c_str()) != 0)
        return Failed(errno);
    return true;
}

CString GetCurrentDirectory()
{
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr)
            return FromNativePath(buffer.c_str());
        if (errno != ERANGE) {
            Failed(errno);
            return CString();
        }
        buffer.resize(buffer.size() * 2);
    }
}

CString GetHomeConfigDirectory()
{
    std::wstring folder;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        folder = FromNativePath(xdg).Str();
    } else {
        const char* home = std::getenv("HOME");
        std::string homeText;
        if (home != nullptr && home[0] == '/') {
            homeText = home;
        } else {
            struct passwd entry {};
            struct passwd* found = nullptr;
            std::vector<char> scratch(16384);
            if (::getpwuid_r(::getuid(), &entry, scratch.data(), scratch.size(), &found) == 0 && found != nullptr &&
                found->pw_dir != nullptr)
                homeText = found->pw_dir;
        }
        if (homeText.empty())
            return CString();
        folder = FromNativePath(homeText).Str() + L"/.config";
    }
    folder = Normalise(folder);
    if (folder.size() > 1 && folder.back() == L'/')
        folder.pop_back();
    return CString(folder);
}

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD code)
{
    t_lastError = code;
}

CString GetLastErrorMessage(DWORD code)
{
    return CString(kelvaro::utf8::Decode(std::system_category().message(static_cast<int>(code))));
}

std::string ToNativePath(std::wstring_view path)
{
    return kelvaro::utf8::Encode(path);
}

CString FromNativePath(std::string_view path)
{
    return CString(kelvaro::utf8::Decode(path));
}

// ---------------------------------------------------------------------------------------------
// CStagedFile

CStagedFile::~CStagedFile()
{
    Abandon();
}

bool CStagedFile::Fail(int error)
{
    if (m_error == 0)
        m_error = error;
    return Failed(error);
}

bool CStagedFile::Begin(const wchar_t* path, bool keepContent, bool mustExist)
{
    if (IsStaged())
        return Fail(EBUSY);
    m_error = 0;
    m_size = 0;
    m_hasPermissions = false;
    m_hasTime = false;
    if (path == nullptr || *path == L'\0')
        return Fail(EINVAL);

    m_target = CString(path);
    makePathAbsolute(m_target, nullptr);
    m_nativeTarget = ToNativePath(path);
    struct stat link {};
    if (::lstat(m_nativeTarget.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // Renaming over the link would replace the link itself; write where it points instead.
        if (char* resolved = ::realpath(m_nativeTarget.c_str(), nullptr)) {
            m_nativeTarget = resolved;
            std::free(resolved);
        }
    }
    const std::size_t slash = m_nativeTarget.rfind('/');
    const std::string name = slash == std::string::npos ? m_nativeTarget : m_nativeTarget.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Fail(EISDIR);

    struct stat st {};
    m_targetExisted = StatNative(m_nativeTarget, st);
    if (!m_targetExisted && errno != ENOENT)
        return Fail(errno);
    if (m_targetExisted && S_ISDIR(st.st_mode))
        return Fail(EISDIR);
    if (!m_targetExisted && mustExist)
        return Fail(ENOENT);
    if (m_targetExisted && CFile::IsReadOnly(FromNativePath(m_nativeTarget)))
        return Fail(EACCES);

    // A hidden name beside the target, so the rename stays inside one file system; the name is
    // cut so that the suffix never pushes it past the file-name limit.
    const std::string prefix = slash == std::string::npos ? std::string() : m_nativeTarget.substr(0, slash + 1);
    std::string stem = ".";  // built by appends: GCC 12 at -O3 misreads "." + string as overlapping
    stem.append(name, 0, 180).append(".~");
    for (int attempt = 0;; ++attempt) {
        const auto tick = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, "%lx%x%llx", static_cast<unsigned long>(::getpid()),
                      g_stageCounter.fetch_add(1), tick & 0xFFFFFFull);
        m_nativeStage = prefix + stem + suffix;
        m_fd = ::open(m_nativeStage.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            break;
        if (errno != EEXIST || attempt >= 100)
            return Fail(errno);
    }

    if (keepContent && m_targetExisted) {
        const int in = ::open(m_nativeTarget.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) {
            const int error = errno;
            Abandon();
            return Fail(error);
        }
        std::vector<char> chunk(1 << 20);
        for (;;) {
            const ssize_t n = ::read(in, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : 0;
                ::close(in);
                if (error != 0) {
                    Abandon();
                    return Fail(error);
                }
                break;
            }
            if (!WriteAt(m_size, chunk.data(), static_cast<std::size_t>(n))) {
                ::close(in);
                Abandon();
                return false;
            }
        }
    }
    return true;
}

bool CStagedFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size)
{
    if (!IsStaged())
        return Fail(EBADF);
    if (m_error != 0)
        return Failed(m_error);
    const int error = WriteFully(m_fd, offset, static_cast<const char*>(data), size);
    if (error != 0)
        return Fail(error);
    if (offset + size > m_size)
        m_size = offset + size;
    return true;
}

void CStagedFile::SetPermissions(unsigned bits)
{
    m_hasPermissions = true;
    m_permissions = bits & 07777;
}

void CStagedFile::SetModificationTime(std::int64_t seconds, long nanoseconds)
{
    m_hasTime = true;
    m_mtimeSeconds = seconds;
    m_mtimeNanoseconds = nanoseconds;
}

bool CStagedFile::Commit(bool replace)
{
    if (!IsStaged())
        return Fail(EBADF);
    const auto abandonWith = [this](int error) {
        Abandon();
        return Fail(error);
    };
    if (m_error != 0) {
        const int error = m_error;
        Abandon();
        return Failed(error);
    }

    struct stat old {};
    const bool exists = StatNative(m_nativeTarget, old);
    if (exists && S_ISDIR(old.st_mode))
        return abandonWith(EISDIR);
    // The attribute may have been set since Begin; it is honoured up to the last moment.
    if (exists && replace && CFile::IsReadOnly(FromNativePath(m_nativeTarget)))
        return abandonWith(EACCES);
    if (m_hasPermissions) {
        if (::fchmod(m_fd, m_permissions) != 0)
            return abandonWith(errno);
    } else if (exists) {
        if (::fchmod(m_fd, old.st_mode & 07777) != 0)
            return abandonWith(errno);
        // Only root can give the file back to another owner.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(m_fd, old.st_uid, old.st_gid) != 0) {
            // not ours to give away: the file stays with us, as any rewrite would leave it
        }
    }
    if (m_hasTime) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(m_mtimeSeconds);
        times[1].tv_nsec = m_mtimeNanoseconds;
        if (::futimens(m_fd, times) != 0)
            return abandonWith(errno);
    }
    if (::fsync(m_fd) != 0)
        return abandonWith(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(m_nativeStage.c_str());
        return Fail(error);
    }
    if (replace) {
        if (::rename(m_nativeStage.c_str(), m_nativeTarget.c_str()) != 0) {
            const int error = errno;
            ::unlink(m_nativeStage.c_str());
            return Fail(error);
        }
    } else {
        // link() refuses an existing name, so no check-then-rename race can clobber a file.
        const int linked = ::link(m_nativeStage.c_str(), m_nativeTarget.c_str());
        const int error = errno;
        ::unlink(m_nativeStage.c_str());
        if (linked != 0)
            return Fail(error);
    }
    SyncFolder(FolderOf(m_nativeTarget));
    return true;
}

void CStagedFile::Abandon()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_nativeStage.c_str());
}

} // namespace FileIO
