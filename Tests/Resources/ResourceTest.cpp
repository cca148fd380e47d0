// The dialog templates, the menu, the icons and the version and manifest records, as the dialog
// manager and the resource loader of the running system see them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "E2EDriver.h"
#include "resource.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kListColumn = kChild | WS_BORDER | WS_TABSTOP | LVS_LIST | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                              LVS_NOCOLUMNHEADER;

struct ControlSpec {
    int id;
    const wchar_t* className;
    RECT dlus;              // left, top, width, height
    DWORD style;            // every bit must be set
    DWORD absent;           // no bit may be set
    const wchar_t* text;    // null: not checked
    bool sizedByContent;    // the control sizes itself (an icon shown at its own size)
};

struct DialogSpec {
    int id;
    const wchar_t* title;
    int width;
    int height;
    DWORD style;
    DWORD absent;
    DWORD exStyle;
    std::vector<ControlSpec> controls;  // in template order, which is the tab order
};

HINSTANCE Module()
{
    return GetModuleHandleW(nullptr);
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

struct DialogOwner {
    HWND window;
    explicit DialogOwner(int id)
        : window(CreateDialogParamW(Module(), MAKEINTRESOURCEW(id), nullptr, InertDialogProc, 0)) {}
    ~DialogOwner()
    {
        if (window) DestroyWindow(window);
    }
    DialogOwner(const DialogOwner&) = delete;
    DialogOwner& operator=(const DialogOwner&) = delete;
};

RECT RectInParent(HWND control, HWND dialog)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The raw template, as the resource compiler wrote it: controls may change their own style bits
// once created (a list view trades WS_BORDER for a client edge, a tree drops a scroll bar it does
// not need yet), so the style bits are checked here.
struct TemplateItem {
    DWORD style;
    int id;
};

struct TemplateHeader {
    DWORD style;
    DWORD exStyle;
    WORD pointSize;
    std::wstring typeface;
    std::vector<TemplateItem> items;
};

const WORD* SkipNameOrOrdinal(const WORD* at)
{
    if (*at == 0xFFFF) return at + 2;
    while (*at++) {
    }
    return at;
}

const WORD* AlignToDword(const WORD* at)
{
    return reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(at) + 3) & ~uintptr_t{3});
}

DWORD ReadDword(const WORD* at)
{
    DWORD value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

bool ReadTemplate(int id, TemplateHeader* out)
{
    HRSRC found = FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), RT_DIALOG);
    if (!found) return false;
    const WORD* at = static_cast<const WORD*>(LockResource(LoadResource(GetModuleHandleW(nullptr), found)));
    if (!at || at[0] != 1 || at[1] != 0xFFFF) return false;  // an extended template
    out->exStyle = ReadDword(at + 4);
    out->style = ReadDword(at + 6);
    WORD count = at[8];
    at = SkipNameOrOrdinal(at + 13);  // menu
    at = SkipNameOrOrdinal(at);       // class
    at = SkipNameOrOrdinal(at);       // title
    if (out->style & DS_SETFONT) {
        out->pointSize = at[0];
        at += 3;  // size, weight, italic and character set
        out->typeface = reinterpret_cast<const wchar_t*>(at);
        at = SkipNameOrOrdinal(at);
    }
    for (WORD i = 0; i < count; ++i) {
        at = AlignToDword(at);
        TemplateItem item;
        item.style = ReadDword(at + 4);
        item.id = static_cast<int>(ReadDword(at + 10));
        at = SkipNameOrOrdinal(at + 12);  // class
        at = SkipNameOrOrdinal(at);       // text
        WORD extra = *at++;
        at = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(at) + extra);
        out->items.push_back(item);
    }
    return true;
}

