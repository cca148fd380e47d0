// Devices arriving and leaving, the editions offered and opened, on the real window with the
// simulated library.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Devices.h"
#include "ProgramHarness.h"
#include "WindowHarness.h"
#include "iPhone.h"

namespace {

const wchar_t kConnectPrompt[] = L"Connect iPhone, iPod touch or iPad with Tovarel app installed";
const wchar_t kConnectionError[] = L"Connection error. Please disconnect and reconnect your device.";

// A container with one document, and the UserDocs folder where asked.
std::string Container(const std::wstring& folder, const char* userDocs = "asroot")
{
    SimWriteFile(folder + L"\\Documents\\readme.txt", "hello world");
    std::string kind = userDocs;
    if (kind == "asroot") {
        SimWriteFile(folder + L"\\Library\\Application Support\\com.marlquist.tovarel.ASRoot\\UserDocs\\a.pdf", "x");
    } else if (kind == "cacheroot") {
        SimWriteFile(folder + L"\\Library\\Caches\\com.marlquist.tovarel.CacheRoot\\UserDocs\\cached.pdf", "xy");
    }
    return Utf8Text(folder);
}

struct Device {
    std::string id;
    const char* name = nullptr;  // null: no name value
    const char* model = "iPhone14,2";
    std::vector<std::string> appLines;
    std::string extra;
};

std::string Config(const std::vector<Device>& devices)
{
    std::string text;
    for (const Device& device : devices) {
        text += "device " + device.id + "\n";
        if (device.name) text += std::string("  name ") + device.name + "\n";
        text += std::string("  model ") + device.model + "\n";
        for (const std::string& app : device.appLines) text += "  app " + app + "\n";
        text += device.extra;
    }
    return text;
}

// Checks every item on its way into the device list: it must stand for a device that is recorded
// at that moment, and come from the window's own work (what the window does for a message), never
// straight from another thread, which would be changing the records meanwhile.
class DeviceListInsertions {
public:
    DeviceListInsertions(HWND window, HWND list) : window_(window), list_(list)
    {
        SetWindowSubclass(window_, Track, 1, reinterpret_cast<DWORD_PTR>(this));
        SetWindowSubclass(list_, Check, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ~DeviceListInsertions()
    {
        RemoveWindowSubclass(list_, Check, 1);
        RemoveWindowSubclass(window_, Track, 1);
    }
    unsigned Checked() const { return checked_; }
    unsigned Unrecorded() const { return unrecorded_; }
    unsigned StraightFromOtherThreads() const { return straightFromOtherThreads_; }

private:
    static bool Recorded(const DeviceEntry* wanted)
    {
        for (const DeviceEntry* entry = g_devices.load(); entry; entry = entry->next) {
            if (entry == wanted) return true;
        }
        return false;
    }
    static LRESULT CALLBACK Track(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
    {
        DeviceListInsertions* self = reinterpret_cast<DeviceListInsertions*>(data);
        ++self->windowDepth_;
        LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        --self->windowDepth_;
        return result;
    }
    static LRESULT CALLBACK Check(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
    {
        DeviceListInsertions* self = reinterpret_cast<DeviceListInsertions*>(data);
        if (message == LVM_INSERTITEMW) {
            ++self->checked_;
            if (InSendMessage() && self->windowDepth_ == 0) ++self->straightFromOtherThreads_;
            if (!Recorded(reinterpret_cast<const DeviceEntry*>(reinterpret_cast<const LVITEMW*>(lParam)->lParam))) {
                ++self->unrecorded_;
            }
        }
        return DefSubclassProc(list, message, wParam, lParam);
    }

    HWND window_;
    HWND list_;
    int windowDepth_ = 0;
    unsigned checked_ = 0;
    unsigned unrecorded_ = 0;
    unsigned straightFromOtherThreads_ = 0;
};

class DeviceTest : public ProgramTest {
protected:
    // A device with the iPhone edition only.
    Device Phone(const char* id, const char* name)
    {
        Device device;
        device.id = id;
        device.name = name;
        std::wstring folder(id, id + strlen(id));
        device.appLines = {"com.marlquist.tovarel " + Container(Folder(folder.c_str()))};
        return device;
    }

    DeviceEntry* Current() { return g_currentDevice.load(); }
};

TEST_F(DeviceTest, ArrivingDeviceIsListedAndItsFirstEditionOpens)
{
    ASSERT_TRUE(LoadDevices(SimWriteDeviceTree(Folder(L"phone"))));

    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"Sim iPhone"}));
    EXPECT_EQ(ListImages(g_deviceList), std::vector<int>({1}));
    EXPECT_EQ(ListItemsWithState(g_deviceList, LVIS_SELECTED), std::vector<int>({0}));
    EXPECT_EQ(ListTexts(g_locationsList), Texts({L"Tovarel for iPad", L"Tovarel for iPhone"}));
    EXPECT_EQ(ListImages(g_locationsList), std::vector<int>({3, 3}));
    EXPECT_EQ(ListItemsWithState(g_locationsList, LVIS_SELECTED), std::vector<int>({0}));
    ASSERT_NE(Current(), nullptr);
    EXPECT_EQ(Current()->openLocation, EDITION_IPAD);
    EXPECT_NE(Current()->afc, nullptr);
    EXPECT_STREQ(Current()->uniqueId, L"00008030-SIM0000000001");

    // The road ends at the root: "/" in the tree and both locations in the list.
    EXPECT_EQ(TreeChildTexts(nullptr), Texts({L"/"}));
    HTREEITEM root = TreeView_GetRoot(TreeControlForTest());
    EXPECT_EQ(TreeChildTexts(root), Texts({L"Downloads", L"My Documents"}));
    EXPECT_EQ(TreeView_GetSelection(TreeControlForTest()), root);
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Downloads", L"My Documents"}));
    EXPECT_EQ(PathLineText(), L"/");
    EXPECT_TRUE(ListItemsWithState(g_fileList, LVIS_SELECTED).empty());
    EXPECT_EQ(StatusLineText().rfind(L"Sim iPhone (disk space = ", 0), 0u) << StatusLineText();
    EXPECT_EQ(g_connectionError.load(), 0);
}

TEST_F(DeviceTest, EditionsAreOfferedInTheirOwnOrderAndNamelessDevicesShowQuestionMarks)
{
    Device tablet;
    tablet.id = "tablet";
    tablet.name = "";
    tablet.model = "iPad13,1";
    tablet.appLines = {"com.marlquist.tovarel " + Container(Folder(L"e3")),
                       "com.marlquist.tovarel.ipad " + Container(Folder(L"e2")),
                       "com.marlquist.tovarel4 " + Container(Folder(L"e1"))};
    Device phone;
    phone.id = "phone";
    ASSERT_TRUE(LoadDevices(Config({tablet, phone})));

    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"???", L"???"}));
    EXPECT_EQ(ListImages(g_deviceList), std::vector<int>({0, 1}));
    EXPECT_EQ(ListTexts(g_locationsList), Texts({L"Tovarel 4", L"Tovarel for iPad", L"Tovarel for iPhone"}));
    EXPECT_EQ(ListImages(g_locationsList), std::vector<int>({2, 3, 3}));
    ASSERT_NE(Current(), nullptr);
    EXPECT_EQ(Current()->openLocation, EDITION_4);
    EXPECT_EQ(StatusLineText().rfind(L"??? (", 0), 0u) << StatusLineText();
}

