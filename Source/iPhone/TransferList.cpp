// The transfer list shared by uploads and drags out, and the state of both.
#include "DragObjects.h"
#include "TextUtil.h"
#include "iPhone.h"

std::atomic<TransferItem*> g_transferList{nullptr};
std::atomic<FolderNode*> g_dropFolder{nullptr};
std::atomic<HTREEITEM> g_dropTreeItem{nullptr};

wchar_t* g_dragSourceFolder;
void* g_dragDescriptors;
char** g_dragDevicePaths;
uint32_t g_dragCapacity;
uint32_t g_dragCount;

namespace {

// The last item of the transfer list, so that appending does not walk the list (a drag of every
// item of a big folder appends thousands); null when not known.
std::atomic<TransferItem*> s_transferTail{nullptr};

// A drop is asking its source for the dropped paths: another process, whose answer may take long
// and serves this thread's messages meanwhile.
bool s_dropAskingSource;

}  // namespace

void FreeTransferList()
{
    // Forgotten before the list is emptied: a list started as soon as it is empty never meets it.
    s_transferTail = nullptr;
    TransferItem* item = g_transferList.exchange(nullptr);
    while (item) {
        TransferItem* next = item->next;
        FreeString(item->localPath);
        FreeString(item->devicePath);
        FreeString(item->displayName);
        HeapFree(GetProcessHeap(), 0, item);
        item = next;
    }
}

void AppendTransferItem(TransferItem* item)
{
    TransferItem* last = s_transferTail.load();
    if (!g_transferList.load()) {
        g_transferList = item;
    } else {
        // A list built without this function (the drop builds its own) is walked once.
        if (!last) last = g_transferList.load();
        while (last->next) last = last->next;
        last->next = item;
    }
    while (item->next) item = item->next;
    s_transferTail = item;
}

bool TransferIdle()
{
    // Another program reading a file of a drag out or of the clipboard's copy is a transfer too.
    return !g_copyThread.load() && !g_transferList.load() && !g_dragSourceFolder && !g_dragDescriptors &&
           !s_dropAskingSource && !HandedOutStreamsHoldFiles();
}

void NoteDropAskingSource(bool asking)
{
    s_dropAskingSource = asking;
}
