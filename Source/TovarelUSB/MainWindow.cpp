#include "MainWindow.h"

#include <commctrl.h>

#include "BrowserCommands.h"
#include "Clipboard.h"
#include "ContextMenu.h"
#include "CopyBusyDialog.h"
#include "CopyThread.h"
#include "Devices.h"
#include "DragOut.h"
#include "DropTarget.h"
#include "FileList.h"
#include "FileOperations.h"
#include "FolderTree.h"
#include "MainLayout.h"
#include "Settings.h"
#include "SmallDialogs.h"
#include "StatusLine.h"
#include "UploadEngine.h"
#include "UserMessages.h"
#include "iPhone.h"
#include "resource.h"

namespace {

HWND FolderTree(HWND window)
{
    return GetDlgItem(window, IDC_FOLDER_TREE);
}

bool TreeIsEditingLabel(HWND tree)
{
    return tree && TreeView_GetEditControl(tree) != nullptr;
}

// Some tree controls report the end of one edit twice when the program ends it: once as asked, and
// again, keeping the text, when the edit loses the focus while it is being destroyed. Only the
// first report of an ending the program asked for is acted on, so Escape never renames and Enter
// renames once.
bool s_endingTreeEdit;
bool s_treeEditEndReported;

void EndTreeEdit(HWND tree, bool discard)
{
    s_endingTreeEdit = true;
    s_treeEditEndReported = false;
    TreeView_EndEditLabelNow(tree, discard ? TRUE : FALSE);
    s_endingTreeEdit = false;
}

// False for a repeated report of an ending already reported.
bool FirstReportOfTreeEditEnd()
{
    if (!s_endingTreeEdit) return true;
    if (s_treeEditEndReported) return false;
    s_treeEditEndReported = true;
    return true;
}

void OnInitMainDialog(HWND window)
{
    g_mainWindow = window;
    g_mainWindowClosing = false;
    if (!BuildMainWindow(window)) {
        EndDialog(window, 0);
        return;
    }
    RegisterDropTargets(window);
    InstallBrowserKeys(window);
    UpdateStatusLine();
    // Device notices that came before the window wait for this moment to reach the lists.
    g_mainWindowBuilt = true;
}

void OnDestroyMainDialog(HWND window)
{
    // Work that runs on for a device notice or an upload leaves the controls alone from now on.
    g_mainWindowClosing = true;
    g_mainWindowBuilt = false;
    // What the program put on the clipboard cannot be served once it is gone.
    WithdrawClipboardCopy();
    if (g_treeDropTarget) {
        if (HWND tree = FolderTree(window)) RevokeDragDrop(tree);
        g_treeDropTarget->Release();
        g_treeDropTarget = nullptr;
    }
    if (g_listDropTarget) {
        if (g_fileList) RevokeDragDrop(g_fileList);
        g_listDropTarget->Release();
        g_listDropTarget = nullptr;
    }
}

void EndMainWindow(HWND window)
{
    // A copy running, a drag out whose target may still extract, or a drop asking its source would
    // be cut off (the posted request for the copy dialog would never be handled): the close is
    // refused until it is over, which the busy and copy dialogs let the user hasten.
    if (!TransferIdle()) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    SaveSettings(window);
    EndDialog(window, 0);
}

INT_PTR OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    // Enter and Escape reach the dialog as IDOK and IDCANCEL without a control; neither closes it.
    if (wParam == IDOK && lParam == 0) {
        HWND tree = FolderTree(window);
        if (TreeIsEditingLabel(tree)) {
            EndTreeEdit(tree, false);
        } else if (FileListHasFocus()) {
            OpenSelectedItem();
        }
        return FALSE;
    }
    if (wParam == IDCANCEL && lParam == 0) {
        HWND tree = FolderTree(window);
        if (TreeIsEditingLabel(tree)) EndTreeEdit(tree, true);
        return FALSE;
    }
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT), window, AboutDialogProc, 0);
        return FALSE;
    case IDM_EXIT:
        EndMainWindow(window);
        return FALSE;
    case IDC_NEW_FOLDER:
        if (CanCreateFolder()) CreateNewFolder();
        return FALSE;
    case IDC_DELETE:
        if (CanDelete()) DeleteSelectedItems();
        return FALSE;
    case IDC_UP:
        if (CanGoUp()) GoUpOneLevel();
        return FALSE;
    case IDC_REFRESH:
        if (CanRefresh()) RefreshLocation();
        return FALSE;
    default:
        // The context menus' commands act where the keyboard focus is.
        return RunBrowserCommand(LOWORD(wParam), GetFocus()) ? FALSE : TRUE;
    }
}

