#include "BedDragSource.h"

#include <shlwapi.h>

#include <new>

#include "BedLog.h"

namespace bed {

namespace {

struct BedDropSource final : IDropSource {
    LONG refCount = 1;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        static const QITAB table[] = {QITABENT(BedDropSource, IDropSource), {nullptr, 0}};
        return QISearch(this, table, iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG count = InterlockedDecrement(&refCount);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
    STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keyState) override
    {
        if (escapePressed) return DRAGDROP_S_CANCEL;
        return (keyState & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

}  // namespace

HRESULT RunLoggedDrag(IDataObject* data, DWORD allowed, DWORD* effect)
{
    *effect = DROPEFFECT_NONE;
    BedDropSource* source = new (std::nothrow) BedDropSource();
    if (!source) return E_OUTOFMEMORY;
    Log("drag-start").Number("allowed", allowed);
    HRESULT hr = DoDragDrop(data, source, allowed, effect);
    Log("do-drag-drop").Hr("hr", hr).Number("effect", *effect);
    source->Release();
    return hr;
}

}  // namespace bed
