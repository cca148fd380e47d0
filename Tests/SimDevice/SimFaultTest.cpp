// Injected faults, call counters, the trace and the speed model.
#include "SimFixture.h"

#include <chrono>

namespace {

using Faults = SimTest;

std::string ReadHostFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    return text;
}

long long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// A device freshly plugged in, so that nothing is connected yet.
AMDeviceRef Replugged()
{
    SimDetach(kSimDeviceId);
    SimAttach(kSimDeviceId);
    SimWaitNotices();
    return static_cast<AMDeviceRef>(SimDeviceRef(kSimDeviceId));
}

TEST_F(Faults, NthCallFailsOnceFromControlAndFromConfiguration)
{
    AFCConnectionRef afc = OpenContainer();
    SimFailCall("AFCFileInfoOpen", 2);
    EXPECT_EQ(Kind(afc, "/Documents"), "S_IFDIR");
    EXPECT_EQ(Kind(afc, "/Documents"), "<none>");
    EXPECT_EQ(Kind(afc, "/Documents"), "S_IFDIR");
    SimFailCall("AFCFileInfoOpen", 1);
    SimFailCall("AFCFileInfoOpen", 0);  // cleared before it struck
    EXPECT_EQ(Kind(afc, "/Documents"), "S_IFDIR");
    Close(afc);

    LoadConfig("fail AFCDirectoryRead 3\n");
    afc = OpenContainer();
    EXPECT_EQ(List(afc, "/Documents/Books").size(), 2u);  // ".", "..", then the third read fails
    EXPECT_EQ(List(afc, "/Documents/Books").size(), 4u);

    // The global fault counts every function in call order.
    SimFailNthCall(2);
    EXPECT_EQ(lib.AFCDirectoryCreate(afc, "/Documents/N"), 0);
    EXPECT_NE(lib.AFCRemovePath(afc, "/Documents/N"), 0);
    EXPECT_EQ(lib.AFCRemovePath(afc, "/Documents/N"), 0);
    Close(afc);

    LoadConfig("failany 2\n");
    AMDeviceRef device = Replugged();
    EXPECT_EQ(lib.AMDeviceConnect(device), 0);
    EXPECT_NE(lib.AMDeviceConnect(device), 0);
    EXPECT_EQ(lib.AMDeviceConnect(device), 0);
}

TEST_F(Faults, PathPatternFailsEveryCallOnMatchingPaths)
{
    AFCConnectionRef afc = OpenContainer();
    AFCFileRef file = 0;
    ASSERT_EQ(lib.AFCFileRefOpen(afc, "/Documents/Books/Guide.pdf", 2, &file), 0);
    SimFailPath("/Documents/Books*");
    char buffer[16];
    AFCByteCount room = sizeof buffer;
    EXPECT_NE(lib.AFCFileRefRead(afc, file, buffer, &room), 0);  // opened before, fails now
    EXPECT_EQ(room, 0u);
    lib.AFCFileRefClose(afc, file);
    EXPECT_EQ(Kind(afc, "/Documents/Books/Old"), "<none>");
    EXPECT_NE(lib.AFCDirectoryCreate(afc, "/Documents/Books2"), 0);
    EXPECT_NE(lib.AFCRenamePath(afc, "/Documents/readme.txt", "/Documents/Books/readme.txt"), 0);
    EXPECT_EQ(Kind(afc, "/Documents/readme.txt"), "S_IFREG");
    EXPECT_EQ(Kind(afc, "/Documents/Empty"), "S_IFDIR");
    SimFailPath("/Documents/?mpty");
    EXPECT_EQ(Kind(afc, "/Documents/Empty"), "<none>");
    SimFailPath("");
    EXPECT_EQ(Kind(afc, "/Documents/Books"), "S_IFDIR");
    Close(afc);
}

TEST_F(Faults, UnpairedOrUnvalidatedDevicesGetNoSession)
{
    LoadConfig("  paired 0\n");
    AMDeviceRef device = Replugged();
    ASSERT_EQ(lib.AMDeviceConnect(device), 0);
    EXPECT_EQ(lib.AMDeviceIsPaired(device), 0);
    EXPECT_NE(lib.AMDeviceValidatePairing(device), 0);
    EXPECT_NE(lib.AMDeviceStartSession(device), 0);

    LoadConfig("  validate 0xE800001A\n");
    device = Replugged();
    ASSERT_EQ(lib.AMDeviceConnect(device), 0);
    EXPECT_EQ(lib.AMDeviceIsPaired(device), 1);
    EXPECT_EQ(lib.AMDeviceValidatePairing(device), static_cast<int>(0xE800001Au));
    EXPECT_NE(lib.AMDeviceStartSession(device), 0);
}

TEST_F(Faults, MissingNameAndFailingLookup)
{
    std::string config = SimWriteDeviceTree(root_);
    const std::string nameLine = "  name Sim iPhone\n";
    config.replace(config.find(nameLine), nameLine.size(), "");
    ASSERT_EQ(SimLoadConfigText((config + "  lookupfail 1\n").c_str()), 0);
    AMDeviceRef device = StartDevice();
    EXPECT_EQ(lib.AMDeviceCopyValue(device, nullptr, lib.__CFStringMakeConstantString("DeviceName")), nullptr);
    CFStringRef id = lib.AMDeviceCopyValue(device, nullptr, lib.__CFStringMakeConstantString("UniqueDeviceID"));
    EXPECT_NE(id, nullptr);
    lib.CFRelease(id);
    CFDictionaryRef apps = reinterpret_cast<CFDictionaryRef>(1);
    EXPECT_NE(lib.AMDeviceLookupApplications(device, nullptr, &apps), 0);
    EXPECT_EQ(apps, nullptr);
}

