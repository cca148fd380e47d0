// The file descriptors of a drag out: one per dragged file or folder and everything below each
// folder, depth first, each folder before its contents, with paths relative to the drop point.
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>

#include "DeviceFiles.h"
#include "DragObjects.h"
#include "MainWindow.h"
#include "SmallDialogs.h"
#include "resource.h"

namespace {

static_assert(sizeof(FILEDESCRIPTORW) == 592, "the shell's descriptor record");
static_assert(offsetof(FILEGROUPDESCRIPTORW, fgd) == 4, "a 32-bit count before the descriptors");

const uint32_t kDescriptorGrowth = 16;
const size_t kLongestRelativePath = MAX_PATH - 1;
const DWORD kFileFlags = FD_PROGRESSUI | FD_FILESIZE | FD_ATTRIBUTES;
const DWORD kFolderFlags = FD_PROGRESSUI | FD_ATTRIBUTES;

size_t DescriptorBlockBytes(uint32_t capacity)
{
    return offsetof(FILEGROUPDESCRIPTORW, fgd) + capacity * sizeof(FILEDESCRIPTORW);
}

FILEDESCRIPTORW& Descriptor(uint32_t slot)
{
    auto* first = static_cast<BYTE*>(g_dragDescriptors) + offsetof(FILEGROUPDESCRIPTORW, fgd);
    return reinterpret_cast<FILEDESCRIPTORW*>(first)[slot];
}

// Grows a block of the heap with the new part zeroed (makes it when there is none yet).
void* GrowZeroed(void* block, size_t bytes)
{
    HANDLE heap = GetProcessHeap();
    return block ? HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, bytes) : HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}

