#include "VirtualFileExtract.h"

#include <cwctype>

#include "BedLog.h"
#include "BedNames.h"
#include "BedSha256.h"

namespace bed {

namespace {

constexpr ULONG kReadChunk = 32768;

struct Tally {
    int files = 0;
    int folders = 0;
    int skipped = 0;
    int failed = 0;
    HRESULT first = S_OK;

    void Fail(HRESULT hr)
    {
        ++failed;
        if (first == S_OK) first = hr;
    }
};

std::vector<std::wstring> SplitElements(const std::wstring& name)
{
    std::vector<std::wstring> elements;
    size_t start = 0;
    for (;;) {
        size_t separator = name.find_first_of(L"\\/", start);
        elements.push_back(name.substr(start, separator == std::wstring::npos ? std::wstring::npos : separator - start));
        if (separator == std::wstring::npos) return elements;
        start = separator + 1;
    }
}

bool IsDirectory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDeviceName(const std::wstring& element)
{
    std::wstring stem = element.substr(0, element.find(L'.'));
    for (wchar_t& c : stem) c = static_cast<wchar_t>(towupper(c));
    static const wchar_t* const kNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* name : kNames) {
        if (stem == name) return true;
    }
    // COM0 to COM9 and LPT0 to LPT9, and with a superscript 1, 2 or 3.
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           ((stem[3] >= L'0' && stem[3] <= L'9') || wcschr(L"\u00b9\u00b2\u00b3", stem[3]));
}

const char* UnsafeElementReason(const std::wstring& element)
{
    if (element.empty()) return "empty-element";
    if (element == L"." || element == L"..") return "dot-element";
    for (wchar_t c : element) {
        if (c < 0x20 || wcschr(L"<>\"|?*", c)) return "invalid-character";
    }
    if (element.back() == L'.' || element.back() == L' ') return "trailing-dot-or-space";
    if (IsDeviceName(element)) return "device-name";
    return nullptr;
}

// Makes every folder of the relative path below the output folder (the last element too when
// `withLast`). False with the error when one cannot be made.
bool MakeFolders(const std::wstring& outFolder, const std::wstring& name, bool withLast, DWORD* error)
{
    std::vector<std::wstring> elements = SplitElements(name);
    size_t count = withLast ? elements.size() : elements.size() - 1;
    std::wstring path = outFolder;
    for (size_t i = 0; i < count; ++i) {
        path += L"\\" + elements[i];
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            *error = GetLastError();
            return false;
        }
        if (!IsDirectory(path)) {
            *error = ERROR_ALREADY_EXISTS;
            return false;
        }
    }
    return true;
}

uint64_t DescriptorSize(const FILEDESCRIPTORW& descriptor)
{
    return (static_cast<uint64_t>(descriptor.nFileSizeHigh) << 32) | descriptor.nFileSizeLow;
}

