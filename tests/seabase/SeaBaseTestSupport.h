// Shared fixture of the registry tests: a scratch folder, a settings store in
// that folder (never the user's own), captured reports and message boxes, and
// a registry that is always cleaned up again, whatever a test left behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/output/PrWin.h"
#include "kelvaro/platform/File.h"
#include "kelvaro/platform/MessageBox.h"
#include "kelvaro/platform/WinApp.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/seabase/SeaBase.h"
#include "support/TestSupport.h"

namespace seabasetest {

namespace fs = std::filesystem;
using testsupport::CaseRow;
using testsupport::ReadCases;
using Lines = std::vector<std::wstring>;

// The ASCII text of a case field.
inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Opens the protected operations of the registry to the tests.
class Registry : public CSeaBase {
public:
    using CSeaBase::SeaExists;
    using CSeaBase::SeaIndex;
    using CSeaBase::SeaName;
    using CSeaBase::operator[];
};

class SeaBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_cwd = fs::current_path();
        m_app = std::make_unique<CWinApp>(L"kelvaro-seabase-tests");
        m_app->SetProfileFile(Wide("settings.txt"));
        m_previousOutput = PrWin::InstallOutputHandler([this](PrWin::Category category, PrWin::Style style,
                                                              const wchar_t* text) {
            m_reports.push_back({category, style, text});
        });
        m_previousBox = kelvaro::SetMessageBoxHandler([this](const wchar_t* text, UINT type) {
            m_boxes.push_back(text);
            m_boxTypes.push_back(type);
            return IDOK;
        });
    }

    void TearDown() override {
        m_registry.Cleanup();
        CSeaBase::SetSyncLocals(false);
        CSeaBase::SetLocalsRegistryKey(nullptr);
        CSeaBase::SetGlobalWriteProtectionStatus(1);  // after Cleanup: only stores the level
        EXPECT_EQ(CSeaBase::ApplicationSea(), nullptr);
        fs::current_path(m_cwd);
        kelvaro::SetMessageBoxHandler(m_previousBox);
        PrWin::InstallOutputHandler(m_previousOutput);
        m_app.reset();
    }

    fs::path Path(const std::string& relative) const { return m_dir / relative; }
    CString Wide(const std::string& relative) const { return CString(Path(relative).wstring()); }
    // The scratch folder as the registry gives directories: ending in '/'.
    CString DirWithSlash(const std::string& relative = "") const { return CString((Path(relative) / "").wstring()); }

    // Writes a sea file in plain ASCII, which the reader takes as code page 1252; "@" stands
    // for the scratch folder.
    void WriteFile(const std::string& relative, std::string text) const {
        for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at + m_dir.string().size()))
            text.replace(at, 1, m_dir.string());
        fs::create_directories(Path(relative).parent_path());
        testsupport::WriteBytes(Path(relative), text);
    }
    std::string ReadBytes(const std::string& relative) const { return testsupport::ReadBytes(Path(relative)); }
    void MakeReadOnly(const std::string& relative) const { SetStatus(relative, 0, true); }

    // Value `index` of `name` in a sea, read without changing it; "<missing>" when absent.
    static std::wstring Value(const CResourceSea* sea, const wchar_t* name, unsigned index = 0) {
        if (sea == nullptr || !sea->HasEntry(name))
            return L"<missing>";
        return sea->LookupGetString(name, index, CString(L"<no value>")).GetString();
    }
    // Value 0 of each name in a sea, "<missing>" for an absent one.
    static void ExpectValues(const CResourceSea* sea,
                             std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
        for (const auto& [name, value] : values)
            EXPECT_EQ(Value(sea, name), value) << name;
    }
    // A sea file's value as a fresh read-only sea reads it.
    static std::wstring FileValue(const CString& file, const wchar_t* name, unsigned index = 0) {
        CResourceSea sea(107);
        if (!sea.Create(file, true))
            return L"<unreadable>";
        return Value(&sea, name, index);
    }
    // The list lines of a list entry, each as its whole trimmed line.
    static Lines ListLines(const CResourceSea* sea, const wchar_t* name) {
        Lines lines;
        CString text;
        if (sea != nullptr && sea->IsListEntry(name) && sea->GetLine(name, text) != 0) {
            // GetLine gives the head's value part, then every list line, then the closing line.
            std::wistringstream in(text.GetString());
            for (std::wstring line; std::getline(in, line);) lines.push_back(line);
        }
        return lines.size() < 2 ? Lines() : Lines(lines.begin() + 1, lines.end() - 1);
    }

    bool Reported(const std::wstring& part) const {
        return std::any_of(m_reports.begin(), m_reports.end(),
                           [&part](const testsupport::Report& r) { return r.text.find(part) != std::wstring::npos; });
    }
    std::int64_t ModificationTime(const std::string& file) const {
        CFileStatus status;
        return CFile::GetStatus(Wide(file), status) ? status.m_mtime : -1;
    }
    // Sets a file's modification time, and makes it read-only when asked.
    void SetStatus(const std::string& file, std::int64_t seconds, bool readOnly = false) const {
        CFileStatus status;
        ASSERT_TRUE(CFile::GetStatus(Wide(file), status));
        status.m_mtime = seconds;
        if (readOnly)
            status.m_attribute |= CFile::readOnly;
        ASSERT_TRUE(CFile::SetStatus(Wide(file), status));
    }

    testsupport::ScratchDir m_scratch;  // removed after TearDown has left it
    fs::path m_dir = m_scratch.Root();
    fs::path m_cwd;
    std::unique_ptr<CWinApp> m_app;
    Registry m_registry;
    std::vector<testsupport::Report> m_reports;
    std::vector<std::wstring> m_boxes;
    std::vector<UINT> m_boxTypes;
    PrWin::OutputHandler m_previousOutput;
    kelvaro::MessageBoxHandler m_previousBox;
};

} // namespace seabasetest
