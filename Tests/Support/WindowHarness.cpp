#include "WindowHarness.h"

#include <commctrl.h>

#include "MainWindow.h"
#include "Splitter.h"
#include "Startup.h"
#include "iPhone.h"
#include "resource.h"

const wchar_t kSettingsKeyPath[] = L"Software\\Marlquist\\TovarelUSB";

namespace {

bool IsDialogWindow(HWND window)
{
    wchar_t name[16] = L"";
    return window && GetClassNameW(window, name, 16) && wcscmp(name, L"#32770") == 0;
}

}  // namespace

HWND CreateMainWindowForTest()
{
    if (!RegisterSplitterClass(g_instance)) return nullptr;
    HWND window = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (!window) return nullptr;
    if (!g_mainWindowBuilt) {
        DestroyMainWindowForTest(window);
        return nullptr;
    }
    PumpMessages();
    return window;
}

void DestroyMainWindowForTest(HWND window)
{
    if (window) DestroyWindow(window);
    PumpMessages();
    g_mainWindow = nullptr;
    g_mainWindowBuilt = false;
    g_fileList = nullptr;
    g_deviceList = nullptr;
    g_locationsList = nullptr;
    if (g_fileImageList) ImageList_Destroy(g_fileImageList);
    g_fileImageList = nullptr;
    if (g_deviceImageList) ImageList_Destroy(g_deviceImageList);
    g_deviceImageList = nullptr;
    FreeExtensionTable();
}

void PumpMessages(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
            if (IsDialogWindow(root) && IsDialogMessageW(root, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (GetTickCount() - start >= milliseconds) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (true);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMilliseconds)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeoutMilliseconds) return condition();
        PumpMessages(10);
    }
    return true;
}

RECT ControlRectInParent(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT ClientRectOnScreen(HWND window)
{
    RECT rect = {};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

namespace {

void SendMouseInput(DWORD flags, LONG dx, LONG dy)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
    PumpMessages(30);
}

}  // namespace

bool MoveMouseTo(POINT screenPoint)
{
    // Absolute input is in 1/65535 of the screen.
    LONG dx = MulDiv(screenPoint.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    LONG dy = MulDiv(screenPoint.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    SendMouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, dx, dy);
    POINT now = {};
    GetCursorPos(&now);
    return now.x == screenPoint.x && now.y == screenPoint.y;
}

void PressLeftButton()
{
    SendMouseInput(MOUSEEVENTF_LEFTDOWN, 0, 0);
}

void ReleaseLeftButton()
{
    SendMouseInput(MOUSEEVENTF_LEFTUP, 0, 0);
}

void ClickRightButton()
{
    // Both at once: a control may wait for the release in a loop of its own.
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, inputs, sizeof(INPUT));
    PumpMessages(30);
}

bool ReadSettingsDword(const wchar_t* name, DWORD* value)
{
    DWORD type = 0;
    DWORD size = sizeof(*value);
    LONG result = RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_ANY, &type, value, &size);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(*value);
}
