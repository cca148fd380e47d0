// In-process harness for tests of the real main window and the small dialogs.
//
// The test thread is the user-interface thread: CreateMainWindowForTest creates dialog 103 modeless
// with the real dialog procedure (so WM_INITDIALOG builds it exactly as the program does), and the
// tests drive it with real messages and pump with PumpMessages. DestroyMainWindowForTest destroys
// it and forgets every process-wide handle the build left behind, so the next test builds afresh.
// The build reads the settings key: empty it (RegistryKeyGuard, DeleteKey) before creating the window.
#pragma once

#include <windows.h>

#include <functional>

// Null when the dialog could not be created or its build failed.
HWND CreateMainWindowForTest();
void DestroyMainWindowForTest(HWND window);

// Dispatches every waiting message (through IsDialogMessage for dialogs), then keeps doing so for
// the given time.
void PumpMessages(DWORD milliseconds = 0);
// Pumps until the condition holds or the time is up; answers the condition's last value.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMilliseconds = 5000);

// Rectangles of a child control in its parent's client coordinates, and of the client on screen.
RECT ControlRectInParent(HWND control);
RECT ClientRectOnScreen(HWND window);

// Real mouse input (SendInput): the system routes it, hit-tests it, sends WM_SETCURSOR and honours
// the mouse capture exactly as for a user's mouse. Each call pumps until the input is handled.
// MoveMouseTo answers whether the cursor arrived at the point.
bool MoveMouseTo(POINT screenPoint);
void PressLeftButton();
void ReleaseLeftButton();
void ClickRightButton();

// The key of the remembered window geometry; tests hold a RegistryKeyGuard (RegistryGuard.h) on it.
extern const wchar_t kSettingsKeyPath[];
// One value of that key; false when it is missing or not a 4-byte REG_DWORD.
bool ReadSettingsDword(const wchar_t* name, DWORD* value);
