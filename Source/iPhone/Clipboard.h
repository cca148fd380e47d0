// The clipboard both ways: device items copied as the virtual files a drag out offers, and files
// copied in Explorer pasted into the current folder as a drop there would bring them.
#pragma once

#include <ole2.h>

#include "DragObjects.h"

// The clipboard holds a list of files (CF_HDROP), as Explorer's Copy puts there.
bool ClipboardOffersFiles();
// Puts the items on the clipboard as the program's copy, in place of an earlier one. The names,
// sizes and folders are read from the device now ("Calculating Size..."); the contents when a
// program pastes them, from this connection only. A failure is told to the user.
void CopyItemsToClipboard(const DragItems& items);
// Uploads the files on the clipboard into the current folder, with a drop's checks and outcomes.
// Anything but a list of files does nothing.
void PasteFilesFromClipboard();
// Takes the program's copy off the clipboard, if it is still there, and makes it answer nothing
// more: its device or location has gone away, or the program ends. A program that holds it already
// is refused from then on; nothing is read into memory.
void WithdrawClipboardCopy();

// The program's copy as a data object: the descriptors of the set, and the contents of each file
// read while the object is still the program's copy and the location opening `opening` is still
// open. Null when memory runs out.
IDataObject* NewClipboardDataObject(DescriptorSet* set, uint64_t opening);
// Whether this object is the program's copy, still valid.
bool IsCurrentClipboardCopy(const IDataObject* data);
