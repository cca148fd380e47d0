#include "SimDevice.h"

#include <fstream>
#include <iterator>

#include "WindowHarness.h"

#include <cstdlib>
#include <vector>

const char* const kSimDeviceId = "00008030-SIM0000000001";

namespace {

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty()) {
        return std::wstring();
    }
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], units);
    }
    return wide;
}

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty()) {
        return std::string();
    }
    int length = static_cast<int>(wide.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &utf8[0], bytes, nullptr, nullptr);
    }
    return utf8;
}

template <class F> F Function(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The control function of this name in the loaded library.
template <class F> F Control(const char* name)
{
    return Function<F>(SimModule(), name);
}

template <class F> bool Bind(HMODULE module, const char* name, F& slot)
{
    slot = Function<F>(module, name);
    return slot != nullptr;
}

void MakeParents(const std::wstring& path)
{
    for (size_t at = path.find_first_of(L"\\/", 3); at != std::wstring::npos; at = path.find_first_of(L"\\/", at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
}

std::string Repeat(char c, size_t count)
{
    return std::string(count, c);
}

// A small but well-formed PDF file of exactly `size` bytes (padded with a comment).
std::string SmallPdf(size_t size)
{
    std::string pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                      "2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";
    return pdf.size() < size ? pdf + "%" + Repeat('x', size - pdf.size() - 2) + "\n" : pdf;
}

std::string WriteContainer(const std::wstring& folder)
{
    SimWriteFile(folder + L"\\Documents\\Books\\Guide.pdf", SmallPdf(1200));
    SimWriteFile(folder + L"\\Documents\\Books\\Old\\Notes 2019.txt", "notes");
    SimWriteFile(folder + L"\\Documents\\readme.txt", "hello world");
    SimWriteFile(folder + L"\\Documents\\R\u00e9sum\u00e9 \u2013 Anna\u2019s notes.txt", "r\u00e9sum\u00e9");
    CreateDirectoryW((folder + L"\\Documents\\Empty").c_str(), nullptr);
    SimWriteFile(folder + L"\\Library\\Application Support\\com.marlquist.tovarel.ASRoot\\UserDocs\\Downloaded.pdf",
                 SmallPdf(300));
    return Utf8(folder);
}

}  // namespace

std::wstring SimWindowsPath(const std::string& path)
{
    std::wstring wide = Wide(path);
    if (!wide.empty() && wide[0] == L'/') {
        wide = L"Z:" + wide;
        for (wchar_t& c : wide) {
            if (c == L'/') {
                c = L'\\';
            }
        }
    }
    return wide;
}

std::wstring SimLibraryFolder()
{
    const char* folder = getenv("TOVAREL_SIM_DIR");
    return folder ? SimWindowsPath(folder) : std::wstring();
}

HMODULE SimModule()
{
    HMODULE module = GetModuleHandleW(L"SimMobileDevice.dll");
    std::wstring folder = SimLibraryFolder();
    if (module || folder.empty()) {
        return module;
    }
    SetDllDirectoryW(folder.c_str());
    return LoadLibraryW((folder + L"\\SimMobileDevice.dll").c_str());
}

HMODULE SimCoreFoundationModule()
{
    return SimModule() ? GetModuleHandleW(L"CoreFoundation.dll") : nullptr;
}

bool SimBindLibrary(DeviceLibrary& lib)
{
    HMODULE md = SimModule();
    HMODULE cf = SimCoreFoundationModule();
    return Bind(md, "AMDeviceNotificationSubscribe", lib.AMDeviceNotificationSubscribe) &&
           Bind(md, "AMDeviceConnect", lib.AMDeviceConnect) && Bind(md, "AMDeviceDisconnect", lib.AMDeviceDisconnect) &&
           Bind(md, "AMDeviceIsPaired", lib.AMDeviceIsPaired) &&
           Bind(md, "AMDeviceValidatePairing", lib.AMDeviceValidatePairing) &&
           Bind(md, "AMDeviceStartSession", lib.AMDeviceStartSession) &&
           Bind(md, "AMDeviceStopSession", lib.AMDeviceStopSession) &&
           Bind(md, "AMDeviceStartService", lib.AMDeviceStartService) &&
           Bind(md, "AFCConnectionOpen", lib.AFCConnectionOpen) &&
           Bind(md, "AFCConnectionClose", lib.AFCConnectionClose) &&
           Bind(md, "AFCDeviceInfoOpen", lib.AFCDeviceInfoOpen) && Bind(md, "AFCDirectoryOpen", lib.AFCDirectoryOpen) &&
           Bind(md, "AFCDirectoryRead", lib.AFCDirectoryRead) && Bind(md, "AFCDirectoryClose", lib.AFCDirectoryClose) &&
           Bind(md, "AFCDirectoryCreate", lib.AFCDirectoryCreate) && Bind(md, "AFCFileInfoOpen", lib.AFCFileInfoOpen) &&
           Bind(md, "AFCKeyValueRead", lib.AFCKeyValueRead) && Bind(md, "AFCKeyValueClose", lib.AFCKeyValueClose) &&
           Bind(md, "AFCRenamePath", lib.AFCRenamePath) && Bind(md, "AFCRemovePath", lib.AFCRemovePath) &&
           Bind(md, "AFCFileRefOpen", lib.AFCFileRefOpen) && Bind(md, "AFCFileRefRead", lib.AFCFileRefRead) &&
           Bind(md, "AFCFileRefWrite", lib.AFCFileRefWrite) && Bind(md, "AFCFileRefClose", lib.AFCFileRefClose) &&
           Bind(md, "AMDeviceLookupApplications", lib.AMDeviceLookupApplications) &&
           Bind(cf, "CFRelease", lib.CFRelease) && Bind(cf, "CFStringGetLength", lib.CFStringGetLength) &&
           Bind(cf, "CFStringGetCharacters", lib.CFStringGetCharacters) &&
           Bind(md, "AMDeviceCopyValue", lib.AMDeviceCopyValue) &&
           Bind(md, "AMDeviceStartHouseArrestService", lib.AMDeviceStartHouseArrestService) &&
           Bind(cf, "CFDictionaryGetValue", lib.CFDictionaryGetValue) &&
           Bind(cf, "CFDictionaryCreate", lib.CFDictionaryCreate) &&
           Bind(cf, "__CFStringMakeConstantString", lib.__CFStringMakeConstantString);
}

unsigned SimLiveCfObjects()
{
    auto count = Function<unsigned(__cdecl*)()>(SimCoreFoundationModule(), "SimCFLiveObjects");
    return count ? count() : 0;
}

unsigned SimBadCfCalls()
{
    auto count = Function<unsigned(__cdecl*)()>(SimCoreFoundationModule(), "SimCFBadCalls");
    return count ? count() : 0;
}

namespace {

std::wstring s_misuseLog;
size_t s_misuseTaken;

}  // namespace

void SimWatchThreadMisuse()
{
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp)) return;
    s_misuseLog = std::wstring(temp) + L"tovarel-thread-misuse-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(s_misuseLog.c_str());
    s_misuseTaken = 0;
    SetEnvironmentVariableW(L"TOVAREL_SIM_MISUSE_LOG", s_misuseLog.c_str());
}

