// A second floor of the start-up benchmark: the main window's own template (its menu, lists, tree,
// buttons and lines, with the program's manifest and common controls) shown empty, with no program
// work at all. What it costs over the bare dialog is what the window's controls cost under this
// Wine and display, a part of the start-up no work of the program can remove.
#include <windows.h>
#include <commctrl.h>

#include "resource.h"

namespace {

// The template names the program's splitter class nowhere, so the system classes are all it needs.
INT_PTR CALLBACK TemplateDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SetWindowTextW(dialog, L"Template dialog");
        return TRUE;
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, TemplateDialogProc, 0);
    return 0;
}
