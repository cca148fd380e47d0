// Configuration files, detaching, calls from several threads, and unloading while subscribed.
#include "SimFixture.h"

#include <atomic>
#include <thread>

namespace {

using Lifecycle = SimTest;

void WriteConfigFile(const std::wstring& path, const std::string& text)
{
    // Written aside and moved in, so the library never reads half a file.
    std::wstring aside = path + L".new";
    ASSERT_TRUE(SimWriteFile(aside, text));
    ASSERT_TRUE(MoveFileExW(aside.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
}

// Pumps until a notice with this event arrives (the file is checked every 100 ms).
bool WaitForEvent(uint32_t event)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000;) {
        SimWaitNotices();
        for (const RecordedNotice& notice : SimTest::TakeNotices()) {
            if (notice.event == event) {
                return true;
            }
        }
        Sleep(20);
    }
    return false;
}

TEST_F(Lifecycle, ConfigurationFileIsReadAgainWhenItChanges)
{
    // A Unix path for the file and for the device's folders, as scripts write them.
    const char* build = getenv("TOVAREL_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    std::string unixFolder = std::string(build) + "/simdevice-config-" + std::to_string(GetCurrentProcessId());
    std::wstring folder = SimWindowsPath(unixFolder);
    SimRemoveTree(folder);
    ASSERT_TRUE(SimWriteFile(folder + L"\\app\\Documents\\seen.txt", "seen"));
    std::wstring file = folder + L"\\devices.conf";
    std::string device = "device from-file\n  name File Phone\n  app com.marlquist.tovarel " + unixFolder + "/app\n";
    WriteConfigFile(file, device);
    SetEnvironmentVariableA("TOVAREL_SIM_CONFIG", (unixFolder + "/devices.conf").c_str());

    EXPECT_TRUE(WaitForEvent(DEVICE_NOTICE_LEFT));  // the test's own device is not in the file
    auto fromFile = static_cast<AMDeviceRef>(SimDeviceRef("from-file"));
    ASSERT_NE(fromFile, nullptr);
    ASSERT_EQ(lib.AMDeviceConnect(fromFile), 0);
    ASSERT_EQ(lib.AMDeviceStartSession(fromFile), 0);
    AMServiceRef service = nullptr;
    AFCConnectionRef afc = nullptr;
    CFDictionaryRef options = VendDocumentsOptions();
    ASSERT_EQ(lib.AMDeviceStartHouseArrestService(fromFile, lib.__CFStringMakeConstantString("com.marlquist.tovarel"),
                                                  options, &service, nullptr),
              0);
    lib.CFRelease(options);
    ASSERT_EQ(lib.AFCConnectionOpen(service, 0, &afc), 0);
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/seen.txt"), "seen");
    Close(afc);

    WriteConfigFile(file, device + "  attached 0\n");
    EXPECT_TRUE(WaitForEvent(DEVICE_NOTICE_LEFT));
    WriteConfigFile(file, device + "  bad line\n");  // ignored: the device stays detached
    Sleep(300);
    EXPECT_NE(lib.AMDeviceConnect(fromFile), 0);
    WriteConfigFile(file, device);
    EXPECT_TRUE(WaitForEvent(DEVICE_NOTICE_ARRIVED));

    SetEnvironmentVariableA("TOVAREL_SIM_CONFIG", nullptr);
    SimRemoveTree(folder);
}

TEST_F(Lifecycle, DetachedDeviceFailsEveryCall)
{
    AFCConnectionRef afc = OpenContainer();
    AMDeviceRef device = static_cast<AMDeviceRef>(SimDeviceRef(kSimDeviceId));
    AFCKeyValueReaderRef reader = nullptr;
    AFCFileRef file = 0;
    ASSERT_EQ(lib.AFCFileInfoOpen(afc, "/Documents", &reader), 0);
    ASSERT_EQ(lib.AFCFileRefOpen(afc, "/Documents/readme.txt", 2, &file), 0);

    ASSERT_EQ(SimDetach(kSimDeviceId), 0);
    ASSERT_TRUE(SimWaitNotices());
    std::vector<RecordedNotice> notices = TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].event, DEVICE_NOTICE_LEFT);

