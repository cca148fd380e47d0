#include "MainLayout.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <initializer_list>

#include "Dpi.h"
#include "FileList.h"
#include "Settings.h"
#include "Splitter.h"
#include "StatusLine.h"
#include "iPhone.h"
#include "resource.h"

int SplitterDeviceListWidth;
int SplitterDeviceListHeight;
int SplitterLocationsListHeight;
int SplitterTreeWidth;
int SplitterListWidth;

namespace {

// Sizes at 96 DPI; the window's scale multiplies them.
const int kBand = 4;
const int kMinPane = 100;
const int kMinTrackWidth = 450;
const int kMinTrackHeight = 370;
const int kNameColumnWidth = 250;
const int kSizeColumnWidth = 100;
const int kDateColumnWidth = 140;
const int kDeviceIconSize = 32;

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
// The DPI that the measures, the pane sizes and the image lists are made for.
int g_layoutDpi = kDefaultDpi;
// The background of the system's small-icon list, which every image list of the window copies.
COLORREF g_imageBackground = CLR_NONE;
// Polls, while an upload runs, for the moment the file images may be made for a new scale.
const UINT_PTR kFileImagesTimer = 1;
const UINT kFileImagesRetryMilliseconds = 250;

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

// The size of the main dialog's template in dialog units, read from its resource (DIALOGEX, whose
// head starts with version 1 and 0xFFFF, or the older DIALOG).
bool TemplateSizeInUnits(int* cx, int* cy)
{
    HRSRC found = FindResourceW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), MAKEINTRESOURCEW(5));  // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(g_instance, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    DWORD bytes = found ? SizeofResource(g_instance, found) : 0;
    if (!data || bytes < 18) return false;
    WORD version = 0;
    WORD signature = 0;
    memcpy(&version, data, sizeof version);
    memcpy(&signature, data + 2, sizeof signature);
    size_t at = version == 1 && signature == 0xFFFF ? 22 : 14;
    if (bytes < at + 4) return false;
    short size[2] = {};
    memcpy(size, data + at, sizeof size);
    *cx = size[0];
    *cy = size[1];
    return size[0] > 0 && size[1] > 0;
}

// The client rectangle, on the screen, that the template places its controls in. The window itself
// may be smaller: Windows keeps a window within the screen, and at a large scale the template may
// not fit. The distances to the edges are measured in the rectangle the controls were placed for;
// the layout then keeps them in the client the window really has.
bool ScreenRectOfTemplateClient(HWND window, RECT* rect)
{
    if (!ScreenRectOfClient(window, rect)) return false;
    int cx = 0;
    int cy = 0;
    if (!TemplateSizeInUnits(&cx, &cy)) return true;
    RECT units = {0, 0, cx, cy};
    if (!MapDialogRect(window, &units)) return true;
    rect->right = rect->left + units.right;
    rect->bottom = rect->top + units.bottom;
    return true;
}

// Asked for a small icon with the system icon index, the shell answers with the system's small-icon
// list, whose background colour our own lists copy.
bool ReadSystemImageBackground()
{
    SHFILEINFOW info = {};
    UINT flags = SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON | SHGFI_SYSICONINDEX;
    HIMAGELIST system =
        reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"a", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info), flags));
    if (!system) return false;
    g_imageBackground = ImageList_GetBkColor(system);
    return true;
}

HIMAGELIST CreateImageList(int size, int initial, int grow)
{
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, initial, grow);
    if (list) ImageList_SetBkColor(list, g_imageBackground);
    return list;
}

// Appends an icon that must land at the given index; the list is destroyed when it does not.
bool AddIconAt(HIMAGELIST& list, HICON icon, int index)
{
    OwnedIcon owned(icon);
    if (list && owned.icon && ImageList_AddIcon(list, owned.icon) == index) return true;
    if (list) ImageList_Destroy(list);
    list = nullptr;
    return false;
}

// The folder (image 0) and the plain file (image 1) at the size of a small icon at this scale.
HIMAGELIST MakeFileImageList(int dpi)
{
    int size = SmallIconSize(dpi);
    HIMAGELIST list = CreateImageList(size, 16, 16);
    if (AddIconAt(list, ShellIconOfName(L"a", FILE_ATTRIBUTE_DIRECTORY, size), 0)) {
        AddIconAt(list, ShellIconOfName(L"a", FILE_ATTRIBUTE_NORMAL, size), 1);
    }
    return list;
}