TEST_F(Faults, CountsAndTraceRecordEveryCall)
{
    std::wstring trace = root_ + L"\\trace.txt";
    SimSetTrace(Utf8(trace).c_str());
    AFCConnectionRef afc = OpenContainer();
    Kind(afc, "/Documents/readme.txt");
    SimFailCall("AFCRemovePath", 1);
    lib.AFCRemovePath(afc, "/Documents/readme.txt");
    Close(afc);
    SimSetTrace(nullptr);

    EXPECT_EQ(SimCallCount("AMDeviceStartHouseArrestService"), 1u);
    EXPECT_EQ(SimCallCount("AFCFileInfoOpen"), 1u);
    EXPECT_EQ(SimCallCount("AFCKeyValueRead"), 7u);  // six pairs and the end
    EXPECT_EQ(SimCallCount("AFCDirectoryCreate"), 0u);
    EXPECT_GE(SimCallCount(nullptr), 14u);
    std::string text = ReadHostFile(trace);
    EXPECT_NE(text.find("AFCFileInfoOpen("), std::string::npos);
    EXPECT_NE(text.find("\"/Documents/readme.txt\""), std::string::npos);
    EXPECT_NE(text.find("st_ifmt: S_IFREG"), std::string::npos);
    EXPECT_NE(text.find("= 99 [injected fault]"), std::string::npos);
    SimResetCounters();
    EXPECT_EQ(SimCallCount(nullptr), 0u);
}

TEST_F(Faults, LatencyAndBandwidthSlowCallsDown)
{
    AFCConnectionRef afc = OpenContainer();
    std::string content(100000, 'z');
    ASSERT_EQ(WriteDeviceFile(afc, "/Documents/big.bin", content), 0);

    SimSetLatency(0, 1000000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/big.bin", 65536).size(), content.size());
    EXPECT_GE(MillisecondsSince(start), 95);

    SimSetLatency(20000, 0);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        lib.AMDeviceIsPaired(static_cast<AMDeviceRef>(SimDeviceRef(kSimDeviceId)));
    }
    EXPECT_GE(MillisecondsSince(start), 99);
    SimSetLatency(0, 0);
    Close(afc);
}

// A second thread reading a file on a connection the test names.
struct ReaderJob {
    AFCConnectionRef afc;
    std::string read;
};

DWORD WINAPI ReadOnAnotherThread(void* parameter)
{
    auto* job = static_cast<ReaderJob*>(parameter);
    AFCFileRef file = 0;
    char bytes[16] = {};
    AFCByteCount got = sizeof bytes;
    if (SimTest::lib.AFCFileRefOpen(job->afc, "/Documents/a.txt", 1, &file) == 0 &&
        SimTest::lib.AFCFileRefRead(job->afc, file, bytes, &got) == 0) {
        job->read.assign(bytes, static_cast<size_t>(got));
    }
    SimTest::lib.AFCFileRefClose(job->afc, file);
    return 0;
}

// A connection serves one thread at a time: a call from a second thread while a call of another
// is in progress (held here) is a misuse, and is logged for the test harness; calls one after the
// other from two threads, and calls on two connections at once, are not.
TEST_F(Faults, SecondThreadOnABusyConnectionIsAMisuse)
{
    AFCConnectionRef afc = OpenContainer();
    AFCConnectionRef other = OpenContainer();
    ASSERT_EQ(WriteDeviceFile(afc, "/Documents/a.txt", "abc"), 0);
    unsigned misuses = SimThreadMisuses();
    ReaderJob job{afc, {}};
    auto runReader = [&] {
        HANDLE thread = CreateThread(nullptr, 0, ReadOnAnotherThread, &job, 0, nullptr);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
    };
    runReader();
    const size_t listed = List(afc, "/Documents").size();  // after the other thread, on the same one
    EXPECT_GT(listed, 2u);
    EXPECT_EQ(SimThreadMisuses(), misuses);

    SimHoldCall("AFCFileRefRead");
    HANDLE thread = CreateThread(nullptr, 0, ReadOnAnotherThread, &job, 0, nullptr);
    while (SimHeldCalls() == 0) Sleep(5);
    EXPECT_EQ(List(other, "/Documents").size(), listed);
    EXPECT_EQ(SimThreadMisuses(), misuses);
    EXPECT_EQ(SimTakeThreadMisuses(), "");
    List(afc, "/Documents");
    SimReleaseHeldCalls();
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    EXPECT_EQ(job.read, "abc");
    EXPECT_GT(SimThreadMisuses(), misuses);  // the opening of the folder, and each call after it
    std::string logged = SimTakeThreadMisuses();
    EXPECT_NE(logged.find("AFCDirectoryOpen"), std::string::npos) << logged;
    EXPECT_NE(logged.find("while thread"), std::string::npos) << logged;
    Close(afc);
    Close(other);
}

}  // namespace
