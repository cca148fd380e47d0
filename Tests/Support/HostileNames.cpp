#include "HostileNames.h"

#include <windows.h>

#include <cstring>

#include "SimDevice.h"

const char kInnerFileName[] = "inner:1.txt";

namespace {

std::string Repeat(const std::string& piece, size_t times)
{
    std::string text;
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

std::wstring Wide(const std::string& utf8)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(units > 0 ? units - 1 : 0, L'\0');
    if (units > 1) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], units);
    return wide;
}

bool IsUtf8(const std::string& bytes)
{
    return bytes.empty() ||
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

std::wstring HostPath(const std::wstring& folder, const std::string& deviceName)
{
    std::wstring path = folder + L"\\" + EscapedHostName(deviceName);
    return path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
}

}  // namespace

const std::vector<HostileName>& HostileNames()
{
    static const std::vector<HostileName> names = {
        {"backslash", "back\\slash.txt", L"back\\slash.txt", false, false},
        {"colon", "co:lon.txt", L"co:lon.txt", false, false},
        {"what the colon name becomes on Windows", "co_lon.txt", L"co_lon.txt", false, true},
        {"dot-dot and backslash", "..\\up.txt", L"..\\up.txt", false, false},
        {"only dots", "...", L"...", false, false},
        {"reserved device name", "con", L"con", false, true},
        {"reserved name with extension", "NUL.txt", L"NUL.txt", false, true},
        {"trailing dots", "dots..", L"dots..", false, true},
        {"trailing blank", "blank ", L"blank ", false, true},
        {"control characters", "tab\tbell\a.txt", L"tab\tbell\a.txt", false, false},
        {"255 bytes of UTF-8", Repeat("\xE2\x82\xAC", 85), std::wstring(85, L'\u20ac'), false, true},
        {"invalid UTF-8", "bad\xFF.txt", L"bad\uFFFD.txt", false, false},
        {"another invalid byte, shown the same", "bad\x80.txt", L"bad\uFFFD.txt", false, false},
        {"NFC", "caf\xC3\xA9.txt", L"caf\u00e9.txt", false, true},
        // One name with its NFC twin to the device: a drop holding both is refused, so only one is local.
        {"NFD twin", "cafe\xCC\x81.txt", L"cafe\u0301.txt", false, false},
        {"folder with a colon", "dir:x", L"dir:x", true, false},
        {"folder named in invalid UTF-8", "bad\xFE dir", L"bad\uFFFD dir", true, false},
    };
    return names;
}

std::string HostileContent(const HostileName& name)
{
    return std::string("content of ") + name.what;
}

std::wstring EscapedHostName(const std::string& deviceBytes)
{
    bool utf8 = IsUtf8(deviceBytes);
    std::string escaped;
    for (unsigned char c : deviceBytes) {
        if (c < 0x20 || strchr("\\:*?\"<>|%", c) || (!utf8 && c >= 0x80)) {
            char hex[4];
            wsprintfA(hex, "%%%02X", c);
            escaped += hex;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return Wide(escaped);
}

TreeSnapshot WriteHostileCorpus(const std::wstring& folder)
{
    CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
    for (const HostileName& name : HostileNames()) {
        std::wstring path = HostPath(folder, name.device);
        if (name.folder) {
            CreateDirectoryW(path.c_str(), nullptr);
            path = HostPath(path, kInnerFileName);
        }
        SimWriteFile(path, HostileContent(name));
    }
    return SnapshotTree(folder);
}

void WriteLocalHostileCorpus(const std::wstring& folder)
{
    CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
    for (const HostileName& name : HostileNames()) {
        if (name.local) SimWriteFile(L"\\\\?\\" + folder + L"\\" + name.shown, HostileContent(name));
    }
}

std::string LongText(size_t characters, char letter)
{
    return std::string(characters, letter);
}
