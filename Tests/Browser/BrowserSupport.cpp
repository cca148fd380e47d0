#include "BrowserSupport.h"

#include <winternl.h>

#include "WindowHarness.h"
#include "iPhone.h"

namespace {

typedef NTSTATUS(NTAPI* NtCreateFileFunction)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                              PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
const ULONG kFileCreate = 2;
const ULONG kFileNonDirectoryFile = 0x40;
const ULONG kFileSynchronousIoNonAlert = 0x20;

}  // namespace

bool CreateExactCaseFile(const std::wstring& folder, const std::wstring& name)
{
    auto create = reinterpret_cast<NtCreateFileFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile")));
    if (!create) return false;
    // Without OBJ_CASE_INSENSITIVE the name is taken exactly as given.
    std::wstring ntPath = L"\\??\\" + folder + L"\\" + name;
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

std::vector<std::wstring> NamesInReadOrder(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
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
    HTREEITEM item = TreeView_GetRoot(TreeControlForTest());
    for (const wchar_t* name : names) {
        if (!item) return nullptr;
        item = TreeChildByText(item, name);
    }
    return item;
}

HTREEITEM BrowserTest::SelectFolder(std::initializer_list<const wchar_t*> names)
{
    HTREEITEM item = TreeView_GetRoot(TreeControlForTest());
    if (names.size() == 0) {
        TreeView_SelectItem(TreeControlForTest(), item);
        PumpMessages();
    }
    for (const wchar_t* name : names) {
        if (!item) return nullptr;
        item = TreeChildByText(item, name);
        if (item) {
            TreeView_SelectItem(TreeControlForTest(), item);
            PumpMessages();
        }
    }
    return item;
}
