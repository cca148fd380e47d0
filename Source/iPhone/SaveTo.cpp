// Save to...: the descriptors a drag out would offer, taken by the program itself into a local folder.
#include "SaveTo.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "CopyThread.h"
#include "FilePicker.h"
#include "PlaceSnapshot.h"
#include "UserMessages.h"

namespace {

const DWORD kChunkBytes = 1 << 20;
// A name numbered this far is given up: something else is wrong with the folder.
const unsigned kMostNumbers = 10000;

bool Cancelled()
{
    return g_copyCancel.load() != 0;
}

bool IsFolderDescriptor(const FILEDESCRIPTORW& descriptor)
{
    return (descriptor.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool HasWriteTime(const FILEDESCRIPTORW& descriptor)
{
    return (descriptor.dwFlags & FD_WRITESTIME) != 0;
}

// A local folder given the device's date. Best effort: a date that cannot be set leaves the copy's
// time, as for an item whose date is unknown, and the copy itself stands.
void SetFolderWriteTime(const std::wstring& path, const FILETIME& time)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE folder = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return;
    SetFileTime(folder, nullptr, nullptr, &time);
    CloseHandle(folder);
}

uint64_t DescriptorSize(const FILEDESCRIPTORW& descriptor)
{
    return (static_cast<uint64_t>(descriptor.nFileSizeHigh) << 32) | descriptor.nFileSizeLow;
}

struct LocalHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~LocalHandle()
    {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

struct StreamHolder {
    IStream* stream = nullptr;
    ~StreamHolder()
    {
        if (stream) stream->Release();
    }
};

bool WriteAll(HANDLE file, const char* bytes, ULONG count)
{
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, count, &written, nullptr) || written == 0) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

void RemoveLocalTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveLocalTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// One copy into a local folder. Items are made new, never opened where they exist: a top-level
// name that is taken is numbered, and a name below a folder this copy made cannot be taken but by
// another program meanwhile, which fails the copy.
class LocalCopy {
public:
    LocalCopy(const DescriptorSet& set, uint64_t opening, const wchar_t* folder, DWORD chunkBytes)
        : set_(set), opening_(opening), folder_(folder), chunkBytes_(chunkBytes)
    {
        // A drive's root comes with its "\"; a name is joined with one of its own.
        if (!folder_.empty() && folder_.back() == L'\\') folder_.pop_back();
    }

    SaveOutcome Run()
    {
        bool copied = false;
        try {
            copied = CopyAll();
        } catch (const std::bad_alloc&) {
            copied = false;
        }
        if (copied && !Cancelled()) {
            DateFolders();
            ShowCopyPosition(ProgressPosition(done_, total_));
            return SaveOutcome::Saved;
        }
        RollBack();
        return copied ? SaveOutcome::Cancelled : SaveOutcome::Failed;
    }

private:
    struct Made {
        std::wstring path;
        bool isFolder;
    };
    struct DatedFolder {
        std::wstring path;
        FILETIME time;
    };

    // False on a failure; true also when cancelled.
    bool CopyAll()
    {
        buffer_.reset(new (std::nothrow) char[chunkBytes_]);
        if (!buffer_) return false;
        for (uint32_t i = 0; i < set_.count; ++i) total_ += DescriptorSize(set_.Descriptor(i));
        // Room to record each item made at once, so that none is made and then not recorded.
        made_.reserve(set_.count);
        for (uint32_t i = 0; i < set_.count && !Cancelled(); ++i) {
            if (!CopyEntry(i)) return false;
        }
        return true;
    }

    bool CopyEntry(uint32_t index)
    {
        const FILEDESCRIPTORW& descriptor = set_.Descriptor(index);
        bool isFolder = IsFolderDescriptor(descriptor);
        std::wstring name = descriptor.cFileName;
        LocalHandle file;
        std::wstring path;
        if (name.find(L'\\') == std::wstring::npos) {
            if (!MakeTopLevel(name, isFolder, file.handle, path)) return false;
        } else {
            // Below the top-level item just made: its name, as it was numbered, leads the path.
            if (name.compare(0, topName_.size() + 1, topName_ + L"\\") != 0) return false;
            path = topPath_ + name.substr(topName_.size());
            if (!MakeEntry(path, isFolder, file.handle)) return false;
        }
        if (isFolder) {
            if (HasWriteTime(descriptor)) datedFolders_.push_back({path, descriptor.ftLastWriteTime});
            return true;
        }
        if (!CopyContents(index, file.handle, path)) return false;
        // After the last write, which would set the time of the copy again.
        if (HasWriteTime(descriptor)) SetFileTime(file.handle, nullptr, nullptr, &descriptor.ftLastWriteTime);
        return true;
    }

    // Each folder's date once everything in it is written (making an entry in a folder changes its
    // time), the deepest first.
    void DateFolders()
    {
        for (auto it = datedFolders_.rbegin(); it != datedFolders_.rend(); ++it) {
            SetFolderWriteTime(it->path, it->time);
        }
    }

    // Makes a folder, or a new file open for writing; false when the name is taken or making fails.
    static bool MakeEntry(const std::wstring& path, bool isFolder, HANDLE& file)
    {
        if (isFolder) return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
        file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
    }

    bool MakeTopLevel(const std::wstring& name, bool isFolder, HANDLE& file, std::wstring& path)
    {
        for (unsigned number = 1; number <= kMostNumbers; ++number) {
            OwnedWide numbered(number == 1 ? DupString(name.c_str()) : NumberedName(name.c_str(), number, isFolder));
            if (!numbered) return false;
            path = folder_ + L"\\" + numbered.get();
            // Taken by anything at all, a file or a folder of either name.
            if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
            if (MakeEntry(path, isFolder, file)) {
                made_.push_back({path, isFolder});
                topName_ = name;
                topPath_ = path;
                return true;
            }
            DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
        }
        return false;
    }

    // The device file read to its end into the new local file. A failed read fails the copy, which
    // then removes the file: a short file is never left looking whole.
    bool CopyContents(uint32_t index, HANDLE file, const std::wstring& path)
    {
        ShowCopyStatusWhenDue(ShownLocalPath(path.c_str()));
        StreamHolder source;
        if (FAILED(OpenDeviceFileStreamAt(opening_, set_.devicePaths[index], &source.stream))) return false;
        for (;;) {
            ULONG got = 0;
            if (FAILED(source.stream->Read(buffer_.get(), chunkBytes_, &got))) return false;
            if (got == 0) return true;
            if (!WriteAll(file, buffer_.get(), got)) return false;
            done_ += got;
            if (Cancelled()) return true;
            ShowCopyPosition(ProgressPosition(done_, total_));
        }
    }

    void RollBack()
    {
        try {
            for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
                if (it->isFolder) {
                    RemoveLocalTree(it->path);
                } else {
                    DeleteFileW(it->path.c_str());
                }
            }
        } catch (const std::bad_alloc&) {
            // Out of memory while removing: what is left stays.
        }
    }

    const DescriptorSet& set_;
    uint64_t opening_;
    std::wstring folder_;
    DWORD chunkBytes_;
    std::unique_ptr<char[]> buffer_;
    std::vector<Made> made_;
    std::vector<DatedFolder> datedFolders_;
    std::wstring topName_;
    std::wstring topPath_;
    uint64_t total_ = 0;
    uint64_t done_ = 0;
};

// What the copy thread is handed, and releases.
struct SaveJob {
    DescriptorSet set;
    uint64_t opening = 0;
    OwnedWide folder;
};

// The copy thread's work: the copy of the job it is handed.
UINT RunSaveThread(void* context)
{
    const SaveJob& job = *static_cast<const SaveJob*>(context);
    switch (SaveDescriptorSetTo(job.set, job.opening, job.folder.get(), kChunkBytes)) {
    case SaveOutcome::Saved:
        return 0;
    case SaveOutcome::Cancelled:
        return WMU_COPY_CANCELLED;
    case SaveOutcome::Failed:
        break;
    }
    return WMU_COPY_ERROR;
}

void FinishSaveThread(void* context, bool ran)
{
    delete static_cast<SaveJob*>(context);
    // The links the walk left out are named once the copy is over.
    if (ran) PostMessageW(g_mainWindow.load(), WMU_SHOW_DRAG_OUT_NOTE, 0, 0);
}

}  // namespace

