#include "BedDropTarget.h"

#include <shlwapi.h>

#include "BedCom.h"

namespace bed {

namespace {

struct BedDropTarget final : IDropTarget {
    LONG refCount = 1;
    DropHandlers handlers;

    explicit BedDropTarget(const DropHandlers& given) : handlers(given) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        static const QITAB table[] = {QITABENT(BedDropTarget, IDropTarget), {nullptr, 0}};
        return QISearch(this, table, iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ComAddRef(refCount); }
    STDMETHODIMP_(ULONG) Release() override { return ComRelease(this, refCount); }
    STDMETHODIMP DragEnter(IDataObject* data, DWORD, POINTL point, DWORD* effect) override
    {
        return Answer(effect, [&] { return handlers.enter(data, *effect, point); });
    }
    STDMETHODIMP DragOver(DWORD, POINTL point, DWORD* effect) override
    {
        return Answer(effect, [&] { return handlers.over(*effect, point); });
    }
    STDMETHODIMP DragLeave() override
    {
        try {
            handlers.leave();
        } catch (...) {
        }
        return S_OK;
    }
    STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) override
    {
        return Answer(effect, [&] { return handlers.drop(data, *effect, point); });
    }

    template <class Handler> HRESULT Answer(DWORD* effect, Handler handler)
    {
        if (!effect) return E_INVALIDARG;
        try {
            *effect = handler();
        } catch (...) {
            *effect = DROPEFFECT_NONE;
        }
        return S_OK;
    }
};

}  // namespace

HRESULT RegisterBedDropTarget(HWND window, const DropHandlers& handlers)
{
    BedDropTarget* target = ComNew<BedDropTarget>(handlers);
    if (!target) return E_OUTOFMEMORY;
    HRESULT hr = RegisterDragDrop(window, target);
    target->Release();
    return hr;
}

bool AnswersIMarshal(IUnknown* object)
{
    IMarshal* marshal = nullptr;
    if (!object || FAILED(object->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal))) || !marshal) {
        return false;
    }
    marshal->Release();
    return true;
}

}  // namespace bed
