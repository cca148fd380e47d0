// New folder, rename, delete and refresh on the real main window, with a simulated device whose
// "My Documents" is a folder on disk: what the device ends up holding, what the window shows and
// which boxes appear on the way.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FileOperations.h"
#include "MessageBoxWatch.h"
#include "ProgramHarness.h"
#include "TreeSnapshot.h"
#include "WindowHarness.h"
#include "iPhone.h"
#include "resource.h"

namespace {

const wchar_t kConfirmTitle[] = L"Delete confirmation";

class FileOperationsTest : public ProgramTest {
protected:
    // The container with these files below Documents (and the folders that hold them), "My Documents" shown.
    bool OpenDocuments(std::initializer_list<const wchar_t*> files, const std::string& extraDeviceLines = "")
    {
        container_ = Folder(L"c");
        for (const wchar_t* file : files) SimWriteFile(OnDisk(file), "x");
        return OpenContainer(container_, extraDeviceLines) && SelectFolder({L"My Documents"});
    }
    std::wstring OnDisk(const std::wstring& relative) const { return Documents(container_) + L"\\" + relative; }
    bool Exists(const std::wstring& relative) const
    {
        return GetFileAttributesW(OnDisk(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    static FolderNode* ListNode(const wchar_t* name)
    {
        int index = ListIndex(name);
        return index < 0 ? nullptr : reinterpret_cast<FolderNode*>(ListItemData(g_fileList, index));
    }
    static void SelectItems(std::initializer_list<const wchar_t*> names)
    {
        SetFocus(g_fileList);
        ListView_SetItemState(g_fileList, -1, 0, LVIS_SELECTED);
        for (const wchar_t* name : names) {
            ListView_SetItemState(g_fileList, ListIndex(name), LVIS_SELECTED, LVIS_SELECTED);
        }
    }
    // Selects the named items of the list and deletes them, confirmed.
    void DeleteItems(std::initializer_list<const wchar_t*> names)
    {
        SelectItems(names);
        MessageBoxWatch confirm(kConfirmTitle);
        DeleteSelectedItems();
        PumpMessages();
        EXPECT_TRUE(confirm.Wait(5000));
    }

    std::wstring container_;
};

// --- New folder ----------------------------------------------------------------------------------

TEST_F(FileOperationsTest, NewFolderTakesTheFirstFreeNameAndOpensItsLabelForTheName)
{
    ASSERT_TRUE(OpenDocuments({L"Both\\untitled folder\\x", L"Both\\untitled folder 2\\x",
                               L"Second\\untitled folder 2\\x", L"File\\untitled folder"}));
    struct Case {
        const wchar_t* folder;
        const wchar_t* created;  // null: the creation fails
    } const cases[] = {{L"Both", L"untitled folder 3"}, {L"Second", L"untitled folder"}, {L"File", nullptr}};
    for (const Case& test : cases) {
        SCOPED_TRACE(Utf8Text(test.folder));
        HTREEITEM item = SelectFolder({L"My Documents", test.folder});
        ASSERT_NE(item, nullptr);
        std::vector<std::wstring> before = ListTexts(g_fileList);
        MessageBoxWatch error(L"Error creating new folder");
        CreateNewFolder();
        PumpMessages();
        if (!test.created) {
            ASSERT_TRUE(error.Wait(5000));
            EXPECT_EQ(error.Text(), L"For some reason creating new folder failed.");
            EXPECT_EQ(error.Box().icon, LoadIconW(nullptr, IDI_ERROR));
            EXPECT_EQ(ListTexts(g_fileList), before);
            continue;
        }
        int index = ListIndex(test.created);
        ASSERT_GE(index, 0);
        EXPECT_TRUE(Exists(std::wstring(test.folder) + L"\\" + test.created));
        EXPECT_EQ(ListItemsWithState(g_fileList, LVIS_SELECTED), std::vector<int>{index});
        EXPECT_EQ(ListItemsWithState(g_fileList, LVIS_FOCUSED), std::vector<int>{index});
        EXPECT_NE(TreeChildByText(item, test.created), nullptr);
        HWND edit = ListView_GetEditControl(g_fileList);
        ASSERT_NE(edit, nullptr) << "no label edit on the new folder";
        EXPECT_EQ(GetFocus(), edit);

        // The user types a name and presses Enter.
        SetWindowTextW(edit, L"Named");
        PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
        PumpMessages();
        EXPECT_TRUE(Exists(std::wstring(test.folder) + L"\\Named"));
        EXPECT_FALSE(Exists(std::wstring(test.folder) + L"\\" + test.created));
        EXPECT_EQ(ListIndex(L"Named"), index);
        EXPECT_NE(TreeChildByText(item, L"Named"), nullptr);
        EXPECT_EQ(error.Seen(), 0u);
    }
}

// --- Rename --------------------------------------------------------------------------------------

TEST_F(FileOperationsTest, RenameWarnsInOrderAndSendsEveryOtherNameUnchanged)
{
    ASSERT_TRUE(OpenDocuments({L"Books\\Guide.pdf", L"a.txt", L"b.txt", L"Cafe\u0301.txt"}));
    SimWriteFile(OnDisk(L"c.txt"), "made after the listing");
    TreeSnapshot device = SnapshotTree(Documents(container_));
    auto tree = [this](std::initializer_list<const wchar_t*> names, const wchar_t* text) {
        HTREEITEM item = FolderItem(names);
        RenameTreeFolder(item, reinterpret_cast<FolderNode*>(TreeItemData(item)), text);
    };
    auto list = [](const wchar_t* name, const wchar_t* text) { RenameListItem(ListIndex(name), text); };
    const wchar_t* const kCantRename = L"Can't rename this item";
    const wchar_t* const kInvalid = L"Invalid file name";
    const wchar_t* const kDocuments = L"My Documents";
    const wchar_t* const kBooks = L"Books";
    const wchar_t* const kTakenTitle = L"Can't rename file/folder";
    const wchar_t* const kTaken = L"File/folder with the same name already exists";
    struct Case {
        const char* what;
        const wchar_t* shown;  // the folder shown while renaming: null for the root, or one of My Documents
        std::function<void()> rename;
        const wchar_t* title;  // null: no box
        const wchar_t* text;
        unsigned deviceCalls;
    } const cases[] = {
        {"location folder in the tree, text unchanged", nullptr, [&] { tree({L"My Documents"}, L"My Documents"); },
         L"Error", kCantRename, 0},
        {"location folder in the list", nullptr, [&] { list(L"My Documents", L"Papers"); }, L"Error", kCantRename, 0},
        {"empty name before the location check", nullptr, [&] { list(L"My Documents", L""); }, L"Error", kInvalid, 0},
        {"tree folder that is not the current one", kDocuments, [&] { tree({L"My Documents", L"Books"}, L"Novels"); },
         L"Error", L"Unknown error when renaming folder", 0},
        {"empty name in the tree", kBooks, [&] { tree({L"My Documents", L"Books"}, L""); }, L"Error",
         kInvalid, 0},
        {"\"..\" in the tree", kBooks, [&] { tree({L"My Documents", L"Books"}, L".."); }, L"Error",
         kInvalid, 0},
        {"a slash in the tree", kBooks, [&] { tree({L"My Documents", L"Books"}, L"a/b"); }, L"Error",
         kInvalid, 0},
        {"a slash in the list", kDocuments, [&] { list(L"a.txt", L"../a.txt"); }, L"Error", kInvalid, 0},
        {"\".\" in the list", kDocuments, [&] { list(L"a.txt", L"."); }, L"Error", kInvalid, 0},
        {"\"..\" in the list", kDocuments, [&] { list(L"a.txt", L".."); }, L"Error", kInvalid, 0},
        {"exact sibling name", kDocuments, [&] { list(L"a.txt", L"b.txt"); }, kTakenTitle, kTaken, 0},
        {"unchanged text", kDocuments, [&] { list(L"a.txt", L"a.txt"); }, nullptr, nullptr, 0},
        // The device is asked: it may hold what the listing does not, or take a name for another.
        {"a sibling's name in other letter cases, one name to the device", kDocuments,
         [&] { list(L"a.txt", L"B.TXT"); }, kTakenTitle, kTaken, 0},
        {"a file made on the device after the listing", kDocuments, [&] { list(L"a.txt", L"c.txt"); }, kTakenTitle,
         kTaken, 0},
        {"the item itself in other letter cases", kDocuments, [&] { list(L"a.txt", L"A.TXT"); }, nullptr, nullptr,
         1},
        // Composed and decomposed forms are one name to the device; letter cases are two.
        {"a sibling's name composed otherwise", kDocuments, [&] { list(L"A.TXT", L"Caf\u00e9.txt"); }, kTakenTitle,
         kTaken, 0},
        {"a sibling's name in other letter cases, only listed: the device decides", kDocuments,
         [&] {
             SimFailCall("AFCFileInfoOpen", 1);
             list(L"Books", L"B.TXT");
         },
         nullptr, nullptr, 1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        SelectFolder({});
        if (test.shown == kBooks) {
            ASSERT_NE(SelectFolder({kDocuments, kBooks}), nullptr);
        } else if (test.shown) {
            ASSERT_NE(SelectFolder({kDocuments}), nullptr);
        }
        SimResetCounters();
        MessageBoxWatch box(nullptr, 1, nullptr, {window_});
        test.rename();
        PumpMessages();
        if (test.title) {
            ASSERT_TRUE(box.Wait(5000));
            EXPECT_EQ(box.Title(), test.title);
            EXPECT_EQ(box.Text(), test.text);
            EXPECT_EQ(box.Box().icon, LoadIconW(nullptr, IDI_WARNING));
        } else {
            EXPECT_TRUE(box.NoneWithin(100));
        }
        EXPECT_EQ(SimCallCount("AFCRenamePath"), test.deviceCalls);
    }
    // Relabelled in place; the device refused a folder's name for a file's.
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Books", L"A.TXT", L"b.txt", L"Cafe\u0301.txt"}));
    // Nothing was written over.
    TreeSnapshot after = SnapshotTree(Documents(container_));
    for (const wchar_t* file : {L"b.txt", L"c.txt"}) EXPECT_EQ(after[file], device.at(file)) << Utf8Text(file);
}

TEST_F(FileOperationsTest, ARefusedRenameLeavesTheNodeAsItWas)
{
    ASSERT_TRUE(OpenDocuments({L"Books\\Guide.pdf", L"a.txt"}));
    MessageBoxWatch noBox(nullptr, 1, nullptr, {window_});
    FolderNode* file = ListNode(L"a.txt");
    ASSERT_NE(file, nullptr);
    SimFailCall("AFCRenamePath", 1);
    RenameListItem(ListIndex(L"a.txt"), L"z.txt");
    EXPECT_STREQ(file->name, L"a.txt");
    EXPECT_STREQ(file->path, L"0/a.txt");
    EXPECT_GE(ListIndex(L"a.txt"), 0);

    HTREEITEM books = SelectFolder({L"My Documents", L"Books"});
    FolderNode* folder = g_currentFolder.load();
    SimFailCall("AFCRenamePath", 1);
    RenameTreeFolder(books, folder, L"Novels");
    EXPECT_STREQ(folder->path, L"0/Books");
    EXPECT_EQ(TreeItemText(books), L"Books");
    EXPECT_EQ(PathLineText(), L"My Documents/Books");
    EXPECT_EQ(noBox.Seen(), 0u);

    // Later operations still reach the item under its real name.
    DeleteItems({L"Guide.pdf"});
    SelectFolder({L"My Documents"});
    DeleteItems({L"a.txt"});
    EXPECT_FALSE(Exists(L"Books\\Guide.pdf"));
    EXPECT_FALSE(Exists(L"a.txt"));
}

TEST_F(FileOperationsTest, ARenamedFolderIsReadAgainUnderItsNewName)
{
    ASSERT_TRUE(OpenDocuments({L"Books\\Guide.pdf", L"Books\\Old\\Notes.txt"}));
    // Renamed in the list after its content and a folder below it were read.
    SelectFolder({L"My Documents", L"Books", L"Old"});
    SelectFolder({L"My Documents"});
    FolderNode* books = ListNode(L"Books");
    RenameListItem(ListIndex(L"Books"), L"Library");
    EXPECT_EQ(books->listed, 0);
    EXPECT_EQ(books->children, nullptr);
    EXPECT_EQ(TreeChildTexts(FolderItem({L"My Documents", L"Library"})), Texts({L""}));  // expandable again
    SelectFolder({L"My Documents", L"Library", L"Old"});
    EXPECT_STREQ(g_currentFolder.load()->path, L"0/Library/Old");
    DeleteItems({L"Notes.txt"});
    EXPECT_FALSE(Exists(L"Library\\Old\\Notes.txt"));

    // Renamed in the tree while shown: the list and the folders below are read under the new name.
    HTREEITEM library = SelectFolder({L"My Documents", L"Library"});
    RenameTreeFolder(library, g_currentFolder.load(), L"Shelf");
    EXPECT_EQ(TreeItemText(library), L"Shelf");
    EXPECT_EQ(PathLineText(), L"My Documents/Shelf");
    ASSERT_NE(ListNode(L"Old"), nullptr);
    EXPECT_STREQ(ListNode(L"Old")->path, L"0/Shelf/Old");
    DeleteItems({L"Guide.pdf"});
    EXPECT_FALSE(Exists(L"Shelf\\Guide.pdf"));
    EXPECT_TRUE(Exists(L"Shelf\\Old"));
}

// --- Delete --------------------------------------------------------------------------------------

// The folder is listed again while the confirmation is open (here by a new folder made in it, which
// then is the selection): the deletion was confirmed for items that are gone, and deletes nothing.
TEST_F(FileOperationsTest, NothingIsDeletedWhenTheFolderWasListedAgainDuringTheConfirmation)
{
    ASSERT_TRUE(OpenDocuments({L"a.txt", L"b.txt"}));
    HWND window = window_;
    MessageBoxWatch confirm(kConfirmTitle, 1, [window](HWND box) {
        SendMessageW(window, WM_COMMAND, IDC_NEW_FOLDER, 0);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    MessageBoxWatch noWarning(L"Unexpected error", 1, nullptr, {window_});
    SelectItems({L"a.txt"});
    DeleteSelectedItems();
    ASSERT_TRUE(confirm.Wait(5000));
    PumpMessages();
    if (HWND edit = ListView_GetEditControl(g_fileList)) SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessages();
    EXPECT_TRUE(Exists(L"a.txt"));
    EXPECT_TRUE(Exists(L"untitled folder"));
    EXPECT_TRUE(noWarning.NoneWithin(100));
}

TEST_F(FileOperationsTest, DeleteAsksFirstWithCancelAsTheDefault)
{
    ASSERT_TRUE(OpenDocuments({L"a.txt", L"b.txt", L"c.txt"}));
    struct Case {
        std::initializer_list<const wchar_t*> names;
        const wchar_t* text;
    } const cases[] = {
        {{L"b.txt"},
         L"You are about to delete 1 file/folder from your iPhone / iPod touch.\nThis can't be undone.\n"
         L"Are you sure you want to delete selected file/folder?"},
        {{L"a.txt", L"b.txt", L"c.txt"},
         L"You are about to delete 3 files/folders from your iPhone / iPod touch.\nThis can't be undone.\n"
         L"Are you sure you want to delete selected files/folders?"},
    };
    for (const Case& test : cases) {
        bool cancelIsDefault = false;
        MessageBoxWatch confirm(kConfirmTitle, 1, [&cancelIsDefault](HWND box) {
            LONG style = GetWindowLongW(GetDlgItem(box, IDCANCEL), GWL_STYLE);
            cancelIsDefault = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
            PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        });
        SelectItems(test.names);
        DeleteSelectedItems();
        ASSERT_TRUE(confirm.Wait(5000));
        EXPECT_EQ(confirm.Text(), test.text);
        EXPECT_EQ(confirm.Box().buttons, (std::vector<int>{IDOK, IDCANCEL}));
        EXPECT_EQ(confirm.Box().icon, LoadIconW(nullptr, IDI_WARNING));
        EXPECT_TRUE(cancelIsDefault);
    }
    EXPECT_TRUE(Exists(L"a.txt") && Exists(L"b.txt") && Exists(L"c.txt"));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"a.txt", L"b.txt", L"c.txt"}));
}

// Watches the deleting dialog's line as the deletion writes it: which names it shows, whether each
// was still on the device when shown, whether the previous text had been painted by then, and
// whether a message posted to the main window waited until the end.
struct DeletingLineSpy {
    static DeletingLineSpy* s_active;
    static const UINT kProbe = WM_APP + 100;  // ignored by the main window when it finally arrives
    std::function<bool(const std::wstring&)> onDevice;
    std::vector<std::wstring> texts;
    bool allOnDeviceWhenShown = true;
    bool previousTextPainted = true;
    bool postedMessageWaited = true;
    HHOOK hook;

    explicit DeletingLineSpy(std::function<bool(const std::wstring&)> stillOnDevice)
        : onDevice(std::move(stillOnDevice))
    {
        s_active = this;
        hook = SetWindowsHookExW(WH_CALLWNDPROC, Watch, nullptr, GetCurrentThreadId());
    }
    ~DeletingLineSpy()
    {
        UnhookWindowsHookEx(hook);
        s_active = nullptr;
    }
    void Record(HWND line, const wchar_t* text)
    {
        MSG probe;
        if (texts.empty()) {
            PostMessageW(g_mainWindow.load(), kProbe, 0, 0);
        } else {
            previousTextPainted = previousTextPainted && !GetUpdateRect(line, nullptr, FALSE);
            postedMessageWaited =
                postedMessageWaited && PeekMessageW(&probe, g_mainWindow.load(), kProbe, kProbe, PM_NOREMOVE);
        }
        texts.emplace_back(text);
        allOnDeviceWhenShown = allOnDeviceWhenShown && onDevice(texts.back().substr(wcslen(L"Deleting: ")));
    }
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam)
    {
        const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && s_active && sent->message == WM_SETTEXT &&
            GetDlgCtrlID(sent->hwnd) == IDC_DELETING_TEXT) {
            s_active->Record(sent->hwnd, reinterpret_cast<const wchar_t*>(sent->lParam));
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};
DeletingLineSpy* DeletingLineSpy::s_active = nullptr;

TEST_F(FileOperationsTest, DeleteRemovesAFolderDepthFirstShowingEachNameAndRereadsTheFreeSpace)
{
    ASSERT_TRUE(OpenDocuments({L"Tree\\Sub\\deep.txt", L"Tree\\b.txt", L"Tree\\a.txt", L"keep.txt"}));
    // The device's free space changes behind the program's back; the deletion reads it again.
    ASSERT_EQ(SimLoadConfigText(ContainerConfig(container_, "  free 2048\n").c_str()), 0);
    const std::map<std::wstring, std::wstring> paths = {
        {L"deep.txt", L"Tree\\Sub\\deep.txt"}, {L"Sub", L"Tree\\Sub"}, {L"a.txt", L"Tree\\a.txt"},
        {L"b.txt", L"Tree\\b.txt"}, {L"Tree", L"Tree"}};
    DeletingLineSpy spy([&](const std::wstring& name) { return paths.count(name) && Exists(paths.at(name)); });
    DeleteItems({L"Tree"});
    EXPECT_EQ(spy.texts, Texts({L"Deleting: deep.txt", L"Deleting: Sub", L"Deleting: a.txt", L"Deleting: b.txt",
                                L"Deleting: Tree"}));
    EXPECT_TRUE(spy.allOnDeviceWhenShown);
    EXPECT_TRUE(spy.previousTextPainted) << "the deleting dialog was not repainted between removals";
    EXPECT_TRUE(spy.postedMessageWaited) << "the deletion took posted messages from the queue";
    EXPECT_FALSE(Exists(L"Tree"));
    EXPECT_TRUE(Exists(L"keep.txt"));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"keep.txt"}));
    EXPECT_NE(StatusLineText().find(L"free = 2 KB"), std::wstring::npos) << Utf8Text(StatusLineText());
    EXPECT_TRUE(FindWindowW(nullptr, L"Now Deleting...") == nullptr);
}

TEST_F(FileOperationsTest, ARefusedRemovalStopsTheDeletionAndWarns)
{
    ASSERT_TRUE(OpenDocuments({L"F\\a.txt", L"F\\b.txt", L"F\\c.txt"}));
    SimFailCall("AFCRemovePath", 2);  // b.txt, the second entry removed
    MessageBoxWatch warning(L"Unexpected error");
    DeleteItems({L"F"});
    ASSERT_TRUE(warning.Wait(5000));
    EXPECT_EQ(warning.Text(), L"For some reason deleting operation failed");
    EXPECT_EQ(warning.Box().icon, LoadIconW(nullptr, IDI_WARNING));
    EXPECT_FALSE(Exists(L"F\\a.txt"));
    EXPECT_TRUE(Exists(L"F\\b.txt") && Exists(L"F\\c.txt"));
    // Listed afresh: the folder is there, with what is left in it.
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"F"}));
    SelectFolder({L"My Documents", L"F"});
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"b.txt", L"c.txt"}));
}

