#include "MainWindowFixture.h"

#include <string>

#include "MainWindow.h"
#include "Settings.h"
#include "Splitter.h"

namespace {

class MainWindowLayout : public MainWindowTest {
protected:
    static int IconSize(HICON icon)
    {
        ICONINFO info = {};
        if (!icon || !GetIconInfo(icon, &info)) return 0;
        BITMAP colour = {};
        GetObjectW(info.hbmColor, sizeof colour, &colour);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        return colour.bmWidth;
    }
    // The image lists and the toolbar's icons: small icons, and the device lists' large ones.
    void ExpectImageSizes(int small, int large) const
    {
        int width = 0;
        int height = 0;
        EXPECT_TRUE(ImageList_GetIconSize(g_fileImageList, &width, &height));
        EXPECT_EQ(small, width);
        EXPECT_EQ(small, height);
        EXPECT_TRUE(ImageList_GetIconSize(g_deviceImageList, &width, &height));
        EXPECT_EQ(large, width);
        EXPECT_EQ(large, height);
        for (int id = IDC_NEW_FOLDER; id <= IDC_REFRESH; ++id) {
            EXPECT_EQ(small, IconSize(reinterpret_cast<HICON>(SendMessageW(Control(id), BM_GETIMAGE, IMAGE_ICON, 0))));
        }
    }
};

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
    // Icons drawn at the size of the scale: small ones 16 pixels at 96 DPI, the device lists' 32.
    ExpectImageSizes(S(16), S(32));
    EXPECT_EQ(g_deviceImageList, ListView_GetImageList(g_deviceList, LVSIL_SMALL));
    EXPECT_EQ(g_deviceImageList, ListView_GetImageList(g_locationsList, LVSIL_SMALL));

    wchar_t title[32] = L"";
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = 32;
    ASSERT_TRUE(ListView_GetColumn(g_fileList, 0, &column));
    EXPECT_STREQ(L"Name", title);
    EXPECT_EQ(S(250), column.cx);
    EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
    ASSERT_TRUE(ListView_GetColumn(g_fileList, 1, &column));
    EXPECT_STREQ(L"Size", title);
    EXPECT_EQ(S(100), column.cx);
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
    EXPECT_EQ(width, SplitterDeviceListWidth + S(4) + SplitterTreeWidth + S(4) + SplitterListWidth);
    EXPECT_EQ(height, SplitterDeviceListHeight + S(4) + SplitterLocationsListHeight);
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
    EXPECT_EQ(newWidth - SplitterDeviceListWidth - SplitterTreeWidth - S(8), SplitterListWidth);
    EXPECT_EQ(Cut(deviceHeight, newHeight, height), SplitterDeviceListHeight);
    EXPECT_EQ(newHeight - SplitterDeviceListHeight - S(4), SplitterLocationsListHeight);
    ExpectPanesMatchSizes();
}

TEST_F(MainWindowLayout, ShrinkingKeepsTheFileListAtOneHundredAndNarrowsTheTree)
{
    ResizeBy(S(300), 0);
    int width = PaneAreaWidth();
    // As a drag of the tree-list band to the right would leave it.
    SplitterListWidth = S(100);
    SplitterTreeWidth = width - SplitterDeviceListWidth - S(108);
    int deviceWidth = SplitterDeviceListWidth;
    int treeWidth = SplitterTreeWidth;
    ResizeBy(S(-200), 0);

    int newWidth = PaneAreaWidth();
    int expectedDevice = Cut(deviceWidth, newWidth, width);
    ASSERT_GE(expectedDevice, S(100));
    ASSERT_LT(newWidth - expectedDevice - Cut(treeWidth, newWidth, width) - S(8), S(100));
    EXPECT_EQ(expectedDevice, SplitterDeviceListWidth);
    EXPECT_EQ(S(100), SplitterListWidth);
    EXPECT_EQ(newWidth - expectedDevice - S(108), SplitterTreeWidth);
    ExpectPanesMatchSizes();
}

