// The simulated library's state, its lock, call accounting (counts, injected faults, latency,
// trace) and the configuration file watch.
#include "SimState.h"

#include <cstdio>
#include <new>

namespace {

CRITICAL_SECTION g_lock;
// Never freed: the notice thread may still run while the process ends.
SimState* g_state;

std::string Format(const char* format, va_list arguments)
{
    char buffer[1024];
    int length = vsnprintf(buffer, sizeof buffer, format, arguments);
    if (length < 0) {
        return std::string();
    }
    size_t size = static_cast<size_t>(length);
    return std::string(buffer, size < sizeof buffer ? size : sizeof buffer - 1);
}

// Sleep gives whole milliseconds at best; the rest is spun on the performance counter.
void WaitMicroseconds(uint64_t microseconds)
{
    if (microseconds == 0) {
        return;
    }
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (microseconds >= 2000) {
        Sleep(static_cast<DWORD>(microseconds / 1000 - 1));
    }
    uint64_t ticks = microseconds * static_cast<uint64_t>(frequency.QuadPart) / 1000000;
    do {
        QueryPerformanceCounter(&now);
    } while (static_cast<uint64_t>(now.QuadPart - start.QuadPart) < ticks);
}

void WriteTrace(const std::string& line)
{
    SimLock lock;
    if (Sim().trace == INVALID_HANDLE_VALUE) {
        return;
    }
    char prefix[32];
    snprintf(prefix, sizeof prefix, "[%lu] ", GetCurrentThreadId());
    std::string text = prefix + line + "\n";
    DWORD written = 0;
    WriteFile(Sim().trace, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool ReadWholeFile(const std::wstring& path, std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    text.clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    return ok;
}

std::wstring ConfigFileFromEnvironment()
{
    wchar_t value[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableW(L"TOVAREL_SIM_CONFIG", value, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) {
        return std::wstring();
    }
    return SimHostFolder(SimUtf8(value));
}

}  // namespace

SimState& Sim()
{
    return *g_state;
}

SimLock::SimLock()
{
    EnterCriticalSection(&g_lock);
}

SimLock::~SimLock()
{
    LeaveCriticalSection(&g_lock);
}

namespace {

// A held call waits here, without the lock, until its function is released.
void WaitWhileHeld(const std::string& function)
{
    {
        SimLock lock;
        if (!Sim().held.count(function)) {
            return;
        }
        ++Sim().heldCalls;
    }
    for (;;) {
        Sleep(5);
        SimLock lock;
        if (!Sim().held.count(function)) {
            --Sim().heldCalls;
            return;
        }
    }
}

}  // namespace

SimCall::SimCall(const char* function, const char* format, ...)
{
    unsigned latency = 0;
    try {
        function_ = function;
        va_list arguments;
        va_start(arguments, format);
        text_ = function_ + "(" + Format(format, arguments) + ")";
        va_end(arguments);
        SimStartAndPoll();
        SimLock lock;
        SimState& state = Sim();
        latency = state.latencyMicroseconds;
        ++state.callCounts[function_];
        ++state.totalCalls;
        auto fault = state.faults.find(function_);
        if (fault != state.faults.end() && ++fault->second.seen >= fault->second.nth) {
            injected_ = true;
            if (fault->second.seen + 1 >= fault->second.nth + fault->second.count) {
                state.faults.erase(fault);
            }
        }
        if (state.failAnyNth != 0 && ++state.failAnySeen == state.failAnyNth) {
            injected_ = true;
            state.failAnyNth = 0;
        }
    } catch (...) {
        // Out of memory while counting: the call goes on uncounted.
    }
    WaitWhileHeld(function_);
    WaitMicroseconds(latency);
}

SimCall::~SimCall()
{
    try {
        WriteTrace(text_ + (injected_ ? " [injected fault]" : ""));
    } catch (...) {
    }
}

int SimCall::Result(int result)
{
    Note(" = %d", result);
    return result;
}

const void* SimCall::Result(const void* result)
{
    Note(" = %p", result);
    return result;
}

void SimCall::Note(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    try {
        text_ += Format(format, arguments);
    } catch (...) {
    }
    va_end(arguments);
}

namespace {

void LogMisuse(const std::string& line)
{
    OutputDebugStringA(("SimMobileDevice: " + line + "\n").c_str());
    WriteTrace(line);
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableW(L"TOVAREL_SIM_MISUSE_LOG", path, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) {
        return;
    }
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileW(SimHostFolder(SimUtf8(path)).c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    char process[32];
    snprintf(process, sizeof process, "[process %lu] ", GetCurrentProcessId());
    std::string text = process + line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

SimConnectionCall::SimConnectionCall(const void* connection, const char* function) : connection_(connection)
{
    std::string misuse;
    try {
        SimLock lock;
        SimState::ConnectionUse& use = Sim().connectionUses[connection];
        DWORD thread = GetCurrentThreadId();
        if (use.calls > 0 && use.thread != thread) {
            ++Sim().threadMisuses;
            char text[256];
            snprintf(text, sizeof text, "thread misuse: %s on connection %p from thread %lu while thread %lu is in %s",
                     function, connection, thread, use.thread, use.function.c_str());
            misuse = text;
        } else {
            use.thread = thread;
            use.function = function;
        }
        ++use.calls;
    } catch (...) {
        connection_ = nullptr;
    }
    if (!misuse.empty()) {
        LogMisuse(misuse);
    }
}

SimConnectionCall::~SimConnectionCall()
{
    SimLock lock;
    auto use = Sim().connectionUses.find(connection_);
    if (use != Sim().connectionUses.end() && --use->second.calls == 0) {
        Sim().connectionUses.erase(use);
    }
}

void SimStartAndPoll()
{
    bool due;
    {
        SimLock lock;
        DWORD now = GetTickCount();
        due = !Sim().started || now - Sim().lastPollTick >= 100;
        if (due) {
            Sim().started = true;
            Sim().lastPollTick = now;
        }
    }
    if (due) {
        SimPollConfigFile();
    }
}

void SimPollConfigFile()
{
    std::wstring path = ConfigFileFromEnvironment();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return;
    }
    uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    {
        // Claimed under the lock, so two pollers never apply the same change twice.
        SimLock lock;
        SimState& state = Sim();
        if (state.configFile == path && CompareFileTime(&state.configWriteTime, &data.ftLastWriteTime) == 0 &&
            state.configSize == size) {
            return;
        }
        state.configFile = path;
        state.configWriteTime = data.ftLastWriteTime;
        state.configSize = size;
    }
    std::string text, error;
    SimConfig config;
    if (!ReadWholeFile(path, text)) {
        return;
    }
    if (!SimParseConfig(text, config, error)) {
        OutputDebugStringA(("SimMobileDevice: configuration kept, " + error + "\n").c_str());
        return;
    }
    SimLock lock;
    SimApplyConfig(config);
}

void SimThrottle(uint64_t bytes)
{
    unsigned rate;
    {
        SimLock lock;
        rate = Sim().bytesPerSecond;
    }
    if (rate != 0) {
        WaitMicroseconds(bytes * 1000000 / rate);
    }
}

void SimSetTraceFile(const std::wstring& hostPath)
{
    SimState& state = Sim();
    if (state.trace != INVALID_HANDLE_VALUE) {
        CloseHandle(state.trace);
        state.trace = INVALID_HANDLE_VALUE;
    }
    if (!hostPath.empty()) {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        state.trace = CreateFileW(hostPath.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&g_lock);
        g_state = new (std::nothrow) SimState;
        return g_state != nullptr;
    }
    return TRUE;
}
