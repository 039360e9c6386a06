// The slots of the registry: lookup by name and index, user seas made on
// demand, a full registry, the file names the base sea gives, and file names
// kept in the Application sea as a File and a Path entry.
#include "seabase/SeaBaseTestSupport.h"

#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/platform/FileIO.h"

#include <string>

namespace seabasetest {
namespace {

using RegistryTest = SeaBaseTest;

TEST_F(RegistryTest, NamesAreFoundExactlyAndIndexesAreChecked) {
    // Before a start: nothing, and out-of-range indexes answer "nothing" instead of reading past the table.
    EXPECT_EQ(CSeaBase::PreferenceSea(), nullptr);
    EXPECT_TRUE(m_registry.SeaFileName(0).IsEmpty());
    EXPECT_FALSE(Registry::SeaExists(CSeaBase::SlotCount));
    EXPECT_EQ(m_registry[CSeaBase::SlotCount + 5], nullptr);
    EXPECT_TRUE(Registry::SeaName(1000).IsEmpty());
    EXPECT_EQ(Registry::SeaIndex(nullptr), CSeaBase::NoneIndex);

    ASSERT_TRUE(m_registry.InitMemoryOnly());
    const struct { const wchar_t* name; unsigned index; } cases[] = {
        {L"Messages", 2}, {L"Status", 4}, {L"application", CSeaBase::NoneIndex},
        {L"Application ", CSeaBase::NoneIndex}, {L"Locals", CSeaBase::NoneIndex}, {L"Base", CSeaBase::NoneIndex},
        {L"", CSeaBase::NoneIndex},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        EXPECT_EQ(Registry::SeaIndex(c.name), c.index);
        EXPECT_EQ(CSeaBase::SeaExists(c.name), c.index != CSeaBase::NoneIndex);
        EXPECT_EQ(m_registry[c.name], c.index == CSeaBase::NoneIndex ? nullptr : m_registry[c.index]);
    }
    EXPECT_EQ(m_registry[L"Messages"], CSeaBase::MessagesSea());
}

// A sea made before the start keeps its place; the start takes the standard slots.
TEST_F(RegistryTest, UserSeasGoIntoTheLowestFreeUserSlot) {
    CResourceSea* early = m_registry.CreateNewSea(L"Early", nullptr, nullptr, false);
    early->LookupSetString(L"Kept", L"yes");
    EXPECT_EQ(Registry::SeaIndex(L"Early"), CSeaBase::FirstUserIndex);
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_EQ(m_registry[L"Early"], early);
    EXPECT_EQ(Value(early, L"Kept"), L"yes");
    EXPECT_EQ(Registry::SeaName(0), CString(L"Application"));
    WriteFile("user/one.sea", "Value: 1\n");
    CResourceSea* one = m_registry.CreateNewSea(L"One", L"one.sea", DirWithSlash("user"), false);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(Registry::SeaIndex(L"One"), 6u);
    EXPECT_EQ(one->SeaName(), CString(L"One"));
    EXPECT_EQ(one->Filename(), Wide("user/one.sea"));
    EXPECT_EQ(Value(one, L"Value"), L"1");

    EXPECT_FALSE(m_registry.GetOrCreateSea(L"Two", nullptr, nullptr, false)->IsFilebased());
    EXPECT_FALSE(m_registry.CreateNewSea(L"Three", L"", nullptr, false)->IsFilebased());
    EXPECT_EQ(Registry::SeaIndex(L"Two"), 7u);
    EXPECT_EQ(Registry::SeaIndex(L"Three"), 8u);

    // A known name returns its sea; the file given now is not read.
    WriteFile("user/other.sea", "Value: other\n");
    EXPECT_EQ(m_registry.CreateNewSea(L"One", L"other.sea", DirWithSlash("user"), false), one);
    EXPECT_EQ(Value(one, L"Value"), L"1");
    // Asked to, it re-reads its own file (what a reload keeps: SeaReading.ReloadKeepsChangesOrPurges).
    WriteFile("user/one.sea", "Value: 2\n");
    EXPECT_EQ(m_registry.CreateNewSea(L"One", nullptr, nullptr, true), one);
    EXPECT_EQ(Value(one, L"Value"), L"2");
    // Standard names are found like any other.
    EXPECT_EQ(m_registry.CreateNewSea(L"Messages", L"x.sea", nullptr, false), CSeaBase::MessagesSea());
    EXPECT_FALSE(fs::exists(Path("x.sea")));
}

TEST_F(RegistryTest, FailedCreationAndAFullRegistryRegisterNothing) {
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    try {
        m_registry.CreateNewSea(L"Broken", L"no/such/dir/broken.sea", DirWithSlash(), false);
        FAIL() << "no exception";
    } catch (const CResourceSeaException& error) {
        EXPECT_EQ(error.m_code, 0u);
        EXPECT_EQ(error.m_message, CString(L"CSeaBase::CreateNewSea() failed for sea 'Broken', file ") +
                                       Wide("no/such/dir/broken.sea") + L".");
    }
    EXPECT_FALSE(CSeaBase::SeaExists(L"Broken"));
    EXPECT_FALSE(Registry::SeaExists(5u));
    EXPECT_THROW(m_registry.CreateNewSea(nullptr, nullptr, nullptr, false), CResourceSeaException);
    EXPECT_THROW(m_registry.CreateNewSea(L"", nullptr, nullptr, false), CResourceSeaException);

    // The none slot is never filled: a full registry refuses new names instead of
    // handing out another module's sea under them.
    const unsigned userSlots = CSeaBase::NoneIndex - CSeaBase::FirstUserIndex;
    for (unsigned i = 0; i < userSlots; ++i)
        m_registry.CreateNewSea((L"User" + std::to_wstring(i)).c_str(), nullptr, nullptr, false);
    EXPECT_EQ(Registry::SeaIndex(L"User103"), CSeaBase::NoneIndex - 1);

    EXPECT_THROW(m_registry.CreateNewSea(L"OneTooMany", nullptr, nullptr, false), CResourceSeaException);
    EXPECT_FALSE(Registry::SeaExists(CSeaBase::NoneIndex));
    EXPECT_EQ(m_registry[L"Unknown"], nullptr);
    EXPECT_FALSE(CSeaBase::SeaExists(L"OneTooMany"));
    // Known names still work.
    EXPECT_EQ(Registry::SeaIndex(L"User0"), CSeaBase::FirstUserIndex);
    EXPECT_NE(m_registry.CreateNewSea(L"User7", nullptr, nullptr, false), nullptr);
}

TEST_F(RegistryTest, SeaFileNameFollowsTheBaseSea) {
    WriteFile("base.sea", "ConfigurationFile: $Nil\n"
                          "MessagesFile: texts/messages.sea\n"
                          "MessagesPath: @/elsewhere/\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));

    EXPECT_EQ(m_registry.SeaFileName(0), DirWithSlash() + L"Application.sea");
    EXPECT_EQ(m_registry.SeaFileName(2), DirWithSlash("elsewhere") + L"texts/messages.sea");
    EXPECT_EQ(m_registry.SeaFileName(4), DirWithSlash() + L"Status.sea");
    EXPECT_TRUE(m_registry.SeaFileName(50).IsEmpty());
    EXPECT_FALSE(m_registry.BaseSea()->HasEntry(L"File"));
    // A missing File entry is added to the base sea with its default.
    ExpectValues(m_registry.BaseSea(), {{L"ApplicationFile", L"Application.sea"}, {L"StatusFile", L"Status.sea"}});
}

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
    // given name|the Path entry afterwards ("@": the default directory)
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {{L"@out.txt", L"<missing>"}, {L"/Other/out.txt", L"/Other/"}};
    for (const auto& [name, storedPath] : cases) {
        SCOPED_TRACE(testing::Message() << name);
        App()->Delete(L"ReportFile");
        App()->Delete(L"ReportPath");
        const CString given = Proj(name);
        CString buffer = given;
        EXPECT_TRUE(m_registry.LookupFilename(lookup::read, L"Report", nullptr, buffer));
        EXPECT_EQ(buffer, given);
        EXPECT_EQ(Value(App(), L"ReportFile"), L"out.txt");
        EXPECT_EQ(Value(App(), L"ReportPath"), storedPath);
        CString read;
        EXPECT_TRUE(m_registry.ReadFilename(L"Report", nullptr, read));
        EXPECT_EQ(read, given);
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
    // One after the other; "@" as above.
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
