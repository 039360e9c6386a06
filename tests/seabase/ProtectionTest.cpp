// The global write-protection level and the start file's read-only
// attribute; the Status sea's file.
#include "seabase/SeaBaseTestSupport.h"

#include <ctime>

namespace seabasetest {
namespace {

class ProtectionTest : public SeaBaseTest {
protected:
    void StartOn(const std::string& file) {
        WriteFile(file, "ApplicationFile: app.sea\n");
        ASSERT_TRUE(m_registry.Init(Wide(file)));
    }
};

TEST_F(ProtectionTest, LevelMakesTheStartFileFollow) {
    StartOn("base.sea");
    const std::int64_t longAgo = 1000000000;  // 2001
    // changes: the attribute changes, so the time becomes now
    const struct { int level; bool readOnly; bool changes; } cases[] = {
        {2, true, true}, {2, true, false}, {7, true, false}, {1, false, true}, {0, false, false}, {3, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        SetStatus("base.sea", longAgo);
        const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
        EXPECT_TRUE(CSeaBase::SetGlobalWriteProtectionStatus(c.level));
        EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), c.level);
        EXPECT_EQ(CFile::IsReadOnly(Wide("base.sea")), c.readOnly);
        EXPECT_EQ(CSeaBase::CheckBaseSeaWriteProtection(), c.level >= 2);
        if (c.changes) {
            EXPECT_GE(ModificationTime("base.sea"), before);
        } else {
            EXPECT_EQ(ModificationTime("base.sea"), longAgo);
        }
    }
    // A start file made read-only behind the registry's back raises the level when checked.
    ASSERT_TRUE(CSeaBase::SetGlobalWriteProtectionStatus(1));
    EXPECT_FALSE(CSeaBase::CheckBaseSeaWriteProtection());
    MakeReadOnly("base.sea");
    EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), 1);
    EXPECT_TRUE(CSeaBase::CheckBaseSeaWriteProtection());
    EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), 2);
}

TEST_F(ProtectionTest, WithoutAStartFileOnlyTheLevelIsStored) {
    // start: 0: none, 1: memory-only, 2: start file deleted afterwards
    const struct { const char* what; int start; bool result; } cases[] = {
        {"no start", 0, false}, {"memory-only", 1, false}, {"start file gone", 2, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.start == 1) {
            ASSERT_TRUE(m_registry.InitMemoryOnly());
        }
        if (c.start == 2) {
            StartOn("gone.sea");
            fs::remove(Path("gone.sea"));
        }
        EXPECT_EQ(CSeaBase::SetGlobalWriteProtectionStatus(5), c.result);
        EXPECT_EQ(CSeaBase::GlobalWriteProtectionStatus(), 5);
        EXPECT_FALSE(fs::exists(Path("gone.sea")));
        EXPECT_EQ(CSeaBase::CheckBaseSeaWriteProtection(), c.result);
        EXPECT_EQ(m_registry.InitStatusSea(nullptr), c.start == 2);
        m_registry.Cleanup();
        CSeaBase::SetGlobalWriteProtectionStatus(1);
    }
}

TEST_F(ProtectionTest, StatusSeaReadsAndWritesItsFileAndNeverAnotherOne) {
    WriteFile("base.sea", "LocalsFile: loc/locals.sea\n");
    WriteFile("loc/locals.sea", "");
    WriteFile("loc/Status.sea", "Step: 1\nOther: a\n");
    ASSERT_TRUE(m_registry.Init(Wide("base.sea")));
    CResourceSea* status = CSeaBase::StatusSea();
    EXPECT_FALSE(status->IsFilebased());

    ASSERT_TRUE(m_registry.InitStatusSea(nullptr));
    EXPECT_EQ(status->Filename(), Wide("loc/Status.sea"));
    EXPECT_EQ(Value(status, L"Step"), L"1");

    status->LookupSetString(L"Step", L"2");
    CSeaBase::UpdateStatusSea(lookup::remove);
    EXPECT_EQ(FileValue(Wide("loc/Status.sea"), L"Step"), L"1");
    CSeaBase::UpdateStatusSea(lookup::write);
    EXPECT_EQ(FileValue(Wide("loc/Status.sea"), L"Step"), L"2");

    // Reading re-reads the file (what a reload keeps: SeaReading.ReloadKeepsChangesOrPurges).
    WriteFile("loc/Status.sea", "Step: 2\nOther: b\n");
    CSeaBase::UpdateStatusSea(lookup::read);
    EXPECT_EQ(Value(status, L"Other"), L"b");

    // A name is taken below the default directory. A Status file that cannot be
    // read must not leave the sea tied to the file it had before: the next write
    // would replace that file with an empty sea.
    WriteFile("state/run.sea", "Step: 4\n");
    ASSERT_TRUE(m_registry.InitStatusSea(L"state/run.sea"));
    EXPECT_EQ(CSeaBase::StatusSea()->Filename(), Wide("state/run.sea"));
    EXPECT_EQ(Value(CSeaBase::StatusSea(), L"Step"), L"4");
    m_reports.clear();
    EXPECT_TRUE(m_registry.InitStatusSea(L"missing.sea"));
    EXPECT_TRUE(Reported(L"Could not find sea file"));
    EXPECT_FALSE(CSeaBase::StatusSea()->IsFilebased());
    EXPECT_TRUE(CSeaBase::StatusSea()->IsEmpty());
    CSeaBase::UpdateStatusSea(lookup::write);
    EXPECT_EQ(ReadBytes("state/run.sea"), "Step: 4\n");
    EXPECT_FALSE(fs::exists(Path("missing.sea")));
}

} // namespace
} // namespace seabasetest
