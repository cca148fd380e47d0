#include "SmallDialogs.h"

#include <commctrl.h>

#include "Dpi.h"
#include "DragObjects.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// Raised by the copy thread just before it posts its end notice. The notice is a plain IDOK
// command, which the dialog manager also produces for Enter; only a command that finds this flag
// raised may end the dialog, since ending means waiting for the copy thread.
std::atomic<bool> g_copyEndNoticePosted{false};

const int kCopyProgressRange = 10000;

// Requests for the busy dialog posted and not yet handled, and how many of those were ended before
// they were handled. Only the user-interface thread touches them.
int s_busyRequestsQueued;
int s_busyRequestsEnded;

void OnCopyProgressInit(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, IDC_COPY_PROGRESS_BAR);
    HWND text = GetDlgItem(dialog, IDC_COPY_STATUS_TEXT);
    g_copyProgressBar = bar;
    g_copyStatusText = text;
    SendMessageW(bar, PBM_SETRANGE32, 0, kCopyProgressRange);
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    SetWindowTextW(text, L"");
    g_copyEndNoticePosted = false;
    // Last: a copy thread that sees the dialog may use both controls at once.
    g_copyDialog = dialog;
}

void OnCopyEndNotice(HWND dialog)
{
    g_copyDialog = nullptr;
    WaitForCopyThreadToFinish();
    EndDialog(dialog, 0);
}

HWND AboutPicture(HWND dialog)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
    }
    return nullptr;
}

// The picture is 48 pixels at 96 DPI; the template shows the icon's first image, which is that size,
// whatever the scale. The icon the template loaded is the system's to release.
void ShowAboutPicture(HWND dialog)
{
    const int kPictureSize = 48;
    HWND picture = AboutPicture(dialog);
    HICON icon = picture ? LoadProgramIcon(IDI_ABOUT, ScaleToDpi(kPictureSize, DpiOfWindow(dialog))) : nullptr;
    if (icon) SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

}  // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        ShowAboutPicture(dialog);
        return TRUE;
    }
    if (message == WM_DESTROY) {
        if (HWND picture = AboutPicture(dialog)) {
            HICON icon = reinterpret_cast<HICON>(SendMessageW(picture, STM_GETICON, 0, 0));
            if (icon) DestroyIcon(icon);
        }
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
    case IDM_EXIT:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CopyProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnCopyProgressInit(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (g_copyEndNoticePosted.exchange(false)) OnCopyEndNotice(dialog);
            return FALSE;
        case IDCANCEL:
            // The copy thread stops at its next check, cleans up and then sends the end notice.
            g_copyCancel = 1;
            return FALSE;
        default:
            return TRUE;
        }
    default:
        return FALSE;
    }
}

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

INT_PTR CALLBACK SizingBusyDialogProc(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND || LOWORD(wParam) != IDCANCEL) return FALSE;
    g_copyCancel = 1;
    return TRUE;
}

void PostCopyEndNotice()
{
    HWND dialog = g_copyDialog;
    if (!dialog) return;
    g_copyEndNoticePosted = true;
    if (!PostMessageW(dialog, WM_COMMAND, IDOK, 0)) g_copyEndNoticePosted = false;
}

void WaitForCopyThreadToFinish()
{
    // Sent messages are still served, in case the copy thread makes one more call into the window.
    while (g_copyThread.load() != nullptr) ServeSentMessagesBriefly();
    // The connection is the window's again: what a stream let go of meanwhile is closed now.
    CloseDeferredDeviceFiles();
}

bool WaitForCopyDialog()
{
    // The dialog publishes its controls before itself. Polled finely: a copy of a few small files
    // takes no longer than a coarse poll would add.
    while (!g_copyDialog.load()) {
        if (MainWindowGone()) return false;
        Sleep(1);
    }
    return true;
}

void EndCopyThread()
{
    // Cleared before it is closed: the dialog ends once it sees the handle cleared, and whoever reads
    // the handle meanwhile (to tell the copy thread by its id) must never get one already closed, or
    // reused for another object.
    HANDLE thread = g_copyThread.exchange(nullptr);
    if (thread) CloseHandle(thread);
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

void RunCopyBusyDialog(HWND owner)
{
    if (s_busyRequestsQueued > 0) {
        --s_busyRequestsQueued;
        if (s_busyRequestsEnded > 0) {
            --s_busyRequestsEnded;
            return;
        }
    }
    if (g_copyBusyDialog.load() || !DragOutOpen()) return;
    DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_COPY_BUSY), owner, CopyBusyDialogProc, 0);
}
