// Kelvaro: the lookup family of CResourceSea - typed values, format strings,
// whole lines, list lines and small queries by entry name. The sea finds or
// creates the entry; the entry does the value work.
#include <cstdarg>
#include <memory>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/sea/ResourceSea.h"

namespace {

// Modes 1 and 2 create a missing entry in the format-string family; 3 and 7
// never create, in any family.
bool CreatesMissing(int mode) { return mode != lookup::readExisting && mode != lookup::remove; }

}  // namespace

// ---- first step of every mode-driven lookup ---------------------------------------------

lookup::result CResourceSea::LookupEntry(CResourceEntry*& entry, int mode, const wchar_t* name,
                                         int status) {
    entry = GetEntry(name);
    if (!CreatesMissing(mode)) return entry != nullptr ? lookup::found : lookup::notFound;
    if (entry != nullptr) return lookup::found;
    // One index probe on the hot path: CreateEntry would look the name up again.
    entry = CreateEntry(name, status);
    return lookup::created;
}

// ---- typed lookups with a mode ------------------------------------------------------------
// Each: find or create (LookupEntry), delete for mode 7, write for mode 2,
// read through the fallback reader otherwise (so a read of a new entry stores
// the caller's value as its default).

template <class T>
lookup::result CResourceSea::LookupTyped(int mode, const wchar_t* name, T& value, unsigned index,
                                         void (CResourceEntry::*write)(T, unsigned),
                                         T (CResourceEntry::*read)(unsigned, T)) {
    CResourceEntry* entry = nullptr;
    const lookup::result result = LookupEntry(entry, mode, name, 0);
    if (entry == nullptr) return result;
    if (mode == lookup::remove) {
        DeleteSeaLine(entry);
    } else if (mode == lookup::write) {
        (entry->*write)(value, index);
    } else {
        value = (entry->*read)(index, value);
    }
    return result;
}

template <class T>
T CResourceSea::LookupGetTyped(const wchar_t* name, unsigned index, T fallback,
                               T (CResourceEntry::*read)(unsigned, T)) const {
    CResourceEntry* entry = GetEntry(name);
    return entry != nullptr ? (entry->*read)(index, fallback) : fallback;
}

template <class T>
lookup::result CResourceSea::LookupSetTyped(const wchar_t* name, T value, unsigned index,
                                            void (CResourceEntry::*write)(T, unsigned)) {
    CResourceEntry* entry = nullptr;
    const lookup::result result = LookupEntry(entry, lookup::write, name, 0);
    (entry->*write)(value, index);
    return result;
}

lookup::result CResourceSea::LookupInt(int mode, const wchar_t* name, int& value, unsigned index) {
    return LookupTyped(mode, name, value, index, &CResourceEntry::SetInt, &CResourceEntry::GetIntFb);
}

lookup::result CResourceSea::LookupInt(int mode, const wchar_t* name, unsigned int& value,
                                       unsigned index) {
    // Same bit pattern as int: values above INT_MAX are stored negative and read back whole.
    int bits = static_cast<int>(value);
    const lookup::result result = LookupInt(mode, name, bits, index);
    value = static_cast<unsigned int>(bits);
    return result;
}

lookup::result CResourceSea::LookupInt(int mode, const wchar_t* name, long& value, unsigned index) {
    return LookupTyped(mode, name, value, index, &CResourceEntry::SetLong, &CResourceEntry::GetLongFb);
}

lookup::result CResourceSea::LookupHex(int mode, const wchar_t* name, std::int64_t& value, unsigned index) {
    return LookupTyped(mode, name, value, index, &CResourceEntry::SetHex, &CResourceEntry::GetHexFb);
}

lookup::result CResourceSea::LookupFloat(int mode, const wchar_t* name, float& value, unsigned index) {
    return LookupTyped(mode, name, value, index, &CResourceEntry::SetFloat, &CResourceEntry::GetFloatFb);
}

lookup::result CResourceSea::LookupDouble(int mode, const wchar_t* name, double& value, unsigned index) {
    return LookupTyped(mode, name, value, index, &CResourceEntry::SetDouble, &CResourceEntry::GetDoubleFb);
}

lookup::result CResourceSea::LookupBool(int mode, const wchar_t* name, bool& value, unsigned index) {
    return LookupTyped(mode, name, value, index, &CResourceEntry::SetBool, &CResourceEntry::GetBoolFb);
}

lookup::result CResourceSea::LookupRgbColor(int mode, const wchar_t* name, unsigned long& value, unsigned index) {
    return LookupTyped(mode, name, value, index, &CResourceEntry::SetRgbColor, &CResourceEntry::GetRgbColorFb);
}

lookup::result CResourceSea::LookupString(int mode, const wchar_t* name, CString& value,
                                          unsigned index) {
    CResourceEntry* entry = nullptr;
    const lookup::result result = LookupEntry(entry, mode, name, 0);
    if (entry == nullptr) return result;
    if (mode == lookup::remove) {
        DeleteSeaLine(entry);
    } else if (mode == lookup::write) {
        entry->SetText(value, index);
    } else {
        value = entry->GetStringFb(index, value.GetString());
    }
    return result;
}

