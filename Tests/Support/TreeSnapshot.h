// What a folder on disk holds, to compare a device's folder (the simulated library keeps it on
// disk) or a copy's destination with what was put there.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

// Visits every entry below a folder, what a folder holds before the folder itself, with its full
// path, its path relative to `folder` ("/"-joined) and whether it is a folder.
using TreeVisit = std::function<void(const std::wstring& path, const std::wstring& relative, bool isFolder)>;
void WalkTree(const std::wstring& folder, const TreeVisit& visit);

// Relative path ("/"-joined) to "folder", or to a file's size and SHA-256 ("SIZE:HEX"), for every
// entry below a folder. Names Windows treats specially ("con", "dots. ") are read as they are.
using TreeSnapshot = std::map<std::wstring, std::string>;
extern const char kSnapshotFolder[];
TreeSnapshot SnapshotTree(const std::wstring& folder);
// The contents of every file of a snapshot, whatever their names: to see that each file arrived
// once with its own bytes where names change on the way.
std::multiset<std::string> FileContents(const TreeSnapshot& snapshot);
