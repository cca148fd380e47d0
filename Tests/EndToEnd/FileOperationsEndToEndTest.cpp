// The real TovarelUSB.exe on the demo device (made by scripts/make-demo-device.sh before this
// program runs): a new folder is created, named by typing into its label and deleted again, as a
// user does it, and the device's folder on disk shows each step.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "E2EDriver.h"
#include "EndToEndSupport.h"
#include "RegistryGuard.h"
#include "resource.h"

namespace {

bool Listed(HWND list, const std::wstring& name)
{
    std::vector<std::wstring> names = ListTexts(list);
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(FileOperationsEndToEnd, NewFolderIsNamedAndDeletedOnTheDevice)
{
    std::wstring demo = WinePathFromEnvironment("TOVAREL_DEMO_DIR");
    ASSERT_FALSE(demo.empty()) << "TOVAREL_DEMO_DIR is not set";
    // The first edition offered, and so the one opened, is the iPad edition.
    const std::wstring documents = demo + L"\\ipad-edition\\Documents\\";
    auto onDevice = [&documents](const wchar_t* name) {
        return GetFileAttributesW((documents + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    RegistryKeyGuard settings(HKEY_CURRENT_USER, L"Software\\Marlquist\\TovarelUSB");
    settings.DeleteKey();
    EnvironmentGuard config(L"TOVAREL_SIM_CONFIG", demo + L"\\devices.conf");
    ProgramRun run;
    ASSERT_TRUE(run.Started()) << run.Error();
    HWND main = run.WaitForWindow(kMainTitle, kStartTimeoutMs);
    ASSERT_NE(main, nullptr) << "no main window: " << run.NoWindowReason();
    HWND tree = GetDlgItem(main, IDC_FOLDER_TREE);
    HWND files = GetDlgItem(main, IDC_FILE_LIST);
    ASSERT_TRUE(PollUntil([&] { return e2e::SelectTreeItem(tree, L"My Documents") && Listed(files, L"Welcome.pdf"); },
                          kStartTimeoutMs));
    ASSERT_FALSE(onDevice(L"untitled folder"));

    // New folder: made on the device, its label open for the name.
    ASSERT_TRUE(e2e::PressButton(main, IDC_NEW_FOLDER));
    EXPECT_TRUE(PollUntil([&] { return onDevice(L"untitled folder") && Listed(files, L"untitled folder"); },
                          kStepTimeoutMs));
    EXPECT_TRUE(PollUntil([&] { return e2e::WindowClass(e2e::FocusedWindowOf(main)) == L"Edit"; }, kStepTimeoutMs));

    // The user types the name and presses Enter.
    ASSERT_TRUE(e2e::PostText(main, L"Trip photos"));
    ASSERT_TRUE(e2e::PostKey(main, {{}, VK_RETURN}));
    EXPECT_TRUE(PollUntil([&] { return onDevice(L"Trip photos") && !onDevice(L"untitled folder"); }, kStepTimeoutMs));
    EXPECT_TRUE(PollUntil([&] { return Listed(files, L"Trip photos") && !Listed(files, L"untitled folder"); },
                          kStepTimeoutMs));

    // Delete, confirmed.
    ASSERT_TRUE(e2e::SelectListItem(files, L"Trip photos"));
    ASSERT_TRUE(e2e::PressButton(main, IDC_DELETE));
    HWND confirm = run.WaitForWindow(L"Delete confirmation", kStepTimeoutMs);
    ASSERT_NE(confirm, nullptr) << "no delete confirmation";
    EXPECT_EQ(e2e::MessageBoxText(confirm),
              L"You are about to delete 1 file/folder from your iPhone / iPod touch.\nThis can't be undone.\n"
              L"Are you sure you want to delete selected file/folder?");
    ASSERT_TRUE(e2e::PressButton(confirm, IDOK));
    EXPECT_TRUE(PollUntil([&] { return !onDevice(L"Trip photos") && !Listed(files, L"Trip photos"); }, kStepTimeoutMs));
    EXPECT_TRUE(onDevice(L"Welcome.pdf"));

    ASSERT_TRUE(e2e::CloseWindowLikeUser(main));
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(run.Ended(kStepTimeoutMs, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(NoCrashWindow());
}

}  // namespace
