// Loading Apple's mobile device library and CoreFoundation, and the strings made through them.
#include "DeviceLibrary.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "LibrarySearch.h"
#include "TextUtil.h"

DeviceLibrary g_lib;

namespace {

const wchar_t* const kNotInstalled = L"iTunes is not installed";
const wchar_t* const kTooOld = L"iTunes is not installed or its version is too old";
#ifdef _WIN64
const wchar_t* const kOtherEdition =
    L"This computer has 32-bit Apple device support. Use the x86 edition of TovarelUSB.";
#else
const wchar_t* const kOtherEdition =
    L"This computer has 64-bit Apple device support. Use the x64 edition of TovarelUSB.";
#endif

// Written only by the user-interface thread at start-up and shutdown, when no other thread of the
// program uses the library.
HMODULE s_mobileDevice;
HMODULE s_coreFoundation;  // only when CoreFoundation was loaded from its own install folder

// The fixed head of the program's own constant-string record; the length byte and the text follow.
const unsigned char kOwnStringHead[8] = {0x00, 0x00, 0x00, 0x00, 0x8C, 0x07, 0x01, 0x00};

void ShowBindError(const wchar_t* text)
{
    MessageBoxW(nullptr, text, L"Fatal Error", MB_OK);
}

void* FindFunction(HMODULE module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}

// Every entry of the table, in table order, each from its own library. False at the first one
// missing; the table is then partly filled and must be thrown away.
bool ResolveFunctions(DeviceLibrary& table, HMODULE mobileDevice, HMODULE coreFoundation)
{
#define TOVAREL_RESOLVE(module, name) \
    if (!(table.name = reinterpret_cast<decltype(table.name)>(FindFunction(module, #name)))) return false
    TOVAREL_RESOLVE(mobileDevice, AMDeviceNotificationSubscribe);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceConnect);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceDisconnect);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceIsPaired);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceValidatePairing);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceStartSession);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceStopSession);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceStartService);
    TOVAREL_RESOLVE(mobileDevice, AFCConnectionOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCConnectionClose);
    TOVAREL_RESOLVE(mobileDevice, AFCDeviceInfoOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCDirectoryOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCDirectoryRead);
    TOVAREL_RESOLVE(mobileDevice, AFCDirectoryClose);
    TOVAREL_RESOLVE(mobileDevice, AFCDirectoryCreate);
    TOVAREL_RESOLVE(mobileDevice, AFCFileInfoOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCKeyValueRead);
    TOVAREL_RESOLVE(mobileDevice, AFCKeyValueClose);
    TOVAREL_RESOLVE(mobileDevice, AFCRenamePath);
    TOVAREL_RESOLVE(mobileDevice, AFCRemovePath);
    TOVAREL_RESOLVE(mobileDevice, AFCFileRefOpen);
    TOVAREL_RESOLVE(mobileDevice, AFCFileRefRead);
    TOVAREL_RESOLVE(mobileDevice, AFCFileRefWrite);
    TOVAREL_RESOLVE(mobileDevice, AFCFileRefClose);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceLookupApplications);
    TOVAREL_RESOLVE(coreFoundation, CFRelease);
    TOVAREL_RESOLVE(coreFoundation, CFStringGetLength);
    TOVAREL_RESOLVE(coreFoundation, CFStringGetCharacters);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceCopyValue);
    TOVAREL_RESOLVE(mobileDevice, AMDeviceStartHouseArrestService);
    TOVAREL_RESOLVE(coreFoundation, CFDictionaryGetValue);
    TOVAREL_RESOLVE(coreFoundation, CFDictionaryCreate);
    TOVAREL_RESOLVE(coreFoundation, __CFStringMakeConstantString);
#undef TOVAREL_RESOLVE
    return true;
}

void UnloadLibraries(HMODULE mobileDevice, HMODULE coreFoundation)
{
    if (mobileDevice) FreeLibrary(mobileDevice);
    if (coreFoundation) FreeLibrary(coreFoundation);
}

struct ModuleDeleter {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using OwnedModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleDeleter>;

// A Store package's own system folders, in the DLL search while its libraries load. The calls come
// with Windows 8 (and an update of Windows 7); the Store, and so any package, needs Windows 10.
class AddedDllFolders {
public:
    explicit AddedDllFolders(const std::vector<std::wstring>& folders)
    {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        auto add = reinterpret_cast<decltype(&AddDllDirectory)>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "AddDllDirectory")));
        m_remove = reinterpret_cast<decltype(&RemoveDllDirectory)>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "RemoveDllDirectory")));
        if (!add || !m_remove) return;
        m_cookies.reserve(folders.size());  // no allocation fails once a folder is added
        for (const std::wstring& folder : folders) {
            if (DLL_DIRECTORY_COOKIE cookie = add(folder.c_str())) m_cookies.push_back(cookie);
        }
    }
    ~AddedDllFolders()
    {
        for (DLL_DIRECTORY_COOKIE cookie : m_cookies) m_remove(cookie);
    }
    AddedDllFolders(const AddedDllFolders&) = delete;
    AddedDllFolders& operator=(const AddedDllFolders&) = delete;

    // How to load so that the libraries' companions come from their own folder, the DLL folder
    // set for them and these folders; never from the current folder.
    DWORD LoadFlags() const
    {
        return m_cookies.empty() ? LOAD_WITH_ALTERED_SEARCH_PATH
                                 : LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    }

private:
    decltype(&RemoveDllDirectory) m_remove = nullptr;
    std::vector<DLL_DIRECTORY_COOKIE> m_cookies;
};

