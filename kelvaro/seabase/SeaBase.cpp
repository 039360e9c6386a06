// CSeaBase: the slots, their names, and the creation of seas from the
// description another sea gives of them. Start-up and clean-up, the Locals
// sea, write protection, file-name entries and backup live in their own files.
#include "kelvaro/seabase/SeaBase.h"

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/sea/ResourceSea.h"

#include <memory>

CResourceSea* CSeaBase::g_sea[CSeaBase::SlotCount] = {};
CString CSeaBase::g_seaName[CSeaBase::SlotCount];
CResourceSea* CSeaBase::g_baseSea = nullptr;
CString CSeaBase::g_baseSeaName;
CResourceSea* CSeaBase::g_localsSea = nullptr;
CString CSeaBase::g_defaultPath;
CString CSeaBase::g_defaultLocalsPath;
CString CSeaBase::g_localsRegistryKey;
CString CSeaBase::g_projectName;
bool CSeaBase::g_updateLocals = false;
int CSeaBase::g_writeProtection = 1;

CSeaBase::CSeaBase() = default;

CSeaBase::~CSeaBase() {}

unsigned CSeaBase::SeaIndex(const wchar_t* name)
{
    // An empty name would match every empty slot; no sea is registered without a name.
    if (name == nullptr || *name == L'\0')
        return NoneIndex;
    for (unsigned index = 0; index < NoneIndex; ++index) {
        if (g_seaName[index].Compare(name) == 0)
            return index;
    }
    return NoneIndex;
}

unsigned CSeaBase::GetNextFreeIndex()
{
    // User seas never take a standard slot: one created before the start
    // would otherwise be overwritten (and lost) by the start.
    for (unsigned index = FirstUserIndex; index < NoneIndex; ++index) {
        if (g_sea[index] == nullptr)
            return index;
    }
    return NoneIndex;
}

bool CSeaBase::SeaExists(unsigned index)
{
    return index < SlotCount && g_sea[index] != nullptr;
}

bool CSeaBase::SeaExists(const wchar_t* name)
{
    return SeaExists(SeaIndex(name));
}

CResourceSea* CSeaBase::operator[](unsigned index) const
{
    return index < SlotCount ? g_sea[index] : nullptr;
}

CResourceSea* CSeaBase::operator[](const wchar_t* name) const
{
    return g_sea[SeaIndex(name)];
}

const CString& CSeaBase::SeaName(unsigned index)
{
    static const CString none;
    return index < SlotCount ? g_seaName[index] : none;
}

CResourceSea* CSeaBase::ApplicationSea() { return g_sea[0]; }
CResourceSea* CSeaBase::PreferenceSea() { return g_sea[1]; }
CResourceSea* CSeaBase::MessagesSea() { return g_sea[2]; }
CResourceSea* CSeaBase::ConfigurationSea() { return g_sea[3]; }
CResourceSea* CSeaBase::StatusSea() { return g_sea[4]; }

const CResourceSea* CSeaBase::BaseSea() const
{
    return g_baseSea;
}

bool CSeaBase::InMemoryOnly()
{
    const CResourceSea* application = ApplicationSea();
    return application != nullptr && !application->IsFilebased();
}

void CSeaBase::Register(CResourceSea* sea, const wchar_t* name, unsigned index)
{
    sea->SetSeaName(name);
    g_sea[index] = sea;
    g_seaName[index] = name;
}

CResourceSea* CSeaBase::CreateMemorySea(const wchar_t* name, unsigned index)
{
    auto* sea = new CResourceSea(4001);
    sea->Create();
    Register(sea, name, index);
    return sea;
}

bool CSeaBase::ReadName(CResourceSea* source, const wchar_t* name, CString& file)
{
    CString text;
    if (source != nullptr)
        text = source->LookupGetString(CString(name) + L"File", 0, CString());
    if (!text.IsEmpty()) {
        file = text;
        return true;
    }
    file = CString(name) + L".sea";
    return false;
}

