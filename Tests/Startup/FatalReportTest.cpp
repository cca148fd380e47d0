// The fatal report: the module it names, its text, and the box it shows before the process ends.
// This file reports as the device-facing code does, so its fatal checks name "iPhone".
#define TOVAREL_MODULE_IPHONE 1

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "FatalReport.h"
#include "FatalReportText.h"
#include "MessageBoxWatch.h"

namespace {

TEST(FatalReportText, NamesTheModuleByTheLastPathElement)
{
    EXPECT_STREQ(FatalModuleName(nullptr), "(unknown)");
    EXPECT_STREQ(FatalModuleName(""), "(unknown)");
    EXPECT_STREQ(FatalModuleName("Source\\iPhone\\"), "(unknown)");
    EXPECT_STREQ(FatalModuleName("\\"), "(unknown)");
    EXPECT_STREQ(FatalModuleName("TovarelUSB"), "TovarelUSB");
    EXPECT_STREQ(FatalModuleName("\\iPhone"), "iPhone");
    EXPECT_STREQ(FatalModuleName("C:\\work\\Source\\TovarelUSB"), "TovarelUSB");
    // Only the backslash separates: a forward slash is part of the name.
    EXPECT_STREQ(FatalModuleName("Source/iPhone"), "Source/iPhone");
    EXPECT_STREQ(FatalModuleName("a\\b/c"), "b/c");
}

TEST(FatalReportText, FormatsModuleAndLine)
{
    char text[128];
    FormatFatalReport(text, sizeof(text), FATAL_MODULE_PATH, 42);
    EXPECT_STREQ(text, "Module: iPhone\nline: 42");
    FormatFatalReport(text, sizeof(text), nullptr, -7);
    EXPECT_STREQ(text, "Module: (unknown)\nline: -7");
    FormatFatalReport(text, sizeof(text), "x\\", 2147483647L);
    EXPECT_STREQ(text, "Module: (unknown)\nline: 2147483647");
    // A report longer than the buffer is cut, never left unterminated.
    std::string longPath(500, 'p');
    char small[16];
    FormatFatalReport(small, sizeof(small), longPath.c_str(), 1);
    EXPECT_EQ(std::string(small), std::string("Module: ppppppp"));
}

// --- The box and the exit, in a child run of this test program --------------------------------------

const char* const kChildVariable = "TOVAREL_FATAL_CHILD_OUT";
const wchar_t* const kChildVariableW = L"TOVAREL_FATAL_CHILD_OUT";
const long kCheckLine = __LINE__ + 4;  // the line of the FATAL_CHECK below

void FailCheck()
{
    FATAL_CHECK(GetCurrentProcessId() == 0);
}

DWORD WINAPI FailOnThread(void*)
{
    FailCheck();
    return 7;
}

// Writes what the box shows into the file named by the parent: title, text, whether the icon is the
// error icon, and the visible buttons, separated by 0x1F.
void WriteBoxReport(const std::string& file, HWND box)
{
    WatchedBox seen = MessageBoxWatch::Read(box);
    std::wstring report = seen.title + L'\x1f' + seen.text + L'\x1f' +
                          (seen.icon && seen.icon == LoadIconW(nullptr, IDI_ERROR) ? L"error" : L"other") +
                          L'\x1f' + (seen.owner ? L"owned" : L"unowned") + L'\x1f';
    for (int id : seen.buttons) report += std::to_wstring(id) + L",";
    FILE* out = fopen(file.c_str(), "wb");
    if (!out) return;
    fwrite(report.data(), sizeof(wchar_t), report.size(), out);
    fclose(out);
}

// Runs only as the child of the test below: shows the report and must never come back.
TEST(FatalReportChild, Run)
{
    const char* out = getenv(kChildVariable);
    if (!out || !*out) GTEST_SKIP() << "runs as a child of FatalReport tests only";
    std::string file = out;
    bool onThread = file.find("thread") != std::string::npos;
    MessageBoxWatch watch(L"TovarelUSB - Fatal Error", 1, [file](HWND box) {
        WriteBoxReport(file, box);
        MessageBoxWatch::PressOk(box);
    });
    if (onThread) {
        HANDLE thread = CreateThread(nullptr, 0, FailOnThread, nullptr, 0, nullptr);
        // The whole process ends from the other thread while this one waits.
        WaitForSingleObject(thread, 60000);
    } else {
        FailCheck();
    }
    ADD_FAILURE() << "the fatal report came back";
    ExitProcess(3);
}

struct ChildRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::wstring report;
};

ChildRun RunChild(const std::string& outFile)
{
    ChildRun run;
    DeleteFileA(outFile.c_str());
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + program + L"\" --gtest_filter=FatalReportChild.Run";
    std::wstring outWide(outFile.begin(), outFile.end());
    SetEnvironmentVariableW(kChildVariableW, outWide.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process);
    SetEnvironmentVariableW(kChildVariableW, nullptr);
    if (!started) return run;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    FILE* in = fopen(outFile.c_str(), "rb");
    if (in) {
        wchar_t buffer[1024];
        size_t read = fread(buffer, sizeof(wchar_t), 1024, in);
        run.report.assign(buffer, read);
        fclose(in);
        DeleteFileA(outFile.c_str());
    }
    return run;
}

std::string TempFile(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name + std::to_string(GetCurrentProcessId()) + ".txt";
}

std::wstring ExpectedReport()
{
    return L"TovarelUSB - Fatal Error\x1fModule: iPhone\nline: " + std::to_wstring(kCheckLine) +
           L"\x1f" L"error\x1funowned\x1f" + std::to_wstring(IDOK) + L",";
}

TEST(FatalReport, ShowsTheErrorBoxThenEndsTheProcessWithStatusZero)
{
    ChildRun run = RunChild(TempFile("tovarel-fatal-"));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.report, ExpectedReport());
}

TEST(FatalReport, WorksFromAnyThread)
{
    ChildRun run = RunChild(TempFile("tovarel-fatal-thread-"));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.report, ExpectedReport());
}

}  // namespace
