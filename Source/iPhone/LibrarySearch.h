// Where Apple's mobile device support lies on this computer: every place one of Apple's installers
// (iTunes, Apple Mobile Device Support on its own, the Microsoft Store's iTunes and Apple Devices)
// records or puts it, in the order the binding tries them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// One architecture of Apple's device support: which registry view records it and where a Store
// package keeps it.
struct SupportArchitecture {
    WORD machine;                              // the PE machine of its files
    REGSAM registryView;                       // KEY_WOW64_64KEY or KEY_WOW64_32KEY
    const wchar_t* storeFolder;                // a Store package's folder of this architecture's support
    const wchar_t* storeRuntimeFolder;         // a Store package's system folder for this architecture
    const wchar_t* storeCoreFoundationFolder;  // where the package keeps this CoreFoundation, or null
    bool mapiFolder;                           // the folder of the mail interface holds the library too
};

// The program's own architecture and the other one (whose libraries it can never load).
const SupportArchitecture& OwnSupportArchitecture();
const SupportArchitecture& OtherSupportArchitecture();

// One place to load the mobile device library from, with what goes with it.
struct LibraryCandidate {
    std::wstring library;  // an existing file
    // Non-zero when the library exists but cannot be read or is no library at all: it is not
    // loaded, and this is the reason to report.
    DWORD error = 0;
    std::wstring coreFoundation;               // a CoreFoundation of the same architecture, or empty
    std::wstring dllDirectory;                 // where the library's companions are looked for
    std::vector<std::wstring> runtimeFolders;  // a Store package's own system folders, if any
};

// What a search met besides the candidates it offered.
struct SearchNotes {
    bool otherArchitecture = false;  // a recorded library was of the other architecture
};

// Offers each candidate of the architecture to `tryCandidate`, in order, until it answers true;
// returns whether one did. A library is offered once, and only when its file exists and is of the
// architecture's machine (or cannot be read, with `error` set).
bool SearchLibraryCandidates(const SupportArchitecture& architecture,
                             const std::function<bool(const LibraryCandidate&)>& tryCandidate, SearchNotes& notes);

// The machine a file's PE header names; 0 with `error` set when it cannot be read or is not one.
WORD ReadPeMachine(const wchar_t* path, DWORD& error);
