// String copies, path joining, UTF-16/UTF-8 conversion, decimal parsing, shown dates and path scanning.
// Strings returned here come from the process heap and belong to the caller (FreeString, or an
// owner below); the scanners return positions inside their argument.
#pragma once

#include <windows.h>
#include <cstdint>
#include <memory>

void FreeString(const void* text);

struct HeapStringDeleter {
    void operator()(const void* text) const { FreeString(text); }
};
using OwnedWide = std::unique_ptr<wchar_t, HeapStringDeleter>;
using OwnedUtf8 = std::unique_ptr<char, HeapStringDeleter>;

wchar_t* DupString(const wchar_t* text);
// The two texts one after the other.
wchar_t* ConcatStrings(const wchar_t* first, const wchar_t* second);
wchar_t* JoinDevicePath(const wchar_t* first, const wchar_t* second);
wchar_t* JoinLocalPath(const wchar_t* first, const wchar_t* second);
char* ToUtf8(const wchar_t* text);
wchar_t* FromUtf8(const char* text);
// Device names and paths: a device name may hold any byte but "/", not only UTF-8. A byte that is
// not part of well-formed UTF-8 is kept as the lone surrogate U+DC00 + byte, which no UTF-8 text
// gives, so that the path goes back to the device with the byte it came with.
wchar_t* DeviceTextToUtf16(const char* text);
char* DeviceTextToUtf8(const wchar_t* text);
// A device name as the user sees it: each kept byte becomes U+FFFD.
wchar_t* ShownDeviceName(const wchar_t* name);
int ParseDecimalU64(const char* text, uint64_t* value);
// A FILETIME count in the user's local time and short date and time format ("3/4/2019 5:06 PM"),
// or none when it is 0 or cannot be shown.
wchar_t* FormatFileTime(uint64_t fileTime);
// Maps only "A" to "Z" onto "a" to "z": names compare without locale rules.
wchar_t FoldAsciiLetter(wchar_t c);
// ASCII letters compare without case, everything else by code unit.
int CompareNames(const wchar_t* a, const wchar_t* b);
const wchar_t* FindExtension(const wchar_t* name, size_t* length);
// A name as the device's file system tells names apart: composed Unicode (NFC), letter case kept.
// iOS keeps "B.txt" and "b.txt" as two names but takes "Café" composed and decomposed as one. A
// name that cannot be composed (a kept byte) is its own key. Null when memory runs out.
wchar_t* DeviceNameKey(const wchar_t* name);
// Whether the device takes the two names for one (their keys are equal); false when memory runs out.
bool SameDeviceName(const wchar_t* a, const wchar_t* b);
// "name (n).ext" for a file and "name (n)" for a folder: the n-th item whose name is taken
// already. Only a file's last extension stays at the end, and a leading dot starts a name, not an
// extension (".hidden (2)").
wchar_t* NumberedName(const wchar_t* name, unsigned number, bool isFolder);
const wchar_t* LastDevicePathElement(const wchar_t* path);
const wchar_t* LastLocalPathElement(const wchar_t* path);
// A full local path ("C:\a" or "\\server\share\a") in the form Windows takes as it is
// ("\\?\C:\a", "\\?\UNC\server\share\a"): a file called "con", "a." or "b " is then that
// file, not the console or "a" or "b". Any other path (relative, with "/", "." or ".." elements,
// or in that form already) comes back as a copy.
wchar_t* LocalPathAsIs(const wchar_t* path);
// The path as the user knows it: without the prefix LocalPathAsIs adds.
const wchar_t* ShownLocalPath(const wchar_t* path);
// A device name as one name that Windows stores as it is: "\", "/", ":", "*", "?", "\"", "<", ">",
// "|" and control characters become "_", so do trailing dots and blanks (which Windows drops, and
// which make "." and ".."), and a reserved device name ("con", "COM1", "nul.txt") gets a leading
// "_". A byte kept from a name that is not UTF-8 becomes U+FFFD. A name that is storable already
// comes back unchanged; an empty one becomes "_".
wchar_t* StorableWindowsName(const wchar_t* name);
