// What the files of the device list, its notices, its list views and the open location share among
// themselves; Devices.h is what the rest of the program uses.
#pragma once

#include "Clipboard.h"
#include "Devices.h"
#include "FolderTree.h"

// --- The hand-over of device notices (DeviceNotices.cpp) -------------------------------------------

bool OnMainWindowThread();

// A change of the device list that the notice thread hands to the window's thread.
struct HandedOverChange {
    void (*run)(void* change);
    void* change;
    enum Outcome { NOT_RUN, RAN, UPLOAD_RUNNING } outcome;
};

// Every change of the device list, and every look into it that a device notice needs, runs on the
// window's thread, one at a time: the notice thread hands the change over in a sent message and
// waits for it. A reset there after a failed opening thus never meets an arrival or a removal
// halfway. No change is made while an upload runs. False when the change was not made: the window
// is gone, or device notices were closed while waiting for the upload (shutdown).
template <class Change> bool ChangeDeviceList(Change change)
{
    HWND window = g_mainWindow.load();
    // Without any window there is no other thread that changes the list.
    if (!window || OnMainWindowThread()) {
        if (!WaitUntilNoCopyThread()) return false;
        change();
        return true;
    }
    HandedOverChange handOver{[](void* pending) { (*static_cast<Change*>(pending))(); }, &change,
                              HandedOverChange::NOT_RUN};
    do {
        if (!WaitUntilNoCopyThread() || MainWindowGone()) return false;
        // A window that goes meanwhile never runs it.
        handOver.outcome = HandedOverChange::NOT_RUN;
        SendMessageW(window, WMU_CHANGE_DEVICE_LIST, 0, reinterpret_cast<LPARAM>(&handOver));
    } while (handOver.outcome == HandedOverChange::UPLOAD_RUNNING);
    return handOver.outcome == HandedOverChange::RAN;
}

// --- The device list (Devices.cpp) -----------------------------------------------------------------

DeviceEntry* FindDeviceEntry(AMDeviceRef device);
bool IsListed(const DeviceEntry* wanted);
int DevicePosition(const DeviceEntry* wanted);
DeviceEntry* DeviceAt(int position);

// --- Probing an arriving device (DeviceConnection.cpp) --------------------------------------------
// Reads what the window shows of an arriving device through a connection of its own, which is
// closed again. Null when the device cannot be connected.
DeviceEntry* ConnectArrivedDevice(AMDeviceRef device);

// --- Opening locations (Locations.cpp) --------------------------------------------------------------

void CloseOpenLocation(DeviceEntry* device);

struct FolderTreeOwner {
    FolderNode* root;
    ~FolderTreeOwner()
    {
        // The location is gone: the program's copy on the clipboard and an open drag out named its
        // files; a target still extracting is refused from now on, and the busy dialog closes.
        if (root) {
            WithdrawClipboardCopy();
            EndDragOut();
        }
        FreeFolderNode(root);
    }
};

// --- The device and locations list views (DeviceListViews.cpp) ---------------------------------------

// Selecting always sets both the selected and the focused state.
void SelectListItem(HWND list, int index);
