// The places Apple's installers put the mobile device library, tried in a fixed order.
#include "LibrarySearch.h"

#include <algorithm>
#include <array>
#include <cwchar>
#include <cwctype>

#include <shlwapi.h>

#include "RegistryKey.h"

namespace {

const wchar_t* const kSharedKey = L"SOFTWARE\\Apple Inc.\\Apple Mobile Device Support\\Shared";
const wchar_t* const kDeviceSupportKey = L"SOFTWARE\\Apple Inc.\\Apple Mobile Device Support";
const wchar_t* const kApplicationSupportKey = L"SOFTWARE\\Apple Inc.\\Apple Application Support";
const wchar_t* const kLibraryFile = L"MobileDevice.dll";
const wchar_t* const kCoreFoundationFile = L"CoreFoundation.dll";

// The Store's packages as Windows lists them: for every user, and for the current one.
const wchar_t* const kMachinePackagesKey =
    L"SOFTWARE\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\"
    L"PackageRepository\\Packages";
const wchar_t* const kUserPackagesKey =
    L"Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\"
    L"Repository\\Packages";
// Apple Devices first: it is the app Apple now offers for devices, and it lives on after iTunes.
const wchar_t* const kStoreFamilies[] = {L"AppleInc.AppleDevices_nzyj5cx40ttqa", L"AppleInc.iTunes_nzyj5cx40ttqa"};

// machine, registry view, the package's support folder, its system folder, its own CoreFoundation
// folder, whether the mail interface's folder counts
const SupportArchitecture kSupport64 = {
    IMAGE_FILE_MACHINE_AMD64, KEY_WOW64_64KEY, L"AMDS64", L"VFS\\SystemX64", nullptr, false};
const SupportArchitecture kSupport32 = {
    IMAGE_FILE_MACHINE_I386, KEY_WOW64_32KEY, L"AMDS32", L"VFS\\SystemX86",
    L"VFS\\ProgramFilesCommonX86\\Apple\\Apple Application Support", true};

// A non-empty REG_SZ value, or empty. The text ends at its first zero, whatever the stored data
// looks like (odd byte counts, no terminator of its own).
std::wstring ReadRegistryText(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, REGSAM view)
{
    RegistryKey key;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_READ | view, &key.handle) != ERROR_SUCCESS) return {};
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.handle, valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return {};
    const DWORD maxBytes = 0x10000;  // far beyond any path
    if (type != REG_SZ || bytes == 0 || bytes > maxBytes) return {};
    // Room for every stored byte (an odd count rounds up) and one more unit for the terminator.
    std::vector<wchar_t> text((bytes + 1) / sizeof(wchar_t) + 1, L'\0');
    DWORD readBytes = bytes;
    if (RegQueryValueExW(key.handle, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &readBytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    // The value may have been rewritten between the two reads.
    if (type != REG_SZ || readBytes > bytes) return {};
    return std::wstring(text.data());
}

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring JoinPath(const std::wstring& folder, const wchar_t* name)
{
    if (folder.empty()) return {};
    std::wstring path = folder;
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + name;
}

std::wstring FolderOf(const std::wstring& path)
{
    size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool HasMachine(const std::wstring& path, WORD machine)
{
    DWORD error = 0;
    return IsFile(path) && ReadPeMachine(path.c_str(), error) == machine;
}

// One installed version of a Store package.
struct StorePackage {
    std::array<unsigned long, 4> version{};
    std::wstring root;
};

// "Name_Version_Architecture_ResourceId_PublisherId": whether it belongs to the family
// "Name_PublisherId", and its version.
bool ParsePackageName(const std::wstring& fullName, const wchar_t* family, std::array<unsigned long, 4>& version)
{
    size_t first = fullName.find(L'_');
    size_t last = fullName.rfind(L'_');
    if (first == std::wstring::npos || first == last) return false;
    std::wstring familyName = fullName.substr(0, first) + fullName.substr(last);
    if (!SamePath(familyName, family)) return false;
    const wchar_t* cursor = fullName.c_str() + first + 1;
    for (unsigned long& part : version) {
        if (!iswdigit(*cursor)) break;
        wchar_t* end = nullptr;
        part = wcstoul(cursor, &end, 10);
        if (*end != L'.') break;
        cursor = end + 1;
    }
    return true;
}

void CollectPackages(HKEY root, const wchar_t* listPath, const wchar_t* folderValue, const wchar_t* family,
                     std::vector<StorePackage>& packages)
{
    RegistryKey list;
    // The Store's records live in the native view only.
    if (RegOpenKeyExW(root, listPath, 0, KEY_READ | KEY_WOW64_64KEY, &list.handle) != ERROR_SUCCESS) return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = ARRAYSIZE(name);
        LONG result = RegEnumKeyExW(list.handle, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) continue;  // no package has so long a name
        if (result != ERROR_SUCCESS) break;
        StorePackage package;
        if (!ParsePackageName(name, family, package.version)) continue;
        package.root = ReadRegistryText(list.handle, name, folderValue, KEY_WOW64_64KEY);
        if (!PathIsRelativeW(package.root.c_str())) packages.push_back(package);
    }
}

// The package folder of the family's newest registered version that is still there. Older versions
// may stay registered after their folder has gone.
std::wstring NewestPackageRoot(const wchar_t* family)
{
    std::vector<StorePackage> packages;
    CollectPackages(HKEY_LOCAL_MACHINE, kMachinePackagesKey, L"Path", family, packages);
    CollectPackages(HKEY_CURRENT_USER, kUserPackagesKey, L"PackageRootFolder", family, packages);
    std::stable_sort(packages.begin(), packages.end(),
                     [](const StorePackage& a, const StorePackage& b) { return a.version > b.version; });
    for (const StorePackage& package : packages) {
        if (IsFolder(package.root)) return package.root;
    }
    return {};
}

std::vector<std::wstring> Subfolders(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(JoinPath(folder, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
        names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// One search: what it has offered already, and what it needs more than once.
struct Search {
    const SupportArchitecture& architecture;
    const std::function<bool(const LibraryCandidate&)>& tryCandidate;
    SearchNotes& notes;
    std::vector<std::wstring> offered;
    bool installDirRead = false;
    std::wstring installDir;

    // The recorded install folder of Apple Application Support, read once.
    const std::wstring& ApplicationSupportFolder()
    {
        if (!installDirRead) {
            installDir =
                ReadRegistryText(HKEY_LOCAL_MACHINE, kApplicationSupportKey, L"InstallDir", architecture.registryView);
            // A folder without its drive would be looked for below the current folder.
            if (PathIsRelativeW(installDir.c_str())) installDir.clear();
            installDirRead = true;
        }
        return installDir;
    }

    // CoreFoundation for a library: Apple Application Support's own, else one beside the library,
    // else one the Store package keeps apart. Each only when it is of the library's architecture.
    void ChooseCoreFoundation(LibraryCandidate& candidate, const std::wstring& packageRoot)
    {
        const WORD machine = architecture.machine;
        const std::wstring& installDir = ApplicationSupportFolder();
        // The recorded folder ends in a separator; none is added, as it always was read.
        if (!installDir.empty() && HasMachine(installDir + kCoreFoundationFile, machine)) {
            candidate.coreFoundation = installDir + kCoreFoundationFile;
            candidate.dllDirectory = installDir;
            return;
        }
        std::vector<std::wstring> folders{FolderOf(candidate.library)};
        if (!packageRoot.empty()) {
            if (architecture.storeCoreFoundationFolder) {
                folders.push_back(JoinPath(packageRoot, architecture.storeCoreFoundationFolder));
            }
            folders.push_back(packageRoot);
        }
        for (const std::wstring& folder : folders) {
            std::wstring path = JoinPath(folder, kCoreFoundationFile);
            if (HasMachine(path, machine)) {
                candidate.coreFoundation = path;
                candidate.dllDirectory = folder;
                return;
            }
        }
        candidate.dllDirectory = FolderOf(candidate.library);
    }

    // True when the caller took this library and the search ends.
    bool Offer(const std::wstring& library, const std::wstring& packageRoot = {})
    {
        // Not recorded, a stale record, or a path without its folder, which would be looked for in
        // the current folder (where anyone may have put a file of that name).
        if (library.empty() || PathIsRelativeW(library.c_str()) || !IsFile(library)) return false;
        for (const std::wstring& earlier : offered) {
            if (SamePath(earlier, library)) return false;
        }
        offered.push_back(library);

        LibraryCandidate candidate;
        candidate.library = library;
        WORD machine = ReadPeMachine(library.c_str(), candidate.error);
        if (machine != architecture.machine && candidate.error == 0) {
            if (machine == OtherSupportArchitecture().machine || machine == OwnSupportArchitecture().machine) {
                notes.otherArchitecture = true;
                return false;
            }
            candidate.error = ERROR_BAD_EXE_FORMAT;
        }
        if (candidate.error == 0) {
            ChooseCoreFoundation(candidate, packageRoot);
            if (!packageRoot.empty()) {
                std::wstring runtime = JoinPath(packageRoot, architecture.storeRuntimeFolder);
                if (IsFolder(runtime)) candidate.runtimeFolders.push_back(runtime);
            }
        }
        return tryCandidate(candidate);
    }

    bool OfferRecorded()
    {
        const REGSAM view = architecture.registryView;
        if (Offer(ReadRegistryText(HKEY_LOCAL_MACHINE, kSharedKey, L"iTunesMobileDeviceDLL", view))) return true;
        if (Offer(ReadRegistryText(HKEY_LOCAL_MACHINE, kSharedKey, L"MobileDeviceDLL", view))) return true;
        std::wstring installDir = ReadRegistryText(HKEY_LOCAL_MACHINE, kDeviceSupportKey, L"InstallDir", view);
        if (Offer(JoinPath(installDir, kLibraryFile))) return true;
        if (architecture.mapiFolder) {
            std::wstring mapi = ReadRegistryText(HKEY_LOCAL_MACHINE, kSharedKey, L"ASMapiInterfaceDLL", view);
            if (Offer(JoinPath(FolderOf(mapi), kLibraryFile))) return true;
        }
        return false;
    }

    // The package's known layout first, then any of its immediate subfolders, so that a changed
    // layout is still found.
    bool OfferPackage(const std::wstring& root)
    {
        if (Offer(JoinPath(JoinPath(root, architecture.storeFolder), kLibraryFile), root)) return true;
        if (Offer(JoinPath(root, kLibraryFile), root)) return true;
        for (const std::wstring& name : Subfolders(root)) {
            if (Offer(JoinPath(JoinPath(root, name.c_str()), kLibraryFile), root)) return true;
        }
        return false;
    }

    bool Run()
    {
        if (OfferRecorded()) return true;
        for (const wchar_t* family : kStoreFamilies) {
            std::wstring root = NewestPackageRoot(family);
            if (!root.empty() && OfferPackage(root)) return true;
        }
        return false;
    }
};

}  // namespace

const SupportArchitecture& OwnSupportArchitecture()
{
#ifdef _WIN64
    return kSupport64;
#else
    return kSupport32;
#endif
}

const SupportArchitecture& OtherSupportArchitecture()
{
#ifdef _WIN64
    return kSupport32;
#else
    return kSupport64;
#endif
}

WORD ReadPeMachine(const wchar_t* path, DWORD& error)
{
    error = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return 0;
    }
    IMAGE_DOS_HEADER dos{};
    DWORD read = 0;
    WORD machine = 0;
    bool ok = ReadFile(file, &dos, sizeof(dos), &read, nullptr) && read == sizeof(dos) &&
              dos.e_magic == IMAGE_DOS_SIGNATURE && dos.e_lfanew > 0;
    DWORD signature = 0;
    if (ok) {
        LARGE_INTEGER at;
        at.QuadPart = dos.e_lfanew;
        ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
             ReadFile(file, &signature, sizeof(signature), &read, nullptr) && read == sizeof(signature) &&
             signature == IMAGE_NT_SIGNATURE && ReadFile(file, &machine, sizeof(machine), &read, nullptr) &&
             read == sizeof(machine);
    }
    CloseHandle(file);
    if (!ok) {
        error = ERROR_BAD_EXE_FORMAT;
        return 0;
    }
    return machine;
}

bool SearchLibraryCandidates(const SupportArchitecture& architecture,
                             const std::function<bool(const LibraryCandidate&)>& tryCandidate, SearchNotes& notes)
{
    Search search{architecture, tryCandidate, notes, {}, false, {}};
    return search.Run();
}
