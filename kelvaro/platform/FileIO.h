// Path and file services of the platform layer: path arithmetic on '/'-separated paths, folder
// creation, atomic copies, and the error texts that go with failures. Seas and the sea registry
// resolve and store file names with these; CUnicodeFile and CopyFile replace files through
// CStagedFile, so a failed write never leaves a half-written file behind.
#pragma once

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Types.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace FileIO {

// True when path starts with '/'.
bool isAbsolutePath(const wchar_t* path);

// A relative path is joined to base (null or empty base: the current directory; a relative
// base is itself taken from the current directory); then "." and ".." segments and repeated
// '/' are resolved lexically, never climbing above '/'. A trailing '/' is kept. An empty path
// stays empty and gives false, as does a failing current-directory query.
bool makePathAbsolute(CString& path, const wchar_t* base);

// A path below base becomes relative to it ("a/b.sea", never with ".."); a relative path is
// taken as relative to base already. False, path unchanged, when the path is not strictly
// below base (outside it, or base itself) or is empty.
bool makePathRelative(CString& path, const wchar_t* base);

// Appends '/' to a non-empty path without one, so a file name can be appended directly.
// An empty path stays empty (false): it must not turn into the root folder.
bool ensureLimitedPath(CString& path);

// Existence of a file that is not a folder / of a folder (symbolic links followed).
bool FileExists(const wchar_t* path);
bool FolderExists(const wchar_t* path);

// Creates the folder and its missing parents; true when it exists afterwards.
bool CreateFolder(const CString& path);

// The folder part up to and including the last '/' (empty when there is none) / the part after it.
CString getFilePath(const CString& path);
CString getFileName(const CString& path);

// A path split into its parts. m_drive is always empty (kept for callers that rebuild paths
// from all parts); m_dir ends in '/'; m_ext starts at the last '.' of the file name ("" when
// none; a leading dot, as in ".profile", belongs to the name).
class CFileNames {
public:
    explicit CFileNames(const wchar_t* path);
    CString m_drive, m_dir, m_name, m_ext;
};

// Joins the parts chosen by selector: 1 drive, 2 folder, 4 name, 8 extension
// (12: name with extension, 3: drive and folder).
CString stripFileName(const CFileNames& names, int selector);

// Copies from to to, replacing to atomically (a staged copy renamed over it). The copy keeps the
// source's permission bits and modification time. Fails when from is missing or a folder, when
// to is read-only (CFile::IsReadOnly), or, with failIfExists, when to exists.
bool CopyFile(const wchar_t* from, const wchar_t* to, bool failIfExists);

// Removes a file; a read-only file or a folder is refused.
bool DeleteFile(const wchar_t* path);

// The current directory without a trailing '/' (empty when it cannot be determined).
CString GetCurrentDirectory();

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; no trailing '/'.
CString GetHomeConfigDirectory();

// errno of the last failed FileIO or CUnicodeFile call in this thread (0 when none failed).
DWORD GetLastError();
void SetLastError(DWORD code);

// Failures that have no errno of their own; GetLastErrorMessage gives their texts.
enum : DWORD {
    kErrorNotRegularFile = 0x4B560001,  // a device, FIFO, socket: only regular files are edited
    kErrorDanglingLink = 0x4B560002,    // a symbolic link that names no file is never replaced
    kErrorHardLinks = 0x4B560003,       // a save would split the file's hard links
    kErrorLocked = 0x4B560004,          // another save of the file held its lock too long
    kErrorChangedOnDisk = 0x4B560005,   // the file changed since the sea read it
};

// The system's text for an error code, e.g. "No such file or directory".
CString GetLastErrorMessage(DWORD code);

// Fault injection for tests: when a hook is set, every system call of a staged save asks it
// first ("open", "write", "fsync", "fchown", "fchmod", "futimens", "close", "rename", "link",
// "unlink"); a non-zero answer is the errno that call fails with. Null removes the hook.
using FaultHook = int (*)(const char* call);
void SetFaultHook(FaultHook hook);

// Opens an existing regular file for reading without blocking on a FIFO or device: anything
// else fails (EISDIR for a folder, kErrorNotRegularFile otherwise). -1 on failure, with the
// error in GetLastError().
int OpenRegularForReading(const std::string& native);

// An exclusive lock on a file for a whole read-change-write: an flock on a lock file beside it
// (".NAME.~lock"), removed by its holder on release. The system drops the lock of a process that
// dies, so a lock file a kill leaves behind holds nobody up. A held lock is waited for up to the
// timeout, then Acquire fails (kErrorLocked). Locks of one process nest: a second Acquire of the
// same file in the process succeeds at once.
class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock() { Release(); }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    bool Acquire(const wchar_t* path, unsigned timeoutMilliseconds = 10000);
    void Release();
    bool IsHeld() const { return !m_lockPath.empty(); }

private:
    std::string m_lockPath;
};

// The file-system form of a path: UTF-8 bytes. Characters that have none become U+FFFD.
std::string ToNativePath(std::wstring_view path);
// A file-system path back as text; bytes that are not UTF-8 become U+FFFD.
CString FromNativePath(std::string_view path);

// Stages a new version of a file in a hidden temporary file in the same folder and puts it in
// place with one rename, so readers see the old or the new file and never a mixture. The stage
// is private (0600) until it takes the target's mode; a stage left by a killed process is
// removed by the next save of the same file. Only regular files are replaced: a device, FIFO
// or socket, a dangling symbolic link, a file the process may not write (its real rights
// decide) and a file with other hard links are refused.
// Errors are remembered: after the first one every write fails and Commit abandons.
class CStagedFile {
public:
    CStagedFile() = default;
    ~CStagedFile();  // abandons a stage that was not committed
    CStagedFile(const CStagedFile&) = delete;
    CStagedFile& operator=(const CStagedFile&) = delete;

    // Starts a stage for path. keepContent: the stage begins as a copy of the existing file.
    // mustExist: a missing file fails (ENOENT) instead of being created. An existing read-only
    // file (CFile::IsReadOnly) fails with EACCES, a folder with EISDIR. A symbolic link is
    // followed, so the file it names is replaced and the link stays.
    bool Begin(const wchar_t* path, bool keepContent, bool mustExist);

    bool IsStaged() const { return m_fd >= 0; }
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    std::uint64_t Size() const { return m_size; }

    // Permission bits and modification time the committed file carries instead of those of the
    // file it replaces (a new file otherwise gets the default bits of the process umask).
    void SetPermissions(unsigned bits);
    void SetModificationTime(std::int64_t seconds, long nanoseconds);

    // Flushes to disk, applies the permissions and renames the stage over the target; with
    // replace false an existing target makes it fail (EEXIST). On any failure the stage is
    // removed, the target stays as it was, and the result is false.
    bool Commit(bool replace = true);

    // Removes the stage; the target stays as it was.
    void Abandon();

    int GetError() const { return m_error; }
    const CString& GetTarget() const { return m_target; }

private:
    bool Fail(int error);
    void RemoveStage();

    int m_fd = -1;
    int m_error = 0;
    std::uint64_t m_size = 0;
    bool m_targetExisted = false;
    bool m_hasPermissions = false;
    unsigned m_permissions = 0;
    bool m_hasTime = false;
    std::int64_t m_mtimeSeconds = 0;
    long m_mtimeNanoseconds = 0;
    std::string m_nativeTarget;
    std::string m_nativeStage;
    CString m_target;
};

} // namespace FileIO
