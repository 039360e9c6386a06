#include "kelvaro/platform/WinApp.h"

#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/Utf.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace {

std::atomic<CWinApp*> g_app{nullptr};

// A settings file larger than this is refused (the store cannot be read) rather than read into memory.
constexpr off_t maxSettingsBytes = 64 * 1024 * 1024;

struct Section
{
    CString name;
    std::vector<CProfileValue> values; // m_type REG_NONE: a line of the file that was damaged
};
using Sections = std::vector<Section>;

// What identifies one version of the file on disk; a change means another writer replaced it.
struct Signature
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t seconds = 0;
    long nanoseconds = 0;

    bool operator==(const Signature&) const = default;
};

Signature SignatureOf(const struct stat& st)
{
    return Signature{true, st.st_dev, st.st_ino, st.st_size, static_cast<std::int64_t>(st.st_mtim.tv_sec),
                     st.st_mtim.tv_nsec};
}

Signature StatSignature(const std::string& nativePath)
{
    struct stat st;
    return ::stat(nativePath.c_str(), &st) == 0 ? SignatureOf(st) : Signature{};
}

// ---- Text form -------------------------------------------------------------------------------
// One line per section header (["name"]) and per value ("name" = "text" or "name" = ["a", "b"]).
// Everything the program writes is quoted and escaped, so any name or text round-trips,
// including line breaks, quotes and characters that are no Unicode scalar value.

bool NeedsNumericEscape(std::uint32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFEFF ||
           c == 0xFFFD || c > 0x10FFFF;
}

void AppendQuoted(std::wstring& out, const CString& text)
{
    static const wchar_t hex[] = L"0123456789ABCDEF";
    out += L'"';
    for (wchar_t ch : text.Str()) {
        const auto c = static_cast<std::uint32_t>(ch);
        switch (ch) {
        case L'"': out += L"\\\""; continue;
        case L'\\': out += L"\\\\"; continue;
        case L'\n': out += L"\\n"; continue;
        case L'\r': out += L"\\r"; continue;
        case L'\t': out += L"\\t"; continue;
        default: break;
        }
        if (!NeedsNumericEscape(c)) {
            out += ch;
            continue;
        }
        // U+FFFD is escaped too: a literal one in the file can then only come from bytes that
        // were not UTF-8, which the reader reports as damage.
        const int digits = c > 0xFFFF ? 8 : 4;
        out += c > 0xFFFF ? L"\\U" : L"\\u";
        for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
            out += hex[(c >> shift) & 0xF];
    }
    out += L'"';
}

std::wstring RenderSettings(const Sections& sections)
{
    std::wstring out = L"# Settings of this program. Each [\"section\"] line is followed by its values,\n"
                       L"# \"name\" = \"text\" or \"name\" = [\"text\", ...], with \\\" \\\\ \\n \\r \\t \\uXXXX escapes.\n";
    for (const Section& section : sections) {
        out += L"\n[";
        AppendQuoted(out, section.name);
        out += L"]\n";
        for (const CProfileValue& value : section.values) {
            if (value.m_type == REG_NONE)
                continue; // damaged lines are kept in the backup copy, not carried on
            AppendQuoted(out, value.m_name);
            out += L" = ";
            if (value.m_type == REG_SZ) {
                AppendQuoted(out, value.m_string);
            } else {
                out += L'[';
                for (std::size_t i = 0; i < value.m_strings.size(); ++i) {
                    if (i > 0)
                        out += L", ";
                    AppendQuoted(out, value.m_strings[i]);
                }
                out += L']';
            }
            out += L'\n';
        }
    }
    return out;
}

// Reads one line of the text form; each method returns false and names the fault in m_error.
class LineReader
{
public:
    explicit LineReader(std::wstring_view line) : m_line(line) {}

    const wchar_t* m_error = nullptr;