const std::vector<DialogSpec>& AllDialogs()
{
    static const std::vector<DialogSpec> dialogs = {
        {IDD_MAIN, L"TovarelUSB", 450, 306, WS_OVERLAPPEDWINDOW | DS_SETFONT, WS_CHILD, WS_EX_APPWINDOW,
         {
             {IDC_DEVICE_LIST, WC_LISTVIEWW, {8, 31, 81, 118}, kListColumn, LVS_EDITLABELS, L"", false},
             {IDC_LOCATIONS_LIST, WC_LISTVIEWW, {8, 152, 81, 118}, kListColumn, LVS_EDITLABELS, L"", false},
             {IDC_FOLDER_TREE, WC_TREEVIEWW, {92, 31, 123, 239},
              kChild | WS_BORDER | WS_HSCROLL | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_EDITLABELS |
                  TVS_SHOWSELALWAYS,
              TVS_LINESATROOT | TVS_DISABLEDRAGDROP, L"", false},
             {IDC_FILE_LIST, WC_LISTVIEWW, {217, 31, 223, 239},
              kChild | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS |
                  LVS_EDITLABELS | LVS_ALIGNLEFT | LVS_NOSORTHEADER,
              LVS_SMALLICON | LVS_SINGLESEL | LVS_NOCOLUMNHEADER, L"", false},
             {IDC_NEW_FOLDER, L"Button", {255, 8, 37, 18}, kChild | WS_TABSTOP | BS_ICON, BS_DEFPUSHBUTTON, L"",
              false},
             {IDC_DELETE, L"Button", {305, 8, 37, 18}, kChild | BS_ICON, WS_TABSTOP | BS_DEFPUSHBUTTON, L"", false},
             {IDC_UP, L"Button", {355, 8, 37, 18}, kChild | BS_ICON, WS_TABSTOP | BS_DEFPUSHBUTTON, L"", false},
             {IDC_REFRESH, L"Button", {405, 8, 37, 18}, kChild | BS_ICON, WS_TABSTOP | BS_DEFPUSHBUTTON, L"", false},
             {IDC_STATUS_LINE, L"Static", {9, 14, 244, 8}, kChild | SS_ENDELLIPSIS | SS_NOPREFIX,
              SS_PATHELLIPSIS | WS_BORDER, L"Disconnected", false},
             {IDC_PATH_LINE, L"Static", {8, 274, 434, 12}, kChild | WS_BORDER | SS_WORDELLIPSIS | SS_NOPREFIX, 0,
              L"", false},
             {IDC_WEB_LINE, L"Static", {8, 292, 434, 8}, kChild | SS_WORDELLIPSIS, WS_BORDER,
              L"www.marlquist.example", false},
         }},
        {IDD_ABOUT, L"About TovarelUSB", 220, 89, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT,
         WS_THICKFRAME, 0,
         {
             {IDC_STATIC, L"Static", {4, 4, 20, 20}, kChild | SS_ICON | SS_REALSIZEIMAGE, 0, nullptr, true},
             {IDC_STATIC, L"Static", {105, 16, 94, 8}, kChild | SS_NOPREFIX, 0, L"TovarelUSB, version 2.5", false},
             {IDC_STATIC, L"Static", {93, 28, 118, 8}, kChild, 0, nullptr, false},
             {IDC_STATIC, L"Static", {117, 40, 72, 8}, kChild, 0, L"marlquist.example", false},
             {IDOK, L"Button", {127, 65, 50, 14}, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, L"OK", false},
         }},
        {IDD_COPY_PROGRESS, L"Now Copying...", 350, 81, WS_POPUP | WS_CAPTION | DS_SETFONT, WS_SYSMENU, 0,
         {
             {IDCANCEL, L"Button", {293, 60, 50, 14}, kChild | WS_TABSTOP, BS_DEFPUSHBUTTON, L"Cancel", false},
             {IDC_COPY_PROGRESS_BAR, PROGRESS_CLASSW, {7, 27, 336, 11}, kChild | WS_BORDER, 0, nullptr, false},
             {IDC_COPY_STATUS_TEXT, L"Static", {7, 43, 336, 8}, kChild | SS_ENDELLIPSIS, SS_PATHELLIPSIS, L"",
              false},
         }},
        {IDD_DELETING, L"Now Deleting...", 253, 52, WS_POPUP | WS_CAPTION | DS_SETFONT, WS_SYSMENU, 0,
         {
             {IDC_DELETING_TEXT, L"Static", {7, 21, 239, 8}, kChild | SS_ENDELLIPSIS, SS_PATHELLIPSIS, L"", false},
         }},
        {IDD_CALCULATING_SIZE, L"Calculating Size...", 379, 52, WS_POPUP | WS_CAPTION | DS_SETFONT, WS_SYSMENU, 0,
         {
             {IDC_CALCULATING_TEXT, L"Static", {7, 21, 365, 8}, kChild | SS_ENDELLIPSIS, SS_PATHELLIPSIS, L"",
              false},
         }},
        {IDD_COPY_BUSY, L"Now Copying...", 253, 56, WS_POPUP | WS_CAPTION | DS_SETFONT, WS_SYSMENU, 0,
         {
             {IDC_COPY_BUSY_TEXT, L"Static", {7, 14, 239, 8}, kChild | SS_ENDELLIPSIS, SS_PATHELLIPSIS,
              L"Copy operation in progress...", false},
             {IDCANCEL, L"Button", {196, 35, 50, 14}, kChild | WS_TABSTOP, BS_DEFPUSHBUTTON, L"Cancel", false},
         }},
    };
    return dialogs;
}

