// Dragging device items out to Explorer.
#pragma once

#include "iPhone.h"

void BeginListDrag();
void BeginTreeDrag(const NMTREEVIEWW* notice);
