// The file descriptors of a drag out: one per dragged file or folder and everything below each
// folder, depth first, each folder before its contents, with paths relative to the drop point.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "DeviceFiles.h"
#include "DragObjects.h"
#include "TransferDialogs.h"
#include "UserMessages.h"
#include "VirtualFiles.h"
#include "resource.h"

namespace {

const uint32_t kDescriptorGrowth = 16;
const size_t kLongestRelativePath = MAX_PATH - 1;
const DWORD kFileFlags = FD_PROGRESSUI | FD_FILESIZE | FD_ATTRIBUTES;
const DWORD kFolderFlags = FD_PROGRESSUI | FD_ATTRIBUTES;
FILEDESCRIPTORW& Descriptor(uint32_t slot)
{
    return DescriptorIn(g_dragDescriptors, slot);
}

// Grows a block of the heap with the new part zeroed (makes it when there is none yet).
void* GrowZeroed(void* block, size_t bytes)
{
    HANDLE heap = GetProcessHeap();
    return block ? HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, bytes) : HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}

// Room for one more descriptor, in steps of 16 slots; on failure everything built is released.
bool MakeRoomForDescriptor()
{
    FATAL_CHECK(g_dragCount <= g_dragCapacity);
    if (g_dragCount < g_dragCapacity) return true;
    uint32_t capacity = g_dragCapacity + kDescriptorGrowth;
    void* descriptors = GrowZeroed(g_dragDescriptors, DescriptorBlockBytes(capacity));
    if (descriptors) g_dragDescriptors = descriptors;
    void* paths = descriptors ? GrowZeroed(g_dragDevicePaths, capacity * sizeof(char*)) : nullptr;
    if (!paths) {
        FreeDragDescriptors();
        return false;
    }
    g_dragDevicePaths = static_cast<char**>(paths);
    g_dragCapacity = capacity;
    return true;
}

// A device path and an entry name as the device gave it: its bytes stay as they are, so that a
// name that is not UTF-8 still reaches the right file.
char* JoinDeviceEntryPath(const char* folder, const char* name)
{
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    bool separator = folderLength == 0 || folder[folderLength - 1] != '/';
    auto* joined = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, folderLength + separator + nameLength + 1));
    if (!joined) return nullptr;
    memcpy(joined, folder, folderLength);
    if (separator) joined[folderLength] = '/';
    memcpy(joined + folderLength + separator, name, nameLength + 1);
    return joined;
}

char* DupUtf8(const char* text)
{
    size_t bytes = strlen(text) + 1;
    auto* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, bytes));
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

// Where a link leads, as a device path: a relative target counts from the link's folder, and "."
// and ".." elements are resolved. Empty when the device did not say.
std::string LinkDestination(const char* linkPath, const std::string& target)
{
    if (target.empty()) return std::string();
    std::string link(linkPath);
    std::string joined = target[0] == '/' ? target : link.substr(0, link.rfind('/') + 1) + target;
    std::vector<std::string> elements;
    for (size_t start = 0; start <= joined.size();) {
        size_t end = std::min(joined.find('/', start), joined.size());
        std::string element = joined.substr(start, end - start);
        if (element == "..") {
            if (!elements.empty()) elements.pop_back();
        } else if (!element.empty() && element != ".") {
            elements.push_back(element);
        }
        start = end + 1;
    }
    std::string path;
    for (const std::string& element : elements) path += "/" + element;
    return path.empty() ? "/" : path;
}

bool IsAtOrBelow(const std::string& path, const std::string& folder)
{
    return path == folder || folder == "/" ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/');
}

// A relative path as Windows compares names: without case.
std::wstring FoldedPath(const wchar_t* path)
{
    std::wstring folded(path);
    if (!folded.empty()) CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}

// A known date goes with the item, so that the target gives its copy the device's date rather
// than the time of the copy.
void SetWriteTime(FILEDESCRIPTORW& descriptor, uint64_t modified)
{
    if (!modified) return;
    descriptor.dwFlags |= FD_WRITESTIME;
    descriptor.ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(modified);
    descriptor.ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(modified >> 32);
}

enum class AddOutcome { Added, TooLong, Cancelled, Failed };

