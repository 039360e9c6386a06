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
    // A case's text with a leading "@" standing for the default directory.
    CString Proj(const std::wstring& text) const {
        return text.rfind(L'@', 0) == 0 ? m_proj + text.substr(1).c_str() : CString(text);
    }
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
    for (const CaseRow& c : ReadCases("seabase-filename-reads.txt", 5)) {
        SCOPED_TRACE(c.Where());
        CString buffer = L"untouched";
        const int mode = c.Flag(0) ? lookup::readExisting : 0;
        const std::wstring name = c.Text(1), altKey = c.Text(2);
        EXPECT_EQ(m_registry.LookupFilename(mode, name.c_str(), c.Null(2) ? nullptr : altKey.c_str(), buffer), c.Flag(3));
        EXPECT_EQ(buffer, Proj(c.Text(4)));
    }
    EXPECT_FALSE(App()->HasEntry(L"UnknownFile"));
    EXPECT_EQ(Value(App(), L"Unknown0File"), L"untouched");  // stored as the default
}

TEST_F(FilenameTest, WritingMovesThePathEntryButNeverRemovesIt) {
    // One after the other: given name|the Path entry afterwards ("@": the default directory).
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"/A/one.txt", L"/A/"}, {L"/A/two.txt", L"/A/"}, {L"@three.txt", L"@"}, {L"four.txt", L"@"}};
    for (const auto& [given, storedPath] : cases) {
        SCOPED_TRACE(testing::Message() << given);
        CString buffer = Proj(given);
        EXPECT_TRUE(m_registry.LookupFilename(lookup::write, L"Out", nullptr, buffer));
        EXPECT_EQ(Value(App(), L"OutFile"), CString(FileIO::getFileName(Proj(given))).GetString());
        EXPECT_EQ(Value(App(), L"OutPath"), Proj(storedPath).GetString());
    }
}

} // namespace
} // namespace seabasetest
