#include "TextUtil.h"

#include <cstring>
#include <cwchar>

namespace {

wchar_t* AllocateWide(size_t units)
{
    return static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, units * sizeof(wchar_t)));
}

wchar_t* JoinPath(const wchar_t* first, const wchar_t* second, wchar_t separator)
{
    if (!first) return nullptr;
    if (!second) second = L"";
    size_t firstLength = wcslen(first);
    size_t secondLength = wcslen(second);
    bool bothNonEmpty = firstLength > 0 && secondLength > 0;
    bool firstEnds = bothNonEmpty && first[firstLength - 1] == separator;
    bool secondBegins = bothNonEmpty && second[0] == separator;
    bool addSeparator = bothNonEmpty && !firstEnds && !secondBegins;
    if (firstEnds && secondBegins) {
        ++second;  // one character only: "a/" + "//b" keeps "a//b"
        --secondLength;
    }
    wchar_t* joined = AllocateWide(firstLength + secondLength + (addSeparator ? 1 : 0) + 1);
    if (!joined) return nullptr;
    wchar_t* out = joined;
    wmemcpy(out, first, firstLength);
    out += firstLength;
    if (addSeparator) *out++ = separator;
    wmemcpy(out, second, secondLength);
    out[secondLength] = L'\0';
    return joined;
}

const wchar_t* LastPathElement(const wchar_t* path, wchar_t separator)
{
    if (!path) return nullptr;
    for (size_t i = wcslen(path); i > 0; --i) {
        if (path[i - 1] == separator) return path + i;
    }
    return path;
}

bool IsUnstorableCharacter(wchar_t c)
{
    return c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != nullptr;
}

bool SameAsciiText(const wchar_t* text, size_t length, const wchar_t* lowerCase)
{
    for (size_t i = 0; i < length; ++i) {
        if (!lowerCase[i] || FoldAsciiLetter(text[i]) != lowerCase[i]) return false;
    }
    return lowerCase[length] == L'\0';
}

// The part before the first dot, without trailing blanks, names a device to Windows, whatever follows.
bool IsReservedDeviceName(const wchar_t* name)
{
    static const wchar_t* const kPlain[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
    size_t length = wcscspn(name, L".");
    while (length > 0 && name[length - 1] == L' ') --length;
    for (const wchar_t* reserved : kPlain) {
        if (SameAsciiText(name, length, reserved)) return true;
    }
    // COM0 to COM9 and LPT0 to LPT9, with the superscript digits Windows counts too.
    if (length != 4 || !(SameAsciiText(name, 3, L"com") || SameAsciiText(name, 3, L"lpt"))) return false;
    wchar_t digit = name[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' || digit == L'\u00b3';
}

// "/", or a "." or ".." element: Windows resolves these itself only in a path's usual form.
bool HasRelativeElement(const wchar_t* path)
{
    if (wcschr(path, L'/')) return true;
    for (const wchar_t* element = path; *element;) {
        size_t length = wcscspn(element, L"\\");
        if ((length == 1 && element[0] == L'.') || (length == 2 && element[0] == L'.' && element[1] == L'.')) return true;
        element += length;
        if (*element) ++element;
    }
    return false;
}

const wchar_t kKeptByteBase = 0xDC00;

bool IsKeptByte(const wchar_t* text, size_t i)
{
    bool afterHigh = i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF;
    return text[i] >= 0xDC80 && text[i] <= 0xDCFF && !afterHigh;
}

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The code point of the well-formed UTF-8 sequence at `text` and its length, or 0 for none
// (overlong forms, surrogates and values above U+10FFFF are not well-formed).
size_t DecodeUtf8(const unsigned char* text, uint32_t& codePoint)
{
    unsigned char lead = text[0];
    size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0) return 0;
    codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if (!IsContinuation(text[i])) return 0;
        codePoint = codePoint << 6 | (text[i] & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

size_t EncodeUtf8(uint32_t codePoint, char* out)
{
    if (codePoint < 0x80) {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    size_t length = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (size_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (codePoint & 0x3F));
        codePoint >>= 6;
    }
    out[0] = static_cast<char>(kLead[length] | codePoint);
    return length;
}

}  // namespace

void FreeString(const void* text)
{
    if (text) HeapFree(GetProcessHeap(), 0, const_cast<void*>(text));
}

wchar_t* DupString(const wchar_t* text)
{
    if (!text) return nullptr;
    size_t units = wcslen(text) + 1;
    wchar_t* copy = AllocateWide(units);
    if (copy) wmemcpy(copy, text, units);
    return copy;
}

wchar_t* ConcatStrings(const wchar_t* first, const wchar_t* second)
{
    if (!first || !second) return nullptr;
    size_t firstLength = wcslen(first);
    size_t secondLength = wcslen(second);
    wchar_t* joined = AllocateWide(firstLength + secondLength + 1);
    if (!joined) return nullptr;
    wmemcpy(joined, first, firstLength);
    wmemcpy(joined + firstLength, second, secondLength + 1);
    return joined;
}

wchar_t* JoinDevicePath(const wchar_t* first, const wchar_t* second)
{
    return JoinPath(first, second, L'/');
}

wchar_t* JoinLocalPath(const wchar_t* first, const wchar_t* second)
{
    return JoinPath(first, second, L'\\');
}

char* ToUtf8(const wchar_t* text)
{
    if (!text) return nullptr;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes == 0) return nullptr;
    char* utf8 = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, bytes));
    if (!utf8) return nullptr;
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, bytes, nullptr, nullptr) == 0) {
        FreeString(utf8);
        return nullptr;
    }
    return utf8;
}

