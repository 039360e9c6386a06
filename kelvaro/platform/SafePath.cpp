#include "kelvaro/platform/SafePath.h"

#include "kelvaro/platform/FileIO.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafePath {
namespace {

// Owns one file descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

Result Make(Status status, const CString& path, int error = 0)
{
    Result result;
    result.status = status;
    result.path = path;
    result.error = error;
    return result;
}

Status StatusOf(mode_t mode)
{
    if (S_ISREG(mode))
        return Status::Ok;
    if (S_ISLNK(mode))
        return Status::Link;
    if (S_ISDIR(mode))
        return Status::Folder;
    return Status::Special;
}

// A place below a root: the root as the caller named it and the names below it, in file-system form.
struct Place {
    CString root;
    std::vector<std::string> names;

    // The path of the first `count` names, for reports.
    CString Path(std::size_t count) const
    {
        CString path = root;
        for (std::size_t i = 0; i < count; ++i) {
            FileIO::ensureLimitedPath(path);
            path += FileIO::FromNativePath(names[i]);
        }
        return path;
    }
};

// Splits `path` below `root` into its names. The comparison is lexical, so a ".." can never
// climb out through a link; one left in the names would still be refused.
Result Split(const CString& path, const CString& root, Place& place)
{
    CString relative = path;
    if (root.IsEmpty() || !FileIO::makePathRelative(relative, root))
        return Make(Status::Outside, path);
    place.root = root;
    if (relative.Str().back() == L'/')
        return Make(Status::Folder, path);
    const std::string native = FileIO::ToNativePath(relative.Str());
    std::size_t start = 0;
    while (start <= native.size()) {
        std::size_t slash = native.find('/', start);
        if (slash == std::string::npos)
            slash = native.size();
        const std::string name = native.substr(start, slash - start);
        if (name == "..")
            return Make(Status::Outside, path);
        if (!name.empty() && name != ".")
            place.names.push_back(name);
        start = slash + 1;
    }
    if (place.names.empty())
        return Make(Status::Outside, path);
    return Result();
}

// What the entry `name` of the open folder `folder` is, the entry itself and not what a link names.
Result Judge(int folder, const std::string& name, const CString& path)
{
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Make(errno == ENOENT ? Status::Missing : Status::Failed, path, errno);
    return Make(StatusOf(st.st_mode), path);
}

// Opens the root folder: as named, so a link there is followed.
Result OpenRoot(const CString& root, Descriptor& folder)
{
    folder.Reset(::open(FileIO::ToNativePath(root.Str()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        return Result();
    const int error = errno;
    if (error == ENOENT)
        return Make(Status::Missing, root);
    return Make(error == ENOTDIR ? Status::NotFolder : Status::Failed, root, error);
}

// Moves `folder` from the root down to the folder that holds the last name of `place`, never
// through a link. With `create`, missing folders are made on the way.
Result OpenParent(const Place& place, bool create, Descriptor& folder)
{
    for (std::size_t i = 0; i + 1 < place.names.size(); ++i) {
        const char* name = place.names[i].c_str();
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(folder.Get(), name, flags);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(folder.Get(), name, 0777) != 0 && errno != EEXIST)
                return Make(Status::Failed, place.Path(i + 1), errno);
            next = ::openat(folder.Get(), name, flags);
        }
        if (next < 0) {
            const int error = errno;
            Result found = Judge(folder.Get(), place.names[i], place.Path(i + 1));
            if (found.status == Status::Ok)
                found.status = Status::NotFolder;
            else if (found.status == Status::Folder)
                found = Make(Status::Failed, found.path, error);  // a folder that would not open
            return found;
        }
        folder.Reset(next);
    }
    return Result();
}

// Opens a regular file for reading without following a link below `root` and without blocking.
Result OpenBelow(const CString& path, const CString& root, Descriptor& file)
{
    Place place;
    Result result = Split(path, root, place);
    Descriptor folder;
    if (result.Ok())
        result = OpenRoot(root, folder);
    if (result.Ok())
        result = OpenParent(place, false, folder);
    if (result.Ok())
        result = Judge(folder.Get(), place.names.back(), path);
    if (!result.Ok())
        return result;
    file.Reset(::openat(folder.Get(), place.names.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0)
        return Make(errno == ELOOP ? Status::Link : Status::Failed, path, errno);
    return Result();
}

// Opens a file as named, links followed; only a regular file, and never one that could block.
Result OpenNamed(const CString& path, Descriptor& file)
{
    const std::string native = FileIO::ToNativePath(path.Str());
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0)
        return Make(errno == ENOENT ? Status::Missing : Status::Failed, path, errno);
    if (!S_ISREG(st.st_mode))
        return Make(StatusOf(st.st_mode), path);
    file.Reset(::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0)
        return Make(Status::Failed, path, errno);
    return Result();
}

Result Copy(int in, int out, const CString& source, const CString& stage)
{
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Make(Status::Failed, source, errno);
        if (n == 0)
            return Result();
        for (ssize_t done = 0; done < n;) {
            const ssize_t written = ::write(out, chunk.data() + done, static_cast<std::size_t>(n - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return Make(Status::Failed, stage, written < 0 ? errno : ENOSPC);
            done += written;
        }
    }
}

std::atomic<unsigned> g_stageCounter{0};

// Creates a new hidden stage file beside `name` in `folder`; its name goes to `stage`.
int CreateStage(int folder, const std::string& name, std::string& stage)
{
    std::string stem = ".";  // built by appends: GCC 12 at -O2 misreads "." + string as overlapping
    stem.append(name, 0, 180);  // cut so the suffix stays within the name limit
    for (int attempt = 0;; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".~%lx-%x", static_cast<unsigned long>(::getpid()),
                      g_stageCounter.fetch_add(1));
        stage = stem + suffix;
        const int fd = ::openat(folder, stage.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST || attempt >= 100)
            return fd;
    }
}

} // namespace

CString Result::Describe() const
{
    CString text;
    switch (status) {
    case Status::Ok:
        break;
    case Status::Missing:
        text.Format(L"%s does not exist", path.GetString());
        break;
    case Status::Outside:
        text.Format(L"%s lies outside the folder it belongs to", path.GetString());
        break;
    case Status::Link:
        text.Format(L"%s is a symbolic link, which is never followed", path.GetString());
        break;
    case Status::Special:
        text.Format(L"%s is not a regular file but a device, FIFO or socket", path.GetString());
        break;
    case Status::Folder:
        text.Format(L"%s is a folder", path.GetString());
        break;
    case Status::NotFolder:
        text.Format(L"%s is not a folder", path.GetString());
        break;
    case Status::Failed:
        text.Format(L"%s: %s", path.GetString(), FileIO::GetLastErrorMessage(static_cast<DWORD>(error)).GetString());
        break;
    }
    return text;
}

Result Inspect(const CString& path, const CString& root)
{
    Place place;
    Result result = Split(path, root, place);
    Descriptor folder;
    if (result.Ok())
        result = OpenRoot(root, folder);
    if (result.Ok())
        result = OpenParent(place, false, folder);
    if (result.Ok())
        result = Judge(folder.Get(), place.names.back(), path);
    return result;
}

Result CopyBelow(const CString& source, const CString& sourceRoot, const CString& destination,
                 const CString& destinationRoot)
{
    Descriptor in;
    Result result = sourceRoot.IsEmpty() ? OpenNamed(source, in) : OpenBelow(source, sourceRoot, in);
    if (!result.Ok())
        return result;
    // Checked again on the open file: the name may have been replaced since it was looked at.
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0)
        return Make(Status::Failed, source, errno);
    if (!S_ISREG(st.st_mode))
        return Make(StatusOf(st.st_mode), source);

