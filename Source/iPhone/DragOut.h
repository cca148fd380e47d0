// Dragging device items out to Explorer: the begin-drag handlers of the folder tree and the file
// list, and the drag loop.
#pragma once

#include "iPhone.h"

void BeginListDrag();
void BeginTreeDrag(const NMTREEVIEWW* notice);
// Runs one drag over the prepared transfer list, then releases the list.
void RunDragOut();
// "My Documents" for the location path "0", "Downloads" for "2", null for any other.
const wchar_t* LocationDisplayName(const wchar_t* path);
// Appends the drag-out item of a location path to the transfer list.
void AppendDragItem(const wchar_t* path);
// WMU_SHOW_DRAG_OUT_NOTE: tells what the last drag out could not do: a path too long for Windows,
// or the links it left out.
void ShowDragOutNotes();