wchar_t* FromUtf8(const char* text)
{
    if (!text) return nullptr;
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units == 0) return nullptr;
    wchar_t* wide = AllocateWide(units);
    if (!wide) return nullptr;
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units) == 0) {
        FreeString(wide);
        return nullptr;
    }
    return wide;
}

wchar_t* DeviceTextToUtf16(const char* text)
{
    if (!text) return nullptr;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t length = strlen(text);
    // Never more code units than bytes.
    wchar_t* wide = AllocateWide(length + 1);
    if (!wide) return nullptr;
    wchar_t* out = wide;
    for (size_t i = 0; i < length;) {
        uint32_t codePoint = 0;
        size_t used = DecodeUtf8(bytes + i, codePoint);
        if (used == 0) {
            *out++ = static_cast<wchar_t>(kKeptByteBase + bytes[i++]);
            continue;
        }
        i += used;
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            *out++ = static_cast<wchar_t>(0xD800 + (codePoint >> 10));
            *out++ = static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF));
        } else {
            *out++ = static_cast<wchar_t>(codePoint);
        }
    }
    *out = L'\0';
    return wide;
}

char* DeviceTextToUtf8(const wchar_t* text)
{
    if (!text) return nullptr;
    size_t length = wcslen(text);
    // At most three bytes per code unit (a pair of four bytes is two units).
    auto* utf8 = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length * 3 + 1));
    if (!utf8) return nullptr;
    char* out = utf8;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        bool pair = c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair) {
            uint32_t codePoint = 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            out += EncodeUtf8(codePoint, out);
            ++i;
        } else if (IsKeptByte(text, i)) {
            *out++ = static_cast<char>(c - kKeptByteBase);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += EncodeUtf8(0xFFFD, out);  // as the system's conversion does
        } else {
            out += EncodeUtf8(c, out);
        }
    }
    *out = '\0';
    return utf8;
}

wchar_t* ShownDeviceName(const wchar_t* name)
{
    wchar_t* shown = DupString(name);
    if (!shown) return nullptr;
    for (size_t i = 0; shown[i]; ++i) {
        if (IsKeptByte(name, i)) shown[i] = 0xFFFD;
    }
    return shown;
}

int ParseDecimalU64(const char* text, uint64_t* value)
{
    if (!text || !*text) return 0;
    uint64_t result = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        uint64_t digit = static_cast<uint64_t>(*p - '0');
        // A wrap-around test alone lets some overlong numbers through with a wrong value
        // (30000000000000000000 wraps to a larger number): refuse anything above the maximum.
        if (result > (UINT64_MAX - digit) / 10) return 0;
        result = result * 10 + digit;
    }
    *value = result;
    return 1;
}

wchar_t* FormatFileTime(uint64_t fileTime)
{
    if (fileTime == 0) return nullptr;
    FILETIME utc = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    SYSTEMTIME universal;
    SYSTEMTIME local;
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return nullptr;
    }
    wchar_t date[80];
    wchar_t time[80];
    if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 80, nullptr)) return nullptr;
    // The user's short time format, as Explorer shows it; without it the long one without seconds.
    wchar_t shortTime[80];
    bool hasShortTime = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTTIME, shortTime, 80) > 0;
    if (!GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, hasShortTime ? 0 : TIME_NOSECONDS, &local,
                         hasShortTime ? shortTime : nullptr, time, 80)) {
        return nullptr;
    }
    OwnedWide spaced(ConcatStrings(date, L" "));
    return spaced ? ConcatStrings(spaced.get(), time) : nullptr;
}

wchar_t FoldAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

int CompareNames(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        unsigned left = static_cast<unsigned>(FoldAsciiLetter(*a));
        unsigned right = static_cast<unsigned>(FoldAsciiLetter(*b));
        if (left != right) return left < right ? -1 : 1;
        if (left == 0) return 0;
    }
}

