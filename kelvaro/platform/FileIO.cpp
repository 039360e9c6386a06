#include "kelvaro/platform/FileIO.h"

#include "kelvaro/platform/File.h"
#include "kelvaro/platform/Utf.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <map>
#include <set>
#include <mutex>
#include <thread>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileIO {
namespace {

thread_local DWORD t_lastError = 0;

std::atomic<FaultHook> g_faultHook{nullptr};

// Asks the test hook whether `call` is to fail; sets errno and says so.
bool Injected(const char* call)
{
    const FaultHook hook = g_faultHook.load(std::memory_order_relaxed);
    if (hook == nullptr)
        return false;
    const int error = hook(call);
    if (error == 0)
        return false;
    errno = error;
    return true;
}

// The system calls of a save, each one a place where a fault can be injected.
int SysOpen(const char* path, int flags, mode_t mode) { return Injected("open") ? -1 : ::open(path, flags, mode); }
ssize_t SysPwrite(int fd, const void* data, std::size_t size, off_t offset)
{
    return Injected("write") ? -1 : ::pwrite(fd, data, size, offset);
}
int SysFsync(int fd) { return Injected("fsync") ? -1 : ::fsync(fd); }
int SysFchown(int fd, uid_t uid, gid_t gid) { return Injected("fchown") ? -1 : ::fchown(fd, uid, gid); }
int SysFchmod(int fd, mode_t mode) { return Injected("fchmod") ? -1 : ::fchmod(fd, mode); }
int SysFutimens(int fd, const struct timespec times[2]) { return Injected("futimens") ? -1 : ::futimens(fd, times); }
int SysClose(int fd)
{
    if (Injected("close")) {
        ::close(fd);  // the descriptor is gone either way, as after a real failed close
        return -1;
    }
    return ::close(fd);
}
int SysRename(const char* from, const char* to) { return Injected("rename") ? -1 : ::rename(from, to); }
int SysLink(const char* from, const char* to) { return Injected("link") ? -1 : ::link(from, to); }
int SysUnlink(const char* path) { return Injected("unlink") ? -1 : ::unlink(path); }

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
        const ssize_t n = SysPwrite(fd, data, size, static_cast<off_t>(offset));
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

// Stages this process is writing now: a stage of our own process id that is not among them was
// left by a failed removal, and is stale like one of a process that is gone.
std::mutex g_stageMutex;
std::set<std::string> g_activeStages;

void StageStarted(const std::string& path)
{
    std::lock_guard<std::mutex> guard(g_stageMutex);
    g_activeStages.insert(path);
}

void StageEnded(const std::string& path)
{
    std::lock_guard<std::mutex> guard(g_stageMutex);
    g_activeStages.erase(path);
}

bool StageIsActive(const std::string& path)
{
    std::lock_guard<std::mutex> guard(g_stageMutex);
    return g_activeStages.count(path) != 0;
}

// Why an existing target may not be replaced by this process (0 when it may).
int RefuseTarget(const struct stat& st, const std::string& native)
{
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return static_cast<int>(kErrorNotRegularFile);
    // No owner write bit: read-only for everyone, root included. Otherwise the process's real
    // rights decide, not the owner's bit.
    if ((st.st_mode & S_IWUSR) == 0 || ::access(native.c_str(), W_OK) != 0)
        return EACCES;
    if (st.st_nlink > 1)
        return static_cast<int>(kErrorHardLinks);
    return 0;
}

// Removes stages of this file whose writer is gone (killed during a save); a stage of a live
// process, or one not ours, stays.
void RemoveStaleStages(const std::string& folder, const std::string& stem)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const std::string base = folder.back() == '/' ? folder : folder + "/";
    while (const dirent* item = ::readdir(dir)) {
        const std::string leaf = item->d_name;
        if (leaf.size() <= stem.size() || leaf.compare(0, stem.size(), stem) != 0)
            continue;
        const std::size_t dash = leaf.find('-', stem.size());
        if (dash == std::string::npos)
            continue;
        char* end = nullptr;
        const unsigned long pid = std::strtoul(leaf.c_str() + stem.size(), &end, 16);
        if (end != leaf.c_str() + dash || pid == 0 || pid > static_cast<unsigned long>(INT_MAX))
            continue;
        const std::string path = base + leaf;
        const bool ours = static_cast<pid_t>(pid) == ::getpid();
        if (ours ? StageIsActive(path) : ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            SysUnlink(path.c_str());
    }
    ::closedir(dir);
}

} // namespace

