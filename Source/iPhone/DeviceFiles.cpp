#include "DeviceFiles.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "KeyValuePairs.h"
#include "TextUtil.h"

namespace {

EntryKind KindOf(const char* kind)
{
    if (strcmp(kind, "S_IFDIR") == 0) return EntryKind::Folder;
    if (strcmp(kind, "S_IFLNK") == 0) return EntryKind::Link;
    return EntryKind::File;
}

// One rule of letter case for every comparison here, that of no particular language.
std::wstring Folded(const wchar_t* name)
{
    std::wstring folded(name);
    int length = static_cast<int>(folded.size());
    if (length > 0) {
        std::wstring upper(folded.size(), L'\0');
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, folded.c_str(), length, &upper[0], length, nullptr,
                          nullptr, 0) == length) {
            folded.swap(upper);
        }
    }
    return folded;
}

// An entry of a folder being removed.
struct Child {
    std::wstring path;
    std::wstring shown;  // the name the user sees, which orders the entries as the list does
    EntryKind kind;
};

// Subfolders (links among them) first, then files, each in name order; of equal names the one read
// later goes first, as in the lists the user sees.
void OrderForRemoval(std::vector<Child>& children)
{
    std::reverse(children.begin(), children.end());
    std::stable_sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
        bool aFolder = ListedAsFolder(a.kind);
        if (aFolder != ListedAsFolder(b.kind)) return aFolder;
        return CompareNames(a.shown.c_str(), b.shown.c_str()) < 0;
    });
}

// The entries of a folder with their kinds. False when the folder cannot be read whole or, with
// Stop, when the kind of an entry cannot be read; with GoOn such an entry is kept with an unknown
// kind. Throws std::bad_alloc when memory runs out.
bool ReadChildren(AFCConnectionRef afc, const wchar_t* folderPath, const char* folderUtf8, OnFailure onFailure,
                  std::vector<Child>& children)
{
    bool ok = true;
    FolderRead read = ReadDeviceFolder(afc, folderUtf8, [&](const char* entry) {
        OwnedWide name(DeviceTextToUtf16(entry));
        OwnedWide path(name ? JoinDevicePath(folderPath, name.get()) : nullptr);
        OwnedWide shown(name ? ShownDeviceName(name.get()) : nullptr);
        OwnedUtf8 pathUtf8(path ? DeviceTextToUtf8(path.get()) : nullptr);
        if (!pathUtf8 || !shown) {
            ok = false;
            return onFailure == OnFailure::GoOn;
        }
        EntryInfo info;
        if (ReadEntryInfo(afc, pathUtf8.get(), info) != InfoRead::Read || info.kind == EntryKind::Unknown) {
            ok = false;
            if (onFailure == OnFailure::Stop) return false;
            info.kind = EntryKind::Unknown;
        }
        children.push_back(Child{path.get(), shown.get(), info.kind});
        return true;
    });
    OrderForRemoval(children);
    return ok && read == FolderRead::Whole;
}

}  // namespace

bool IsUsableName(const wchar_t* name)
{
    return name && name[0] && !wcschr(name, L'/') && wcscmp(name, L".") != 0 && wcscmp(name, L"..") != 0;
}

uint64_t ParseDeviceTime(const char* text)
{
    // 1970-01-01 and 30828-01-01 as FILETIME counts.
    const uint64_t kUnixEpoch = 116444736000000000ull;
    const uint64_t kPastLastYear = 9223149888000000000ull;
    const uint64_t kTicksPerSecond = 10000000;
    const size_t kFractionDigits = 9;
    const uint64_t kMostSeconds = kPastLastYear / kTicksPerSecond;
    if (!text) return 0;
    bool before1970 = *text == '-';
    const char* digits = text + (before1970 ? 1 : 0);
    size_t count = strlen(digits);
    if (count == 0) return 0;
    // Whole seconds and the nanoseconds after them apart: the years up to 30827 are more
    // nanoseconds than 64 bits hold.
    size_t secondDigits = count > kFractionDigits ? count - kFractionDigits : 0;
    uint64_t seconds = 0;
    uint64_t nanoseconds = 0;
    for (size_t i = 0; i < count; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return 0;
        uint64_t digit = static_cast<uint64_t>(digits[i] - '0');
        if (i < secondDigits) {
            seconds = seconds * 10 + digit;
            if (seconds > kMostSeconds) return 0;
        } else {
            nanoseconds = nanoseconds * 10 + digit;
        }
    }
    if (!before1970) {
        uint64_t ticks = kUnixEpoch + seconds * kTicksPerSecond + nanoseconds / 100;
        return ticks < kPastLastYear ? ticks : 0;
    }
    // Rounded down, as the time after 1970 is: a part of a tick earlier is the tick before.
    uint64_t back = seconds * kTicksPerSecond + (nanoseconds + 99) / 100;
    return back < kUnixEpoch ? kUnixEpoch - back : 0;
}