// While the program walks the device for itself (Copy, Save to), the busy dialog and its Cancel
// are shown over the disabled window, and that dialog's messages are served every so often, so that
// the walk of a very large tree can be stopped. Nothing else of the window runs meanwhile.
class SizingBusy {
public:
    explicit SizingBusy(bool shown)
    {
        if (!shown) return;
        g_copyCancel = 0;
        owner_ = g_mainWindow.load();
        opening_ = CurrentOpening();
        dialog_ = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_COPY_BUSY), owner_, SizingBusyDialogProc, 0);
        if (!dialog_) return;  // a walk that cannot be stopped, as it always was
        ShowWindow(dialog_, SW_SHOW);
        ownerWasEnabled_ = owner_ && !EnableWindow(owner_, FALSE);
    }
    ~SizingBusy()
    {
        if (!dialog_) return;
        if (ownerWasEnabled_) EnableWindow(owner_, TRUE);
        DestroyWindow(dialog_);
    }
    SizingBusy(const SizingBusy&) = delete;
    SizingBusy& operator=(const SizingBusy&) = delete;

    // False once the user cancelled, or the location closed. `now`: whatever the time since the
    // last look (the walk's end, so that a Cancel pressed at the last moment still counts).
    bool GoOn(bool now = false)
    {
        const DWORD kServeIntervalMs = 50;
        if (!dialog_ || stopped_) return !stopped_;
        DWORD tick = GetTickCount();
        if (!now && tick - servedAt_ < kServeIntervalMs) return true;
        servedAt_ = tick;
        // Not what other threads send: a device change waits until the walk is over, so that the
        // connection it uses cannot close under it.
        const UINT kServed = PM_REMOVE | PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_PAINT;
        MSG message;
        while (PeekMessageW(&message, dialog_, 0, 0, kServed)) {
            if (IsDialogMessageW(dialog_, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        stopped_ = g_copyCancel.load() != 0 || CurrentOpening() != opening_;
        return !stopped_;
    }

private:
    HWND owner_ = nullptr;
    HWND dialog_ = nullptr;
    bool ownerWasEnabled_ = false;
    bool stopped_ = false;
    uint64_t opening_ = 0;
    DWORD servedAt_ = 0;
};

enum class Reach { Reached, LeftOut, Failed };

class DescriptorBuilder {
public:
    DescriptorBuilder(HWND textLine, SizingBusy& busy) : textLine_(textLine), afc_(CurrentConnection()), busy_(busy) {}

    // One descriptor for the device item and, for a folder, for everything below it. `realPath` is
    // where the item is, links on the way resolved. A link to a folder is copied as that folder,
    // unless that cannot be done: it is then left out, and named afterwards.
    AddOutcome Add(const wchar_t* name, const char* devicePath, const char* realPath, const wchar_t* parentPath)
    {
        if (!name || !*name) return AddOutcome::Failed;
        if (!busy_.GoOn()) return AddOutcome::Cancelled;
        SetWindowTextW(textLine_, name);
        DeviceFolder folder(afc_, devicePath);
        std::string walked;
        uint64_t size = 0;
        uint64_t modified = 0;
        if (folder.IsOpen()) {
            switch (FolderBehind(devicePath, realPath, walked, modified)) {
            case Reach::Failed:
                return AddOutcome::Failed;
            case Reach::LeftOut:
                return NoteLeftOut(name, parentPath);
            case Reach::Reached:
                break;
            }
        } else if (!ReadFileFacts(devicePath, size, modified)) {
            return AddOutcome::Failed;
        }
        if (!MakeRoomForDescriptor()) return AddOutcome::Failed;
        OwnedWide storable(StorableWindowsName(name));
        if (!storable) return AddOutcome::Failed;
        OwnedWide relative(UnusedRelativePath(storable.get(), parentPath, folder.IsOpen()));
        if (!relative) return AddOutcome::Failed;
        // A cut name could land on another item's name: the whole drag is refused instead.
        if (wcslen(relative.get()) > kLongestRelativePath) {
            tooLong_.reset(relative.release());
            return AddOutcome::TooLong;
        }
        uint32_t slot = g_dragCount;
        wcscpy(Descriptor(slot).cFileName, relative.get());
        g_dragDevicePaths[slot] = DupUtf8(devicePath);
        FATAL_CHECK(g_dragDevicePaths[slot] != nullptr);
        ++g_dragCount;  // the slot stays taken whatever happens next

        if (folder.IsOpen()) {
            Descriptor(slot).dwFlags = kFolderFlags;
            Descriptor(slot).dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
            SetWriteTime(Descriptor(slot), modified);
            return AddFolderContents(folder, devicePath, walked, relative.get());
        }
        FILEDESCRIPTORW& file = Descriptor(slot);
        file.dwFlags = kFileFlags;
        file.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        file.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        file.nFileSizeLow = static_cast<DWORD>(size);
        SetWriteTime(file, modified);
        return AddOutcome::Added;
    }

    // The relative path that was too long for a descriptor, once Add answered TooLong.
    const wchar_t* TooLongPath() const { return tooLong_.get(); }
    // The relative paths of the links left out.
    std::vector<std::wstring>& LeftOut() { return leftOut_; }

private:
    // The "st_size" of a device file (0 when its information has none) and its date. A failed read
    // of the information fails: a file offered as empty would be taken for one by a target that
    // trusts sizes.
    bool ReadFileFacts(const char* devicePath, uint64_t& size, uint64_t& modified)
    {
        EntryInfo info;
        if (ReadEntryInfo(afc_, devicePath, info, true) != InfoRead::Read) return false;
        size = info.hasSize ? info.size : 0;
        modified = info.modified;
        return true;
    }

    // Where the contents of a folder that opened really are: the folder itself, or what the link
    // points to. LeftOut: a link that leads back into a folder being walked (copying it would never
    // end), or one that does not say where it leads.
    Reach FolderBehind(const char* devicePath, const char* realPath, std::string& walked, uint64_t& modified)
    {
        EntryInfo info;
        if (ReadEntryInfo(afc_, devicePath, info) != InfoRead::Read) return Reach::Failed;
        modified = info.modified;
        try {
            walked = info.kind == EntryKind::Link ? LinkDestination(realPath, info.linkTarget) : realPath;
        } catch (const std::bad_alloc&) {
            return Reach::Failed;
        }
        return walked.empty() || LeadsBack(walked) ? Reach::LeftOut : Reach::Reached;
    }

    // Whether a link's destination is a folder being walked or one above it: following it would
    // walk that folder again inside itself, without end.
    bool LeadsBack(const std::string& destination) const
    {
        for (const std::string& folder : walking_) {
            if (IsAtOrBelow(folder, destination)) return true;
        }
        return false;
    }

    AddOutcome NoteLeftOut(const wchar_t* name, const wchar_t* parentPath)
    {
        OwnedWide relative(parentPath ? JoinLocalPath(parentPath, name) : DupString(name));
        if (!relative) return AddOutcome::Failed;
        try {
            leftOut_.emplace_back(relative.get());
        } catch (const std::bad_alloc&) {
            return AddOutcome::Failed;
        }
        return AddOutcome::Added;
    }

    // Two device names can become one Windows name ("a:b" and "a_b", or two names that differ only
    // in bytes that are not UTF-8, or in case): the later one is numbered, so that no file of the
    // drag overwrites another at the target.
    wchar_t* UnusedRelativePath(const wchar_t* storable, const wchar_t* parentPath, bool isFolder)
    {
        try {
            for (unsigned number = 1;; ++number) {
                OwnedWide name(number == 1 ? DupString(storable) : NumberedName(storable, number, isFolder));
                if (!name) return nullptr;
                OwnedWide relative(parentPath ? JoinLocalPath(parentPath, name.get()) : name.release());
                if (!relative) return nullptr;
                if (used_.insert(FoldedPath(relative.get())).second) return relative.release();
            }
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    // Walks an open folder (closed on every way out); `walked` is where it really is.
    AddOutcome AddFolderContents(DeviceFolder& folder, const char* devicePath, const std::string& walked,
                                 const wchar_t* relativePath)
    {
        try {
            walking_.push_back(walked);
        } catch (const std::bad_alloc&) {
            return AddOutcome::Failed;
        }
        AddOutcome outcome = AddOutcome::Added;
        FolderRead read = ReadOpenFolder(folder, [&](const char* entry) {
            // Shown as the list shows it; a name that cannot be made fails the drag rather than
            // leave the file out unsaid.
            OwnedWide kept(DeviceTextToUtf16(entry));
            OwnedWide name(ShownDeviceName(kept.get()));
            OwnedUtf8 entryPath(JoinDeviceEntryPath(devicePath, entry));
            OwnedUtf8 realPath(JoinDeviceEntryPath(walked.c_str(), entry));
            outcome = name && entryPath && realPath ? Add(name.get(), entryPath.get(), realPath.get(), relativePath)
                                                    : AddOutcome::Failed;
            return outcome == AddOutcome::Added;
        });
        walking_.pop_back();
        if (read != FolderRead::Whole && outcome == AddOutcome::Added) outcome = AddOutcome::Failed;
        return outcome;
    }

    HWND textLine_;
    AFCConnectionRef afc_;
    SizingBusy& busy_;
    std::unordered_set<std::wstring> used_;
    OwnedWide tooLong_;
    // Where the folders being walked really are (links resolved), outermost first.
    std::vector<std::string> walking_;
    std::vector<std::wstring> leftOut_;
};

AddOutcome AddDragItem(DescriptorBuilder& builder, const DragItem& item)
{
    OwnedUtf8 devicePath(DeviceTextToUtf8(item.devicePath.get()));
    FATAL_CHECK(devicePath != nullptr);
    // The dialog shows the name as the tree and the list do.
    OwnedWide name(ShownDeviceName(item.displayName ? item.displayName.get() : LastDevicePathElement(item.devicePath.get())));
    if (!name) return AddOutcome::Failed;
    return builder.Add(name.get(), devicePath.get(), devicePath.get(), nullptr);
}

// Whether a path too long for a descriptor is told at once, or once the target's call is over.
enum class Warn { Now, AfterTheCall };

// Builds the descriptors into the drag-out state; on failure the drag out is over. `leftOut` gets
// the links left out of a build that succeeds.
AddOutcome BuildDescriptors(const DragItems& items, Warn warn, std::vector<std::wstring>& leftOut)
{
    FATAL_CHECK(!items.empty() && !g_dragDescriptors);
    HWND dialog = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_CALCULATING_SIZE), g_mainWindow.load(),
                                     CalculatingSizeDialogProc, 0);
    FATAL_CHECK(dialog != nullptr);
    ShowWindow(dialog, SW_SHOW);
    HWND textLine = GetDlgItem(dialog, IDC_CALCULATING_TEXT);
    FATAL_CHECK(textLine != nullptr);
    // Only a walk of the program's own: a target's call must return before any dialog of its own.
    SizingBusy busy(warn == Warn::Now);
    DescriptorBuilder builder(textLine, busy);
    for (const DragItem& item : items) {
        AddOutcome outcome = AddDragItem(builder, item);
        if (outcome != AddOutcome::Added) {
            // The user is told why this one happened; a box inside a target's call would run its
            // own message loop there, in which the busy dialog could open and wait for that call.
            if (outcome == AddOutcome::TooLong && warn == Warn::AfterTheCall) {
                KeepTooLongPathForNote(builder.TooLongPath());
            }
            // The drag out is over: later requests answer E_UNEXPECTED.
            EndDragOut();
            DestroyWindow(dialog);
            if (outcome == AddOutcome::TooLong && warn == Warn::Now) WarnPathTooLong(builder.TooLongPath());
            return outcome;
        }
    }
    // A Cancel pressed as the walk ended still counts.
    if (!busy.GoOn(true)) {
        EndDragOut();
        DestroyWindow(dialog);
        return AddOutcome::Cancelled;
    }
    static_cast<FILEGROUPDESCRIPTORW*>(g_dragDescriptors)->cItems = g_dragCount;
    leftOut.swap(builder.LeftOut());
    DestroyWindow(dialog);
    return AddOutcome::Added;
}

}  // namespace

HRESULT BuildDragDescriptors(const DragItems& items)
{
    // Answered as every failure here is. What was left out is named when the drag out ends.
    std::vector<std::wstring> leftOut;
    AddOutcome outcome = BuildDescriptors(items, Warn::AfterTheCall, leftOut);
    if (outcome == AddOutcome::Added) KeepLeftOutLinksForNote(leftOut);
    return outcome == AddOutcome::Added ? S_OK : E_OUTOFMEMORY;
}

DescriptorsBuilt BuildDescriptorSet(const DragItems& items, DescriptorSet& set)
{
    FATAL_CHECK(!DragOutOpen() && !set.block);
    AddOutcome outcome = BuildDescriptors(items, Warn::Now, set.leftOutLinks);
    if (outcome == AddOutcome::TooLong) return DescriptorsBuilt::TooLong;
    if (outcome == AddOutcome::Cancelled) return DescriptorsBuilt::Cancelled;
    if (outcome != AddOutcome::Added) return DescriptorsBuilt::Failed;
    // Built where a drag out builds them, then taken over: no drag out is left open.
    set.block = g_dragDescriptors;
    set.devicePaths = g_dragDevicePaths;
    set.count = g_dragCount;
    ForgetDragDescriptors();
    return DescriptorsBuilt::Built;
}