void SetFaultHook(FaultHook hook)
{
    g_faultHook.store(hook);
}

int OpenRegularForReading(const std::string& native)
{
    // Non-blocking, so that a FIFO without a writer cannot hang the open.
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        Failed(errno);
        return -1;
    }
    struct stat st {};
    const int error = ::fstat(fd, &st) != 0 ? errno
                      : S_ISDIR(st.st_mode) ? EISDIR
                      : !S_ISREG(st.st_mode) ? static_cast<int>(kErrorNotRegularFile)
                                             : 0;
    if (error != 0) {
        ::close(fd);
        Failed(error);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

namespace {

std::mutex g_lockMutex;
struct HeldLock {
    unsigned depth;
    int fd;
};
std::map<std::string, HeldLock> g_heldLocks;  // lock file -> nesting depth and descriptor in this process

// The lock file's path for a target: beside the file a symbolic link names.
std::string LockPathOf(const std::string& native)
{
    std::string target = native;
    if (char* resolved = ::realpath(native.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name.substr(0, 180) + ".~lock";
}

} // namespace

bool CFileLock::Acquire(const wchar_t* path, unsigned timeoutMilliseconds)
{
    if (IsHeld())
        return true;
    if (path == nullptr || *path == L'\0')
        return Failed(EINVAL);
    const std::string lockPath = LockPathOf(ToNativePath(path));
    {
        std::lock_guard<std::mutex> guard(g_lockMutex);
        const auto held = g_heldLocks.find(lockPath);
        if (held != g_heldLocks.end()) {
            ++held->second.depth;
            m_lockPath = lockPath;
            return true;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return Failed(errno);
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                const int error = errno;
                ::close(fd);
                return Failed(error);
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
                return Failed(static_cast<int>(kErrorLocked));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        // The holder before us removes the file before it lets go: a lock on a file that is no
        // longer the one at the path locks nothing, so start again.
        struct stat locked {}, named {};
        if (::fstat(fd, &locked) == 0 && ::lstat(lockPath.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            std::lock_guard<std::mutex> guard(g_lockMutex);
            g_heldLocks[lockPath] = HeldLock{1, fd};
            m_lockPath = lockPath;
            return true;
        }
        ::close(fd);
    }
}

void CFileLock::Release()
{
    if (!IsHeld())
        return;
    std::lock_guard<std::mutex> guard(g_lockMutex);
    const auto held = g_heldLocks.find(m_lockPath);
    if (held != g_heldLocks.end() && --held->second.depth == 0) {
        ::unlink(m_lockPath.c_str());  // while still holding it, see Acquire
        ::close(held->second.fd);
        g_heldLocks.erase(held);
    }
    m_lockPath.clear();
}

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
    switch (code) {
    case kErrorNotRegularFile:
        return CString(L"not a regular file (a device, FIFO or socket); only regular files are read and saved");
    case kErrorDanglingLink:
        return CString(L"a symbolic link that names no file; it is not replaced");
    case kErrorHardLinks:
        return CString(L"the file has other hard links, which a save would split; nothing was written");
    case kErrorLocked:
        return CString(L"another save of this file holds its lock; try again later");
    case kErrorChangedOnDisk:
        return CString(L"the file changed on disk since it was read; nothing was written (reload keeping your "
                       L"changes, then save)");
    default:
        break;
    }
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
        char* resolved = ::realpath(m_nativeTarget.c_str(), nullptr);
        if (resolved == nullptr)
            return Fail(errno == ENOENT ? static_cast<int>(kErrorDanglingLink) : errno);
        m_nativeTarget = resolved;
        std::free(resolved);
    }
    const std::size_t slash = m_nativeTarget.rfind('/');
    const std::string name = slash == std::string::npos ? m_nativeTarget : m_nativeTarget.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Fail(EISDIR);

    struct stat st {};
    m_targetExisted = StatNative(m_nativeTarget, st);
    if (!m_targetExisted && errno != ENOENT)
        return Fail(errno);
    if (!m_targetExisted && mustExist)
        return Fail(ENOENT);
    if (m_targetExisted) {
        if (const int refused = RefuseTarget(st, m_nativeTarget))
            return Fail(refused);
    }

    // A hidden name beside the target, so the rename stays inside one file system; the name is
    // cut so that the suffix never pushes it past the file-name limit. The process id leads the
    // suffix, so that a later save can tell a stage whose writer is gone.
    const std::string prefix = slash == std::string::npos ? std::string() : m_nativeTarget.substr(0, slash + 1);
    std::string stem = ".";  // built by appends: GCC 12 at -O3 misreads "." + string as overlapping
    stem.append(name, 0, 180).append(".~");
    RemoveStaleStages(prefix.empty() ? std::string(".") : prefix, stem);
    for (int attempt = 0;; ++attempt) {
        const auto tick = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, "%lx-%x%llx", static_cast<unsigned long>(::getpid()),
                      g_stageCounter.fetch_add(1), tick & 0xFFFFFFull);
        m_nativeStage = prefix + stem + suffix;
        // Private until Commit gives it the target's mode: a stage left by a kill shows nothing
        // to others. A new file may be as open as the umask allows, as any new file is.
        m_fd = SysOpen(m_nativeStage.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, m_targetExisted ? 0600 : 0666);
        if (m_fd >= 0) {
            StageStarted(m_nativeStage);
            break;
        }
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
    // The target may have changed since Begin; it is judged again up to the last moment.
    if (exists) {
        if (const int refused = RefuseTarget(old, m_nativeTarget))
            return abandonWith(refused);
    }
    if (exists) {
        // Owner first: a change of owner clears set-id bits that the mode then restores. Only
        // root can give the file back to another owner.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            SysFchown(m_fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
            return abandonWith(errno);
    }
    if (m_hasPermissions || exists) {
        if (SysFchmod(m_fd, m_hasPermissions ? m_permissions : old.st_mode & 07777) != 0)
            return abandonWith(errno);
    }
    if (m_hasTime) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(m_mtimeSeconds);
        times[1].tv_nsec = m_mtimeNanoseconds;
        if (SysFutimens(m_fd, times) != 0)
            return abandonWith(errno);
    }
    if (SysFsync(m_fd) != 0)
        return abandonWith(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (SysClose(fd) != 0) {
        const int error = errno;
        RemoveStage();
        return Fail(error);
    }
    if (replace) {
        if (SysRename(m_nativeStage.c_str(), m_nativeTarget.c_str()) != 0) {
            const int error = errno;
            RemoveStage();
            return Fail(error);
        }
    } else {
        // link() refuses an existing name, so no check-then-rename race can clobber a file.
        const int linked = SysLink(m_nativeStage.c_str(), m_nativeTarget.c_str());
        const int error = errno;
        RemoveStage();
        if (linked != 0)
            return Fail(error);
    }
    StageEnded(m_nativeStage);
    SyncFolder(FolderOf(m_nativeTarget));
    return true;
}

// Removes the stage file; when that fails, the next save of the file finds it (its writer is
// gone by then) and removes it.
void CStagedFile::RemoveStage()
{
    SysUnlink(m_nativeStage.c_str());
    StageEnded(m_nativeStage);
}

void CStagedFile::Abandon()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    RemoveStage();
}

} // namespace FileIO
