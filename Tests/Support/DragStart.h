// A drag out started as the begin-drag handlers start one, without the drag loop.
#pragma once

#include <string>
#include <vector>

#include "DataObjectReader.h"

// Opens a drag out of these location paths from the device folder `sourceFolder` and answers its
// data object; the transfer list is released at once, as after the drag loop.
Held<IDataObject> StartDrag(const wchar_t* sourceFolder, const std::vector<std::wstring>& paths);
