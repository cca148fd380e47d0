// The drop targets of the folder tree and the file list, driven through their interface with data
// objects from another apartment (as another program's reach them) and from this one.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "BrowserCommands.h"
#include "DropTarget.h"
#include "MessageBoxWatch.h"
#include "UploadSupport.h"
#include "WindowHarness.h"
#include "iPhone.h"
#include "resource.h"

namespace {

TEST(DropTargetObject, AnswersItsInterfacesAndCountsReferences)
{
    IDropTarget* target = NewDropTarget(nullptr, false);
    ASSERT_NE(target, nullptr);
    void* object = nullptr;
    EXPECT_EQ(target->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(target));
    EXPECT_EQ(target->QueryInterface(IID_IDropTarget, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(target));
    object = target;
    EXPECT_EQ(target->QueryInterface(IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(target->QueryInterface(IID_IMarshal, &object), E_NOINTERFACE);
    EXPECT_EQ(target->QueryInterface(IID_IDropTarget, nullptr), E_POINTER);
    // Two references from the successful queries, one from creation.
    EXPECT_EQ(target->AddRef(), 4u);
    EXPECT_EQ(target->Release(), 3u);
    EXPECT_EQ(target->Release(), 2u);
    EXPECT_EQ(target->Release(), 1u);
    EXPECT_EQ(target->Release(), 0u);
}

class DropTargetTest : public UploadTest {
protected:
    // DragEnter's effect for a data object from another apartment at a point.
    DWORD EnterEffect(IDropTarget* target, POINTL point, FileDropKind kind = FileDropKind::Paths)
    {
        ForeignFileDrop drop({Local(L"a.txt")}, kind);
        DWORD effect = DROPEFFECT_COPY;
        target->DragEnter(drop.Data(), MK_LBUTTON, point, &effect);
        target->DragLeave();
        return effect;
    }
    HTREEITEM DropHighlight() const { return TreeView_GetDropHilight(TreeControlForTest()); }
    std::vector<int> ListHighlights() const { return ListItemsWithState(g_fileList, LVIS_DROPHILITED); }
};

TEST_F(DropTargetTest, RefusesTheProgramsOwnDataTextAndDragsWithoutAnOpenLocation)
{
    SimWriteFile(Local(L"a.txt"), "a");
    HWND tree = TreeControlForTest();
    POINTL overList = OverBlank(g_fileList);
    EXPECT_EQ(EnterEffect(g_listDropTarget, overList), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(EnterEffect(g_treeDropTarget, OverBlank(tree)), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(EnterEffect(g_listDropTarget, overList, FileDropKind::TextOnly), static_cast<DWORD>(DROPEFFECT_NONE));

    // A data object of this apartment does not answer IMarshal, like the program's own drag out.
    IDataObject* own = NewFileDropData({Local(L"a.txt")});
    for (IDropTarget* target : {g_treeDropTarget, g_listDropTarget}) {
        DWORD effect = DROPEFFECT_COPY;
        target->DragEnter(own, MK_LBUTTON, overList, &effect);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
        effect = DROPEFFECT_COPY;
        target->DragOver(MK_LBUTTON, overList, &effect);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
        MessageBoxWatch watch(kWarningTitle, 1, nullptr, {window_});
        effect = DROPEFFECT_COPY;
        target->Drop(own, 0, overList, &effect);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
        ASSERT_TRUE(watch.Wait(10000));
        EXPECT_EQ(watch.Text(), L"Can't copy from this source");
    }
    own->Release();
    EXPECT_EQ(g_transferList.load(), nullptr);

    // Once the device is gone nothing is taken, and a drop that still comes changes nothing.
    SimLoadConfigText("");
    ASSERT_TRUE(WaitForNotices());
    ASSERT_FALSE(LocationOpen());
    EXPECT_EQ(EnterEffect(g_listDropTarget, overList), static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(EnterEffect(g_treeDropTarget, OverBlank(tree)), static_cast<DWORD>(DROPEFFECT_NONE));
    MessageBoxWatch none(nullptr, 1, nullptr, {window_});
    EXPECT_EQ(DropFilesAt(g_listDropTarget, overList, {Local(L"a.txt")}), static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(none.NoneWithin(300));
    EXPECT_EQ(g_copyThread.load(), nullptr);
}

TEST_F(DropTargetTest, HighlightsFollowTheCursorAndTheListSelectionStaysCleared)
{
    HWND tree = TreeControlForTest();
    HTREEITEM documents = TreeItemByNames({L"My Documents"});
    HTREEITEM books = TreeItemByNames({L"My Documents", L"Books"});
    ASSERT_NE(books, nullptr);
    TreeView_Expand(tree, documents, TVE_EXPAND);
    ForeignFileDrop drop({Local(L"a.txt")});
    DWORD effect = DROPEFFECT_COPY;

    // Tree: the item under the cursor, else the folder selected when the drag came in.
    ASSERT_EQ(g_treeDropTarget->DragEnter(drop.Data(), MK_LBUTTON, OverTreeItem(books), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(DropHighlight(), books);
    g_treeDropTarget->DragOver(MK_LBUTTON, OverBlank(tree), &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    // The selected folder's item; Wine's tree does not mark the selected item a second time, but
    // the folder left behind must lose its highlight either way.
    EXPECT_TRUE(DropHighlight() == documents || DropHighlight() == nullptr);
    g_treeDropTarget->DragOver(MK_LBUTTON, OverTreeItem(TreeView_GetRoot(tree)), &effect);
    EXPECT_EQ(DropHighlight(), TreeView_GetRoot(tree));
    EXPECT_EQ(g_treeDropTarget->DragLeave(), S_OK);
    EXPECT_EQ(DropHighlight(), nullptr);
    EXPECT_EQ(TreeView_GetSelection(tree), documents);

    // List: only folder items take the highlight; files and blank space show none but still copy.
    SelectOnlyListItem(g_fileList, ListIndex(L"readme.txt"));
    ListView_SetItemState(g_fileList, ListIndex(L"Empty"), LVIS_SELECTED, LVIS_SELECTED);
    const int booksIndex = ListIndex(L"Books");
    const int emptyIndex = ListIndex(L"Empty");
    struct Step {
        POINTL point;
        std::vector<int> highlighted;
    } steps[] = {
        {OverListItem(L"Books"), {booksIndex}},
        {OverListItem(L"Empty"), {emptyIndex}},
        {OverListItem(L"readme.txt"), {}},
        {OverListItem(L"Empty"), {emptyIndex}},
        {OverBlank(g_fileList), {}},
    };
    effect = DROPEFFECT_COPY;
    g_listDropTarget->DragEnter(drop.Data(), MK_LBUTTON, steps[0].point, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_TRUE(ListItemsWithState(g_fileList, LVIS_SELECTED).empty());
    for (const Step& step : steps) {
        effect = DROPEFFECT_COPY;
        g_listDropTarget->DragOver(MK_LBUTTON, step.point, &effect);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
        EXPECT_EQ(ListHighlights(), step.highlighted);
    }
    g_listDropTarget->DragOver(MK_LBUTTON, OverListItem(L"Books"), &effect);
    g_listDropTarget->DragLeave();
    EXPECT_TRUE(ListHighlights().empty());
    EXPECT_TRUE(ListItemsWithState(g_fileList, LVIS_SELECTED).empty());

    // After a refused entry the drag stays refused as it moves.
    effect = DROPEFFECT_COPY;
    ForeignFileDrop text({}, FileDropKind::TextOnly);
    g_listDropTarget->DragEnter(text.Data(), MK_LBUTTON, OverListItem(L"Books"), &effect);
    g_listDropTarget->DragOver(MK_LBUTTON, OverListItem(L"Books"), &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(ListHighlights().empty());
    g_listDropTarget->DragLeave();
}

// Every way a drop is turned down: one warning, nothing copied, nothing left behind.
TEST_F(DropTargetTest, RefusedDropsWarnOnceAndCopyNothing)
{
    SimWriteFile(Local(L"new.txt"), "new");
    SimWriteFile(Local(L"readme.txt"), "another readme");
    SimWriteFile(Local(L"Books\\x.txt"), "x");
    SimWriteFile(Local(L"Empty"), "a file named like a device folder");
    SimWriteFile(Local(L"sub\\y.txt"), "y");
    const TreeSnapshot device = SnapshotTree(DeviceDocuments());
    const unsigned handles = SimOpenHandles();
    HWND tree = TreeControlForTest();
    struct Case {
        const char* what;
        bool onTree;
        bool atRoot;
        std::vector<std::wstring> paths;
        FileDropKind kind;
        const wchar_t* title;
        const wchar_t* text;
    } cases[] = {
        {"no CF_HDROP data", false, false, {Local(L"new.txt")}, FileDropKind::GetDataFails, kWarningTitle, kCopyErrorText},
        {"no global handle", false, false, {Local(L"new.txt")}, FileDropKind::NoHandle, kWarningTitle, kCopyErrorText},
        {"no paths", false, false, {}, FileDropKind::Paths, kWarningTitle, kCopyErrorText},
        {"a name list without its end", true, false, {Local(L"new.txt")}, FileDropKind::Unterminated, kWarningTitle,
         kCopyErrorText},
        {"a drive root", false, false, {L"C:\\"}, FileDropKind::Paths, kWarningTitle, kCopyErrorText},
        {"a parent folder", false, false, {Local(L"sub\\..")}, FileDropKind::Paths, kWarningTitle, kCopyErrorText},
        {"the root of the tree", true, true, {Local(L"new.txt")}, FileDropKind::Paths, kWarningTitle,
         L"Can't copy to this location"},
        {"blank list space over the root", false, true, {Local(L"new.txt")}, FileDropKind::Paths, kWarningTitle,
         L"Can't copy to this location"},
        {"a file that exists", false, false, {Local(L"readme.txt")}, FileDropKind::Paths, kExistsTitle, kExistsText},
        {"a folder that exists", true, false, {Local(L"Books")}, FileDropKind::Paths, kExistsTitle, kExistsText},
        {"a file named like a folder", false, false, {Local(L"Empty")}, FileDropKind::Paths, kExistsTitle, kExistsText},
        {"two files of which the second exists", false, false, {Local(L"new.txt"), Local(L"readme.txt")},
         FileDropKind::Paths, kExistsTitle, kExistsText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.atRoot) SelectTreeItemByNames({});
        POINTL point = c.onTree ? (c.atRoot ? OverTreeItem(TreeView_GetRoot(tree)) : OverBlank(tree)) : OverBlank(g_fileList);
        MessageBoxWatch watch(c.title, 1, nullptr, {window_});
        EXPECT_EQ(DropFilesAt(c.onTree ? g_treeDropTarget : g_listDropTarget, point, c.paths, c.kind),
                  static_cast<DWORD>(DROPEFFECT_NONE));
        EXPECT_EQ(g_copyThread.load(), nullptr);
        EXPECT_EQ(g_transferList.load(), nullptr);
        ASSERT_TRUE(watch.Wait(10000));
        EXPECT_EQ(watch.Text(), c.text);
        EXPECT_EQ(TreeView_GetDropHilight(tree), nullptr);
        if (c.atRoot) SelectTreeItemByNames({L"My Documents"});
    }
    // The location is listed afresh while the source is asked for its paths (the call serves this
    // thread's messages): the folder chosen under the cursor is gone, and the drop goes nowhere.
    HWND window = window_;
    MessageBoxWatch gone(kWarningTitle, 1, nullptr, {window_});
    EXPECT_EQ(DropFilesAt(g_listDropTarget, OverListItem(L"Books"), {Local(L"new.txt")}, FileDropKind::Paths,
                          [window] { SendMessageW(window, WM_COMMAND, IDC_REFRESH, 0); }),
              static_cast<DWORD>(DROPEFFECT_NONE));
    ASSERT_TRUE(gone.Wait(10000));
    EXPECT_EQ(gone.Text(), L"Can't copy to this location");
    EXPECT_EQ(SnapshotTree(DeviceDocuments()), device);
    EXPECT_EQ(SimOpenHandles(), handles);
}

// Counts the list items another thread's call puts in: only the window's thread may fill the list,
// whose images and extension table are that thread's.
LRESULT CALLBACK CountForeignInserts(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR count)
{
    if (message == LVM_INSERTITEMW && InSendMessage()) ++*reinterpret_cast<int*>(count);
    return DefSubclassProc(list, message, wParam, lParam);
}

TEST_F(DropTargetTest, CopiesIntoTheFolderUnderTheCursorThenShowsIt)
{
    int foreignInserts = 0;
    ASSERT_TRUE(SetWindowSubclass(g_fileList, CountForeignInserts, 1, reinterpret_cast<DWORD_PTR>(&foreignInserts)));
    SimWriteFile(Local(L"one.txt"), "first file");
    SimWriteFile(Local(L"Folder\\inner.txt"), "inner");
    SimWriteFile(Local(L"two.txt"), "second file");
    SimWriteFile(Local(L"three.txt"), "third file");
    HWND tree = TreeControlForTest();

    // A folder item of the list: the copy goes there, and that folder is shown afterwards.
    SimResetCounters();
    EXPECT_EQ(DropAndFinish(g_listDropTarget, OverListItem(L"Books"), {Local(L"one.txt"), Local(L"Folder")}, L""), L"");
    EXPECT_EQ(TreeItemText(TreeView_GetSelection(tree)), L"Books");
    EXPECT_EQ(PathLineText(), L"My Documents/Books");
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Folder", L"Old", L"Guide.pdf", L"one.txt"}));
    EXPECT_EQ(TreeChildTexts(TreeView_GetSelection(tree)), Texts({L"Folder", L"Old"}));
    EXPECT_EQ(SnapshotTree(DeviceDocuments() + L"\\Books\\Folder"), SnapshotTree(Local(L"Folder")));
    EXPECT_EQ(SnapshotTree(DeviceDocuments() + L"\\Books").at(L"one.txt"), SnapshotTree(local_).at(L"one.txt"));
    const unsigned handles = SimOpenHandles();
    // The free space was read again for the status line.
    EXPECT_EQ(SimCallCount("AFCDeviceInfoOpen"), 1u);

    // The next drop is taken: on a tree item above the folder shown, whose nodes are made afresh.
    EXPECT_EQ(DropAndFinish(g_treeDropTarget, OverTreeItem(TreeItemByNames({L"My Documents"})), {Local(L"two.txt")}, L""),
              L"");
    EXPECT_EQ(TreeItemText(TreeView_GetSelection(tree)), L"My Documents");
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Books", L"Empty", L"readme.txt", L"two.txt"}));
    EXPECT_EQ(g_currentFolder.load(), reinterpret_cast<FolderNode*>(TreeItemData(TreeView_GetSelection(tree))));

    // Blank list space and a file item: the current folder.
    EXPECT_EQ(DropAndFinish(g_listDropTarget, OverListItem(L"readme.txt"), {Local(L"three.txt")}, L""), L"");
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Books", L"Empty", L"readme.txt", L"three.txt", L"two.txt"}));
    EXPECT_EQ(SimOpenHandles(), handles);
    RemoveWindowSubclass(g_fileList, CountForeignInserts, 1);
    EXPECT_EQ(foreignInserts, 0);
}

// A drag that comes while a copy runs, tried from inside the progress dialog's loop as OLE's calls of
// a real drag would come.
struct DragDuringCopy {
    std::vector<std::wstring> paths;
    POINTL point = {};
    bool made = false;
    DWORD effects[4] = {99, 99, 99, 99};  // tree and list DragEnter, tree and list Drop
    TransferItem* listBefore = nullptr;
    TransferItem* listAfter = nullptr;
} s_dragDuringCopy;

void CALLBACK TryDragDuringCopy(HWND, UINT, UINT_PTR timer, DWORD)
{
    DragDuringCopy& attempt = s_dragDuringCopy;
    if (!g_copyDialog.load() || attempt.made) return;
    KillTimer(nullptr, timer);
    attempt.made = true;
    attempt.listBefore = g_transferList;
    ForeignFileDrop drop(attempt.paths);
    IDropTarget* targets[] = {g_treeDropTarget, g_listDropTarget};
    for (int i = 0; i < 2; ++i) {
        attempt.effects[i] = DROPEFFECT_COPY;
        targets[i]->DragEnter(drop.Data(), MK_LBUTTON, attempt.point, &attempt.effects[i]);
        attempt.effects[2 + i] = DROPEFFECT_COPY;
        targets[i]->Drop(drop.Data(), 0, attempt.point, &attempt.effects[2 + i]);
    }
    attempt.listAfter = g_transferList;
}

TEST_F(DropTargetTest, DragsAreRefusedWhileACopyRunsOrADragOutIsOpen)
{
    SimWriteFile(Local(L"slow.bin"), std::string(3 << 20, 's'));
    SimWriteFile(Local(L"other.txt"), "other");
    POINTL overList = OverBlank(g_fileList);
    s_dragDuringCopy = DragDuringCopy();
    s_dragDuringCopy.paths = {Local(L"other.txt")};
    s_dragDuringCopy.point = overList;
    // 3 MB at 4 MB/s: time enough for a drag to come while the copy runs.
    SimSetLatency(0, 4 << 20);
    ASSERT_NE(SetTimer(nullptr, 0, 200, TryDragDuringCopy), 0u);
    EXPECT_EQ(DropAndFinish(g_listDropTarget, overList, {Local(L"slow.bin")}, L""), L"");
    SimSetLatency(0, 0);
    ASSERT_TRUE(s_dragDuringCopy.made);
    for (DWORD effect : s_dragDuringCopy.effects) EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_NE(s_dragDuringCopy.listBefore, nullptr);
    EXPECT_EQ(s_dragDuringCopy.listAfter, s_dragDuringCopy.listBefore);
    TreeSnapshot after = SnapshotTree(DeviceDocuments());
    EXPECT_EQ(after.at(L"slow.bin"), SnapshotTree(local_).at(L"slow.bin"));
    EXPECT_EQ(after.count(L"other.txt"), 0u);

    // A drag out of this program is open: the same refusal, and no warning.
    wchar_t dragged[] = L"/Documents";
    g_dragSourceFolder = dragged;
    MessageBoxWatch none(nullptr, 1, nullptr, {window_});
    EXPECT_EQ(EnterEffect(g_listDropTarget, overList), static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(DropFilesAt(g_listDropTarget, overList, s_dragDuringCopy.paths), static_cast<DWORD>(DROPEFFECT_NONE));
    g_dragSourceFolder = nullptr;
    EXPECT_TRUE(none.NoneWithin(300));
    EXPECT_EQ(SnapshotTree(DeviceDocuments()).count(L"other.txt"), 0u);
}

}  // namespace

namespace {

// The user had typed a new name for the folder shown when a drop on one of its subfolders came: the
// edit ends as the copy starts, and the rename, which would free the destination's node, waits as
// every other command does. The copy goes where it was dropped.
TEST_F(DropTargetTest, ARenameDuringACopyIsRefusedAndTheCopyKeepsItsDestination)
{
    SimWriteFile(Local(L"one.txt"), "first file");
    HWND tree = TreeControlForTest();
    HTREEITEM books = SelectTreeItemByNames({L"My Documents", L"Books"});
    ASSERT_NE(books, nullptr);
    bool renameOffered = true;
    EXPECT_EQ(DropAndFinish(g_listDropTarget, OverListItem(L"Old"), {Local(L"one.txt")}, L"",
                            [&] {
                                renameOffered = BrowserCommandEnabled(IDM_RENAME, tree);
                                SetFocus(tree);
                                HWND edit = TreeView_EditLabel(tree, books);
                                ASSERT_NE(edit, nullptr);
                                SetWindowTextW(edit, L"Shelf");
                                SendMessageW(window_, WM_COMMAND, IDOK, 0);
                            }),
              L"");
    EXPECT_FALSE(renameOffered);
    EXPECT_EQ(TreeItemText(books), L"Books");
    EXPECT_FALSE(SnapshotTree(DeviceDocuments()).count(L"Shelf"));
    EXPECT_EQ(SnapshotTree(DeviceDocuments() + L"\\Books\\Old").at(L"one.txt"), SnapshotTree(local_).at(L"one.txt"));
    EXPECT_EQ(PathLineText(), L"My Documents/Books/Old");

    // Once the copy is over, the same edit renames.
    SelectTreeItemByNames({L"My Documents", L"Books"});
    SetFocus(tree);
    HWND edit = TreeView_EditLabel(tree, books);
    ASSERT_NE(edit, nullptr);
    SetWindowTextW(edit, L"Shelf");
    SendMessageW(window_, WM_COMMAND, IDOK, 0);
    PumpMessages();
    EXPECT_EQ(TreeItemText(books), L"Shelf");
}

}  // namespace
