// The virtual files of device items as the shell takes them: the descriptor block and the streams.
#include "VirtualFiles.h"

#include <cstddef>
#include <cstring>

namespace {

static_assert(sizeof(FILEDESCRIPTORW) == 592, "the shell's descriptor record");
static_assert(offsetof(FILEGROUPDESCRIPTORW, fgd) == 4, "a 32-bit count before the descriptors");

bool IsFormat(const FORMATETC& format, UINT clipboardFormat, DWORD medium)
{
    return format.cfFormat == clipboardFormat && format.dwAspect == DVASPECT_CONTENT && (format.tymed & medium);
}

HRESULT CopyDescriptorsTo(const DescriptorsView& view, STGMEDIUM* medium)
{
    SIZE_T bytes = DescriptorBlockBytes(view.count);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return E_OUTOFMEMORY;
    void* copy = GlobalLock(block);
    if (!copy) {
        GlobalFree(block);
        return E_OUTOFMEMORY;
    }
    memcpy(copy, view.block, bytes);
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
}

HRESULT HandOutContents(const DescriptorsView& view, LONG index, uint64_t opening, uint64_t drag, STGMEDIUM* medium)
{
    if (!view.block || index < 0 || static_cast<ULONG>(index) >= view.count) return E_UNEXPECTED;
    HRESULT opened = HandOutDeviceFileStream(opening, drag, view.devicePaths[index], &medium->pstm);
    if (SUCCEEDED(opened)) medium->tymed = TYMED_ISTREAM;
    return opened;
}

}  // namespace

size_t DescriptorBlockBytes(uint32_t count)
{
    return offsetof(FILEGROUPDESCRIPTORW, fgd) + count * sizeof(FILEDESCRIPTORW);
}

FILEDESCRIPTORW& DescriptorIn(void* block, uint32_t index)
{
    auto* first = static_cast<BYTE*>(block) + offsetof(FILEGROUPDESCRIPTORW, fgd);
    return reinterpret_cast<FILEDESCRIPTORW*>(first)[index];
}

const FILEDESCRIPTORW& DescriptorIn(const void* block, uint32_t index)
{
    auto* first = static_cast<const BYTE*>(block) + offsetof(FILEGROUPDESCRIPTORW, fgd);
    return reinterpret_cast<const FILEDESCRIPTORW*>(first)[index];
}

void FreeDescriptorBlock(void* block, char** devicePaths, uint32_t count)
{
    HeapFree(GetProcessHeap(), 0, block);
    if (devicePaths) {
        for (uint32_t i = 0; i < count; ++i) FreeString(devicePaths[i]);
        HeapFree(GetProcessHeap(), 0, devicePaths);
    }
}

DescriptorSet::~DescriptorSet()
{
    FreeDescriptorBlock(block, devicePaths, count);
}

const FILEDESCRIPTORW& DescriptorSet::Descriptor(uint32_t index) const
{
    return DescriptorIn(block, index);
}

VirtualFormat OfferedFormat(const FORMATETC& format)
{
    if (IsFormat(format, g_cfFileGroupDescriptorW, TYMED_HGLOBAL)) return VirtualFormat::Descriptors;
    if (IsFormat(format, g_cfFileContents, TYMED_ISTREAM)) return VirtualFormat::Contents;
    return VirtualFormat::None;
}

HRESULT ServeVirtualFiles(VirtualFormat kind, const FORMATETC& format, const DescriptorsView& view,
                          uint64_t opening, uint64_t drag, STGMEDIUM* medium)
{
    if (kind == VirtualFormat::Descriptors) return CopyDescriptorsTo(view, medium);
    if (kind == VirtualFormat::Contents) return HandOutContents(view, format.lindex, opening, drag, medium);
    return DV_E_FORMATETC;
}
