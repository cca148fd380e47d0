// Control surface of the simulated mobile device library (test equipment).
//
// The simulated library exports the same functions as Apple's mobile device library, plus the
// functions below, which tests in the same process reach with GetProcAddress on the loaded library
// (see Tests/Support/SimDevice.h) and scripts reach through the configuration file.
//
// Configuration text (UTF-8, one directive per line, a line whose first non-blank character is '#'
// is a comment, blank lines are ignored; any wrong line rejects the whole text):
//
//   device <unique id>          starts a device block; the id is its "UniqueDeviceID"
//     name <text>               "DeviceName" (the rest of the line); no name line = value missing
//     model <text>              "Model", e.g. iPhone14,2 or iPad13,1 (default iPhone14,2)
//     attached 0|1              default 1
//     paired 0|1                AMDeviceIsPaired answer (default 1)
//     validate <code>           AMDeviceValidatePairing result (default 0)
//     total <bytes>             "FSTotalBytes" (default 64000000000); "total none" omits the key
//     free <bytes>              "FSFreeBytes" (default 12000000000); "free none" omits the key
//     lookupfail 0|1            AMDeviceLookupApplications fails
//     storage <folder>          the media folder seen through "com.apple.afc"
//     app <identifier> <folder> an installed application and its container folder on disk
//     link <path> [-> <target>] a symbolic link at this device path (as the AFC client sees it, in
//                               any container of the device), reported with st_ifmt S_IFLNK (and,
//                               with a target, "LinkTarget" that target, as given).
//                               Without a target the entry on disk is reported as the link. With a
//                               target (a device path) the link is not on disk: it is listed in its
//                               folder, opens and reads as the target (so listing it lists the
//                               target folder, and a path below it reaches the target's entries),
//                               and removing or renaming it acts on the link alone; a folder that
//                               holds such a link is not empty. Removing a link drops it until the
//                               configuration is loaded again.
//     nosize <path>             the file information of this device path has no "st_size"
//     mtime <text> <path>       the file information of this device path gives "st_mtime" <text> (any
//                               text without blanks) instead of the host file's last write time
//                               (in nanoseconds since 1970, as a device gives it); "none" leaves
//                               the key out
//     rawnames 0|1              names may hold any byte but "/", as on a device (default 0); see
//                               "Raw names" below
//   fail <Function> <n>         the n-th call (1-based, counted from this line's load) of Function fails
//   failany <n>                 the n-th call (1-based, counted from this line's load) of any
//                               mobile device function fails, whichever it is (0: none)
//   failpath <pattern>          every AFC call whose device path matches fails (* and ? wildcards;
//                               matched against the normalised path, e.g. "/Documents/a.pdf", and
//                               also failing reads and writes of files opened under that path)
//   latency <microseconds>      delay added to every call
//   bandwidth <bytes per second> rate of AFCFileRefRead and AFCFileRefWrite
//   trace <file>                append one line per call: function, arguments, result
//
// Folder paths may be Windows paths or absolute Unix paths ("/tmp/x" is read as "Z:\tmp\x").
// The file named by the environment variable TOVAREL_SIM_CONFIG (looked up at every check, so a
// test may set it late) is read before the library answers its first call and read again whenever
// it changes (checked every 100 ms); devices whose attached state changes arrive or leave. A file
// with a wrong line is ignored until it changes again.
//
// Example:
//   device 00008030-001A2B3C4D5E
//     name Demo iPhone
//     app com.marlquist.tovarel /tmp/demo/iphone-edition
//   fail AFCFileRefWrite 3
//
// Raw names: names a device allows but Windows cannot store ("a:b", "..\x", control characters, names
// that are not UTF-8) are kept on disk in an escape form, which the library reads back whenever the
// device has "rawnames 1": in a host name, "%" and two hex digits stand for that byte (upper or
// lower case). When the library writes such a device's names, it escapes exactly the bytes that need
// it: control characters, \ : * ? " < > |, every byte that is not part of well-formed UTF-8, and a
// "%" that two hex digits follow. So the host file "a%3Ab" is listed as "a:b", "%FFx" as the byte
// 0xFF and "x"; write "%2541" for a name that really is "%41". Reserved names ("con", "nul.txt") and
// trailing dots or blanks need no escape: the library reaches the disk through "\\?\" paths.
// Without "rawnames 1" disk names are listed as they are and such names are refused (see below);
// with it only ".." above the root is.
//
// Behaviour worth knowing: a folder lists ".", "..", then its entries in an order unrelated to
// their names (by a hash of each name: stable, and unsorted on purpose, as a device's file system
// gives them; Wine's FindFirstFileW order is sorted, so it is not used). A device must be
// connected before pairing checks, values and sessions, and in a session before a service starts;
// a detached device fails every call, and connections made before a detach stay dead after the
// next attach. Device paths may not leave their container (".." above the root, or names with
// \ : * ? " < > | fail). Renaming onto a name that exists (compared as the host compares names:
// without case under Wine, so a different item whose name differs only in case counts) replaces
// it when both are files and fails in every other case; an item renamed to its own name in other
// letter cases is renamed in place. Creating a folder where a folder or a file of that name exists
// fails. Removing a folder that is not empty fails. An injected fault on a close call still closes
// the handle. Results of failures are small non-zero codes.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Replace the configuration with this text, as if the file had been rewritten. Returns 0, or -1 on
// a syntax error (the previous configuration stays). The configuration file, if one is named, is
// applied again only when it changes.
int __cdecl SimLoadConfigText(const char* text);
// Attach or detach a configured device (queues the arrival or removal notice when its state
// changes). 0, or -1 for an id that is not configured.
int __cdecl SimAttach(const char* uniqueId);
int __cdecl SimDetach(const char* uniqueId);
// Queue a notice with any event number for a configured device, attached or not.
int __cdecl SimDeliverNotice(const char* uniqueId, unsigned event);
// The device reference that notices carry for this id (stable for the life of the process), or 0.
void* __cdecl SimDeviceRef(const char* uniqueId);
// Notices queued or being delivered right now (0 when the notice thread is idle).
unsigned __cdecl SimPendingNotices(void);
// Ends every subscription and drops queued notices (a delivery already running finishes); for test
// programs that subscribe again, so an earlier handler is not called any more.
void __cdecl SimUnsubscribeAll(void);
// Fail the n-th call from now of the named function (n = 0 clears that function's fault).
void __cdecl SimFailCall(const char* function, unsigned nth);
// Fail `count` calls of the named function one after the other, from the n-th call from now on.
void __cdecl SimFailCalls(const char* function, unsigned nth, unsigned count);
// Fail the n-th call from now of any mobile device function, counted in call order over all of
// them, as SimCallCount(nullptr) counts (n = 0 clears). Independent of SimFailCall: a call either
// fault names fails once. CoreFoundation calls are not counted and never fail this way.
void __cdecl SimFailNthCall(unsigned nth);
// Fail every AFC call whose device path matches the pattern (null or "" clears).
void __cdecl SimFailPath(const char* pattern);
// Calls made to the named mobile device function since the last reset (null: all of them together;
// CoreFoundation calls and these control functions are not counted).
unsigned __cdecl SimCallCount(const char* function);
void __cdecl SimResetCounters(void);
// Trace every call into this file, appending (null stops tracing). Windows or absolute Unix path.
void __cdecl SimSetTrace(const char* path);
// Latency per call in microseconds and read/write byte rate (0 = unlimited).
void __cdecl SimSetLatency(unsigned microsecondsPerCall, unsigned bytesPerSecond);
// Open AFC connections, directories, file refs and key-value readers not yet closed.
unsigned __cdecl SimOpenHandles(void);
// Hold every call of the named function from now on: it is counted, then waits before its latency
// and its effect until SimReleaseHeldCalls releases every hold. SimHeldCalls tells how many calls
// wait right now, so that a test can act while the program is held at a known point.
void __cdecl SimHoldCall(const char* function);
void __cdecl SimReleaseHeldCalls(void);
unsigned __cdecl SimHeldCalls(void);
// Calls made on an AFC connection from one thread while a call from another thread was in progress
// on it (each is also appended to the file TOVAREL_SIM_MISUSE_LOG names, when it names one).
unsigned __cdecl SimThreadMisuses(void);

#ifdef __cplusplus
}
#endif
