// What a drop target reads from a device data object: its descriptors and each file's stream.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

struct ComReleaser {
    void operator()(IUnknown* object) const
    {
        if (object) object->Release();
    }
};
template <class T> using Held = std::unique_ptr<T, ComReleaser>;

// One descriptor as a target reads it.
struct OfferedFile {
    std::wstring name;
    DWORD flags = 0;
    DWORD attributes = 0;
    uint64_t size = 0;
    // ftLastWriteTime as a FILETIME count when the flags have FD_WRITESTIME, else 0. Not compared
    // here: the device's dates are those of the files the test made (see WriteTimes).
    uint64_t written = 0;
    bool operator==(const OfferedFile& other) const
    {
        return name == other.name && flags == other.flags && attributes == other.attributes && size == other.size;
    }
};
void PrintTo(const OfferedFile& file, std::ostream* out);
// A file or folder as the simulated device offers it: with its size and its date.
OfferedFile FileEntry(const wchar_t* name, uint64_t size);
OfferedFile FolderEntry(const wchar_t* name);

FORMATETC DescriptorFormat(DWORD aspect = DVASPECT_CONTENT, DWORD tymed = TYMED_HGLOBAL);
FORMATETC ContentsFormat(LONG index, DWORD aspect = DVASPECT_CONTENT, DWORD tymed = TYMED_ISTREAM);

// GetData of the descriptors; on success also checks that the block holds exactly the counted
// descriptors. `bytes` gets the whole block.
HRESULT GetDescriptors(IDataObject* data, std::vector<OfferedFile>& files, std::string* bytes = nullptr);
std::vector<std::wstring> Names(const std::vector<OfferedFile>& files);
// Each folder comes before its contents, and its contents follow it as one block (depth first).
bool DepthFirst(const std::vector<OfferedFile>& files);
// Reads the stream in pieces until a read gives 0 bytes or fails; `last` gets that read's result.
std::string ReadToEnd(IStream* stream, ULONG piece, HRESULT* last = nullptr);
// The bytes of the file of descriptor `index` read to the end, or the failing result.
HRESULT ReadContents(IDataObject* data, LONG index, std::string& bytes, ULONG piece = 4096);
