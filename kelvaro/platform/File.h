// The status of a file on disk: existence, size, modification time and the read-only attribute.
// Seas ask it whether their file exists; the registry reads and sets the start file's read-only
// attribute with it; every writer of the platform layer asks IsReadOnly before replacing a file.
#pragma once

#include "kelvaro/platform/CString.h"

#include <cstdint>

struct CFileStatus {
    std::int64_t m_mtime = 0;  // seconds since 1970-01-01 UTC; 0 in SetStatus means "leave as it is"
    std::uint64_t m_size = 0;
    unsigned m_attribute = 0;  // CFile::readOnly, CFile::directory
    CString m_szFullName;      // absolute path, "." and ".." resolved
};

class CFile {
public:
    enum : unsigned { normal = 0x00, readOnly = 0x01, directory = 0x10 };

    // Fills status for an existing file or folder (symbolic links followed); false when it is
    // missing or path is null or empty, status then untouched.
    static bool GetStatus(const wchar_t* path, CFileStatus& status);

    // Applies the read-only attribute and, when non-zero, the modification time. Setting
    // read-only clears the owner, group and other write bits; clearing it gives the owner write
    // bit back (the other bits stay). False when the file is missing or a change is refused.
    static bool SetStatus(const wchar_t* path, const CFileStatus& status);

    // The one place that decides whether an existing file may be rewritten: true when its owner
    // write bit is clear. Deliberately not an access() check, so the attribute binds root too.
    // A missing file is not read-only.
    static bool IsReadOnly(const wchar_t* path);
};
