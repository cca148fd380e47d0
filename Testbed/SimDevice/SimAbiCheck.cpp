// Every function of the program's table has, in the simulated libraries, exactly the type the
// program calls it with.
#include <type_traits>

#include "SimCF.h"
#include "SimExports.h"

#define SIM_SAME_TYPE(name) \
    static_assert(std::is_same<decltype(&::name), decltype(DeviceLibrary::name)>::value, #name " differs")

SIM_SAME_TYPE(AMDeviceNotificationSubscribe);
SIM_SAME_TYPE(AMDeviceConnect);
SIM_SAME_TYPE(AMDeviceDisconnect);
SIM_SAME_TYPE(AMDeviceIsPaired);
SIM_SAME_TYPE(AMDeviceValidatePairing);
SIM_SAME_TYPE(AMDeviceStartSession);
SIM_SAME_TYPE(AMDeviceStopSession);
SIM_SAME_TYPE(AMDeviceStartService);
SIM_SAME_TYPE(AFCConnectionOpen);
SIM_SAME_TYPE(AFCConnectionClose);
SIM_SAME_TYPE(AFCDeviceInfoOpen);
SIM_SAME_TYPE(AFCDirectoryOpen);
SIM_SAME_TYPE(AFCDirectoryRead);
SIM_SAME_TYPE(AFCDirectoryClose);
SIM_SAME_TYPE(AFCDirectoryCreate);
SIM_SAME_TYPE(AFCFileInfoOpen);
SIM_SAME_TYPE(AFCKeyValueRead);
SIM_SAME_TYPE(AFCKeyValueClose);
SIM_SAME_TYPE(AFCRenamePath);
SIM_SAME_TYPE(AFCRemovePath);
SIM_SAME_TYPE(AFCFileRefOpen);
SIM_SAME_TYPE(AFCFileRefRead);
SIM_SAME_TYPE(AFCFileRefWrite);
SIM_SAME_TYPE(AFCFileRefClose);
SIM_SAME_TYPE(AMDeviceLookupApplications);
SIM_SAME_TYPE(CFRelease);
SIM_SAME_TYPE(CFStringGetLength);
SIM_SAME_TYPE(CFStringGetCharacters);
SIM_SAME_TYPE(AMDeviceCopyValue);
SIM_SAME_TYPE(AMDeviceStartHouseArrestService);
SIM_SAME_TYPE(CFDictionaryGetValue);
SIM_SAME_TYPE(CFDictionaryCreate);
SIM_SAME_TYPE(__CFStringMakeConstantString);
