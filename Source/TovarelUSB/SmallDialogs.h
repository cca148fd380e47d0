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

// The busy dialog of a drag out's asynchronous extraction. The request is posted (the target's
// StartOperation returns first) and the end may come before the request is handled: a request
// ended that way opens nothing, since nothing would be left to close the dialog.
void RequestCopyBusyDialog();
void CloseCopyBusyDialog();
// WMU_SHOW_COPY_BUSY: runs the dialog modally over the owner, unless its request has ended already
// or the dialog is open.
void RunCopyBusyDialog(HWND owner);