    void SkipBlanks()
    {
        while (m_pos < m_line.size() && (m_line[m_pos] == L' ' || m_line[m_pos] == L'\t'))
            ++m_pos;
    }
    bool AtEnd()
    {
        SkipBlanks();
        return m_pos == m_line.size();
    }
    bool Peek(wchar_t c)
    {
        SkipBlanks();
        return m_pos < m_line.size() && m_line[m_pos] == c;
    }
    bool Take(wchar_t c)
    {
        if (!Peek(c))
            return false;
        ++m_pos;
        return true;
    }
    bool Expect(wchar_t c, const wchar_t* error)
    {
        return Take(c) || Fail(error);
    }
    bool Quoted(CString& out, const wchar_t* missing)
    {
        if (!Expect(L'"', missing))
            return false;
        std::wstring text;
        while (m_pos < m_line.size()) {
            wchar_t c = m_line[m_pos++];
            if (c == L'"') {
                out = CString(std::move(text));
                return true;
            }
            if (c != L'\\') {
                text += c;
                continue;
            }
            if (m_pos == m_line.size())
                break;
            switch (m_line[m_pos++]) {
            case L'"': text += L'"'; break;
            case L'\\': text += L'\\'; break;
            case L'n': text += L'\n'; break;
            case L'r': text += L'\r'; break;
            case L't': text += L'\t'; break;
            case L'u':
                if (!Hex(4, text))
                    return false;
                break;
            case L'U':
                if (!Hex(8, text))
                    return false;
                break;
            default: return Fail(L"unknown escape sequence");
            }
        }
        return Fail(L"missing closing quote");
    }
    bool Fail(const wchar_t* error)
    {
        if (m_error == nullptr)
            m_error = error;
        return false;
    }

private:
    bool Hex(int digits, std::wstring& text)
    {
        std::uint32_t c = 0;
        for (int i = 0; i < digits; ++i, ++m_pos) {
            if (m_pos == m_line.size())
                return Fail(L"incomplete \\u escape");
            const wchar_t d = m_line[m_pos];
            const int v = d >= L'0' && d <= L'9'   ? d - L'0'
                          : d >= L'A' && d <= L'F' ? d - L'A' + 10
                          : d >= L'a' && d <= L'f' ? d - L'a' + 10
                                                   : -1;
            if (v < 0)
                return Fail(L"incomplete \\u escape");
            c = c << 4 | static_cast<std::uint32_t>(v);
        }
        text += static_cast<wchar_t>(c);
        return true;
    }

    std::wstring_view m_line;
    std::size_t m_pos = 0;
};

struct ParseResult
{
    Sections sections;
    int damagedLines = 0;
    int firstDamagedLine = 0;
    const wchar_t* firstError = nullptr;

    void Damage(int lineNumber, const wchar_t* error)
    {
        if (damagedLines++ == 0) {
            firstDamagedLine = lineNumber;
            firstError = error;
        }
    }
};

bool ReadValue(LineReader& reader, CProfileValue& value)
{
    if (!reader.Quoted(value.m_name, L"not a section or value line") ||
        !reader.Expect(L'=', L"'=' expected after the name"))
        return false;
    if (reader.Peek(L'"')) {
        value.m_type = REG_SZ;
        if (!reader.Quoted(value.m_string, L"value expected"))
            return false;
    } else {
        value.m_type = REG_MULTI_SZ;
        if (!reader.Expect(L'[', L"a quoted value or a [list] expected after '='"))
            return false;
        if (!reader.Peek(L']')) {
            do {
                CString item;
                if (!reader.Quoted(item, L"a quoted text expected in the list"))
                    return false;
                value.m_strings.push_back(std::move(item));
            } while (reader.Take(L','));
        }
        if (!reader.Expect(L']', L"',' or ']' expected in the list"))
            return false;
    }
    return reader.AtEnd() || reader.Fail(L"unexpected text after the value");
}

