// The drop source of a drag out: Escape cancels, releasing the left button drops.
#include <new>

#include "ComObject.h"
#include "DragObjects.h"

namespace {

class DropSource final : public ComObject<DropSource, IDropSource> {
public:
    static const QITAB kInterfaces[];

    STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keyState) override
    {
        if (escapePressed) return DRAGDROP_S_CANCEL;
        return (keyState & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

const QITAB DropSource::kInterfaces[] = {QITABENT(DropSource, IDropSource), {}};

}  // namespace

IDropSource* NewDropSource()
{
    return new (std::nothrow) DropSource();
}