int64_t WriteTime(const FILEDESCRIPTORW& descriptor)
{
    const FILETIME& time = descriptor.ftLastWriteTime;
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

bool IsFolder(const FILEDESCRIPTORW& descriptor)
{
    return (descriptor.dwFlags & FD_ATTRIBUTES) && (descriptor.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolder(const FILEDESCRIPTORW& descriptor, int index, const std::wstring& outFolder, Tally* tally)
{
    bool existed = IsDirectory(outFolder + L"\\" + descriptor.cFileName);
    DWORD error = 0;
    Log line("folder");
    line.Number("index", index).Text("name", descriptor.cFileName);
    if (!MakeFolders(outFolder, descriptor.cFileName, true, &error)) {
        line.Text("result", "failed").Number("error", error);
        tally->Fail(HRESULT_FROM_WIN32(error));
        return;
    }
    line.Text("result", existed ? "exists" : "created");
    ++tally->folders;
}

// What one file's contents gave.
struct Received {
    Sha256 hash;
    HRESULT lastRead = S_OK;
    bool writeFailed = false;
    DWORD error = 0;
};

void Keep(HANDLE file, const void* bytes, ULONG size, Received* received)
{
    received->hash.Add(bytes, size);
    DWORD written = 0;
    if (!received->writeFailed && (!WriteFile(file, bytes, size, &written, nullptr) || written != size)) {
        received->writeFailed = true;
        received->error = GetLastError();
    }
}

void ReadStream(IStream* stream, HANDLE file, Received* received)
{
    std::vector<BYTE> buffer(kReadChunk);
    for (;;) {
        ULONG read = 0;  // a failing stream may leave it untouched
        HRESULT hr = stream->Read(buffer.data(), kReadChunk, &read);
        received->lastRead = hr;
        if (FAILED(hr)) return;
        if (read > kReadChunk) read = kReadChunk;
        Keep(file, buffer.data(), read, received);
        if (hr != S_OK || read == 0) return;
    }
}

void ReadGlobal(HGLOBAL block, const FILEDESCRIPTORW& descriptor, HANDLE file, Received* received)
{
    SIZE_T size = GlobalSize(block);
    if ((descriptor.dwFlags & FD_FILESIZE) && DescriptorSize(descriptor) < size) size = static_cast<SIZE_T>(DescriptorSize(descriptor));
    const BYTE* bytes = static_cast<const BYTE*>(GlobalLock(block));
    if (!bytes) {
        received->lastRead = E_OUTOFMEMORY;
        return;
    }
    Keep(file, bytes, static_cast<ULONG>(size), received);
    GlobalUnlock(block);
}

void WriteFileItem(IDataObject* data, const FILEDESCRIPTORW& descriptor, int index, const std::wstring& outFolder,
                   IStream** keptStream, Tally* tally)
{
    FORMATETC format = {FileContentsFormat(), nullptr, DVASPECT_CONTENT, index, TYMED_ISTREAM | TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    HRESULT hr = data->GetData(&format, &medium);
    {
        Log line("get-contents");
        line.Number("index", index).Hr("hr", hr);
        if (SUCCEEDED(hr)) line.Hex("medium", medium.tymed);
    }
    if (FAILED(hr)) {
        tally->Fail(hr);
        return;
    }
    std::wstring path = outFolder + L"\\" + descriptor.cFileName;
    Received received;
    DWORD error = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (MakeFolders(outFolder, descriptor.cFileName, false, &error)) {
        file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) error = GetLastError();
    }
    if (file != INVALID_HANDLE_VALUE) {
        if (medium.tymed == TYMED_ISTREAM && medium.pstm) {
            ReadStream(medium.pstm, file, &received);
        } else if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
            ReadGlobal(medium.hGlobal, descriptor, file, &received);
        } else {
            received.lastRead = DV_E_TYMED;
        }
        // As Explorer: the file gets the date the source gives, once its contents are written.
        if ((descriptor.dwFlags & FD_WRITESTIME) && !SetFileTime(file, nullptr, nullptr, &descriptor.ftLastWriteTime)) {
            received.writeFailed = true;
            received.error = GetLastError();
        }
        CloseHandle(file);
    }
    bool keep = keptStream && medium.tymed == TYMED_ISTREAM && medium.pstm;
    if (keep) {
        if (*keptStream) (*keptStream)->Release();
        *keptStream = medium.pstm;
    } else {
        ReleaseStgMedium(&medium);
    }

    const char* result = "written";
    if (file == INVALID_HANDLE_VALUE || received.writeFailed || FAILED(received.lastRead)) {
        result = "failed";
    } else if ((descriptor.dwFlags & FD_FILESIZE) && received.hash.Bytes() != DescriptorSize(descriptor)) {
        result = "incomplete";
    }
    Log line("file");
    line.Number("index", index)
        .Text("name", descriptor.cFileName)
        .Number("bytes", static_cast<int64_t>(received.hash.Bytes()))
        .Text("sha256", received.hash.Finish().c_str())
        .Hr("read-hr", received.lastRead)
        .Text("result", result);
    if (received.writeFailed) error = received.error;
    if (error) line.Number("error", error);
    if (keep) line.Text("stream", "kept");
    if (std::string(result) == "written") {
        ++tally->files;
        return;
    }
    if (file != INVALID_HANDLE_VALUE) DeleteFileW(path.c_str());
    tally->Fail(FAILED(received.lastRead) ? received.lastRead : error ? HRESULT_FROM_WIN32(error) : E_FAIL);
}

}  // namespace

const char* UnsafeNameReason(const std::wstring& name)
{
    if (name.empty()) return "empty";
    if (name[0] == L'\\' || name[0] == L'/') return "absolute";
    size_t colon = name.find(L':');
    if (colon != std::wstring::npos) return colon == 1 && iswalpha(name[0]) ? "drive" : "colon";
    for (const std::wstring& element : SplitElements(name)) {
        if (const char* reason = UnsafeElementReason(element)) return reason;
    }
    return nullptr;
}

HRESULT ReadDescriptors(IDataObject* data, std::vector<FILEDESCRIPTORW>* descriptors)
{
    descriptors->clear();
    FORMATETC format = {FileGroupDescriptorFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    HRESULT hr = data->GetData(&format, &medium);
    if (SUCCEEDED(hr) && (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal)) {
        ReleaseStgMedium(&medium);
        hr = DV_E_TYMED;
    }
    if (FAILED(hr)) {
        Log("get-descriptors").Hr("hr", hr);
        return hr;
    }
    SIZE_T size = GlobalSize(medium.hGlobal);
    const FILEGROUPDESCRIPTORW* group = static_cast<const FILEGROUPDESCRIPTORW*>(GlobalLock(medium.hGlobal));
    UINT count = 0;
    if (group && size >= sizeof(UINT)) {
        count = group->cItems;
        // A count that the block cannot hold is cut to what it holds.
        SIZE_T room = (size - sizeof(UINT)) / sizeof(FILEDESCRIPTORW);
        if (count > room) count = static_cast<UINT>(room);
        descriptors->assign(group->fgd, group->fgd + count);
    }
    if (group) GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    Log("get-descriptors").Hr("hr", hr).Number("count", count);
    for (UINT i = 0; i < count; ++i) {
        FILEDESCRIPTORW& descriptor = (*descriptors)[i];
        descriptor.cFileName[MAX_PATH - 1] = L'\0';
        Log("descriptor")
            .Number("index", i)
            .Hex("flags", descriptor.dwFlags)
            .Hex("attributes", descriptor.dwFileAttributes)
            .Number("size", static_cast<int64_t>(DescriptorSize(descriptor)))
            .Number("written", (descriptor.dwFlags & FD_WRITESTIME) ? WriteTime(descriptor) : 0)
            .Text("name", descriptor.cFileName);
    }
    return hr;
}

HRESULT ExtractFiles(IDataObject* data, const std::vector<FILEDESCRIPTORW>& descriptors, const std::wstring& outFolder,
                     IStream** keptStream)
{
    Tally tally;
    for (size_t i = 0; i < descriptors.size(); ++i) {
        const FILEDESCRIPTORW& descriptor = descriptors[i];
        int index = static_cast<int>(i);
        if (const char* reason = UnsafeNameReason(descriptor.cFileName)) {
            Log("skipped").Number("index", index).Text("reason", reason).Text("name", descriptor.cFileName);
            ++tally.skipped;
            if (tally.first == S_OK) tally.first = E_FAIL;
        } else if (IsFolder(descriptor)) {
            MakeFolder(descriptor, index, outFolder, &tally);
        } else {
            WriteFileItem(data, descriptor, index, outFolder, keptStream, &tally);
        }
    }
    Log("extract-end")
        .Number("files", tally.files)
        .Number("folders", tally.folders)
        .Number("skipped", tally.skipped)
        .Number("failed", tally.failed)
        .Hr("hr", tally.first);
    return tally.first;
}

}  // namespace bed