ParseResult ParseSettings(std::wstring_view text)
{
    ParseResult result;
    if (!text.empty() && text.front() == static_cast<wchar_t>(0xFEFF))
        text.remove_prefix(1); // a byte-order mark left by an editor
    Section* current = nullptr; // the section that takes the values; null: none
    int lineNumber = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = std::min(text.find(L'\n', pos), text.size());
        std::wstring_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == L'\r')
            line.remove_suffix(1);

        LineReader reader(line);
        if (reader.AtEnd() || reader.Peek(L'#'))
            continue;

        if (reader.Take(L'[')) {
            CString name;
            if (line.find(kelvaro::kReplacementChar) == std::wstring_view::npos &&
                reader.Quoted(name, L"a quoted section name expected after '['") &&
                reader.Expect(L']', L"']' expected after the section name") &&
                (reader.AtEnd() || reader.Fail(L"unexpected text after the section name")) &&
                (!name.IsEmpty() || reader.Fail(L"empty section name"))) {
                auto it = std::find_if(result.sections.begin(), result.sections.end(),
                                       [&](const Section& s) { return s.name == name; });
                current = it != result.sections.end() ? &*it : &result.sections.emplace_back(Section{name, {}});
                continue;
            }
            // The values that follow belong to a section we cannot name: they are damaged too.
            result.Damage(lineNumber, reader.m_error != nullptr ? reader.m_error : L"the line is not UTF-8 text");
            current = nullptr;
            continue;
        }
        if (current == nullptr) {
            result.Damage(lineNumber, L"value outside a section");
            continue;
        }
        CProfileValue value;
        if (line.find(kelvaro::kReplacementChar) != std::wstring_view::npos) {
            reader.Fail(L"the line is not UTF-8 text");
        } else if (ReadValue(reader, value)) {
            // A name given twice (an edited file): the later line wins, in the earlier place.
            auto it = std::find_if(current->values.begin(), current->values.end(), [&](const CProfileValue& v) {
                return v.m_type != REG_NONE && v.m_name == value.m_name;
            });
            if (it != current->values.end())
                *it = std::move(value);
            else
                current->values.push_back(std::move(value));
            continue;
        }
        // A damaged line keeps its place, so enumerating the section stops there.
        result.Damage(lineNumber, reader.m_error);
        CProfileValue damaged;
        damaged.m_name = value.m_name.IsEmpty() ? CString(std::wstring(line)) : value.m_name;
        current->values.push_back(std::move(damaged));
    }
    return result;
}

// Reads the whole file. 0 on success, else an errno value.
int ReadWholeFile(const std::string& nativePath, std::string& bytes, Signature& signature)
{
    int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    int error = 0;
    struct stat st;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL; // a pipe or device could block or never end
    else if (st.st_size > maxSettingsBytes)
        error = EFBIG;
    if (error == 0) {
        signature = SignatureOf(st);
        bytes.clear();
        char buffer[65536];
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = errno;
                break;
            }
            if (n == 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
            if (bytes.size() > static_cast<std::size_t>(maxSettingsBytes)) {
                error = EFBIG;
                break;
            }
        }
    }
    ::close(fd);
    return error;
}

// Writes bytes as the whole new content of path, staged and renamed into place. 0 or errno.
int WriteWholeFile(const CString& path, const std::string& bytes, bool replace)
{
    const bool existed = FileIO::FileExists(path);
    FileIO::CStagedFile staged;
    if (!staged.Begin(path, false, false))
        return staged.GetError() != 0 ? staged.GetError() : EIO;
    if (!existed)
        staged.SetPermissions(0600); // settings may hold private values, like a user's registry
    if (!staged.WriteAt(0, bytes.data(), bytes.size()) || !staged.Commit(replace))
        return staged.GetError() != 0 ? staged.GetError() : EIO;
    return 0;
}

CString ProgramName()
{
    const char* name = program_invocation_short_name;
    return name != nullptr && *name != '\0' ? CString(kelvaro::utf8::Decode(name)) : CString(L"kelvaro");
}

} // namespace

// ---- The store -------------------------------------------------------------------------------

