// Start-up and shutdown of the whole program in this process, with the simulated device library.
// The cases run in order: one start and stop with the window built by hand, then whole runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "DeviceLibrary.h"
#include "MainWindow.h"
#include "MessageBoxWatch.h"
#include "WindowHarness.h"
#include "RegistryGuard.h"
#include "SimDevice.h"
#include "Startup.h"
#include "TextUtil.h"
#include "iPhone.h"
#include "resource.h"

namespace {

std::wstring Text(CFStringRef string)
{
    OwnedWide text(CfStringToUtf16(string));
    return text ? std::wstring(text.get()) : std::wstring(L"(null)");
}

bool TableEmpty()
{
    DeviceLibrary empty{};
    return memcmp(&g_lib, &empty, sizeof(DeviceLibrary)) == 0;
}

void ExpectEverythingReleased()
{
    EXPECT_TRUE(TableEmpty());
    EXPECT_EQ(g_cfAfcService, nullptr);
    EXPECT_EQ(g_cfDeviceName, nullptr);
    EXPECT_EQ(g_cfUniqueDeviceId, nullptr);
    EXPECT_EQ(g_cfEdition4Id, nullptr);
    EXPECT_EQ(g_cfEditionIPadId, nullptr);
    EXPECT_EQ(g_cfEditionIPhoneId, nullptr);
    EXPECT_EQ(g_fileImageList, nullptr);
    EXPECT_EQ(g_deviceImageList, nullptr);
    EXPECT_EQ(g_extensionTable, nullptr);
}

ExtensionTable* MakeExtensionTable()
{
    auto* table = static_cast<ExtensionTable*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ExtensionTable)));
    table->capacity = 8;
    table->entries = static_cast<wchar_t**>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 8 * sizeof(wchar_t*)));
    table->entries[0] = DupString(L"txt");
    table->entries[1] = DupString(L"pdf");
    table->entries[2] = DupString(L"tovarel");
    table->count = 3;
    return table;
}

TEST(ProgramLife, StartsWithEverythingTheDeviceCallsNeedAndStopsInOrder)
{
    ASSERT_TRUE(StartProgram(GetModuleHandleW(nullptr)));
    EXPECT_EQ(g_instance, GetModuleHandleW(nullptr));
    EXPECT_NE(g_lib.AMDeviceNotificationSubscribe, nullptr);
    EXPECT_NE(g_lib.__CFStringMakeConstantString, nullptr);

    EXPECT_EQ(Text(g_cfAfcService), L"com.apple.afc");
    EXPECT_EQ(Text(g_cfDeviceName), L"DeviceName");
    EXPECT_EQ(Text(g_cfUniqueDeviceId), L"UniqueDeviceID");
    EXPECT_EQ(Text(g_cfEdition4Id), L"" EDITION_4_IDENTIFIER);
    EXPECT_EQ(Text(g_cfEditionIPadId), L"" EDITION_IPAD_IDENTIFIER);
    EXPECT_EQ(Text(g_cfEditionIPhoneId), L"" EDITION_IPHONE_IDENTIFIER);

    EXPECT_NE(g_cfFileGroupDescriptorW, 0u);
    EXPECT_EQ(g_cfFileGroupDescriptorW, RegisterClipboardFormatW(L"FileGroupDescriptorW"));
    EXPECT_NE(g_cfFileContents, 0u);
    EXPECT_EQ(g_cfFileContents, RegisterClipboardFormatW(L"FileContents"));

    EXPECT_EQ(SimCallCount("AMDeviceNotificationSubscribe"), 1u);
    // Starting again while started changes nothing.
    EXPECT_TRUE(StartProgram(GetModuleHandleW(nullptr)));
    EXPECT_EQ(SimCallCount("AMDeviceNotificationSubscribe"), 1u);

    // The subscription brings an attached device into the program once the window is there.
    ASSERT_EQ(SimLoadConfigText("device LIFE-1\n  name Life Phone\n"), 0);
    HWND window = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(PumpUntil([] { return g_devices.load() != nullptr; }, 20000));
    DeviceEntry* first = g_devices;
    if (first) {
        EXPECT_EQ(first->device, reinterpret_cast<AMDeviceRef>(SimDeviceRef("LIFE-1")));
    }
    EXPECT_NE(g_fileImageList, nullptr);
    EXPECT_NE(g_deviceImageList, nullptr);
    DestroyWindow(window);

    if (!g_extensionTable) g_extensionTable = MakeExtensionTable();
    StopProgram();
    ExpectEverythingReleased();
    // Stopping twice releases nothing twice.
    StopProgram();
}

TEST(ProgramLife, RunsTheMainWindowUntilItIsClosedAndReturnsZero)
{
    // The main window is found by its caption and closed as the user would close it.
    MessageBoxWatch watch(L"TovarelUSB", 1, [](HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(RunProgram(GetModuleHandleW(nullptr)), 0);
    ASSERT_EQ(watch.Seen(), 1u);
    EXPECT_EQ(watch.Box().owner, nullptr);
    ExpectEverythingReleased();
}

TEST(ProgramLife, WithoutTheLibraryShowsTheMessageAndNoWindowAndReturnsZero)
{
    RegistryKeyGuard shared(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Apple Inc.\\Apple Mobile Device Support\\Shared");
    ASSERT_TRUE(shared.DeleteValue(L"iTunesMobileDeviceDLL"));
    MessageBoxWatch message(L"Fatal Error");
    MessageBoxWatch window(L"TovarelUSB", 1, [](HWND found) { PostMessageW(found, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(RunProgram(GetModuleHandleW(nullptr)), 0);
    ASSERT_EQ(message.Seen(), 1u);
    EXPECT_EQ(message.Text(), L"iTunes is not installed");
    EXPECT_EQ(window.Seen(), 0u);
    ExpectEverythingReleased();
}

}  // namespace
