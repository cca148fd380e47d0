#include "UploadEngine.h"

#include <memory>
#include <new>
#include <string>
#include <unordered_map>

#include "CopyThread.h"
#include "DeviceFiles.h"
#include "Devices.h"
#include "FileList.h"
#include "FolderTree.h"
#include "PlaceSnapshot.h"
#include "TextUtil.h"
#include "UserMessages.h"
#include "resource.h"

namespace {

const DWORD kChunkBytes = 262144;

// What the copy thread keeps for one upload.
struct UploadRecord {
    // Which items of the transfer list made their destination on the device. Only those are removed
    // when the upload fails or is cancelled: a destination that was already there when its item's
    // turn came (made by anything but an earlier item of the same drop) is never written into, so the
    // device keeps everything it had before the drop.
    std::unique_ptr<bool[]> created;
    size_t count = 0;
    // One chunk buffer for every file: made anew for each small file, it would cost more than the
    // file's copy.
    std::unique_ptr<char[]> chunk;
};
UploadRecord s_record;

// The folders the copy made right in its destination, and whether each holds a subfolder. Listing
// the destination afterwards takes these answers: asking the device means one query for every file
// of a new folder, as many calls as copying it took.
KnownSubfolders s_madeFolders;

// Where the window stood when the copy started, and the destination's device path as it was then
// (NoteDropDestination). The copy thread works on the path, never on the folder's node: the window's
// thread may free the node meanwhile.
PlaceSnapshot s_destinationPlace;
OwnedWide s_destinationPath;

// Set by the copy thread when two names of one local folder are one name to the device; taken by
// the window's thread, which tells the user (WMU_SHOW_NAME_CLASH).
std::atomic<wchar_t*> s_nameClash{nullptr};

bool Cancelled()
{
    return g_copyCancel.load() != 0;
}

// The names of one local folder, by the name the device would make of each (DeviceNameKey). Two
// names that differ but are one to the device ("Café" composed and decomposed) would end as one
// entry there, one copied over the other: the upload stops before it writes anything.
class LocalNames {
public:
    // False when the name is one to the device with an earlier name (the two are recorded for the
    // user) or memory runs out. `sameAllowed`: the very same name may come again (dropped items of
    // one name merge).
    bool Add(const wchar_t* name, const wchar_t* localPath, bool sameAllowed = false)
    {
        OwnedWide key(DeviceNameKey(name));
        if (!key) return false;
        try {
            auto added = byKey_.emplace(key.get(), Seen{name, localPath});
            const Seen& earlier = added.first->second;
            if (added.second || (sameAllowed && earlier.name == name)) return true;
            RecordClash(earlier.localPath.c_str(), localPath);
        } catch (const std::bad_alloc&) {
        }
        return false;
    }

private:
    static void RecordClash(const wchar_t* first, const wchar_t* second)
    {
        std::wstring text = L"These names are one name on the device, where one would replace the other:\n";
        text += ShownLocalPath(first);
        text += L"\n";
        text += ShownLocalPath(second);
        text += L"\nNothing was copied.";
        FreeString(s_nameClash.exchange(DupString(text.c_str())));
    }

