// Upload benchmark: how fast the copy thread moves dropped files onto the device, and how much
// memory it takes.
//
// The program's own main window runs here with the simulated device library; files are dropped on
// the file list from another apartment (as Explorer's data object comes) and the real copy thread
// uploads them with its progress dialog. A copy is timed from the copy thread's first word to its
// dialog to the moment it starts showing the destination afresh (the listing that follows belongs to
// the browser); the time from the drop until the dialog was up is shown beside it.
//
//   UploadBenchmark.exe          200 files of 32 KiB in a folder, and one file of 256 MiB: with the
//                                simulated device at 1 ms per call and 35 MB/s, against the model's
//                                ceiling (the same device calls from memory, and the model's own
//                                sum of latencies and transfer times); with the model off, against
//                                CopyFileW of the same files on the same disk
//   UploadBenchmark.exe --huge   the peak working set of a 4 GiB upload from a sparse local file
//                                (its own process, so that no other run raised the peak before)
//
// Each figure is the best of a few runs, the least disturbed by the rest of the machine. Run it
// under Wine on a display: scripts/run-benchmarks.sh.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "DropTarget.h"
#include "FileDropData.h"
#include "ProgramHarness.h"
#include "TextUtil.h"
#include "WindowHarness.h"
#include "iPhone.h"

namespace {

const double kMega = 1e6;
const unsigned kLatencyMicroseconds = 1000;
const unsigned kBytesPerSecond = 35000000;
const uint64_t kChunk = 262144;
const int kSmallFiles = 200;
const uint64_t kSmallFileBytes = 32 * 1024;
const uint64_t kLargeFileBytes = 256ull << 20;
const uint64_t kHugeFileBytes = 4ull << 30;

double Seconds(int64_t ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

int64_t Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double CpuSeconds(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& time) {
        return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

// What the user-interface thread sees of a running copy: the copy thread's first word to the dialog,
// and the moment it starts showing the destination afresh (its first message to the tree), with its
// processor time and device calls then.
struct CopyEnd {
    HWND tree = nullptr;
    int64_t started = 0;  // the copy thread's first word to the dialog
    int64_t at = 0;
    HWND dialog = nullptr;
    int64_t hidden = 0;  // the copy dialog hidden as it ends
    double copyThreadCpu = 0;
    unsigned calls = 0;
    SIZE_T peakAtStart = 0;  // the process's peak working set at those two moments
    SIZE_T peakAtEnd = 0;
} s_end;

SIZE_T PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

HHOOK s_hook;

LRESULT CALLBACK NoteCopyEnd(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && !s_end.started && g_copyDialog.load() && message->hwnd == g_copyStatusText.load()) {
        s_end.started = Now();
        s_end.dialog = g_copyDialog.load();
        s_end.peakAtStart = PeakWorkingSet();
    }
    // Wine without a window manager then waits seconds for the display, which a desktop does not.
    if (code == HC_ACTION && !s_end.hidden && s_end.dialog && message->hwnd == s_end.dialog &&
        message->message == WM_WINDOWPOSCHANGING &&
        (reinterpret_cast<const WINDOWPOS*>(message->lParam)->flags & SWP_HIDEWINDOW)) {
        s_end.hidden = Now();
    }
    if (code == HC_ACTION && !s_end.at && g_copyDialog.load() && message->hwnd == s_end.tree &&
        message->message == TVM_SELECTITEM) {
        s_end.at = Now();
        s_end.copyThreadCpu = CpuSeconds(g_copyThread.load());
        s_end.calls = SimCallCount(nullptr);
        s_end.peakAtEnd = PeakWorkingSet();
    }
    return CallNextHookEx(s_hook, code, wParam, lParam);
}

struct Timing {
    double seconds = 0;
    double wholeSeconds = 0;  // from the drop until the copy dialog was hidden as it ended
    double startSeconds = 0;  // from the drop to the copy thread's first word to its dialog
    double copyThreadCpu = 0;
    double interfaceCpu = 0;
    unsigned calls = 0;
};

bool WriteFileOfSize(const std::wstring& path, uint64_t bytes, bool sparse)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    if (sparse) {
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(bytes);
        ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    } else {
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + (i >> 12));
        for (uint64_t left = bytes; ok && left > 0;) {
            DWORD piece = static_cast<DWORD>(std::min<uint64_t>(left, block.size()));
            DWORD written = 0;
            ok = WriteFile(file, block.data(), piece, &written, nullptr) && written == piece;
            left -= piece;
        }
    }
    CloseHandle(file);
    return ok;
}

