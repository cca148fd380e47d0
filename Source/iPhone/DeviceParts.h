// What the files of the device list, its list views and the open location share among themselves;
// Devices.h is what the rest of the program uses.
#pragma once

#include "Clipboard.h"
#include "Devices.h"
#include "FolderTree.h"

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

int DevicePosition(const DeviceEntry* wanted);
DeviceEntry* DeviceAt(int position);
// Selecting always sets both the selected and the focused state.
void SelectListItem(HWND list, int index);
// The first selected item of the list, or -1.
int FirstSelectedItem(HWND list);
// The number of locations the device offers.
int EditionCount(const DeviceEntry* entry);
