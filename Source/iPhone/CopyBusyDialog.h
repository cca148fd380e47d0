// The busy dialog of a drag out's asynchronous extraction: modal over the main window while the
// target extracts. Its Cancel gives up on the target: the drag out ends at once.
#pragma once

#include <windows.h>

INT_PTR CALLBACK CopyBusyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// WMU_SHOW_COPY_BUSY: runs the dialog modally over the owner, unless its request has ended already,
// the dialog is open or no drag out is (nothing would be left to close it).
void RunCopyBusyDialog(HWND owner);