SaveOutcome SaveDescriptorSetTo(const DescriptorSet& set, uint64_t opening, const wchar_t* folder,
                                DWORD chunkBytes)
{
    try {
        return LocalCopy(set, opening, folder, chunkBytes).Run();
    } catch (const std::bad_alloc&) {
        // Nothing was made: the copy had not begun.
        return SaveOutcome::Failed;
    }
}

void SaveItemsTo(const DragItems& items, const wchar_t* folder)
{
    uint64_t opening = CurrentOpening();
    if (items.empty() || !opening || !TransferIdle()) return;
    std::unique_ptr<SaveJob> job(new (std::nothrow) SaveJob);
    if (job) {
        job->opening = opening;
        job->folder.reset(LocalPathAsIs(folder));
    }
    DescriptorsBuilt built = job && job->folder ? BuildDescriptorSet(items, job->set) : DescriptorsBuilt::Failed;
    // Told already, or stopped by the user.
    if (built == DescriptorsBuilt::TooLong || built == DescriptorsBuilt::Cancelled) return;
    bool started = false;
    std::vector<std::wstring> leftOut;
    if (built == DescriptorsBuilt::Built) {
        leftOut.swap(job->set.leftOutLinks);
        started = StartCopyThread({RunSaveThread, FinishSaveThread, job.get()});
    }
    if (!started) {
        ShowWarning(L"Error happened during copy operation", L"TovarelUSB");
        return;
    }
    KeepLeftOutLinksForNote(leftOut);
    job.release();
}

void SaveItemsToChosenFolder(const DragItems& items)
{
    PlaceSnapshot chosenFrom = PlaceSnapshot::Take();
    std::vector<std::wstring> chosen = PickLocalItems(PickWhat::SaveFolder);
    // The picker served this thread's messages: the items must still be of the open location.
    if (chosen.size() != 1 || !chosenFrom.SameOpening()) return;
    SaveItemsTo(items, chosen[0].c_str());
}
