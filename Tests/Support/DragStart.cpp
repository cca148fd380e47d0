#include "DragStart.h"

#include "DragObjects.h"
#include "DragOut.h"

Held<IDataObject> StartDrag(const wchar_t* sourceFolder, const std::vector<std::wstring>& paths)
{
    g_dragSourceFolder = DupString(sourceFolder);
    for (const std::wstring& path : paths) AppendDragItem(path.c_str());
    Held<IDataObject> data(NewDeviceDataObject());
    FreeTransferList();
    return data;
}
