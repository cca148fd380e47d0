// The drop source and the drag loop. The system's drag loop runs on the test thread, started by the
// program's own begin-drag handlers; real mouse and keyboard input (SendInput) from a helper thread
// moves over a drop target window of this process and then drops or cancels.
#include <algorithm>
#include <functional>
#include <atomic>
#include <map>
#include <thread>

#include "DragOut.h"
#include "DragOutSupport.h"
#include "WindowHarness.h"

namespace {

// A drop target that takes virtual files as Explorer does: inside Drop, or, in late mode when the data
// object allows it, after the drag loop (StartOperation in Drop, everything else later).
class ExtractingTarget final : public IDropTarget {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        *object = (iid == IID_IUnknown || iid == IID_IDropTarget) ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        ++entered;
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        ++dropped;
        *effect = DROPEFFECT_COPY;
        IDataObjectAsyncCapability* async = nullptr;
        BOOL asynchronous = FALSE;
        if (late && SUCCEEDED(data->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async))) &&
            SUCCEEDED(async->GetAsyncMode(&asynchronous)) && asynchronous) {
            async->StartOperation(nullptr);
            data->AddRef();
            pendingData.reset(data);
            pendingOperation.reset(async);
            return S_OK;
        }
        if (async) async->Release();
        Extract(data);
        return S_OK;
    }

    // The late extraction, then the end of the operation.
    void FinishPending()
    {
        Extract(pendingData.get());
        pendingOperation->EndOperation(S_OK, nullptr, DROPEFFECT_COPY);
        pendingOperation.reset();
        pendingData.reset();
    }
    void Extract(IDataObject* data)
    {
        descriptors = GetDescriptors(data, files);
        for (size_t i = 0; i < files.size(); ++i) {
            if (files[i].attributes == FILE_ATTRIBUTE_DIRECTORY) continue;
            EXPECT_EQ(ReadContents(data, static_cast<LONG>(i), contents[files[i].name]), S_OK) << i;
        }
    }
    void Clear()
    {
        entered = 0;
        dropped = 0;
        late = false;
        descriptors = E_FAIL;
        files.clear();
        contents.clear();
    }

    std::atomic<int> entered{0};
    int dropped = 0;
    bool late = false;
    HRESULT descriptors = E_FAIL;
    std::vector<OfferedFile> files;
    std::map<std::wstring, std::string> contents;
    Held<IDataObject> pendingData;
    Held<IDataObjectAsyncCapability> pendingOperation;
};

ExtractingTarget s_target;
HWND s_targetWindow;
bool s_busyDialogSeen;

void CALLBACK FinishWhenTheBusyDialogShows(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_copyBusyDialog.load() || !s_target.pendingOperation) return;
    s_busyDialogSeen = true;
    s_target.FinishPending();
}

void PressEscapeKey()
{
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMilliseconds)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20)) {
        if (GetTickCount() - start > timeoutMilliseconds) return false;
    }
    return true;
}

class DropSourceTest : public DragOutTest {
public:
    static void SetUpTestSuite()
    {
        // Shown once for the whole program: Wine without a window manager waits when a shown window goes.
        s_targetWindow = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"Drop here", WS_POPUP | WS_BORDER | WS_VISIBLE | SS_NOTIFY,
                                         600, 300, 300, 200, nullptr, nullptr, nullptr, nullptr);
        RegisterDragDrop(s_targetWindow, &s_target);
        SetForegroundWindow(s_targetWindow);
    }
    static void TearDownTestSuite()
    {
        RevokeDragDrop(s_targetWindow);
        DestroyWindow(s_targetWindow);
    }

