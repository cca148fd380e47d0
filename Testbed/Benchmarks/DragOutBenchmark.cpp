// Drag-out benchmark: what a drop target gets, and how fast, through the program's own data object.
//
// 1. Reads a 256 MiB device file through the file contents stream as Explorer does, in reads of
//    64 KiB and of 1 MiB, with the simulated library's latency model at 1 ms per call and 35 MB/s,
//    and prints the rate against the model's own ceiling (every read pays the call latency and the
//    transfer time of its bytes; opening and closing the file pay one latency each).
//    With the model off the same reads show what the program and the simulated library cost alone.
// 2. Builds the file descriptors of a dragged folder tree of 10,000 entries (the first request for
//    "FileGroupDescriptorW") and prints the time and the device calls per entry, with the model off
//    and at 1 ms per call. A drag of one file gives the fixed cost of the "Calculating Size..."
//    dialog, which Wine without a window manager makes about two seconds long.
// 3. Drags the 20,000 files of one folder as Ctrl+A in the file list selects them: the time the
//    begin-drag handler takes to make the transfer list and the data object ("list s"), then the
//    descriptors, with the model off.
// 4. Save to...: the same 256 MiB file copied by the program itself into a local folder, reading the
//    device 64 KiB and 1 MiB at a time, against the same ceiling; then a file of 4 GiB and a little
//    more, with the model off, and the peak working set of the whole process while it is copied.
//
// Run it under Wine with the build's prefix, where the simulated library is registered:
//   source scripts/wine-env.sh <build>; wine <build>/Testbed/Benchmarks/DragOutBenchmark.exe
#include <ole2.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Devices.h"
#include "DragObjects.h"
#include "DragOut.h"
#include "DragStart.h"
#include "FolderTree.h"
#include "SaveTo.h"
#include "SimDevice.h"
#include "Startup.h"