lookup::result CResourceSea::LookupFilename(int mode, const wchar_t* name, CString& path,
                                            const wchar_t* base, unsigned index) {
    // The sea keeps the path relative to base so that a project can move;
    // a path outside base stays absolute (makePathRelative leaves it).
    FileIO::makePathRelative(path, base);
    const lookup::result result = LookupString(mode, name, path, index);
    FileIO::makePathAbsolute(path, base);
    return result;
}

lookup::result CResourceSea::LookupIntVector(int mode, const wchar_t* name, int* values, int count) {
    CResourceEntry* entry = nullptr;
    const lookup::result result = LookupEntry(entry, mode, name, 0);
    if (entry == nullptr) return result;
    if (mode == lookup::remove) {
        DeleteSeaLine(entry);
        return result;
    }
    // A negative count or a missing array is an empty vector, never a wild read or write.
    const unsigned n = (values != nullptr && count > 0) ? static_cast<unsigned>(count) : 0u;
    // A read of a new entry stores the caller's array as its default.
    if (mode == lookup::write || result == lookup::created) {
        entry->SetIntVector(values, n);
    } else {
        entry->GetIntVector(values, n);
    }
    return result;
}

lookup::result CResourceSea::LookupIntSet(int mode, const wchar_t* name, std::set<int>& values) {
    CResourceEntry* entry = nullptr;
    const lookup::result result = LookupEntry(entry, mode, name, 0);
    if (entry == nullptr) return result;
    if (mode == lookup::remove) {
        DeleteSeaLine(entry);
    } else if (mode == lookup::write || result == lookup::created) {
        entry->SetIntSet(values);
    } else {
        entry->GetIntSet(values);
    }
    return result;
}

// ---- readers with a fallback ----------------------------------------------------------------
// They never create an entry; at index == NValues() the entry's fallback reader
// appends the fallback, so a default that was read once is written back.

int CResourceSea::LookupGetInt(const wchar_t* name, unsigned index, int fallback) const {
    return LookupGetTyped(name, index, fallback, &CResourceEntry::GetIntFb);
}

std::int64_t CResourceSea::LookupGetHex(const wchar_t* name, unsigned index, std::int64_t fallback) const {
    return LookupGetTyped(name, index, fallback, &CResourceEntry::GetHexFb);
}

float CResourceSea::LookupGetFloat(const wchar_t* name, unsigned index, float fallback) const {
    return LookupGetTyped(name, index, fallback, &CResourceEntry::GetFloatFb);
}

double CResourceSea::LookupGetDouble(const wchar_t* name, unsigned index, double fallback) const {
    return LookupGetTyped(name, index, fallback, &CResourceEntry::GetDoubleFb);
}

bool CResourceSea::LookupGetBool(const wchar_t* name, unsigned index, bool fallback) const {
    return LookupGetTyped(name, index, fallback, &CResourceEntry::GetBoolFb);
}

unsigned long CResourceSea::LookupGetRgbColor(const wchar_t* name, unsigned index, unsigned long fallback) const {
    return LookupGetTyped(name, index, fallback, &CResourceEntry::GetRgbColorFb);
}

CString CResourceSea::LookupGetString(const wchar_t* name, unsigned index,
                                      const CString& fallback) const {
    // Unlike the other readers this one never appends the fallback.
    CResourceEntry* entry = GetEntry(name);
    if (entry != nullptr && index < entry->NValues()) return entry->GetString(index);
    return fallback;
}

CString CResourceSea::LookupGetFilename(const wchar_t* name, const wchar_t* base, unsigned index,
                                        const CString& fallback) const {
    CString path = LookupGetString(name, index, fallback);
    FileIO::makePathAbsolute(path, base);
    return path;
}

// ---- writers ------------------------------------------------------------------------------------
// They create a missing entry; the result tells whether it was there.

lookup::result CResourceSea::LookupSetInt(const wchar_t* name, int value, unsigned index) {
    return LookupSetTyped(name, value, index, &CResourceEntry::SetInt);
}

lookup::result CResourceSea::LookupSetHex(const wchar_t* name, std::int64_t value, unsigned index) {
    return LookupSetTyped(name, value, index, &CResourceEntry::SetHex);
}

lookup::result CResourceSea::LookupSetFloat(const wchar_t* name, float value, unsigned index) {
    return LookupSetTyped(name, value, index, &CResourceEntry::SetFloat);
}

lookup::result CResourceSea::LookupSetDouble(const wchar_t* name, double value, unsigned index) {
    return LookupSetTyped(name, value, index, &CResourceEntry::SetDouble);
}

lookup::result CResourceSea::LookupSetBool(const wchar_t* name, bool value, unsigned index) {
    return LookupSetTyped(name, value, index, &CResourceEntry::SetBool);
}

lookup::result CResourceSea::LookupSetRgbColor(const wchar_t* name, unsigned long value, unsigned index) {
    return LookupSetTyped(name, value, index, &CResourceEntry::SetRgbColor);
}

