// The device's file system as the rest of the program meets it: reading a folder, asking about one
// entry, removing a tree, and which names an entry may take. Folders and entries are reached only
// through these; the device information and the file streams have their own calls.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "iPhone.h"

// A name that stays one entry of its folder: not empty, no "/" (which would move the item), and
// not "." or ".." (which name the folder itself or its parent).
bool IsUsableName(const wchar_t* name);

// --- Reading a folder ------------------------------------------------------------------------------

// One open device folder, closed at the latest when its owner ends.
class DeviceFolder {
public:
    DeviceFolder(AFCConnectionRef afc, const char* pathUtf8);
    ~DeviceFolder();
    DeviceFolder(const DeviceFolder&) = delete;
    DeviceFolder& operator=(const DeviceFolder&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    // The next entry's name, never "." or "..": true with the name, true with null at the end, false
    // when the device failed to read.
    bool Next(const char** name);
    // False when the device failed to close it.
    bool Close();

private:
    AFCConnectionRef afc_;
    AFCDirectoryRef handle_ = nullptr;
};

enum class FolderRead { Whole, Stopped, NotOpened, Failed };

// Hands the name of every entry of an open device folder but "." and ".." to visit(name), which
// answers false to stop, and closes the folder. Whole: every entry was visited and the folder read
// and closed without a failure.
template <class Visit> FolderRead ReadOpenFolder(DeviceFolder& folder, Visit visit)
{
    if (!folder.IsOpen()) return FolderRead::NotOpened;
    FolderRead outcome = FolderRead::Whole;
    for (;;) {
        const char* name = nullptr;
        if (!folder.Next(&name)) {
            outcome = FolderRead::Failed;
            break;
        }
        if (!name) break;
        if (!visit(name)) {
            outcome = FolderRead::Stopped;
            break;
        }
    }
    if (!folder.Close() && outcome == FolderRead::Whole) outcome = FolderRead::Failed;
    return outcome;
}

// The same for the device folder of this path, closed on every way out.
template <class Visit> FolderRead ReadDeviceFolder(AFCConnectionRef afc, const char* pathUtf8, Visit visit)
{
    DeviceFolder folder(afc, pathUtf8);
    return ReadOpenFolder(folder, visit);
}

// Whether a device folder of this path opens; it is closed again at once. A false answer is no
// proof that nothing is there: rely on it only where the next step refuses whatever is (making a
// folder fails on any entry of its name).
bool DeviceFolderOpens(AFCConnectionRef afc, const char* pathUtf8);

// --- One entry -------------------------------------------------------------------------------------

// A device time ("st_mtime": nanoseconds since 1970-01-01 UTC, decimal, "-" before a time before
// 1970) as a FILETIME count (100 ns since 1601-01-01 UTC), or 0 when it is unknown: missing, empty,
// not a number, before 1601 or after the year 30827 (no SYSTEMTIME holds it). Never a wrong date.
uint64_t ParseDeviceTime(const char* text);

// Unknown: the information has no "st_ifmt", or was not read.
enum class EntryKind { Unknown, File, Folder, Link };

struct EntryInfo {
    EntryKind kind = EntryKind::Unknown;
    bool hasSize = false;
    uint64_t size = 0;        // "st_size"
    std::string linkTarget;   // a link's "LinkTarget" as the device gives it; empty when not told
    uint64_t modified = 0;    // "st_mtime" as a FILETIME count; 0 when unknown (ParseDeviceTime)
};

// NotOpened: the device gave no information (no such entry, or a failure: it does not say which).
// Failed: a read or the close failed after what is in `info` was read.
enum class InfoRead { Read, NotOpened, Failed };

// Reads what the program needs of one entry's information: its kind, its size, its date and, for a
// link, where it points; with `sizeOnly`, the reading stops once the size and the date are known.
InfoRead ReadEntryInfo(AFCConnectionRef afc, const char* pathUtf8, EntryInfo& info, bool sizeOnly = false);

// A symbolic link is listed as a folder, whatever it points to: the listing does not say.
inline bool ListedAsFolder(EntryKind kind)
{
    return kind == EntryKind::Folder || kind == EntryKind::Link;
}

// --- Whether a name is taken -----------------------------------------------------------------------

enum class EntryState { Absent, Present, Unknown };

// Asks about the entries of one device folder. The folder is read at most once, when an answer
// first needs it, so that the items of one drop cost one reading between them.
class FolderProbe {
public:
    FolderProbe(AFCConnectionRef afc, const wchar_t* folderDevicePath);

    // Present when the device gives the entry's information or lists a name it takes for this one
    // (SameDeviceName: composed and decomposed forms are one name; `ownName`, the name of the item
    // being renamed, does not count). Absent only when it says so for certain: no information, and
    // the folder, read whole, holds no such name. Unknown in every other case: a failure is never
    // taken for "absent".
    EntryState Probe(const wchar_t* name, const wchar_t* ownName = nullptr);
    // Whether the folder, read whole, lists exactly this name. False in `readable` when it cannot
    // be read.
    bool ListsExactly(const wchar_t* name, bool* readable);

private:
    bool ReadNames();

    AFCConnectionRef afc_;
    std::wstring folder_;
    enum class Names { NotRead, Read, Unreadable } names_ = Names::NotRead;
    // Every listed name, by its DeviceNameKey.
    std::unordered_map<std::wstring, std::vector<std::wstring>> byKey_;
};

// Whether two names are the same but for letter case (any letters, not only ASCII): a device whose
// lookup ignores case finds one under the other, though it lists them apart.
bool SameButForCase(const wchar_t* a, const wchar_t* b);

// --- Removing a tree -------------------------------------------------------------------------------

// How a removal meets a failure: a deletion stops at the first, a roll back goes on and removes
// what it can.
enum class OnFailure { Stop, GoOn };

// Called with the name the user sees before each removal; answering false ends the whole removal.
using BeforeRemoving = std::function<bool(const wchar_t* shownName)>;

// Removes a device entry and, for a folder, everything in it: contents before their folder,
// subfolders (links among them) before files, each group in name order. A link is removed as
// itself, never through what it points to. `kind` is what the caller knows of the entry (Unknown:
// the device is asked). With Stop, a folder that cannot be read whole is not touched, so that no
// entry goes before one that was missed. True when the entry and everything in it were removed.
bool RemoveDeviceItem(AFCConnectionRef afc, const wchar_t* devicePath, EntryKind kind, OnFailure onFailure,
                      const BeforeRemoving& beforeRemoving = nullptr);
