// Device paths inside a container, host folders and text conversion.
//
// Every device path is confined to its container: ".." may walk back only as far as the
// container's root, and names that a Windows folder would read as something else (a separator, a
// drive or stream colon, a wildcard) are refused, since on the host they could reach another file.
// A device with raw names accepts them all the same: such a name is stored on the host in its escape
// form (see SimEscapeName), which reaches no other file.
#include "SimState.h"

#include <cstring>

namespace {

bool IsHostUnsafeCharacter(unsigned c)
{
    return c < 0x20 || (c < 0x80 && strchr("\\:*?\"<>|", static_cast<int>(c)));
}

bool IsHostSafeName(const std::wstring& name)
{
    for (wchar_t c : name) {
        if (IsHostUnsafeCharacter(c)) {
            return false;
        }
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool EscapeFollows(const std::string& text, size_t at)
{
    return text[at] == '%' && at + 2 < text.size() && HexDigit(text[at + 1]) >= 0 && HexDigit(text[at + 2]) >= 0;
}

// Length of the well-formed UTF-8 sequence at `at`, or 0.
size_t Utf8SequenceLength(const std::string& text, size_t at)
{
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + at, 1, nullptr, 0);
    if (units > 0) {
        return 1;
    }
    for (size_t length = 2; length <= 4 && at + length <= text.size(); ++length) {
        if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + at, static_cast<int>(length), nullptr,
                                0) > 0) {
            return length;
        }
    }
    return 0;
}

}  // namespace

std::string SimEscapeName(const std::string& name)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (size_t at = 0; at < name.size();) {
        unsigned char c = static_cast<unsigned char>(name[at]);
        size_t length = Utf8SequenceLength(name, at);
        if (length == 0 || IsHostUnsafeCharacter(c) || EscapeFollows(name, at)) {
            escaped += '%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 15];
            ++at;
        } else {
            escaped.append(name, at, length);
            at += length;
        }
    }
    return escaped;
}

std::string SimUnescapeName(const std::string& escaped)
{
    std::string name;
    for (size_t at = 0; at < escaped.size();) {
        if (EscapeFollows(escaped, at)) {
            name += static_cast<char>(HexDigit(escaped[at + 1]) * 16 + HexDigit(escaped[at + 2]));
            at += 3;
        } else {
            name += escaped[at++];
        }
    }
    return name;
}

std::wstring SimWide(const std::string& utf8)
{
    if (utf8.empty()) {
        return std::wstring();
    }
    int length = static_cast<int>(utf8.size());
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (units <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, &wide[0], units);
    return wide;
}

std::string SimUtf8(const std::wstring& wide)
{
    if (wide.empty()) {
        return std::string();
    }
    int length = static_cast<int>(wide.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string();
    }
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

bool SimNormalizeDevicePath(const char* path, std::string& normalized, bool rawNames)
{
    if (!path) {
        return false;
    }
    std::vector<std::string> names;
    const char* p = path;
    while (*p) {
        const char* end = strchr(p, '/');
        size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
        std::string name(p, length);
        p += length;
        if (*p == '/') {
            ++p;
        }
        if (name.empty() || name == ".") {
            continue;
        }
        if (name == "..") {
            if (names.empty()) {
                return false;
            }
            names.pop_back();
            continue;
        }
        if (!rawNames) {
            std::wstring wide = SimWide(name);
            if (wide.empty() || !IsHostSafeName(wide)) {
                return false;
            }
        }
        names.push_back(name);
    }
    normalized.clear();
    for (const std::string& name : names) {
        normalized += "/" + name;
    }
    if (normalized.empty()) {
        normalized = "/";
    }
    return true;
}

bool SimHostPath(const std::wstring& root, const std::string& normalized, std::wstring& hostPath, bool rawNames)
{
    if (root.empty()) {
        return false;
    }
    hostPath = root;
    for (size_t at = 1; at < normalized.size();) {
        size_t end = normalized.find('/', at);
        std::string name = normalized.substr(at, end == std::string::npos ? std::string::npos : end - at);
        hostPath += L"\\" + SimWide(rawNames ? SimEscapeName(name) : name);
        at = end == std::string::npos ? normalized.size() : end + 1;
    }
    return true;
}

std::wstring SimHostFolder(const std::string& folder)
{
    std::wstring path = SimWide(folder);
    if (path.empty()) {
        return std::wstring();
    }
    if (path.compare(0, 4, L"\\\\?\\") == 0) {
        return path;
    }
    if (path[0] == L'/') {
        path = L"Z:" + path;
    }
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    wchar_t full[32768];
    DWORD length = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    if (length == 0 || length >= 32768) {
        return std::wstring();
    }
    std::wstring result(full, length);
    while (result.size() > 3 && result.back() == L'\\') {
        result.pop_back();
    }
    if (result.size() == 3 && result[1] == L':') {
        result.pop_back();  // "Z:\" → "Z:", so that joining "\name" gives one separator
    }
    if (result.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + result.substr(2);
    }
    return L"\\\\?\\" + result;
}

bool SimMatchPattern(const char* pattern, const char* text)
{
    // Iterative glob with backtracking to the last star.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*text) {
        if (*pattern == '*') {
            star = pattern++;
            resume = text;
        } else if (*pattern == '?' || *pattern == *text) {
            ++pattern;
            ++text;
        } else if (star) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

std::string SimQuote(const char* text)
{
    return text ? "\"" + std::string(text) + "\"" : std::string("(null)");
}
