#include "BedDropTarget.h"

#include <shlwapi.h>

#include <new>

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
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG count = InterlockedDecrement(&refCount);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
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
    BedDropTarget* target = nullptr;
    try {
        target = new (std::nothrow) BedDropTarget(handlers);
    } catch (...) {
        target = nullptr;
    }
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