void ExpectControl(HWND dialog, HWND control, const TemplateItem& item, const ControlSpec& want)
{
    SCOPED_TRACE("control " + std::to_string(want.id) + " at " + std::to_string(want.dlus.left) + "," +
                 std::to_string(want.dlus.top));
    EXPECT_EQ(item.id, want.id);
    EXPECT_EQ(item.style & want.style, want.style) << std::hex << "style " << item.style;
    EXPECT_EQ(item.style & want.absent, 0u) << std::hex << "style " << item.style;

    EXPECT_EQ(GetDlgCtrlID(control), want.id);
    EXPECT_EQ(_wcsicmp(e2e::WindowClass(control).c_str(), want.className), 0) << e2e::WindowClass(control);
    if (!want.sizedByContent) {
        // The dialog manager converts the position and the size, not the two corners.
        RECT expected = want.dlus;
        MapDialogRect(dialog, &expected);
        RECT actual = RectInParent(control, dialog);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
    }
    if (want.text) {
        EXPECT_EQ(e2e::WindowTitle(control), want.text);
    }
}

TEST(DialogTemplates, HaveTheirTitlesSizesFramesAndControls)
{
    for (const DialogSpec& want : AllDialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(want.id));
        TemplateHeader raw;
        ASSERT_TRUE(ReadTemplate(want.id, &raw));
        EXPECT_EQ(raw.style & want.style, want.style) << std::hex << raw.style;
        EXPECT_EQ(raw.style & want.absent, 0u) << std::hex << raw.style;
        EXPECT_EQ(raw.exStyle & want.exStyle, want.exStyle) << std::hex << raw.exStyle;
        EXPECT_EQ(raw.pointSize, 8);
        EXPECT_EQ(raw.typeface, L"MS Shell Dlg");
        ASSERT_EQ(raw.items.size(), want.controls.size());

        DialogOwner dialog(want.id);
        ASSERT_NE(dialog.window, nullptr) << "error " << GetLastError();
        EXPECT_EQ(e2e::WindowTitle(dialog.window), want.title);
        DWORD exStyle = static_cast<DWORD>(GetWindowLongW(dialog.window, GWL_EXSTYLE));
        EXPECT_EQ(exStyle & want.exStyle, want.exStyle) << std::hex << exStyle;

        RECT client;
        GetClientRect(dialog.window, &client);
        RECT expected = {0, 0, want.width, want.height};
        MapDialogRect(dialog.window, &expected);
        EXPECT_EQ(client.right, expected.right);
        EXPECT_EQ(client.bottom, expected.bottom);

        HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog.window, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW face = {};
        ASSERT_NE(GetObjectW(font, sizeof face, &face), 0);
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(face.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
        ReleaseDC(nullptr, screen);

        size_t index = 0;
        for (HWND child = GetWindow(dialog.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            ASSERT_LT(index, want.controls.size()) << "an unexpected control with id " << GetDlgCtrlID(child);
            ExpectControl(dialog.window, child, raw.items[index], want.controls[index]);
            ++index;
        }
        EXPECT_EQ(index, want.controls.size());
    }
}

TEST(DialogTemplates, MainWindowTabsThroughThePanesThenTheFirstButton)
{
    DialogOwner dialog(IDD_MAIN);
    ASSERT_NE(dialog.window, nullptr);
    const int order[] = {IDC_DEVICE_LIST, IDC_LOCATIONS_LIST, IDC_FOLDER_TREE, IDC_FILE_LIST, IDC_NEW_FOLDER,
                         IDC_DEVICE_LIST};
    HWND at = GetDlgItem(dialog.window, order[0]);
    for (size_t i = 1; i < sizeof order / sizeof order[0]; ++i) {
        at = GetNextDlgTabItem(dialog.window, at, FALSE);
        ASSERT_NE(at, nullptr);
        EXPECT_EQ(GetDlgCtrlID(at), order[i]) << "after step " << i;
    }
}

std::wstring MenuText(HMENU menu, UINT position)
{
    wchar_t text[128] = L"";
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

TEST(DialogTemplates, MainMenuHasFileExitAndHelpAbout)
{
    DialogOwner dialog(IDD_MAIN);
    ASSERT_NE(dialog.window, nullptr);
    HMENU bar = GetMenu(dialog.window);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 2);
    EXPECT_EQ(MenuText(bar, 0), L"&File");
    EXPECT_EQ(MenuText(bar, 1), L"&Help");

    HMENU file = GetSubMenu(bar, 0);
    HMENU help = GetSubMenu(bar, 1);
    ASSERT_TRUE(file && help);
    ASSERT_EQ(GetMenuItemCount(file), 1);
    EXPECT_EQ(GetMenuItemID(file, 0), static_cast<UINT>(IDM_EXIT));
    EXPECT_EQ(MenuText(file, 0), L"E&xit");
    ASSERT_EQ(GetMenuItemCount(help), 1);
    EXPECT_EQ(GetMenuItemID(help, 0), static_cast<UINT>(IDM_ABOUT));
    EXPECT_EQ(MenuText(help, 0), L"&About ...");
}

TEST(DialogTemplates, AboutPictureIsTheLargeProgramIcon)
{
    DialogOwner dialog(IDD_ABOUT);
    ASSERT_NE(dialog.window, nullptr);
    HWND picture = GetWindow(dialog.window, GW_CHILD);
    ASSERT_NE(picture, nullptr);
    HICON icon = reinterpret_cast<HICON>(SendMessageW(picture, STM_GETICON, 0, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour = {};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    EXPECT_EQ(colour.bmWidth, 48);
    EXPECT_EQ(colour.bmHeight, 48);
}

// --- Icons -----------------------------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

const void* ResourceBytes(LPCWSTR name, LPCWSTR type, DWORD* size)
{
    HRSRC found = FindResourceW(Module(), name, type);
    if (!found) return nullptr;
    if (size) *size = SizeofResource(Module(), found);
    return LockResource(LoadResource(Module(), found));
}

std::vector<int> IconSizes(int id)
{
    std::vector<int> sizes;
    const auto* header = static_cast<const GroupIconHeader*>(ResourceBytes(MAKEINTRESOURCEW(id), RT_GROUP_ICON, nullptr));
    if (!header) return sizes;
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(header + 1);
    for (WORD i = 0; i < header->count; ++i) {
        // Every image is a 32-bit one with an alpha channel.
        sizes.push_back(entries[i].bitCount == 32 ? (entries[i].width ? entries[i].width : 256) : -1);
    }
    return sizes;
}

// The straight BGRA pixels of one image of an icon resource, top row first.
std::vector<uint32_t> IconPixels(int id, int size)
{
    const auto* group = static_cast<const BYTE*>(ResourceBytes(MAKEINTRESOURCEW(id), RT_GROUP_ICON, nullptr));
    if (!group) return {};
    int imageId = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group), TRUE, size, size, LR_DEFAULTCOLOR);
    DWORD bytes = 0;
    const auto* image = static_cast<const BYTE*>(ResourceBytes(MAKEINTRESOURCEW(imageId), RT_ICON, &bytes));
    if (!image || bytes < sizeof(BITMAPINFOHEADER)) return {};
    BITMAPINFOHEADER header;
    std::memcpy(&header, image, sizeof header);
    if (header.biWidth != size || header.biBitCount != 32) return {};
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size);
    for (int row = 0; row < size; ++row) {
        std::memcpy(&pixels[static_cast<size_t>(row) * size], image + header.biSize + (size - 1 - row) * size * 4,
                    static_cast<size_t>(size) * 4);
    }
    return pixels;
}

