// The OLE objects of a drag out and of the clipboard's copy, the descriptors and streams they hand
// out, and the drag-out session.
#pragma once

#include <ole2.h>
#include <shlobj.h>
#include <shldisp.h>

#include <string>
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

// Builds the file descriptors of the dragged items while "Calculating Size..." is shown. On failure
// the drag out is over (E_OUTOFMEMORY, whatever the cause). Runs inside a target's call, so it shows
// no box: a path too long for a descriptor is told once the call has returned.
HRESULT BuildDragDescriptors(const DragItems& items);

// The drag-out session (DragOutSession.cpp): one drag out at a time, open while g_dragSourceFolder
// is set, from the begin-drag handler that opens it until it ends. Its number, its built
// descriptors, the data object kept while a target extracts after the drag loop, the giving up on
// that target, and what the user is told once it is over.

// Opens a drag out of the items of the device folder `sourceFolder`, which it takes over; false,
// and nothing open, when that is null.
bool OpenDragOutFrom(wchar_t* sourceFolder);
// Closes a drag out that was opened but is not run (no item could be taken): nothing was built.
void AbandonDragOut();
bool DragOutOpen();
// The open drag out's number, given to its first data object; 0 while none is open. No two drags
// get the same one, so that a data object kept by a target after its drag never answers from a
// later drag's state.
uint64_t NumberOpenDragOut();
// Drag out `drag` is the one open.
bool IsOpenDragOut(uint64_t drag);
// Releases the drag-out state: the descriptors, their device paths and the source folder. Any
// request of its data object from then on answers E_UNEXPECTED.
void EndDragOut();
// Ends drag out `drag` if it is still the open one.
void EndDragOutOf(uint64_t drag);
// Keeps the data object of the open drag out while its target extracts after the drag loop.
void KeepExtractingData(IDataObject* data);
// Gives up on the target of the open drag out: the drag out ends, the streams it handed out end,
// and its kept data object is disconnected from other processes, whose later calls then fail.
void CancelDragOut();

// The descriptors built into the drag-out state (g_dragDescriptors and the values after it):
// released, or only forgotten once another owner has taken them over.
void FreeDragDescriptors();
void ForgetDragDescriptors();

// What a drag out could not do, kept until the note that WMU_SHOW_DRAG_OUT_NOTE shows once the
// target's call is over: a path too long for Windows (in place of one kept before), the links a
// walk left out (in place of any kept before).
void KeepTooLongPathForNote(const wchar_t* relativePath);
void KeepLeftOutLinksForNote(std::vector<std::wstring>& links);
// Names the links a walk left out in one box; nothing when there are none.
void ShowLeftOutLinks(const std::vector<std::wstring>& links);
// Tells that nothing was copied out because of a path too long for Windows.
void WarnPathTooLong(const wchar_t* relativePath);

// The descriptors of device items built as a drag out builds them, for a user that serves them on
// its own (the clipboard, Save to): the block as "FileGroupDescriptorW" carries it and the UTF-8
// device path of each descriptor.
struct DescriptorSet {
    void* block = nullptr;
    char** devicePaths = nullptr;
    uint32_t count = 0;
    // The relative paths of the links the walk left out, for the user to be told once the
    // operation that uses the set is over.
    std::vector<std::wstring> leftOutLinks;

    DescriptorSet() = default;
    DescriptorSet(const DescriptorSet&) = delete;
    DescriptorSet& operator=(const DescriptorSet&) = delete;
    ~DescriptorSet();
    const FILEDESCRIPTORW& Descriptor(uint32_t index) const;
};
enum class DescriptorsBuilt { Built, TooLong, Cancelled, Failed };
// Builds the set while "Calculating Size..." is shown, with the busy dialog whose Cancel stops the
// walk; no drag out may be open, and none is after. TooLong: a path was too long for a descriptor,
// which the user has been told already. Cancelled: by the user, or the location closed meanwhile.
DescriptorsBuilt BuildDescriptorSet(const DragItems& items, DescriptorSet& set);

// A stream of one device file of the location opening `opening` (CurrentOpening), as "FileContents"
// hands it out: S_OK with a new stream; E_UNEXPECTED when that location is no longer open, the file
// cannot be opened, or the connection is another thread's (a copy thread's) while it runs;
// E_OUTOFMEMORY. The stream reads nothing more once its location has closed.
HRESULT OpenDeviceFileStreamAt(uint64_t opening, const char* devicePath, IStream** stream);
// The same, as a data object hands it out to another program: for drag out `drag` (0 for the
// clipboard's copy). Such a stream counts as a running transfer while it holds its device file,
// which it lets go once read to its end.
HRESULT HandOutDeviceFileStream(uint64_t opening, uint64_t drag, const char* devicePath, IStream** stream);
// A stream handed out still holds a device file of the open location.
bool HandedOutStreamsHoldFiles();
// The same, as the reason to refuse closing the open location (a refresh, another location): it
// would cut off the other program's read half way. Beeps when it refuses.
bool CloseRefusedForReaders();
// Ends the streams handed out for drag out `drag` (0: the clipboard's): their device files close
// now, their next reads fail, and other programs' hold on them is cut.
void EndHandedOutStreams(uint64_t drag);
// A stream released while a copy thread owned the connection left its device file open: closes
// those once no copy thread runs (the window's thread, after the copy has ended).
void CloseDeferredDeviceFiles();
