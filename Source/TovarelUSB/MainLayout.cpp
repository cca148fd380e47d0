#include "MainLayout.h"

#include <commctrl.h>
#include <shellapi.h>

#include "Settings.h"
#include "Splitter.h"
#include "iPhone.h"
#include "resource.h"

int SplitterDeviceListWidth;
int SplitterDeviceListHeight;
int SplitterLocationsListHeight;
int SplitterTreeWidth;
int SplitterListWidth;

namespace {

const int kBand = 4;
const int kMinPane = 100;
const int kMinTrackWidth = 450;
const int kMinTrackHeight = 370;

struct ToolbarButton {
    int id;
    const wchar_t* tip;
};
const ToolbarButton kToolbarButtons[] = {
    {IDC_NEW_FOLDER, L"Create new folder"},
    {IDC_DELETE, L"Delete selected files/folders"},
    {IDC_UP, L"Go one level up"},
    {IDC_REFRESH, L"Reload device data and go to the root folder"},
};
const int kButtonCount = sizeof(kToolbarButtons) / sizeof(kToolbarButtons[0]);

const int kDeviceIcons[] = {IDI_IPAD, IDI_IPHONE, IDI_EDITION_4, IDI_EDITION};

// Distances measured from the template once, at build; the layout keeps them as the window resizes.
struct Margins {
    int left, top, right, bottom;
};
struct StatusMeasure {
    int left, top, height;
};
struct ButtonMeasure {
    int width, height, top, rightGap;
};
struct LineMeasure {
    int left, rightGap, height, bottomGap;
};

Margins g_margins;
StatusMeasure g_status;
ButtonMeasure g_buttons[kButtonCount];
LineMeasure g_pathLine;
LineMeasure g_webLine;
// The dialog manager sizes the window before WM_INITDIALOG; nothing may be placed before measuring.
bool g_measured;
HWND g_toolTip;

// Icons handed out by the shell and by LoadImage without LR_SHARED belong to the caller.
struct OwnedIcon {
    HICON icon = nullptr;
    OwnedIcon() = default;
    explicit OwnedIcon(HICON handle) : icon(handle) {}
    OwnedIcon(const OwnedIcon&) = delete;
    OwnedIcon& operator=(const OwnedIcon&) = delete;
    ~OwnedIcon()
    {
        if (icon) DestroyIcon(icon);
    }
};

bool ScreenRectOfControl(HWND window, int id, RECT* rect)
{
    HWND control = GetDlgItem(window, id);
    return control && GetWindowRect(control, rect);
}

bool ScreenRectOfClient(HWND window, RECT* rect)
{
    if (!GetClientRect(window, rect)) return false;
    POINT corners[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    if (!ClientToScreen(window, &corners[0]) || !ClientToScreen(window, &corners[1])) return false;
    *rect = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    return true;
}

// Asks the shell for the small icon of a name by attributes alone; the answer is the system's
// small-icon list, whose colour and size our own lists copy.
HIMAGELIST ShellSmallIcon(DWORD attributes, OwnedIcon* icon)
{
    SHFILEINFOW info = {};
    UINT flags = SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON | SHGFI_ICON | SHGFI_SYSICONINDEX;
    HIMAGELIST system = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"a", attributes, &info, sizeof(info), flags));
    icon->icon = info.hIcon;
    return info.hIcon ? system : nullptr;
}

bool CreateExtensionTable()
{
    HANDLE heap = GetProcessHeap();
    ExtensionTable* table = static_cast<ExtensionTable*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ExtensionTable)));
    if (!table) return false;
    const int capacity = 16;
    table->entries = static_cast<wchar_t**>(HeapAlloc(heap, HEAP_ZERO_MEMORY, capacity * sizeof(wchar_t*)));
    if (!table->entries) {
        HeapFree(heap, 0, table);
        return false;
    }
    table->capacity = capacity;
    table->count = 0;
    g_extensionTable = table;
    return true;
}

bool CreateFileImageList(COLORREF* background)
{
    OwnedIcon folderIcon;
    HIMAGELIST system = ShellSmallIcon(FILE_ATTRIBUTE_DIRECTORY, &folderIcon);
    if (!system) return false;
    *background = ImageList_GetBkColor(system);
    int width = 0;
    int height = 0;
    if (!ImageList_GetIconSize(system, &width, &height)) return false;

    g_fileImageList = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 16, 16);
    if (!g_fileImageList) return false;
    if (!CreateExtensionTable()) return false;
    ImageList_SetBkColor(g_fileImageList, *background);
    if (ImageList_AddIcon(g_fileImageList, folderIcon.icon) != 0) return false;

    OwnedIcon fileIcon;
    if (!ShellSmallIcon(FILE_ATTRIBUTE_NORMAL, &fileIcon)) return false;
    return ImageList_AddIcon(g_fileImageList, fileIcon.icon) == 1;
}

