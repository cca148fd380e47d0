// The hand-over of device notices: every change of the device list runs on the window's thread.
#pragma once

#include "iPhone.h"

bool OnMainWindowThread();

// Waits until no upload thread exists. On the thread that owns the main window it keeps serving
// the messages the upload thread sends meanwhile. False when device notices were closed during
// the wait on another thread (shutdown): the caller then gives up.
bool WaitUntilNoCopyThread();

// Runs a change of the device list that a device notice handed over (WMU_CHANGE_DEVICE_LIST) on the
// window's thread, unless an upload runs: the notice then waits for the upload and hands it over again.
void RunDeviceListChange(LPARAM change);

// Shutdown: from now on notices are ignored; returns when no handler runs any more.
void CloseDeviceNotices();

// Counts a running notice handler, for CloseDeviceNotices to wait for.
struct RunningNoticeHandler {
    RunningNoticeHandler();
    ~RunningNoticeHandler();
    RunningNoticeHandler(const RunningNoticeHandler&) = delete;
    RunningNoticeHandler& operator=(const RunningNoticeHandler&) = delete;
};

// Notices may come before the window exists; they reach the lists once it is built. False when
// notices were closed, before or during the wait.
bool NoticesOpenOnceWindowBuilt();

// A change of the device list that the notice thread hands to the window's thread.
struct HandedOverChange {
    void (*run)(void* change);
    void* change;
    enum Outcome { NOT_RUN, RAN, UPLOAD_RUNNING } outcome;
};

// Every change of the device list, and every look into it that a device notice needs, runs on the
// window's thread, one at a time: the notice thread hands the change over in a sent message and
// waits for it. A reset there after a failed opening thus never meets an arrival or a removal
// halfway. No change is made while an upload runs. False when the change was not made: the window
// is gone, or device notices were closed while waiting for the upload (shutdown).
template <class Change> bool ChangeDeviceList(Change change)
{
    HWND window = g_mainWindow.load();
    // Without any window there is no other thread that changes the list.
    if (!window || OnMainWindowThread()) {
        if (!WaitUntilNoCopyThread()) return false;
        change();
        return true;
    }
    HandedOverChange handOver{[](void* pending) { (*static_cast<Change*>(pending))(); }, &change,
                              HandedOverChange::NOT_RUN};
    do {
        if (!WaitUntilNoCopyThread() || MainWindowGone()) return false;
        // A window that goes meanwhile never runs it.
        handOver.outcome = HandedOverChange::NOT_RUN;
        SendMessageW(window, WMU_CHANGE_DEVICE_LIST, 0, reinterpret_cast<LPARAM>(&handOver));
    } while (handOver.outcome == HandedOverChange::UPLOAD_RUNNING);
    return handOver.outcome == HandedOverChange::RAN;
}
