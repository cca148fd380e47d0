// Shared records and process-wide values of the device-facing code and the window that shows it.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <atomic>
#include <cstdint>

#include "DeviceLibrary.h"
#include "FatalReport.h"

// Code of an app edition offered as a location of a device.
enum AppEdition : int32_t { EDITION_NONE = 0, EDITION_4 = 1, EDITION_IPAD = 2, EDITION_IPHONE = 3 };

// Application identifiers of the three editions.
#define EDITION_4_IDENTIFIER "com.marlquist.tovarel4"
#define EDITION_IPAD_IDENTIFIER "com.marlquist.tovarel.ipad"
#define EDITION_IPHONE_IDENTIFIER "com.marlquist.tovarel"

// One file or folder of the open location.
struct FolderNode {
    FolderNode* parent;
    wchar_t* name;      // owned
    wchar_t* path;      // owned location path; null for the root only
    int32_t isFolder;
    int32_t hasSubfolders;
    uint64_t size;
    int32_t listed;
    FolderNode* children;  // owned content list: folders first, then files, each sorted
    FolderNode* next;
    int32_t isLink;  // listed as a symbolic link (also a folder): removing it removes only the link
    uint64_t modified;  // last change on the device ("st_mtime") as a FILETIME count; 0 when unknown
};

// One attached device, in arrival order.
struct DeviceEntry {
    AMDeviceRef device;
    AFCConnectionRef afc;
    wchar_t* name;      // owned, may be null
    wchar_t* uniqueId;  // owned, may be null
    int32_t fsInconsistent;
    int32_t hasTotalBytes;
    uint64_t totalBytes;
    int32_t hasFreeBytes;
    uint64_t freeBytes;
    int32_t isIPad;
    int32_t hasEdition4;
    int32_t hasIPadEdition;
    int32_t hasIPhoneEdition;
    AppEdition locations[7];
    AppEdition openLocation;
    DeviceEntry* next;
};

// The window and its controls.
extern HINSTANCE g_instance;
extern std::atomic<HWND> g_mainWindow;
extern std::atomic<bool> g_mainWindowBuilt;  // the build of the main window has finished
extern std::atomic<bool> g_mainWindowClosing;  // the main window is being destroyed, or is gone
extern HWND g_fileList;
extern HWND g_deviceList;
extern HWND g_locationsList;
extern HIMAGELIST g_fileImageList;
extern HIMAGELIST g_deviceImageList;

// One short wait (at most 10 ms) that still serves the messages other threads send to this thread's
// windows: waits for another thread on the user-interface thread loop on it. A handle given ends the
// wait as soon as it is signalled.
void ServeSentMessagesBriefly(HANDLE wakeOn = nullptr);

// A control of the main window (null while there is none).
HWND MainWindowControl(int id);

// The main window is not there to work on: not made, being destroyed, or gone. Work that runs on
// for a device notice or an upload then leaves the controls alone and ends quietly.
bool MainWindowGone();
// Whether an item was added to a control of the main window. An item that could not be added
// because the control is gone with its window is no broken invariant: the answer is false and the
// caller stops quietly. Any other failure is a fatal check.
bool ItemAdded(HWND control, bool added);

// Extensions whose icons are images 2 and up of g_fileImageList. The record and its entries array
// come from the process heap (HeapAlloc, made by the main window's build); each entry is a heap string.
struct ExtensionTable {
    wchar_t** entries;
    int count;
    int capacity;
};
extern ExtensionTable* g_extensionTable;

// Constant strings made at start-up.
extern CFStringRef g_cfAfcService;        // "com.apple.afc"
extern CFStringRef g_cfDeviceName;        // "DeviceName"
extern CFStringRef g_cfUniqueDeviceId;    // "UniqueDeviceID"
extern CFStringRef g_cfEdition4Id;
extern CFStringRef g_cfEditionIPadId;
extern CFStringRef g_cfEditionIPhoneId;

// Clipboard formats of the drag source.
extern UINT g_cfFileGroupDescriptorW;
extern UINT g_cfFileContents;

// Devices and the open location.
// The notice thread changes these while the user-interface thread reads them: whole-word values.
extern std::atomic<DeviceEntry*> g_devices;
extern std::atomic<DeviceEntry*> g_currentDevice;
extern std::atomic<int32_t> g_connectionError;
extern wchar_t* g_userDocsPath;
extern std::atomic<FolderNode*> g_rootFolder;
extern std::atomic<FolderNode*> g_currentFolder;