TEST_F(DeviceTest, ChoosingTheOpenEditionAgainDoesNothingAndAnotherReopens)
{
    ASSERT_TRUE(LoadDevices(SimWriteDeviceTree(Folder(L"phone"))));
    FolderNode* firstRoot = g_rootFolder.load();
    ASSERT_NE(firstRoot, nullptr);
    unsigned cfObjects = SimLiveCfObjects();
    unsigned handles = SimOpenHandles();

    SimResetCounters();
    SelectOnlyListItem(g_locationsList, 0);
    EXPECT_EQ(g_rootFolder.load(), firstRoot);
    EXPECT_EQ(SimCallCount("AMDeviceStartSession"), 0u);

    SelectOnlyListItem(g_locationsList, 1);
    EXPECT_EQ(Current()->openLocation, EDITION_IPHONE);
    EXPECT_NE(g_rootFolder.load(), nullptr);
    EXPECT_EQ(SimCallCount("AFCConnectionClose"), 1u);  // the iPad edition's connection
    EXPECT_EQ(SimCallCount("AMDeviceStopSession"), 1u);
    EXPECT_EQ(SimCallCount("AMDeviceStartHouseArrestService"), 1u);
    EXPECT_EQ(TreeChildTexts(TreeView_GetRoot(TreeControlForTest())), Texts({L"Downloads", L"My Documents"}));
    // The request dictionary and its two strings are released again.
    EXPECT_EQ(SimLiveCfObjects(), cfObjects);
    EXPECT_EQ(SimBadCfCalls(), 0u);
    // The old location's connection is closed, the new one open, nothing else left open.
    EXPECT_EQ(SimOpenHandles(), handles);
}

