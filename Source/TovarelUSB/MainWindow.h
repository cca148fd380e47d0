// The main window's dialog procedure: the one place where its messages are decided.
#pragma once

#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A wide warning box owned by the main window (exclamation icon, OK button).
void ShowWarning(const wchar_t* text, const wchar_t* title);
// The same with the error icon.
void ShowError(const wchar_t* text, const wchar_t* title);