// The current device's AFC connection into the open location, or null.
AFCConnectionRef CurrentConnection();
// The number of the location open on the current device, 0 while none is: never the same for two
// openings. What is made for one opening (a drag out's data, a file stream) compares it before it
// uses the connection, since a later connection may get the address of a closed one.
uint64_t CurrentOpening();
// A location is open and a folder of it is shown.
bool LocationOpen();
// Location path ("0/Books/a.pdf") to device path ("/Documents/Books/a.pdf"); null when the path
// names no location. The caller owns the result (FreeString).
wchar_t* ResolveDevicePath(const wchar_t* path);

// One item of an upload (local path and its destination) or of a drag out (device path, with a
// display name for the two locations).
struct TransferItem {
    wchar_t* localPath;    // owned, null for drag-out items
    wchar_t* devicePath;   // owned
    wchar_t* displayName;  // owned, null but for the two locations of a drag out
    TransferItem* next;
};

// The one transfer prepared or running: an upload's items or a drag out's items, in order.
extern std::atomic<TransferItem*> g_transferList;
// Releases every item of the transfer list; the list is empty afterwards.
void FreeTransferList();
// Appends an item at the tail of the transfer list, which then owns it.
void AppendTransferItem(TransferItem* item);
// No transfer is prepared or runs (a drop asking its source is preparing one), and no drag out is
// open: another one may start.
bool TransferIdle();
// A drop starts or stops asking its source for the dropped paths (it is preparing a transfer).
void NoteDropAskingSource(bool asking);

// Destination of the running upload: its folder node and that folder's tree item.
extern std::atomic<FolderNode*> g_dropFolder;
extern std::atomic<HTREEITEM> g_dropTreeItem;

// The drag out: the device folder the dragged items come from (non-null while a drag out is open,
// which is all "open" means) and the file descriptors built for it. Opened, numbered and ended by
// the drag-out session (DragOutSession.cpp) only.
extern wchar_t* g_dragSourceFolder;
extern void* g_dragDescriptors;
extern char** g_dragDevicePaths;
extern uint32_t g_dragCapacity;
extern uint32_t g_dragCount;

// The copy handshake between the user-interface thread and the copy thread.
extern std::atomic<HWND> g_copyDialog;
extern std::atomic<HWND> g_copyProgressBar;
extern std::atomic<HWND> g_copyStatusText;
extern std::atomic<int32_t> g_copyCancel;
extern std::atomic<HANDLE> g_copyThread;
extern std::atomic<HWND> g_copyBusyDialog;

// Private messages of the main window; both parameters are always 0.
enum : UINT {
    WMU_SHOW_COPY_PROGRESS = WM_APP + 0,
    WMU_COPY_ERROR = WM_APP + 1,
    WMU_COPY_EXISTS = WM_APP + 2,
    WMU_COPY_CANCELLED = WM_APP + 3,
    WMU_CANT_COPY_FROM = WM_APP + 4,
    WMU_CANT_COPY_TO = WM_APP + 5,
    WMU_UPDATE_TOOLBAR = WM_APP + 6,
    WMU_SHOW_COPY_BUSY = WM_APP + 7,
};

// Sent by the device notice thread to have a change of the device list run on the window's thread;
// the second parameter is the change (RunDeviceListChange, Devices.h). Below WM_APP, apart from the
// messages above, which carry no parameters.
const UINT WMU_CHANGE_DEVICE_LIST = WM_USER + 0x100;
// Posted when a drag out is over that left links out or met a path too long for Windows, so that
// the user is told once the target's call has returned.
const UINT WMU_SHOW_DRAG_OUT_NOTE = WM_USER + 0x101;
// Posted by the copy thread of a good upload: the window's thread shows the destination afresh.
const UINT WMU_SHOW_DROP_DESTINATION = WM_USER + 0x102;
// Posted by the copy thread of an upload that stopped, before it wrote anything, at two local names
// of one folder that the device takes for one: the window's thread names them (ShowNameClash).
const UINT WMU_SHOW_NAME_CLASH = WM_USER + 0x110;
