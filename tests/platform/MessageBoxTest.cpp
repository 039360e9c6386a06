// The message box: an installed handler gets text and style; the default writes to stderr.
#include "kelvaro/platform/MessageBox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Restores the default box whatever a test installed.
class MessageBoxTest : public ::testing::Test
{
protected:
    void SetUp() override { kelvaro::SetMessageBoxHandler(nullptr); }
    void TearDown() override { kelvaro::SetMessageBoxHandler(nullptr); }
};

} // namespace

TEST_F(MessageBoxTest, InstalledBoxGetsTextAndStyleAndAnswers)
{
    std::wstring text;
    UINT type = 0;
    EXPECT_FALSE(kelvaro::SetMessageBoxHandler([&](const wchar_t* t, UINT s) {
        text = t;
        type = s;
        return 42;
    })) << "the default box was in use";

    EXPECT_EQ(AfxMessageBox(L"Reading 'locals': error\nWidth", MB_ICONSTOP), 42);
    EXPECT_EQ(text, L"Reading 'locals': error\nWidth");
    EXPECT_EQ(type, 0x10u);

    EXPECT_EQ(AfxMessageBox(nullptr), 42);
    EXPECT_EQ(text, L"") << "a null text is shown as an empty one";
    EXPECT_EQ(type, 0u);
}

TEST_F(MessageBoxTest, SettingABoxReturnsThePreviousOneAndNoneRestoresTheDefault)
{
    kelvaro::SetMessageBoxHandler([](const wchar_t*, UINT) { return 1; });
    kelvaro::MessageBoxHandler previous = kelvaro::SetMessageBoxHandler([](const wchar_t*, UINT) { return 2; });
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous(L"", 0), 1);
    EXPECT_EQ(AfxMessageBox(L"x"), 2);

    kelvaro::SetMessageBoxHandler(nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox(L"Z\u00fcrich \U0001F600", MB_ICONSTOP), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Z\xC3\xBCrich \xF0\x9F\x98\x80\n") << "a UTF-8 line";
}
