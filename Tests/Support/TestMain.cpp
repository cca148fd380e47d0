// Entry point of every test program: the process is set up as the program sets itself up.
#include <gtest/gtest.h>

#include <ole2.h>
#include <commctrl.h>

#include "SimDevice.h"
#include "iPhone.h"

namespace {

// A device connection is used by one thread at a time: a test during which the simulated library
// saw two at once fails, whichever process of the test made the calls.
class ThreadMisuseCheck : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override
    {
        std::string misuses = SimTakeThreadMisuses();
        if (!misuses.empty()) ADD_FAILURE() << "a device connection was used by two threads at once:\n" << misuses;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    g_instance = GetModuleHandleW(nullptr);
    OleInitialize(nullptr);
    InitCommonControls();
    testing::InitGoogleTest(&argc, argv);
    SimWatchThreadMisuse();
    testing::UnitTest::GetInstance()->listeners().Append(new ThreadMisuseCheck);
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