struct CWinApp::ProfileStore
{
    std::mutex mutex;
    CString chosenFile; // empty: the default file
    bool loaded = false;
    bool readable = false;
    Signature signature;
    Sections sections;
    std::string damagedBytes; // the file as read, while it holds damaged lines
    CString error;
    int batchDepth = 0;
    bool batchChanged = false; // the store holds changes that the batch has not written yet

    CString DefaultFile(const CString& appName) const
    {
        CString config = FileIO::GetHomeConfigDirectory();
        if (config.IsEmpty())
            return CString();
        CString folder = appName;
        folder.Replace(L'/', L'_');
        if (folder == L"." || folder == L"..")
            folder = L"_";
        return config + L"/" + folder + L"/settings";
    }

    CString FileName(const CString& appName) const
    {
        return chosenFile.IsEmpty() ? DefaultFile(appName) : chosenFile;
    }

    bool Load(const CString& appName)
    {
        batchChanged = false;
        loaded = false;
        readable = false;
        sections.clear();
        damagedBytes.clear();
        signature = Signature{};
        const CString file = FileName(appName);
        if (file.IsEmpty()) {
            error = L"No folder for the settings: neither $XDG_CONFIG_HOME nor $HOME is set";
            return false;
        }
        std::string bytes;
        const int code = ReadWholeFile(FileIO::ToNativePath(file.Str()), bytes, signature);
        if (code == ENOENT) {
            // No file yet: an empty store.
            loaded = readable = true;
            error.Empty();
            return true;
        }
        if (code != 0) {
            error.Format(L"Cannot read the settings file '%s': %s", file.GetString(),
                         FileIO::GetLastErrorMessage(static_cast<DWORD>(code)).GetString());
            return false;
        }
        ParseResult parsed = ParseSettings(kelvaro::utf8::Decode(bytes));
        sections = std::move(parsed.sections);
        loaded = readable = true;
        if (parsed.damagedLines == 0) {
            error.Empty();
            return true;
        }
        damagedBytes = std::move(bytes);
        error.Format(L"The settings file '%s' is damaged: line %d: %s", file.GetString(), parsed.firstDamagedLine,
                     parsed.firstError);
        if (parsed.damagedLines > 1)
            error.AppendFormat(L" (%d damaged lines in all)", parsed.damagedLines);
        return false;
    }

    // Reads the file when it was not read yet or another writer has replaced it since.
    void Refresh(const CString& appName)
    {
        if (batchChanged)
            return; // the store holds what the file is about to become
        if (!loaded || StatSignature(FileIO::ToNativePath(FileName(appName).Str())) != signature)
            Load(appName);
    }

    // Keeps the damaged file under a name of its own before it is overwritten.
    bool KeepDamagedCopy(const CString& file)
    {
        for (int n = 1; n <= 1000; ++n) {
            CString copy = file + L".damaged";
            if (n > 1)
                copy.AppendFormat(L".%d", n);
            const int code = WriteWholeFile(copy, damagedBytes, false);
            if (code == 0) {
                error.Format(L"The settings file '%s' was damaged; it is kept as '%s'", file.GetString(),
                             copy.GetString());
                damagedBytes.clear();
                return true;
            }
            if (code != EEXIST) {
                error.Format(L"Cannot keep the damaged settings file as '%s': %s", copy.GetString(),
                             FileIO::GetLastErrorMessage(static_cast<DWORD>(code)).GetString());
                return false;
            }
        }
        error.Format(L"Cannot keep the damaged settings file '%s': too many damaged copies", file.GetString());
        return false;
    }

