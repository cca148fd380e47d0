// Shared pieces of the folder tree and file list tests.
#pragma once

#include <string>
#include <vector>

#include "ProgramHarness.h"

// Creates an empty file with exactly this name even when a name differing only in letter case is
// already there (the Win32 calls under Wine would open that one instead).
bool CreateExactCaseFile(const std::wstring& folder, const std::wstring& name);
// The names of a device folder in the order the current device's connection reads them (the
// enumeration order of the disk, which Wine does not keep the same for every way of asking).
std::vector<std::wstring> DeviceReadOrder(const char* devicePath);

class BrowserTest : public ProgramTest {};