// What the candidates that did not bind came to.
struct BindOutcome {
    bool tooOld = false;      // one loaded but lacked a function
    std::wstring failedFile;  // the first file that exists but would not load
    DWORD error = 0;          // and why
};

void NoteLoadFailure(BindOutcome& outcome, const std::wstring& file, DWORD error)
{
    if (!outcome.failedFile.empty()) return;
    outcome.failedFile = file;
    outcome.error = error;
}

// Loads one candidate and resolves every function; on success the binding is made. Anything short
// of that unloads what it loaded and notes why.
bool TryCandidate(const LibraryCandidate& candidate, BindOutcome& outcome)
{
    if (candidate.error) {
        NoteLoadFailure(outcome, candidate.library, candidate.error);
        return false;
    }
    // The library finds CoreFoundation and its other companions there.
    SetDllDirectoryW(candidate.dllDirectory.c_str());
    OwnedModule coreFoundation;
    OwnedModule mobileDevice;
    {
        AddedDllFolders runtime(candidate.runtimeFolders);
        // CoreFoundation first: the library's own import of it then binds this very file.
        if (!candidate.coreFoundation.empty()) {
            coreFoundation.reset(LoadLibraryExW(candidate.coreFoundation.c_str(), nullptr, runtime.LoadFlags()));
            if (!coreFoundation) {
                NoteLoadFailure(outcome, candidate.coreFoundation, GetLastError());
                return false;
            }
        }
        mobileDevice.reset(LoadLibraryExW(candidate.library.c_str(), nullptr, runtime.LoadFlags()));
        if (!mobileDevice) {
            NoteLoadFailure(outcome, candidate.library, GetLastError());
            return false;
        }
    }
    // Without a CoreFoundation of its own, its functions are looked for in the program's own file,
    // which exports none of them: such an installation is reported as too old.
    DeviceLibrary table{};
    HMODULE coreFoundationSearch = coreFoundation ? coreFoundation.get() : GetModuleHandleW(nullptr);
    if (!ResolveFunctions(table, mobileDevice.get(), coreFoundationSearch)) {
        outcome.tooOld = true;
        return false;
    }
    s_mobileDevice = mobileDevice.release();
    s_coreFoundation = coreFoundation.release();
    g_lib = table;
    return true;
}

// The system's text for an error, without its line end.
std::wstring ErrorText(DWORD error)
{
    wchar_t* buffer = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : L"Error " + std::to_wstring(error);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && iswspace(text.back())) text.pop_back();
    return text;
}

// Why nothing was bound, most telling first: a library that is there but will not load, one that
// loads but is too old, support this edition cannot use, or none at all.
std::wstring FailureText(const BindOutcome& outcome, SearchNotes& notes)
{
    if (!outcome.failedFile.empty()) {
        return std::wstring(kNotInstalled) + L"\n" + outcome.failedFile + L": " + ErrorText(outcome.error);
    }
    if (outcome.tooOld) return kTooOld;
    if (!notes.otherArchitecture) {
        auto found = [](const LibraryCandidate& candidate) { return candidate.error == 0; };
        SearchNotes otherNotes;
        notes.otherArchitecture = SearchLibraryCandidates(OtherSupportArchitecture(), found, otherNotes);
    }
    return notes.otherArchitecture ? kOtherEdition : kNotInstalled;
}

}  // namespace

bool BindDeviceLibrary()
{
    // Bound already: the strings made through it stay valid.
    if (s_mobileDevice) return true;
    g_lib = DeviceLibrary{};
    try {
        BindOutcome outcome;
        SearchNotes notes;
        auto tryCandidate = [&outcome](const LibraryCandidate& candidate) { return TryCandidate(candidate, outcome); };
        if (SearchLibraryCandidates(OwnSupportArchitecture(), tryCandidate, notes)) return true;
        ShowBindError(FailureText(outcome, notes).c_str());
    } catch (const std::bad_alloc&) {
        ShowBindError(kNotInstalled);
    }
    return false;
}

void UnbindDeviceLibrary()
{
    HMODULE mobileDevice = s_mobileDevice;
    HMODULE coreFoundation = s_coreFoundation;
    s_mobileDevice = nullptr;
    s_coreFoundation = nullptr;
    g_lib = DeviceLibrary{};
    UnloadLibraries(mobileDevice, coreFoundation);
}

CFStringRef MakeConstantString(const char* text)
{
    if (!text) return nullptr;
    if (s_coreFoundation) return g_lib.__CFStringMakeConstantString(text);

    size_t length = strlen(text);
    if (length > static_cast<size_t>(INT_MAX) - 10) return nullptr;
    unsigned char* record = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, length + 10));
    if (!record) return nullptr;
    memcpy(record, kOwnStringHead, sizeof(kOwnStringHead));
    record[8] = static_cast<unsigned char>(length & 0xFF);
    memcpy(record + 9, text, length + 1);
    return reinterpret_cast<CFStringRef>(record);
}

void ReleaseMadeString(CFStringRef string)
{
    if (!string) return;
    if (s_coreFoundation) {
        g_lib.CFRelease(string);
    } else {
        FreeString(string);
    }
}

wchar_t* CfStringToUtf16(CFStringRef string)
{
    if (!string) return nullptr;
    CFIndex length = g_lib.CFStringGetLength(string);
    if (length < 0) return nullptr;
    wchar_t* wide = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (static_cast<size_t>(length) + 1) * sizeof(wchar_t)));
    if (!wide) return nullptr;
    g_lib.CFStringGetCharacters(string, CFRange{0, length}, reinterpret_cast<uint16_t*>(wide));
    wide[length] = L'\0';
    return wide;
}