    bool Save(const CString& appName, Sections& next)
    {
        const CString file = FileName(appName);
        if (!damagedBytes.empty() && !KeepDamagedCopy(file))
            return false;
        const CString folder = FileIO::getFilePath(file);
        if (!folder.IsEmpty() && !FileIO::CreateFolder(folder)) {
            error.Format(L"Cannot create the settings folder '%s': %s", folder.GetString(),
                         FileIO::GetLastErrorMessage(FileIO::GetLastError()).GetString());
            return false;
        }
        const int code = WriteWholeFile(file, kelvaro::utf8::Encode(RenderSettings(next)), true);
        if (code != 0) {
            error.Format(L"Cannot write the settings file '%s': %s", file.GetString(),
                         FileIO::GetLastErrorMessage(static_cast<DWORD>(code)).GetString());
            return false;
        }
        for (Section& section : next)
            std::erase_if(section.values, [](const CProfileValue& v) { return v.m_type == REG_NONE; });
        sections = std::move(next);
        signature = StatSignature(FileIO::ToNativePath(file.Str()));
        return true;
    }

    // Applies change to a copy of the sections and writes it; the store changes only when the
    // file was written. change returns false when it changed nothing.
    template <class Change>
    bool Modify(const CString& appName, Change change)
    {
        Refresh(appName);
        if (!readable)
            return false;
        if (batchDepth > 0) {
            batchChanged = change(sections) || batchChanged;
            return true;
        }
        Sections next = sections;
        if (!change(next))
            return true;
        return Save(appName, next);
    }

    bool EndBatch(const CString& appName)
    {
        if (batchDepth == 0 || --batchDepth > 0 || !batchChanged)
            return true;
        batchChanged = false;
        Sections next = sections;
        if (Save(appName, next))
            return true;
        const CString failure = error;
        Load(appName);
        error = failure;
        return false;
    }

    Section* FindSection(Sections& in, const wchar_t* name)
    {
        auto it = std::find_if(in.begin(), in.end(), [&](const Section& s) { return s.name == name; });
        return it == in.end() ? nullptr : &*it;
    }

    const CProfileValue* FindValue(const wchar_t* section, const wchar_t* entry)
    {
        Section* s = FindSection(sections, section);
        if (s == nullptr)
            return nullptr;
        auto it = std::find_if(s->values.begin(), s->values.end(), [&](const CProfileValue& v) {
            return v.m_type != REG_NONE && v.m_name == entry;
        });
        return it == s->values.end() ? nullptr : &*it;
    }
};

namespace {

bool IsEmptyName(const wchar_t* name)
{
    return name == nullptr || *name == L'\0';
}

// Puts value in place of the entry of the same name (or a damaged line of that name), else at
// the end of the section, which is made when missing.
bool SetValue(Sections& sections, const wchar_t* sectionName, CProfileValue value)
{
    auto it = std::find_if(sections.begin(), sections.end(), [&](const Section& s) { return s.name == sectionName; });
    if (it == sections.end())
        it = sections.insert(sections.end(), Section{CString(sectionName), {}});
    auto old = std::find_if(it->values.begin(), it->values.end(),
                            [&](const CProfileValue& v) { return v.m_name == value.m_name; });
    if (old == it->values.end()) {
        it->values.push_back(std::move(value));
        return true;
    }
    const bool changed = old->m_type != value.m_type || old->m_string != value.m_string ||
                         old->m_strings != value.m_strings;
    *old = std::move(value);
    return changed;
}

} // namespace

DWORD CProfileSection::EnumValue(DWORD index, CProfileValue& value) const
{
    if (index >= m_values.size())
        return ENODATA;
    value = m_values[index];
    return value.m_type == REG_NONE ? EBADMSG : 0;
}

CWinApp::CWinApp(const wchar_t* appName)
    : m_appName(IsEmptyName(appName) ? ProgramName() : CString(appName)), m_store(std::make_unique<ProfileStore>())
{
    m_previousApp = g_app.exchange(this);
    AttachToCurrentThread();
}

CWinApp::~CWinApp()
{
    {
        // A batch left open still reaches the file.
        std::lock_guard<std::mutex> lock(m_store->mutex);
        if (m_store->batchDepth > 0) {
            m_store->batchDepth = 1;
            m_store->EndBatch(m_appName);
        }
    }
    CWinApp* self = this;
    g_app.compare_exchange_strong(self, m_previousApp);
}