struct IconSpec {
    int id;
    std::vector<int> sizes;
};

TEST(Icons, EachHasItsImagesForEveryScaleAndLoadsAtEach)
{
    const std::vector<int> small = {16, 20, 24, 32, 40, 48};
    const std::vector<int> large = {16, 20, 24, 32, 40, 48, 64};
    const IconSpec icons[] = {
        {IDI_PROGRAM, {16, 20, 24, 32, 40, 48, 64, 256}},
        {IDI_NEW_FOLDER, small},
        {IDI_DELETE, small},
        {IDI_UP, small},
        {IDI_DELETE_DISABLED, small},
        {IDI_NEW_FOLDER_DISABLED, small},
        {IDI_UP_DISABLED, small},
        {IDI_ABOUT, {48, 16, 20, 24, 32, 40, 64, 72, 96, 256}},
        {IDI_IPAD, large},
        {IDI_IPHONE, large},
        {IDI_EDITION_4, large},
        {IDI_EDITION, large},
        {IDI_REFRESH, small},
        {IDI_REFRESH_DISABLED, small},
    };
    for (const IconSpec& want : icons) {
        SCOPED_TRACE("icon " + std::to_string(want.id));
        EXPECT_EQ(IconSizes(want.id), want.sizes);
        for (int size : want.sizes) {
            HANDLE icon = LoadImageW(Module(), MAKEINTRESOURCEW(want.id), IMAGE_ICON, size, size, 0);
            EXPECT_NE(icon, nullptr) << "size " << size;
            if (icon) DestroyIcon(static_cast<HICON>(icon));
            // The 256-pixel image is kept as PNG, as Windows reads it.
            if (size == 256) continue;
            std::vector<uint32_t> pixels = IconPixels(want.id, size);
            ASSERT_EQ(pixels.size(), static_cast<size_t>(size) * size) << "size " << size;
            int covered = 0;
            for (uint32_t p : pixels) covered += (p >> 24) != 0 ? 1 : 0;
            // A drawing, not an empty or a filled square.
            EXPECT_GT(covered, size * size / 4);
            EXPECT_LT(covered, size * size);
        }
    }
}