namespace {

const uint64_t kBigFileBytes = 256ull << 20;
const uint64_t kHugeFileBytes = (4ull << 30) + 12345;
const unsigned kLatencyMicroseconds = 1000;
const unsigned kBytesPerSecond = 35000000;
const int kFolders = 100;
const int kFilesPerFolder = 99;  // with the folders, 10,000 entries below the dragged folder
const int kSelectedFiles = 20000;

double Seconds(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

bool MakeBigFile(const std::wstring& path, uint64_t bytes = kBigFileBytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(bytes);
    bool ok = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

bool MakeTree(const std::wstring& root)
{
    CreateDirectoryW(root.c_str(), nullptr);
    for (int folder = 0; folder < kFolders; ++folder) {
        std::wstring path = root + L"\\folder " + std::to_wstring(folder);
        CreateDirectoryW(path.c_str(), nullptr);
        for (int file = 0; file < kFilesPerFolder; ++file) {
            if (!SimWriteFile(path + L"\\file " + std::to_wstring(file) + L".pdf", "x")) return false;
        }
    }
    return true;
}

bool MakeFiles(const std::wstring& folder, int count)
{
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int file = 0; file < count; ++file) {
        if (!SimWriteFile(folder + L"\\f" + std::to_wstring(file), "x")) return false;
    }
    return true;
}

struct BuildMeasure {
    size_t descriptors = 0;
    double listSeconds = 0;
    double seconds = 0;
    double callsPerEntry = 0;
};

BuildMeasure BuildDescriptors(const wchar_t* sourceFolder, const std::vector<std::wstring>& paths)
{
    BuildMeasure measure;
    LARGE_INTEGER listing = Now();
    Held<IDataObject> data = StartDrag(sourceFolder, paths);
    measure.listSeconds = Seconds(listing);
    FORMATETC format = {static_cast<CLIPFORMAT>(g_cfFileGroupDescriptorW), nullptr, DVASPECT_CONTENT, -1,
                        TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    SimResetCounters();
    LARGE_INTEGER start = Now();
    if (SUCCEEDED(data->GetData(&format, &medium))) {
        measure.seconds = Seconds(start);
        measure.descriptors = g_dragCount;
        measure.callsPerEntry = static_cast<double>(SimCallCount(nullptr)) / g_dragCount;
        ReleaseStgMedium(&medium);
    }
    data.reset();
    EndDragOut();
    return measure;
}

// The latency model's own time for these calls and bytes: every call pays its latency, every byte
// its transfer time.
double Ceiling(unsigned calls, uint64_t bytes)
{
    return calls * (kLatencyMicroseconds / 1e6) + static_cast<double>(bytes) / kBytesPerSecond;
}

struct ReadMeasure {
    uint64_t bytes = 0;
    bool failed = false;
    double seconds = 0;
    double ceilingSeconds = 0;
};

// The whole file read in pieces of `piece` bytes until a read gives 0 bytes, from GetData on, with
// the latency model on or off.
ReadMeasure ReadBigFile(ULONG piece, bool modelled)
{
    ReadMeasure measure;
    Held<IDataObject> data = StartDrag(L"/Documents", {L"0/big.bin"});
    FORMATETC descriptors = {static_cast<CLIPFORMAT>(g_cfFileGroupDescriptorW), nullptr, DVASPECT_CONTENT, -1,
                             TYMED_HGLOBAL};
    FORMATETC contents = {static_cast<CLIPFORMAT>(g_cfFileContents), nullptr, DVASPECT_CONTENT, 0, TYMED_ISTREAM};
    STGMEDIUM medium = {};
    measure.failed = FAILED(data->GetData(&descriptors, &medium));
    ReleaseStgMedium(&medium);
    std::vector<char> buffer(piece);
    if (modelled) SimSetLatency(kLatencyMicroseconds, kBytesPerSecond);
    SimResetCounters();
    LARGE_INTEGER start = Now();
    if (!measure.failed && SUCCEEDED(data->GetData(&contents, &medium))) {
        for (;;) {
            ULONG got = 0;
            if (FAILED(medium.pstm->Read(buffer.data(), piece, &got))) measure.failed = true;
            if (measure.failed || got == 0) break;
            measure.bytes += got;
        }
        ReleaseStgMedium(&medium);
    } else {
        measure.failed = true;
    }
    measure.seconds = Seconds(start);
    unsigned calls = SimCallCount(nullptr);
    SimSetLatency(0, 0);
    if (modelled) measure.ceilingSeconds = Ceiling(calls, measure.bytes);
    data.reset();
    EndDragOut();
    return measure;
}

uint64_t LocalFileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

SIZE_T PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

// Save to... of one device file into `folder`, reading `piece` bytes at a time; the file written
// there is removed again. The time runs from the copy's start (the descriptors are built before).
ReadMeasure SaveFile(const wchar_t* path, const std::wstring& folder, uint64_t expected, DWORD piece, bool modelled)
{
    ReadMeasure measure;
    DragItems items;
    items.push_back({OwnedWide(ResolveDevicePath(path)), nullptr});
    DescriptorSet set;
    measure.failed = BuildDescriptorSet(items, set) != DescriptorsBuilt::Built;
    if (modelled) SimSetLatency(kLatencyMicroseconds, kBytesPerSecond);
    SimResetCounters();
    LARGE_INTEGER start = Now();
    if (!measure.failed) {
        measure.failed = SaveDescriptorSetTo(set, CurrentOpening(), folder.c_str(), piece) != SaveOutcome::Saved;
    }
    measure.seconds = Seconds(start);
    unsigned calls = SimCallCount(nullptr);
    SimSetLatency(0, 0);
    std::wstring written = folder + L"\\" + LastDevicePathElement(path);
    measure.bytes = LocalFileSize(written);
    measure.failed = measure.failed || measure.bytes != expected;
    DeleteFileW(written.c_str());
    if (modelled) measure.ceilingSeconds = Ceiling(calls, measure.bytes);
    return measure;
}

double MegabytesPerSecond(uint64_t bytes, double seconds)
{
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
}

}  // namespace

int main()
{
    g_instance = GetModuleHandleW(nullptr);
    OleInitialize(nullptr);
    if (!BindDeviceLibrary()) {
        fprintf(stderr, "The simulated device library is not registered in this Wine prefix.\n");
        return 1;
    }
    MakeConstantStrings();
    g_cfFileGroupDescriptorW = RegisterClipboardFormatW(L"FileGroupDescriptorW");
    g_cfFileContents = RegisterClipboardFormatW(L"FileContents");
    std::wstring container = SimMakeTempFolder(L"TovarelDragOutBenchmark");
    std::wstring documents = container + L"\\Documents";
    CreateDirectoryW(documents.c_str(), nullptr);
    if (!MakeBigFile(documents + L"\\big.bin") || !MakeTree(documents + L"\\tree") ||
        !SimWriteFile(documents + L"\\one.pdf", "x") || !MakeFiles(documents + L"\\many", kSelectedFiles)) {
        fprintf(stderr, "The device files could not be written.\n");
        SimRemoveTree(container);
        return 1;
    }
    std::string config = std::string("device bench\nname Bench\napp " EDITION_4_IDENTIFIER " ") +
                         OwnedUtf8(ToUtf8(container.c_str())).get() + "\n";
    auto device = static_cast<AMDeviceRef>(SimLoadConfigText(config.c_str()) == 0 ? SimDeviceRef("bench") : nullptr);
    DeviceEntry entry = {};
    entry.device = device;
    entry.afc = device && g_lib.AMDeviceConnect(device) == 0 ? OpenEditionContainer(device, EDITION_4) : nullptr;
    if (!entry.afc) {
        fprintf(stderr, "The simulated device could not be opened.\n");
        SimRemoveTree(container);
        return 1;
    }
    entry.openLocation = EDITION_4;
    g_currentDevice = &entry;
    FolderNode folder = {};
    g_currentFolder = &folder;

    bool ok = true;
    printf("Reading a 256 MiB device file through the contents stream (MB = 10^6 bytes):\n");
    printf("%10s %14s %10s %10s %16s %10s\n", "read size", "model", "seconds", "MB/s", "ceiling MB/s", "of ceiling");
    for (bool modelled : {true, false}) {
        for (ULONG piece : {64u << 10, 1u << 20}) {
            ReadMeasure m = ReadBigFile(piece, modelled);
            ok = ok && !m.failed && m.bytes == kBigFileBytes;
            double rate = MegabytesPerSecond(m.bytes, m.seconds);
            double ceiling = MegabytesPerSecond(m.bytes, m.ceilingSeconds);
            printf("%8lu K %14s %10.2f %10.2f", piece >> 10, modelled ? "1 ms, 35 MB/s" : "off", m.seconds, rate);
            if (modelled) printf(" %16.2f %9.1f%%", ceiling, 100 * rate / ceiling);
            printf("%s\n", m.failed || m.bytes != kBigFileBytes ? "  (WRONG BYTE COUNT)" : "");
        }
    }

    printf("\nBuilding the descriptors of a dragged folder tree, and of %d files selected:\n", kSelectedFiles);
    printf("%22s %12s %10s %10s %14s %18s\n", "drag", "descriptors", "list s", "seconds", "ms per entry",
           "device calls/entry");
    auto print = [&ok](const std::string& what, const BuildMeasure& m) {
        ok = ok && m.descriptors > 0;
        printf("%22s %12zu %10.3f %10.2f %14.3f %18.2f\n", what.c_str(), m.descriptors, m.listSeconds, m.seconds,
               m.descriptors ? 1000 * m.seconds / m.descriptors : 0, m.callsPerEntry);
    };
    for (unsigned latency : {0u, kLatencyMicroseconds}) {
        SimSetLatency(latency, 0);
        for (const wchar_t* path : {L"0/one.pdf", L"0/tree"}) {
            std::string what = std::string(OwnedUtf8(ToUtf8(path)).get()) + (latency ? ", 1 ms/call" : ", no latency");
            print(what, BuildDescriptors(L"/Documents", {path}));
        }
    }
    SimSetLatency(0, 0);
    std::vector<std::wstring> selected;
    for (int file = 0; file < kSelectedFiles; ++file) selected.push_back(L"0/many/f" + std::to_wstring(file));
    print("0/many/*, no latency", BuildDescriptors(L"/Documents/many", selected));

    printf("\nSave to...: the 256 MiB device file copied into a local folder:\n");
    printf("%10s %14s %10s %10s %16s %10s\n", "read size", "model", "seconds", "MB/s", "ceiling MB/s", "of ceiling");
    std::wstring saved = container + L"\\saved";
    CreateDirectoryW(saved.c_str(), nullptr);
    for (bool modelled : {true, false}) {
        for (DWORD piece : {64u << 10, 1u << 20}) {
            ReadMeasure m = SaveFile(L"0/big.bin", saved, kBigFileBytes, piece, modelled);
            ok = ok && !m.failed;
            double rate = MegabytesPerSecond(m.bytes, m.seconds);
            double ceiling = MegabytesPerSecond(m.bytes, m.ceilingSeconds);
            printf("%8lu K %14s %10.2f %10.2f", static_cast<unsigned long>(piece >> 10),
                   modelled ? "1 ms, 35 MB/s" : "off", m.seconds, rate);
            if (modelled) printf(" %16.2f %9.1f%%", ceiling, 100 * rate / ceiling);
            printf("%s\n", m.failed ? "  (WRONG BYTE COUNT)" : "");
        }
    }
    if (MakeBigFile(documents + L"\\huge.bin", kHugeFileBytes)) {
        SIZE_T before = PeakWorkingSet();
        ReadMeasure m = SaveFile(L"0/huge.bin", saved, kHugeFileBytes, 1u << 20, false);
        ok = ok && !m.failed;
        printf("\nSave to... of a %llu-byte file (model off): %.1f s, %.1f MB/s, %s; peak working set %.1f MiB "
               "before, %.1f MiB after\n",
               static_cast<unsigned long long>(kHugeFileBytes), m.seconds, MegabytesPerSecond(m.bytes, m.seconds),
               m.failed ? "WRONG BYTE COUNT" : "whole", before / 1048576.0, PeakWorkingSet() / 1048576.0);
    } else {
        ok = false;
    }

    g_currentFolder = nullptr;
    g_currentDevice = nullptr;
    g_lib.AFCConnectionClose(entry.afc);
    g_lib.AMDeviceStopSession(device);
    SimRemoveTree(container);
    return ok ? 0 : 1;
}