    char* key = nullptr;
    char* value = nullptr;
    char buffer[8];
    AFCByteCount room = sizeof buffer;
    EXPECT_NE(lib.AFCKeyValueRead(reader, &key, &value), 0);
    EXPECT_NE(lib.AFCFileRefRead(afc, file, buffer, &room), 0);
    EXPECT_EQ(Kind(afc, "/Documents"), "<none>");
    EXPECT_NE(lib.AFCDirectoryCreate(afc, "/Documents/x"), 0);
    EXPECT_NE(lib.AMDeviceConnect(device), 0);
    EXPECT_EQ(lib.AMDeviceIsPaired(device), 0);
    EXPECT_EQ(lib.AMDeviceCopyValue(device, nullptr, lib.__CFStringMakeConstantString("UniqueDeviceID")), nullptr);
    CFDictionaryRef apps = nullptr;
    EXPECT_NE(lib.AMDeviceLookupApplications(device, nullptr, &apps), 0);

    // Plugged in again: the same reference, but what was open before stays dead.
    ASSERT_EQ(SimAttach(kSimDeviceId), 0);
    ASSERT_TRUE(SimWaitNotices());
    EXPECT_EQ(TakeNotices().size(), 1u);
    EXPECT_EQ(Kind(afc, "/Documents"), "<none>");
    EXPECT_NE(lib.AFCKeyValueClose(reader), 0);
    Close(afc);
    AFCConnectionRef fresh = OpenContainer();
    EXPECT_EQ(Kind(fresh, "/Documents"), "S_IFDIR");
    Close(fresh);
}

// The handler may call back into the library: the lock is not held while it runs.
void __cdecl ConnectOnArrival(const DeviceNotice* notice, void* context)
{
    if (notice->event == DEVICE_NOTICE_ARRIVED) {
        auto connected = static_cast<std::atomic<int>*>(context);
        if (SimTest::lib.AMDeviceConnect(notice->device) == 0 && SimTest::lib.AMDeviceIsPaired(notice->device) == 1) {
            ++*connected;
        }
    }
}

TEST_F(Lifecycle, SeveralThreadsAndAReentrantHandler)
{
    std::atomic<int> connected(0);
    AMNotificationRef subscription = nullptr;
    ASSERT_EQ(lib.AMDeviceNotificationSubscribe(ConnectOnArrival, 0, 0, &connected, &subscription), 0);
    ASSERT_TRUE(SimWaitNotices());
    EXPECT_EQ(connected.load(), 1);  // the attached device arrived for the new subscriber

    AFCConnectionRef afc = OpenContainer();
    std::atomic<int> failures(0);
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            std::string path = "/Documents/thread" + std::to_string(t) + ".txt";
            for (int i = 0; i < 40; ++i) {
                std::string text = std::to_string(t * 1000 + i);
                if (WriteDeviceFile(afc, path.c_str(), text) != 0 || ReadDeviceFile(afc, path.c_str()) != text ||
                    List(afc, "/Documents").size() < 6) {
                    ++failures;
                }
            }
        });
    }
    for (int i = 0; i < 5; ++i) {
        SimDeliverNotice(kSimDeviceId, DEVICE_NOTICE_ARRIVED);
        SimWaitNotices();
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(connected.load(), 6);
    Close(afc);
    // The library survives it, and says that a program must not do it.
    EXPECT_NE(SimTakeThreadMisuses(), "");

    auto unsubscribe = reinterpret_cast<int(__cdecl*)(AMNotificationRef)>(
        reinterpret_cast<void*>(GetProcAddress(SimModule(), "AMDeviceNotificationUnsubscribe")));
    ASSERT_NE(unsubscribe, nullptr);
    EXPECT_EQ(unsubscribe(subscription), 0);
    SimDeliverNotice(kSimDeviceId, DEVICE_NOTICE_ARRIVED);
    SimWaitNotices();
    EXPECT_EQ(connected.load(), 6);
}

TEST_F(Lifecycle, UnloadingWhileSubscribedKeepsTheLibraryMapped)
{
    // Drop this test program's own references, as the program's shutdown does: the notice thread
    // keeps the library in memory and goes on delivering.
    std::wstring path = SimLibraryFolder() + L"\\SimMobileDevice.dll";
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(FreeLibrary(module));
    ASSERT_TRUE(FreeLibrary(module));  // the reference SimModule took
    ASSERT_EQ(GetModuleHandleW(L"SimMobileDevice.dll"), module);
    ASSERT_EQ(SimDeliverNotice(kSimDeviceId, DEVICE_NOTICE_ARRIVED), 0);
    EXPECT_TRUE(SimWaitNotices());
    EXPECT_EQ(TakeNotices().size(), 1u);
    ASSERT_EQ(LoadLibraryW(path.c_str()), module);  // give SimModule's reference back
}

}  // namespace
