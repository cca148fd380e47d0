// The drag loop of the bed's sources.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace bed {

// Runs DoDragDrop with the data object, a drop source that drops when the left button is released
// and cancels on Escape, and the allowed effects; logs "drag-start" and
//   do-drag-drop hr=0x effect=N
// Returns DoDragDrop's result; the effect it gave goes to *effect.
HRESULT RunLoggedDrag(IDataObject* data, DWORD allowed, DWORD* effect);

}  // namespace bed
