// The program's copy on the clipboard: the virtual files of a drag out, served from a descriptor
// set of its own, so that it lives on beside later drags and copies until it is withdrawn.
#include <memory>
#include <new>

#include "Clipboard.h"
#include "ComObject.h"

namespace {

bool Offers(const FORMATETC& format, UINT clipboardFormat, DWORD medium)
{
    return format.cfFormat == clipboardFormat && format.dwAspect == DVASPECT_CONTENT && (format.tymed & medium);
}

class ClipboardDataObject final : public ComObject<ClipboardDataObject, IDataObject> {
public:
    ClipboardDataObject(DescriptorSet* set, uint64_t opening) : set_(set), opening_(opening) {}

    static const QITAB kInterfaces[];

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (!format || !medium) return E_INVALIDARG;
        ZeroMemory(medium, sizeof(*medium));
        bool descriptors = Offers(*format, g_cfFileGroupDescriptorW, TYMED_HGLOBAL);
        if (!descriptors && !Offers(*format, g_cfFileContents, TYMED_ISTREAM)) return DV_E_FORMATETC;
        // Withdrawn, or its location closed: nothing it names may be read any more.
        if (!IsCurrentClipboardCopy(this) || !opening_ || opening_ != CurrentOpening()) return E_UNEXPECTED;
        if (descriptors) return CopyDescriptors(medium);
        if (format->lindex < 0 || static_cast<ULONG>(format->lindex) >= set_->count) return E_UNEXPECTED;
        HRESULT opened = HandOutDeviceFileStream(opening_, 0, set_->devicePaths[format->lindex], &medium->pstm);
        if (SUCCEEDED(opened)) medium->tymed = TYMED_ISTREAM;
        return opened;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override
    {
        bool offered = format && (Offers(*format, g_cfFileGroupDescriptorW, TYMED_HGLOBAL) ||
                                  Offers(*format, g_cfFileContents, TYMED_ISTREAM));
        return offered ? S_OK : DV_E_FORMATETC;
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
        *enumerator = direction == DATADIR_GET ? NewFormatEnumerator(0) : nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        return *enumerator ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    HRESULT CopyDescriptors(STGMEDIUM* medium) const
    {
        SIZE_T bytes = offsetof(FILEGROUPDESCRIPTORW, fgd) + set_->count * sizeof(FILEDESCRIPTORW);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
        void* copy = block ? GlobalLock(block) : nullptr;
        if (!copy) {
            if (block) GlobalFree(block);
            return E_OUTOFMEMORY;
        }
        memcpy(copy, set_->block, bytes);
        GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        return S_OK;
    }

    std::unique_ptr<DescriptorSet> set_;
    uint64_t opening_;
};

const QITAB ClipboardDataObject::kInterfaces[] = {QITABENT(ClipboardDataObject, IDataObject), {}};

}  // namespace

IDataObject* NewClipboardDataObject(DescriptorSet* set, uint64_t opening)
{
    IDataObject* data = new (std::nothrow) ClipboardDataObject(set, opening);
    if (!data) delete set;
    return data;
}
