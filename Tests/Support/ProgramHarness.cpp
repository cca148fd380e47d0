#include "ProgramHarness.h"

#include <algorithm>

#include "Devices.h"
#include "Startup.h"
#include "WindowHarness.h"
#include "iPhone.h"
#include "resource.h"

bool StartProgramForTest()
{
    static const bool started = StartProgram(GetModuleHandleW(nullptr));
    return started;
}

void ProgramTest::SetUp()
{
    ASSERT_TRUE(StartProgramForTest());
    settings_ = std::make_unique<RegistryKeyGuard>(HKEY_CURRENT_USER, kSettingsKeyPath);
    settings_->DeleteKey();
    g_connectionError = 0;
    temp_ = SimMakeTempFolder(L"program");
    window_ = CreateMainWindowForTest();
    ASSERT_NE(window_, nullptr);
    PumpMessages();
}

void ProgramTest::TearDown()
{
    // Every device leaves while the window still exists, so that the removals run to the end.
    SimLoadConfigText("");
    WaitForNotices();
    if (g_devices.load()) ResetDevices();
    g_connectionError = 0;
    DestroyMainWindowForTest(window_);
    window_ = nullptr;
    SimRemoveTree(temp_);
    settings_.reset();
}

bool ProgramTest::LoadDevices(const std::string& configText)
{
    return SimLoadConfigText(configText.c_str()) == 0 && WaitForNotices();
}

bool ProgramTest::WaitForNotices(DWORD timeoutMilliseconds)
{
    bool idle = SimWaitNotices(timeoutMilliseconds);
    PumpMessages(20);
    return idle;
}

std::wstring ProgramTest::Folder(const wchar_t* name) const
{
    return temp_ + L"\\" + name;
}

bool ProgramTest::OpenContainer(const std::wstring& container, const std::string& extraDeviceLines)
{
    CreateDirectoryW(container.c_str(), nullptr);
    CreateDirectoryW(Documents(container).c_str(), nullptr);
    SimWriteFile(container + L"\\Library\\Application Support\\com.marlquist.tovarel.ASRoot\\UserDocs\\Downloaded.pdf",
                 "downloaded");
    return LoadDevices(ContainerConfig(container, extraDeviceLines)) && g_rootFolder.load() != nullptr;
}

std::string ProgramTest::ContainerConfig(const std::wstring& container, const std::string& extraDeviceLines) const
{
    return "device browse\n  name Browse\n  app com.marlquist.tovarel " + Utf8Text(container) + "\n" + extraDeviceLines;
}

HTREEITEM ProgramTest::FolderItem(std::initializer_list<const wchar_t*> names)
{
    return TreeItemByNames(names);
}

HTREEITEM ProgramTest::SelectFolder(std::initializer_list<const wchar_t*> names)
{
    return SelectTreeItemByNames(names);
}

std::vector<std::wstring> Texts(std::initializer_list<const wchar_t*> texts)
{
    std::vector<std::wstring> result;
    for (const wchar_t* text : texts) result.emplace_back(text);
    return result;
}

std::string Utf8Text(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 1 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

std::vector<std::wstring> ListTexts(HWND list, int column)
{
    std::vector<std::wstring> texts;
    int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) {
        wchar_t text[512] = L"";
        ListView_GetItemText(list, i, column, text, 512);
        texts.emplace_back(text);
    }
    return texts;
}

std::vector<int> ListImages(HWND list)
{
    std::vector<int> images;
    int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) {
        LVITEMW item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = i;
        ListView_GetItem(list, &item);
        images.push_back(item.iImage);
    }
    return images;
}

std::vector<int> ListItemsWithState(HWND list, UINT state)
{
    std::vector<int> indexes;
    int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) {
        if (ListView_GetItemState(list, i, state) & state) indexes.push_back(i);
    }
    return indexes;
}

LPARAM ListItemData(HWND list, int index)
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    return ListView_GetItem(list, &item) ? item.lParam : 0;
}

int ListIndex(const wchar_t* name)
{
    std::vector<std::wstring> texts = ListTexts(g_fileList);
    auto found = std::find(texts.begin(), texts.end(), name);
    return found == texts.end() ? -1 : static_cast<int>(found - texts.begin());
}

POINTL OverBlank(HWND control)
{
    RECT client = {};
    GetClientRect(control, &client);
    POINT point = {client.right - 8, client.bottom - 8};
    ClientToScreen(control, &point);
    return POINTL{point.x, point.y};
}

