// The About box and the progress dialogs over the main window.
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CopyProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DeletingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CalculatingSizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CopyBusyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Called by the copy thread when it is done: the only way the copy-progress dialog ends.
void PostCopyEndNotice();
