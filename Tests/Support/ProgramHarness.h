// The program running inside a test process, on the real main window, with the simulated device
// library: for tests that follow a device from its arrival to the folder tree and the file list.
//
// StartProgramForTest runs the program's own start-up once per test process (it binds the
// simulated library through the registry of the Wine prefix and subscribes the device notice
// handler). ProgramTest is a fixture on top of it: each test gets an emptied settings key, a fresh
// main window created modeless on the test thread (WindowHarness.h), and a temporary folder for its
// device trees; at the end every simulated device is detached, the removals are handled, and the
// window is destroyed. The window stays hidden: focus and every control work the same, and Wine
// without a window manager waits two seconds when a shown window is destroyed.
//
// The device notice handler runs on the library's thread and sends messages to the window, that is
// to the test thread: never block the test thread while notices are delivered, pump instead
// (LoadDevices, WaitForNotices, and PumpMessages / PumpUntil of WindowHarness.h for other waits).
// Do not run a benchmark in the same Wine prefix meanwhile: under that load the window build has
// been seen to fail.
//
//   TEST_F(MyTest, Something) {
//       ASSERT_TRUE(LoadDevices(SimWriteDeviceTree(Folder(L"phone"))));
//       EXPECT_EQ(ListTexts(g_deviceList), Texts({L"Sim iPhone"}));
//   }
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FileDropData.h"
#include "RegistryGuard.h"
#include "SimDevice.h"

// False when the start-up failed (the simulated library is not registered).
bool StartProgramForTest();

class ProgramTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the simulated configuration and handles the notices it causes.
    bool LoadDevices(const std::string& configText);
    // Pumps until no notice is pending, then a little more so that everything sent has settled.
    bool WaitForNotices(DWORD timeoutMilliseconds = 10000);
    // A folder below this test's temporary folder (not created).
    std::wstring Folder(const wchar_t* name) const;
    // A device "browse" with the iPhone edition in `container` (created), "Downloads" included;
    // the extra lines are appended to the device's block. True once the location's root is shown.
    bool OpenContainer(const std::wstring& container, const std::string& extraDeviceLines = "");
    // The configuration OpenContainer loads (load it again changed to change the device meanwhile).
    std::string ContainerConfig(const std::wstring& container, const std::string& extraDeviceLines = "") const;
    // Selects a tree item by its display names from the root, e.g. {L"My Documents", L"Books"}.
    HTREEITEM SelectFolder(std::initializer_list<const wchar_t*> names);
    HTREEITEM FolderItem(std::initializer_list<const wchar_t*> names);
    std::wstring Documents(const std::wstring& container) const { return container + L"\\Documents"; }

    HWND window_ = nullptr;
    std::wstring temp_;
    std::unique_ptr<RegistryKeyGuard> settings_;
};

std::vector<std::wstring> Texts(std::initializer_list<const wchar_t*> texts);
std::string Utf8Text(const std::wstring& text);

// Items of a list view: texts of a column, images, the selected and focused indexes.
std::vector<std::wstring> ListTexts(HWND list, int column = 0);
std::vector<int> ListImages(HWND list);
std::vector<int> ListItemsWithState(HWND list, UINT state);
LPARAM ListItemData(HWND list, int index);
// The index of the file list's item whose text is exactly `name`, or -1.
int ListIndex(const wchar_t* name);
// Selects (and focuses) exactly one item, as a click does.
void SelectOnlyListItem(HWND list, int index);

// The folder tree (control 1000) and its items.
HWND TreeControlForTest();
std::wstring TreeItemText(HTREEITEM item);
LPARAM TreeItemData(HTREEITEM item);
std::vector<std::wstring> TreeChildTexts(HTREEITEM parent);
HTREEITEM TreeChildByText(HTREEITEM parent, const wchar_t* text);
bool TreeItemHasChildren(HTREEITEM item);
// The tree item reached from the root by these display names (the root for none), or null.
HTREEITEM TreeItemByNames(std::initializer_list<const wchar_t*> names);
// Selects every item on the way there, as clicks from the root down do, and returns the last.
HTREEITEM SelectTreeItemByNames(std::initializer_list<const wchar_t*> names);

// The texts of the path line (1010) and the status line (1006).
std::wstring PathLineText();
std::wstring StatusLineText();

// A screen point over the blank space of a control (its lower right corner).
POINTL OverBlank(HWND control);
// A full drag of local paths over a drop target from another apartment: DragEnter, DragOver and
// Drop at one point. Answers the effect Drop gave. `whileAsked` runs on the source's thread while
// the drop asks it for the paths.
DWORD DropFilesAt(IDropTarget* target, POINTL point, const std::vector<std::wstring>& paths,
                  FileDropKind kind = FileDropKind::Paths, std::function<void()> whileAsked = nullptr);

// Modifier keys as the window's keyboard handling reads them (GetKeyboardState).
void SetModifierKeys(bool shift, bool ctrl, bool alt);
// A key pressed on a list view: WM_KEYDOWN to the control (which notifies the window), with the
// given modifiers held; all modifiers are released afterwards.
void PressListKey(HWND list, WORD key, bool shift = false, bool ctrl = false, bool alt = false);
// Enter as the dialog manager turns it into a command: IDOK without a control.
void PressEnter();
// A click, or a double click, with the left button at the middle of a list item's label.
void ClickListItem(HWND list, int index);
void DoubleClickListItem(HWND list, int index);
