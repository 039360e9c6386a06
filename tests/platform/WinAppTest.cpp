// The application object and its settings store: a text file a person can edit,
// kept whole through damage, concurrent writers and failed writes. And the message box:
// an installed box gets the text (null as empty) and answers; the default box writes the
// text to stderr as one UTF-8 line.
#include "kelvaro/platform/MessageBox.h"
#include "kelvaro/platform/WinApp.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <random>

#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ReadBytes, testsupport::WriteBytes;
using Names = std::vector<std::wstring>;

namespace {

class WinAppTest : public ::testing::Test {
protected:
    CString File() const { return m_dir.Wide("settings"); }
    // An application object whose settings live in this test's file.
    std::unique_ptr<CWinApp> App() const {
        auto app = std::make_unique<CWinApp>(L"KelvaroTest");
        app->SetProfileFile(File());
        EXPECT_EQ(AfxGetApp(), app.get()) << "the newest application object is the current one";
        return app;
    }

    static std::vector<CProfileValue> Enumerate(CWinApp& app, const wchar_t* section) {
        CProfileSection key = app.GetSectionKey(section);
        EXPECT_TRUE(key.IsOpen());
        std::vector<CProfileValue> values(key.GetValueCount());
        for (DWORD i = 0; i < values.size(); ++i) EXPECT_EQ(key.EnumValue(i, values[i]), 0u) << i;
        return values;
    }
    static Names NamesIn(CWinApp& app, const wchar_t* section) {
        Names names;
        for (const CProfileValue& v : Enumerate(app, section)) names.push_back(v.m_name.Str());
        return names;
    }

    testsupport::ScratchDir m_dir;
    fs::path m_file = m_dir.Path("settings");
};

} // namespace

