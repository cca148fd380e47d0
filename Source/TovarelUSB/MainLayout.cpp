#include "MainLayout.h"

#include <commctrl.h>

#include <cstring>
#include <initializer_list>

#include "DialogTemplate.h"
#include "Dpi.h"
#include "ImageLists.h"
#include "Settings.h"
#include "Splitter.h"
#include "StatusLine.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// Sizes at 96 DPI; the window's scale multiplies them.
const int kBand = 4;
const int kMinPane = 100;
const int kMinTrackWidth = 450;
const int kMinTrackHeight = 370;
const int kNameColumnWidth = 250;
const int kSizeColumnWidth = 100;
const int kDateColumnWidth = 140;

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

Margins s_margins;
StatusMeasure s_status;
ButtonMeasure s_buttons[kButtonCount];
LineMeasure s_pathLine;
LineMeasure s_webLine;
// The dialog manager sizes the window before WM_INITDIALOG; nothing may be placed before measuring.
bool s_measured;
HWND s_toolTip;
// The DPI that the measures, the pane sizes and the image lists are made for.
int s_layoutDpi = kDefaultDpi;

bool CreateToolTip(HWND window)
{
    s_toolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                g_instance, nullptr);
    if (!s_toolTip) return false;
    SetWindowPos(s_toolTip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
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
    return InsertColumn(0, L"Name", LVCFMT_LEFT, ScaleToDpi(kNameColumnWidth, s_layoutDpi)) &&
           InsertColumn(1, L"Size", LVCFMT_RIGHT, ScaleToDpi(kSizeColumnWidth, s_layoutDpi)) &&
           InsertColumn(2, L"Date modified", LVCFMT_LEFT, ScaleToDpi(kDateColumnWidth, s_layoutDpi));
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
    s_margins.left = deviceList.left - client.left;
    s_margins.top = deviceList.top - client.top;
    s_margins.bottom = client.bottom - locationsList.bottom;
    int band = PaneBand();
    SplitterLocationsListHeight = clientHeight - s_margins.top - SplitterDeviceListHeight - s_margins.bottom - band;
    SplitterTreeWidth = tree.right - tree.left;
    s_margins.right = client.right - fileList.right;
    SplitterListWidth = clientWidth - SplitterDeviceListWidth - band - SplitterTreeWidth - s_margins.left -
                        s_margins.right - band;
    s_status.left = status.left - client.left;
    s_status.top = status.top - client.top;
    s_status.height = status.bottom - status.top;
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
    return SendMessageW(s_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
}

bool MeasureButtons(HWND window, const RECT& client)
{
    for (int i = 0; i < kButtonCount; ++i) {
        RECT rect;
        if (!ScreenRectOfControl(window, kToolbarButtons[i].id, &rect)) return false;
        s_buttons[i].width = rect.right - rect.left;
        s_buttons[i].height = rect.bottom - rect.top;
        s_buttons[i].top = rect.top - client.top;
        s_buttons[i].rightGap = client.right - rect.right;
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

// What the last full layout was made for. Showing the window sends a WM_SIZE of the size it was
// built at; placing and repainting every control again for it would only delay the first paint.
struct LaidOut {
    int width, height, dpi;
    int panes[5];
};
LaidOut s_laidOut;

LaidOut CurrentLayoutInput(const RECT& client)
{
    return {client.right - client.left,
            client.bottom - client.top,
            s_layoutDpi,
            {SplitterDeviceListWidth, SplitterDeviceListHeight, SplitterLocationsListHeight, SplitterTreeWidth,
             SplitterListWidth}};
}

bool LayoutChangedSinceLast(const RECT& client)
{
    LaidOut now = CurrentLayoutInput(client);
    return memcmp(&now, &s_laidOut, sizeof now) != 0;
}

void PlaceFixedControls(HWND window, const RECT& client)
{
    const ButtonMeasure& first = s_buttons[0];
    int firstButtonLeft = client.right - first.rightGap - first.width;
    PlaceControl(window, IDC_STATUS_LINE, s_status.left, s_status.top, firstButtonLeft - s_status.left, s_status.height);
    for (int i = 0; i < kButtonCount; ++i) {
        const ButtonMeasure& button = s_buttons[i];
        PlaceControl(window, kToolbarButtons[i].id, client.right - button.rightGap - button.width, button.top,
                     button.width, button.height);
    }
    const struct {
        int id;
        const LineMeasure* measure;
    } lines[] = {{IDC_PATH_LINE, &s_pathLine}, {IDC_WEB_LINE, &s_webLine}};
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
    *width = client.right - client.left - s_margins.left - s_margins.right;
    *height = client.bottom - client.top - s_margins.top - s_margins.bottom;
}

int LayoutDpi()
{
    return s_layoutDpi;
}

int PaneBand()
{
    return ScaleToDpi(kBand, s_layoutDpi);
}

int MinimumPane()
{
    return ScaleToDpi(kMinPane, s_layoutDpi);
}

void MovePanes(HWND window, unsigned panes)
{
    int width = 0;
    int height = 0;
    GetPaneAreaSize(window, &width, &height);
    int left = s_margins.left;
    int top = s_margins.top;
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
    if (!s_measured) return;
    RECT client;
    if (!GetClientRect(window, &client)) return;
    if (client.right - client.left == 0 || client.bottom - client.top == 0) return;  // minimised
    if (!LayoutChangedSinceLast(client)) return;

    int width = 0;
    int height = 0;
    GetPaneAreaSize(window, &width, &height);
    if (HWND splitter = GetDlgItem(window, IDC_SPLITTER)) {
        MoveWindow(splitter, s_margins.left, s_margins.top, width, height, TRUE);
    }
    FitPanesToArea(width, height, PaneBand());
    EnforceMinimumPanes(width, height, PaneBand(), MinimumPane());
    MovePanes(window, PANE_DEVICE_LIST | PANE_LOCATIONS_LIST | PANE_TREE | PANE_FILE_LIST);
    PlaceFixedControls(window, client);
    s_laidOut = CurrentLayoutInput(client);
}

void ApplyMinTrackSize(HWND window, MINMAXINFO* info)
{
    if (!info) return;
    // Asked for before the build too, while the window is being created.
    int dpi = s_measured ? s_layoutDpi : DpiOfWindow(window);
    info->ptMinTrackSize.x = ScaleToDpi(kMinTrackWidth, dpi);
    info->ptMinTrackSize.y = ScaleToDpi(kMinTrackHeight, dpi);
}

namespace {

bool BuildSteps(HWND window)
{
    SendMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0, 0,
                                                     LR_DEFAULTSIZE | LR_SHARED)));
    s_layoutDpi = DpiOfWindow(window);
    KeepDialogLayoutOnDpiChange(window);
    SetToolbarIconSize(SmallIconSize(s_layoutDpi));
    if (!CreateFileImageList(s_layoutDpi)) return false;
    if (!CreateToolTip(window)) return false;
    if (!AttachFileImageList(window)) return false;
    if (!InsertFileListColumns()) return false;
    if (!CreateDeviceImageList(window, s_layoutDpi)) return false;
    if (!CreateSplitter(window)) return false;

    RECT client;
    if (!ScreenRectOfTemplateClient(window, &client)) return false;
    if (!MeasurePanes(window, client)) return false;
    if (!MeasureButtons(window, client)) return false;
    if (!MeasureLine(window, IDC_PATH_LINE, client, &s_pathLine)) return false;
    if (!MeasureLine(window, IDC_WEB_LINE, client, &s_webLine)) return false;
    s_measured = true;

    LayoutMainWindow(window);
    RestoreSettings(window);
    return true;
}

void ForgetControls()
{
    s_measured = false;
    s_laidOut = {};
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
    Rescale({&s_margins.left, &s_margins.top, &s_margins.right, &s_margins.bottom, &s_status.left, &s_status.top,
             &s_status.height, &s_pathLine.left, &s_pathLine.rightGap, &s_pathLine.height, &s_pathLine.bottomGap,
             &s_webLine.left, &s_webLine.rightGap, &s_webLine.height, &s_webLine.bottomGap, &SplitterDeviceListWidth,
             &SplitterDeviceListHeight, &SplitterLocationsListHeight, &SplitterTreeWidth, &SplitterListWidth},
            from, to);
    for (ButtonMeasure& button : s_buttons) {
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
        SendMessageW(s_toolTip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}


}  // namespace

void OnMainWindowDpiChanged(HWND window, int dpi, const RECT* suggested)
{
    if (s_measured && dpi > 0 && dpi != s_layoutDpi) {
        int from = s_layoutDpi;
        s_layoutDpi = dpi;
        RescaleMeasures(from, dpi);
        RescaleColumns(from, dpi);
        ReplaceDeviceImageList(dpi);
        ReplaceFileImageList(window, dpi);
        SetToolbarIconSize(SmallIconSize(dpi));
        UpdateToolbar();
    }
    if (suggested) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The size may be the same in pixels, which sends no WM_SIZE.
    LayoutMainWindow(window);
    if (s_measured) FitToolTipsToButtons(window);
}