// What a folder holds when it is deleted goes with it, a file made after it was listed too.
TEST_F(FileOperationsTest, DeleteRemovesWhatAFolderHoldsNow)
{
    ASSERT_TRUE(OpenDocuments({L"Tree\\a.txt", L"keep.txt"}));
    SelectFolder({L"My Documents", L"Tree"});
    SelectFolder({L"My Documents"});
    SimWriteFile(OnDisk(L"Tree\\later.txt"), "made after the listing");
    MessageBoxWatch warning(L"Unexpected error");
    DeleteItems({L"Tree"});
    EXPECT_TRUE(warning.NoneWithin(300));
    EXPECT_FALSE(Exists(L"Tree"));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"keep.txt"}));
}

TEST_F(FileOperationsTest, DeletingASymbolicLinkKeepsWhatItPointsTo)
{
    ASSERT_TRUE(
        OpenDocuments({L"Full\\x.txt", L"Full\\Sub\\y.txt"}, "  link /Documents/Shortcut -> /Documents/Full\n"));
    FolderNode* link = ListNode(L"Shortcut");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->isFolder, 1);
    EXPECT_EQ(link->isLink, 1);
    EXPECT_EQ(ListNode(L"Full")->isLink, 0);
    // Opened once, so its content (the target's) is loaded.
    SelectFolder({L"My Documents", L"Shortcut"});
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Sub", L"x.txt"}));
    SelectFolder({L"My Documents"});
    SimResetCounters();
    DeleteItems({L"Shortcut"});
    EXPECT_EQ(SimCallCount("AFCRemovePath"), 1u);
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Full"}));
    EXPECT_TRUE(Exists(L"Full\\x.txt") && Exists(L"Full\\Sub\\y.txt"));
}

// --- Refresh -------------------------------------------------------------------------------------

TEST_F(FileOperationsTest, RefreshReturnsToTheRootWithAFreshListing)
{
    ASSERT_TRUE(OpenDocuments({L"Books\\Guide.pdf"}));
    SelectFolder({L"My Documents", L"Books"});
    SimWriteFile(OnDisk(L"new.txt"), "added behind the program's back");
    RefreshLocation();
    PumpMessages();
    EXPECT_EQ(g_currentFolder.load(), g_rootFolder.load());
    EXPECT_EQ(TreeView_GetSelection(TreeControlForTest()), TreeView_GetRoot(TreeControlForTest()));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Downloads", L"My Documents"}));
    EXPECT_EQ(PathLineText(), L"/");
    SelectFolder({L"My Documents"});
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Books", L"new.txt"}));
}

}  // namespace