class Bench {
public:
    bool Start()
    {
        if (!StartProgramForTest()) return Fail("The simulated device library is not registered in this Wine prefix.");
        temp_ = SimMakeTempFolder(L"UploadBenchmark");
        container_ = temp_ + L"\\container";
        local_ = temp_ + L"\\local";
        CreateDirectoryW(container_.c_str(), nullptr);
        CreateDirectoryW(Documents().c_str(), nullptr);
        CreateDirectoryW(local_.c_str(), nullptr);
        std::string config = "device bench\n  name Bench\n  app com.marlquist.tovarel " + Utf8Text(container_) + "\n";
        window_ = CreateMainWindowForTest();
        if (!window_ || SimLoadConfigText(config.c_str()) != 0 || !SimWaitNotices(20000)) {
            return Fail("The program's window or the simulated device could not be set up.");
        }
        PumpMessages(50);
        HWND tree = TreeControlForTest();
        HTREEITEM documents = TreeChildByText(TreeView_GetRoot(tree), L"My Documents");
        if (!documents) return Fail("The container was not opened.");
        TreeView_SelectItem(tree, documents);
        PumpMessages();
        s_end.tree = tree;
        s_hook = SetWindowsHookExW(WH_CALLWNDPROC, NoteCopyEnd, nullptr, GetCurrentThreadId());
        return s_hook != nullptr;
    }

    void Stop()
    {
        if (s_hook) UnhookWindowsHookEx(s_hook);
        SimLoadConfigText("");
        SimWaitNotices();
        if (window_) DestroyMainWindowForTest(window_);
        SimRemoveTree(temp_);
    }

    std::wstring Documents() const { return container_ + L"\\Documents"; }
    std::wstring Local(const std::wstring& name) const { return local_ + L"\\" + name; }

    bool MakeSmallFiles(const std::wstring& folder)
    {
        CreateDirectoryW(Local(folder).c_str(), nullptr);
        for (int i = 0; i < kSmallFiles; ++i) {
            if (!WriteFileOfSize(Local(folder + L"\\file" + std::to_wstring(i) + L".pdf"), kSmallFileBytes, false)) {
                return false;
            }
        }
        return true;
    }

    // Drops local items on the file list and waits until the copy is over; false when it failed.
    bool Upload(const std::vector<std::wstring>& names, Timing& timing)
    {
        std::vector<std::wstring> paths;
        for (const std::wstring& name : names) paths.push_back(Local(name));
        s_end = CopyEnd{s_end.tree};
        SimResetCounters();
        double interfaceCpu = CpuSeconds(GetCurrentThread());
        int64_t start = Now();
        {
            ForeignFileDrop drop(paths);
            RECT client;
            GetClientRect(g_fileList, &client);
            POINT blank = {client.right - 8, client.bottom - 8};
            ClientToScreen(g_fileList, &blank);
            DWORD effect = DROPEFFECT_COPY;
            g_listDropTarget->DragEnter(drop.Data(), MK_LBUTTON, POINTL{blank.x, blank.y}, &effect);
            g_listDropTarget->Drop(drop.Data(), 0, POINTL{blank.x, blank.y}, &effect);
            if (effect != DROPEFFECT_COPY) return false;
        }
        PumpUntil([] { return !g_copyThread.load() && !g_copyDialog.load(); }, 3600000);
        if (!s_end.at || !s_end.hidden) return false;
        timing.wholeSeconds = Seconds(s_end.hidden - start);
        timing.seconds = Seconds(s_end.at - s_end.started);
        timing.startSeconds = Seconds(s_end.started - start);
        timing.copyThreadCpu = s_end.copyThreadCpu;
        timing.interfaceCpu = CpuSeconds(GetCurrentThread()) - interfaceCpu;
        timing.calls = s_end.calls;
        return true;
    }