void OnListKeyDown(WORD key)
{
    BYTE keys[256];
    if (!GetKeyboardState(keys)) return;
    bool shift = (keys[VK_SHIFT] & 0x80) != 0;
    bool ctrl = (keys[VK_CONTROL] & 0x80) != 0;
    bool alt = (keys[VK_MENU] & 0x80) != 0;
    switch (key) {
    case VK_BACK:
        if (!shift && !ctrl && !alt) GoUpFromKeyboard();
        break;
    case VK_DELETE:
        if (!shift && !ctrl && !alt && CanDelete() && FileListHasFocus()) DeleteSelectedItems();
        break;
    case 'A':
        if (ctrl && !shift && !alt && FileListHasFocus()) SelectAllItems();
        break;
    default:
        break;
    }
}

bool IsListView(HWND control)
{
    return control && (control == g_fileList || control == g_deviceList || control == g_locationsList);
}

INT_PTR OnTreeBeginLabelEdit(HWND tree, const NMTVDISPINFOW* info)
{
    if (!info->item.hItem) return TRUE;
    const FolderNode* node = reinterpret_cast<const FolderNode*>(info->item.lParam);
    if (!node) return TRUE;
    if (node == g_rootFolder) {
        // The dialog cannot answer the control's notification, so the edit is ended here.
        EndTreeEdit(tree, true);
        return TRUE;
    }
    return FALSE;
}

