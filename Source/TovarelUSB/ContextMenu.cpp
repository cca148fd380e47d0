#include "ContextMenu.h"

#include <commctrl.h>
#include <windowsx.h>

#include "BrowserCommands.h"
#include "FolderTree.h"
#include "PlaceSnapshot.h"
#include "iPhone.h"
#include "resource.h"

namespace {

enum : int { LIST_MENU = 0, TREE_MENU = 1 };

// The tree item right-clicked when it is not the folder shown, else null.
HTREEITEM OtherTreeItemAt(HWND tree, POINT screen)
{
    TVHITTESTINFO hit = {};
    hit.pt = screen;
    ScreenToClient(tree, &hit.pt);
    HTREEITEM item = TreeView_HitTest(tree, &hit);
    return item && item != TreeView_GetSelection(tree) ? item : nullptr;
}

// A right-click on a list item that is not selected makes it the selection; on blank space it
// clears the selection.
void SelectListItemAt(HWND control, POINT screen)
{
    POINT point = screen;
    ScreenToClient(control, &point);
    LVHITTESTINFO hit = {};
    hit.pt = point;
    int index = ListView_HitTest(control, &hit);
    if (index >= 0 && (ListView_GetItemState(control, index, LVIS_SELECTED) & LVIS_SELECTED)) return;
    ListView_SetItemState(control, -1, 0, LVIS_SELECTED);
    if (index >= 0) ListView_SetItemState(control, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

// Shift+F10 or the menu key: the menu opens at the selection's label, or at the control's corner.
POINT KeyboardMenuPoint(HWND control, bool isTree)
{
    RECT label = {};
    bool found = false;
    if (isTree) {
        HTREEITEM selected = TreeView_GetSelection(control);
        found = selected && TreeView_GetItemRect(control, selected, &label, TRUE);
    } else {
        int index = ListView_GetNextItem(control, -1, LVNI_FOCUSED | LVNI_SELECTED);
        if (index < 0) index = ListView_GetNextItem(control, -1, LVNI_SELECTED);
        found = index >= 0 && ListView_GetItemRect(control, index, &label, LVIR_LABEL);
    }
    POINT point = found ? POINT{label.left, label.bottom} : POINT{4, 4};
    ClientToScreen(control, &point);
    return point;
}

void EnableItems(HMENU popup, HWND control)
{
    int count = GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        UINT command = GetMenuItemID(popup, i);
        if (command == 0 || command == static_cast<UINT>(-1)) continue;
        UINT state = BrowserCommandEnabled(command, control) ? MF_ENABLED : MF_GRAYED;
        EnableMenuItem(popup, i, MF_BYPOSITION | state);
    }
}

// The keys, each with the modifiers it wants down (the others up), as the dialog reads its own.
struct KeyCommand {
    WORD key;
    bool shift;
    bool ctrl;
    bool alt;
    UINT command;
};
const KeyCommand kKeyCommands[] = {
    {VK_F2, false, false, false, IDM_RENAME},    {VK_F5, false, false, false, IDM_REFRESH},
    {'N', true, true, false, IDM_NEW_FOLDER},    {'C', false, true, false, IDM_COPY},
    {'V', false, true, false, IDM_PASTE},        {VK_UP, false, false, true, IDC_UP},
};
const UINT_PTR kKeySubclass = 0x4B59;
// lParam of a key message: the key was down already (a repeat).
const LPARAM kRepeatBit = 1 << 30;

UINT CommandOfKey(WORD key)
{
    BYTE keys[256];
    if (!GetKeyboardState(keys)) return 0;
    auto down = [&keys](int code) { return (keys[code] & 0x80) != 0; };
    for (const KeyCommand& entry : kKeyCommands) {
        if (entry.key == key && entry.shift == down(VK_SHIFT) && entry.ctrl == down(VK_CONTROL) &&
            entry.alt == down(VK_MENU)) {
            return entry.command;
        }
    }
    return 0;
}

// Alt+Up reaches neither control's notices to the window, so the keys are read here. A key taken
// here is not the control's (a tree would take Alt+Up for Up), but the system's default handling
// still sees it, so that releasing Alt does not open the window's menu. A held key acts once.
LRESULT CALLBACK BrowserKeyProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    UINT command = message == WM_KEYDOWN || message == WM_SYSKEYDOWN ? CommandOfKey(static_cast<WORD>(wParam)) : 0;
    if (command) {
        if (!(lParam & kRepeatBit)) RunBrowserCommand(command, control);
        return message == WM_SYSKEYDOWN ? DefWindowProcW(control, message, wParam, lParam) : 0;
    }
    // The menu key opens the menu when it is released, as Shift+F10 does; not every system's
    // default handling does it, so it is done here, once.
    if (message == WM_KEYUP && wParam == VK_APPS) {
        SendMessageW(GetParent(control), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), -1);
        return 0;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

// The tree's menu for a folder other than the one shown, which stays shown while the menu is open:
// "Open" shows the folder; every other command acts on the folder shown, so it is greyed here.
void RunOtherTreeFolderMenu(HWND window, HWND tree, HMENU popup, HTREEITEM item, POINT at)
{
    int count = GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        UINT command = GetMenuItemID(popup, i);
        if (command == 0 || command == static_cast<UINT>(-1)) continue;
        EnableMenuItem(popup, i, MF_BYPOSITION | (command == IDM_OPEN ? MF_ENABLED : MF_GRAYED));
    }
    SetMenuDefaultItem(popup, IDM_OPEN, FALSE);
    // The menu's loop serves device notices, which may take the item away.
    PlaceSnapshot before = PlaceSnapshot::Take();
    TreeView_SelectDropTarget(tree, item);
    UINT chosen = static_cast<UINT>(TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON |
                                                              TPM_RETURNCMD | TPM_NONOTIFY,
                                                   at.x, at.y, 0, window, nullptr));
    if (!before.SameTree()) return;
    TreeView_SelectDropTarget(tree, nullptr);
    if (chosen == IDM_OPEN) TreeView_SelectItem(tree, item);
}

}  // namespace

bool ShowBrowserContextMenu(HWND window, HWND control, LPARAM position)
{
    bool isTree = control && control == GetDlgItem(window, IDC_FOLDER_TREE);
    if (!isTree && (!control || control != g_fileList)) return false;
    POINT at = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    HTREEITEM otherFolder = nullptr;
    if (at.x == -1 && at.y == -1) {
        at = KeyboardMenuPoint(control, isTree);
    } else if (isTree) {
        otherFolder = OtherTreeItemAt(control, at);
    } else {
        SelectListItemAt(control, at);
    }
    // The chosen command comes back when the menu is gone, and acts where the focus is.
    SetFocus(control);
    HMENU menus = LoadMenuW(g_instance, MAKEINTRESOURCEW(IDR_CONTEXT_MENUS));
    if (!menus) return true;
    HMENU popup = GetSubMenu(menus, isTree ? TREE_MENU : LIST_MENU);
    if (otherFolder) {
        RunOtherTreeFolderMenu(window, control, popup, otherFolder, at);
        DestroyMenu(menus);
        return true;
    }
    EnableItems(popup, control);
    if (!isTree) SetMenuDefaultItem(popup, IDM_OPEN, FALSE);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
    DestroyMenu(menus);
    return true;
}

void InstallBrowserKeys(HWND window)
{
    SetWindowSubclass(GetDlgItem(window, IDC_FOLDER_TREE), BrowserKeyProc, kKeySubclass, 0);
    SetWindowSubclass(g_fileList, BrowserKeyProc, kKeySubclass, 0);
}
