// Device references, attachment, and the notice thread that calls the program's handler.
//
// The program unloads the library at shutdown while the subscription stands and the thread may be
// running; the thread therefore holds its own reference to this module (taken before it is
// created, released never) and lives until the process ends.
#include "SimExports.h"
#include "SimState.h"

namespace {

void DeliverQueuedNotices()
{
    for (;;) {
        SimNotice notice;
        {
            SimLock lock;
            SimState& state = Sim();
            if (state.notices.empty()) {
                return;
            }
            notice = state.notices.front();
            state.notices.pop_front();
            if (!notice.subscription->active) {
                continue;
            }
            state.delivering = 1;
        }
        // The handler sends messages to the program's UI thread, which may be calling into this
        // library meanwhile: the lock must be free here.
        AMDeviceNotice record = {reinterpret_cast<AMDeviceRef>(notice.device), notice.event};
        notice.subscription->handler(&record, notice.subscription->context);
        SimLock lock;
        Sim().delivering = 0;
    }
}

DWORD WINAPI NoticeThread(LPVOID)
{
    for (;;) {
        WaitForSingleObject(Sim().noticeWake, 100);
        try {
            SimStartAndPoll();
            DeliverQueuedNotices();
        } catch (...) {
            SimLock lock;
            Sim().delivering = 0;
        }
    }
}

bool StartNoticeThread()
{
    SimState& state = Sim();
    if (state.noticeThread) {
        return true;
    }
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&NoticeThread), &self)) {
        return false;
    }
    state.noticeWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    state.noticeThread = state.noticeWake ? CreateThread(nullptr, 0, NoticeThread, nullptr, 0, nullptr) : nullptr;
    if (!state.noticeThread) {
        if (state.noticeWake) {
            CloseHandle(state.noticeWake);
            state.noticeWake = nullptr;
        }
        FreeLibrary(self);
        return false;
    }
    return true;
}

}  // namespace

SimDevice* SimFindDevice(AMDeviceRef device)
{
    for (SimDevice* known : Sim().deviceList) {
        if (reinterpret_cast<AMDeviceRef>(known) == device) {
            return known;
        }
    }
    return nullptr;
}

SimDevice* SimDeviceById(const std::string& uniqueId)
{
    auto found = Sim().devices.find(uniqueId);
    return found == Sim().devices.end() ? nullptr : found->second;
}

void SimSetAttached(SimDevice* device, bool attached)
{
    if (device->attached == attached) {
        return;
    }
    device->attached = attached;
    if (!attached) {
        ++device->generation;
        device->connected = false;
        device->session = false;
    }
    SimQueueNotice(device, attached ? SIM_NOTICE_ARRIVED : SIM_NOTICE_LEFT);
}

void SimQueueNotice(SimDevice* device, uint32_t event)
{
    SimState& state = Sim();
    for (SimSubscription* subscription : state.subscriptions) {
        if (subscription->active) {
            state.notices.push_back(SimNotice{subscription, device, event});
        }
    }
    if (state.noticeWake) {
        SetEvent(state.noticeWake);
    }
}

unsigned SimPending()
{
    return static_cast<unsigned>(Sim().notices.size()) + Sim().delivering;
}

extern "C" {

__declspec(dllexport) int __cdecl AMDeviceNotificationSubscribe(AMDeviceNoticeHandler handler, uint32_t unused1,
                                                                uint32_t unused2, void* context,
                                                                AMNotificationRef* subscription)
{
    SimCall call("AMDeviceNotificationSubscribe", "%p, %u, %u, %p, %p", reinterpret_cast<void*>(handler), unused1,
                 unused2, context, static_cast<void*>(subscription));
    return call.Result(SimGuard([&]() -> int {
        if (call.Injected()) {
            return SIM_E_INJECTED;
        }
        if (!handler) {
            return SIM_E_INVALID_ARGUMENT;
        }
        SimLock lock;
        SimState& state = Sim();
        if (!StartNoticeThread()) {
            return SIM_E_UNKNOWN;
        }
        auto record = new SimSubscription{handler, context, true};
        state.subscriptions.push_back(record);
        for (SimDevice* device : state.deviceList) {
            if (device->attached) {
                state.notices.push_back(SimNotice{record, device, SIM_NOTICE_ARRIVED});
            }
        }
        SetEvent(state.noticeWake);
        if (subscription) {
            *subscription = reinterpret_cast<AMNotificationRef>(record);
        }
        return SIM_OK;
    }));
}

// Not used by the program; lets tests end a subscription. A delivery already running finishes.
__declspec(dllexport) int __cdecl AMDeviceNotificationUnsubscribe(AMNotificationRef subscription)
{
    SimCall call("AMDeviceNotificationUnsubscribe", "%p", static_cast<void*>(subscription));
    return call.Result(SimGuard([&]() -> int {
        SimLock lock;
        for (SimSubscription* known : Sim().subscriptions) {
            if (reinterpret_cast<AMNotificationRef>(known) == subscription && known->active) {
                known->active = false;
                auto& queue = Sim().notices;
                for (auto it = queue.begin(); it != queue.end();) {
                    it = it->subscription == known ? queue.erase(it) : it + 1;
                }
                return SIM_OK;
            }
        }
        return SIM_E_BAD_HANDLE;
    }));
}

}  // extern "C"
