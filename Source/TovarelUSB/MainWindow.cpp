#include "MainWindow.h"

INT_PTR CALLBACK MainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
void ShowWarning(const wchar_t*, const wchar_t*) {}
