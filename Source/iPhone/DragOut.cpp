// Placeholders until dragging out to Explorer is built.
#include "DragOut.h"

void BeginListDrag() {}
void BeginTreeDrag(const NMTREEVIEWW*) {}
