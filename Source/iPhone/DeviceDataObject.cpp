// The data object of a drag out: the shell's virtual-file formats, with asynchronous extraction.
#include <new>

#include "TransferDialogs.h"
#include "VirtualFiles.h"

namespace {

class DeviceDataObject final : public VirtualFilesObject<DeviceDataObject, IDataObjectAsyncCapability> {
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
        VirtualFormat kind = OfferedFormat(*format);
        if (kind == VirtualFormat::Descriptors && !g_dragDescriptors) {
            HRESULT built = BuildDragDescriptors(items_);
            if (FAILED(built)) return built;
        }
        return ServeVirtualFiles(kind, *format, {g_dragDescriptors, g_dragDevicePaths, g_dragCount}, opening_, drag_,
                                 medium);
    }

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
        return IsOpenDragOut(drag_) && opening_ && opening_ == CurrentOpening();
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
