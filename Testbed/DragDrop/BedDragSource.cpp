#include "BedDragSource.h"

#include <shlwapi.h>

#include "BedCom.h"
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
    STDMETHODIMP_(ULONG) AddRef() override { return ComAddRef(refCount); }
    STDMETHODIMP_(ULONG) Release() override { return ComRelease(this, refCount); }
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
    BedDropSource* source = ComNew<BedDropSource>();
    if (!source) return E_OUTOFMEMORY;
    Log("drag-start").Number("allowed", allowed);
    HRESULT hr = DoDragDrop(data, source, allowed, effect);
    Log("do-drag-drop").Hr("hr", hr).Number("effect", *effect);
    source->Release();
    return hr;
}

}  // namespace bed