TEST_F(DeviceTest, SecondArrivalNoticeAddsNothingAndClearsTheConnectionError)
{
    ASSERT_TRUE(LoadDevices(SimWriteDeviceTree(Folder(L"phone"))));
    FolderNode* root = g_rootFolder.load();
    g_connectionError = 1;

    SimResetCounters();
    ASSERT_EQ(SimDeliverNotice(kSimDeviceId, 1), 0);
    ASSERT_TRUE(WaitForNotices());

    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"Sim iPhone"}));
    EXPECT_EQ(g_connectionError.load(), 0);
    EXPECT_EQ(g_rootFolder.load(), root);
    EXPECT_EQ(SimCallCount("AMDeviceConnect"), 0u);
    EXPECT_EQ(StatusLineText().rfind(L"Sim iPhone", 0), 0u);
}

TEST_F(DeviceTest, UnpairedOrUnvalidatedDeviceDropsEveryDevice)
{
    for (const char* fault : {"  paired 0\n", "  validate 5\n"}) {
        SCOPED_TRACE(fault);
        Device good = Phone("good", "Good");
        Device bad = Phone("bad", "Bad");
        bad.extra = fault;
        ASSERT_TRUE(LoadDevices(Config({good})));
        ASSERT_EQ(ListTexts(g_deviceList), Texts({L"Good"}));

        ASSERT_TRUE(LoadDevices(Config({good, bad})));
        EXPECT_TRUE(ListTexts(g_deviceList).empty());
        EXPECT_TRUE(ListTexts(g_locationsList).empty());
        EXPECT_TRUE(TreeChildTexts(nullptr).empty());
        EXPECT_TRUE(ListTexts(g_fileList).empty());
        EXPECT_EQ(g_devices.load(), nullptr);
        EXPECT_EQ(g_rootFolder.load(), nullptr);
        EXPECT_EQ(StatusLineText(), kConnectionError);

        // The next arrival notice brings a device back and clears the error.
        ASSERT_EQ(SimDeliverNotice("good", 1), 0);
        ASSERT_TRUE(WaitForNotices());
        EXPECT_EQ(ListTexts(g_deviceList), Texts({L"Good"}));
        EXPECT_EQ(StatusLineText().rfind(L"Good", 0), 0u);
        ASSERT_TRUE(LoadDevices(""));
    }
}

TEST_F(DeviceTest, UnknownEventDropsEveryDevice)
{
    ASSERT_TRUE(LoadDevices(Config({Phone("one", "One"), Phone("two", "Two")})));
    ASSERT_EQ(ListTexts(g_deviceList), Texts({L"One", L"Two"}));

    ASSERT_EQ(SimDeliverNotice("two", 7), 0);
    ASSERT_TRUE(WaitForNotices());
    EXPECT_TRUE(ListTexts(g_deviceList).empty());
    EXPECT_TRUE(ListTexts(g_locationsList).empty());
    EXPECT_TRUE(TreeChildTexts(nullptr).empty());
    EXPECT_EQ(PathLineText(), L"");
    EXPECT_EQ(StatusLineText(), kConnectionError);
}

TEST_F(DeviceTest, LocationThatCannotBeOpenedKeepsTheConnectionErrorShown)
{
    SimResetCounters();
    ASSERT_TRUE(LoadDevices("fail AMDeviceStartHouseArrestService 1\n" + Config({Phone("one", "One")})));
    EXPECT_EQ(g_devices.load(), nullptr);
    EXPECT_EQ(StatusLineText(), kConnectionError);
    // The session of the failed opening is not left running.
    EXPECT_EQ(SimCallCount("AMDeviceStartSession"), SimCallCount("AMDeviceStopSession"));
}