DWORD DropFilesAt(IDropTarget* target, POINTL point, const std::vector<std::wstring>& paths, FileDropKind kind,
                  std::function<void()> whileAsked)
{
    ForeignFileDrop drop(paths, kind, std::move(whileAsked));
    EXPECT_NE(drop.Data(), nullptr);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(drop.Data(), MK_LBUTTON, point, &effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragOver(MK_LBUTTON, point, &effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->Drop(drop.Data(), 0, point, &effect);
    return effect;
}

void SelectOnlyListItem(HWND list, int index)
{
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    PumpMessages();
}

HWND TreeControlForTest()
{
    return MainWindowControl(IDC_FOLDER_TREE);
}

std::wstring TreeItemText(HTREEITEM item)
{
    wchar_t text[512] = L"";
    TVITEMW data = {};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = 512;
    return TreeView_GetItem(TreeControlForTest(), &data) ? std::wstring(text) : std::wstring(L"<no item>");
}

LPARAM TreeItemData(HTREEITEM item)
{
    TVITEMW data = {};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    return TreeView_GetItem(TreeControlForTest(), &data) ? data.lParam : 0;
}

std::vector<std::wstring> TreeChildTexts(HTREEITEM parent)
{
    HWND tree = TreeControlForTest();
    std::vector<std::wstring> texts;
    HTREEITEM child = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree);
    for (; child; child = TreeView_GetNextSibling(tree, child)) texts.push_back(TreeItemText(child));
    return texts;
}

HTREEITEM TreeChildByText(HTREEITEM parent, const wchar_t* text)
{
    HWND tree = TreeControlForTest();
    HTREEITEM child = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree);
    for (; child; child = TreeView_GetNextSibling(tree, child)) {
        if (TreeItemText(child) == text) return child;
    }
    return nullptr;
}

bool TreeItemHasChildren(HTREEITEM item)
{
    return TreeView_GetChild(TreeControlForTest(), item) != nullptr;
}

HTREEITEM TreeItemByNames(std::initializer_list<const wchar_t*> names)
{
    HTREEITEM item = TreeView_GetRoot(TreeControlForTest());
    for (const wchar_t* name : names) {
        if (!item) return nullptr;
        item = TreeChildByText(item, name);
    }
    return item;
}

HTREEITEM SelectTreeItemByNames(std::initializer_list<const wchar_t*> names)
{
    HTREEITEM item = TreeView_GetRoot(TreeControlForTest());
    if (names.size() == 0) {
        TreeView_SelectItem(TreeControlForTest(), item);
        PumpMessages();
    }
    for (const wchar_t* name : names) {
        if (!item) return nullptr;
        item = TreeChildByText(item, name);
        if (item) {
            TreeView_SelectItem(TreeControlForTest(), item);
            PumpMessages();
        }
    }
    return item;
}

namespace {

std::wstring ControlText(int id)
{
    wchar_t text[1024] = L"";
    GetDlgItemTextW(g_mainWindow.load(), id, text, 1024);
    return text;
}

}  // namespace

std::wstring PathLineText()
{
    return ControlText(IDC_PATH_LINE);
}

std::wstring StatusLineText()
{
    return ControlText(IDC_STATUS_LINE);
}

void SetModifierKeys(bool shift, bool ctrl, bool alt)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    keys[VK_MENU] = alt ? 0x80 : 0;
    keys[VK_LSHIFT] = keys[VK_RSHIFT] = 0;
    keys[VK_LCONTROL] = keys[VK_RCONTROL] = 0;
    keys[VK_LMENU] = keys[VK_RMENU] = 0;
    SetKeyboardState(keys);
}

void PressListKey(HWND list, WORD key, bool shift, bool ctrl, bool alt)
{
    SetModifierKeys(shift, ctrl, alt);
    SendMessageW(list, WM_KEYDOWN, key, 1);
    SendMessageW(list, WM_KEYUP, key, 0xC0000001);
    SetModifierKeys(false, false, false);
    PumpMessages();
}

void PressEnter()
{
    SendMessageW(g_mainWindow.load(), WM_COMMAND, IDOK, 0);
    PumpMessages();
}

namespace {

LPARAM ListItemLabelPoint(HWND list, int index)
{
    RECT label = {};
    ListView_GetItemRect(list, index, &label, LVIR_LABEL);
    return MAKELPARAM((label.left + label.right) / 2, (label.top + label.bottom) / 2);
}

}  // namespace

void ClickListItem(HWND list, int index)
{
    LPARAM point = ListItemLabelPoint(list, index);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(list, WM_LBUTTONUP, 0, point);
    PumpMessages();
}

void DoubleClickListItem(HWND list, int index)
{
    LPARAM point = ListItemLabelPoint(list, index);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(list, WM_LBUTTONUP, 0, point);
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    SendMessageW(list, WM_LBUTTONUP, 0, point);
    PumpMessages();
}
