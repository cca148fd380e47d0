// Changes to a registry key that a test makes and that are undone, whatever happens to the test,
// when the guard goes out of scope. The test prefix is shared by every test program of a build, so
// a test that changes the machine's keys must leave them as it found them.
//
//   RegistryKeyGuard shared(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Apple Inc.\\...\\Shared");
//   shared.SetString(L"iTunesMobileDeviceDLL", L"", REG_SZ);   // restored by the destructor
//
// The guard records whether the key exists and every value directly in it (names, types, bytes).
// On destruction it puts exactly those values back (values added later are removed; a key that did
// not exist is deleted again). Subkeys are neither recorded nor touched.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class RegistryKeyGuard {
public:
    RegistryKeyGuard(HKEY root, const wchar_t* path);
    ~RegistryKeyGuard();
    RegistryKeyGuard(const RegistryKeyGuard&) = delete;
    RegistryKeyGuard& operator=(const RegistryKeyGuard&) = delete;

    // Each returns whether the registry accepted the change; the key is created when needed.
    bool SetString(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ);
    bool SetDword(const wchar_t* name, DWORD value);
    bool SetBytes(const wchar_t* name, DWORD type, const void* bytes, DWORD size);
    bool DeleteValue(const wchar_t* name);
    // Deletes the key with its values; fails when the key has subkeys.
    bool DeleteKey();

    bool Existed() const { return m_existed; }

private:
    struct SavedValue {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    void Restore();

    HKEY m_root;
    std::wstring m_path;
    bool m_existed = false;
    std::vector<SavedValue> m_values;
};

// A Windows path (Z:\...) for the Unix path held by an environment variable of the test run
// (TOVAREL_SIM_DIR and the like); empty when the variable is not set.
std::wstring WinePathFromEnvironment(const char* variable);