TEST_F(WinAppTest, MissingFileIsAnEmptyStoreEmptySectionNamesAreRefusedAndEveryTextRoundTrips) {
    auto app = App();
    EXPECT_TRUE(app->LoadProfile());
    EXPECT_TRUE(app->GetProfileError().IsEmpty());
    EXPECT_EQ(app->GetSectionKey(L"Locals").GetValueCount(), 0u);
    EXPECT_EQ(app->GetProfileString(L"Locals", L"Width", L"fallback"), L"fallback");
    // Deleting what is not there changes nothing and writes nothing.
    EXPECT_TRUE(app->WriteProfileString(L"Locals", L"Width", nullptr));
    EXPECT_TRUE(app->WriteProfileString(L"Locals", nullptr, nullptr));
    for (const wchar_t* section : {static_cast<const wchar_t*>(nullptr), L""}) {
        SCOPED_TRACE(section == nullptr ? "null" : "empty");
        EXPECT_FALSE(app->GetSectionKey(section).IsOpen());
        EXPECT_FALSE(app->WriteProfileString(section, L"a", L"1"));
        EXPECT_FALSE(app->WriteProfileMultiString(section, L"a", {L"1"}));
        EXPECT_EQ(app->GetProfileString(section, L"a", L"d"), L"d");
    }
    EXPECT_FALSE(fs::exists(m_file));
    // What is written is text that a person can read and edit.
    ASSERT_TRUE(app->WriteProfileString(L"Locals", L"Width", L"800"));
    ASSERT_TRUE(app->WriteProfileMultiString(L"Locals", L"Recent", {L"a.sea", L"b.sea"}));
    ASSERT_TRUE(app->WriteProfileString(L"Other", L"Say", L"\"hi\"\n"));
    const std::string text = ReadBytes(m_file);
    EXPECT_NE(text.find("[\"Locals\"]\n\"Width\" = \"800\"\n\"Recent\" = [\"a.sea\", \"b.sea\"]\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Say\" = \"\\\"hi\\\"\\n\"\n"), std::string::npos) << text;
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"settings"}) << "no staged file is left behind";
    EXPECT_EQ(fs::status(m_file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // Every text round-trips through the file: each as a value, and as a section and a name.
    std::vector<CString> strings;
    for (const testsupport::CaseRow& row : testsupport::ReadCases("settings-texts.txt", 2)) {
        const std::wstring text = row.Text(0), name = L"v" + std::to_wstring(strings.size());
        ASSERT_TRUE(app->WriteProfileString(L"Values", name.c_str(), text.c_str()));
        if (!text.empty()) { ASSERT_TRUE(app->WriteProfileString(text.c_str(), text.c_str(), L"x")); }
        strings.emplace_back(text);
    }
    const std::size_t n = strings.size();
    strings.push_back(CString(std::wstring(L"embedded\0nul", 12)));
    ASSERT_TRUE(app->WriteProfileMultiString(L"Values", L"all", strings));
    ASSERT_TRUE(app->WriteProfileMultiString(L"Values", L"none", {}));

    auto reader = App();
    ASSERT_TRUE(reader->LoadProfile()) << reader->GetProfileError().GetString();
    const std::vector<CProfileValue> values = Enumerate(*reader, L"Values");
    ASSERT_EQ(values.size(), n + 2);
    for (std::size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(values[i].m_name, (L"v" + std::to_wstring(i)).c_str());
        EXPECT_EQ(values[i].m_type, REG_SZ);
        EXPECT_TRUE(values[i].m_string.Str() == strings[i].Str());
        if (!strings[i].IsEmpty()) { EXPECT_EQ(reader->GetProfileString(strings[i], strings[i]), L"x"); }
    }
    EXPECT_TRUE(values[n].m_type == REG_MULTI_SZ && values[n].m_strings == strings);
    EXPECT_TRUE(values[n + 1].m_type == REG_MULTI_SZ && values[n + 1].m_strings.empty());
    std::vector<CString> read;
    EXPECT_TRUE(reader->GetProfileMultiString(L"Values", L"all", read) && read == strings);
}

TEST_F(WinAppTest, OrderNamesTypesSectionsAndOtherWritersChangesAreKept) {
    auto app = App();
    for (const wchar_t* name : {L"c", L"a", L"b", L"A"}) ASSERT_TRUE(app->WriteProfileString(L"S", name, L"1"));
    ASSERT_TRUE(app->WriteProfileString(L"s", L"a", L"3"));
    ASSERT_TRUE(app->WriteProfileString(L"S", L"a", L"2"));  // keeps its place
    ASSERT_TRUE(app->WriteProfileMultiString(L"S", L"c", {L"x"}));  // so does a change of type
    EXPECT_EQ(NamesIn(*app, L"S"), (Names{L"c", L"a", L"b", L"A"}));
    ASSERT_TRUE(app->WriteProfileString(L"S", L"c", nullptr));
    ASSERT_TRUE(app->WriteProfileString(L"S", L"d", L"1"));
    auto reader = App();
    EXPECT_EQ(NamesIn(*reader, L"S"), (Names{L"a", L"b", L"A", L"d"}));
    EXPECT_EQ(reader->GetProfileString(L"S", L"a"), L"2");
    EXPECT_EQ(reader->GetProfileString(L"s", L"a"), L"3");
    // Each writer sees the other's changes and keeps them.
    ASSERT_TRUE(reader->WriteProfileString(L"S", L"e", L"1"));
    EXPECT_EQ(app->GetProfileString(L"S", L"e"), L"1");
    ASSERT_TRUE(app->WriteProfileString(L"S", L"f", L"1"));
    EXPECT_EQ(NamesIn(*App(), L"S"), (Names{L"a", L"b", L"A", L"d", L"e", L"f"}));
    CProfileValue value;
    EXPECT_EQ(app->GetSectionKey(L"S").EnumValue(6, value), static_cast<DWORD>(ENODATA));

    ASSERT_TRUE(app->WriteProfileMultiString(L"S", L"list", {L"a", L"b"}));
    std::vector<CString> strings{L"stale"};
    EXPECT_FALSE(app->GetProfileMultiString(L"S", L"a", strings) || !strings.empty());
    EXPECT_EQ(app->GetProfileString(L"S", L"list", L"default"), L"default");
    ASSERT_TRUE(app->WriteProfileString(L"S", L"list", L"now text"));
    EXPECT_EQ(app->GetProfileString(L"S", L"list"), L"now text");
    EXPECT_FALSE(app->GetProfileMultiString(L"S", L"list", strings));
    // A null entry deletes the whole section.
    ASSERT_TRUE(app->WriteProfileString(L"Gone", L"a", L"1"));
    ASSERT_TRUE(app->WriteProfileString(L"Gone", nullptr, nullptr));
    EXPECT_EQ(App()->GetSectionKey(L"Gone").GetValueCount(), 0u);
    EXPECT_EQ(ReadBytes(m_file).find("Gone"), std::string::npos);
}

// Byte-order mark, CR LF and LF, comments, blanks, a section given twice, escapes, no final line end.
TEST_F(WinAppTest, HandEditedFilesAreReadDamagedLinesReportedAndDamagedFilesKeptAside) {
    WriteBytes(m_file, ReadBytes(testsupport::DataDir() / "settings" / "hand-edited.settings"));
    auto app = App();
    EXPECT_TRUE(app->LoadProfile()) << app->GetProfileError().GetString();
    EXPECT_EQ(NamesIn(*app, L"S"), (Names{L"a", L"b", L"c"}));
    EXPECT_EQ(app->GetProfileString(L"S", L"a"), L"later wins");
    EXPECT_EQ(app->GetProfileString(L"S", L"c"), L"\u00fc\U0001F600");
    EXPECT_EQ(app->GetProfileString(L"T", L"a"), L"first");
    std::vector<CString> list;
    EXPECT_TRUE(app->GetProfileMultiString(L"S", L"b", list) && list == (std::vector<CString>{L"x", L"y"}));
    // A damaged value line stays in its section as a damaged value, named as far as it was read.
    for (const testsupport::CaseRow& row : testsupport::ReadCases("settings-damaged.txt", 3)) {
        SCOPED_TRACE(row.Where());
        std::string text;
        for (const wchar_t ch : row.Text(0)) text.push_back(static_cast<char>(ch));
        if (!row.Null(2)) text = "[\"S\"]\n\"a\" = \"1\"\n" + text + "\n\"b\" = \"2\"\n";
        WriteBytes(m_file, text + "[\"T\"]\n\"t\" = \"kept\"\n");
        auto app = App();
        EXPECT_FALSE(app->LoadProfile());
        const CString error = app->GetProfileError();
        EXPECT_NE(error.Find(File()), -1) << error.GetString();
        EXPECT_NE(error.Find(row.Text(1).c_str()), -1) << error.GetString();
        EXPECT_EQ(app->GetProfileString(L"T", L"t"), L"kept");
        if (row.Null(2)) continue;
        CProfileSection key = app->GetSectionKey(L"S");
        ASSERT_EQ(key.GetValueCount(), 3u);
        CProfileValue value;
        EXPECT_EQ(key.EnumValue(1, value), static_cast<DWORD>(EBADMSG));
        EXPECT_TRUE(value.m_name.Str() == row.Text(2)) << value.m_name.GetString();
        EXPECT_EQ(app->GetProfileString(L"S", L"a"), L"1");
        EXPECT_EQ(app->GetProfileString(L"S", L"b"), L"2");
    }
    // Writing over a damaged file first keeps each damaged version aside.
    std::mt19937 random(12345);
    std::string garbage;
    for (int i = 0; i < 8192; ++i) garbage.push_back(static_cast<char>(random() & 0xFF));
    const std::string damaged = "[\"S\"]\n\"a\" = \"1\"\n\"b\" = oops\n";
    const struct { const std::string& bytes; const char* copy; Names names; } cases[] = {
        {garbage, "settings.damaged", {L"c"}},
        {damaged, "settings.damaged.2", {L"a", L"c"}},  // the damaged line is not carried on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copy);
        WriteBytes(m_file, c.bytes);
        auto app = App();
        EXPECT_FALSE(app->LoadProfile());
        ASSERT_TRUE(app->WriteProfileString(L"S", L"c", L"3"));
        EXPECT_EQ(ReadBytes(m_dir.Path(c.copy)), c.bytes) << "nothing of the damaged file is lost";
        EXPECT_NE(app->GetProfileError().Find(L"settings.damaged"), -1) << app->GetProfileError().GetString();
        auto reader = App();
        EXPECT_TRUE(reader->LoadProfile()) << reader->GetProfileError().GetString();
        EXPECT_EQ(NamesIn(*reader, L"S"), c.names);
    }
}

TEST_F(WinAppTest, FailedWritesLeaveStoreAndFileAsTheyWereAndTheDefaultFileIsConfiguration) {
    fs::create_directory(m_file);  // a folder where the file should be
    auto unreadable = App();
    EXPECT_FALSE(unreadable->LoadProfile());
    EXPECT_NE(unreadable->GetProfileError().Find(L"Is a directory"), -1);
    EXPECT_FALSE(unreadable->GetSectionKey(L"S").IsOpen());
    EXPECT_FALSE(unreadable->WriteProfileString(L"S", L"a", L"1"));
    fs::remove(m_file);

    auto app = App();
    ASSERT_TRUE(app->WriteProfileString(L"S", L"a", L"1"));
    const std::string before = ReadBytes(m_file);
    fs::permissions(m_file, fs::perms::owner_read);
    EXPECT_FALSE(app->WriteProfileString(L"S", L"a", L"2"));
    EXPECT_FALSE(app->GetProfileError().IsEmpty());
    EXPECT_EQ(app->GetProfileString(L"S", L"a"), L"1");
    app->BeginProfileBatch();
    EXPECT_TRUE(app->WriteProfileString(L"S", L"a", L"3"));
    EXPECT_FALSE(app->EndProfileBatch());
    EXPECT_EQ(app->GetProfileString(L"S", L"a"), L"1") << "a failed batch leaves the store as the file is";
    EXPECT_EQ(ReadBytes(m_file), before);
    // The configuration folder is XDG_CONFIG_HOME when that is absolute, else HOME/.config;
    // the application's name becomes one safe folder in it.
    const auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> xdg = saved("XDG_CONFIG_HOME"), home = saved("HOME");
    const std::string root = m_dir.Root().string();
    for (const testsupport::CaseRow& row : testsupport::ReadCases("platform-config-folders.txt", 4)) {
        SCOPED_TRACE(row.Where());
        const auto field = [&](std::size_t i) { return row.raw[i][0] == '@' ? root + row.raw[i].substr(1) : row.raw[i]; };
        row.Null(0) ? ::unsetenv("XDG_CONFIG_HOME") : ::setenv("XDG_CONFIG_HOME", field(0).c_str(), 1);
        ::setenv("HOME", field(1).c_str(), 1);
        CWinApp named(row.Text(2).c_str());
        EXPECT_EQ(FileIO::ToNativePath(named.GetProfileFile().Str()), field(3) + "/settings");
        EXPECT_TRUE(named.WriteProfileString(L"S", L"a", L"1")) << named.GetProfileError().GetString();
        EXPECT_TRUE(fs::is_regular_file(field(3) + "/settings"));
    }

    CWinApp named(L"KelvaroTest");
    const CString defaultFile = named.GetProfileFile();
    named.SetProfileFile(L"relative/settings");
    EXPECT_EQ(named.GetProfileFile(), FileIO::GetCurrentDirectory() + L"/relative/settings");
    named.SetProfileFile(nullptr);
    EXPECT_EQ(named.GetProfileFile(), defaultFile);
    for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", xdg}, std::pair{"HOME", home}})
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

TEST_F(WinAppTest, BatchWritesTheFileOnceAtTheEnd) {
    auto app = App();
    app->BeginProfileBatch();
    app->BeginProfileBatch();
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(app->WriteProfileString(L"Locals", std::to_wstring(i).c_str(), L"v"));
    EXPECT_EQ(app->GetProfileString(L"Locals", L"99"), L"v") << "the store has the values at once";
    EXPECT_TRUE(app->EndProfileBatch());
    EXPECT_FALSE(fs::exists(m_file)) << "the inner end does not write yet";
    EXPECT_TRUE(app->EndProfileBatch());
    EXPECT_TRUE(app->EndProfileBatch()) << "an end without a batch does nothing";
    EXPECT_EQ(App()->GetSectionKey(L"Locals").GetValueCount(), 100u);

    {
        auto open = App();
        open->BeginProfileBatch();
        ASSERT_TRUE(open->WriteProfileString(L"S", L"a", L"1"));
    }
    EXPECT_EQ(App()->GetProfileString(L"S", L"a"), L"1") << "an open batch is written when the application ends";
}

TEST(MessageBoxTest, InstalledBoxAnswersAndTheDefaultWritesUtf8) {
    std::wstring text = L"stale";
    kelvaro::SetMessageBoxHandler([&](const wchar_t* t, UINT) {
        text = t;
        return 42;
    });
    EXPECT_EQ(AfxMessageBox(nullptr), 42);
    EXPECT_EQ(text, L"") << "a null text is shown as an empty one";
    const kelvaro::MessageBoxHandler previous = kelvaro::SetMessageBoxHandler(nullptr);
    ASSERT_TRUE(previous) << "the box installed before is handed back";

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox(L"Z\u00fcrich \U0001F600", MB_ICONSTOP), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Z\xC3\xBCrich \xF0\x9F\x98\x80\n");
}
