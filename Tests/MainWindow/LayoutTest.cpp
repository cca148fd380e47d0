#include "MainWindowFixture.h"

#include <string>

#include "MainWindow.h"
#include "Splitter.h"

namespace {

using MainWindowLayout = MainWindowTest;

int Cut(int size, int newArea, int oldArea)
{
    return static_cast<int>(static_cast<float>(size) * (static_cast<float>(newArea) / static_cast<float>(oldArea)));
}

struct ToolTipSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindToolTipOf(HWND window, LPARAM parameter)
{
    ToolTipSearch* search = reinterpret_cast<ToolTipSearch*>(parameter);
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    if (GetWindow(window, GW_OWNER) != search->owner || wcscmp(name, TOOLTIPS_CLASSW) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindOwnedToolTip(HWND owner)
{
    ToolTipSearch search = {owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindToolTipOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ToolText(HWND toolTip, HWND button)
{
    wchar_t text[128] = L"";
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = button;
    tool.uId = 0;
    tool.lpszText = text;
    SendMessageW(toolTip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    return text;
}

TEST_F(MainWindowLayout, BuildGivesTheListsTheirImagesColumnsAndToolTips)
{
    ASSERT_NE(nullptr, g_fileImageList);
    EXPECT_EQ(2, ImageList_GetImageCount(g_fileImageList));
    EXPECT_EQ(g_fileImageList, TreeView_GetImageList(Control(IDC_FOLDER_TREE), TVSIL_NORMAL));
    EXPECT_EQ(g_fileImageList, TreeView_GetImageList(Control(IDC_FOLDER_TREE), TVSIL_STATE));
    EXPECT_EQ(g_fileImageList, ListView_GetImageList(g_fileList, LVSIL_SMALL));
    ASSERT_NE(nullptr, g_extensionTable);
    EXPECT_EQ(0, g_extensionTable->count);
    EXPECT_EQ(16, g_extensionTable->capacity);
    ASSERT_NE(nullptr, g_deviceImageList);
    EXPECT_EQ(4, ImageList_GetImageCount(g_deviceImageList));
    EXPECT_EQ(g_deviceImageList, ListView_GetImageList(g_deviceList, LVSIL_SMALL));
    EXPECT_EQ(g_deviceImageList, ListView_GetImageList(g_locationsList, LVSIL_SMALL));

    wchar_t title[32] = L"";
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = 32;
    ASSERT_TRUE(ListView_GetColumn(g_fileList, 0, &column));
    EXPECT_STREQ(L"Name", title);
    EXPECT_EQ(250, column.cx);
    EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
    ASSERT_TRUE(ListView_GetColumn(g_fileList, 1, &column));
    EXPECT_STREQ(L"Size", title);
    EXPECT_EQ(100, column.cx);
    EXPECT_EQ(LVCFMT_RIGHT, column.fmt & LVCFMT_JUSTIFYMASK);

    HWND toolTip = FindOwnedToolTip(window_);
    ASSERT_NE(nullptr, toolTip);
    EXPECT_EQ(4, SendMessageW(toolTip, TTM_GETTOOLCOUNT, 0, 0));
    EXPECT_EQ(L"Create new folder", ToolText(toolTip, Control(IDC_NEW_FOLDER)));
    EXPECT_EQ(L"Delete selected files/folders", ToolText(toolTip, Control(IDC_DELETE)));
    EXPECT_EQ(L"Go one level up", ToolText(toolTip, Control(IDC_UP)));
    EXPECT_EQ(L"Reload device data and go to the root folder", ToolText(toolTip, Control(IDC_REFRESH)));

    HWND splitter = Control(IDC_SPLITTER);
    ASSERT_NE(nullptr, splitter);
    wchar_t className[32] = L"";
    GetClassNameW(splitter, className, 32);
    EXPECT_STREQ(L"MRQ_SPLITTERVIEW", className);
    // Beneath every pane, so that the mouse reaches it only on the bands.
    EXPECT_EQ(nullptr, GetWindow(splitter, GW_HWNDNEXT));
}

TEST_F(MainWindowLayout, DeviceImageListOutlivesBothListsThatShowIt)
{
    HIMAGELIST images = g_deviceImageList;
    DestroyWindow(window_);
    window_ = nullptr;
    PumpMessages();
    // Still alive: the shutdown destroys it, once.
    EXPECT_EQ(4, ImageList_GetImageCount(images));
}

TEST_F(MainWindowLayout, PanesFillTheAreaBetweenTheMargins)
{
    int width = PaneAreaWidth();
    int height = PaneAreaHeight();
    EXPECT_EQ(width, SplitterDeviceListWidth + 4 + SplitterTreeWidth + 4 + SplitterListWidth);
    EXPECT_EQ(height, SplitterDeviceListHeight + 4 + SplitterLocationsListHeight);
    ExpectPanesMatchSizes();
    RECT splitter = Rect(IDC_SPLITTER);
    EXPECT_EQ(Rect(IDC_DEVICE_LIST).left, splitter.left);
    EXPECT_EQ(Rect(IDC_DEVICE_LIST).top, splitter.top);
    EXPECT_EQ(Rect(IDC_FILE_LIST).right, splitter.right);
    EXPECT_EQ(Rect(IDC_LOCATIONS_LIST).bottom, splitter.bottom);
    EXPECT_EQ(Rect(IDC_FOLDER_TREE).bottom, splitter.bottom);
}

TEST_F(MainWindowLayout, GrowingScalesDeviceColumnAndTreeAndGivesTheRestToTheFileList)
{
    int width = PaneAreaWidth();
    int height = PaneAreaHeight();
    int deviceWidth = SplitterDeviceListWidth;
    int treeWidth = SplitterTreeWidth;
    int deviceHeight = SplitterDeviceListHeight;
    ResizeBy(width / 2, height / 2);

    int newWidth = PaneAreaWidth();
    int newHeight = PaneAreaHeight();
    ASSERT_EQ(width + width / 2, newWidth);
    EXPECT_EQ(Cut(deviceWidth, newWidth, width), SplitterDeviceListWidth);
    EXPECT_EQ(Cut(treeWidth, newWidth, width), SplitterTreeWidth);
    EXPECT_EQ(newWidth - SplitterDeviceListWidth - SplitterTreeWidth - 8, SplitterListWidth);
    EXPECT_EQ(Cut(deviceHeight, newHeight, height), SplitterDeviceListHeight);
    EXPECT_EQ(newHeight - SplitterDeviceListHeight - 4, SplitterLocationsListHeight);
    ExpectPanesMatchSizes();
}

TEST_F(MainWindowLayout, ShrinkingKeepsTheFileListAtOneHundredAndNarrowsTheTree)
{
    ResizeBy(300, 0);
    int width = PaneAreaWidth();
    // As a drag of the tree-list band to the right would leave it.
    SplitterListWidth = 100;
    SplitterTreeWidth = width - SplitterDeviceListWidth - 108;
    int deviceWidth = SplitterDeviceListWidth;
    int treeWidth = SplitterTreeWidth;
    ResizeBy(-200, 0);

    int newWidth = PaneAreaWidth();
    int expectedDevice = Cut(deviceWidth, newWidth, width);
    ASSERT_GE(expectedDevice, 100);
    ASSERT_LT(newWidth - expectedDevice - Cut(treeWidth, newWidth, width) - 8, 100);
    EXPECT_EQ(expectedDevice, SplitterDeviceListWidth);
    EXPECT_EQ(100, SplitterListWidth);
    EXPECT_EQ(newWidth - expectedDevice - 108, SplitterTreeWidth);
    ExpectPanesMatchSizes();
}

TEST_F(MainWindowLayout, AtTheSmallestSizeTheDeviceColumnStaysAtOneHundred)
{
    SetWindowPos(window_, nullptr, 0, 0, 450, 370, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages();
    EXPECT_GE(SplitterDeviceListWidth, 100);
    EXPECT_GE(SplitterTreeWidth, 100);
    EXPECT_GE(SplitterDeviceListHeight, 100);
    EXPECT_EQ(PaneAreaWidth(), SplitterDeviceListWidth + 8 + SplitterTreeWidth + SplitterListWidth);
    ExpectPanesMatchSizes();
}

TEST_F(MainWindowLayout, FixedControlsKeepTheirGapsToTheRightAndBottomEdges)
{
    RECT buttons[4];
    for (int i = 0; i < 4; ++i) buttons[i] = Rect(IDC_NEW_FOLDER + i);
    RECT path = Rect(IDC_PATH_LINE);
    RECT web = Rect(IDC_WEB_LINE);
    RECT status = Rect(IDC_STATUS_LINE);
    ResizeBy(120, 80);

    for (int i = 0; i < 4; ++i) {
        RECT moved = Rect(IDC_NEW_FOLDER + i);
        EXPECT_EQ(buttons[i].left + 120, moved.left);
        EXPECT_EQ(buttons[i].top, moved.top);
        EXPECT_EQ(buttons[i].right - buttons[i].left, moved.right - moved.left);
        EXPECT_EQ(buttons[i].bottom - buttons[i].top, moved.bottom - moved.top);
    }
    for (auto [before, id] : {std::pair<RECT, int>{path, IDC_PATH_LINE}, {web, IDC_WEB_LINE}}) {
        RECT after = Rect(id);
        EXPECT_EQ(before.left, after.left);
        EXPECT_EQ(before.right + 120, after.right);
        EXPECT_EQ(before.top + 80, after.top);
        EXPECT_EQ(before.bottom + 80, after.bottom);
    }
    RECT stretched = Rect(IDC_STATUS_LINE);
    EXPECT_EQ(status.left, stretched.left);
    EXPECT_EQ(status.top, stretched.top);
    EXPECT_EQ(status.bottom - status.top, stretched.bottom - stretched.top);
    EXPECT_EQ(Rect(IDC_NEW_FOLDER).left, stretched.right);
}

TEST_F(MainWindowLayout, MinimisingAndRestoringChangesNoPane)
{
    int sizes[] = {SplitterDeviceListWidth, SplitterDeviceListHeight, SplitterLocationsListHeight, SplitterTreeWidth,
                   SplitterListWidth};
    RECT fileList = Rect(IDC_FILE_LIST);
    ShowWindow(window_, SW_MINIMIZE);
    PumpMessages(50);
    ASSERT_TRUE(IsIconic(window_));
    int minimised[] = {SplitterDeviceListWidth, SplitterDeviceListHeight, SplitterLocationsListHeight,
                       SplitterTreeWidth, SplitterListWidth};
    ShowWindow(window_, SW_RESTORE);
    PumpMessages(50);
    int restored[] = {SplitterDeviceListWidth, SplitterDeviceListHeight, SplitterLocationsListHeight,
                      SplitterTreeWidth, SplitterListWidth};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(sizes[i], minimised[i]) << i;
        EXPECT_EQ(sizes[i], restored[i]) << i;
    }
    RECT after = Rect(IDC_FILE_LIST);
    EXPECT_TRUE(EqualRect(&fileList, &after));
}

TEST_F(MainWindowLayout, WindowCannotBeMadeSmallerThan450By370)
{
    SetWindowPos(window_, nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages();
    RECT rect = WindowRect();
    EXPECT_EQ(450, rect.right - rect.left);
    EXPECT_EQ(370, rect.bottom - rect.top);

    MoveWindow(window_, 100, 100, 449, 369, TRUE);
    PumpMessages();
    rect = WindowRect();
    EXPECT_EQ(450, rect.right - rect.left);
    EXPECT_EQ(370, rect.bottom - rect.top);

    MINMAXINFO info = {};
    info.ptMaxTrackSize = {1234, 567};
    SendMessageW(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(450, info.ptMinTrackSize.x);
    EXPECT_EQ(370, info.ptMinTrackSize.y);
    EXPECT_EQ(1234, info.ptMaxTrackSize.x);
    EXPECT_EQ(567, info.ptMaxTrackSize.y);
}

}  // namespace

namespace {

TEST(MainWindowBuild, AFailingStepEndsTheDialogWithoutSavingAnything)
{
    RegistryKeyGuard settings{HKEY_CURRENT_USER, kSettingsKeyPath};
    settings.DeleteKey();
    ASSERT_TRUE(RegisterSplitterClass(g_instance));
    ASSERT_TRUE(UnregisterClassW(L"MRQ_SPLITTERVIEW", g_instance));
    HWND window = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(g_mainWindowBuilt);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(nullptr, GetDlgItem(window, IDC_SPLITTER));
    SendMessageW(window, WM_COMMAND, IDM_EXIT, 0);
    DWORD value = 0;
    EXPECT_FALSE(ReadSettingsDword(L"WindowPosLeft", &value));
    DestroyMainWindowForTest(window);

    // Registering again, and again once it exists, both succeed.
    EXPECT_TRUE(RegisterSplitterClass(g_instance));
    EXPECT_TRUE(RegisterSplitterClass(g_instance));
}

}  // namespace
