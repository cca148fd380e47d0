// The OLE objects of a drag out and the drag-out state they share.
#pragma once

#include <ole2.h>
#include <shlobj.h>
#include <shldisp.h>

#include <vector>

#include "TextUtil.h"
#include "iPhone.h"

// One dragged item as the data object keeps it: its own copy, so that a target that asks for the
// descriptors only after the drag loop (when the transfer list is gone) is served all the same.
struct DragItem {
    OwnedWide devicePath;
    OwnedWide displayName;  // null but for the two locations
};
using DragItems = std::vector<DragItem>;

// Each returns a new object with one reference, or null when memory runs out.
IDropSource* NewDropSource();
// Copies the items of the transfer list.
IDataObject* NewDeviceDataObject();
IEnumFORMATETC* NewFormatEnumerator(ULONG position);

// The contents of descriptor `index`: S_OK with a new stream, E_UNEXPECTED when no drag out is open,
// the index names no descriptor or the device file cannot be opened, E_OUTOFMEMORY.
HRESULT OpenDeviceFileStream(LONG index, IStream** stream);

// Builds the file descriptors of the dragged items while "Calculating Size..." is shown. On failure
// the drag out is over (E_OUTOFMEMORY, whatever the cause).
HRESULT BuildDragDescriptors(const DragItems& items);
// The descriptor block as the FILEGROUPDESCRIPTORW format carries it (null before the build).
const FILEGROUPDESCRIPTORW* DragDescriptorGroup();
// Releases the drag-out state: the descriptors, their device paths and the source folder.
void EndDragOut();

// The descriptors of device items built as a drag out builds them, for a user that serves them on
// its own (the clipboard, Save to): the block as "FileGroupDescriptorW" carries it and the UTF-8
// device path of each descriptor.
struct DescriptorSet {
    void* block = nullptr;
    char** devicePaths = nullptr;
    uint32_t count = 0;

    DescriptorSet() = default;
    DescriptorSet(const DescriptorSet&) = delete;
    DescriptorSet& operator=(const DescriptorSet&) = delete;
    ~DescriptorSet();
    const FILEDESCRIPTORW& Descriptor(uint32_t index) const;
};
enum class DescriptorsBuilt { Built, TooLong, Failed };
// Builds the set while "Calculating Size..." is shown; no drag out may be open, and none is after.
// TooLong: a path was too long for a descriptor, which the user has been told already.
DescriptorsBuilt BuildDescriptorSet(const DragItems& items, DescriptorSet& set);
// "name (n).ext": the n-th item whose storable name is taken already.
wchar_t* NumberedName(const wchar_t* storable, unsigned number);

// A stream of one device file on this connection, as "FileContents" hands it out: S_OK with a new
// stream, E_UNEXPECTED when the file cannot be opened, or the connection is another thread's
// (a copy thread's) while it runs, E_OUTOFMEMORY.
HRESULT OpenDeviceFileStreamAt(AFCConnectionRef afc, const char* devicePath, IStream** stream);
