// The floor of the start-up benchmark: a program that shows one captioned dialog of about the main
// window's size from a template in memory, without controls, and does nothing else.
#include <windows.h>

#include <cwchar>

namespace {

INT_PTR CALLBACK BareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    struct {
        DLGTEMPLATE header;
        WORD menu, windowClass;
        wchar_t title[16];
    } dialog = {};
    dialog.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | DS_CENTER | WS_VISIBLE;
    dialog.header.cx = 400;
    dialog.header.cy = 250;
    wcscpy(dialog.title, L"Bare dialog");
    DialogBoxIndirectParamW(instance, &dialog.header, nullptr, BareDialogProc, 0);
    return 0;
}
