// The small dialogs that transfers and deletions show over the main window while they work.
#pragma once

#include <windows.h>

INT_PTR CALLBACK DeletingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CalculatingSizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The copy busy dialog's template (CopyBusyDialog.h), modeless, while the program walks the device
// for a Copy or a Save to: its Cancel (Escape, the close box) raises g_copyCancel, which the walk
// looks at.
INT_PTR CALLBACK SizingBusyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The requests for the busy dialog of a drag out's asynchronous extraction (CopyBusyDialog.h). The
// request is posted (the target's StartOperation returns first) and the end may come before the
// request is handled: a request ended that way opens nothing, since nothing would be left to close
// the dialog.
void RequestCopyBusyDialog();
// The drag out is over: the dialog closes, and the requests not yet handled open nothing.
void CloseCopyBusyDialog();
// WMU_SHOW_COPY_BUSY takes its request: false when it was ended before it was handled.
bool TakeCopyBusyRequest();
