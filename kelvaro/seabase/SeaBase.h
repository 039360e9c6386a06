// CSeaBase: the process-wide registry of seas. It keeps the standard seas
// (Application, Preference, Messages, Configuration, Status) and the seas that
// modules create in numbered, named slots, together with the base sea, the
// Locals sea, the default directories, the project name and the global
// write-protection level. The application starts it once (Init, InitAppDirect
// or InitMemoryOnly) and stops it with Cleanup; modules fetch their seas here.
//
// All state is static: every CSeaBase object sees the same registry, and the
// objects themselves carry nothing. The registry owns every sea it hands out;
// pointers stay valid until Cleanup (or Restore). Used from one thread only.
//
// Names and paths are growing strings: a sea name of any length and a path of
// any length are taken whole; nothing is cut and nothing is written past a buffer.
#pragma once

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Object.h"
#include "kelvaro/sea/Lookup.h"

class CResourceSea;

class CSeaBase : public CObject {
public:
    // Number of slots, and the slot that a search for an unknown name yields.
    // The none slot never holds a sea, so an unknown name never finds one.
    static constexpr unsigned SlotCount = 110;
    static constexpr unsigned NoneIndex = 109;
    // Slots 0 to 4 belong to the standard seas; user seas take 5 to 108.
    static constexpr unsigned FirstUserIndex = 5;

    CSeaBase();
    // Does nothing: the registry outlives the object; stopping it is Cleanup().
    ~CSeaBase() override;

    // ---- Registry ----

    // Whether the slot that `name` finds holds a sea (false for unknown names).
    static bool SeaExists(const wchar_t* name);

    // The standard seas (slots 0 to 4); null before a start.
    static CResourceSea* ApplicationSea();
    static CResourceSea* PreferenceSea();
    static CResourceSea* MessagesSea();
    static CResourceSea* ConfigurationSea();
    static CResourceSea* StatusSea();
    // The base sea; null before a start.
    const CResourceSea* BaseSea() const;
    // True when the Application sea is not file-based; false before a start.
    static bool InMemoryOnly();

    // The registered sea `name`; on first sight of the name a new sea is made
    // from `file` (taken against the directory `path`, null: the current
    // directory; null or empty `file`: memory-only) and registered in the
    // lowest free user slot. With `reload` an existing sea re-reads its file,
    // keeping the values the program changed. Never null. Throws
    // CResourceSeaException (code 0) for an empty name, when the file can be
    // neither read nor created, or when every user slot is in use.
    CResourceSea* CreateNewSea(const wchar_t* name, const wchar_t* file, const wchar_t* path, bool reload);
    // The same operation as CreateNewSea.
    CResourceSea* GetOrCreateSea(const wchar_t* name, const wchar_t* file, const wchar_t* path, bool reload);
    // Directory and file name of the sea in slot `index` as the base sea
    // describes it; adds the name + "File" entry to the base sea when missing.
    // Empty before a start and for an empty slot.
    CString SeaFileName(unsigned index);

    // ---- Start-up and clean-up ----

    // True when `fileName` exists, reads as a sea and names an Application
    // sea file ("ApplicationFile"). Writes nothing.
    static bool CheckBaseSea(const CString& fileName);
    // Starts from a base sea file (created empty when missing). False, with the
    // registry stopped again, when the base, Application, Configuration or
    // Preference sea cannot be created; false at once, changing nothing, when
    // the registry is started already. A read-only start file raises the
    // write-protection level to 2; a higher level set before stays.
    bool Init(const wchar_t* baseSeaFile);
    // Starts from an application sea file alone: its Preference section becomes
    // the Preference sea. False only when the registry is started already.
    // Write protection as for Init.
    bool InitAppDirect(const wchar_t* applicationFile);
    // Starts with every sea in memory. False only when the registry is started already.
    bool InitMemoryOnly();
    static const CString& DefaultPath();
    static const CString& DefaultLocalsPath();
    static const CString& ProjectName();
    static void SetProjectName(const wchar_t* name);
    // Stops the registry: writes the Locals sea back when so configured, then
    // deletes every sea without writing it. Keeps the default Locals path, the
    // registry section, the Locals sync switch and the write-protection level.
    void Cleanup();

    // ---- Locals sea ----

    // The Locals sea, created (memory-only, empty) on first use; deleted by Cleanup.
    static CResourceSea* LocalsSea();
    // With `force` or the sync switch: the Locals sea takes the Application
    // sea's values, is written to its file and mirrored into the settings
    // section. Does nothing before a start.
    void SynchronizeLocals(bool force);
    static bool GetSyncLocals();
    static void SetSyncLocals(bool on);
    // The settings section that mirrors the Locals sea; set it before the start.
    static void SetLocalsRegistryKey(const wchar_t* section);

    // ---- Write protection and Status sea ----

    static int GlobalWriteProtectionStatus();
    // Raises the level to 2 when the start file is read-only; true when the
    // level is 2 or more. False for a memory-only start and before a start.
    static bool CheckBaseSeaWriteProtection();
    // Stores `level` in every case and makes the start file's read-only
    // attribute follow it (2 or more: protected). False, with no file touched,
    // for a memory-only start and before a start.
    static bool SetGlobalWriteProtectionStatus(int level);
    // Ties the Status sea to `fileName` (relative to the default directory;
    // null: Status.sea in the Locals directory) and reads it. A missing file
    // leaves the Status sea empty and memory-only. False for a memory-only
    // start and before a start.
    bool InitStatusSea(const wchar_t* fileName);
    // Reads (read, readExisting) or writes (write) the Status sea's file; other
    // modes, and a Status sea without a file, do nothing.
    static void UpdateStatusSea(lookup::mode mode);