    Place place;
    result = Split(destination, destinationRoot, place);
    if (!result.Ok())
        return result;
    if (!FileIO::CreateFolder(destinationRoot))
        return Make(Status::Failed, destinationRoot, static_cast<int>(FileIO::GetLastError()));
    Descriptor folder;
    result = OpenRoot(destinationRoot, folder);
    if (result.Ok())
        result = OpenParent(place, true, folder);
    const std::string& name = place.names.back();
    if (result.Ok())
        result = Judge(folder.Get(), name, destination);
    if (result.status == Status::Missing)
        result = Result();
    if (!result.Ok())
        return result;

    std::string stageName;
    Descriptor out(CreateStage(folder.Get(), name, stageName));
    CString stage = place.Path(place.names.size() - 1);
    FileIO::ensureLimitedPath(stage);
    stage += FileIO::FromNativePath(stageName);
    if (out.Get() < 0)
        return Make(Status::Failed, stage, errno);
    result = Copy(in.Get(), out.Get(), source, stage);
    struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    if (result.Ok() && (::fchmod(out.Get(), st.st_mode & 07777) != 0 || ::futimens(out.Get(), times) != 0 ||
                        ::fsync(out.Get()) != 0))
        result = Make(Status::Failed, stage, errno);
    if (result.Ok() && ::close(out.Release()) != 0)
        result = Make(Status::Failed, stage, errno);
    out.Reset();
    // A link that appeared meanwhile is refused too; renameat would replace the link itself, never
    // write where it points, but the caller was told links are left alone.
    if (result.Ok()) {
        result = Judge(folder.Get(), name, destination);
        if (result.status == Status::Missing)
            result = Result();
    }
    if (result.Ok() && ::renameat(folder.Get(), stageName.c_str(), folder.Get(), name.c_str()) != 0)
        result = Make(Status::Failed, destination, errno);
    if (!result.Ok()) {
        ::unlinkat(folder.Get(), stageName.c_str(), 0);
        return result;
    }
    ::fsync(folder.Get());  // best effort: the rename is visible already
    return result;
}

} // namespace SafePath