    struct Seen {
        std::wstring name;
        std::wstring localPath;
    };
    std::unordered_map<std::wstring, Seen> byKey_;
};

bool IsDotName(const wchar_t* name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

bool IsLocalFolder(const WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint64_t FileSize(DWORD high, DWORD low)
{
    return (static_cast<uint64_t>(high) << 32) | low;
}

// The handles of one file copy, closed on every way out.
struct LocalSearch {
    HANDLE handle;
    ~LocalSearch()
    {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }
};

struct LocalFile {
    HANDLE handle;
    ~LocalFile()
    {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

struct DeviceFile {
    AFCConnectionRef afc;
    AFCFileRef ref;
    ~DeviceFile() { g_lib.AFCFileRefClose(afc, ref); }
};

bool IsFolderEntry(const WIN32_FIND_DATAW& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Calls `visit` with every entry of a local folder but "." and "..", hidden and system ones
// included; what the listing says of an entry's kind and size saves asking again for each. False
// when the folder cannot be listed, its listing ends in an error or `visit` fails; true also when
// the copy is cancelled, which ends the walk before the next entry.
template <class Visit> bool ForEachLocalEntry(const wchar_t* folder, Visit visit)
{
    OwnedWide pattern(JoinLocalPath(folder, L"*"));
    FATAL_CHECK(pattern);
    WIN32_FIND_DATAW found;
    LocalSearch search{FindFirstFileW(pattern.get(), &found)};
    if (search.handle == INVALID_HANDLE_VALUE) return false;
    for (;;) {
        if (!IsDotName(found.cFileName) && !visit(found)) return false;
        if (!FindNextFileW(search.handle, &found)) return GetLastError() == ERROR_NO_MORE_FILES;
        if (Cancelled()) return true;
    }
}

// `made`, when given, is set once the device file is open: this upload made it.
bool UploadFile(const wchar_t* localPath, const char* devicePathUtf8, bool* made, uint64_t total, uint64_t& done)
{
    bool named = !Cancelled() && ShowCopyStatusWhenDue(ShownLocalPath(localPath));
    LocalFile local{CreateFileW(localPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (local.handle == INVALID_HANDLE_VALUE) return false;
    AFCConnectionRef afc = CurrentConnection();
    AFCFileRef ref = 0;
    if (g_lib.AFCFileRefOpen(afc, devicePathUtf8, AFC_MODE_CREATE_WRITE, &ref) != 0) return false;
    DeviceFile device{afc, ref};
    if (made) *made = true;
    if (!s_record.chunk) s_record.chunk.reset(new (std::nothrow) char[kChunkBytes]);
    char* buffer = s_record.chunk.get();
    if (!buffer) return false;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(local.handle, buffer, kChunkBytes, &read, nullptr)) return false;
        if (read == 0) return true;
        if (g_lib.AFCFileRefWrite(afc, ref, buffer, read) != 0) return false;
        done += read;
        int position = ProgressPosition(done, total);
        // The file stays as far as it was written; the roll back removes it.
        if (Cancelled()) return true;
        if (!named) named = ShowCopyStatusWhenDue(ShownLocalPath(localPath));
        ShowCopyPosition(position);
    }
}

bool UploadKnownEntry(const wchar_t* localPath, const wchar_t* devicePath, bool isFolder, bool* made,
                      uint64_t total, uint64_t& done);

bool InDestination(const wchar_t* devicePath)
{
    const wchar_t* destination = s_destinationPath.get();
    size_t length = destination ? wcslen(destination) : 0;
    return length && wcsncmp(devicePath, destination, length) == 0 && devicePath[length] == L'/' &&
           !wcschr(devicePath + length + 1, L'/');
}

// Two dropped folders of the same name go into one: it has a subfolder if either brought one.
void NoteMadeFolder(const wchar_t* devicePath, bool hasSubfolder)
{
    if (!InDestination(devicePath)) return;
    try {
        bool& known = s_madeFolders[devicePath];
        known = known || hasSubfolder;
    } catch (const std::bad_alloc&) {
        // Without the answer the listing asks the device.
    }
}

// `made`, when given, means the device has nothing of this name for certain: the folder is made
// here or the copy fails, and `made` is set once it is. Without it an existing folder is merged
// into (it is this upload's own: made by an earlier item, or the folder above it was).
bool UploadFolder(const wchar_t* localPath, const wchar_t* devicePath, const char* devicePathUtf8, bool* made,
                  uint64_t total, uint64_t& done)
{
    AFCConnectionRef afc = CurrentConnection();
    bool useExisting = !made && DeviceFolderOpens(afc, devicePathUtf8);
    if (!useExisting) {
        if (g_lib.AFCDirectoryCreate(afc, devicePathUtf8) != 0) return false;
        if (made) *made = true;
    }
    bool hasSubfolder = false;
    bool copied = ForEachLocalEntry(localPath, [&](const WIN32_FIND_DATAW& entry) {
        OwnedWide childLocal(JoinLocalPath(localPath, entry.cFileName));
        OwnedWide childDevice(JoinDevicePath(devicePath, entry.cFileName));
        FATAL_CHECK(childLocal && childDevice);
        hasSubfolder = hasSubfolder || IsFolderEntry(entry);
        return UploadKnownEntry(childLocal.get(), childDevice.get(), IsFolderEntry(entry), nullptr, total, done);
    });
    if (copied && !Cancelled()) NoteMadeFolder(devicePath, hasSubfolder);
    return copied;
}

bool UploadKnownEntry(const wchar_t* localPath, const wchar_t* devicePath, bool isFolder, bool* made,
                      uint64_t total, uint64_t& done)
{
    OwnedUtf8 devicePathUtf8(DeviceTextToUtf8(devicePath));
    if (!devicePathUtf8 || !devicePathUtf8.get()[0]) return false;
    if (isFolder) return UploadFolder(localPath, devicePath, devicePathUtf8.get(), made, total, done);
    return UploadFile(localPath, devicePathUtf8.get(), made, total, done);
}

// Local paths are used as they are (LocalPathAsIs): a dropped folder may hold "con" or "a.", made
// by other systems, which the usual form would take for the console or for "a".
bool UploadEntry(const wchar_t* dropped, const wchar_t* devicePath, bool* made, uint64_t total, uint64_t& done)
{
    OwnedWide localPath(LocalPathAsIs(dropped));
    if (!localPath) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(localPath.get(), GetFileExInfoStandard, &data)) return false;
    return UploadKnownEntry(localPath.get(), devicePath, IsLocalFolder(data), made, total, done);
}

bool MadeByEarlierItem(size_t index, const TransferItem* item)
{
    size_t earlier = 0;
    for (const TransferItem* other = g_transferList; other && earlier < index; other = other->next, ++earlier) {
        if (s_record.created[earlier] && wcscmp(other->devicePath, item->devicePath) == 0) return true;
    }
    return false;
}

// One dropped item. Its destination may exist only when an earlier item of this drop made it (two
// dropped folders of the same name merge, a file overwrites one copied before); anything else
// found there was on the device before and is left alone: the copy fails instead. So does a
// destination the device cannot tell about: it may be the user's.
bool UploadDroppedItem(size_t index, const TransferItem* item, FolderProbe& destination, uint64_t total,
                       uint64_t& done)
{
    switch (destination.Probe(LastDevicePathElement(item->devicePath))) {
    case EntryState::Present:
        return MadeByEarlierItem(index, item) && UploadItem(item->localPath, item->devicePath, total, done);
    case EntryState::Absent:
        // Recorded as soon as it is made, so that a copy that stops half-way is removed.
        return UploadEntry(item->localPath, item->devicePath, &s_record.created[index], total, done);
    case EntryState::Unknown:
        break;
    }
    return false;
}

size_t CountTransferItems()
{
    size_t count = 0;
    for (const TransferItem* item = g_transferList; item; item = item->next) ++count;
    return count;
}

// Both passes. False when the copy failed; true when it went through or was cancelled.
bool RunUpload()
{
    s_madeFolders.clear();
    s_record.count = CountTransferItems();
    s_record.created.reset(new (std::nothrow) bool[s_record.count]());
    if (!s_record.created) return false;

    ShowCopyStatus(L"Calculating size...");
    uint64_t total = 0;
    LocalNames dropped;
    for (const TransferItem* item = g_transferList; item; item = item->next) {
        if (!dropped.Add(LastDevicePathElement(item->devicePath), item->localPath, true)) return false;
    }
    for (const TransferItem* item = g_transferList; item; item = item->next) {
        if (!AddLocalSize(item->localPath, total)) return false;
        if (Cancelled()) return true;
    }
    uint64_t done = 0;
    size_t index = 0;
    FolderProbe destination(CurrentConnection(), s_destinationPath.get());
    for (const TransferItem* item = g_transferList; item; item = item->next, ++index) {
        if (!UploadDroppedItem(index, item, destination, total, done)) return false;
        if (Cancelled()) return true;
    }
    return true;
}

bool AddFolderSize(const wchar_t* folder, uint64_t& total)
{
    OwnedWide status(ConcatStrings(L"Calculating size: ", ShownLocalPath(folder)));
    bool named = !status || ShowCopyStatusWhenDue(status.get());
    LocalNames names;
    return ForEachLocalEntry(folder, [&](const WIN32_FIND_DATAW& entry) {
        if (!named) named = ShowCopyStatusWhenDue(status.get());
        OwnedWide child(JoinLocalPath(folder, entry.cFileName));
        FATAL_CHECK(child);
        if (!names.Add(entry.cFileName, child.get())) return false;
        if (!IsFolderEntry(entry)) {
            total += FileSize(entry.nFileSizeHigh, entry.nFileSizeLow);
            return true;
        }
        return AddFolderSize(child.get(), total);
    });
}

// The copy thread's work: both passes, and the roll back when they fail or are cancelled.
UINT RunUploadThread(void*)
{
    FATAL_CHECK(g_dropFolder.load());
    FATAL_CHECK(g_dropTreeItem.load());
    FATAL_CHECK(g_transferList.load());
    if (!RunUpload()) {
        RollBackUpload();
        return s_nameClash.load() ? WMU_SHOW_NAME_CLASH : WMU_COPY_ERROR;
    }
    if (Cancelled()) {
        RollBackUpload();
        return WMU_COPY_CANCELLED;
    }
    // The folder is listed again by the window's thread: the list's images and the extension
    // table are that thread's, and so is the shell's icon lookup.
    return WMU_SHOW_DROP_DESTINATION;
}

void FinishUploadThread(void*, bool ran)
{
    s_record = UploadRecord();
    FreeTransferList();
    if (!ran) return;
    SendMessageW(g_mainWindow.load(), WMU_UPDATE_TOOLBAR, 0, 0);
    RefreshDiskSpace();
}

// Notes, as the copy starts, that g_dropFolder and g_dropTreeItem are good now, and the device path
// of g_dropFolder, which is what the copy thread copies into.
void NoteDropDestination()
{
    s_destinationPlace = PlaceSnapshot::Take();
    FolderNode* folder = g_dropFolder.load();
    s_destinationPath.reset(folder && folder->path ? ResolveDevicePath(folder->path) : nullptr);
    FreeString(s_nameClash.exchange(nullptr));
}

}  // namespace

bool AddLocalSize(const wchar_t* dropped, uint64_t& total)
{
    OwnedWide localPath(LocalPathAsIs(dropped));
    if (!localPath) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(localPath.get(), GetFileExInfoStandard, &data)) return false;
    if (!IsLocalFolder(data)) {
        total += FileSize(data.nFileSizeHigh, data.nFileSizeLow);
        return true;
    }
    return AddFolderSize(localPath.get(), total);
}

bool UploadItem(const wchar_t* localPath, const wchar_t* devicePath, uint64_t total, uint64_t& done)
{
    return UploadEntry(localPath, devicePath, nullptr, total, done);
}

void RemoveDeviceTree(const wchar_t* devicePath)
{
    RemoveDeviceItem(CurrentConnection(), devicePath, EntryKind::Unknown, OnFailure::GoOn);
}

void RollBackUpload()
{
    size_t index = 0;
    for (const TransferItem* item = g_transferList; item && index < s_record.count; item = item->next, ++index) {
        if (s_record.created && s_record.created[index]) RemoveDeviceTree(item->devicePath);
    }
}

bool StartUpload()
{
    NoteDropDestination();
    return StartCopyThread({RunUploadThread, FinishUploadThread, nullptr});
}

void ShowNameClash()
{
    OwnedWide text(s_nameClash.exchange(nullptr));
    if (text && !MainWindowGone()) ShowWarning(text.get(), L"TovarelUSB - File / folder already exists");
}

void ShowDropDestination()
{
    // Device changes held back during the copy run once it ends, and may come first: the nodes of
    // the destination are trusted only while nothing of the tree went since the copy started.
    if (!WaitUntilNoCopyThread() || MainWindowGone()) return;
    FolderNode* folder = g_dropFolder;
    HTREEITEM item = g_dropTreeItem;
    HWND tree = MainWindowControl(IDC_FOLDER_TREE);
    if (!folder || !item || !tree || !LocationOpen() || !s_destinationPlace.SameTree()) return;
    // The selection comes first, so that no tree item selected, nor the current folder, is one of
    // the nodes that are freed when the destination is the parent of the folder shown.
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    FreeFolderList(folder->children);
    folder->children = nullptr;
    folder->listed = 0;
    UseKnownSubfolders(&s_madeFolders);
    ShowFolderInList(item, folder);
    UseKnownSubfolders(nullptr);
    s_madeFolders.clear();
}
