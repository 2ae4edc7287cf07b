// Test entry point for the Windows side. The tests run from the root of drive
// C: because the C runtime puts its temporary files in the root of the
// current drive, and Wine's Z: drive is the Linux root.
#include <windows.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetCurrentDirectoryA("C:\\");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
