// Copying dropped files and folders onto the device: an upload's copy thread work, its two passes
// and the roll back.
#pragma once

#include "iPhone.h"

// Starts the copy thread of one drop, once the transfer list, g_dropFolder and g_dropTreeItem are
// set: it copies the dropped items into g_dropFolder's device path as it is now. False when no
// thread could be started.
bool StartUpload();
// WMU_SHOW_NAME_CLASH, after an upload stopped at two local names that are one on the device:
// names them to the user.
void ShowNameClash();
// WMU_SHOW_DROP_DESTINATION, after a good copy: once the copy thread has ended, the destination is
// selected and listed afresh from the device, unless the tree changed meanwhile (its nodes may be
// gone).
void ShowDropDestination();

// Adds the size of a local file, or of every file below a local folder, to `total`. False on a
// failure; true also when it stopped early because the copy was cancelled.
bool AddLocalSize(const wchar_t* localPath, uint64_t& total);
// Copies a local file or folder tree to the device path, moving the progress bar. False on a
// failure; true also when it stopped early because the copy was cancelled.
bool UploadItem(const wchar_t* localPath, const wchar_t* devicePath, uint64_t total, uint64_t& done);
// Removes a device file, or a device folder with everything in it; failures are ignored.
void RemoveDeviceTree(const wchar_t* devicePath);
// Removes from the device what the running upload created there, and nothing else.
void RollBackUpload();