bool CreateToolTip(HWND window)
{
    g_toolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                g_instance, nullptr);
    if (!g_toolTip) return false;
    SetWindowPos(g_toolTip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return true;
}

bool AttachFileImageList(HWND window)
{
    HWND tree = GetDlgItem(window, IDC_FOLDER_TREE);
    g_fileList = GetDlgItem(window, IDC_FILE_LIST);
    if (!tree || !g_fileList) return false;
    TreeView_SetImageList(tree, g_fileImageList, TVSIL_NORMAL);
    TreeView_SetImageList(tree, g_fileImageList, TVSIL_STATE);
    ListView_SetImageList(g_fileList, g_fileImageList, LVSIL_SMALL);
    return true;
}

bool InsertColumn(int index, const wchar_t* title, int format, int width)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(title);
    column.iSubItem = index;
    return ListView_InsertColumn(g_fileList, index, &column) == index;
}

bool InsertFileListColumns()
{
    return InsertColumn(0, L"Name", LVCFMT_LEFT, 250) && InsertColumn(1, L"Size", LVCFMT_RIGHT, 100);
}

// A list view without the shared style destroys its image lists with itself; g_deviceImageList
// serves two lists and is destroyed once by the shutdown instead.
void GiveSharedImageList(HWND list, HIMAGELIST images)
{
    LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
    SetWindowLongPtrW(list, GWL_STYLE, style | LVS_SHAREIMAGELISTS);
    ListView_SetImageList(list, images, LVSIL_SMALL);
}

bool CreateDeviceImageList(HWND window, COLORREF background)
{
    g_deviceImageList = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 6, 2);
    if (!g_deviceImageList) return false;
    ImageList_SetBkColor(g_deviceImageList, background);
    for (int i = 0; i < 4; ++i) {
        OwnedIcon icon(static_cast<HICON>(
            LoadImageW(g_instance, MAKEINTRESOURCEW(kDeviceIcons[i]), IMAGE_ICON, 32, 32, 0)));
        if (!icon.icon || ImageList_AddIcon(g_deviceImageList, icon.icon) != i) return false;
    }
    g_deviceList = GetDlgItem(window, IDC_DEVICE_LIST);
    g_locationsList = GetDlgItem(window, IDC_LOCATIONS_LIST);
    if (!g_deviceList || !g_locationsList) return false;
    GiveSharedImageList(g_deviceList, g_deviceImageList);
    GiveSharedImageList(g_locationsList, g_deviceImageList);
    return true;
}

bool CreateSplitter(HWND window)
{
    HWND splitter = CreateWindowExW(0, L"MRQ_SPLITTERVIEW", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                                    0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_SPLITTER)),
                                    g_instance, nullptr);
    if (!splitter) return false;
    ResetSplitterDrag();
    return true;
}

bool MeasurePanes(HWND window, const RECT& client)
{
    RECT deviceList, locationsList, tree, fileList, status;
    if (!ScreenRectOfControl(window, IDC_DEVICE_LIST, &deviceList) ||
        !ScreenRectOfControl(window, IDC_LOCATIONS_LIST, &locationsList) ||
        !ScreenRectOfControl(window, IDC_FOLDER_TREE, &tree) || !ScreenRectOfControl(window, IDC_FILE_LIST, &fileList) ||
        !ScreenRectOfControl(window, IDC_STATUS_LINE, &status)) {
        return false;
    }
    int clientWidth = client.right - client.left;
    int clientHeight = client.bottom - client.top;
    SplitterDeviceListWidth = deviceList.right - deviceList.left;
    SplitterDeviceListHeight = deviceList.bottom - deviceList.top;
    g_margins.left = deviceList.left - client.left;
    g_margins.top = deviceList.top - client.top;
    g_margins.bottom = client.bottom - locationsList.bottom;
    SplitterLocationsListHeight = clientHeight - g_margins.top - SplitterDeviceListHeight - g_margins.bottom - kBand;
    SplitterTreeWidth = tree.right - tree.left;
    g_margins.right = client.right - fileList.right;
    SplitterListWidth = clientWidth - SplitterDeviceListWidth - kBand - SplitterTreeWidth - g_margins.left -
                        g_margins.right - kBand;
    g_status.left = status.left - client.left;
    g_status.top = status.top - client.top;
    g_status.height = status.bottom - status.top;
    return true;
}

