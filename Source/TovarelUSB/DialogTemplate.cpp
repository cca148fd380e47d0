#include "DialogTemplate.h"

#include <cstring>

#include "iPhone.h"
#include "resource.h"

namespace {

bool ScreenRectOfClient(HWND window, RECT* rect)
{
    if (!GetClientRect(window, rect)) return false;
    POINT corners[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    if (!ClientToScreen(window, &corners[0]) || !ClientToScreen(window, &corners[1])) return false;
    *rect = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    return true;
}

// The size of the main dialog's template in dialog units, read from its resource (DIALOGEX, whose
// head starts with version 1 and 0xFFFF, or the older DIALOG).
bool TemplateSizeInUnits(int* cx, int* cy)
{
    HRSRC found = FindResourceW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), MAKEINTRESOURCEW(5));  // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(g_instance, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    DWORD bytes = found ? SizeofResource(g_instance, found) : 0;
    if (!data || bytes < 18) return false;
    WORD version = 0;
    WORD signature = 0;
    memcpy(&version, data, sizeof version);
    memcpy(&signature, data + 2, sizeof signature);
    size_t at = version == 1 && signature == 0xFFFF ? 22 : 14;
    if (bytes < at + 4) return false;
    short size[2] = {};
    memcpy(size, data + at, sizeof size);
    *cx = size[0];
    *cy = size[1];
    return size[0] > 0 && size[1] > 0;
}

}  // namespace

bool ScreenRectOfControl(HWND window, int id, RECT* rect)
{
    HWND control = GetDlgItem(window, id);
    return control && GetWindowRect(control, rect);
}

// The client rectangle, on the screen, that the template places its controls in. The window itself
// may be smaller: Windows keeps a window within the screen, and at a large scale the template may
// not fit. The distances to the edges are measured in the rectangle the controls were placed for;
// the layout then keeps them in the client the window really has.
bool ScreenRectOfTemplateClient(HWND window, RECT* rect)
{
    if (!ScreenRectOfClient(window, rect)) return false;
    int cx = 0;
    int cy = 0;
    if (!TemplateSizeInUnits(&cx, &cy)) return true;
    RECT units = {0, 0, cx, cy};
    if (!MapDialogRect(window, &units)) return true;
    rect->right = rect->left + units.right;
    rect->bottom = rect->top + units.bottom;
    return true;
}