    // ---- Application save, load, backup and restore ----

    // Writes the Application sea to `applicationFile` and the Preference sea to
    // `preferenceFile` (relative: to the default directory), or as a section of
    // the application file when it is null, empty or that same file. Both seas
    // take the new names; with `changeDefaultPath` an absolute application file
    // makes its directory the default one. False, writing nothing, when either
    // file is read-only or before a start; false, with a report, when a write
    // fails (the other is still written, but a section never goes into an old
    // application file).
    bool SaveApplicationAs(const wchar_t* applicationFile, const wchar_t* preferenceFile, bool changeDefaultPath);
    // Merges other files into the Application and Preference seas (null
    // preference file: the application file's Preference section); their own
    // files and layout stay. False, with both seas untouched, when the
    // application file is missing or cannot be read, and before a start; a
    // missing preference file is only reported.
    bool LoadApplicationAs(const wchar_t* applicationFile, const wchar_t* preferenceFile);
    // Copies the project's sea files into `backupDirectory`, keeping their
    // places relative to the default directory (files from outside it go below
    // "external/"), replacing earlier copies even when read-only. A base sea
    // without a file is left out. False at the first failed copy (earlier ones
    // stay), for two files that would share one place, and before a start.
    bool Backup(const wchar_t* backupDirectory);
    // Copies a backed-up project into `targetDirectory` (null: the default
    // directory) and restarts the registry on the restored base sea. False,
    // with nothing changed, when the backup names sea files outside the target
    // (or, for its own start, outside its directory), or when the target or
    // the base sea cannot be copied; false with the registry stopped when the
    // backup or the restored project cannot be started or a copy fails.
    bool Restore(const wchar_t* backupBaseFile, const wchar_t* targetDirectory);
    // Prints a banner and the content of the sea in slot `index`; false for an empty or unknown slot.
    static bool PrWinDump(unsigned index);

    // ---- File-name entries in the Application sea ----

    // The full path that the entries name + "File" and name + "Path" give
    // (the directory defaults to the entry `altKey`, then the default path).
    // False, with `fullPath` untouched, when there is no name + "File" value
    // or the registry is not started.
    bool ReadFilename(const wchar_t* name, const wchar_t* altKey, CString& fullPath);
    // Stores `fullPath` as the entries name + "File" and, when its directory
    // differs from the one reading would use, name + "Path". False before a
    // start or for a null path.
    bool WriteFilename(const wchar_t* name, const wchar_t* altKey, const wchar_t* fullPath);
    // lookup::write: WriteFilename; lookup::readExisting: ReadFilename; any
    // other mode reads and, when nothing is stored, stores `fullPath` as the
    // default. False before a start.
    bool LookupFilename(int mode, const wchar_t* name, const wchar_t* altKey, CString& fullPath);

protected:
    // The lowest slot carrying `name` (exact comparison); NoneIndex when none does.
    static unsigned SeaIndex(const wchar_t* name);
    static bool SeaExists(unsigned index);
    // The sea in slot `index`, or null.
    CResourceSea* operator[](unsigned index) const;
    // The sea that `name` finds; null for unknown names.
    CResourceSea* operator[](const wchar_t* name) const;
    static const CString& SeaName(unsigned index);

private:
    // The lowest free user slot; NoneIndex when all are in use.
    unsigned GetNextFreeIndex();
    // Creates the sea `name` in slot `index` as `source` describes it; "$Nil"
    // or "$None" as its file makes it memory-only. False, with the slot
    // cleared, when its file can be neither read nor created.
    bool CreateSea(CResourceSea* source, const wchar_t* name, unsigned index);
    // `file` := value 0 of name + "File" in `source`; true when that is not
    // empty, else `file` := name + ".sea" and false.
    static bool ReadName(CResourceSea* source, const wchar_t* name, CString& file);
    // `path` := value 0 of name + "Path" in `source` (true), else of `altKey`,
    // else the default path (false); always ends in '/'.
    static bool ReadPath(CResourceSea* source, const wchar_t* name, const wchar_t* altKey, CString& path);

    // Sets both default directories from the directory of a start file
    // (relative names: against the current directory).
    static void SetDefaultPathsFromFile(const wchar_t* startFile);
    // Sets both default directories to `directory`, ending in '/'.
    static void SetDefaultPaths(const CString& directory);
    // Raises the write-protection level to 2 (never lowers it) when `file` is read-only.
    static void RaiseProtectionForReadOnly(const wchar_t* file);
    // A new memory-only sea with hash size 4001, registered in slot `index`.
    static CResourceSea* CreateMemorySea(const wchar_t* name, unsigned index);
    // Stores `sea` in slot `index` under `name`.
    static void Register(CResourceSea* sea, const wchar_t* name, unsigned index);

    static CResourceSea* CreateLocalsSea();
    // Fills the Locals sea from the settings section and its file and merges
    // it into the Application sea; every start calls it.
    void InsertLocals();
    void ReadLocalsFromRegistry();
    void WriteLocalsToRegistry();

    static CResourceSea* g_sea[SlotCount];
    static CString g_seaName[SlotCount];
    static CResourceSea* g_baseSea;
    static CString g_baseSeaName;
    static CResourceSea* g_localsSea;
    static CString g_defaultPath;
    static CString g_defaultLocalsPath;
    static CString g_localsRegistryKey;
    static CString g_projectName;
    static bool g_updateLocals;
    static int g_writeProtection;
};
