// Inner records of the simulated mobile device library. Every record below is reached only while
// the state lock is held (SimLock), which is never held while the program's notice handler runs.
#pragma once

#include "SimAbi.h"

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Results of failing calls: any non-zero value is a failure to the program; distinct values make
// traces readable.
enum SimResult : int {
    SIM_OK = 0,
    SIM_E_UNKNOWN = 1,
    SIM_E_INVALID_ARGUMENT = 7,
    SIM_E_NOT_FOUND = 8,
    SIM_E_IS_FOLDER = 9,
    SIM_E_PERMISSION = 10,
    SIM_E_NOT_CONNECTED = 11,
    SIM_E_IO = 13,
    SIM_E_EXISTS = 16,
    SIM_E_NOT_FOLDER = 17,
    SIM_E_NOT_EMPTY = 18,
    SIM_E_NO_MEMORY = 19,
    SIM_E_BAD_HANDLE = 20,
    SIM_E_NOT_PAIRED = 21,
    SIM_E_NO_SESSION = 22,
    SIM_E_NO_SERVICE = 23,
    SIM_E_NOT_INSTALLED = 24,
    SIM_E_LOOKUP = 25,
    SIM_E_INJECTED = 99,
};

struct SimApp {
    std::string identifier;
    std::wstring folder;  // host folder of the container, ready for file calls (see HostFolder)
};

// One "device" block of the configuration.
struct SimDeviceConfig {
    std::string uniqueId;
    bool hasName = false;
    std::string name;
    std::string model = "iPhone14,2";
    bool attached = true;
    bool paired = true;
    int validate = 0;
    bool hasTotal = true;
    uint64_t totalBytes = 64000000000ull;
    bool hasFree = true;
    uint64_t freeBytes = 12000000000ull;
    bool lookupFails = false;
    std::wstring storage;
    std::vector<SimApp> apps;
    // Symbolic links: normalised device path -> normalised target path. An empty target means the
    // entry on disk is reported as the link; with a target the link exists only here (see SimLinks.cpp).
    std::map<std::string, std::string> links;
    bool rawNames = false;         // names may hold any byte but "/"; escaped on the host (SimEscapeName)
    std::set<std::string> noSize;  // normalised device paths whose file information lacks "st_size"
    // Normalised device path -> the "st_mtime" text its file information gives instead of the host
    // file's time; "none": the information has no "st_mtime".
    std::map<std::string, std::string> mtimes;
};

struct SimConfig {
    std::vector<SimDeviceConfig> devices;
    std::vector<std::pair<std::string, unsigned>> faults;
    unsigned failAny = 0;  // "failany": the n-th call of any function fails (0: none)
    std::string failPath;
    unsigned latencyMicroseconds = 0;
    unsigned bytesPerSecond = 0;
    std::wstring trace;  // empty: no trace
};

// The device reference handed to the program: created once per unique id, never freed.
struct SimDevice {
    uint32_t magic;
    SimDeviceConfig config;
    bool configured = false;  // present in the current configuration
    bool attached = false;
    unsigned generation = 0;  // raised at every detach: services and connections of before go dead
    bool connected = false;
    bool session = false;
};

struct SimService {
    SimDevice* device;
    unsigned generation;
    std::wstring root;  // host folder the AFC connection sees as "/"; empty: no storage
};

struct SimConnection {
    SimDevice* device;
    unsigned generation;
    std::wstring root;
};

struct SimDirectory {
    SimConnection* connection;
    std::string path;
    std::vector<std::string> names;  // ".", "..", then the entries in the order the disk gave them
    size_t next = 0;
    std::string current;  // the name last handed out; stays valid until the next read or close
};

struct SimReader {
    SimDevice* device;
    unsigned generation;
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t next = 0;
};

struct SimFile {
    SimConnection* connection;
    HANDLE handle;
    std::string path;
    bool canRead;
    bool canWrite;
};

struct SimSubscription {
    AMDeviceNoticeHandler handler;
    void* context;
    bool active;
};

struct SimNotice {
    SimSubscription* subscription;
    SimDevice* device;
    uint32_t event;
};

struct SimState {
    bool started = false;
    std::map<std::string, SimDevice*> devices;  // by unique id; never erased
    std::vector<SimDevice*> deviceList;         // in the order they were first configured
    std::set<const void*> services;             // never freed: the program cannot release them
    std::set<SimConnection*> connections;
    std::set<SimDirectory*> directories;
    std::set<SimReader*> readers;
    std::map<uint64_t, SimFile> files;
    uint64_t nextFileRef = 1;

    struct Fault {
        unsigned seen = 0;   // calls of the function since the fault was set
        unsigned nth = 0;    // the first call that fails
        unsigned count = 1;  // calls that fail from there on
    };
    std::map<std::string, Fault> faults;  // by function
    unsigned failAnySeen = 0;  // calls of any function since the global fault was set
    unsigned failAnyNth = 0;   // that many-th call fails; 0: no global fault
    std::set<std::string> held;  // functions whose calls wait until released (SimHoldCall)
    unsigned heldCalls = 0;      // calls waiting in a hold right now
    std::string failPath;
    unsigned latencyMicroseconds = 0;
    unsigned bytesPerSecond = 0;
    HANDLE trace = INVALID_HANDLE_VALUE;
    std::map<std::string, unsigned> callCounts;
    unsigned totalCalls = 0;

    // Calls in progress on each AFC connection (by its reference, valid or not) and the thread that
    // makes them: a device connection serves one thread at a time.
    struct ConnectionUse {
        DWORD thread = 0;
        unsigned calls = 0;
        std::string function;
    };
    std::map<const void*, ConnectionUse> connectionUses;
    unsigned threadMisuses = 0;

