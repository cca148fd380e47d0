// Start-up benchmark: from the start of the process until the main window is visible with the
// devices of a configuration in its device list, against the same for a bare dialog program
// (BareDialog.exe beside this one: a dialog from a template, nothing else) under the same Wine and
// display. Started from inside Wine, a third program is timed beside them: TemplateDialog.exe, the
// main window's own template shown empty, which tells what the window's controls cost apart from
// any work of the program. They are started in interleaved rounds, each round beginning with
// another, so that a machine busy with other work slows all alike; the medians and the median of
// the per-round ratios are printed.
//
//   StartupBenchmark.exe <TovarelUSB.exe> <device configuration> [rounds]
//       starts the three from this Wine process (CreateProcessW) and prints the figures
//   StartupBenchmark.exe --watch app|bare
//       for a start from outside Wine, as a user's desktop starts the program (the Wine loader
//       included): prints "ready", waits for the window of a program started meanwhile, prints the
//       wall clock time when it was shown (seconds since 1970), and ends that program;
//       scripts/run-benchmarks.sh starts the programs and takes the differences
//   StartupBenchmark.exe --keep <file>
//       does nothing while the file exists: keeps the Wine session up between those starts
//
// The configuration is handed to the program alone (TOVAREL_SIM_CONFIG in its environment). Run it
// under Wine on a display: scripts/run-benchmarks.sh.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchmarkSupport.h"
#include "resource.h"

namespace {

const DWORD kTimeoutMs = 60000;

// --- The launcher ----------------------------------------------------------------------------------

const wchar_t kBareTitle[] = L"Bare dialog";
const wchar_t kTemplateTitle[] = L"Template dialog";

// The window sought: of one process (0: any), the main window with devices in its list (no title)
// or a floor's dialog of this title.
struct Search {
    DWORD process;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK FindShownWindow(HWND window, LPARAM parameter)
{
    Search* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if ((search->process && process != search->process) || !IsWindowVisible(window)) return TRUE;
    if (!search->title) {
        HWND devices = GetDlgItem(window, IDC_DEVICE_LIST);
        if (!devices || SendMessageW(devices, LVM_GETITEMCOUNT, 0, 0) <= 0) return TRUE;
    } else {
        wchar_t title[32] = L"";
        GetWindowTextW(window, title, 32);
        if (wcscmp(title, search->title) != 0) return TRUE;
    }
    search->found = window;
    return FALSE;
}

void EndProcess(HANDLE process)
{
    // Ended at once: a close would make Wine without a window manager wait for the display.
    TerminateProcess(process, 0);
    WaitForSingleObject(process, kTimeoutMs);
}

int Watch(const wchar_t* title)
{
    printf("ready\n");
    fflush(stdout);
    Search search = {0, title, nullptr};
    int64_t start = ClockTicks();
    while (!search.found && Milliseconds(ClockTicks() - start) < kTimeoutMs) {
        EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(1);
    }
    if (!search.found) return 1;
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    uint64_t since1601 = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const uint64_t k1601To1970 = 116444736000000000ull;
    printf("%.4f\n", static_cast<double>(since1601 - k1601To1970) / 1e7);
    fflush(stdout);
    DWORD id = 0;
    GetWindowThreadProcessId(search.found, &id);
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
        EndProcess(process);
        CloseHandle(process);
    }
    return 0;
}

// Starts the program and answers the milliseconds until its window was shown (with devices when
// asked); the process is ended again without waiting for its close. Negative on failure.
double TimeStart(const std::wstring& commandLine, const wchar_t* title)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    int64_t start = ClockTicks();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    Search search = {process.dwProcessId, title, nullptr};
    double elapsed = -1;
    while (Milliseconds(ClockTicks() - start) < kTimeoutMs) {
        EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            elapsed = Milliseconds(ClockTicks() - start);
            break;
        }
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            fprintf(stderr, "%ls ended with code 0x%lx before its window showed.\n", commandLine.c_str(),
                    static_cast<unsigned long>(code));
            break;
        }
    }
    EndProcess(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::wstring Widen(const char* text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
    return wide;
}

// One program of a round: its command line, the window awaited (no title: the main window with its
// devices) and its times.
struct Contender {
    std::wstring commandLine;
    const wchar_t* title;
    std::vector<double> times;
};

int RunLauncher(const char* program, const char* config, int rounds)
{
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    Contender contenders[] = {{L"\"" + folder + L"BareDialog.exe\"", kBareTitle, {}},
                              {L"\"" + folder + L"TemplateDialog.exe\"", kTemplateTitle, {}},
                              {L"\"" + Widen(program) + L"\"", nullptr, {}}};
    Contender& bare = contenders[0];
    Contender& shape = contenders[1];
    Contender& app = contenders[2];
    SetEnvironmentVariableW(L"TOVAREL_SIM_CONFIG", Widen(config).c_str());

    // One start of each first, not counted: the first start of a program loads its files from disk.
    for (Contender& contender : contenders) {
        if (TimeStart(contender.commandLine, contender.title) < 0) {
            fprintf(stderr, "%ls did not show its window.\n", contender.commandLine.c_str());
            return 1;
        }
    }
    std::vector<double> ratios, shapeRatios;
    for (int round = 0; round < rounds; ++round) {
        // Each round starts with another of the three, so that none always comes first.
        for (int turn = 0; turn < 3; ++turn) {
            Contender& contender = contenders[(round + turn) % 3];
            double ms = TimeStart(contender.commandLine, contender.title);
            if (ms < 0) {
                fprintf(stderr, "Round %d: %ls did not show its window.\n", round + 1, contender.commandLine.c_str());
                return 1;
            }
            contender.times.push_back(ms);
        }
        ratios.push_back(app.times.back() / bare.times.back());
        shapeRatios.push_back(shape.times.back() / bare.times.back());
        printf("  round %d: main window with its devices %.0f ms, its template alone %.0f ms, bare dialog %.0f ms: x%.2f "
               "(template x%.2f)\n",
               round + 1, app.times.back(), shape.times.back(), bare.times.back(), ratios.back(), shapeRatios.back());
    }
    printf("START-UP FROM INSIDE WINE (CreateProcessW), median of %d interleaved rounds: main window visible with its devices %.0f ms, bare dialog "
           "%.0f ms; RATIO x%.2f of the bare dialog (goal <= x1.3)\n",
           rounds, Median(app.times), Median(bare.times), Median(ratios));
    printf("The main window's template alone (its controls shown empty, no work of the program): %.0f ms, x%.2f of the bare "
           "dialog\n",
           Median(shape.times), Median(shapeRatios));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && strcmp(argv[1], "--watch") == 0) return Watch(strcmp(argv[2], "app") == 0 ? nullptr : kBareTitle);
    if (argc > 2 && strcmp(argv[1], "--keep") == 0) {
        // Keeps a Wine session up between starts, as a desktop's session is, while the file is there.
        std::wstring file = Widen(argv[2]);
        while (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) Sleep(100);
        return 0;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: StartupBenchmark.exe <TovarelUSB.exe> <device configuration> [rounds]\n"
                        "       StartupBenchmark.exe --watch app|bare\n");
        return 2;
    }
    return RunLauncher(argv[1], argv[2], argc > 3 ? std::max(1, atoi(argv[3])) : 15);
}