protected:
    enum class Finish { Drop, Cancel };

    void SetUp() override
    {
        DragOutTest::SetUp();
        s_target.Clear();
        ASSERT_TRUE(MoveMouseTo(TargetPoint(0)));
    }
    void TearDown() override
    {
        if (s_target.pendingOperation) s_target.FinishPending();
        DragOutTest::TearDown();
    }

    static POINT TargetPoint(int offset)
    {
        RECT rect = ClientRectOnScreen(s_targetWindow);
        return POINT{(rect.left + rect.right) / 2 + offset, (rect.top + rect.bottom) / 2 + offset};
    }

    // One drag with the real mouse: the button goes down over the target window, `begin` runs the
    // drag loop on this thread, and a helper thread moves within the window until the target sees the
    // drag, then releases the button or presses Escape.
    void Drag(const std::function<void()>& begin, Finish finish)
    {
        SetForegroundWindow(s_targetWindow);
        PressLeftButton();
        DWORD thread = GetCurrentThreadId();
        int enteredBefore = s_target.entered;
        std::thread helper([&] {
            WaitFor([&] {
                GUITHREADINFO info = {};
                info.cbSize = sizeof(info);
                return GetGUIThreadInfo(thread, &info) && info.hwndCapture;
            }, 5000);
            for (int step = 1; step <= 100 && s_target.entered == enteredBefore; ++step) {
                MoveMouseTo(TargetPoint(step % 2 ? 8 : 0));
                Sleep(60);
            }
            if (finish == Finish::Cancel) PressEscapeKey();
            Sleep(finish == Finish::Cancel ? 300 : 0);
            ReleaseLeftButton();
        });
        begin();
        helper.join();
    }

    void ShowMyDocumentsInList()
    {
        HWND tree = TreeControlForTest();
        TreeView_SelectItem(tree, TreeChildByText(TreeView_GetRoot(tree), L"My Documents"));
        PumpMessages();
    }
    void SelectListItems(std::initializer_list<const wchar_t*> texts)
    {
        ListView_SetItemState(g_fileList, -1, 0, LVIS_SELECTED);
        std::vector<std::wstring> shown = ListTexts(g_fileList);
        for (const wchar_t* text : texts) {
            int index = static_cast<int>(std::find(shown.begin(), shown.end(), text) - shown.begin());
            ASSERT_LT(index, static_cast<int>(shown.size())) << testing::PrintToString(std::wstring(text));
            ListView_SetItemState(g_fileList, index, LVIS_SELECTED, LVIS_SELECTED);
        }
    }
    // "Books" and "readme.txt" dropped on a target that extracts only after the drag loop.
    void DropForLateExtraction()
    {
        ShowMyDocumentsInList();
        SelectListItems({L"Books", L"readme.txt"});
        s_target.late = true;
        Drag(BeginListDrag, Finish::Drop);
        ASSERT_EQ(s_target.dropped, 1);
        ASSERT_TRUE(s_target.pendingOperation);
    }
    static bool DragOutReleased()
    {
        return !g_dragSourceFolder && !g_dragDescriptors && !g_dragDevicePaths && !g_transferList.load();
    }
    static void ExpectBooksAndReadme()
    {
        ASSERT_EQ(s_target.descriptors, S_OK);
        ASSERT_EQ(s_target.files.size(), 6u);
        EXPECT_EQ(s_target.files[0], FolderEntry(L"Books"));
        EXPECT_EQ(s_target.files[5], FileEntry(L"readme.txt", 11));
        std::map<std::wstring, std::string> expected = {{L"Books\\Guide.pdf", std::string(1200, 'g')},
                                                        {L"Books\\Old\\Notes.txt", "notes"},
                                                        {L"readme.txt", "hello world"}};
        EXPECT_EQ(s_target.contents, expected);
    }
};

