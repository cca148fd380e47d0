// The hand-over of device notices to the window's thread, and their end at shutdown.
#include "DeviceNotices.h"

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

RunningNoticeHandler::RunningNoticeHandler()
{
    ++s_noticeHandlersRunning;
}

RunningNoticeHandler::~RunningNoticeHandler()
{
    --s_noticeHandlersRunning;
}

bool NoticesOpenOnceWindowBuilt()
{
    while (!g_mainWindowBuilt && !s_noticesClosed) Sleep(10);
    return !s_noticesClosed;
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
