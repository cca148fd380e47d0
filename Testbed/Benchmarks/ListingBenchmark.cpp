// Listing benchmark: how the cost of reading one device folder grows with its size.
//
// Lists a folder of 2,000 and one of 20,000 empty files through the simulated device library, the
// way the program does when a folder is first opened (the container is opened by the program's own
// code, then ListFolder reads the folder), and prints for each size the whole time, the time spent
// putting the entries in order apart from the device calls, and the device calls per entry.
//
// Run it under Wine with the build's prefix, where the simulated library is registered:
//   source scripts/wine-env.sh <build>; wine <build>/Testbed/Benchmarks/ListingBenchmark.exe [n...]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchmarkSupport.h"
#include "Devices.h"
#include "FolderTree.h"
#include "Startup.h"
#include "TextUtil.h"
#include "iPhone.h"

namespace {

struct Measure {
    int entries = 0;
    int listed = 0;
    bool ordered = true;
    double wholeMs = 0;
    double orderingMs = 0;
    double callsPerEntry = 0;
    double oneByOneMs = 0;  // the same names put in order by single insertions, for comparison
};

bool InListOrder(const FolderNode* list)
{
    for (const FolderNode* node = list; node && node->next; node = node->next) {
        if (CompareNames(node->name, node->next->name) > 0) return false;
    }
    return true;
}

// What ordering the entries by single insertions into the list would cost (n squared).
double OneByOneMilliseconds(const FolderNode* list)
{
    std::vector<const wchar_t*> names;
    for (const FolderNode* node = list; node; node = node->next) names.push_back(node->name);
    // Scrambled, as a device hands them out.
    for (size_t i = names.size(); i > 1; --i) std::swap(names[i - 1], names[(i * 2654435761u) % i]);
    std::vector<FolderNode> nodes(names.size());
    FolderNode* ordered = nullptr;
    int64_t start = ClockTicks();
    for (size_t i = 0; i < names.size(); ++i) {
        nodes[i].name = const_cast<wchar_t*>(names[i]);
        InsertSorted(&ordered, &nodes[i]);
    }
    return Milliseconds(ClockTicks() - start);
}

Measure ListOnce(const SimControls& sim, FolderNode* folder, int entries)
{
    Measure measure;
    measure.entries = entries;
    sim.resetCounters();
    int64_t orderingBefore = g_listingOrderTicks.load();
    int64_t start = ClockTicks();
    FolderNode* list = ListFolder(folder);
    measure.wholeMs = Milliseconds(ClockTicks() - start);
    measure.orderingMs = Milliseconds(g_listingOrderTicks.load() - orderingBefore);
    measure.callsPerEntry = static_cast<double>(sim.callCount(nullptr)) / entries;
    for (const FolderNode* node = list; node; node = node->next) ++measure.listed;
    measure.ordered = InListOrder(list);
    measure.oneByOneMs = OneByOneMilliseconds(list);
    FreeFolderList(list);
    return measure;
}

// The best of a few runs: the least disturbed by the rest of the machine.
Measure ListBest(const SimControls& sim, FolderNode* folder, int entries, int runs)
{
    Measure best = ListOnce(sim, folder, entries);
    for (int run = 1; run < runs; ++run) {
        Measure next = ListOnce(sim, folder, entries);
        best.wholeMs = std::min(best.wholeMs, next.wholeMs);
        best.orderingMs = std::min(best.orderingMs, next.orderingMs);
        best.oneByOneMs = std::min(best.oneByOneMs, next.oneByOneMs);
        best.ordered = best.ordered && next.ordered;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(atoi(argv[i]));
    if (sizes.empty()) sizes = {2000, 20000};

    g_instance = GetModuleHandleW(nullptr);
    SimControls sim = {};
    if (!BindDeviceLibrary() || !FindSimControls(sim)) {
        fprintf(stderr, "The simulated device library is not registered in this Wine prefix.\n");
        return 1;
    }
    MakeConstantStrings();
    std::wstring container = MakeBenchmarkFolder(L"TovarelListingBenchmark");
    CreateDirectoryW((container + L"\\Documents").c_str(), nullptr);
    OwnedUtf8 containerUtf8(ToUtf8(container.c_str()));
    std::string config = std::string("device bench\nname Bench\napp " EDITION_4_IDENTIFIER " ") + containerUtf8.get() + "\n";
    AMDeviceRef device = nullptr;
    if (sim.loadConfigText(config.c_str()) != 0 || !(device = static_cast<AMDeviceRef>(sim.deviceRef("bench"))) ||
        g_lib.AMDeviceConnect(device) != 0) {
        fprintf(stderr, "The simulated device could not be set up.\n");
        return 1;
    }
    DeviceEntry entry = {};
    entry.device = device;
    entry.afc = OpenEditionContainer(device, EDITION_4);
    if (!entry.afc) {
        fprintf(stderr, "The app container could not be opened.\n");
        return 1;
    }
    entry.openLocation = EDITION_4;
    g_currentDevice = &entry;
    g_userDocsPath = DupString(L"/Library/Caches/UserDocs");

    std::vector<Measure> measures;
    bool ok = true;
    for (int entries : sizes) {
        std::wstring name = L"big" + std::to_wstring(entries);
        std::wstring folderPath = container + L"\\Documents\\" + name;
        if (!FillFolder(folderPath, entries)) {
            fprintf(stderr, "Could not create %d files.\n", entries);
            ok = false;
            break;
        }
        FolderNode* folder = NewFolderNode(nullptr, name.c_str(), (L"0/" + name).c_str(), 1);
        Measure measure = ListBest(sim, folder, entries, 5);
        FreeFolderNode(folder);
        EmptyFolder(folderPath, entries);
        measures.push_back(measure);
        ok = ok && measure.listed == entries && measure.ordered;
    }

    printf("%10s %12s %14s %20s %24s\n", "entries", "whole ms", "ordering ms", "device calls/entry",
           "one-by-one insertion ms");
    for (const Measure& m : measures) {
        printf("%10d %12.1f %14.2f %20.2f %24.1f%s\n", m.entries, m.wholeMs, m.orderingMs, m.callsPerEntry,
               m.oneByOneMs, m.listed == m.entries && m.ordered ? "" : "  (WRONG LISTING)");
    }
    for (size_t i = 1; i < measures.size(); ++i) {
        const Measure& a = measures[i - 1];
        const Measure& b = measures[i];
        printf("%d vs %d entries (x%.1f): whole time x%.1f, ordering time x%.1f (one-by-one insertion x%.1f)\n",
               b.entries, a.entries, static_cast<double>(b.entries) / a.entries, b.wholeMs / a.wholeMs,
               b.orderingMs / a.orderingMs, b.oneByOneMs / a.oneByOneMs);
    }

    g_currentDevice = nullptr;
    g_lib.AFCConnectionClose(entry.afc);
    g_lib.AMDeviceStopSession(device);
    RemoveDirectoryW((container + L"\\Documents").c_str());
    RemoveDirectoryW(container.c_str());
    return ok ? 0 : 1;
}
