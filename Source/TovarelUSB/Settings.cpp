#include "Settings.h"

#include <commctrl.h>
#include <climits>

#include "Dpi.h"
#include "MainLayout.h"
#include "RegistryKey.h"
#include "iPhone.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Marlquist\\TovarelUSB";
const int kMinWidth = 450;
const int kMinHeight = 370;

// Sizes are stored in pixels of a window at 96 DPI, whatever the scale they were saved at: the first
// versions were not DPI aware, Windows ran them as if at 96 DPI and stretched their window, so the
// sizes they stored are in those units at every scale, and each version reads right what the other
// wrote. The window's left and top edges are a position on the desktop, not a size: they are stored
// in physical pixels as Windows reports them, so that a window on a second monitor of another scale
// (whose desktop coordinates are not those of the first scaled) reopens where it was; the right and
// bottom edges are the left and top plus the stored width and height. Positions that the versions
// which scaled them stored are read the same way: at 100 % that changes nothing, at another scale
// the window opens at that fraction of its old distance from the desktop's corner, with its size
// and on a monitor. A value saved at another scale than 96 DPI may lose part of a pixel on the way.
long long ToWindowPixels(long long stored, int dpi)
{
    long long scaled = stored * dpi;
    long long half = kDefaultDpi / 2;
    return (scaled >= 0 ? scaled + half : scaled - half) / kDefaultDpi;
}

// The values in the order in which they are read and written.
enum SettingIndex {
    WINDOW_LEFT,
    WINDOW_RIGHT,
    WINDOW_TOP,
    WINDOW_BOTTOM,
    WINDOW_MAXIMIZED,
    DEVICE_LIST_WIDTH,
    TREE_WIDTH,
    LIST_WIDTH,
    DEVICE_LIST_HEIGHT,
    LOCATIONS_LIST_HEIGHT,
    COLUMN_WIDTH_0,
    COLUMN_WIDTH_1,
    SETTING_COUNT
};
const wchar_t* const kValueNames[SETTING_COUNT] = {
    L"WindowPosLeft",
    L"WindowPosRight",
    L"WindowPosTop",
    L"WindowPosBottom",
    L"WindowMaximized",
    L"SplitterDeviceListWidth",
    L"SplitterTreeWidth",
    L"SplitterListWidth",
    L"SplitterDeviceListHeight",
    L"SplitterLocationsListHeight",
    L"ListColumnWidth0",
    L"ListColumnWidth1",
};

// Added after the twelve: settings of older versions lack it, and those versions leave it alone.
// Missing, the column keeps its default width; the other values are used as they are.
const wchar_t kDateColumnWidthName[] = L"ListColumnWidth2";

bool ReadDword(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD type = 0;
    DWORD size = sizeof(*value);
    LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(*value);
}

// All twelve or nothing: a half-written set would mix geometry from two different runs.
bool ReadAllSettings(DWORD values[SETTING_COUNT], bool* hasDateWidth, DWORD* dateWidth)
{
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key.handle) != ERROR_SUCCESS) return false;
    for (int i = 0; i < SETTING_COUNT; ++i) {
        if (!ReadDword(key.handle, kValueNames[i], &values[i])) return false;
    }
    *hasDateWidth = ReadDword(key.handle, kDateColumnWidthName, dateWidth);
    return true;
}

int ClampToInt(long long value)
{
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

long long Extent(int from, int to)
{
    return static_cast<long long>(to) - from;
}

// A rectangle remembered on a monitor that has since gone would open the window where nobody can
// reach it; it is brought into the work area of the nearest monitor. A window larger than that work
// area (a size stored at a smaller scale, or on a larger monitor) is made to fit it, and placed in
// it; one that fits and is partly on a monitor stays where it was left.
void FitOntoMonitor(RECT* rect)
{
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(MonitorFromRect(rect, MONITOR_DEFAULTTONEAREST), &info)) return;
    const RECT& work = info.rcWork;
    long long width = Extent(rect->left, rect->right);
    long long height = Extent(rect->top, rect->bottom);
    bool tooLarge = width > Extent(work.left, work.right) || height > Extent(work.top, work.bottom);
    if (!tooLarge && MonitorFromRect(rect, MONITOR_DEFAULTTONULL)) return;
    if (width > Extent(work.left, work.right)) width = Extent(work.left, work.right);
    if (height > Extent(work.top, work.bottom)) height = Extent(work.top, work.bottom);
    long long left = rect->left;
    long long top = rect->top;
    if (left + width > work.right) left = work.right - width;
    if (left < work.left) left = work.left;
    if (top + height > work.bottom) top = work.bottom - height;
    if (top < work.top) top = work.top;
    *rect = {ClampToInt(left), ClampToInt(top), ClampToInt(left + width), ClampToInt(top + height)};
}

