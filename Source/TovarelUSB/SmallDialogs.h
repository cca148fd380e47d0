// The About box and the progress dialogs over the main window.
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CopyProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DeletingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CalculatingSizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CopyBusyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The same dialog, modeless, while the program walks the device for a Copy or a Save to: its
// Cancel (Escape, the close box) raises g_copyCancel, which the walk looks at.
INT_PTR CALLBACK SizingBusyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Called by the copy thread when it is done: the only way the copy-progress dialog ends.
void PostCopyEndNotice();
// The copy thread's first step: waits until the copy dialog is shown. False when the main window
// went before it could show it: the copy then does nothing and ends (EndCopyThread).
bool WaitForCopyDialog();
// The copy thread's last step: clears g_copyThread, which ends the copy dialog's wait.
void EndCopyThread();
// Waits on the window's thread until the copy thread is gone, serving the messages it sends.
void WaitForCopyThreadToFinish();

// The busy dialog of a drag out's asynchronous extraction. The request is posted (the target's
// StartOperation returns first) and the end may come before the request is handled: a request
// ended that way, or one handled when no drag out is open, opens nothing, since nothing would be
// left to close the dialog. Its Cancel gives up on the target: the drag out ends at once.
void RequestCopyBusyDialog();
void CloseCopyBusyDialog();
// WMU_SHOW_COPY_BUSY: runs the dialog modally over the owner, unless its request has ended already
// or the dialog is open.
void RunCopyBusyDialog(HWND owner);
