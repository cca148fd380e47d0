#include "HdropData.h"

#include <shlobj.h>
#include <shellapi.h>

#include <cstring>

#include "BedDataObject.h"
#include "BedDragSource.h"

namespace bed {

namespace {

// DROPFILES, then each path and its terminator, then one more terminator.
std::vector<BYTE> DropFilesBytes(const std::vector<std::wstring>& paths)
{
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::wstring list;
    for (const std::wstring& path : paths) list += path + L'\0';
    list += L'\0';
    std::vector<BYTE> bytes(sizeof header + list.size() * sizeof(wchar_t));
    memcpy(bytes.data(), &header, sizeof header);
    memcpy(bytes.data() + sizeof header, list.data(), list.size() * sizeof(wchar_t));
    return bytes;
}

std::vector<BYTE> TextBytes(const std::vector<std::wstring>& paths)
{
    std::wstring text;
    for (const std::wstring& path : paths) text += path + L"\r\n";
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

}  // namespace

HRESULT CreateHdropDataObject(const std::vector<std::wstring>& paths, bool textOnly, IDataObject** object)
{
    DataOffer offer;
    CLIPFORMAT format = textOnly ? CF_UNICODETEXT : CF_HDROP;
    offer.formats.push_back({format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
    std::vector<BYTE> bytes = textOnly ? TextBytes(paths) : DropFilesBytes(paths);
    offer.render = [bytes](const FORMATETC&, const FORMATETC&, STGMEDIUM* medium) -> HRESULT {
        medium->hGlobal = GlobalCopy(bytes.data(), bytes.size());
        if (!medium->hGlobal) return E_OUTOFMEMORY;
        medium->tymed = TYMED_HGLOBAL;
        return S_OK;
    };
    return CreateBedDataObject(offer, object);
}

void DragPaths(const std::vector<std::wstring>& paths, bool textOnly)
{
    IDataObject* data = nullptr;
    if (FAILED(CreateHdropDataObject(paths, textOnly, &data))) return;
    DWORD effect = DROPEFFECT_NONE;
    RunLoggedDrag(data, DROPEFFECT_COPY, &effect);
    data->Release();
}

std::vector<std::wstring> DroppedPaths(HDROP drop)
{
    std::vector<std::wstring> paths;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        UINT copied = DragQueryFileW(drop, i, &path[0], length + 1);
        path.resize(copied);
        paths.push_back(path);
    }
    return paths;
}

}  // namespace bed
