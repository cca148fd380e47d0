// The device calls: connection, pairing, values, sessions, services and the application lookup.
//
// A device must be attached for any call, connected before pairing checks, values and sessions,
// and in a session before a service starts, as a real device demands.
#include "SimCF.h"
#include "SimExports.h"
#include "SimState.h"

namespace {

bool CfText(const void* string, std::string& text)
{
    char buffer[1024];
    CFIndex length = SimCFStringToUtf8(static_cast<CFStringRef>(string), buffer, sizeof buffer);
    if (length < 0 || length >= static_cast<CFIndex>(sizeof buffer)) {
        return false;
    }
    text.assign(buffer, static_cast<size_t>(length));
    return true;
}

std::string TraceText(const void* string)
{
    std::string text;
    return CfText(string, text) ? "\"" + text + "\"" : std::string("(not a string)");
}

enum Need { NEED_ATTACHED, NEED_CONNECTION, NEED_SESSION };

// The device when it is in the needed state; otherwise null and the failure in `failure`.
SimDevice* Ready(AMDeviceRef ref, Need need, int& failure)
{
    SimDevice* device = SimFindDevice(ref);
    if (!device) {
        failure = SIM_E_BAD_HANDLE;
    } else if (!device->attached || (need >= NEED_CONNECTION && !device->connected)) {
        failure = SIM_E_NOT_CONNECTED;
    } else if (need >= NEED_SESSION && !device->session) {
        failure = SIM_E_NO_SESSION;
    } else {
        return device;
    }
    return nullptr;
}

// A device call: the checks every call makes, then `body` on the device, under the lock, when it
// is in the needed state. The caller hands the result to SimCall::Result.
template <class Valid, class Body>
int WithDevice(const SimCall& call, AMDeviceRef ref, Need need, Valid valid, Body body)
{
    return SimChecked(call, valid, [&]() -> int {
        int failure = SIM_OK;
        SimDevice* device = Ready(ref, need, failure);
        return device ? body(*device) : failure;
    });
}

template <class Body> int WithDevice(const SimCall& call, AMDeviceRef ref, Need need, Body body)
{
    return WithDevice(call, ref, need, SimAnyArguments, body);
}

AMServiceRef NewService(SimDevice* device, const std::wstring& root)
{
    auto service = new SimService{device, device->generation, root};
    Sim().services.insert(service);
    return service;
}

CFDictionaryRef MakeApplicationTable(const SimDevice* device)
{
    std::vector<const void*> keys, values;
    for (const SimApp& app : device->config.apps) {
        const void* infoKey = SimCFStringCreateUtf8("CFBundleIdentifier");
        const void* infoValue = SimCFStringCreateUtf8(app.identifier.c_str());
        keys.push_back(SimCFStringCreateUtf8(app.identifier.c_str()));
        values.push_back(SimCFDictionaryCreateOwned(&infoKey, &infoValue, 1));
    }
    return SimCFDictionaryCreateOwned(keys.data(), values.data(), static_cast<CFIndex>(keys.size()));
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl AMDeviceConnect(AMDeviceRef ref)
{
    SimCall call("AMDeviceConnect", "%p", static_cast<void*>(ref));
    return call.Result(WithDevice(call, ref, NEED_ATTACHED, [](SimDevice& device) {
        device.connected = true;
        return SIM_OK;
    }));
}

__declspec(dllexport) int __cdecl AMDeviceDisconnect(AMDeviceRef ref)
{
    SimCall call("AMDeviceDisconnect", "%p", static_cast<void*>(ref));
    return call.Result(WithDevice(call, ref, NEED_CONNECTION, [](SimDevice& device) {
        device.connected = false;
        device.session = false;
        return SIM_OK;
    }));
}

// Answers 1 for a paired device; 0 for an unpaired one and for every failure.
__declspec(dllexport) int __cdecl AMDeviceIsPaired(AMDeviceRef ref)
{
    SimCall call("AMDeviceIsPaired", "%p", static_cast<void*>(ref));
    int paired = 0;
    WithDevice(call, ref, NEED_CONNECTION, [&](SimDevice& device) {
        paired = device.config.paired ? 1 : 0;
        return SIM_OK;
    });
    return call.Result(paired);
}

__declspec(dllexport) int __cdecl AMDeviceValidatePairing(AMDeviceRef ref)
{
    SimCall call("AMDeviceValidatePairing", "%p", static_cast<void*>(ref));
    return call.Result(WithDevice(call, ref, NEED_CONNECTION, [](SimDevice& device) {
        return device.config.paired ? device.config.validate : SIM_E_NOT_PAIRED;
    }));
}

__declspec(dllexport) int __cdecl AMDeviceStartSession(AMDeviceRef ref)
{
    SimCall call("AMDeviceStartSession", "%p", static_cast<void*>(ref));
    return call.Result(WithDevice(call, ref, NEED_CONNECTION, [](SimDevice& device) {
        if (!device.config.paired || device.config.validate != 0) {
            return SIM_E_NOT_PAIRED;
        }
        device.session = true;
        return SIM_OK;
    }));
}

__declspec(dllexport) int __cdecl AMDeviceStopSession(AMDeviceRef ref)
{
    SimCall call("AMDeviceStopSession", "%p", static_cast<void*>(ref));
    return call.Result(WithDevice(call, ref, NEED_SESSION, [](SimDevice& device) {
        device.session = false;
        return SIM_OK;
    }));
}

// With a null domain: "DeviceName" (null when the device has none), "UniqueDeviceID",
// "ProductType" (the model) and "DeviceClass". A new string that the caller releases.
__declspec(dllexport) CFStringRef __cdecl AMDeviceCopyValue(AMDeviceRef ref, CFStringRef domain, CFStringRef key)
{
    SimCall call("AMDeviceCopyValue", "%p, %p, %s", static_cast<const void*>(ref), static_cast<const void*>(domain),
                 TraceText(key).c_str());
    CFStringRef value = nullptr;
    std::string name;
    WithDevice(
        call, ref, NEED_CONNECTION, [&] { return !domain && CfText(key, name); },
        [&](SimDevice& device) {
            const SimDeviceConfig& config = device.config;
            if (name == "DeviceName" && config.hasName) {
                value = SimCFStringCreateUtf8(config.name.c_str());
            } else if (name == "UniqueDeviceID") {
                value = SimCFStringCreateUtf8(config.uniqueId.c_str());
            } else if (name == "ProductType") {
                value = SimCFStringCreateUtf8(config.model.c_str());
            } else if (name == "DeviceClass") {
                value = SimCFStringCreateUtf8(config.model.compare(0, 4, "iPad") == 0 ? "iPad" : "iPhone");
            }
            return SIM_OK;
        });
    call.Result(value);
    return value;
}

// Only "com.apple.afc", which sees the device's storage folder.
__declspec(dllexport) int __cdecl AMDeviceStartService(AMDeviceRef ref, CFStringRef name, AMServiceRef* service,
                                                       void* unknown)
{
    SimCall call("AMDeviceStartService", "%p, %s, %p, %p", static_cast<void*>(ref), TraceText(name).c_str(),
                 static_cast<void*>(service), unknown);
    SimClear(service);
    std::string text;
    return call.Result(WithDevice(
        call, ref, NEED_SESSION, [&] { return service && CfText(name, text); },
        [&](SimDevice& device) {
            if (text != "com.apple.afc") {
                return SIM_E_NO_SERVICE;
            }
            *service = NewService(&device, device.config.storage);
            return SIM_OK;
        }));
}

// An installed application's container, with the options {"Command": "VendDocuments"}.
__declspec(dllexport) int __cdecl AMDeviceStartHouseArrestService(AMDeviceRef ref, CFStringRef identifier,
                                                                  CFDictionaryRef options, AMServiceRef* service,
                                                                  void* unknown)
{
    SimCall call("AMDeviceStartHouseArrestService", "%p, %s, %p, %p, %p", static_cast<void*>(ref),
                 TraceText(identifier).c_str(), static_cast<const void*>(options), static_cast<void*>(service),
                 unknown);
    SimClear(service);
    std::string application, command;
    auto valid = [&] {
        return service && CfText(identifier, application) && options &&
               CfText(SimCFDictionaryFindText(options, "Command"), command) && command == "VendDocuments";
    };
    return call.Result(WithDevice(call, ref, NEED_SESSION, valid, [&](SimDevice& device) {
        for (const SimApp& app : device.config.apps) {
            if (app.identifier == application) {
                *service = NewService(&device, app.folder);
                return SIM_OK;
            }
        }
        return SIM_E_NOT_INSTALLED;
    }));
}

// A new dictionary keyed by application identifier, each value a dictionary with
// "CFBundleIdentifier"; the caller releases it.
__declspec(dllexport) int __cdecl AMDeviceLookupApplications(AMDeviceRef ref, CFDictionaryRef options,
                                                             CFDictionaryRef* applications)
{
    SimCall call("AMDeviceLookupApplications", "%p, %p, %p", static_cast<void*>(ref),
                 static_cast<const void*>(options), static_cast<void*>(applications));
    SimClear(applications);
    auto valid = [&] { return applications != nullptr; };
    return call.Result(WithDevice(call, ref, NEED_CONNECTION, valid, [&](SimDevice& device) {
        if (device.config.lookupFails) {
            return SIM_E_LOOKUP;
        }
        *applications = MakeApplicationTable(&device);
        return *applications ? SIM_OK : SIM_E_NO_MEMORY;
    }));
}

}  // extern "C"