bool AddToolTip(HWND button, const wchar_t* text)
{
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = button;
    tool.uId = 0;
    GetClientRect(button, &tool.rect);
    tool.hinst = g_instance;
    tool.lpszText = const_cast<wchar_t*>(text);
    return SendMessageW(g_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
}

bool MeasureButtons(HWND window, const RECT& client)
{
    for (int i = 0; i < kButtonCount; ++i) {
        RECT rect;
        if (!ScreenRectOfControl(window, kToolbarButtons[i].id, &rect)) return false;
        g_buttons[i].width = rect.right - rect.left;
        g_buttons[i].height = rect.bottom - rect.top;
        g_buttons[i].top = rect.top - client.top;
        g_buttons[i].rightGap = client.right - rect.right;
        if (!AddToolTip(GetDlgItem(window, kToolbarButtons[i].id), kToolbarButtons[i].tip)) return false;
    }
    return true;
}

bool MeasureLine(HWND window, int id, const RECT& client, LineMeasure* line)
{
    RECT rect;
    if (!ScreenRectOfControl(window, id, &rect)) return false;
    line->left = rect.left - client.left;
    line->rightGap = client.right - rect.right;
    line->height = rect.bottom - rect.top;
    line->bottomGap = client.bottom - rect.bottom;
    return true;
}

void PlaceControl(HWND control, int x, int y, int width, int height)
{
    if (!control) return;
    MoveWindow(control, x, y, width, height, TRUE);
    InvalidateRect(control, nullptr, TRUE);
    UpdateWindow(control);
}

void PlaceControl(HWND window, int id, int x, int y, int width, int height)
{
    PlaceControl(GetDlgItem(window, id), x, y, width, height);
}

// The product of a pane size and the rescaling ratio, cut toward zero. Sizes that come from the
// registry may be anything; out-of-range products are pinned to the area so the cut stays defined.
int ScalePane(int size, float ratio, int limit)
{
    float scaled = static_cast<float>(size) * ratio;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= static_cast<float>(limit)) return limit;
    return static_cast<int>(scaled);
}

void FitPanesToArea(int width, int height)
{
    long long widthSum = static_cast<long long>(SplitterDeviceListWidth) + kBand + SplitterTreeWidth + kBand +
                         SplitterListWidth;
    if (width != widthSum) {
        float ratio = widthSum > 0 ? static_cast<float>(width) / static_cast<float>(widthSum) : 0.0f;
        SplitterDeviceListWidth = ScalePane(SplitterDeviceListWidth, ratio, width);
        SplitterTreeWidth = ScalePane(SplitterTreeWidth, ratio, width);
        SplitterListWidth = width - SplitterDeviceListWidth - kBand - SplitterTreeWidth - kBand;
    }
    long long heightSum = static_cast<long long>(SplitterDeviceListHeight) + kBand + SplitterLocationsListHeight;
    if (height != heightSum) {
        float ratio = heightSum > 0 ? static_cast<float>(height) / static_cast<float>(heightSum) : 0.0f;
        SplitterDeviceListHeight = ScalePane(SplitterDeviceListHeight, ratio, height);
        SplitterLocationsListHeight = height - SplitterDeviceListHeight - kBand;
    }
}

// The order decides which pane gives way when the area is too small for all of them.
void EnforceMinimumPanes(int width, int height)
{
    if (SplitterListWidth < kMinPane) {
        SplitterListWidth = kMinPane;
        SplitterTreeWidth = width - SplitterDeviceListWidth - (kMinPane + 2 * kBand);
    }
    if (SplitterTreeWidth < kMinPane) {
        SplitterTreeWidth = kMinPane;
        SplitterListWidth = width - SplitterDeviceListWidth - (kMinPane + 2 * kBand);
    }
    if (SplitterDeviceListWidth < kMinPane) {
        SplitterDeviceListWidth = kMinPane;
        SplitterListWidth = width - SplitterTreeWidth - (kMinPane + 2 * kBand);
    }
    if (SplitterLocationsListHeight < kMinPane) {
        SplitterLocationsListHeight = kMinPane;
        SplitterDeviceListHeight = height - (kMinPane + kBand);
    }
    if (SplitterDeviceListHeight < kMinPane) {
        SplitterDeviceListHeight = kMinPane;
        SplitterLocationsListHeight = height - (kMinPane + kBand);
    }
}

