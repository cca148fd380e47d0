// The standard open dialog over the main window, to choose local files or folders.
#pragma once

#include <string>
#include <vector>

enum class PickWhat {
    Files,       // "Add files": one or more files
    Folders,     // "Add folder": one or more folders
    SaveFolder,  // "Save to": the one folder to copy into
};

// The full paths chosen; empty when the dialog was cancelled or could not be shown.
std::vector<std::wstring> PickLocalItems(PickWhat what);