TEST_F(MainWindowLayout, AtTheSmallestSizeTheDeviceColumnStaysAtOneHundred)
{
    SetWindowPos(window_, nullptr, 0, 0, S(450), S(370), SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages();
    EXPECT_GE(SplitterDeviceListWidth, S(100));
    EXPECT_GE(SplitterTreeWidth, S(100));
    EXPECT_GE(SplitterDeviceListHeight, S(100));
    EXPECT_EQ(PaneAreaWidth(), SplitterDeviceListWidth + S(8) + SplitterTreeWidth + SplitterListWidth);
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

LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR count)
{
    if (message == WM_PAINT) ++*reinterpret_cast<int*>(count);
    return DefSubclassProc(window, message, wParam, lParam);
}

// Showing the window sends a WM_SIZE of the size it was built at; a layout that changes nothing must
// not repaint every pane again, but pane sizes changed since (as the settings restore them) are still
// placed.
TEST_F(MainWindowLayout, ALayoutAtTheSameSizeRedrawsNothingButPlacesChangedPanes)
{
    int paints = 0;
    HWND fileList = Control(IDC_FILE_LIST);
    ASSERT_TRUE(SetWindowSubclass(fileList, CountPaints, 1, reinterpret_cast<DWORD_PTR>(&paints)));
    RECT client = {};
    GetClientRect(window_, &client);
    LPARAM size = MAKELPARAM(client.right, client.bottom);
    SendMessageW(window_, WM_SIZE, SIZE_RESTORED, size);
    EXPECT_EQ(0, paints);

    SplitterTreeWidth += S(20);
    SplitterListWidth -= S(20);
    SendMessageW(window_, WM_SIZE, SIZE_RESTORED, size);
    EXPECT_LT(0, paints);
    ExpectPanesMatchSizes();

    // Sizes that no longer add up to the area are fitted to it again.
    SplitterTreeWidth += S(30);
    SendMessageW(window_, WM_SIZE, SIZE_RESTORED, size);
    EXPECT_EQ(PaneAreaWidth(), SplitterDeviceListWidth + S(4) + SplitterTreeWidth + S(4) + SplitterListWidth);
    ExpectPanesMatchSizes();
    RemoveWindowSubclass(fileList, CountPaints, 1);
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

// Moved to a monitor of another scale, the window is told so with the rectangle the system suggests.
// Under Wine every monitor has the prefix's scale: the test sends what Windows would.
TEST_F(MainWindowLayout, MovingToAnotherScaleKeepsEveryShareAndRedrawsTheIcons)
{
    const int to = Dpi() == 144 ? 96 : 144;
    auto scaled = [&](int pixels) { return MulDiv(pixels, to, Dpi()); };
    auto stored = [](const wchar_t* name) {
        DWORD value = 0;
        EXPECT_TRUE(ReadSettingsDword(name, &value)) << name;
        return static_cast<int>(value);
    };
    const wchar_t* const sizes[] = {L"SplitterDeviceListWidth", L"SplitterTreeWidth", L"SplitterListWidth",
                                    L"SplitterDeviceListHeight", L"ListColumnWidth0", L"ListColumnWidth1"};
    SaveSettings(window_);
    int before[6];
    for (int i = 0; i < 6; ++i) before[i] = stored(sizes[i]);
    int nameColumn = ListView_GetColumnWidth(g_fileList, 0);
    // Windows scales the frame too; Wine's stays as it is: the client area is what must scale.
    RECT rect = WindowRect();
    RECT client = {};
    GetClientRect(window_, &client);
    RECT suggested = {rect.left, rect.top, rect.right + scaled(client.right) - client.right,
                      rect.bottom + scaled(client.bottom) - client.bottom};

    SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    PumpMessages();
    rect = WindowRect();
    EXPECT_TRUE(EqualRect(&suggested, &rect));
    ExpectImageSizes(MulDiv(16, to, 96), MulDiv(32, to, 96));
    EXPECT_EQ(g_fileImageList, TreeView_GetImageList(Control(IDC_FOLDER_TREE), TVSIL_NORMAL));
    EXPECT_EQ(g_fileImageList, ListView_GetImageList(g_fileList, LVSIL_SMALL));
    EXPECT_EQ(g_deviceImageList, ListView_GetImageList(g_locationsList, LVSIL_SMALL));
    EXPECT_NEAR(scaled(nameColumn), ListView_GetColumnWidth(g_fileList, 0), 1);
    EXPECT_EQ(MulDiv(4, to, 96), Rect(IDC_FOLDER_TREE).left - Rect(IDC_DEVICE_LIST).right);
    ExpectControlsInsideAndApart();
    // In the units the settings keep, nothing moved but by rounding.
    SaveSettings(window_);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(before[i], stored(sizes[i]), 2) << sizes[i];
}

TEST_F(MainWindowLayout, WindowCannotBeMadeSmallerThan450By370)
{
    SetWindowPos(window_, nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages();
    RECT rect = WindowRect();
    EXPECT_EQ(S(450), rect.right - rect.left);
    EXPECT_EQ(S(370), rect.bottom - rect.top);

    MoveWindow(window_, 100, 100, S(450) - 1, S(370) - 1, TRUE);
    PumpMessages();
    rect = WindowRect();
    EXPECT_EQ(S(450), rect.right - rect.left);
    EXPECT_EQ(S(370), rect.bottom - rect.top);

    MINMAXINFO info = {};
    info.ptMaxTrackSize = {1234, 567};
    SendMessageW(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(S(450), info.ptMinTrackSize.x);
    EXPECT_EQ(S(370), info.ptMinTrackSize.y);
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
