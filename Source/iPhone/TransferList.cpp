// The transfer list shared by uploads and drags out, and the state of both.
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

void FreeTransferList()
{
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
    TransferItem* last = g_transferList.load();
    if (!last) {
        g_transferList = item;
        return;
    }
    while (last->next) last = last->next;
    last->next = item;
}

bool TransferIdle()
{
    return !g_copyThread.load() && !g_transferList.load() && !g_dragSourceFolder && !g_dragDescriptors;
}