bool CSeaBase::ReadPath(CResourceSea* source, const wchar_t* name, const wchar_t* altKey, CString& path)
{
    CString text;
    if (source != nullptr)
        text = source->LookupGetString(CString(name) + L"Path", 0, CString());
    const bool fromOwnKey = !text.IsEmpty();
    if (!fromOwnKey) {
        text = g_defaultPath;
        if (altKey != nullptr && source != nullptr) {
            CString alternative = source->LookupGetString(altKey, 0, CString());
            if (!alternative.IsEmpty())
                text = alternative;
        }
    }
    path = text;
    FileIO::ensureLimitedPath(path);
    return fromOwnKey;
}

namespace {

// A file name as a sea description holds it, placed in its directory. An
// absolute name stands for itself: glued to the directory it would name a
// file that does not exist.
CString JoinDirectory(const CString& directory, const CString& file)
{
    return FileIO::isAbsolutePath(file) ? file : directory + file;
}

} // namespace

bool CSeaBase::CreateSea(CResourceSea* source, const wchar_t* name, unsigned index)
{
    CString file;
    CString path;
    ReadName(source, name, file);
    ReadPath(source, name, nullptr, path);
    const CString full = JoinDirectory(path, file);

    auto sea = std::make_unique<CResourceSea>(4001);
    if (file == L"$Nil" || file == L"$None") {
        sea->Create();
    } else if (!sea->Create(full, false)) {
        // The sea has reported why; the slot must not keep a stale name.
        g_sea[index] = nullptr;
        g_seaName[index].Empty();
        return false;
    }
    // The registry owns what a slot holds: a sea still there would be lost.
    delete g_sea[index];
    Register(sea.release(), name, index);
    return true;
}

CResourceSea* CSeaBase::CreateNewSea(const wchar_t* name, const wchar_t* file, const wchar_t* path, bool reload)
{
    if (name == nullptr || *name == L'\0')
        throw CResourceSeaException(L"CSeaBase::CreateNewSea() failed: a sea needs a name.", 0);

    const unsigned index = SeaIndex(name);
    if (SeaExists(index)) {
        if (reload)
            g_sea[index]->ReloadFileBase(false);
        return g_sea[index];
    }

    // The none slot stays empty: a sea stored there would answer every
    // unknown name, handing one module's values to another.
    const unsigned freeIndex = GetNextFreeIndex();
    if (freeIndex == NoneIndex)
        throw CResourceSeaException::Formatted(
            0, L"CSeaBase::CreateNewSea() failed for sea '%s': all %u user slots are in use.", name,
            NoneIndex - FirstUserIndex);

    auto sea = std::make_unique<CResourceSea>(4001);
    sea->SetSeaName(name);
    if (file != nullptr && *file != L'\0') {
        CString full(file);
        FileIO::makePathAbsolute(full, path);
        if (!sea->Create(full, false))
            throw CResourceSeaException::Formatted(0, L"CSeaBase::CreateNewSea() failed for sea '%s', file %s.", name,
                                                   full.GetString());
    } else {
        sea->Create();
    }
    CResourceSea* registered = sea.release();
    Register(registered, name, freeIndex);
    return registered;
}

CResourceSea* CSeaBase::GetOrCreateSea(const wchar_t* name, const wchar_t* file, const wchar_t* path, bool reload)
{
    return CreateNewSea(name, file, path, reload);
}

CString CSeaBase::SeaFileName(unsigned index)
{
    const CString& name = SeaName(index);
    // An empty slot has no file; asking must not add a "File" entry to the base sea.
    if (g_baseSea == nullptr || name.IsEmpty())
        return CString();
    CResourceEntry* entry = g_baseSea->CreateEntry(name + L"File", 0);
    const CString file = entry->GetStringFb(0, name + L".sea");
    CString path;
    ReadPath(g_baseSea, name, nullptr, path);
    return JoinDirectory(path, file);
}
