// Reading the key and value pairs of a device's information or of a file's information.
#pragma once

#include "DeviceLibrary.h"

enum class PairsOutcome { Read, ReadFailed, CloseFailed };

// Hands every pair that has both a key and a value to visit(key, value), which returns false to stop
// early; the pairs end at an empty key. The reader is closed on every path.
template <typename Visitor>
PairsOutcome ReadPairsAndClose(AFCKeyValueReaderRef reader, Visitor&& visit)
{
    for (;;) {
        char* key = nullptr;
        char* value = nullptr;
        if (g_lib.AFCKeyValueRead(reader, &key, &value) != 0) {
            g_lib.AFCKeyValueClose(reader);
            return PairsOutcome::ReadFailed;
        }
        if (!key || !*key) break;
        if (value && !visit(key, value)) break;
    }
    return g_lib.AFCKeyValueClose(reader) == 0 ? PairsOutcome::Read : PairsOutcome::CloseFailed;
}