lookup::result CResourceSea::LookupSetString(const wchar_t* name, const wchar_t* text,
                                             unsigned index) {
    CResourceEntry* entry = nullptr;
    const lookup::result result = LookupEntry(entry, lookup::write, name, 0);
    // A null text is stored as an empty value rather than read through.
    entry->SetText(text != nullptr ? text : L"", index);
    return result;
}

lookup::result CResourceSea::LookupSetFilename(const wchar_t* name, const wchar_t* path,
                                               const wchar_t* base, unsigned index) {
    // A growing string: paths of any length are stored whole.
    CString relative(path);
    FileIO::makePathRelative(relative, base);
    return LookupSetString(name, relative.GetString(), index);
}

// ---- format strings ---------------------------------------------------------------------------

int CResourceSea::Lookup(int mode, const wchar_t* name, const wchar_t* format, ...) {
    if (mode == lookup::remove) {
        CResourceEntry* entry = GetEntry(name);
        if (entry == nullptr) return lookup::notFound;
        DeleteSeaLine(entry);
        return lookup::found;
    }
    va_list args;
    va_start(args, format);
    int result = lookup::notFound;
    try {
        result = LookupVarArg(mode, name, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return result;
}

int CResourceSea::LookupVarArg(int mode, const wchar_t* name, const wchar_t* format, va_list args) {
    if (CResourceEntry* entry = GetEntry(name)) {
        if (mode == lookup::read || mode == lookup::readExisting) {
            entry->GetVarArgP(0, format, args);
        } else {
            entry->SetVarArgP(format, args);
        }
        return lookup::found;
    }
    // Unlike the typed family, an unknown mode only writes what is already there.
    if (mode != lookup::read && mode != lookup::write) return lookup::notFound;
    CreateEntry(name, 0)->SetVarArgP(format, args);
    return lookup::created;
}

int CResourceSea::Get(const wchar_t* name, const wchar_t* format, ...) const {
    CResourceEntry* entry = GetEntry(name);
    if (entry == nullptr) return lookup::notFound;
    va_list args;
    va_start(args, format);
    try {
        entry->GetVarArgP(0, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return lookup::found;
}

void CResourceSea::Set(const wchar_t* name, const wchar_t* format, ...) {
    CResourceEntry* entry = CreateEntry(name, 0);
    va_list args;
    va_start(args, format);
    try {
        entry->SetVarArg(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

// ---- lines, list lines, comments and queries --------------------------------------------------

int CResourceSea::GetLine(const wchar_t* name, CString& line) const {
    const CResourceEntry* entry = GetEntry(name);
    if (entry == nullptr) return lookup::notFound;
    entry->GetLineValuePart(line);
    return lookup::found;
}

CResourceEntry* CResourceSea::SetLine(const wchar_t* name, const wchar_t* values) {
    CResourceEntry* entry = CreateEntry(name, 0);
    const wchar_t* text = values != nullptr ? values : L"";
    try {
        entry->SeeZeileErneuern();
        // Split the text on a scratch entry first: a value part that does not
        // parse must not cost the entry its present values (nor turn it into
        // a bad line that a sediment-filtered write would drop).
        CResourceEntry probe(nullptr, 0, entry->Name().GetString());
        probe.SetSeaLine(text);
        entry->SetSeaLine(text);
    } catch (const CResourceSeaException&) {
        PrWin::Output(PrWin::LibraryMessage, PrWin::ReadProblem, L"Syntax error in SetLine(%s): %s\n",
                      entry->Name().GetString(), text);
    }
    return entry;
}

bool CResourceSea::AddListLine(const wchar_t* name, const wchar_t* line) {
    const CResourceEntry* existing = GetEntry(name);
    if (existing != nullptr && !existing->IsListEntry()) return false;
    // A null line is added as a blank line, not read through.
    CreateEntry(name, CResourceEntry::StatusListEntry)->AddListLine(line != nullptr ? line : L"", 14);
    return true;
}

void CResourceSea::AppendCommentLine(const wchar_t* text) {
    auto comment = std::make_unique<CResourceEntry>(
        m_reservoir, CResourceEntry::StatusComment | CResourceEntry::StatusAccessed, nullptr);
    if (text != nullptr) {
        comment->InhalteLoeschen(false);
        comment->WertNeuSetzen(text, 0);
    }
    // Built from its values when written: it has no line text of its own.
    comment->m_rebuildLine = true;
    AppendLine(comment.release());
}

int CResourceSea::Delete(const wchar_t* name) {
    CResourceEntry* entry = GetEntry(name);
    if (entry == nullptr) return lookup::notFound;
    DeleteSeaLine(entry);
    return lookup::found;
}

bool CResourceSea::HasEntry(const wchar_t* name) const {
    const CResourceEntry* entry = GetEntry(name);
    return entry != nullptr && !entry->IsComment();
}

bool CResourceSea::Touch(const wchar_t* name) {
    CResourceEntry* entry = GetEntry(name);
    if (entry == nullptr) return false;
    entry->SetModified();
    return true;
}

bool CResourceSea::IsListEntry(const wchar_t* name) const {
    const CResourceEntry* entry = GetEntry(name);
    return entry != nullptr && entry->IsListEntry();
}
