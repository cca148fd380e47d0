// Shared pieces of the end-to-end tests: the real program started as a user starts it, read and
// driven from this test program through the end-to-end driver library.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "E2EDriver.h"
#include "RegistryGuard.h"

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kStepTimeoutMs = 10000;
const wchar_t kMainTitle[] = L"TovarelUSB";

// Sets an environment variable of this process (inherited by the program) until the end of scope.
class EnvironmentGuard {
public:
    EnvironmentGuard(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        wchar_t old[4096];
        DWORD length = GetEnvironmentVariableW(name, old, 4096);
        had_ = length > 0 && length < 4096;
        if (had_) old_.assign(old, length);
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~EnvironmentGuard() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
    bool had_ = false;
};

// One start of the program; a test that stops halfway does not leave it running.
class ProgramRun {
public:
    ProgramRun()
    {
        std::wstring exe = WinePathFromEnvironment("TOVAREL_EXE");
        if (exe.empty()) {
            error_ = L"TOVAREL_EXE is not set";
            return;
        }
        process_ = e2e::StartProcess(e2e::QuoteArgument(exe), &error_);
    }
    ~ProgramRun() { process_.Terminate(); }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool Started() const { return process_.Valid(); }
    std::string Error() const { return e2e::ToUtf8(error_); }
    DWORD Id() const { return process_.Id(); }
    bool Ended(DWORD timeoutMs, DWORD* exitCode) const { return process_.WaitForExit(timeoutMs, exitCode); }
    HWND WaitForWindow(const wchar_t* title, DWORD timeoutMs) const
    {
        return e2e::WaitForWindow(title, timeoutMs, process_.Id());
    }
    // Why a window waited for did not come: the program's exit code, or the windows it shows.
    std::string NoWindowReason() const;

private:
    e2e::Process process_;
    std::wstring error_;
};

// The title and any message box text of each window a process shows, for a failure message.
std::string ShownWindows(DWORD processId);
// No crash report of Wine is on the screen.
bool NoCrashWindow();
// Column 0 of every item of a list view of the program; the indexes of the selected ones in
// `selected` when given.
std::vector<std::wstring> ListTexts(HWND list, std::vector<int>* selected = nullptr);
// Polls every 50 ms until the condition holds; false when the time ran out first.
bool PollUntil(const std::function<bool()>& condition, DWORD timeoutMs);
