// The copy thread: one at a time, shown by the copy-progress dialog ("Now Copying..."), whose Cancel
// raises g_copyCancel. An upload and a Save to both run their copy on it; the thread's start, its
// handshake with the dialog and the report of its outcome are the same for both.
#pragma once

#include <windows.h>

#include <cstdint>

// The work of one copy thread, handed over whole.
struct CopyWork {
    // On the copy thread, once the copy dialog shows: the copy. Answers the private message that
    // tells the main window how it went, or 0 for nothing to tell.
    UINT (*run)(void* context);
    // On the copy thread after `run`, or instead of it when the main window went before it could show
    // the dialog (nothing was copied): releases what the work was handed and does what follows it.
    void (*finish)(void* context, bool ran);
    void* context;
};

// Clears g_copyCancel, starts the copy thread on the work and has the main window show the copy
// dialog, which ends when the thread does. False when no thread could be started: nothing ran, and
// what the work was handed is still the caller's.
bool StartCopyThread(const CopyWork& work);

// The copy-progress dialog (WMU_SHOW_COPY_PROGRESS): modal over the main window while the copy
// thread runs, ended only by the copy thread's end notice.
INT_PTR CALLBACK CopyProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Called by the copy thread when it is done: the only way the copy-progress dialog ends.
void PostCopyEndNotice();
// The copy thread's first step: waits until the copy dialog is shown. False when the main window
// went before it could show it: the copy then does nothing and ends (EndCopyThread).
bool WaitForCopyDialog();
// The copy thread's last step: clears g_copyThread, which ends the copy dialog's wait.
void EndCopyThread();
// Waits on the window's thread until the copy thread is gone, serving the messages it sends.
void WaitForCopyThreadToFinish();

// What a copy thread tells the copy dialog: what is copied and how far, at most every
// 100 ms but for the end of the range (redrawing the bar can take longer than copying a chunk). Each
// copy starts with nothing told and the bar at its start.
// The status line's text.
void ShowCopyStatus(const wchar_t* text);
// The text unless the dialog was told something a moment ago; answers whether it was shown.
bool ShowCopyStatusWhenDue(const wchar_t* text);
// The bar's position: the end of the range always, a change before it when the dialog is due.
void ShowCopyPosition(int position);
// The progress bar's position for `done` of `total` bytes, in ten-thousandths (0 when the total is 0).
int ProgressPosition(uint64_t done, uint64_t total);