    std::vector<SimSubscription*> subscriptions;  // never freed: the program keeps the reference
    std::deque<SimNotice> notices;
    unsigned delivering = 0;
    HANDLE noticeThread = nullptr;
    HANDLE noticeWake = nullptr;

    std::wstring configFile;  // the file last read through TOVAREL_SIM_CONFIG
    FILETIME configWriteTime = {0, 0};
    uint64_t configSize = 0;
    DWORD lastPollTick = 0;
};

// The state; every use holds the lock.
SimState& Sim();

class SimLock {
public:
    SimLock();
    ~SimLock();
    SimLock(const SimLock&) = delete;
    SimLock& operator=(const SimLock&) = delete;
};

// One exported call: counts it, applies the latency and the injected nth-call fault, and writes the
// trace line when it ends. Construct it without holding the lock.
class SimCall {
public:
    SimCall(const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));
    ~SimCall();
    SimCall(const SimCall&) = delete;
    SimCall& operator=(const SimCall&) = delete;
    bool Injected() const { return injected_; }
    // Records the result for the trace and hands it back.
    int Result(int result);
    const void* Result(const void* result);
    // Adds text (e.g. an out value) to the trace line.
    void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    std::string function_;
    std::string text_;
    bool injected_ = false;
};

// One call on an AFC connection, from before its hold and latency to its end. A call on the same
// connection from another thread while this one is in progress is a misuse: it is counted, traced,
// and appended to the file that TOVAREL_SIM_MISUSE_LOG names, which test programs check after every
// test. Construct it before the call's SimCall, without holding the lock.
class SimConnectionCall {
public:
    SimConnectionCall(const void* connection, const char* function);
    ~SimConnectionCall();
    SimConnectionCall(const SimConnectionCall&) = delete;
    SimConnectionCall& operator=(const SimConnectionCall&) = delete;

private:
    const void* connection_;
};

// Runs body, turning any exception into SIM_E_NO_MEMORY: none may leave the library.
template <class F> int SimGuard(F body)
{
    try {
        return body();
    } catch (...) {
        return SIM_E_NO_MEMORY;
    }
}

// The order every exported call keeps, inside SimGuard: an injected fault fails it first, then
// arguments `valid` rejects (checked without the lock); only then does `body` run, under the lock.
template <class Valid, class Body> int SimChecked(const SimCall& call, Valid valid, Body body)
{
    return SimGuard([&]() -> int {
        if (call.Injected()) {
            return SIM_E_INJECTED;
        }
        if (!valid()) {
            return SIM_E_INVALID_ARGUMENT;
        }
        SimLock lock;
        return body();
    });
}

// The `valid` of a call that has no arguments to check.
inline bool SimAnyArguments()
{
    return true;
}

// Out values are emptied before anything else, so a failing call never leaves a stale one behind.
template <class T> void SimClear(T* out)
{
    if (out) {
        *out = T();
    }
}

// Called by every entry point: reads the configuration the first time, and again when its file
// changed (checked at most every 100 ms).
void SimStartAndPoll();
// Re-reads the configuration file when it changed (or when TOVAREL_SIM_CONFIG names another file).
void SimPollConfigFile();
// Waits as long as moving this many bytes takes at the configured rate (call without the lock).
void SimThrottle(uint64_t bytes);

// Configuration (SimConfig.cpp).
bool SimParseConfig(const std::string& text, SimConfig& config, std::string& error);
// Makes the parsed configuration current (lock held): keeps device references by id, queues
// arrivals and removals for devices whose attached state changes.
void SimApplyConfig(const SimConfig& config);
void SimSetTraceFile(const std::wstring& hostPath);

// Devices and notices (SimNotices.cpp); lock held.
SimDevice* SimFindDevice(AMDeviceRef device);
SimDevice* SimDeviceById(const std::string& uniqueId);
void SimSetAttached(SimDevice* device, bool attached);
void SimQueueNotice(SimDevice* device, uint32_t event);
unsigned SimPending();

// Paths (SimPaths.cpp).
// Reads a device path into its normalised absolute form ("/a/b", "/" for the root). False when it
// would leave the container, or (unless names are raw) is not UTF-8 or names something a Windows
// folder cannot hold.
bool SimNormalizeDevicePath(const char* path, std::string& normalized, bool rawNames = false);
// The host path of a normalised device path below a container folder; false without a folder. Raw
// names are stored in their escape form.
bool SimHostPath(const std::wstring& root, const std::string& normalized, std::wstring& hostPath,
                 bool rawNames = false);
// A raw device name (any bytes but "/") as a host name and back: control characters,
// \ : * ? " < > |, bytes that are not UTF-8, and a "%" that two hex digits follow become "%XX".
std::string SimEscapeName(const std::string& name);
std::string SimUnescapeName(const std::string& escaped);
// A configured folder (UTF-8; Windows path or absolute Unix path) as a full host path with the
// long-path prefix, so names reach the file system literally.
std::wstring SimHostFolder(const std::string& folder);
bool SimMatchPattern(const char* pattern, const char* text);
std::wstring SimWide(const std::string& utf8);
std::string SimUtf8(const std::wstring& wide);
// Quotes a device path (or "(null)") for a trace line.
std::string SimQuote(const char* text);

// Links with a target (SimLinks.cpp); lock held.
// The path a normalised device path reaches once the links on its way are followed.
std::string SimFollowLinks(const SimDeviceConfig& config, const std::string& normalized);
// A link with a target sits exactly at this path.
bool SimIsPointingLink(const SimDeviceConfig& config, const std::string& normalized);
// The names of the links with a target directly inside this normalised folder.
std::vector<std::string> SimLinkNamesIn(const SimDeviceConfig& config, const std::string& folder);