// --- Reading a folder ------------------------------------------------------------------------------

DeviceFolder::DeviceFolder(AFCConnectionRef afc, const char* pathUtf8) : afc_(afc)
{
    AFCDirectoryRef handle = nullptr;
    if (afc && pathUtf8 && g_lib.AFCDirectoryOpen(afc, pathUtf8, &handle) == 0 && handle) handle_ = handle;
}

DeviceFolder::~DeviceFolder()
{
    Close();
}

bool DeviceFolder::Next(const char** name)
{
    *name = nullptr;
    for (;;) {
        char* entry = nullptr;
        if (!handle_ || g_lib.AFCDirectoryRead(afc_, handle_, &entry) != 0) return false;
        if (!entry || !*entry) return true;
        if (strcmp(entry, ".") != 0 && strcmp(entry, "..") != 0) {
            *name = entry;
            return true;
        }
    }
}

bool DeviceFolder::Close()
{
    if (!handle_) return true;
    AFCDirectoryRef handle = handle_;
    handle_ = nullptr;
    return g_lib.AFCDirectoryClose(afc_, handle) == 0;
}

bool DeviceFolderOpens(AFCConnectionRef afc, const char* pathUtf8)
{
    return DeviceFolder(afc, pathUtf8).IsOpen();
}

// --- One entry -------------------------------------------------------------------------------------

InfoRead ReadEntryInfo(AFCConnectionRef afc, const char* pathUtf8, EntryInfo& info, bool sizeOnly)
{
    info = EntryInfo();
    AFCKeyValueReaderRef reader = nullptr;
    if (!afc || !pathUtf8 || g_lib.AFCFileInfoOpen(afc, pathUtf8, &reader) != 0) return InfoRead::NotOpened;
    bool hasKind = false;
    bool hasTarget = false;
    bool hasTime = false;
    bool lost = false;  // memory ran out for the link's target
    PairsOutcome outcome = ReadPairsAndClose(reader, [&](const char* key, const char* value) {
        if (!hasKind && strcmp(key, "st_ifmt") == 0) {
            hasKind = true;
            info.kind = KindOf(value);
        } else if (!info.hasSize && strcmp(key, "st_size") == 0) {
            info.hasSize = ParseDecimalU64(value, &info.size) != 0;
        } else if (!hasTime && strcmp(key, "st_mtime") == 0) {
            // The first one counts, also when it is not a date: an unknown date is never guessed.
            hasTime = true;
            info.modified = ParseDeviceTime(value);
        } else if (!hasTarget && strcmp(key, "LinkTarget") == 0) {
            hasTarget = true;
            try {
                info.linkTarget = value;
            } catch (const std::bad_alloc&) {
                lost = true;
            }
        }
        if (sizeOnly) return !(info.hasSize && hasTime);
        return !(hasKind && info.hasSize && hasTime && (info.kind != EntryKind::Link || hasTarget));
    });
    return outcome == PairsOutcome::Read && !lost ? InfoRead::Read : InfoRead::Failed;
}

// --- Whether a name is taken -----------------------------------------------------------------------

