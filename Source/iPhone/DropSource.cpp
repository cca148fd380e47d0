// The drop source of a drag out: Escape cancels, releasing the left button drops.
#include <new>
#include <shlwapi.h>

#include "DragObjects.h"

namespace {

class DropSource final : public IDropSource {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        static const QITAB kInterfaces[] = {QITABENT(DropSource, IDropSource), {}};
        return QISearch(this, kInterfaces, iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keyState) override
    {
        if (escapePressed) return DRAGDROP_S_CANCEL;
        return (keyState & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    LONG references_ = 1;
};

}  // namespace

IDropSource* NewDropSource()
{
    return new (std::nothrow) DropSource();
}
