// The application object and its settings store. The store keeps named sections of named
// string and multi-string values in one UTF-8 text file per application, the way a registry
// section holds values; the Locals sea is mirrored into one of its sections. AfxGetApp() gives
// the application object to the library.
#pragma once

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Thread.h"
#include "kelvaro/platform/Types.h"

#include <memory>
#include <vector>

// Value types of the store, numbered as the registry numbers them.
inline constexpr DWORD REG_NONE = 0;     // only for a value that the file holds damaged
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_MULTI_SZ = 7;

// One value of a section.
struct CProfileValue
{
    CString m_name;
    DWORD m_type = REG_NONE;
    CString m_string;               // REG_SZ
    std::vector<CString> m_strings; // REG_MULTI_SZ
};

// The values of one section as the store held them when the section was opened, in their
// stable order (the order of the file; new values at the end of their section).
class CProfileSection
{
public:
    // False when the section could not be opened (empty name, or a store that cannot be read).
    bool IsOpen() const { return m_open; }
    const CString& GetName() const { return m_name; }
    DWORD GetValueCount() const { return static_cast<DWORD>(m_values.size()); }

    // Gives value number `index` and returns 0. A value that the file holds damaged returns
    // EBADMSG with m_name set to what could be read of its name (or the line's text), and an
    // index past the end ENODATA. Codes are errno values: FileIO::GetLastErrorMessage names them.
    DWORD EnumValue(DWORD index, CProfileValue& value) const;

private:
    friend class CWinApp;
    bool m_open = false;
    CString m_name;
    std::vector<CProfileValue> m_values;
};

class CWinApp : public CWinThread
{
public:
    // The application object becomes AfxGetApp() and the constructing thread's thread object.
    // The name names the settings folder; null or empty takes the program's name.
    explicit CWinApp(const wchar_t* appName = nullptr);
    ~CWinApp() override;

    const CString& GetAppName() const { return m_appName; }

    // Where the settings live: by default $XDG_CONFIG_HOME (or ~/.config) / <app name> / settings,
    // with '/' in the name taken as '_'. A relative path is taken from the current directory;
    // null or empty returns to the default. The file is read again on next use.
    void SetProfileFile(const wchar_t* path);
    CString GetProfileFile() const;

    // Reads the file now (it is otherwise read on first use, and again whenever it changed on
    // disk). False when it cannot be read or is damaged; GetProfileError() says where and why.
    // A missing file is an empty store, not an error. Of a damaged file every line that can
    // be read is kept; before the store next writes the file, the damaged file is kept beside
    // it as "<file>.damaged" (".damaged.2", ... when that exists).
    bool LoadProfile();
    // The text of the last failure or damage, empty when the store was read cleanly.
    CString GetProfileError() const;

    // Opens a section for enumeration. A missing section opens empty; an empty name, or a
    // store that cannot be read, gives a section that is not open.
    CProfileSection GetSectionKey(const wchar_t* section);

    // Sets entry to the string value; a null value deletes the entry, a null entry the whole
    // section. The file is rewritten at once. False (store unchanged) for an empty section name,
    // a store that cannot be read, or a file that cannot be written.
    bool WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value);
    // Sets entry to a multi-string value; otherwise like WriteProfileString.
    bool WriteProfileMultiString(const wchar_t* section, const wchar_t* entry, const std::vector<CString>& strings);

    // Holds back the file writes of WriteProfileString and WriteProfileMultiString until the
    // matching EndProfileBatch, which writes the file once: many values in a row cost one
    // write instead of one each. Batches nest. Inside a batch the writes change the store in
    // memory and report its success; EndProfileBatch reports whether the file was written
    // (on false the store is read back from the file, dropping the batch's changes).
    void BeginProfileBatch();
    bool EndProfileBatch();

    // The string value of entry; `defaultValue` (null: "") when it is missing or not a string.
    CString GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* defaultValue = nullptr);
    // The strings of a multi-string value; false (strings emptied) when it is missing or not one.
    bool GetProfileMultiString(const wchar_t* section, const wchar_t* entry, std::vector<CString>& strings);

    struct ProfileStore;

private:
    CString m_appName;
    CWinApp* m_previousApp = nullptr;
    std::unique_ptr<ProfileStore> m_store;
};

// The application object, null when there is none.
CWinApp* AfxGetApp();
