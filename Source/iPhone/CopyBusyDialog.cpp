#include "CopyBusyDialog.h"

#include "DragObjects.h"
#include "TransferDialogs.h"
#include "iPhone.h"
#include "resource.h"

INT_PTR CALLBACK CopyBusyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        g_copyBusyDialog = dialog;
        return TRUE;
    case WM_COMMAND:
        // Cancel, Escape or the close box: a target that died or never ends its operation would
        // otherwise keep the window disabled for good.
        if (LOWORD(wParam) != IDCANCEL) return FALSE;
        CancelDragOut();
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        g_copyBusyDialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void RunCopyBusyDialog(HWND owner)
{
    if (!TakeCopyBusyRequest()) return;
    if (g_copyBusyDialog.load() || !DragOutOpen()) return;
    DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_COPY_BUSY), owner, CopyBusyDialogProc, 0);
}