INT_PTR OnNotify(HWND window, const NMHDR* header, LPARAM lParam)
{
    HWND from = header->hwndFrom;
    // The tree is looked up only for its own notifications: the file list sends two for every item
    // whose state changes, and a lookup costs more than all else done for them.
    HWND tree = header->idFrom == IDC_FOLDER_TREE ? FolderTree(window) : nullptr;
    bool fromTree = tree && from == tree;
    switch (header->code) {
    case LVN_KEYDOWN:
        OnListKeyDown(reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey);
        return FALSE;
    case LVN_BEGINDRAG:
        if (from != g_fileList) return FALSE;
        BeginListDrag();
        return TRUE;
    case LVN_ITEMCHANGED:
        if (from == g_fileList) {
            OnFileListItemChanged(reinterpret_cast<const NMLISTVIEW*>(lParam));
        } else if (from == g_deviceList) {
            OnDeviceListChanged();
        } else if (from == g_locationsList) {
            OnLocationsListChanged();
        }
        return FALSE;
    case NM_SETFOCUS:
        UpdateToolbar();
        return FALSE;
    case NM_KILLFOCUS:
        UpdateToolbar();
        if (from == g_deviceList) {
            OnDeviceListKillFocus();
        } else if (from == g_locationsList) {
            OnLocationsListKillFocus();
        }
        return FALSE;
    case NM_DBLCLK: {
        // Only list views send the item-activation record; other controls send a bare header.
        if (!IsListView(from)) return FALSE;
        const NMITEMACTIVATE* activate = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
        if (activate->iSubItem == 0) OpenFolderItem(activate->iItem);
        return FALSE;
    }
    case LVN_ENDLABELEDITW: {
        const NMLVDISPINFOW* info = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
        if (from != g_fileList || !info->item.pszText || RenameRefusedNow()) return FALSE;
        RenameListItem(info->item.iItem, info->item.pszText);
        return TRUE;
    }
    case TVN_BEGINLABELEDITW:
        if (!fromTree) return FALSE;
        return OnTreeBeginLabelEdit(tree, reinterpret_cast<const NMTVDISPINFOW*>(lParam));
    case TVN_ENDLABELEDITW: {
        if (!fromTree || !FirstReportOfTreeEditEnd()) return FALSE;
        const NMTVDISPINFOW* info = reinterpret_cast<const NMTVDISPINFOW*>(lParam);
        FolderNode* node = reinterpret_cast<FolderNode*>(info->item.lParam);
        // Refused, the edit ends with the label unchanged.
        if (!info->item.hItem || !node || !info->item.pszText || RenameRefusedNow()) return FALSE;
        RenameTreeFolder(info->item.hItem, node, info->item.pszText);
        return TRUE;
    }
    case TVN_BEGINDRAGW:
        if (!fromTree) return FALSE;
        BeginTreeDrag(reinterpret_cast<const NMTREEVIEWW*>(lParam));
        return TRUE;
    case TVN_ITEMEXPANDINGW: {
        const NMTREEVIEWW* info = reinterpret_cast<const NMTREEVIEWW*>(lParam);
        if (!fromTree || info->action != TVE_EXPAND) return FALSE;
        FolderNode* node = reinterpret_cast<FolderNode*>(info->itemNew.lParam);
        if (node && node->isFolder && !node->listed) LoadFolderChildren(info->itemNew.hItem, node, nullptr);
        return FALSE;
    }
    case TVN_SELCHANGEDW: {
        const NMTREEVIEWW* info = reinterpret_cast<const NMTREEVIEWW*>(lParam);
        if (!fromTree) return FALSE;
        FolderNode* node = reinterpret_cast<FolderNode*>(info->itemNew.lParam);
        if (node && node->isFolder) ShowFolderInList(info->itemNew.hItem, node);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void OnPrivateMessage(HWND window, UINT message)
{
    switch (message) {
    case WMU_SHOW_COPY_PROGRESS:
        DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_COPY_PROGRESS), window, CopyProgressDialogProc, 0);
        break;
    case WMU_COPY_ERROR:
        ShowWarning(L"Error happened during copy operation", L"TovarelUSB");
        break;
    case WMU_COPY_EXISTS:
        ShowWarning(L"The file or folder with the same name already exists at the destination path.\n"
                    L"Nothing was copied.",
                    L"TovarelUSB - File / folder already exists");
        break;
    case WMU_COPY_CANCELLED:
        ShowWarning(L"Copy operation was cancelled", L"TovarelUSB");
        break;
    case WMU_CANT_COPY_FROM:
        ShowWarning(L"Can't copy from this source", L"TovarelUSB");
        break;
    case WMU_CANT_COPY_TO:
        ShowWarning(L"Can't copy to this location", L"TovarelUSB");
        break;
    case WMU_UPDATE_TOOLBAR:
        UpdateToolbar();
        break;
    case WMU_SHOW_COPY_BUSY:
        RunCopyBusyDialog(window);
        break;
    default:
        break;
    }
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitMainDialog(window);
        return TRUE;
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE) EndMainWindow(window);
        return FALSE;
    case WM_SIZE:
        LayoutMainWindow(window);
        return FALSE;
    case WM_GETMINMAXINFO:
        ApplyMinTrackSize(window, reinterpret_cast<MINMAXINFO*>(lParam));
        return FALSE;
    case WM_DPICHANGED:
        // Not handled as far as the dialog manager is concerned: it still gives the controls the
        // dialog font of the new scale.
        OnMainWindowDpiChanged(window, LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return FALSE;
    case WM_NOTIFY:
        if (!lParam) return FALSE;
        return OnNotify(window, reinterpret_cast<const NMHDR*>(lParam), lParam);
    case WM_DESTROY:
        OnDestroyMainDialog(window);
        return FALSE;
    case WM_CONTEXTMENU:
        return ShowBrowserContextMenu(window, reinterpret_cast<HWND>(wParam), lParam) ? TRUE : FALSE;
    case WMU_CHANGE_DEVICE_LIST:
        RunDeviceListChange(lParam);
        return FALSE;
    case WMU_SHOW_DRAG_OUT_NOTE:
        ShowDragOutNotes();
        return FALSE;
    case WMU_SHOW_DROP_DESTINATION:
        ShowDropDestination();
        return FALSE;
    case WMU_SHOW_NAME_CLASH:
        ShowNameClash();
        return FALSE;
    default:
        if (message >= WMU_SHOW_COPY_PROGRESS && message <= WMU_SHOW_COPY_BUSY) OnPrivateMessage(window, message);
        return FALSE;
    }
}
