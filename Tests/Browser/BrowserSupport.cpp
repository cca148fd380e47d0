#include "BrowserSupport.h"

#include <winternl.h>

#include "WindowHarness.h"
#include "iPhone.h"

namespace {

typedef NTSTATUS(NTAPI* NtCreateFileFunction)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                              PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
typedef char*(CDECL* UnixFileNameFunction)(LPCWSTR);
const ULONG kFileCreate = 2;
const ULONG kFileNonDirectoryFile = 0x40;
const ULONG kFileSynchronousIoNonAlert = 0x20;

}  // namespace

bool CreateExactCaseFile(const std::wstring& folder, const std::wstring& name)
{
    auto create = reinterpret_cast<NtCreateFileFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile")));
    auto unixFileName = reinterpret_cast<UnixFileNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!create || !unixFileName) return false;
    // Wine looks a Windows path up without regard to case, even for an exact-case request; a path
    // below "\??\unix" names the Unix file as it is.
    char* unixFolder = unixFileName(folder.c_str());
    if (!unixFolder) return false;
    std::wstring ntPath = L"\\??\\unix";
    for (const char* c = unixFolder; *c; ++c) ntPath += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    HeapFree(GetProcessHeap(), 0, unixFolder);
    ntPath += L"\\" + name;
    UNICODE_STRING path;
    path.Buffer = &ntPath[0];
    path.Length = static_cast<USHORT>(ntPath.size() * sizeof(wchar_t));
    path.MaximumLength = path.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, 0, nullptr, nullptr);
    IO_STATUS_BLOCK status = {};
    HANDLE file = nullptr;
    NTSTATUS result = create(&file, GENERIC_WRITE | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                             FILE_SHARE_READ, kFileCreate, kFileNonDirectoryFile | kFileSynchronousIoNonAlert,
                             nullptr, 0);
    if (result != 0) return false;
    CloseHandle(file);
    return true;
}

std::vector<std::wstring> DeviceReadOrder(const char* devicePath)
{
    std::vector<std::wstring> names;
    DeviceEntry* device = g_currentDevice.load();
    AFCDirectoryRef directory = nullptr;
    if (!device || !device->afc || g_lib.AFCDirectoryOpen(device->afc, devicePath, &directory) != 0) return names;
    char* name = nullptr;
    while (g_lib.AFCDirectoryRead(device->afc, directory, &name) == 0 && name && *name) {
        std::string text = name;
        if (text == "." || text == "..") continue;
        int units = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
        std::wstring wide(units > 0 ? units - 1 : 0, L'\0');
        if (units > 1) MultiByteToWideChar(CP_UTF8, 0, name, -1, &wide[0], units);
        names.push_back(wide);
    }
    g_lib.AFCDirectoryClose(device->afc, directory);
    return names;
}

bool BrowserTest::OpenContainer(const std::wstring& container, const std::string& extraDeviceLines)
{
    CreateDirectoryW(container.c_str(), nullptr);
    CreateDirectoryW(Documents(container).c_str(), nullptr);
    SimWriteFile(container + L"\\Library\\Application Support\\com.marlquist.tovarel.ASRoot\\UserDocs\\Downloaded.pdf",
                 "downloaded");
    std::string config = "device browse\n  name Browse\n  app com.marlquist.tovarel " + Utf8Text(container) + "\n" +
                         extraDeviceLines;
    return LoadDevices(config) && g_rootFolder.load() != nullptr;
}

HTREEITEM BrowserTest::FolderItem(std::initializer_list<const wchar_t*> names)
{
    return TreeItemByNames(names);
}

HTREEITEM BrowserTest::SelectFolder(std::initializer_list<const wchar_t*> names)
{
    return SelectTreeItemByNames(names);
}
