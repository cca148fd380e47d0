// Reaching the simulated device library from a test program.
//
// The control functions of SimControl.h (SimLoadConfigText, SimAttach, SimDetach, SimDeliverNotice,
// SimFailCall, SimCallCount, ...) are defined in SimDevice.cpp as forwarders to the simulated library
// loaded in this process, so a test includes this header and calls them by name. When the library
// is not loaded yet (the program has not bound it), the first call loads it from TOVAREL_SIM_DIR.
//
// A typical test:
//   std::wstring root = SimMakeTempFolder(L"browse");
//   ASSERT_EQ(SimLoadConfigText(SimWriteDeviceTree(root).c_str()), 0);
//   ... start the program's side, then SimWaitNotices() while notices are delivered ...
//   SimDetach(kSimDeviceId); SimWaitNotices();
//   SimRemoveTree(root);
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "DeviceLibrary.h"
#include "SimControl.h"

// The unique id SimWriteDeviceTree gives its device unless told otherwise.
extern const char* const kSimDeviceId;

// A Unix path as Wine sees it ("/a/b" is "Z:\a\b"); a Windows path comes back unchanged.
std::wstring SimWindowsPath(const std::string& path);
// The folder of SimMobileDevice.dll and CoreFoundation.dll (TOVAREL_SIM_DIR), or empty.
std::wstring SimLibraryFolder();
// The simulated library in this process: found by name when loaded, else loaded from
// TOVAREL_SIM_DIR after SetDllDirectoryW on that folder (as the program does, so that
// CoreFoundation.dll is found). Stays loaded. Null when neither works.
HMODULE SimModule();
// The simulated CoreFoundation.dll in this process (loaded with SimModule), or null.
HMODULE SimCoreFoundationModule();
// Resolves every function of the program's table from the simulated libraries, as the program's
// binding does. False when any is missing.
bool SimBindLibrary(DeviceLibrary& lib);
// Objects of the simulated CoreFoundation still alive, and calls it was given a wrong object (or
// range) in; for leak and misuse checks.
unsigned SimLiveCfObjects();
unsigned SimBadCfCalls();
// Every test program watches the simulated library for a device connection used by two threads at
// once: this process and the programs it starts append each such call to one file of its own
// (TOVAREL_SIM_MISUSE_LOG, set here), and a test during which a line was added fails.
void SimWatchThreadMisuse();
// The lines added to that file since the last call (empty when none): a test that provokes a misuse
// on purpose takes them, so that they fail nothing else.
std::string SimTakeThreadMisuses();
// Pumps this thread's window messages until no notice is queued or being delivered. The program's
// handler sends messages to the UI thread, so a test on that thread must pump while it waits.
// False when notices are still pending after the timeout.
bool SimWaitNotices(DWORD timeoutMilliseconds = 10000);

// A new empty folder under the temporary folder; its name starts with the prefix.
std::wstring SimMakeTempFolder(const wchar_t* prefix);
// Removes a folder and everything below it.
void SimRemoveTree(const std::wstring& folder);
// Writes a file with these bytes, creating missing parent folders. Paths use "\" or "/".
bool SimWriteFile(const std::wstring& path, const std::string& bytes);
// The last write time of a file or folder as a FILETIME count (0 when it cannot be read), and
// setting it: the date the simulated library reports for the entry.
uint64_t SimWriteTime(const std::wstring& path);
bool SimSetWriteTime(const std::wstring& path, uint64_t fileTime);
// A UTC time as a FILETIME count.
uint64_t SimFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);

// Writes a device on disk under `root` and returns the configuration text for it:
//   device <uniqueId> named <name>, model iPhone14,2, storage <root>\storage (DCIM\100APPLE\IMG_0001.JPG)
//   app com.marlquist.tovarel      <root>\iphone   (the iPhone edition)
//   app com.marlquist.tovarel.ipad <root>\ipad     (the iPad edition)
// Each container holds
//   /Documents/Books/Guide.pdf (1200 bytes), /Documents/Books/Old/Notes 2019.txt (5 bytes),
//   /Documents/Empty/, /Documents/readme.txt (11 bytes, "hello world"),
//   /Documents/Résumé – Anna’s notes.txt (8 bytes),
//   /Library/Application Support/com.marlquist.tovarel.ASRoot/UserDocs/Downloaded.pdf (300 bytes).
// The device block comes last, so device lines appended to the text (e.g. "paired 0\n") apply to it.
std::string SimWriteDeviceTree(const std::wstring& root, const char* uniqueId = kSimDeviceId,
                               const char* name = "Sim iPhone");
