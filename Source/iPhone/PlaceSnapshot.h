// Where the window stood before a wait that serves this thread's messages (a dialog, a call into
// another program, the painting during a deletion): the device notice thread or a refresh may close
// the location or free nodes of its tree meanwhile, and work resumed after the wait goes on only
// where it began. Identities tell, not addresses: a location opened again may get the connection
// and the nodes at the addresses of the closed one. While no tree item went, no node did, and a
// node's address taken before the wait still names it.
#pragma once

#include <cstdint>

#include "FolderTree.h"
#include "iPhone.h"

struct PlaceSnapshot {
    uint64_t opening = 0;          // 0: no location was open
    uint64_t removals = 0;         // the tree's removal count
    FolderNode* folder = nullptr;  // the folder shown

    static PlaceSnapshot Take() { return {CurrentOpening(), FolderTreeRemovals(), g_currentFolder.load()}; }
    // The same opening of a location is still open.
    bool SameOpening() const { return opening && CurrentOpening() == opening; }
    // That, and no node of its tree went: nodes taken before the wait are still good.
    bool SameTree() const { return SameOpening() && FolderTreeRemovals() == removals; }
    // That, and the same folder is shown.
    bool SameFolder() const { return SameTree() && g_currentFolder.load() == folder; }
};