TEST_F(DeviceTest, DeviceWithoutTheAppOffersAFocusedNoteThatCannotBeChosen)
{
    Device bare;
    bare.id = "bare";
    bare.name = "Bare";
    ASSERT_TRUE(LoadDevices(Config({bare})));

    ASSERT_NE(Current(), nullptr);
    EXPECT_EQ(ListTexts(g_locationsList), Texts({L"Tovarel app is not installed"}));
    EXPECT_EQ(ListImages(g_locationsList), std::vector<int>({2}));
    EXPECT_EQ(ListItemData(g_locationsList, 0), 0);
    EXPECT_TRUE(ListItemsWithState(g_locationsList, LVIS_SELECTED).empty());
    EXPECT_EQ(ListItemsWithState(g_locationsList, LVIS_FOCUSED), std::vector<int>({0}));
    EXPECT_EQ(Current()->openLocation, EDITION_NONE);
    EXPECT_TRUE(TreeChildTexts(nullptr).empty());

    SimResetCounters();
    SelectOnlyListItem(g_locationsList, 0);
    EXPECT_TRUE(ListItemsWithState(g_locationsList, LVIS_SELECTED).empty());
    EXPECT_EQ(Current()->openLocation, EDITION_NONE);
    EXPECT_EQ(Current()->afc, nullptr);
    EXPECT_EQ(SimCallCount("AMDeviceStartSession"), 0u);
    EXPECT_TRUE(TreeChildTexts(nullptr).empty());
    EXPECT_EQ(StatusLineText().rfind(L"Bare", 0), 0u);
}

TEST_F(DeviceTest, RemovingTheCurrentFirstDeviceMakesTheSecondCurrent)
{
    ASSERT_TRUE(LoadDevices(Config({Phone("one", "One"), Phone("two", "Two")})));
    ASSERT_EQ(Current()->name, std::wstring(L"One"));

    ASSERT_EQ(SimDetach("one"), 0);
    ASSERT_TRUE(WaitForNotices());
    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"Two"}));
    EXPECT_EQ(ListItemsWithState(g_deviceList, LVIS_SELECTED), std::vector<int>({0}));
    ASSERT_NE(Current(), nullptr);
    EXPECT_STREQ(Current()->name, L"Two");
    EXPECT_EQ(g_devices.load(), Current());
    EXPECT_EQ(Current()->next, nullptr);
    EXPECT_EQ(Current()->openLocation, EDITION_IPHONE);
    EXPECT_EQ(TreeChildTexts(TreeView_GetRoot(TreeControlForTest())), Texts({L"Downloads", L"My Documents"}));
    EXPECT_EQ(StatusLineText().rfind(L"Two", 0), 0u);
}

TEST_F(DeviceTest, RemovingTheCurrentDeviceThatIsNotFirstMakesTheFirstCurrent)
{
    ASSERT_TRUE(LoadDevices(Config({Phone("one", "One"), Phone("two", "Two"), Phone("three", "Three")})));
    SelectOnlyListItem(g_deviceList, 2);
    ASSERT_STREQ(Current()->name, L"Three");
    ASSERT_EQ(Current()->openLocation, EDITION_IPHONE);

    ASSERT_EQ(SimDetach("three"), 0);
    ASSERT_TRUE(WaitForNotices());
    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"One", L"Two"}));
    ASSERT_NE(Current(), nullptr);
    EXPECT_STREQ(Current()->name, L"One");
    EXPECT_EQ(ListItemsWithState(g_deviceList, LVIS_SELECTED), std::vector<int>({0}));
    EXPECT_NE(g_rootFolder.load(), nullptr);
}

TEST_F(DeviceTest, RemovingTheOnlyDeviceEmptiesTheWindow)
{
    const unsigned handles = SimOpenHandles();
    ASSERT_TRUE(LoadDevices(Config({Phone("one", "One")})));
    ASSERT_FALSE(ListTexts(g_fileList).empty());

    SimResetCounters();
    ASSERT_EQ(SimDetach("one"), 0);
    ASSERT_TRUE(WaitForNotices());
    // Its connection and session go with it, as when another device is left.
    EXPECT_EQ(SimOpenHandles(), handles);
    EXPECT_EQ(SimCallCount("AMDeviceStopSession"), 1u);
    EXPECT_EQ(g_devices.load(), nullptr);
    EXPECT_EQ(Current(), nullptr);
    EXPECT_EQ(g_rootFolder.load(), nullptr);
    EXPECT_EQ(g_currentFolder.load(), nullptr);
    EXPECT_TRUE(ListTexts(g_deviceList).empty());
    EXPECT_TRUE(ListTexts(g_locationsList).empty());
    EXPECT_TRUE(TreeChildTexts(nullptr).empty());
    EXPECT_TRUE(ListTexts(g_fileList).empty());
    EXPECT_EQ(PathLineText(), L"");
    EXPECT_EQ(StatusLineText(), kConnectPrompt);
}

