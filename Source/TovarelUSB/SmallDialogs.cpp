#include "SmallDialogs.h"

#include "Dpi.h"
#include "iPhone.h"
#include "resource.h"

namespace {

HWND AboutPicture(HWND dialog)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
    }
    return nullptr;
}

// The picture is 48 pixels at 96 DPI; the template shows the icon's first image, which is that size,
// whatever the scale. The icon the template loaded is the system's to release.
void ShowAboutPicture(HWND dialog)
{
    const int kPictureSize = 48;
    HWND picture = AboutPicture(dialog);
    HICON icon = picture ? LoadProgramIcon(IDI_ABOUT, ScaleToDpi(kPictureSize, DpiOfWindow(dialog))) : nullptr;
    if (icon) SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

}  // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        ShowAboutPicture(dialog);
        return TRUE;
    }
    if (message == WM_DESTROY) {
        if (HWND picture = AboutPicture(dialog)) {
            HICON icon = reinterpret_cast<HICON>(SendMessageW(picture, STM_GETICON, 0, 0));
            if (icon) DestroyIcon(icon);
        }
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
    case IDM_EXIT:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
