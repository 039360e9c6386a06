// CSeaBase: the global write-protection level, which follows and can set the
// read-only attribute of the start file, and the Status sea's optional file.
#include "kelvaro/seabase/SeaBase.h"

#include "kelvaro/platform/File.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/sea/ResourceSea.h"

#include <ctime>

namespace {

// The level from which the project counts as protected.
constexpr int ProtectedLevel = 2;

} // namespace

int CSeaBase::GlobalWriteProtectionStatus()
{
    return g_writeProtection;
}

bool CSeaBase::CheckBaseSeaWriteProtection()
{
    // A memory-only start, or none, has no start file to look at.
    if (ApplicationSea() == nullptr || InMemoryOnly())
        return false;
    RaiseProtectionForReadOnly(g_baseSeaName);
    return g_writeProtection >= ProtectedLevel;
}

bool CSeaBase::SetGlobalWriteProtectionStatus(int level)
{
    g_writeProtection = level;
    if (ApplicationSea() == nullptr || InMemoryOnly())
        return false;

    const bool protect = level >= ProtectedLevel;
    CFileStatus status;
    if (!CFile::GetStatus(g_baseSeaName, status))
        return true;  // a missing start file counts as not read-only; nothing to change
    if (CFile::IsReadOnly(g_baseSeaName) == protect)
        return true;  // the attribute matches already: the file stays untouched

    if (protect)
        status.m_attribute |= CFile::readOnly;
    else
        status.m_attribute &= ~static_cast<unsigned>(CFile::readOnly);
    status.m_mtime = static_cast<std::int64_t>(std::time(nullptr));
    CFile::SetStatus(g_baseSeaName, status);
    return true;
}

bool CSeaBase::InitStatusSea(const wchar_t* fileName)
{
    CResourceSea* status = StatusSea();
    if (ApplicationSea() == nullptr || InMemoryOnly() || status == nullptr)
        return false;

    CString path;
    if (fileName != nullptr) {
        path = fileName;
        FileIO::makePathAbsolute(path, g_defaultPath);
    } else {
        path = g_defaultLocalsPath + L"Status.sea";
    }

    status->UpdateFile();
    // Create() rather than a bare purge: when the new file cannot be read the
    // sea must be memory-only, not still tied to its old file, which the next
    // UpdateStatusSea(lookup::write) would overwrite with an empty sea.
    status->Create();
    status->OpenFileBase(path, false);
    return true;
}

void CSeaBase::UpdateStatusSea(lookup::mode mode)
{
    CResourceSea* status = StatusSea();
    if (status == nullptr || !status->IsFilebased())
        return;
    switch (static_cast<int>(mode)) {
    case lookup::read:
    case lookup::readExisting:
        status->ReloadFileBase(false);
        break;
    case lookup::write:
        status->UpdateFile();
        break;
    default:
        break;
    }
}
