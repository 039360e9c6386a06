// CSeaBase: file names kept in the Application sea as the pair of entries
// name + "File" (the file name) and name + "Path" (its directory, stored only
// when it differs from the one that would be used without it).
#include "kelvaro/seabase/SeaBase.h"

#include "kelvaro/platform/FileIO.h"
#include "kelvaro/sea/ResourceSea.h"

bool CSeaBase::ReadFilename(const wchar_t* name, const wchar_t* altKey, CString& fullPath)
{
    CResourceSea* application = ApplicationSea();
    if (application == nullptr)
        return false;
    CString file;
    if (!ReadName(application, name, file))
        return false;
    // A full path written into the File entry by hand is taken as it stands.
    if (FileIO::isAbsolutePath(file)) {
        fullPath = file;
        return true;
    }
    CString path;
    ReadPath(application, name, altKey, path);
    fullPath = path + file;
    return true;
}

bool CSeaBase::WriteFilename(const wchar_t* name, const wchar_t* altKey, const wchar_t* fullPath)
{
    CResourceSea* application = ApplicationSea();
    if (application == nullptr || fullPath == nullptr)
        return false;

    CString path;
    ReadPath(application, name, altKey, path);
    const FileIO::CFileNames parts(fullPath);
    const CString filePart = FileIO::stripFileName(parts, 12);
    const CString dirPart = FileIO::stripFileName(parts, 3);

    application->LookupSetString(CString(name) + L"File", filePart, 0);
    // An existing Path entry is never removed: pointing it elsewhere is enough.
    if (!dirPart.IsEmpty() && dirPart != path)
        application->LookupSetString(CString(name) + L"Path", dirPart, 0);
    return true;
}

bool CSeaBase::LookupFilename(int mode, const wchar_t* name, const wchar_t* altKey, CString& fullPath)
{
    if (ApplicationSea() == nullptr)
        return false;
    switch (mode) {
    case lookup::write:
        return WriteFilename(name, altKey, fullPath);
    case lookup::readExisting:
        return ReadFilename(name, altKey, fullPath);
    default:
        // Nothing stored yet: the caller's present path becomes the default.
        if (!ReadFilename(name, altKey, fullPath))
            WriteFilename(name, altKey, fullPath);
        return true;
    }
}