bool IsGrey(uint32_t pixel)
{
    BYTE b = pixel & 0xFF, g = (pixel >> 8) & 0xFF, r = (pixel >> 16) & 0xFF;
    return r == g && g == b;
}

TEST(Icons, DisabledFormsAreGreyCopiesOfTheirOwnButtons)
{
    const std::pair<int, int> pairs[] = {
        {IDI_DELETE, IDI_DELETE_DISABLED},
        {IDI_NEW_FOLDER, IDI_NEW_FOLDER_DISABLED},
        {IDI_UP, IDI_UP_DISABLED},
        {IDI_REFRESH, IDI_REFRESH_DISABLED},
    };
    for (const auto& [enabled, disabled] : pairs) {
        for (int size : {16, 32}) {
            SCOPED_TRACE("icons " + std::to_string(enabled) + "/" + std::to_string(disabled) + " at " +
                         std::to_string(size));
            std::vector<uint32_t> colour = IconPixels(enabled, size);
            std::vector<uint32_t> grey = IconPixels(disabled, size);
            ASSERT_EQ(colour.size(), grey.size());
            ASSERT_FALSE(colour.empty());
            int coloured = 0, sameShape = 0;
            for (size_t i = 0; i < grey.size(); ++i) {
                EXPECT_TRUE(IsGrey(grey[i])) << "pixel " << i;
                coloured += IsGrey(colour[i]) ? 0 : 1;
                sameShape += ((colour[i] >> 24) != 0) == ((grey[i] >> 24) != 0) ? 1 : 0;
            }
            EXPECT_GT(coloured, size * size / 16);
            // The same silhouette: a swapped pair of ids would differ in most of the picture.
            EXPECT_GE(sameShape, static_cast<int>(grey.size()) * 98 / 100);
        }
    }
}

// --- Version and manifest --------------------------------------------------------------------------

bool Contains(const BYTE* data, DWORD size, const void* needle, size_t length)
{
    for (DWORD i = 0; i + length <= size; ++i) {
        if (std::memcmp(data + i, needle, length) == 0) return true;
    }
    return false;
}

bool ContainsWide(const BYTE* data, DWORD size, const wchar_t* text)
{
    return Contains(data, size, text, std::wcslen(text) * sizeof(wchar_t));
}

TEST(VersionAndManifest, NameTheProgramItsMakerAndVersion)
{
    DWORD size = 0;
    const auto* version = static_cast<const BYTE*>(ResourceBytes(MAKEINTRESOURCEW(1), RT_VERSION, &size));
    ASSERT_NE(version, nullptr);
    const DWORD signature = 0xFEEF04BD;
    const BYTE* fixed = nullptr;
    for (DWORD i = 0; i + sizeof(VS_FIXEDFILEINFO) <= size; i += 4) {
        if (std::memcmp(version + i, &signature, 4) == 0) {
            fixed = version + i;
            break;
        }
    }
    ASSERT_NE(fixed, nullptr);
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, fixed, sizeof info);
    EXPECT_EQ(info.dwFileVersionMS, 0x00020005u);
    EXPECT_EQ(info.dwFileVersionLS, 0u);
    EXPECT_TRUE(ContainsWide(version, size, L"Marlquist"));
    EXPECT_TRUE(ContainsWide(version, size, L"TovarelUSB, version 2.5"));
    EXPECT_TRUE(ContainsWide(version, size, L"2.5.0.0"));

    const auto* manifest = static_cast<const BYTE*>(ResourceBytes(MAKEINTRESOURCEW(1), RT_MANIFEST, &size));
    ASSERT_NE(manifest, nullptr);
    // One manifest serves both editions: an architecture named in it would keep the other from starting
    // on Windows (Wine does not check it).
    for (const char* part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "asInvoker", "supportedOS",
                             "processorArchitecture=\"*\""}) {
        EXPECT_TRUE(Contains(manifest, size, part, std::strlen(part))) << part;
    }
}

}  // namespace
