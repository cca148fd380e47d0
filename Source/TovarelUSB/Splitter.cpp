#include "Splitter.h"

#include "MainLayout.h"

namespace {

const wchar_t kSplitterClass[] = L"MRQ_SPLITTERVIEW";

enum DragMode { DRAG_NONE, DRAG_TREE_LIST, DRAG_DEVICE_TREE, DRAG_DEVICE_LOCATIONS };

DragMode s_dragMode = DRAG_NONE;
int s_grabOffset;
HCURSOR s_sizeWestEastCursor;
HCURSOR s_sizeNorthSouthCursor;

// The position of the message being handled, not its parameters: a captured drag reports points
// outside the window, where only the message position is reliable.
POINT MessagePointInClient(HWND splitter)
{
    DWORD position = GetMessagePos();
    POINT point = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(splitter, &point);
    return point;
}

int TreeListBandLeft()
{
    return SplitterDeviceListWidth + SplitterTreeWidth + PaneBand();
}

// Bands are tested in this order; both ends of a band belong to it.
DragMode BandAt(POINT point)
{
    int band = PaneBand();
    if (point.x >= TreeListBandLeft() && point.x <= TreeListBandLeft() + band) return DRAG_TREE_LIST;
    if (point.x >= SplitterDeviceListWidth && point.x <= SplitterDeviceListWidth + band) return DRAG_DEVICE_TREE;
    if (point.x < SplitterDeviceListWidth && point.y >= SplitterDeviceListHeight &&
        point.y <= SplitterDeviceListHeight + band) {
        return DRAG_DEVICE_LOCATIONS;
    }
    return DRAG_NONE;
}

// The shape follows where the cursor is now. The system sends WM_SETCURSOR while it is still
// taking the mouse message in, and Wine updates the message position only afterwards: read there,
// the shape would lag one move behind.
POINT CursorPointInClient(HWND splitter)
{
    POINT point = {};
    GetCursorPos(&point);
    ScreenToClient(splitter, &point);
    return point;
}

bool OnSetCursor(HWND splitter)
{
    DragMode band = BandAt(CursorPointInClient(splitter));
    if (band == DRAG_NONE) return false;
    SetCursor(band == DRAG_DEVICE_LOCATIONS ? s_sizeNorthSouthCursor : s_sizeWestEastCursor);
    return true;
}

void OnButtonDown(HWND splitter)
{
    POINT point = MessagePointInClient(splitter);
    s_dragMode = BandAt(point);
    switch (s_dragMode) {
    case DRAG_TREE_LIST:
        s_grabOffset = point.x - TreeListBandLeft();
        break;
    case DRAG_DEVICE_TREE:
        s_grabOffset = point.x - SplitterDeviceListWidth;
        break;
    case DRAG_DEVICE_LOCATIONS:
        s_grabOffset = point.y - SplitterDeviceListHeight;
        break;
    case DRAG_NONE:
        return;
    }
    SetCapture(splitter);
}

void DragTreeListBand(HWND window, int x, int areaWidth)
{
    int band = PaneBand();
    int least = MinimumPane();
    SplitterTreeWidth = x - s_grabOffset - SplitterDeviceListWidth - band;
    if (SplitterTreeWidth < least) SplitterTreeWidth = least;
    SplitterListWidth = areaWidth - SplitterDeviceListWidth - band - SplitterTreeWidth - band;
    if (SplitterListWidth < least) {
        SplitterListWidth = least;
        SplitterTreeWidth = areaWidth - SplitterDeviceListWidth - (least + 2 * band);
    }
    MovePanes(window, PANE_TREE | PANE_FILE_LIST);
}

// The file list keeps its width and position; only the device column and the tree trade pixels.
void DragDeviceTreeBand(HWND window, int x, int areaWidth)
{
    int band = PaneBand();
    int least = MinimumPane();
    SplitterDeviceListWidth = x - s_grabOffset;
    if (SplitterDeviceListWidth < least) SplitterDeviceListWidth = least;
    SplitterTreeWidth = areaWidth - SplitterDeviceListWidth - band - SplitterListWidth - band;
    if (SplitterTreeWidth < least) {
        SplitterTreeWidth = least;
        SplitterDeviceListWidth = areaWidth - SplitterTreeWidth - band - SplitterListWidth - band;
    }
    MovePanes(window, PANE_DEVICE_LIST | PANE_LOCATIONS_LIST | PANE_TREE);
}

void DragDeviceLocationsBand(HWND window, int y, int areaHeight)
{
    int band = PaneBand();
    int least = MinimumPane();
    SplitterDeviceListHeight = y - s_grabOffset;
    if (SplitterDeviceListHeight < least) SplitterDeviceListHeight = least;
    SplitterLocationsListHeight = areaHeight - SplitterDeviceListHeight - band;
    if (SplitterLocationsListHeight < least) {
        SplitterLocationsListHeight = least;
        SplitterDeviceListHeight = areaHeight - (least + band);
    }
    MovePanes(window, PANE_DEVICE_LIST | PANE_LOCATIONS_LIST);
}

void OnMouseMove(HWND splitter)
{
    if (s_dragMode == DRAG_NONE) return;
    HWND window = GetParent(splitter);
    if (!window) return;
    POINT point = MessagePointInClient(splitter);
    int areaWidth = 0;
    int areaHeight = 0;
    GetPaneAreaSize(window, &areaWidth, &areaHeight);
    switch (s_dragMode) {
    case DRAG_TREE_LIST:
        DragTreeListBand(window, point.x, areaWidth);
        break;
    case DRAG_DEVICE_TREE:
        DragDeviceTreeBand(window, point.x, areaWidth);
        break;
    case DRAG_DEVICE_LOCATIONS:
        DragDeviceLocationsBand(window, point.y, areaHeight);
        break;
    case DRAG_NONE:
        break;
    }
}

void OnButtonUp()
{
    if (s_dragMode == DRAG_NONE) return;
    s_dragMode = DRAG_NONE;
    ReleaseCapture();
}

LRESULT CALLBACK SplitterWindowProc(HWND splitter, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETCURSOR:
        if (OnSetCursor(splitter)) return TRUE;
        break;
    case WM_LBUTTONDOWN:
        OnButtonDown(splitter);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(splitter);
        return 0;
    case WM_LBUTTONUP:
        OnButtonUp();
        return 0;
    case WM_CAPTURECHANGED:
        // Losing the capture to another window (a message box, a task switch) means the button-up
        // will never come here; without this the next plain mouse move would go on dragging.
        if (reinterpret_cast<HWND>(lParam) != splitter) s_dragMode = DRAG_NONE;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(splitter, message, wParam, lParam);
}

}  // namespace

bool RegisterSplitterClass(HINSTANCE instance)
{
    s_sizeWestEastCursor = LoadCursorW(nullptr, IDC_SIZEWE);
    s_sizeNorthSouthCursor = LoadCursorW(nullptr, IDC_SIZENS);
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, kSplitterClass, &existing)) return true;

    WNDCLASSEXW splitterClass = {};
    splitterClass.cbSize = sizeof(splitterClass);
    splitterClass.style = 0;
    splitterClass.lpfnWndProc = SplitterWindowProc;
    splitterClass.hInstance = instance;
    splitterClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    splitterClass.hbrBackground = nullptr;
    splitterClass.lpszClassName = kSplitterClass;
    return RegisterClassExW(&splitterClass) != 0;
}

void ResetSplitterDrag()
{
    s_dragMode = DRAG_NONE;
}
