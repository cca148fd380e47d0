#include "RegistryGuard.h"

#include <cstdlib>

namespace {

struct OpenKey {
    HKEY handle = nullptr;
    ~OpenKey()
    {
        if (handle) RegCloseKey(handle);
    }
};

}  // namespace

RegistryKeyGuard::RegistryKeyGuard(HKEY root, const wchar_t* path) : m_root(root), m_path(path)
{
    OpenKey key;
    if (RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_READ, &key.handle) != ERROR_SUCCESS) return;
    m_existed = true;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        LONG result = RegEnumValueW(key.handle, index, name, &nameLength, nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS) break;
        SavedValue value{std::wstring(name, nameLength), type, std::vector<BYTE>(size)};
        DWORD readSize = size;
        if (RegQueryValueExW(key.handle, value.name.c_str(), nullptr, &value.type,
                             value.data.empty() ? nullptr : value.data.data(), &readSize) == ERROR_SUCCESS) {
            value.data.resize(readSize);
            m_values.push_back(value);
        }
    }
}

RegistryKeyGuard::~RegistryKeyGuard()
{
    Restore();
}

void RegistryKeyGuard::Restore()
{
    if (!m_existed) {
        RegDeleteKeyW(m_root, m_path.c_str());
        return;
    }
    OpenKey key;
    if (RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key.handle, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    // Drop every value, then write the recorded ones back.
    for (;;) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        if (RegEnumValueW(key.handle, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (RegDeleteValueW(key.handle, name) != ERROR_SUCCESS) break;
    }
    for (const SavedValue& value : m_values) {
        RegSetValueExW(key.handle, value.name.c_str(), 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    }
}

bool RegistryKeyGuard::SetBytes(const wchar_t* name, DWORD type, const void* bytes, DWORD size)
{
    OpenKey key;
    if (RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key.handle, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExW(key.handle, name, 0, type, static_cast<const BYTE*>(bytes), size) == ERROR_SUCCESS;
}

bool RegistryKeyGuard::SetString(const wchar_t* name, const std::wstring& text, DWORD type)
{
    return SetBytes(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool RegistryKeyGuard::SetDword(const wchar_t* name, DWORD value)
{
    return SetBytes(name, REG_DWORD, &value, sizeof(value));
}

bool RegistryKeyGuard::DeleteValue(const wchar_t* name)
{
    OpenKey key;
    if (RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_WRITE, &key.handle) != ERROR_SUCCESS) return false;
    LONG result = RegDeleteValueW(key.handle, name);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool RegistryKeyGuard::DeleteKey()
{
    LONG result = RegDeleteKeyW(m_root, m_path.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::wstring WinePathFromEnvironment(const char* variable)
{
    const char* unixPath = getenv(variable);
    if (!unixPath || !*unixPath) return std::wstring();
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return path;
}