void WriteDword(HKEY key, const wchar_t* name, DWORD value)
{
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

}  // namespace

void RestoreSettings(HWND window)
{
    DWORD values[SETTING_COUNT] = {};
    bool hasDateWidth = false;
    DWORD dateWidth = 0;
    if (!ReadAllSettings(values, &hasDateWidth, &dateWidth)) return;

    // Stored edges may be anything; 64-bit arithmetic keeps the widening and scaling from wrapping.
    long long left = static_cast<int>(values[WINDOW_LEFT]);
    long long right = static_cast<int>(values[WINDOW_RIGHT]);
    long long top = static_cast<int>(values[WINDOW_TOP]);
    long long bottom = static_cast<int>(values[WINDOW_BOTTOM]);
    if (right < left + kMinWidth) right = left + kMinWidth;
    if (bottom < top + kMinHeight) bottom = top + kMinHeight;
    int dpi = LayoutDpi();
    auto scaled = [dpi](long long stored) { return ClampToInt(ToWindowPixels(stored, dpi)); };
    long long width = ToWindowPixels(right - left, dpi);
    long long height = ToWindowPixels(bottom - top, dpi);
    RECT rect = {ClampToInt(left), ClampToInt(top), ClampToInt(left + width), ClampToInt(top + height)};
    FitOntoMonitor(&rect);

    SplitterDeviceListWidth = scaled(static_cast<int>(values[DEVICE_LIST_WIDTH]));
    SplitterTreeWidth = scaled(static_cast<int>(values[TREE_WIDTH]));
    SplitterListWidth = scaled(static_cast<int>(values[LIST_WIDTH]));
    SplitterDeviceListHeight = scaled(static_cast<int>(values[DEVICE_LIST_HEIGHT]));
    SplitterLocationsListHeight = scaled(static_cast<int>(values[LOCATIONS_LIST_HEIGHT]));
    if (g_fileList) {
        ListView_SetColumnWidth(g_fileList, 0, scaled(LOWORD(values[COLUMN_WIDTH_0])));
        ListView_SetColumnWidth(g_fileList, 1, scaled(LOWORD(values[COLUMN_WIDTH_1])));
        if (hasDateWidth) ListView_SetColumnWidth(g_fileList, 2, scaled(LOWORD(dateWidth)));
    }

    MoveWindow(window, rect.left, rect.top, ClampToInt(Extent(rect.left, rect.right)),
               ClampToInt(Extent(rect.top, rect.bottom)), TRUE);
    // Moving to the size the window already has sends no WM_SIZE; the restored pane sizes must still
    // be fitted to the pane area.
    LayoutMainWindow(window);
    if (values[WINDOW_MAXIMIZED] != 0) ShowWindow(window, SW_SHOWMAXIMIZED);
}

void SaveSettings(HWND window)
{
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(window, &placement)) return;
    if (!g_fileList) return;
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key.handle, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const RECT& normal = placement.rcNormalPosition;
    int dpi = LayoutDpi();
    auto stored = [dpi](int pixels) { return static_cast<DWORD>(ScaleFromDpi(pixels, dpi)); };
    DWORD values[SETTING_COUNT] = {
        static_cast<DWORD>(normal.left),
        static_cast<DWORD>(normal.left) + stored(normal.right - normal.left),
        static_cast<DWORD>(normal.top),
        static_cast<DWORD>(normal.top) + stored(normal.bottom - normal.top),
        placement.showCmd == SW_SHOWMAXIMIZED ? 1u : 0u,
        stored(SplitterDeviceListWidth),
        stored(SplitterTreeWidth),
        stored(SplitterListWidth),
        stored(SplitterDeviceListHeight),
        stored(SplitterLocationsListHeight),
        stored(ListView_GetColumnWidth(g_fileList, 0)),
        stored(ListView_GetColumnWidth(g_fileList, 1)),
    };
    for (int i = 0; i < SETTING_COUNT; ++i) WriteDword(key.handle, kValueNames[i], values[i]);
    WriteDword(key.handle, kDateColumnWidthName, stored(ListView_GetColumnWidth(g_fileList, 2)));
}
