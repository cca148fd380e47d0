// The drop target of the bed's targets: one COM object that hands each IDropTarget call to its
// program's functions and answers with the effect they give.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>

namespace bed {

struct DropHandlers {
    std::function<DWORD(IDataObject* data, DWORD allowed, POINTL point)> enter;
    std::function<DWORD(DWORD allowed, POINTL point)> over;
    std::function<void()> leave;
    std::function<DWORD(IDataObject* data, DWORD allowed, POINTL point)> drop;
};

// RegisterDragDrop on the window with a new target; the registration holds the only reference,
// so RevokeDragDrop ends it.
HRESULT RegisterBedDropTarget(HWND window, const DropHandlers& handlers);

// Whether the object answers IMarshal (one that came from another process through OLE's standard
// marshalling does; the proxy answers it).
bool AnswersIMarshal(IUnknown* object);

}  // namespace bed
