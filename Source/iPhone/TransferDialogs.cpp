#include "TransferDialogs.h"

#include "iPhone.h"
#include "resource.h"

namespace {

// Requests for the busy dialog posted and not yet handled, and how many of those were ended before
// they were handled. Only the user-interface thread touches them.
int s_busyRequestsQueued;
int s_busyRequestsEnded;

}  // namespace

INT_PTR CALLBACK DeletingDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

INT_PTR CALLBACK CalculatingSizeDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) return FALSE;
    SetDlgItemTextW(dialog, IDC_CALCULATING_TEXT, L"");
    return TRUE;
}

INT_PTR CALLBACK SizingBusyDialogProc(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND || LOWORD(wParam) != IDCANCEL) return FALSE;
    g_copyCancel = 1;
    return TRUE;
}

void RequestCopyBusyDialog()
{
    if (PostMessageW(g_mainWindow, WMU_SHOW_COPY_BUSY, 0, 0)) ++s_busyRequestsQueued;
}

void CloseCopyBusyDialog()
{
    s_busyRequestsEnded = s_busyRequestsQueued;
    if (HWND dialog = g_copyBusyDialog.load()) EndDialog(dialog, 0);
}

bool TakeCopyBusyRequest()
{
    if (s_busyRequestsQueued > 0) {
        --s_busyRequestsQueued;
        if (s_busyRequestsEnded > 0) {
            --s_busyRequestsEnded;
            return false;
        }
    }
    return true;
}