TEST_F(DropSourceTest, AnswersOfTheDropSource)
{
    Held<IDropSource> source(NewDropSource());
    struct Case {
        BOOL escape;
        DWORD keys;
        HRESULT answer;
    };
    const Case cases[] = {
        {TRUE, MK_LBUTTON, DRAGDROP_S_CANCEL}, {TRUE, 0, DRAGDROP_S_CANCEL},
        {FALSE, MK_LBUTTON, S_OK},             {FALSE, MK_LBUTTON | MK_SHIFT | MK_RBUTTON, S_OK},
        {FALSE, 0, DRAGDROP_S_DROP},           {FALSE, MK_RBUTTON | MK_CONTROL, DRAGDROP_S_DROP},
    };
    for (const Case& c : cases) EXPECT_EQ(source->QueryContinueDrag(c.escape, c.keys), c.answer) << c.escape << c.keys;
    for (DWORD effect : {DROPEFFECT_NONE, DROPEFFECT_COPY, DROPEFFECT_MOVE | DROPEFFECT_LINK}) {
        EXPECT_EQ(source->GiveFeedback(effect), DRAGDROP_S_USEDEFAULTCURSORS);
    }
    void* object = nullptr;
    for (const IID& iid : {IID_IUnknown, IID_IDropSource}) {
        ASSERT_EQ(source->QueryInterface(iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IUnknown*>(source.get()));
        EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 1u);
    }
    EXPECT_EQ(source->QueryInterface(IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(source->AddRef(), 2u);
    EXPECT_EQ(source->Release(), 1u);
}

TEST_F(DropSourceTest, EscapeCancelsAndTheNextDragDrops)
{
    ShowMyDocumentsInList();
    SelectListItems({L"readme.txt", L"Books"});
    Drag(BeginListDrag, Finish::Cancel);
    EXPECT_GE(s_target.entered, 1);
    EXPECT_EQ(s_target.dropped, 0);
    EXPECT_TRUE(DragOutReleased());

    Drag(BeginListDrag, Finish::Drop);
    EXPECT_EQ(s_target.dropped, 1);
    ExpectBooksAndReadme();  // in list order: the folder first
    EXPECT_TRUE(DragOutReleased());
}

TEST_F(DropSourceTest, TheTreeOffersALocationUnderItsName)
{
    HWND tree = TreeControlForTest();
    HTREEITEM root = TreeView_GetRoot(tree);
    NMTREEVIEWW notice = {};
    notice.hdr.hwndFrom = tree;
    notice.hdr.code = TVN_BEGINDRAGW;
    notice.itemNew.hItem = TreeChildByText(root, L"My Documents");
    notice.itemNew.lParam = TreeItemData(notice.itemNew.hItem);
    Drag([&] { BeginTreeDrag(&notice); }, Finish::Drop);
    ASSERT_EQ(s_target.dropped, 1);
    ASSERT_EQ(s_target.descriptors, S_OK);
    ASSERT_FALSE(s_target.files.empty());
    EXPECT_EQ(s_target.files[0], FolderEntry(L"My Documents"));
    EXPECT_EQ(s_target.contents[L"My Documents\\readme.txt"], "hello world");
    EXPECT_TRUE(DragOutReleased());
}

// The drag loop is over, the target extracts later while the busy dialog is shown.
TEST_F(DropSourceTest, LateExtractionWhileTheBusyDialogIsShown)
{
    ASSERT_NO_FATAL_FAILURE(DropForLateExtraction());
    EXPECT_TRUE(s_target.files.empty());
    EXPECT_NE(g_dragSourceFolder, nullptr);  // still open, with the transfer list already released
    EXPECT_EQ(g_transferList.load(), nullptr);

    // No second drag out while the first one's extraction runs.
    BeginListDrag();
    EXPECT_EQ(s_target.dropped, 1);

    s_busyDialogSeen = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, FinishWhenTheBusyDialogShows);
    EXPECT_TRUE(PumpUntil([] { return !s_target.pendingOperation; }, 10000));
    KillTimer(nullptr, timer);
    EXPECT_TRUE(s_busyDialogSeen);
    EXPECT_EQ(g_copyBusyDialog.load(), nullptr);
    ExpectBooksAndReadme();
    EXPECT_TRUE(DragOutReleased());
}

// The target ends its operation before the posted request for the busy dialog is handled: no dialog
// opens (nothing would close it), and the next drag works.
TEST_F(DropSourceTest, AnOperationEndedBeforeItsBusyDialogOpensNoDialog)
{
    ASSERT_NO_FATAL_FAILURE(DropForLateExtraction());
    s_target.FinishPending();
    EXPECT_EQ(BusyDialogsWhilePumping(nullptr), 0);
    ExpectBooksAndReadme();
    EXPECT_TRUE(DragOutReleased());

    s_target.Clear();
    Drag(BeginListDrag, Finish::Drop);
    EXPECT_EQ(s_target.dropped, 1);
    ExpectBooksAndReadme();
}

TEST_F(DropSourceTest, NoDragStartsWhenItMustNot)
{
    ShowMyDocumentsInList();
    auto* upload = static_cast<TransferItem*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TransferItem)));
    upload->localPath = DupString(L"C:\\x.txt");
    upload->devicePath = DupString(L"/Documents/x.txt");
    HWND tree = TreeControlForTest();
    NMTREEVIEWW rootNotice = {};
    rootNotice.itemNew.hItem = TreeView_GetRoot(tree);
    rootNotice.itemNew.lParam = TreeItemData(rootNotice.itemNew.hItem);
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::function<void()> begin;
    };
    const Case cases[] = {
        // An upload is being prepared: the drop's source may answer only now.
        {"a drop is asking its source", [&] { SelectListItems({L"readme.txt"}); NoteDropAskingSource(true); },
         BeginListDrag},
        {"an upload holds the transfer list",
         [&] {
             NoteDropAskingSource(false);
             SelectListItems({L"readme.txt"});
             g_transferList = upload;
         },
         BeginListDrag},
        {"nothing is selected", [&] { SelectListItems({}); }, BeginListDrag},
        {"a selected item has no entry",
         [&] {
             SelectListItems({L"readme.txt"});
             LVITEMW item = {};
             item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
             item.iItem = 1000;
             item.pszText = const_cast<wchar_t*>(L"stray");
             item.state = item.stateMask = LVIS_SELECTED;
             ListView_InsertItem(g_fileList, &item);
         },
         BeginListDrag},
        {"the root of the tree", [] {}, [&] { BeginTreeDrag(&rootNotice); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        c.begin();
        PumpMessages(100);
        EXPECT_EQ(s_target.entered, 0);
        EXPECT_EQ(g_dragSourceFolder, nullptr);
        EXPECT_EQ(g_dragDescriptors, nullptr);
    }
    EXPECT_EQ(g_transferList.load(), upload);  // the upload's list is left as it was
    FreeTransferList();
}

}  // namespace
