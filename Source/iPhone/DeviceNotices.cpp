// Device notices as the library delivers them, handed over to the window's thread.
#include "DeviceParts.h"

namespace {

std::atomic<int> s_noticeHandlersRunning{0};
std::atomic<bool> s_noticesClosed{false};

}  // namespace

bool OnMainWindowThread()
{
    HWND window = g_mainWindow.load();
    return window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

bool WaitUntilNoCopyThread()
{
    bool windowThread = OnMainWindowThread();
    while (g_copyThread.load()) {
        if (windowThread) {
            ServeSentMessagesBriefly();
        } else {
            if (s_noticesClosed) return false;
            Sleep(10);
        }
    }
    return true;
}

void __cdecl OnDeviceNotice(const DeviceNotice* notice, void*)
{
    struct RunningHandler {
        RunningHandler() { ++s_noticeHandlersRunning; }
        ~RunningHandler() { --s_noticeHandlersRunning; }
    } running;
    if (s_noticesClosed) return;
    // Notices may come before the window exists; they reach the lists once it is built.
    while (!g_mainWindowBuilt && !s_noticesClosed) Sleep(10);
    if (s_noticesClosed || !notice) return;
    switch (notice->event) {
    case DEVICE_NOTICE_ARRIVED:
        OnDeviceArrived(notice->device);
        break;
    case DEVICE_NOTICE_LEFT:
        OnDeviceRemoved(notice->device);
        break;
    default:
        ResetDevices();
        break;
    }
}

void CloseDeviceNotices()
{
    s_noticesClosed = true;
    // A handler may be inside a message sent to this thread: keep serving until it is out.
    while (s_noticeHandlersRunning.load() > 0) ServeSentMessagesBriefly();
}

void RunDeviceListChange(LPARAM change)
{
    HandedOverChange* handOver = reinterpret_cast<HandedOverChange*>(change);
    if (!handOver) return;
    // An upload started after the notice thread's wait: that thread waits again and comes back.
    if (g_copyThread.load()) {
        handOver->outcome = HandedOverChange::UPLOAD_RUNNING;
        return;
    }
    handOver->run(handOver->change);
    handOver->outcome = HandedOverChange::RAN;
}
