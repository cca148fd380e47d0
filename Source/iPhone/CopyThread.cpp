#include "CopyThread.h"

#include <commctrl.h>

#include "DragObjects.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// Raised by the copy thread just before it posts its end notice. The notice is a plain IDOK
// command, which the dialog manager also produces for Enter; only a command that finds this flag
// raised may end the dialog, since ending means waiting for the copy thread.
std::atomic<bool> s_copyEndNoticePosted{false};

const int kCopyProgressRange = 10000;

// The dialog is told at most this often what is copied and how far. Moving a progress bar redraws
// it at once, which can take longer than copying a chunk; the bar is therefore told without waiting,
// and the text line, which is told and waited for, never right after the bar.
const DWORD kDisplayIntervalMs = 100;

// When the dialog was last told anything, and the position it shows; the copy thread's own.
struct DisplayState {
    DWORD tick = 0;
    int position = 0;
};
DisplayState s_display;

// The work of the copy thread: written before the thread starts, and only one runs at a time.
CopyWork s_work;

void OnCopyProgressInit(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, IDC_COPY_PROGRESS_BAR);
    HWND text = GetDlgItem(dialog, IDC_COPY_STATUS_TEXT);
    g_copyProgressBar = bar;
    g_copyStatusText = text;
    SendMessageW(bar, PBM_SETRANGE32, 0, kCopyProgressRange);
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    SetWindowTextW(text, L"");
    s_copyEndNoticePosted = false;
    // Last: a copy thread that sees the dialog may use both controls at once.
    g_copyDialog = dialog;
}

void OnCopyEndNotice(HWND dialog)
{
    g_copyDialog = nullptr;
    WaitForCopyThreadToFinish();
    EndDialog(dialog, 0);
}

bool DisplayDue()
{
    return GetTickCount() - s_display.tick >= kDisplayIntervalMs;
}

// A new copy: nothing told yet, the bar at its start.
void BeginCopyDisplay()
{
    s_display = DisplayState();
}

DWORD WINAPI CopyThreadProc(void*)
{
    CopyWork work = s_work;
    // A window gone before it showed the copy dialog: nothing was copied, nothing is.
    bool shown = WaitForCopyDialog();
    if (shown) {
        BeginCopyDisplay();
        if (UINT outcome = work.run(work.context)) PostMessageW(g_mainWindow.load(), outcome, 0, 0);
    }
    work.finish(work.context, shown);
    if (shown) PostCopyEndNotice();
    EndCopyThread();
    return 0;
}

}  // namespace

bool StartCopyThread(const CopyWork& work)
{
    g_copyCancel = 0;
    s_work = work;
    HANDLE thread = CreateThread(nullptr, 0, CopyThreadProc, nullptr, 0, nullptr);
    if (!thread) return false;
    g_copyThread = thread;
    PostMessageW(g_mainWindow.load(), WMU_SHOW_COPY_PROGRESS, 0, 0);
    return true;
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
            if (s_copyEndNoticePosted.exchange(false)) OnCopyEndNotice(dialog);
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

void PostCopyEndNotice()
{
    HWND dialog = g_copyDialog;
    if (!dialog) return;
    s_copyEndNoticePosted = true;
    if (!PostMessageW(dialog, WM_COMMAND, IDOK, 0)) s_copyEndNoticePosted = false;
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

void ShowCopyStatus(const wchar_t* text)
{
    HWND line = g_copyStatusText;
    if (line) SetWindowTextW(line, text);
    s_display.tick = GetTickCount();
}

bool ShowCopyStatusWhenDue(const wchar_t* text)
{
    if (!DisplayDue()) return false;
    ShowCopyStatus(text);
    return true;
}

void ShowCopyPosition(int position)
{
    if (position == s_display.position || (position < kCopyProgressRange && !DisplayDue())) return;
    SendNotifyMessageW(g_copyProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    s_display.position = position;
    s_display.tick = GetTickCount();
}

int ProgressPosition(uint64_t done, uint64_t total)
{
    if (total == 0) return 0;
    double ratio = static_cast<double>(done) * kCopyProgressRange / static_cast<double>(total);
    // A file that grew after the size pass must not push the position out of range.
    if (ratio > kCopyProgressRange) ratio = kCopyProgressRange;
    return static_cast<int>(static_cast<float>(ratio));
}
