// File names kept in the Application sea as a File and a Path entry.
#include "seabase/SeaBaseTestSupport.h"

#include "kelvaro/platform/FileIO.h"

namespace seabasetest {
namespace {

class FilenameTest : public SeaBaseTest {
protected:
    void SetUp() override {
        SeaBaseTest::SetUp();
        WriteFile("Proj/base.sea", "ApplicationFile: $Nil\nPreferenceFile: $Nil\n");
        ASSERT_TRUE(m_registry.Init(Wide("Proj/base.sea")));
        m_proj = DirWithSlash("Proj");
    }
    CResourceSea* App() const { return CSeaBase::ApplicationSea(); }
    CString m_proj;
};

TEST_F(FilenameTest, LookupStoresThePathOnlyWhenItDiffersFromTheDefault) {
    // storedPath: null: no Path entry
    const struct { const char* what; CString given; const wchar_t* storedPath; } cases[] = {
        {"default directory", m_proj + L"out.txt", nullptr},
        {"another directory", CString(L"/Other/out.txt"), L"/Other/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        App()->Delete(L"ReportFile");
        App()->Delete(L"ReportPath");
        CString buffer = c.given;
        EXPECT_TRUE(m_registry.LookupFilename(lookup::read, L"Report", nullptr, buffer));
        EXPECT_EQ(buffer, c.given);
        EXPECT_EQ(Value(App(), L"ReportFile"), L"out.txt");
        EXPECT_EQ(Value(App(), L"ReportPath"), c.storedPath != nullptr ? c.storedPath : L"<missing>");
        CString read;
        EXPECT_TRUE(m_registry.ReadFilename(L"Report", nullptr, read));
        EXPECT_EQ(read, c.given);
    }
}

TEST_F(FilenameTest, ReadingByMode) {
    const std::pair<const wchar_t*, const wchar_t*> entries[] = {
        {L"DocFile", L"doc.txt"}, {L"DocPath", L"/Docs/"}, {L"AbsFile", L"/Fixed/abs.txt"},
        {L"AbsPath", L"/Ignored/"}, {L"SharedDir", L"/Shared/"}, {L"DataFile", L"data.bin"}};
    for (const auto& [name, value] : entries)
        App()->LookupSetString(name, value);
    // expected: the buffer afterwards; it starts as "untouched"
    const struct { const char* what; int mode; const wchar_t* name, *altKey; bool result; CString expected; } cases[] = {
        {"own Path entry", lookup::readExisting, L"Doc", nullptr, true, L"/Docs/doc.txt"},
        {"absolute File entry", lookup::readExisting, L"Abs", nullptr, true, L"/Fixed/abs.txt"},
        {"second key", lookup::readExisting, L"Data", L"SharedDir", true, L"/Shared/data.bin"},
        {"empty second key", lookup::readExisting, L"Data", L"NoSuchKey", true, m_proj + L"data.bin"},
        {"no File entry", lookup::readExisting, L"Unknown", nullptr, false, L"untouched"},
        {"no File entry, mode 0", 0, L"Unknown0", nullptr, true, L"untouched"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CString buffer = L"untouched";
        EXPECT_EQ(m_registry.LookupFilename(c.mode, c.name, c.altKey, buffer), c.result);
        EXPECT_EQ(buffer, c.expected);
    }
    EXPECT_FALSE(App()->HasEntry(L"UnknownFile"));
    EXPECT_EQ(Value(App(), L"Unknown0File"), L"untouched");  // stored as the default
}

TEST_F(FilenameTest, WritingMovesThePathEntryButNeverRemovesIt) {
    const struct { const char* what; CString path; const wchar_t* storedPath; } cases[] = {
        {"new directory", CString(L"/A/one.txt"), L"/A/"},
        {"same directory: unchanged", CString(L"/A/two.txt"), L"/A/"},
        {"default directory replaces it", m_proj + L"three.txt", nullptr},
        {"relative name: no directory", CString(L"four.txt"), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CString buffer = c.path;
        EXPECT_TRUE(m_registry.LookupFilename(lookup::write, L"Out", nullptr, buffer));
        EXPECT_EQ(Value(App(), L"OutFile"), CString(FileIO::getFileName(c.path)).GetString());
        const CString expectedPath = c.storedPath != nullptr ? CString(c.storedPath) : m_proj;
        EXPECT_EQ(Value(App(), L"OutPath"), expectedPath.GetString());
    }
}

} // namespace
} // namespace seabasetest
