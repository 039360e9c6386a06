// Files below a root folder, reached without following symbolic links. A backup, and the folder
// a backup is restored into, are data from elsewhere: a link inside them, or a FIFO or device
// standing where a file belongs, must not make a copy read or write outside them, nor block.
// The root itself is taken as the caller names it (a link to a folder is followed there); every
// name below it is opened with openat and O_NOFOLLOW, one folder at a time, and its type is
// looked at before it is opened. Paths are absolute and compared lexically with the root, as
// FileIO::makePathRelative compares them.
#pragma once

#include "kelvaro/platform/CString.h"

namespace SafePath {

enum class Status {
    Ok,         // a regular file is there (Inspect), the copy is in place (CopyBelow)
    Missing,    // nothing there: the file itself or a folder on the way
    Outside,    // the path does not lie strictly below its root
    Link,       // a symbolic link on the way or at the end
    Special,    // a device, FIFO or socket on the way or at the end
    Folder,     // a folder where a file belongs
    NotFolder,  // something other than a folder on the way
    Failed,     // a system call failed: see error
};

struct Result {
    Status status = Status::Ok;
    CString path;   // the place concerned: the link, the special file, the file that failed
    int error = 0;  // errno, for Failed

    bool Ok() const { return status == Status::Ok; }
    // One sentence that names the place, e.g. "/b/prefs is a symbolic link, which is never followed".
    CString Describe() const;
};

// What stands at `path` below `root`, looked at one component at a time without following links
// and without opening anything but the folders on the way. Stops at the first component that is
// not a folder: Missing when it is absent, Link or Special when it is one of those.
Result Inspect(const CString& path, const CString& root);

// Copies the regular file `source` to `destination` below `destinationRoot`. Missing folders
// below the root, and the root itself, are created; the bytes go to a stage file beside the
// destination, which renameat puts in place, so a failure leaves the old file as it was and a
// read-only old file is replaced like any other. The copy keeps the source's permission bits and
// modification time. With a non-empty `sourceRoot` the source lies below it and is reached like
// the destination, never through a link; with an empty one it is opened as named (links
// followed). Either way only a regular file is read, and nothing is opened that could block.
Result CopyBelow(const CString& source, const CString& sourceRoot, const CString& destination,
                 const CString& destinationRoot);

} // namespace SafePath
