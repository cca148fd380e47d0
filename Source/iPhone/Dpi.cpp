#include "Dpi.h"

#include <commctrl.h>
#include <commoncontrols.h>
#include <shellapi.h>

#include <initializer_list>

#include "iPhone.h"

namespace {

#ifndef SHIL_JUMBO
const int SHIL_JUMBO = 4;
#endif

// Functions of Windows 10 that the program must start without on Windows 7.
template <typename Function>
Function UserFunction(const char* name)
{
    HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user, name))) : nullptr;
}

int SystemDpi()
{
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kDefaultDpi;
}

int IconSizeForDpi(int metric, int dpi)
{
    using ForDpi = int(WINAPI*)(int, UINT);
    if (auto forDpi = UserFunction<ForDpi>("GetSystemMetricsForDpi")) return forDpi(metric, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(metric), dpi, SystemDpi());
}

// The system's image lists hold the same icons at several sizes, under the same index; the one taken
// is the smallest that is at least as large as asked (else the largest), so that the image list
// that receives the icon only ever shrinks it.
HICON IconFromShellLists(int index, int size)
{
    IImageList* best = nullptr;
    int bestSize = 0;
    for (int kind : {SHIL_SMALL, SHIL_LARGE, SHIL_EXTRALARGE, SHIL_JUMBO}) {
        IImageList* list = nullptr;
        int width = 0;
        int height = 0;
        if (FAILED(SHGetImageList(kind, __uuidof(IImageList), reinterpret_cast<void**>(&list))) || !list) continue;
        bool closer = SUCCEEDED(list->GetIconSize(&width, &height)) &&
                      (!best || (width >= size ? bestSize < size || width < bestSize : width > bestSize));
        if (!closer) {
            list->Release();
            continue;
        }
        if (best) best->Release();
        best = list;
        bestSize = width;
    }
    HICON icon = nullptr;
    if (best) {
        if (FAILED(best->GetIcon(index, ILD_TRANSPARENT, &icon))) icon = nullptr;
        best->Release();
    }
    return icon;
}

}  // namespace

int DpiOfWindow(HWND window)
{
    using ForWindow = UINT(WINAPI*)(HWND);
    static const ForWindow forWindow = UserFunction<ForWindow>("GetDpiForWindow");
    int dpi = forWindow && window ? static_cast<int>(forWindow(window)) : 0;
    return dpi > 0 ? dpi : SystemDpi();
}

int ScaleToDpi(int pixels, int dpi)
{
    return MulDiv(pixels, dpi, kDefaultDpi);
}

int ScaleFromDpi(int pixels, int dpi)
{
    return dpi > 0 ? MulDiv(pixels, kDefaultDpi, dpi) : pixels;
}

int SmallIconSize(int dpi)
{
    return IconSizeForDpi(SM_CXSMICON, dpi);
}

int LargeIconSize(int dpi)
{
    return IconSizeForDpi(SM_CXICON, dpi);
}

void KeepDialogLayoutOnDpiChange(HWND dialog)
{
    // DDC_DISABLE_RESIZE | DDC_DISABLE_CONTROL_RELAYOUT (Windows 10 1703 and later).
    const int kKeepLayout = 0x0002 | 0x0004;
    using Behavior = BOOL(WINAPI*)(HWND, int, int);
    if (auto set = UserFunction<Behavior>("SetDialogDpiChangeBehavior")) set(dialog, kKeepLayout, kKeepLayout);
}

int ImageListIconSize(HIMAGELIST list)
{
    int width = 0;
    int height = 0;
    return list && ImageList_GetIconSize(list, &width, &height) ? width : 0;
}

HICON LoadProgramIcon(int id, int size)
{
    return static_cast<HICON>(LoadImageW(g_instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

HICON ShellIconOfName(const wchar_t* name, DWORD attributes, int size)
{
    SHFILEINFOW info = {};
    const UINT flags = SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX;
    HIMAGELIST small = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(name, attributes, &info, sizeof(info), flags));
    if (!small || !info.hIcon) {
        if (info.hIcon) DestroyIcon(info.hIcon);
        return nullptr;
    }
    // The system's small icons are drawn for the system's scale; a window on a monitor of another
    // scale takes the same icon from a larger list.
    int width = 0;
    int height = 0;
    if (ImageList_GetIconSize(small, &width, &height) && width == size) return info.hIcon;
    HICON larger = IconFromShellLists(info.iIcon, size);
    if (!larger) return info.hIcon;
    DestroyIcon(info.hIcon);
    return larger;
}