std::string SimTakeThreadMisuses()
{
    if (s_misuseLog.empty()) return std::string();
    std::ifstream log(s_misuseLog.c_str(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    if (text.size() <= s_misuseTaken) return std::string();
    std::string added = text.substr(s_misuseTaken);
    s_misuseTaken = text.size();
    return added;
}

bool SimWaitNotices(DWORD timeoutMilliseconds)
{
    return PumpUntil([] { return SimPendingNotices() == 0; }, timeoutMilliseconds);
}

std::wstring SimMakeTempFolder(const wchar_t* prefix)
{
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    std::wstring base(temp, length);
    for (unsigned attempt = 0;; ++attempt) {
        std::wstring folder = base + prefix + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount() + attempt);
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::wstring();
        }
    }
}

void SimRemoveTree(const std::wstring& folder)
{
    if (folder.size() < 4) {
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                SimRemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

bool SimWriteFile(const std::wstring& path, const std::string& bytes)
{
    MakeParents(path);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

namespace {

// A file or folder opened only to read or set its times.
HANDLE OpenForTimes(const std::wstring& path, DWORD access)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

uint64_t SimWriteTime(const std::wstring& path)
{
    HANDLE file = OpenForTimes(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return 0;
    FILETIME written = {};
    bool ok = GetFileTime(file, nullptr, nullptr, &written) != FALSE;
    CloseHandle(file);
    return ok ? (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime : 0;
}

bool SimSetWriteTime(const std::wstring& path, uint64_t fileTime)
{
    HANDLE file = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME written = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    bool ok = SetFileTime(file, nullptr, nullptr, &written) != FALSE;
    CloseHandle(file);
    return ok;
}

uint64_t SimFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME time = {year, month, 0, day, hour, minute, second, 0};
    FILETIME file = {};
    if (!SystemTimeToFileTime(&time, &file)) return 0;
    return (static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

std::string SimWriteDeviceTree(const std::wstring& root, const char* uniqueId, const char* name)
{
    SimWriteFile(root + L"\\storage\\DCIM\\100APPLE\\IMG_0001.JPG", "\xFF\xD8\xFF\xD9");
    std::string iphone = WriteContainer(root + L"\\iphone");
    std::string ipad = WriteContainer(root + L"\\ipad");
    return std::string("device ") + uniqueId + "\n  name " + name + "\n  model iPhone14,2\n  storage " +
           Utf8(root) + "\\storage\n  app com.marlquist.tovarel " + iphone + "\n  app com.marlquist.tovarel.ipad " +
           ipad + "\n";
}

// The control functions, forwarded to the loaded library.
extern "C" {

int __cdecl SimLoadConfigText(const char* text)
{
    auto f = Control<decltype(&SimLoadConfigText)>("SimLoadConfigText");
    return f ? f(text) : -1;
}

int __cdecl SimAttach(const char* uniqueId)
{
    auto f = Control<decltype(&SimAttach)>("SimAttach");
    return f ? f(uniqueId) : -1;
}

int __cdecl SimDetach(const char* uniqueId)
{
    auto f = Control<decltype(&SimDetach)>("SimDetach");
    return f ? f(uniqueId) : -1;
}

int __cdecl SimDeliverNotice(const char* uniqueId, unsigned event)
{
    auto f = Control<decltype(&SimDeliverNotice)>("SimDeliverNotice");
    return f ? f(uniqueId, event) : -1;
}

void* __cdecl SimDeviceRef(const char* uniqueId)
{
    auto f = Control<decltype(&SimDeviceRef)>("SimDeviceRef");
    return f ? f(uniqueId) : nullptr;
}

unsigned __cdecl SimPendingNotices(void)
{
    auto f = Control<decltype(&SimPendingNotices)>("SimPendingNotices");
    return f ? f() : 0;
}

void __cdecl SimUnsubscribeAll(void)
{
    if (auto f = Control<decltype(&SimUnsubscribeAll)>("SimUnsubscribeAll")) {
        f();
    }
}

void __cdecl SimFailCall(const char* function, unsigned nth)
{
    if (auto f = Control<decltype(&SimFailCall)>("SimFailCall")) {
        f(function, nth);
    }
}

void __cdecl SimFailCalls(const char* function, unsigned nth, unsigned count)
{
    if (auto f = Control<decltype(&SimFailCalls)>("SimFailCalls")) {
        f(function, nth, count);
    }
}

void __cdecl SimFailNthCall(unsigned nth)
{
    if (auto f = Control<decltype(&SimFailNthCall)>("SimFailNthCall")) {
        f(nth);
    }
}

void __cdecl SimFailPath(const char* pattern)
{
    if (auto f = Control<decltype(&SimFailPath)>("SimFailPath")) {
        f(pattern);
    }
}

unsigned __cdecl SimCallCount(const char* function)
{
    auto f = Control<decltype(&SimCallCount)>("SimCallCount");
    return f ? f(function) : 0;
}

void __cdecl SimResetCounters(void)
{
    if (auto f = Control<decltype(&SimResetCounters)>("SimResetCounters")) {
        f();
    }
}

void __cdecl SimSetTrace(const char* path)
{
    if (auto f = Control<decltype(&SimSetTrace)>("SimSetTrace")) {
        f(path);
    }
}

void __cdecl SimSetLatency(unsigned microsecondsPerCall, unsigned bytesPerSecond)
{
    if (auto f = Control<decltype(&SimSetLatency)>("SimSetLatency")) {
        f(microsecondsPerCall, bytesPerSecond);
    }
}

unsigned __cdecl SimOpenHandles(void)
{
    auto f = Control<decltype(&SimOpenHandles)>("SimOpenHandles");
    return f ? f() : 0;
}

void __cdecl SimHoldCall(const char* function)
{
    if (auto f = Control<decltype(&SimHoldCall)>("SimHoldCall")) {
        f(function);
    }
}

void __cdecl SimReleaseHeldCalls(void)
{
    if (auto f = Control<decltype(&SimReleaseHeldCalls)>("SimReleaseHeldCalls")) {
        f();
    }
}

unsigned __cdecl SimHeldCalls(void)
{
    auto f = Control<decltype(&SimHeldCalls)>("SimHeldCalls");
    return f ? f() : 0;
}

unsigned __cdecl SimThreadMisuses(void)
{
    auto f = Control<decltype(&SimThreadMisuses)>("SimThreadMisuses");
    return f ? f() : 0;
}

}  // extern "C"
