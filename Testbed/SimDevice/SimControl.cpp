// The control functions that tests in the same process call (declared in SimControl.h).
#include "SimControl.h"

#include "SimState.h"

#define SIM_CONTROL extern "C" __declspec(dllexport)

namespace {

template <class R, class F> R Controlled(R failure, F body)
{
    try {
        SimStartAndPoll();
        SimLock lock;
        return body();
    } catch (...) {
        return failure;
    }
}

SimDevice* ConfiguredDevice(const char* uniqueId)
{
    SimDevice* device = uniqueId ? SimDeviceById(uniqueId) : nullptr;
    return device && device->configured ? device : nullptr;
}

}  // namespace

SIM_CONTROL int __cdecl SimLoadConfigText(const char* text)
{
    try {
        SimStartAndPoll();
        SimConfig config;
        std::string error;
        if (!text || !SimParseConfig(text, config, error)) {
            return -1;
        }
        SimLock lock;
        SimApplyConfig(config);
        return 0;
    } catch (...) {
        return -1;
    }
}

SIM_CONTROL int __cdecl SimAttach(const char* uniqueId)
{
    return Controlled(-1, [&] {
        SimDevice* device = ConfiguredDevice(uniqueId);
        if (!device) {
            return -1;
        }
        SimSetAttached(device, true);
        return 0;
    });
}

SIM_CONTROL int __cdecl SimDetach(const char* uniqueId)
{
    return Controlled(-1, [&] {
        SimDevice* device = ConfiguredDevice(uniqueId);
        if (!device) {
            return -1;
        }
        SimSetAttached(device, false);
        return 0;
    });
}

SIM_CONTROL int __cdecl SimDeliverNotice(const char* uniqueId, unsigned event)
{
    return Controlled(-1, [&] {
        SimDevice* device = ConfiguredDevice(uniqueId);
        if (!device) {
            return -1;
        }
        SimQueueNotice(device, event);
        return 0;
    });
}

SIM_CONTROL void* __cdecl SimDeviceRef(const char* uniqueId)
{
    return Controlled<void*>(nullptr, [&] { return static_cast<void*>(uniqueId ? SimDeviceById(uniqueId) : nullptr); });
}

SIM_CONTROL unsigned __cdecl SimPendingNotices(void)
{
    return Controlled(0u, [&] { return SimPending(); });
}

SIM_CONTROL void __cdecl SimUnsubscribeAll(void)
{
    Controlled(0, [&] {
        for (SimSubscription* subscription : Sim().subscriptions) {
            subscription->active = false;
        }
        Sim().notices.clear();
        return 0;
    });
}

SIM_CONTROL void __cdecl SimFailCalls(const char* function, unsigned nth, unsigned count)
{
    Controlled(0, [&] {
        if (!function) {
            return 0;
        }
        if (nth == 0 || count == 0) {
            Sim().faults.erase(function);
        } else {
            Sim().faults[function] = SimState::Fault{0, nth, count};
        }
        return 0;
    });
}

SIM_CONTROL void __cdecl SimFailCall(const char* function, unsigned nth)
{
    SimFailCalls(function, nth, 1);
}

SIM_CONTROL void __cdecl SimFailNthCall(unsigned nth)
{
    Controlled(0, [&] {
        Sim().failAnySeen = 0;
        Sim().failAnyNth = nth;
        return 0;
    });
}

SIM_CONTROL void __cdecl SimFailPath(const char* pattern)
{
    Controlled(0, [&] {
        Sim().failPath = pattern ? pattern : "";
        return 0;
    });
}

SIM_CONTROL unsigned __cdecl SimCallCount(const char* function)
{
    return Controlled(0u, [&] {
        if (!function) {
            return Sim().totalCalls;
        }
        auto found = Sim().callCounts.find(function);
        return found == Sim().callCounts.end() ? 0u : found->second;
    });
}

SIM_CONTROL void __cdecl SimResetCounters(void)
{
    Controlled(0, [&] {
        Sim().callCounts.clear();
        Sim().totalCalls = 0;
        return 0;
    });
}

SIM_CONTROL void __cdecl SimSetTrace(const char* path)
{
    Controlled(0, [&] {
        SimSetTraceFile(path ? SimHostFolder(path) : std::wstring());
        return 0;
    });
}

SIM_CONTROL void __cdecl SimSetLatency(unsigned microsecondsPerCall, unsigned bytesPerSecond)
{
    Controlled(0, [&] {
        Sim().latencyMicroseconds = microsecondsPerCall;
        Sim().bytesPerSecond = bytesPerSecond;
        return 0;
    });
}

SIM_CONTROL unsigned __cdecl SimOpenHandles(void)
{
    return Controlled(0u, [&] {
        const SimState& state = Sim();
        return static_cast<unsigned>(state.connections.size() + state.directories.size() + state.files.size() +
                                     state.readers.size());
    });
}

SIM_CONTROL unsigned __cdecl SimThreadMisuses(void)
{
    return Controlled(0u, [&] { return Sim().threadMisuses; });
}

SIM_CONTROL void __cdecl SimHoldCall(const char* function)
{
    Controlled(0, [&] {
        if (function) {
            Sim().held.insert(function);
        }
        return 0;
    });
}

SIM_CONTROL void __cdecl SimReleaseHeldCalls(void)
{
    Controlled(0, [&] {
        Sim().held.clear();
        return 0;
    });
}

SIM_CONTROL unsigned __cdecl SimHeldCalls(void)
{
    return Controlled(0u, [&] { return Sim().heldCalls; });
}