const wchar_t* FindExtension(const wchar_t* name, size_t* length)
{
    if (!name) return nullptr;
    size_t nameLength = wcslen(name);
    if (nameLength < 2) return nullptr;
    for (size_t i = nameLength; i > 0; --i) {
        wchar_t c = name[i - 1];
        if (c == L'.') {
            *length = nameLength - i;
            return *length ? name + i : nullptr;
        }
        if (c == L'/') return nullptr;
    }
    return nullptr;
}

wchar_t* DeviceNameKey(const wchar_t* name)
{
    if (!name) return nullptr;
    int length = static_cast<int>(wcslen(name));
    if (length == 0) return DupString(name);
    // The first answer is an estimate; a short buffer answers a better one, negated.
    int estimate = NormalizeString(NormalizationC, name, length, nullptr, 0);
    for (int attempt = 0; estimate > 0 && attempt < 4; ++attempt) {
        wchar_t* key = AllocateWide(static_cast<size_t>(estimate) + 1);
        if (!key) return nullptr;
        int made = NormalizeString(NormalizationC, name, length, key, estimate);
        if (made > 0) {
            key[made] = L'\0';
            return key;
        }
        DWORD error = GetLastError();
        FreeString(key);
        if (error != ERROR_INSUFFICIENT_BUFFER) break;
        estimate = -made;
    }
    return DupString(name);
}

bool SameDeviceName(const wchar_t* a, const wchar_t* b)
{
    if (!a || !b) return false;
    if (wcscmp(a, b) == 0) return true;
    wchar_t* keyA = DeviceNameKey(a);
    wchar_t* keyB = DeviceNameKey(b);
    bool same = keyA && keyB && wcscmp(keyA, keyB) == 0;
    FreeString(keyA);
    FreeString(keyB);
    return same;
}

wchar_t* NumberedName(const wchar_t* name, unsigned number, bool isFolder)
{
    if (!name) return nullptr;
    size_t length = wcslen(name);
    size_t stem = length;
    size_t extensionLength = 0;
    const wchar_t* extension = isFolder ? nullptr : FindExtension(name, &extensionLength);
    if (extension) {
        // A dot with only dots before it begins the name.
        size_t dot = static_cast<size_t>(extension - 1 - name);
        size_t firstOther = wcsspn(name, L".");
        if (firstOther < dot) stem = dot;
    }
    wchar_t suffix[16];
    swprintf(suffix, sizeof suffix / sizeof suffix[0], L" (%u)", number);
    size_t suffixLength = wcslen(suffix);
    wchar_t* numbered = AllocateWide(length + suffixLength + 1);
    if (!numbered) return nullptr;
    wmemcpy(numbered, name, stem);
    wmemcpy(numbered + stem, suffix, suffixLength);
    wmemcpy(numbered + stem + suffixLength, name + stem, length - stem + 1);
    return numbered;
}

const wchar_t* LastDevicePathElement(const wchar_t* path)
{
    return LastPathElement(path, L'/');
}

const wchar_t* LastLocalPathElement(const wchar_t* path)
{
    return LastPathElement(path, L'\\');
}

wchar_t* LocalPathAsIs(const wchar_t* path)
{
    if (!path) return nullptr;
    bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) && path[1] == L':' &&
                 path[2] == L'\\';
    bool share = path[0] == L'\\' && path[1] == L'\\' && path[2] && path[2] != L'?' && path[2] != L'.';
    if (!(drive || share) || HasRelativeElement(path)) return DupString(path);
    return drive ? ConcatStrings(L"\\\\?\\", path) : ConcatStrings(L"\\\\?\\UNC", path + 1);
}

const wchar_t* ShownLocalPath(const wchar_t* path)
{
    // A share's path keeps the prefix: "\\server" is not a part of "\\?\UNC\server".
    bool drive = path && wcsncmp(path, L"\\\\?\\", 4) == 0 && path[4] && path[5] == L':';
    return drive ? path + 4 : path;
}

wchar_t* StorableWindowsName(const wchar_t* name)
{
    if (!name) return nullptr;
    size_t length = wcslen(name);
    bool reserved = IsReservedDeviceName(name);
    size_t prefix = (reserved || length == 0) ? 1 : 0;
    wchar_t* storable = AllocateWide(prefix + length + 1);
    if (!storable) return nullptr;
    storable[0] = L'_';
    wchar_t* out = storable + prefix;
    for (size_t i = 0; i < length; ++i) {
        out[i] = IsUnstorableCharacter(name[i]) ? L'_' : IsKeptByte(name, i) ? 0xFFFD : name[i];
    }
    for (size_t i = length; i > 0 && (out[i - 1] == L'.' || out[i - 1] == L' '); --i) out[i - 1] = L'_';
    out[length] = L'\0';
    return storable;
}