HIMAGELIST MakeDeviceImageList(int dpi)
{
    int size = ScaleToDpi(kDeviceIconSize, dpi);
    HIMAGELIST list = CreateImageList(size, 6, 2);
    for (int i = 0; i < 4 && list; ++i) AddIconAt(list, LoadProgramIcon(kDeviceIcons[i], size), i);
    return list;
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

bool CreateFileImageList()
{
    if (!ReadSystemImageBackground()) return false;
    g_fileImageList = MakeFileImageList(g_layoutDpi);
    return g_fileImageList && CreateExtensionTable();
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
    return InsertColumn(0, L"Name", LVCFMT_LEFT, ScaleToDpi(kNameColumnWidth, g_layoutDpi)) &&
           InsertColumn(1, L"Size", LVCFMT_RIGHT, ScaleToDpi(kSizeColumnWidth, g_layoutDpi)) &&
           InsertColumn(2, L"Date modified", LVCFMT_LEFT, ScaleToDpi(kDateColumnWidth, g_layoutDpi));
}

// A list view without the shared style destroys its image lists with itself; g_deviceImageList
// serves two lists and is destroyed once by the shutdown instead.
void GiveSharedImageList(HWND list, HIMAGELIST images)
{
    LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
    SetWindowLongPtrW(list, GWL_STYLE, style | LVS_SHAREIMAGELISTS);
    ListView_SetImageList(list, images, LVSIL_SMALL);
}

bool CreateDeviceImageList(HWND window)
{
    g_deviceImageList = MakeDeviceImageList(g_layoutDpi);
    if (!g_deviceImageList) return false;
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
    int band = PaneBand();
    SplitterLocationsListHeight = clientHeight - g_margins.top - SplitterDeviceListHeight - g_margins.bottom - band;
    SplitterTreeWidth = tree.right - tree.left;
    g_margins.right = client.right - fileList.right;
    SplitterListWidth = clientWidth - SplitterDeviceListWidth - band - SplitterTreeWidth - g_margins.left -
                        g_margins.right - band;
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
    int band = PaneBand();
    long long widthSum = static_cast<long long>(SplitterDeviceListWidth) + band + SplitterTreeWidth + band +
                         SplitterListWidth;
    if (width != widthSum) {
        float ratio = widthSum > 0 ? static_cast<float>(width) / static_cast<float>(widthSum) : 0.0f;
        SplitterDeviceListWidth = ScalePane(SplitterDeviceListWidth, ratio, width);
        SplitterTreeWidth = ScalePane(SplitterTreeWidth, ratio, width);
        SplitterListWidth = width - SplitterDeviceListWidth - band - SplitterTreeWidth - band;
    }
    long long heightSum = static_cast<long long>(SplitterDeviceListHeight) + band + SplitterLocationsListHeight;
    if (height != heightSum) {
        float ratio = heightSum > 0 ? static_cast<float>(height) / static_cast<float>(heightSum) : 0.0f;
        SplitterDeviceListHeight = ScalePane(SplitterDeviceListHeight, ratio, height);
        SplitterLocationsListHeight = height - SplitterDeviceListHeight - band;
    }
}

// The order decides which pane gives way when the area is too small for all of them.
void EnforceMinimumPanes(int width, int height)
{
    int band = PaneBand();
    int least = MinimumPane();
    if (SplitterListWidth < least) {
        SplitterListWidth = least;
        SplitterTreeWidth = width - SplitterDeviceListWidth - (least + 2 * band);
    }
    if (SplitterTreeWidth < least) {
        SplitterTreeWidth = least;
        SplitterListWidth = width - SplitterDeviceListWidth - (least + 2 * band);
    }
    if (SplitterDeviceListWidth < least) {
        SplitterDeviceListWidth = least;
        SplitterListWidth = width - SplitterTreeWidth - (least + 2 * band);
    }
    if (SplitterLocationsListHeight < least) {
        SplitterLocationsListHeight = least;
        SplitterDeviceListHeight = height - (least + band);
    }
    if (SplitterDeviceListHeight < least) {
        SplitterDeviceListHeight = least;
        SplitterLocationsListHeight = height - (least + band);
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

int LayoutDpi()
{
    return g_layoutDpi;
}

int PaneBand()
{
    return ScaleToDpi(kBand, g_layoutDpi);
}

int MinimumPane()
{
    return ScaleToDpi(kMinPane, g_layoutDpi);
}

void MovePanes(HWND window, unsigned panes)
{
    int width = 0;
    int height = 0;
    GetPaneAreaSize(window, &width, &height);
    int left = g_margins.left;
    int top = g_margins.top;
    int band = PaneBand();
    if (panes & PANE_DEVICE_LIST) {
        PlaceControl(g_deviceList, left, top, SplitterDeviceListWidth, SplitterDeviceListHeight);
    }
    if (panes & PANE_LOCATIONS_LIST) {
        PlaceControl(g_locationsList, left, top + SplitterDeviceListHeight + band, SplitterDeviceListWidth,
                     SplitterLocationsListHeight);
    }
    if (panes & PANE_TREE) {
        PlaceControl(window, IDC_FOLDER_TREE, left + SplitterDeviceListWidth + band, top, SplitterTreeWidth, height);
    }
    if (panes & PANE_FILE_LIST) {
        PlaceControl(g_fileList, left + SplitterDeviceListWidth + SplitterTreeWidth + 2 * band, top,
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

void ApplyMinTrackSize(HWND window, MINMAXINFO* info)
{
    if (!info) return;
    // Asked for before the build too, while the window is being created.
    int dpi = g_measured ? g_layoutDpi : DpiOfWindow(window);
    info->ptMinTrackSize.x = ScaleToDpi(kMinTrackWidth, dpi);
    info->ptMinTrackSize.y = ScaleToDpi(kMinTrackHeight, dpi);
}

namespace {

bool BuildSteps(HWND window)
{
    SendMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0, 0,
                                                     LR_DEFAULTSIZE | LR_SHARED)));
    g_layoutDpi = DpiOfWindow(window);
    KeepDialogLayoutOnDpiChange(window);
    SetToolbarIconSize(SmallIconSize(g_layoutDpi));
    if (!CreateFileImageList()) return false;
    if (!CreateToolTip(window)) return false;
    if (!AttachFileImageList(window)) return false;
    if (!InsertFileListColumns()) return false;
    if (!CreateDeviceImageList(window)) return false;
    if (!CreateSplitter(window)) return false;

    RECT client;
    if (!ScreenRectOfTemplateClient(window, &client)) return false;
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

namespace {

void Rescale(std::initializer_list<int*> values, int from, int to)
{
    for (int* value : values) *value = MulDiv(*value, to, from);
}

// Everything measured from the template, and the panes with it, so that each keeps its share.
void RescaleMeasures(int from, int to)
{
    Rescale({&g_margins.left, &g_margins.top, &g_margins.right, &g_margins.bottom, &g_status.left, &g_status.top,
             &g_status.height, &g_pathLine.left, &g_pathLine.rightGap, &g_pathLine.height, &g_pathLine.bottomGap,
             &g_webLine.left, &g_webLine.rightGap, &g_webLine.height, &g_webLine.bottomGap, &SplitterDeviceListWidth,
             &SplitterDeviceListHeight, &SplitterLocationsListHeight, &SplitterTreeWidth, &SplitterListWidth},
            from, to);
    for (ButtonMeasure& button : g_buttons) {
        Rescale({&button.width, &button.height, &button.top, &button.rightGap}, from, to);
    }
}

void RescaleColumns(int from, int to)
{
    for (int column = 0; column < kFileListColumns; ++column) {
        ListView_SetColumnWidth(g_fileList, column, MulDiv(ListView_GetColumnWidth(g_fileList, column), to, from));
    }
}

// The tooltip of each button covers the button as it is now.
void FitToolTipsToButtons(HWND window)
{
    for (const ToolbarButton& entry : kToolbarButtons) {
        TOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = GetDlgItem(window, entry.id);
        tool.uId = 0;
        if (!tool.hwnd || !GetClientRect(tool.hwnd, &tool.rect)) continue;
        SendMessageW(g_toolTip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

// On failure the lists keep the images they have: drawn at another size, but all there.
void ReplaceDeviceImageList()
{
    HIMAGELIST list = MakeDeviceImageList(g_layoutDpi);
    if (!list) return;
    HIMAGELIST old = g_deviceImageList;
    g_deviceImageList = list;
    GiveSharedImageList(g_deviceList, list);
    GiveSharedImageList(g_locationsList, list);
    if (old) ImageList_Destroy(old);
}

void CALLBACK RetryFileImages(HWND window, UINT, UINT_PTR, DWORD);

// An upload appends to g_fileImageList from the copy thread when it shows its folder: while one
// runs, the list is left alone and a timer asks again. No upload can start meanwhile: only a drop,
// handled on this thread, starts one.
void ReplaceFileImageList(HWND window)
{
    if (ImageListIconSize(g_fileImageList) == SmallIconSize(g_layoutDpi)) {
        KillTimer(window, kFileImagesTimer);
        return;
    }
    if (g_copyThread.load()) {
        SetTimer(window, kFileImagesTimer, kFileImagesRetryMilliseconds, RetryFileImages);
        return;
    }
    KillTimer(window, kFileImagesTimer);
    HIMAGELIST list = MakeFileImageList(g_layoutDpi);
    if (!list || !AddExtensionImages(list, SmallIconSize(g_layoutDpi))) {
        if (list) ImageList_Destroy(list);
        return;
    }
    HIMAGELIST old = g_fileImageList;
    g_fileImageList = list;
    AttachFileImageList(window);
    if (old) ImageList_Destroy(old);
}

void CALLBACK RetryFileImages(HWND window, UINT, UINT_PTR, DWORD)
{
    if (g_measured) ReplaceFileImageList(window);
}

}  // namespace

void OnMainWindowDpiChanged(HWND window, int dpi, const RECT* suggested)
{
    if (g_measured && dpi > 0 && dpi != g_layoutDpi) {
        int from = g_layoutDpi;
        g_layoutDpi = dpi;
        RescaleMeasures(from, dpi);
        RescaleColumns(from, dpi);
        ReplaceDeviceImageList();
        ReplaceFileImageList(window);
        SetToolbarIconSize(SmallIconSize(dpi));
        UpdateToolbar();
    }
    if (suggested) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The size may be the same in pixels, which sends no WM_SIZE.
    LayoutMainWindow(window);
    if (g_measured) FitToolTipsToButtons(window);
}