    void RemoveFromDevice(const std::vector<std::wstring>& names)
    {
        for (const std::wstring& name : names) {
            std::wstring path = Documents() + L"\\" + name;
            if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
                SimRemoveTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        }
    }

    // CopyFileW of the same local items into a folder on the same disk.
    double CopyWithWindows(const std::vector<std::wstring>& names)
    {
        std::wstring target = temp_ + L"\\copied";
        CreateDirectoryW(target.c_str(), nullptr);
        int64_t start = Now();
        bool ok = true;
        for (const std::wstring& name : names) {
            if (GetFileAttributesW(Local(name).c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
                CreateDirectoryW((target + L"\\" + name).c_str(), nullptr);
                for (int i = 0; i < kSmallFiles; ++i) {
                    std::wstring file = name + L"\\file" + std::to_wstring(i) + L".pdf";
                    ok = ok && CopyFileW(Local(file).c_str(), (target + L"\\" + file).c_str(), FALSE);
                }
            } else {
                ok = ok && CopyFileW(Local(name).c_str(), (target + L"\\" + name).c_str(), FALSE);
            }
        }
        double seconds = Seconds(Now() - start);
        SimRemoveTree(target);
        return ok ? seconds : -1;
    }

    bool Fail(const char* text)
    {
        fprintf(stderr, "%s\n", text);
        return false;
    }

private:
    HWND window_ = nullptr;
    std::wstring temp_;
    std::wstring container_;
    std::wstring local_;
};

// Seconds the model charges at least: open, close and one write per chunk of every file, one call
// per folder made, and the bytes at the model's rate.
double ModelSeconds(int files, uint64_t bytesPerFile, int folders)
{
    uint64_t writes = (bytesPerFile + kChunk - 1) / kChunk;
    double calls = files * (2.0 + static_cast<double>(writes)) + folders;
    return calls * kLatencyMicroseconds / 1e6 + static_cast<double>(files * bytesPerFile) / kBytesPerSecond;
}

std::string ReadWhole(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

// The same device calls the copy makes for the data, back to back from memory on one thread, with
// nothing else: the fastest the simulated device takes these bytes.
struct DirectUpload {
    bool folder;
    std::vector<std::string> files;

    double Run(const char* devicePath) const
    {
        AFCConnectionRef afc = CurrentConnection();
        int64_t start = Now();
        std::string base = devicePath;
        if (folder && g_lib.AFCDirectoryCreate(afc, devicePath) != 0) return -1;
        for (size_t i = 0; i < files.size(); ++i) {
            std::string path = folder ? base + "/file" + std::to_string(i) + ".pdf" : base;
            AFCFileRef ref = 0;
            if (g_lib.AFCFileRefOpen(afc, path.c_str(), AFC_MODE_CREATE_WRITE, &ref) != 0) return -1;
            for (size_t at = 0; at < files[i].size(); at += kChunk) {
                uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(kChunk, files[i].size() - at));
                if (g_lib.AFCFileRefWrite(afc, ref, files[i].data() + at, piece) != 0) return -1;
            }
            g_lib.AFCFileRefClose(afc, ref);
        }
        return Seconds(Now() - start);
    }
};

struct Figures {
    Timing engine;
    double direct = 0;
    double windows = 0;
};

void ReportRun(const char* what, uint64_t bytes, const Figures& on, double modelSeconds, const Figures& off)
{
    auto rate = [bytes](double seconds) { return bytes / seconds / kMega; };
    printf("%s, %.2f MB:\n", what, bytes / kMega);
    printf("  model 1 ms/call, 35 MB/s: copy thread %.2f MB/s (%.3f s); model's ceiling %.2f MB/s (the same device "
           "calls from memory, %.3f s): %.1f%%; in theory %.2f MB/s (%.3f s): %.1f%%\n",
           rate(on.engine.seconds), on.engine.seconds, rate(on.direct), on.direct, 100.0 * on.direct / on.engine.seconds,
           rate(modelSeconds), modelSeconds, 100.0 * modelSeconds / on.engine.seconds);
    printf("    before it, %.3f s from the drop until the dialog was up; device calls %u; processor time: copy thread %.3f s (the "
           "model's waits spin on it), user-interface thread %.3f s\n",
           on.engine.startSeconds, on.engine.calls, on.engine.copyThreadCpu, on.engine.interfaceCpu);
    printf("  model off: copy thread %.2f MB/s (%.3f s), CopyFileW %.2f MB/s (%.3f s): %.1f%%; the device calls alone "
           "%.3f s; processor time: copy thread %.3f s, user-interface thread %.3f s\n",
           rate(off.engine.seconds), off.engine.seconds, rate(off.windows), off.windows,
           100.0 * off.windows / off.engine.seconds, off.direct, off.engine.copyThreadCpu, off.engine.interfaceCpu);
}

// The best of a few runs of each, the model on or off: the least disturbed by the rest of the machine.
bool Measure(Bench& bench, const std::wstring& name, const DirectUpload& direct, bool model, int runs, Figures& best)
{
    SimSetLatency(model ? kLatencyMicroseconds : 0, model ? kBytesPerSecond : 0);
    OwnedUtf8 devicePath(ToUtf8((L"/Documents/" + name).c_str()));
    for (int i = 0; i < runs; ++i) {
        Timing timing;
        bool ok = bench.Upload({name}, timing);
        bench.RemoveFromDevice({name});
        double directSeconds = direct.Run(devicePath.get());
        bench.RemoveFromDevice({name});
        double windows = model ? 0 : bench.CopyWithWindows({name});
        if (!ok || directSeconds < 0 || windows < 0) return false;
        if (i == 0 || timing.seconds < best.engine.seconds) best.engine = timing;
        if (i == 0 || directSeconds < best.direct) best.direct = directSeconds;
        if (i == 0 || windows < best.windows) best.windows = windows;
    }
    SimSetLatency(0, 0);
    return true;
}

int RunThroughput(Bench& bench)
{
    if (!bench.MakeSmallFiles(L"Small") || !WriteFileOfSize(bench.Local(L"large.bin"), kLargeFileBytes, false)) {
        return bench.Fail("The local files could not be written."), 1;
    }
    DirectUpload small{true, {}};
    for (int i = 0; i < kSmallFiles; ++i) {
        small.files.push_back(ReadWhole(bench.Local(L"Small\\file" + std::to_wstring(i) + L".pdf")));
    }
    DirectUpload large{false, {ReadWhole(bench.Local(L"large.bin"))}};
    Figures smallOn, smallOff, largeOn, largeOff;
    if (!Measure(bench, L"Small", small, true, 3, smallOn) || !Measure(bench, L"Small", small, false, 10, smallOff) ||
        !Measure(bench, L"large.bin", large, true, 2, largeOn) ||
        !Measure(bench, L"large.bin", large, false, 10, largeOff)) {
        return bench.Fail("An upload failed."), 1;
    }
    ReportRun("200 files of 32 KiB in one folder", kSmallFiles * kSmallFileBytes, smallOn,
              ModelSeconds(kSmallFiles, kSmallFileBytes, 1), smallOff);
    ReportRun("one file of 256 MiB", kLargeFileBytes, largeOn, ModelSeconds(1, kLargeFileBytes, 0), largeOff);
    return 0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The small-file case as a user sees it: from the drop until the copy dialog is gone, against its
// floor, the same device calls from memory, in interleaved rounds (a busy machine slows both
// alike); medians of each and of the per-round ratios.
int RunSmallFiles(Bench& bench, int rounds)
{
    if (!bench.MakeSmallFiles(L"Small")) return bench.Fail("The local files could not be written."), 1;
    DirectUpload small{true, {}};
    for (int i = 0; i < kSmallFiles; ++i) {
        small.files.push_back(ReadWhole(bench.Local(L"Small\\file" + std::to_wstring(i) + L".pdf")));
    }
    SimSetLatency(kLatencyMicroseconds, kBytesPerSecond);
    OwnedUtf8 devicePath(ToUtf8(L"/Documents/Small"));
    std::vector<double> copies, floors, ratios, threads, starts;
    for (int i = 0; i < rounds; ++i) {
        Timing timing;
        bool ok = bench.Upload({L"Small"}, timing);
        bench.RemoveFromDevice({L"Small"});
        double floor = small.Run(devicePath.get());
        bench.RemoveFromDevice({L"Small"});
        if (!ok || floor < 0) return bench.Fail("An upload failed."), 1;
        copies.push_back(timing.wholeSeconds);
        floors.push_back(floor);
        ratios.push_back(floor / timing.wholeSeconds);
        threads.push_back(timing.seconds);
        starts.push_back(timing.startSeconds);
        printf("  round %d: drop to dialog gone %.0f ms (copy thread %.0f ms, dialog up after %.0f ms), floor %.0f ms: "
               "%.1f%%\n", i + 1, timing.wholeSeconds * 1e3, timing.seconds * 1e3, timing.startSeconds * 1e3,
               floor * 1e3, 100.0 * floor / timing.wholeSeconds);
    }
    SimSetLatency(0, 0);
    printf("SMALL-FILE UPLOAD (%d files of %llu KiB, model 1 ms a call and 35 MB/s), median of %d rounds: drop to "
           "dialog gone %.0f ms (copy thread %.0f ms, dialog up after %.0f ms); floor %.0f ms (in theory %.0f ms); "
           "RATIO %.1f%% of the floor (goal >= 85%%)\n",
           kSmallFiles, static_cast<unsigned long long>(kSmallFileBytes / 1024), rounds, Median(copies) * 1e3,
           Median(threads) * 1e3, Median(starts) * 1e3, Median(floors) * 1e3,
           ModelSeconds(kSmallFiles, kSmallFileBytes, 1) * 1e3, 100.0 * Median(ratios));
    return 0;
}

double Megabytes(SIZE_T bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

int RunHuge(Bench& bench)
{
    if (!WriteFileOfSize(bench.Local(L"huge.bin"), kHugeFileBytes, true)) {
        return bench.Fail("The sparse local file could not be made."), 1;
    }
    SIZE_T before = PeakWorkingSet();
    Timing timing;
    bool ok = bench.Upload({L"huge.bin"}, timing);
    bench.RemoveFromDevice({L"huge.bin"});
    if (!ok) return bench.Fail("The upload failed."), 1;
    printf("4 GiB upload from a sparse local file, model off: %.3f s (%.2f MB/s)\n", timing.seconds,
           kHugeFileBytes / timing.seconds / kMega);
    printf("  peak working set of the process: %.1f MiB before the drop, %.1f MiB once the dialog was up, %.1f MiB "
           "when the copy was over: the copy itself added %.1f MiB\n",
           Megabytes(before), Megabytes(s_end.peakAtStart), Megabytes(s_end.peakAtEnd),
           Megabytes(s_end.peakAtEnd - s_end.peakAtStart));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    g_instance = GetModuleHandleW(nullptr);
    OleInitialize(nullptr);
    InitCommonControls();
    Bench bench;
    int result = 1;
    if (bench.Start()) {
        if (argc > 1 && strcmp(argv[1], "--huge") == 0) {
            result = RunHuge(bench);
        } else if (argc > 1 && strcmp(argv[1], "--small") == 0) {
            result = RunSmallFiles(bench, argc > 2 ? std::max(1, atoi(argv[2])) : 9);
        } else {
            result = RunThroughput(bench);
        }
    }
    bench.Stop();
    OleUninitialize();
    return result;
}
