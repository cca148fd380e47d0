// The data object of a drag out: the shell's virtual-file formats, with asynchronous extraction.
#include <new>

#include "ComObject.h"
#include "DragObjects.h"
#include "TransferDialogs.h"

namespace {

bool IsFormat(const FORMATETC& format, UINT clipboardFormat, DWORD medium)
{
    return format.cfFormat == clipboardFormat && format.dwAspect == DVASPECT_CONTENT && (format.tymed & medium);
}

bool IsDescriptorFormat(const FORMATETC& format)
{
    return IsFormat(format, g_cfFileGroupDescriptorW, TYMED_HGLOBAL);
}

bool IsContentsFormat(const FORMATETC& format)
{
    return IsFormat(format, g_cfFileContents, TYMED_ISTREAM);
}

HRESULT CopyDescriptorsTo(STGMEDIUM* medium)
{
    SIZE_T bytes = offsetof(FILEGROUPDESCRIPTORW, fgd) + g_dragCount * sizeof(FILEDESCRIPTORW);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return E_OUTOFMEMORY;
    void* copy = GlobalLock(block);
    if (!copy) {
        GlobalFree(block);
        return E_OUTOFMEMORY;
    }
    memcpy(copy, DragDescriptorGroup(), bytes);
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
}

class DeviceDataObject final : public ComObject<DeviceDataObject, IDataObject, IDataObjectAsyncCapability> {
public:
    DeviceDataObject(DragItems&& items, uint64_t drag, uint64_t opening)
        : items_(std::move(items)), drag_(drag), opening_(opening)
    {
    }

    static const QITAB kInterfaces[];

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (!format || !medium) return E_INVALIDARG;
        if (!StillItsDrag()) return E_UNEXPECTED;
        ZeroMemory(medium, sizeof(*medium));
        if (IsDescriptorFormat(*format)) {
            HRESULT built = g_dragDescriptors ? S_OK : BuildDragDescriptors(items_);
            return FAILED(built) ? built : CopyDescriptorsTo(medium);
        }
        if (IsContentsFormat(*format)) {
            LONG index = format->lindex;
            if (!g_dragDescriptors || index < 0 || static_cast<ULONG>(index) >= g_dragCount) return E_UNEXPECTED;
            HRESULT opened = HandOutDeviceFileStream(opening_, drag_, g_dragDevicePaths[index], &medium->pstm);
            if (SUCCEEDED(opened)) medium->tymed = TYMED_ISTREAM;
            return opened;
        }
        return DV_E_FORMATETC;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override
    {
        return format && (IsDescriptorFormat(*format) || IsContentsFormat(*format)) ? S_OK : DV_E_FORMATETC;
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

    STDMETHODIMP SetAsyncMode(BOOL asynchronous) override
    {
        asyncMode_ = asynchronous;
        return S_OK;
    }
    STDMETHODIMP GetAsyncMode(BOOL* asynchronous) override
    {
        if (!asynchronous) return STG_E_INVALIDPOINTER;
        *asynchronous = asyncMode_;
        return S_OK;
    }
    STDMETHODIMP StartOperation(IBindCtx*) override
    {
        inOperation_ = VARIANT_TRUE;
        // Only while its drag out is open: nothing would close a dialog opened for one that is over.
        if (StillItsDrag()) RequestCopyBusyDialog();
        return S_OK;
    }
    STDMETHODIMP InOperation(BOOL* inOperation) override
    {
        if (!inOperation) return STG_E_INVALIDPOINTER;
        *inOperation = inOperation_;
        return S_OK;
    }
    // Only the operation this object started ends the drag out: a stray or repeated call from a
    // target must not end a later drag.
    STDMETHODIMP EndOperation(HRESULT, IBindCtx*, DWORD) override
    {
        EndOwnOperation();
        return S_OK;
    }

    // A target that lets go without ending its operation would leave the busy dialog open for good.
    ~DeviceDataObject() { EndOwnOperation(); }

private:
    // Made for one drag out of one opening of a location: once either is over, whatever a target
    // asks of it is refused, so that it never answers from a later drag or another device's files.
    bool StillItsDrag() const
    {
        return g_dragSourceFolder && drag_ == OpenDragOut() && opening_ && opening_ == CurrentOpening();
    }

    void EndOwnOperation()
    {
        if (!inOperation_) return;
        inOperation_ = FALSE;
        EndDragOutOf(drag_);
    }

    BOOL asyncMode_ = FALSE;
    BOOL inOperation_ = FALSE;
    DragItems items_;
    uint64_t drag_;
    uint64_t opening_;
};

// No IMarshal: the program's own drop targets refuse what comes from this process.
const QITAB DeviceDataObject::kInterfaces[] = {QITABENT(DeviceDataObject, IDataObject),
                                               QITABENT(DeviceDataObject, IDataObjectAsyncCapability), {}};

// The items of the transfer list, or false when memory runs out.
bool CopyTransferList(DragItems& items)
{
    try {
        for (const TransferItem* item = g_transferList.load(); item; item = item->next) {
            DragItem copy{OwnedWide(DupString(item->devicePath)), OwnedWide(DupString(item->displayName))};
            if (!copy.devicePath || (item->displayName && !copy.displayName)) return false;
            items.push_back(std::move(copy));
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

IDataObject* NewDeviceDataObject()
{
    DragItems items;
    if (!CopyTransferList(items)) return nullptr;
    return new (std::nothrow) DeviceDataObject(std::move(items), NumberOpenDragOut(), CurrentOpening());
}