TEST_F(DeviceTest, RemovingADeviceThatIsNotCurrentKeepsTheOpenLocation)
{
    ASSERT_TRUE(LoadDevices(Config({Phone("one", "One"), Phone("two", "Two")})));
    FolderNode* root = g_rootFolder.load();
    DeviceEntry* current = Current();

    ASSERT_EQ(SimDetach("two"), 0);
    ASSERT_TRUE(WaitForNotices());
    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"One"}));
    EXPECT_EQ(Current(), current);
    EXPECT_EQ(g_rootFolder.load(), root);
    EXPECT_EQ(ListItemsWithState(g_deviceList, LVIS_SELECTED), std::vector<int>({0}));

    // A removal notice for a device never listed changes nothing.
    ASSERT_EQ(SimDeliverNotice("two", 2), 0);
    ASSERT_TRUE(WaitForNotices());
    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"One"}));
    EXPECT_EQ(g_rootFolder.load(), root);
}

TEST_F(DeviceTest, LeavingAListNeverLeavesItWithoutTheCurrentSelection)
{
    ASSERT_TRUE(LoadDevices(Config({Phone("one", "One")})));
    SetFocus(g_deviceList);
    ListView_SetItemState(g_deviceList, -1, 0, LVIS_SELECTED);
    SetFocus(g_locationsList);
    ListView_SetItemState(g_locationsList, -1, 0, LVIS_SELECTED);
    SetFocus(g_fileList);
    PumpMessages();
    EXPECT_EQ(ListItemsWithState(g_deviceList, LVIS_SELECTED), std::vector<int>({0}));
    EXPECT_EQ(ListItemsWithState(g_locationsList, LVIS_SELECTED), std::vector<int>({0}));
    EXPECT_EQ(Current()->openLocation, EDITION_IPHONE);
}

TEST_F(DeviceTest, DownloadsComesFromTheCacheRootWithoutTheASRootAndIsMissingWithoutEither)
{
    Device cached;
    cached.id = "cached";
    cached.name = "Cached";
    cached.appLines = {"com.marlquist.tovarel4 " + Container(Folder(L"cached"), "cacheroot")};
    ASSERT_TRUE(LoadDevices(Config({cached})));
    EXPECT_STREQ(g_userDocsPath, L"/Library/Caches/com.marlquist.tovarel.CacheRoot/UserDocs");
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Downloads", L"My Documents"}));
    ASSERT_TRUE(LoadDevices(""));

    Device plain;
    plain.id = "plain";
    plain.name = "Plain";
    plain.appLines = {"com.marlquist.tovarel4 " + Container(Folder(L"plain"), "none")};
    ASSERT_TRUE(LoadDevices(Config({plain})));
    EXPECT_STREQ(g_userDocsPath, L"/Library/Caches/com.marlquist.tovarel.CacheRoot/UserDocs");
    EXPECT_EQ(TreeChildTexts(TreeView_GetRoot(TreeControlForTest())), Texts({L"My Documents"}));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"My Documents"}));
}

TEST_F(DeviceTest, DevicesThatArriveBeforeTheWindowAppearWhenItIsBuilt)
{
    DestroyMainWindowForTest(window_);
    window_ = nullptr;
    ASSERT_EQ(SimLoadConfigText(Config({Phone("early", "Early")}).c_str()), 0);
    PumpMessages(200);
    // The handler waits for the window: nothing recorded yet, the notice still being delivered.
    EXPECT_EQ(g_devices.load(), nullptr);
    EXPECT_GT(SimPendingNotices(), 0u);

    window_ = CreateMainWindowForTest();
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(WaitForNotices());
    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"Early"}));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Downloads", L"My Documents"}));
}

TEST_F(DeviceTest, SelectingADeviceThatIsNoLongerListedResets)
{
    ASSERT_TRUE(LoadDevices(Config({Phone("one", "One")})));
    DeviceEntry stray = {};
    SelectDevice(&stray);
    PumpMessages();
    EXPECT_EQ(g_devices.load(), nullptr);
    EXPECT_TRUE(ListTexts(g_deviceList).empty());
    EXPECT_EQ(StatusLineText(), kConnectionError);
}

