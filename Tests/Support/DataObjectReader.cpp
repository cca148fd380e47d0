#include "DataObjectReader.h"

#include <gtest/gtest.h>

#include "iPhone.h"

void PrintTo(const OfferedFile& file, std::ostream* out)
{
    *out << testing::PrintToString(file.name) << " flags " << file.flags << " attributes " << file.attributes
         << " size " << file.size << " written " << file.written;
}

OfferedFile FileEntry(const wchar_t* name, uint64_t size)
{
    return OfferedFile{name, FD_PROGRESSUI | FD_FILESIZE | FD_ATTRIBUTES | FD_WRITESTIME, FILE_ATTRIBUTE_NORMAL, size};
}

OfferedFile FolderEntry(const wchar_t* name)
{
    return OfferedFile{name, FD_PROGRESSUI | FD_ATTRIBUTES | FD_WRITESTIME, FILE_ATTRIBUTE_DIRECTORY, 0};
}

FORMATETC DescriptorFormat(DWORD aspect, DWORD tymed)
{
    return FORMATETC{static_cast<CLIPFORMAT>(g_cfFileGroupDescriptorW), nullptr, aspect, -1, tymed};
}

FORMATETC ContentsFormat(LONG index, DWORD aspect, DWORD tymed)
{
    return FORMATETC{static_cast<CLIPFORMAT>(g_cfFileContents), nullptr, aspect, index, tymed};
}

HRESULT GetDescriptors(IDataObject* data, std::vector<OfferedFile>& files, std::string* bytes)
{
    files.clear();
    FORMATETC format = DescriptorFormat();
    STGMEDIUM medium = {};
    HRESULT result = data->GetData(&format, &medium);
    if (FAILED(result)) return result;
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_EQ(medium.pUnkForRelease, nullptr);
    auto* group = static_cast<const FILEGROUPDESCRIPTORW*>(GlobalLock(medium.hGlobal));
    SIZE_T size = GlobalSize(medium.hGlobal);
    EXPECT_EQ(size, 4 + group->cItems * sizeof(FILEDESCRIPTORW));
    for (UINT i = 0; i < group->cItems; ++i) {
        const FILEDESCRIPTORW& d = group->fgd[i];
        const FILETIME& time = d.ftLastWriteTime;
        uint64_t written = static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
        files.push_back(OfferedFile{d.cFileName, d.dwFlags, d.dwFileAttributes,
                                    static_cast<uint64_t>(d.nFileSizeHigh) << 32 | d.nFileSizeLow,
                                    (d.dwFlags & FD_WRITESTIME) ? written : 0});
    }
    if (bytes) bytes->assign(reinterpret_cast<const char*>(group), size);
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return result;
}

std::vector<std::wstring> Names(const std::vector<OfferedFile>& files)
{
    std::vector<std::wstring> names;
    for (const OfferedFile& file : files) names.push_back(file.name);
    return names;
}

bool DepthFirst(const std::vector<OfferedFile>& files)
{
    for (size_t i = 0; i < files.size(); ++i) {
        std::wstring prefix = files[i].name + L"\\";
        size_t end = i + 1;
        while (end < files.size() && files[end].name.compare(0, prefix.size(), prefix) == 0) ++end;
        for (size_t j = 0; j < files.size(); ++j) {
            bool inside = files[j].name.compare(0, prefix.size(), prefix) == 0;
            if (inside != (j > i && j < end)) return false;
        }
        if (end > i + 1 && files[i].attributes != FILE_ATTRIBUTE_DIRECTORY) return false;
    }
    return true;
}

std::string ReadToEnd(IStream* stream, ULONG piece, HRESULT* last)
{
    std::string bytes;
    std::vector<char> buffer(piece);
    for (;;) {
        ULONG got = 12345;
        HRESULT result = stream->Read(buffer.data(), piece, &got);
        if (FAILED(result) || result == S_FALSE || got == 0) {
            EXPECT_EQ(got, 0u);
            if (last) *last = result;
            return bytes;
        }
        bytes.append(buffer.data(), got);
    }
}

HRESULT ReadContents(IDataObject* data, LONG index, std::string& bytes, ULONG piece)
{
    FORMATETC format = ContentsFormat(index);
    STGMEDIUM medium = {};
    HRESULT result = data->GetData(&format, &medium);
    if (FAILED(result)) return result;
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_ISTREAM));
    HRESULT last = E_FAIL;
    bytes = ReadToEnd(medium.pstm, piece, &last);
    ReleaseStgMedium(&medium);
    return last;
}
