// Save to...: device items copied into a local folder by the program itself, under the names a drag
// out gives them. A top-level name that the folder holds already is numbered ("a (2).pdf",
// "Books (2)"), so nothing there is ever written into or over, and a copy that fails or is
// cancelled removes exactly what it made.
#pragma once

#include "DragObjects.h"

enum class SaveOutcome { Saved, Cancelled, Failed };

// Asks for the folder with the standard folder picker, then SaveItemsTo. Nothing happens when the
// picker is cancelled, or the location is not the same any more when it closes.
void SaveItemsToChosenFolder(const DragItems& items);
// Reads the items' names, sizes and folders from the device ("Calculating Size..."), then copies
// them into `folder` on a copy thread with the "Now Copying..." dialog, whose Cancel stops it.
// A failure or a cancel is told as an upload's is.
void SaveItemsTo(const DragItems& items, const wchar_t* folder);

// The copy itself, on the calling thread: every descriptor of the set into `folder`, each file read
// from the device `chunkBytes` at a time and written as it comes. Stops at the first failure or when
// g_copyCancel is raised, and then removes all it made. Shows its progress while the copy dialog
// is open.
SaveOutcome SaveDescriptorSetTo(const DescriptorSet& set, uint64_t opening, const wchar_t* folder,
                                DWORD chunkBytes);