TEST_F(DeviceTest, RefreshingDiskSpaceRereadsTheFiguresOfTheCurrentDevice)
{
    Device phone = Phone("one", "One");
    ASSERT_TRUE(LoadDevices(Config({phone})));
    ASSERT_EQ(Current()->freeBytes, 12000000000u);

    phone.extra = "  total none\n  free 1048576\n";
    ASSERT_TRUE(LoadDevices(Config({phone})));
    ASSERT_EQ(Current()->freeBytes, 12000000000u);  // no notice: the old figures stay until asked
    RefreshDiskSpace();
    PumpMessages();
    EXPECT_EQ(Current()->hasTotalBytes, 0);
    EXPECT_EQ(Current()->hasFreeBytes, 1);
    EXPECT_EQ(Current()->freeBytes, 1048576u);
    EXPECT_EQ(StatusLineText(), L"One (free = 1 MB)");
    EXPECT_EQ(ListItemsWithState(g_deviceList, LVIS_SELECTED), std::vector<int>({0}));
}

TEST_F(DeviceTest, ArrivalsDuringFailingLocationOpensKeepTheListTrueToTheRecords)
{
    std::string container = Container(Folder(L"shared"));
    std::vector<Device> devices;
    for (const char* name : {"S1", "S2", "S3", "S4"}) {
        Device device;
        device.id = std::string("stress-") + name;
        device.name = name;
        device.appLines = {"com.marlquist.tovarel " + container, "com.marlquist.tovarel.ipad " + container};
        devices.push_back(device);
    }
    ASSERT_TRUE(LoadDevices(Config(devices)));
    DeviceListInsertions insertions(window_, g_deviceList);

    // Arrival notices without end on the library's thread, while the window opens the other
    // edition of the current device again and again, which fails and drops every device.
    std::atomic<bool> stop{false};
    std::thread arrivals([&] {
        for (size_t n = 0; !stop; ++n) {
            if (SimPendingNotices() < 2) {
                SimDeliverNotice(devices[n % devices.size()].id.c_str(), 1);
            } else {
                Sleep(1);
            }
        }
    });
    int failedOpenings = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 4000;) {
        DeviceEntry* current = Current();
        if (current && current->openLocation != EDITION_NONE && ListView_GetItemCount(g_locationsList) == 2) {
            // Busy for a moment, as after a click, while what a notice sends waits.
            Sleep(failedOpenings % 6);
            SimFailCall("AMDeviceStartHouseArrestService", 1);
            SelectOnlyListItem(g_locationsList, current->openLocation == EDITION_IPAD ? 1 : 0);
            ++failedOpenings;
        }
        PumpMessages();
    }
    stop = true;
    arrivals.join();
    SimFailCall("AMDeviceStartHouseArrestService", 0);
    EXPECT_GT(failedOpenings, 10);
    EXPECT_GT(insertions.Checked(), 10u);
    EXPECT_EQ(insertions.Unrecorded(), 0u);
    EXPECT_EQ(insertions.StraightFromOtherThreads(), 0u);

    // At rest the list shows the recorded devices in their order.
    ASSERT_TRUE(WaitForNotices());
    std::vector<std::wstring> recorded;
    for (DeviceEntry* entry = g_devices.load(); entry; entry = entry->next) recorded.push_back(entry->name);
    EXPECT_EQ(ListTexts(g_deviceList), recorded);
}

// A stand-in for the upload thread: it sends the window a message while the device code waits
// for it to end, then ends.
DWORD WINAPI FakeCopyThread(void*)
{
    Sleep(200);
    SendMessageW(g_mainWindow.load(), WMU_UPDATE_TOOLBAR, 0, 0);
    g_copyThread = nullptr;
    return 0;
}

TEST_F(DeviceTest, DeviceChangesWaitForTheUploadThreadWhileServingItsMessages)
{
    ASSERT_TRUE(LoadDevices(Config({Phone("one", "One")})));

    // On the window's thread the wait lets the upload thread's sent message through.
    HANDLE thread = CreateThread(nullptr, 0, FakeCopyThread, nullptr, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    g_copyThread = thread;
    ResumeThread(thread);
    ResetDevices();
    EXPECT_EQ(g_copyThread.load(), nullptr);
    EXPECT_EQ(g_devices.load(), nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);

    // A notice waits on its own thread until the upload has ended.
    g_copyThread = GetCurrentThread();
    ASSERT_EQ(SimDeliverNotice("one", 1), 0);
    PumpMessages(300);
    EXPECT_EQ(g_devices.load(), nullptr);
    EXPECT_GT(SimPendingNotices(), 0u);
    g_copyThread = nullptr;
    ASSERT_TRUE(WaitForNotices());
    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"One"}));
}

}  // namespace
