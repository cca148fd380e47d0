#include "TreeSnapshot.h"

#include <windows.h>

#include "BedSha256.h"

const char kSnapshotFolder[] = "folder";

namespace {

std::string ContentFacts(const std::wstring& path)
{
    // Tests take snapshots while the program works on the same folder: a file being hashed must
    // not make the program's removal or rename of it fail.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "unreadable";
    bed::Sha256 hash;
    static char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) hash.Add(buffer, read);
    CloseHandle(file);
    return std::to_string(hash.Bytes()) + ":" + hash.Finish();
}

void WalkBelow(const std::wstring& folder, const std::wstring& prefix, const TreeVisit& visit)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = folder + L"\\" + name;
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder) WalkBelow(path, prefix + name + L"/", visit);
        visit(path, prefix + name, isFolder);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

void WalkTree(const std::wstring& folder, const TreeVisit& visit)
{
    WalkBelow(folder, L"", visit);
}

TreeSnapshot SnapshotTree(const std::wstring& folder)
{
    TreeSnapshot snapshot;
    // A "\\?\" path takes every name as it is: "con" is a file there, not the console.
    bool absolute = folder.size() > 2 && folder[1] == L':' && folder[2] == L'\\';
    auto add = [&snapshot](const std::wstring& path, const std::wstring& relative, bool isFolder) {
        snapshot[relative] = isFolder ? kSnapshotFolder : ContentFacts(path);
    };
    WalkTree(absolute ? L"\\\\?\\" + folder : folder, add);
    return snapshot;
}

std::multiset<std::string> FileContents(const TreeSnapshot& snapshot)
{
    std::multiset<std::string> contents;
    for (const auto& entry : snapshot) {
        if (entry.second != kSnapshotFolder) contents.insert(entry.second);
    }
    return contents;
}
