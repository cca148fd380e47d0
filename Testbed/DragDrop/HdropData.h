// The data of a file drag as Explorer offers it: CF_HDROP, a wide DROPFILES of full paths.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace bed {

// A data object (logging every call, see BedDataObject.h) offering CF_HDROP in an HGLOBAL with
// the paths, or, text only, CF_UNICODETEXT with the paths one per line and no CF_HDROP.
HRESULT CreateHdropDataObject(const std::vector<std::wstring>& paths, bool textOnly, IDataObject** object);

// Drags such a data object (RunLoggedDrag: DROPEFFECT_COPY, logged).
void DragPaths(const std::vector<std::wstring>& paths, bool textOnly);

// The paths of a CF_HDROP block, in order.
std::vector<std::wstring> DroppedPaths(HDROP drop);

}  // namespace bed
