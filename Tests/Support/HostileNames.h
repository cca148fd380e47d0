// Names that have broken file managers: one table shared by the in-process tests and the tests on
// the real program, so that both go through the same names.
#pragma once

#include <string>
#include <vector>

#include "TreeSnapshot.h"

struct HostileName {
    const char* what;
    std::string device;   // the name's bytes on the device (not always UTF-8)
    std::wstring shown;   // what the tree and the list show for it
    bool folder;          // a folder holding one file (kInnerFileName), else a file
    bool local;           // a Windows file may carry the name too: it is dropped onto the device
};

extern const char kInnerFileName[];

const std::vector<HostileName>& HostileNames();
// The bytes every corpus file holds, distinct per entry, so that a mix-up shows.
std::string HostileContent(const HostileName& name);
// The name as the simulated device keeps it on disk with "rawnames 1": every byte that needs it
// in "%XX" form.
std::wstring EscapedHostName(const std::string& deviceBytes);
// Writes the corpus into a device folder on disk (host path, "\\?\" is added) and returns the
// snapshot it must keep whatever is refused.
TreeSnapshot WriteHostileCorpus(const std::wstring& folder);
// Writes the local-capable entries into a local folder, for dropping onto the device.
void WriteLocalHostileCorpus(const std::wstring& folder);
// A name of this many characters (ASCII), for device names and deep paths.
std::string LongText(size_t characters, char letter = 'n');
