// The Locals sea: what the settings section gives it, the locals file, the
// merge into the Application sea, and the way back on synchronisation.
#include "seabase/SeaBaseTestSupport.h"

#include <string>
#include <vector>

namespace seabasetest {
namespace {

class LocalsTest : public SeaBaseTest {
protected:
    // The section's string value, or "<missing>".
    std::wstring Stored(const wchar_t* name) {
        return m_app->GetProfileString(L"Locals", name, L"<missing>").GetString();
    }
};

using Lines = std::vector<std::wstring>;

TEST_F(LocalsTest, SectionValuesBecomeEntries) {
    const std::vector<CaseRow> cases = ReadCases("seabase-locals-section.txt", 4);
    for (const CaseRow& c : cases) {
        std::vector<CString> strings;
        for (const std::wstring& line : c.List(1)) strings.emplace_back(line.c_str());
        if (c.raw[0].back() == '*')
            m_app->WriteProfileMultiString(L"Locals", c.Text(0).substr(0, c.raw[0].size() - 1).c_str(), strings);
        else
            m_app->WriteProfileString(L"Locals", c.Text(0).c_str(), c.Text(1).c_str());
    }
    WriteFile("base.sea", "LocalsRegKey: Locals\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));

    const CResourceSea* locals = CSeaBase::LocalsSea();
    for (const CaseRow& c : cases) {
        SCOPED_TRACE(c.Where());
        const std::wstring name = c.Text(0).substr(0, c.raw[0].find('*'));
        for (const CResourceSea* sea : {locals, static_cast<const CResourceSea*>(CSeaBase::ApplicationSea())}) {
            EXPECT_EQ(sea->IsListEntry(name.c_str()), c.Null(2));
            EXPECT_EQ(ListLines(sea, name.c_str()), c.List(3));
            if (!c.Null(2)) {
                EXPECT_EQ(Value(sea, name.c_str()), c.Text(2));
            }
        }
    }
    EXPECT_EQ(Value(locals, L"Title", 1), L"3");
    EXPECT_TRUE(m_boxes.empty());
}

// What the section gives meets entries of the same name in the Locals sea.
TEST_F(LocalsTest, SectionValuesMeetEntriesOfTheirName) {
    CSeaBase::LocalsSea()->LookupSetString(L"Plain", L"kept");
    CSeaBase::LocalsSea()->LookupSetString(L"Recent", L"old");
    m_app->WriteProfileString(L"Locals", L"Plain", L"{\nline\n}");
    m_app->WriteProfileMultiString(L"Locals", L"Recent", {CString(L"new.sea")});
    CSeaBase::SetLocalsRegistryKey(L"Locals");
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_FALSE(CSeaBase::LocalsSea()->IsListEntry(L"Plain")) << "list text makes no ordinary entry a list";
    EXPECT_EQ(Value(CSeaBase::LocalsSea(), L"Plain"), L"kept");
    EXPECT_EQ(ListLines(CSeaBase::LocalsSea(), L"Recent"), Lines{L"new.sea"}) << "a multi-string replaces";
    m_registry.Cleanup();

    // Without a section name nothing is read.
    CSeaBase::SetLocalsRegistryKey(nullptr);
    m_app->WriteProfileString(L"Locals", L"Width", L"800");
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_TRUE(CSeaBase::LocalsSea()->IsEmpty());
    EXPECT_FALSE(CSeaBase::ApplicationSea()->HasEntry(L"Width"));
}

TEST_F(LocalsTest, DamagedValueShowsTheMessageBoxAndEndsReading) {
    WriteFile("settings.txt", "[\"Locals\"]\n"
                              "\"Before\" = \"1\"\n"
                              "this line is damaged\n"
                              "\"After\" = \"2\"\n");
    CSeaBase::SetLocalsRegistryKey(L"Locals");
    ASSERT_TRUE(m_registry.InitMemoryOnly());
    EXPECT_EQ(Value(CSeaBase::LocalsSea(), L"Before"), L"1");
    EXPECT_FALSE(CSeaBase::LocalsSea()->HasEntry(L"After"));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxTypes[0], MB_ICONSTOP);
    EXPECT_EQ(m_boxes[0].rfind(L"Reading 'locals': error in RegEnumValue() of registry key\n", 0), 0u);
}

TEST_F(LocalsTest, LocalsFileWinsOverTheSectionAndSetsTheSyncSwitch) {
    // The second value of the LocalsFile entry: none, off, on.
    for (const std::string second : {"", " 0", " 1"}) {
        SCOPED_TRACE(second);
        const bool sync = second == " 1";
        m_app->WriteProfileString(L"Locals", L"Width", L"800");
        m_app->WriteProfileString(L"Locals", L"Height", L"600");
        WriteFile("loc/locals.sea", "Width: 1024\nDepth: 24\n");
        WriteFile("base.sea", "LocalsRegKey: Locals\nLocalsFile: loc/locals.sea" + second + "\n");
        ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
        ExpectValues(CSeaBase::LocalsSea(), {{L"Width", L"1024"}, {L"Height", L"600"}, {L"Depth", L"24"}});
        EXPECT_EQ(Value(CSeaBase::ApplicationSea(), L"Width"), L"1024");
        EXPECT_EQ(CSeaBase::GetSyncLocals(), sync);
        EXPECT_EQ(Value(m_registry.BaseSea(), L"LocalsFile", 1), sync ? L"1" : L"0");
        EXPECT_EQ(CSeaBase::DefaultLocalsPath(), DirWithSlash("loc"));

        // Cleanup writes back only with the switch on.
        CSeaBase::ApplicationSea()->LookupSetString(L"Width", L"1280");
        m_registry.Cleanup();
        EXPECT_EQ(FileValue(Wide("loc/locals.sea"), L"Width"), sync ? L"1280" : L"1024");
        EXPECT_EQ(Stored(L"Width"), sync ? L"1280" : L"800");
        EXPECT_EQ(Stored(L"Depth"), sync ? L"24" : L"<missing>");
        CSeaBase::SetSyncLocals(false);
        m_app->WriteProfileString(L"Locals", nullptr, nullptr);
    }
}

TEST_F(LocalsTest, SynchronizeObeysTheSwitchUnlessForced) {
    WriteFile("base.sea", "LocalsRegKey: Locals\nLocalsFile: locals.sea 0\n");
    WriteFile("locals.sea", "Width: 1\n");
    CSeaBase::SetLocalsRegistryKey(L"Locals");
    CSeaBase::LocalsSea()->LookupSetString(L"Width", L"1");
    m_registry.SynchronizeLocals(true);
    EXPECT_EQ(Stored(L"Width"), L"<missing>") << "before a start nothing is synchronised";
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    CResourceSea* application = CSeaBase::ApplicationSea();
    application->LookupSetString(L"Width", L"2");
    application->LookupSetString(L"OnlyInApplication", L"x");

    m_registry.SynchronizeLocals(false);
    EXPECT_EQ(Value(CSeaBase::LocalsSea(), L"Width"), L"1");
    EXPECT_EQ(Stored(L"Width"), L"<missing>");

    m_registry.SynchronizeLocals(true);
    EXPECT_EQ(Value(CSeaBase::LocalsSea(), L"Width"), L"2");
    EXPECT_FALSE(CSeaBase::LocalsSea()->HasEntry(L"OnlyInApplication"));
    EXPECT_EQ(FileValue(Wide("locals.sea"), L"Width"), L"2");
    EXPECT_EQ(Stored(L"Width"), L"2");
    EXPECT_EQ(Stored(L"OnlyInApplication"), L"<missing>");
}

// What the writer puts into the section comes back as the same entries.
TEST_F(LocalsTest, WrittenValuesComeBackFromTheSection) {
    WriteFile("base.sea", "LocalsRegKey: Locals\nLocalsFile: locals.sea 1\n");
    WriteFile("locals.sea", "Width: 1\n"
                            "Title: \"two words\"\n"
                            "FromFile: {\n\tone\n\ttwo\n}\n"
                            "Rebuilt: {\n\told\n}\n"
                            "Gapped: {\n\tfirst\n\n\tsecond\n}\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    // A list whose head is rebuilt has an empty value part; it must still come back as a list.
    CSeaBase::LocalsSea()->AddListLine(L"Rebuilt", L"new");
    CSeaBase::ApplicationSea()->AddListLine(L"Rebuilt", L"new");
    m_registry.Cleanup();

    // Read the section alone: no locals file this time.
    WriteFile("base.sea", "LocalsRegKey: Locals\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    const CResourceSea* locals = CSeaBase::LocalsSea();
    ExpectValues(locals, {{L"Width", L"1"}, {L"Title", L"two words"}});
    const struct { const wchar_t* name; Lines lines; } cases[] = {
        {L"FromFile", {L"one", L"two"}}, {L"Rebuilt", {L"old", L"new"}}, {L"Gapped", {L"first", L"second"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        EXPECT_TRUE(locals->IsListEntry(c.name));
        EXPECT_EQ(ListLines(locals, c.name), c.lines);
        EXPECT_EQ(Stored(c.name).front(), L'{') << "a list goes into the section with \"{\" first";
    }
}

} // namespace
} // namespace seabasetest
