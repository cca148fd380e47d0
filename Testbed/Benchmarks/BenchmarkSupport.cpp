#include "BenchmarkSupport.h"

#include <cwchar>

namespace {

template <class F> bool Resolve(HMODULE module, const char* name, F& function)
{
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

}  // namespace

bool FindSimControls(SimControls& controls)
{
    HMODULE module = GetModuleHandleW(L"SimMobileDevice.dll");
    return module && Resolve(module, "SimLoadConfigText", controls.loadConfigText) &&
           Resolve(module, "SimDeviceRef", controls.deviceRef) && Resolve(module, "SimCallCount", controls.callCount) &&
           Resolve(module, "SimResetCounters", controls.resetCounters) &&
           Resolve(module, "SimPendingNotices", controls.pendingNotices);
}

std::wstring MakeBenchmarkFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring EntryName(int i)
{
    unsigned scrambled = static_cast<unsigned>(i) * 2654435761u;
    wchar_t name[64];
    swprintf(name, 64, L"%c%08x-%d.pdf", (i % 2) ? L'R' : L'r', scrambled, i);
    return name;
}

bool FillFolder(const std::wstring& folder, int count)
{
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        HANDLE file = CreateFileW((folder + L"\\" + EntryName(i)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        CloseHandle(file);
    }
    return true;
}

void EmptyFolder(const std::wstring& folder, int count)
{
    for (int i = 0; i < count; ++i) DeleteFileW((folder + L"\\" + EntryName(i)).c_str());
    RemoveDirectoryW(folder.c_str());
}

int64_t ClockTicks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Milliseconds(int64_t ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}