void FreeDescriptors()
{
    HeapFree(GetProcessHeap(), 0, g_dragDescriptors);
    g_dragDescriptors = nullptr;
    if (g_dragDevicePaths) {
        for (uint32_t i = 0; i < g_dragCount; ++i) FreeString(g_dragDevicePaths[i]);
        HeapFree(GetProcessHeap(), 0, g_dragDevicePaths);
        g_dragDevicePaths = nullptr;
    }
    g_dragCapacity = 0;
    g_dragCount = 0;
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
        FreeDescriptors();
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

// A relative path as Windows compares names: without case.
std::wstring FoldedPath(const wchar_t* path)
{
    std::wstring folded(path);
    if (!folded.empty()) CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}

// "name (n).ext" for the n-th item whose storable name is taken already.
wchar_t* NumberedName(const wchar_t* storable, unsigned number)
{
    size_t extensionLength = 0;
    const wchar_t* extension = FindExtension(storable, &extensionLength);
    size_t stem = extension ? static_cast<size_t>(extension - 1 - storable) : wcslen(storable);
    wchar_t suffix[16];
    wsprintfW(suffix, L" (%u)", number);
    std::wstring numbered = std::wstring(storable, stem) + suffix + (extension ? extension - 1 : L"");
    return DupString(numbered.c_str());
}

enum class AddOutcome { Added, TooLong, Failed };

class DescriptorBuilder {
public:
    explicit DescriptorBuilder(HWND textLine) : textLine_(textLine), afc_(CurrentConnection()) {}

    // One descriptor for the device item and, for a folder, for everything below it.
    AddOutcome Add(const wchar_t* name, const char* devicePath, const wchar_t* parentPath)
    {
        if (!name || !*name) return AddOutcome::Failed;
        SetWindowTextW(textLine_, name);
        DeviceFolder folder(afc_, devicePath);
        uint64_t size = 0;
        if (!folder.IsOpen() && !ReadFileSize(devicePath, size)) return AddOutcome::Failed;
        if (!MakeRoomForDescriptor()) return AddOutcome::Failed;
        OwnedWide storable(StorableWindowsName(name));
        if (!storable) return AddOutcome::Failed;
        OwnedWide relative(UnusedRelativePath(storable.get(), parentPath));
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
            return AddFolderContents(folder, devicePath, relative.get());
        }
        FILEDESCRIPTORW& file = Descriptor(slot);
        file.dwFlags = kFileFlags;
        file.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        file.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        file.nFileSizeLow = static_cast<DWORD>(size);
        return AddOutcome::Added;
    }

    // The relative path that was too long for a descriptor, once Add answered TooLong.
    const wchar_t* TooLongPath() const { return tooLong_.get(); }

private:
    // The "st_size" of a device file (0 when its information has none). A failed read of the
    // information fails: a file offered as empty would be taken for one by a target that trusts sizes.
    bool ReadFileSize(const char* devicePath, uint64_t& size)
    {
        EntryInfo info;
        if (ReadEntryInfo(afc_, devicePath, info, true) != InfoRead::Read) return false;
        size = info.hasSize ? info.size : 0;
        return true;
    }

    // Two device names can become one Windows name ("a:b" and "a_b", or two names that differ only
    // in bytes that are not UTF-8, or in case): the later one is numbered, so that no file of the
    // drag overwrites another at the target.
    wchar_t* UnusedRelativePath(const wchar_t* storable, const wchar_t* parentPath)
    {
        try {
            for (unsigned number = 1;; ++number) {
                OwnedWide name(number == 1 ? DupString(storable) : NumberedName(storable, number));
                if (!name) return nullptr;
                OwnedWide relative(parentPath ? JoinLocalPath(parentPath, name.get()) : name.release());
                if (!relative) return nullptr;
                if (used_.insert(FoldedPath(relative.get())).second) return relative.release();
            }
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    // Walks an open folder, closed on every way out.
    AddOutcome AddFolderContents(DeviceFolder& folder, const char* devicePath, const wchar_t* relativePath)
    {
        AddOutcome outcome = AddOutcome::Added;
        FolderRead read = ReadOpenFolder(folder, [&](const char* entry) {
            // Shown as the list shows it; a name that cannot be made fails the drag rather than
            // leave the file out unsaid.
            OwnedWide kept(DeviceTextToUtf16(entry));
            OwnedWide name(ShownDeviceName(kept.get()));
            OwnedUtf8 entryPath(JoinDeviceEntryPath(devicePath, entry));
            outcome = name && entryPath ? Add(name.get(), entryPath.get(), relativePath) : AddOutcome::Failed;
            return outcome == AddOutcome::Added;
        });
        if (read != FolderRead::Whole && outcome == AddOutcome::Added) outcome = AddOutcome::Failed;
        return outcome;
    }

    HWND textLine_;
    AFCConnectionRef afc_;
    std::unordered_set<std::wstring> used_;
    OwnedWide tooLong_;
};

AddOutcome AddDragItem(DescriptorBuilder& builder, const DragItem& item)
{
    OwnedUtf8 devicePath(DeviceTextToUtf8(item.devicePath.get()));
    FATAL_CHECK(devicePath != nullptr);
    // The dialog shows the name as the tree and the list do.
    OwnedWide name(ShownDeviceName(item.displayName ? item.displayName.get() : LastDevicePathElement(item.devicePath.get())));
    if (!name) return AddOutcome::Failed;
    return builder.Add(name.get(), devicePath.get(), nullptr);
}

void WarnPathTooLong(const wchar_t* relativePath)
{
    OwnedWide text(ConcatStrings(L"Can't copy out \"", relativePath));
    OwnedWide full(text ? ConcatStrings(text.get(), L"\": the path is too long for Windows. Nothing was copied.")
                        : nullptr);
    ShowWarning(full ? full.get() : L"A path is too long for Windows. Nothing was copied.", L"TovarelUSB");
}

}  // namespace

HRESULT BuildDragDescriptors(const DragItems& items)
{
    FATAL_CHECK(!items.empty() && !g_dragDescriptors);
    HWND dialog = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_CALCULATING_SIZE), g_mainWindow.load(),
                                     CalculatingSizeDialogProc, 0);
    FATAL_CHECK(dialog != nullptr);
    ShowWindow(dialog, SW_SHOW);
    HWND textLine = GetDlgItem(dialog, IDC_CALCULATING_TEXT);
    FATAL_CHECK(textLine != nullptr);
    DescriptorBuilder builder(textLine);
    for (const DragItem& item : items) {
        AddOutcome outcome = AddDragItem(builder, item);
        if (outcome != AddOutcome::Added) {
            // The drag out is over: later requests answer E_UNEXPECTED.
            EndDragOut();
            DestroyWindow(dialog);
            // Answered as every failure here is; the user is told why this one happened.
            if (outcome == AddOutcome::TooLong) WarnPathTooLong(builder.TooLongPath());
            return E_OUTOFMEMORY;
        }
    }
    static_cast<FILEGROUPDESCRIPTORW*>(g_dragDescriptors)->cItems = g_dragCount;
    DestroyWindow(dialog);
    return S_OK;
}

const FILEGROUPDESCRIPTORW* DragDescriptorGroup()
{
    return static_cast<const FILEGROUPDESCRIPTORW*>(g_dragDescriptors);
}

void EndDragOut()
{
    FreeDescriptors();
    FreeString(g_dragSourceFolder);
    g_dragSourceFolder = nullptr;
}
