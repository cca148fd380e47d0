#include "Startup.h"

#include <ole2.h>
#include <commctrl.h>
#include <shellapi.h>

#include "CopyThread.h"
#include "Devices.h"
#include "DragObjects.h"
#include "ImageLists.h"
#include "MainWindow.h"
#include "Splitter.h"
#include "StatusLine.h"
#include "TextUtil.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// Set once start-up has finished, so that stopping twice, or stopping after a start-up that gave up
// early, releases nothing twice.
bool s_started;

CFStringRef MakeRequiredString(const char* text)
{
    CFStringRef string = MakeConstantString(text);
    FATAL_CHECK(string != nullptr);
    return string;
}

UINT RegisterRequiredFormat(const wchar_t* name)
{
    UINT format = RegisterClipboardFormatW(name);
    FATAL_CHECK(format != 0);
    return format;
}

void InitCommonControlClasses()
{
    INITCOMMONCONTROLSEX classes = {};
    classes.dwSize = sizeof(classes);
    // Tree, lists, the copy progress bar, and the tooltips of the toolbar (a bar class).
    classes.dwICC = ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
    InitCommonControlsEx(&classes);
}

void ReleaseOneString(CFStringRef& string)
{
    ReleaseMadeString(string);
    string = nullptr;
}

void DestroyImageList(HIMAGELIST& list)
{
    if (list) ImageList_Destroy(list);
    list = nullptr;
}

}  // namespace

void MakeConstantStrings()
{
    g_cfAfcService = MakeRequiredString("com.apple.afc");
    g_cfDeviceName = MakeRequiredString("DeviceName");
    g_cfUniqueDeviceId = MakeRequiredString("UniqueDeviceID");
    g_cfEdition4Id = MakeRequiredString(EDITION_4_IDENTIFIER);
    g_cfEditionIPadId = MakeRequiredString(EDITION_IPAD_IDENTIFIER);
    g_cfEditionIPhoneId = MakeRequiredString(EDITION_IPHONE_IDENTIFIER);
}

// In the order they were made; the library that made them is still loaded.
void ReleaseConstantStrings()
{
    ReleaseOneString(g_cfAfcService);
    ReleaseOneString(g_cfDeviceName);
    ReleaseOneString(g_cfUniqueDeviceId);
    ReleaseOneString(g_cfEdition4Id);
    ReleaseOneString(g_cfEditionIPadId);
    ReleaseOneString(g_cfEditionIPhoneId);
}

void FreeExtensionTable()
{
    ExtensionTable* table = g_extensionTable;
    if (!table) return;
    g_extensionTable = nullptr;
    if (table->entries) {
        for (int i = 0; i < table->count; ++i) FreeString(table->entries[i]);
        HeapFree(GetProcessHeap(), 0, table->entries);
    }
    HeapFree(GetProcessHeap(), 0, table);
}

bool StartProgram(HINSTANCE instance)
{
    if (s_started) return true;
    g_instance = instance;
    StartShellIconWarmUp();
    if (!RegisterSplitterClass(instance)) return false;
    if (!BindDeviceLibrary()) return false;
    OleInitialize(nullptr);
    InitCommonControlClasses();
    MakeConstantStrings();
    g_cfFileGroupDescriptorW = RegisterRequiredFormat(L"FileGroupDescriptorW");
    g_cfFileContents = RegisterRequiredFormat(L"FileContents");
    s_started = true;
    // The handler may run from here on, on the library's thread, before the main window exists. The
    // subscription is never cancelled: the library offers no call for it that the program binds.
    AMNotificationRef subscription = nullptr;
    g_lib.AMDeviceNotificationSubscribe(OnDeviceNotice, 0, 0, nullptr, &subscription);
    return true;
}

void StopProgram()
{
    if (!s_started) return;
    s_started = false;
    // No notice handler may run on into released strings or unloaded code.
    CloseDeviceNotices();
    // A copy still running (the window was ended under it) stops and rolls back while the library
    // is there.
    g_copyCancel = 1;
    WaitForCopyThreadToFinish();
    // What other processes still hold of a drag out goes before the library: releasing a file
    // stream closes its device file.
    CancelDragOut();
    FinishShellIconWarmUp();
    OleUninitialize();
    ReleaseConstantStrings();
    UnbindDeviceLibrary();
    DestroyImageList(g_fileImageList);
    FreeExtensionTable();
    DestroyImageList(g_deviceImageList);
    FreeToolbarIcons();
}

int RunProgram(HINSTANCE instance)
{
    if (StartProgram(instance)) {
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
        StopProgram();
    }
    return 0;
}
