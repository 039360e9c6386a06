// The message box: an installed box gets the text (null as empty) and answers; the default
// box writes the text to stderr as one UTF-8 line.
#include "kelvaro/platform/MessageBox.h"

#include <gtest/gtest.h>

#include <string>

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
