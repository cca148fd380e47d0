// Entry point of every test program: the process is set up as the program sets itself up.
#include <gtest/gtest.h>

#include <ole2.h>
#include <commctrl.h>

#include "iPhone.h"

int main(int argc, char** argv)
{
    g_instance = GetModuleHandleW(nullptr);
    OleInitialize(nullptr);
    InitCommonControls();
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