void CWinApp::SetProfileFile(const wchar_t* path)
{
    CString file(path);
    if (!file.IsEmpty())
        FileIO::makePathAbsolute(file, nullptr);
    std::lock_guard<std::mutex> lock(m_store->mutex);
    m_store->chosenFile = file;
    m_store->loaded = false;
}

CString CWinApp::GetProfileFile() const
{
    std::lock_guard<std::mutex> lock(m_store->mutex);
    return m_store->FileName(m_appName);
}

bool CWinApp::LoadProfile()
{
    std::lock_guard<std::mutex> lock(m_store->mutex);
    return m_store->Load(m_appName);
}

CString CWinApp::GetProfileError() const
{
    std::lock_guard<std::mutex> lock(m_store->mutex);
    return m_store->error;
}

CProfileSection CWinApp::GetSectionKey(const wchar_t* section)
{
    CProfileSection key;
    if (IsEmptyName(section))
        return key;
    std::lock_guard<std::mutex> lock(m_store->mutex);
    m_store->Refresh(m_appName);
    if (!m_store->readable)
        return key;
    key.m_open = true;
    key.m_name = section;
    if (Section* s = m_store->FindSection(m_store->sections, section))
        key.m_values = s->values;
    return key;
}

bool CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value)
{
    if (IsEmptyName(section))
        return false;
    std::lock_guard<std::mutex> lock(m_store->mutex);
    return m_store->Modify(m_appName, [&](Sections& sections) {
        if (entry == nullptr) {
            return std::erase_if(sections, [&](const Section& s) { return s.name == section; }) > 0;
        }
        if (value == nullptr) {
            auto it = std::find_if(sections.begin(), sections.end(), [&](const Section& s) { return s.name == section; });
            return it != sections.end() &&
                   std::erase_if(it->values, [&](const CProfileValue& v) { return v.m_name == entry; }) > 0;
        }
        CProfileValue v;
        v.m_name = entry;
        v.m_type = REG_SZ;
        v.m_string = value;
        return SetValue(sections, section, std::move(v));
    });
}

bool CWinApp::WriteProfileMultiString(const wchar_t* section, const wchar_t* entry, const std::vector<CString>& strings)
{
    if (IsEmptyName(section) || entry == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(m_store->mutex);
    return m_store->Modify(m_appName, [&](Sections& sections) {
        CProfileValue v;
        v.m_name = entry;
        v.m_type = REG_MULTI_SZ;
        v.m_strings = strings;
        return SetValue(sections, section, std::move(v));
    });
}

void CWinApp::BeginProfileBatch()
{
    std::lock_guard<std::mutex> lock(m_store->mutex);
    ++m_store->batchDepth;
}

bool CWinApp::EndProfileBatch()
{
    std::lock_guard<std::mutex> lock(m_store->mutex);
    return m_store->EndBatch(m_appName);
}

CString CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* defaultValue)
{
    if (!IsEmptyName(section) && entry != nullptr) {
        std::lock_guard<std::mutex> lock(m_store->mutex);
        m_store->Refresh(m_appName);
        const CProfileValue* v = m_store->FindValue(section, entry);
        if (v != nullptr && v->m_type == REG_SZ)
            return v->m_string;
    }
    return CString(defaultValue);
}

bool CWinApp::GetProfileMultiString(const wchar_t* section, const wchar_t* entry, std::vector<CString>& strings)
{
    strings.clear();
    if (IsEmptyName(section) || entry == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(m_store->mutex);
    m_store->Refresh(m_appName);
    const CProfileValue* v = m_store->FindValue(section, entry);
    if (v == nullptr || v->m_type != REG_MULTI_SZ)
        return false;
    strings = v->m_strings;
    return true;
}

CWinApp* AfxGetApp()
{
    return g_app.load();
}
