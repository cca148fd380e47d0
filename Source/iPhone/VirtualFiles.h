// What the two data objects of device items (a drag out's and the clipboard's copy) have in common:
// the shell's virtual-file formats, the descriptor block they hand out and the contents streams of
// its files. Each object says only when its request may be served and where its block is.
#pragma once

#include "ComObject.h"
#include "DragObjects.h"

// A built descriptor block: the FILEGROUPDESCRIPTORW and the UTF-8 device path of each descriptor.
struct DescriptorsView {
    const void* block;
    char* const* devicePaths;
    uint32_t count;
};

// The bytes of a block of `count` descriptors: a 32-bit count, then the descriptors.
size_t DescriptorBlockBytes(uint32_t count);
// Descriptor `index` of a block.
FILEDESCRIPTORW& DescriptorIn(void* block, uint32_t index);
const FILEDESCRIPTORW& DescriptorIn(const void* block, uint32_t index);
// Releases a block and the first `count` device paths of its path array, then the array.
void FreeDescriptorBlock(void* block, char** devicePaths, uint32_t count);

enum class VirtualFormat { None, Descriptors, Contents };
// Which of the two formats a request is for: the descriptors in global memory, or a file's
// contents as a stream (the aspect must be the content; lindex and ptd are not looked at).
VirtualFormat OfferedFormat(const FORMATETC& format);
// Serves a request of one of the two formats from `view`: a copy of the block, or a stream of the
// file of descriptor `format.lindex`, handed out for drag `drag` (0: the clipboard's copy) of the
// location opening `opening`. The medium has been cleared. E_UNEXPECTED for an index that is no
// descriptor's, or a block not built.
HRESULT ServeVirtualFiles(VirtualFormat kind, const FORMATETC& format, const DescriptorsView& view,
                          uint64_t opening, uint64_t drag, STGMEDIUM* medium);

// The IDataObject operations that answer the same for both: the formats offered and refused, no
// advise. `Object` gives GetData and its QISearch table.
template <class Object, class... More>
class VirtualFilesObject : public ComObject<Object, IDataObject, More...> {
public:
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override
    {
        return format && OfferedFormat(*format) != VirtualFormat::None ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* canonical) override
    {
        if (canonical) canonical->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override
    {
        if (!enumerator) return E_POINTER;
        *enumerator = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        *enumerator = NewFormatEnumerator(0);
        return *enumerator ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

protected:
    VirtualFilesObject() = default;
    ~VirtualFilesObject() = default;
};
