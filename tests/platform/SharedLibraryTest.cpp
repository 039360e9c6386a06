// Loading and freeing shared libraries, and the reason a load failed.
#include "kelvaro/platform/SharedLibrary.h"

#include <gtest/gtest.h>

#include <thread>

TEST(SharedLibraryTest, FailedLoadGivesTheSystemsReasonToItsThreadOnly) {
    // A name that is not ASCII reaches the system as UTF-8 and comes back in the reason.
    const wchar_t* path = L"/nonexistent-kelvaro-folder/R\u00e9ports.dll";
    EXPECT_EQ(AfxLoadLibrary(path), nullptr);
    std::thread other([] { AfxLoadLibrary(L"/nonexistent-kelvaro-folder/Other.dll"); });
    other.join();
    const CString error = GetLastLoadError();
    EXPECT_NE(error.Find(path), -1) << error.GetString();
    EXPECT_NE(error.Find(L"No such file"), -1) << error.GetString();
    // The system would hand out the program itself for a null name.
    for (const wchar_t* none : {static_cast<const wchar_t*>(nullptr), L""}) {
        EXPECT_EQ(AfxLoadLibrary(none), nullptr);
        EXPECT_FALSE(GetLastLoadError().IsEmpty());
    }
}

TEST(SharedLibraryTest, LibraryIsFreedOncePerLoad) {
    int notALibrary = 0;
    EXPECT_FALSE(AfxFreeLibrary(nullptr));
    EXPECT_FALSE(AfxFreeLibrary(&notALibrary));
    HMODULE first = AfxLoadLibrary(L"libm.so.6");
    ASSERT_NE(first, nullptr) << GetLastLoadError().GetString();
    ASSERT_EQ(AfxLoadLibrary(L"libm.so.6"), first);
    EXPECT_TRUE(AfxFreeLibrary(first));
    EXPECT_TRUE(AfxFreeLibrary(first));
    EXPECT_FALSE(AfxFreeLibrary(first)) << "a third free would free what others still hold";
}
