// Pieces the benchmarks share: the simulated library's control functions, folders of many files on
// disk, and the clock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "SimControl.h"

struct SimControls {
    decltype(&SimLoadConfigText) loadConfigText;
    decltype(&SimDeviceRef) deviceRef;
    decltype(&SimCallCount) callCount;
    decltype(&SimResetCounters) resetCounters;
    decltype(&SimPendingNotices) pendingNotices;
};

// The control functions of the simulated library loaded in this process (the program's binding
// loads it). False when it is not loaded or lacks one.
bool FindSimControls(SimControls& controls);

// A new folder below the temporary folder, named after the benchmark and this process.
std::wstring MakeBenchmarkFolder(const wchar_t* name);
// Names in a scrambled order with mixed letter case, so that ordering them is real work.
std::wstring EntryName(int i);
// Creates the folder with `count` empty files named by EntryName; EmptyFolder removes them again.
bool FillFolder(const std::wstring& folder, int count);
void EmptyFolder(const std::wstring& folder, int count);

int64_t ClockTicks();
double Milliseconds(int64_t ticks);