void PlaceFixedControls(HWND window, const RECT& client)
{
    const ButtonMeasure& first = g_buttons[0];
    int firstButtonLeft = client.right - first.rightGap - first.width;
    PlaceControl(window, IDC_STATUS_LINE, g_status.left, g_status.top, firstButtonLeft - g_status.left, g_status.height);
    for (int i = 0; i < kButtonCount; ++i) {
        const ButtonMeasure& button = g_buttons[i];
        PlaceControl(window, kToolbarButtons[i].id, client.right - button.rightGap - button.width, button.top,
                     button.width, button.height);
    }
    const struct {
        int id;
        const LineMeasure* measure;
    } lines[] = {{IDC_PATH_LINE, &g_pathLine}, {IDC_WEB_LINE, &g_webLine}};
    for (const auto& line : lines) {
        const LineMeasure& m = *line.measure;
        PlaceControl(window, line.id, m.left, client.bottom - m.bottomGap - m.height, client.right - m.rightGap - m.left,
                     m.height);
    }
}

}  // namespace

void GetPaneAreaSize(HWND window, int* width, int* height)
{
    RECT client = {};
    GetClientRect(window, &client);
    *width = client.right - client.left - g_margins.left - g_margins.right;
    *height = client.bottom - client.top - g_margins.top - g_margins.bottom;
}

void MovePanes(HWND window, unsigned panes)
{
    int width = 0;
    int height = 0;
    GetPaneAreaSize(window, &width, &height);
    int left = g_margins.left;
    int top = g_margins.top;
    if (panes & PANE_DEVICE_LIST) {
        PlaceControl(g_deviceList, left, top, SplitterDeviceListWidth, SplitterDeviceListHeight);
    }
    if (panes & PANE_LOCATIONS_LIST) {
        PlaceControl(g_locationsList, left, top + SplitterDeviceListHeight + kBand, SplitterDeviceListWidth,
                     SplitterLocationsListHeight);
    }
    if (panes & PANE_TREE) {
        PlaceControl(window, IDC_FOLDER_TREE, left + SplitterDeviceListWidth + kBand, top, SplitterTreeWidth, height);
    }
    if (panes & PANE_FILE_LIST) {
        PlaceControl(g_fileList, left + SplitterDeviceListWidth + SplitterTreeWidth + 2 * kBand, top,
                     SplitterListWidth, height);
    }
}

void LayoutMainWindow(HWND window)
{
    if (!g_measured) return;
    RECT client;
    if (!GetClientRect(window, &client)) return;
    if (client.right - client.left == 0 || client.bottom - client.top == 0) return;  // minimised

    int width = 0;
    int height = 0;
    GetPaneAreaSize(window, &width, &height);
    if (HWND splitter = GetDlgItem(window, IDC_SPLITTER)) {
        MoveWindow(splitter, g_margins.left, g_margins.top, width, height, TRUE);
    }
    FitPanesToArea(width, height);
    EnforceMinimumPanes(width, height);
    MovePanes(window, PANE_DEVICE_LIST | PANE_LOCATIONS_LIST | PANE_TREE | PANE_FILE_LIST);
    PlaceFixedControls(window, client);
}

void ApplyMinTrackSize(MINMAXINFO* info)
{
    if (!info) return;
    info->ptMinTrackSize.x = kMinTrackWidth;
    info->ptMinTrackSize.y = kMinTrackHeight;
}

namespace {

bool BuildSteps(HWND window)
{
    SendMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0, 0,
                                                     LR_DEFAULTSIZE | LR_SHARED)));
    COLORREF background = CLR_NONE;
    if (!CreateFileImageList(&background)) return false;
    if (!CreateToolTip(window)) return false;
    if (!AttachFileImageList(window)) return false;
    if (!InsertFileListColumns()) return false;
    if (!CreateDeviceImageList(window, background)) return false;
    if (!CreateSplitter(window)) return false;

    RECT client;
    if (!ScreenRectOfClient(window, &client)) return false;
    if (!MeasurePanes(window, client)) return false;
    if (!MeasureButtons(window, client)) return false;
    if (!MeasureLine(window, IDC_PATH_LINE, client, &g_pathLine)) return false;
    if (!MeasureLine(window, IDC_WEB_LINE, client, &g_webLine)) return false;
    g_measured = true;

    LayoutMainWindow(window);
    RestoreSettings(window);
    return true;
}

void ForgetControls()
{
    g_measured = false;
    g_fileList = nullptr;
    g_deviceList = nullptr;
    g_locationsList = nullptr;
}

}  // namespace

bool BuildMainWindow(HWND window)
{
    ForgetControls();
    if (BuildSteps(window)) return true;
    // A half-built window is never saved: without the file list's handle there is nothing to save.
    ForgetControls();
    return false;
}