bool SameButForCase(const wchar_t* a, const wchar_t* b)
{
    try {
        return Folded(a) == Folded(b);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

FolderProbe::FolderProbe(AFCConnectionRef afc, const wchar_t* folderDevicePath) : afc_(afc)
{
    try {
        folder_ = folderDevicePath ? folderDevicePath : L"";
    } catch (const std::bad_alloc&) {
        names_ = Names::Unreadable;
    }
}

EntryState FolderProbe::Probe(const wchar_t* name, const wchar_t* ownName)
{
    if (folder_.empty() || !name) return EntryState::Unknown;
    OwnedWide path(JoinDevicePath(folder_.c_str(), name));
    OwnedUtf8 pathUtf8(path ? DeviceTextToUtf8(path.get()) : nullptr);
    if (!pathUtf8) return EntryState::Unknown;
    AFCKeyValueReaderRef reader = nullptr;
    if (g_lib.AFCFileInfoOpen(afc_, pathUtf8.get(), &reader) == 0) {
        g_lib.AFCKeyValueClose(reader);
        return EntryState::Present;
    }
    if (!ReadNames()) return EntryState::Unknown;
    OwnedWide key(DeviceNameKey(name));
    if (!key) return EntryState::Unknown;
    try {
        auto found = byKey_.find(key.get());
        if (found == byKey_.end()) return EntryState::Absent;
        for (const std::wstring& listed : found->second) {
            if (listed == name || !ownName || listed != ownName) return EntryState::Present;
        }
        return EntryState::Absent;
    } catch (const std::bad_alloc&) {
        return EntryState::Unknown;
    }
}

bool FolderProbe::ListsExactly(const wchar_t* name, bool* readable)
{
    *readable = ReadNames();
    if (!*readable) return false;
    OwnedWide key(DeviceNameKey(name));
    if (!key) {
        *readable = false;
        return false;
    }
    try {
        auto found = byKey_.find(key.get());
        if (found == byKey_.end()) return false;
        return std::find(found->second.begin(), found->second.end(), name) != found->second.end();
    } catch (const std::bad_alloc&) {
        *readable = false;
        return false;
    }
}

bool FolderProbe::ReadNames()
{
    if (names_ != Names::NotRead) return names_ == Names::Read;
    names_ = Names::Unreadable;
    OwnedUtf8 folder(DeviceTextToUtf8(folder_.c_str()));
    if (!folder) return false;
    bool ok = true;
    try {
        FolderRead read = ReadDeviceFolder(afc_, folder.get(), [&](const char* entry) {
            OwnedWide name(DeviceTextToUtf16(entry));
            OwnedWide key(name ? DeviceNameKey(name.get()) : nullptr);
            if (!key) return ok = false;
            byKey_[key.get()].emplace_back(name.get());
            return true;
        });
        ok = ok && read == FolderRead::Whole;
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) {
        byKey_.clear();
        return false;
    }
    names_ = Names::Read;
    return true;
}

// --- Removing a tree -------------------------------------------------------------------------------

bool RemoveDeviceItem(AFCConnectionRef afc, const wchar_t* devicePath, EntryKind kind, OnFailure onFailure,
                      const BeforeRemoving& beforeRemoving)
{
    OwnedUtf8 pathUtf8(devicePath ? DeviceTextToUtf8(devicePath) : nullptr);
    if (!afc || !pathUtf8 || !pathUtf8.get()[0]) return false;
    if (kind == EntryKind::Unknown) {
        // Not told, the entry is removed as it is: that never reaches through a link, and the
        // device refuses a folder that is not empty.
        EntryInfo info;
        if (ReadEntryInfo(afc, pathUtf8.get(), info) == InfoRead::Read) kind = info.kind;
    }
    bool complete = true;
    if (kind == EntryKind::Folder) {
        std::vector<Child> children;
        try {
            complete = ReadChildren(afc, devicePath, pathUtf8.get(), onFailure, children);
        } catch (const std::bad_alloc&) {
            complete = false;
            children.clear();
        }
        if (!complete && onFailure == OnFailure::Stop) return false;
        for (const Child& child : children) {
            if (RemoveDeviceItem(afc, child.path.c_str(), child.kind, onFailure, beforeRemoving)) continue;
            complete = false;
            if (onFailure == OnFailure::Stop) return false;
        }
    }
    if (beforeRemoving) {
        OwnedWide shown(ShownDeviceName(LastDevicePathElement(devicePath)));
        if (!beforeRemoving(shown ? shown.get() : L"")) return false;
    }
    return g_lib.AFCRemovePath(afc, pathUtf8.get()) == 0 && complete;
}
