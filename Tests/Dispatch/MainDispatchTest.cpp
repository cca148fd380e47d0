// The main window's dispatch: which message reaches which handler, on the real dialog built from its
// template, with a simulated device whose "Tovarel for iPhone" documents are a folder on disk.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "CopyThread.h"
#include "DataObjectReader.h"
#include "DeviceLibrary.h"
#include "HdropData.h"
#include "MainWindow.h"
#include "MessageBoxWatch.h"
#include "ProgramHarness.h"
#include "SimDevice.h"
#include "Startup.h"
#include "TextUtil.h"
#include "WindowHarness.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// --- The device and the program around the window ---------------------------------------------------

std::wstring g_container;  // the app's container on disk; its Documents folder is "My Documents"
std::string g_deviceConfig;  // the simulated device of every case

std::wstring DocumentsPath(const std::wstring& relative)
{
    return g_container + L"\\Documents" + (relative.empty() ? L"" : L"\\" + relative);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The program is started once for every case of this file and stopped at the end.
class ProgramEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        g_container = SimMakeTempFolder(L"tovarel-dispatch");
        for (const wchar_t* folder : {L"", L"Alpha", L"Alpha\\Deep", L"Beta", L"Kappa"}) {
            CreateDirectoryW(DocumentsPath(folder).c_str(), nullptr);
        }
        SimWriteFile(DocumentsPath(L"Alpha\\inner.txt"), "inner");
        SimWriteFile(DocumentsPath(L"notes.txt"), "notes");
        SimWriteFile(DocumentsPath(L"victim.txt"), "victim");
        m_started = StartProgram(GetModuleHandleW(nullptr));
        if (m_started && !g_container.empty()) {
            g_deviceConfig = "device DISPATCH-1\n  name Dispatch Phone\n  app " EDITION_IPHONE_IDENTIFIER " " +
                             std::string(OwnedUtf8(ToUtf8(g_container.c_str())).get()) + "\n";
            m_configured = SimLoadConfigText(g_deviceConfig.c_str()) == 0;
        }
    }
    void TearDown() override
    {
        StopProgram();
        if (!g_container.empty()) SimRemoveTree(g_container);
    }
    bool Ready() const { return m_started && m_configured; }

private:
    bool m_started = false;
    bool m_configured = false;
};

ProgramEnvironment* g_environment =
    static_cast<ProgramEnvironment*>(testing::AddGlobalTestEnvironment(new ProgramEnvironment));

// --- Watching what reaches the dialog procedure -------------------------------------------------------

// Records the tree's end-of-edit notifications on their way to the dialog procedure: null for an
// edit ended without its text, else the text. (Some tree controls report one ending twice.)
struct EndEditSpy {
    static EndEditSpy* s_active;
    HWND window;
    WNDPROC original;
    std::vector<const wchar_t*> reports;  // null, or a pointer into texts
    std::vector<std::wstring> texts;

    explicit EndEditSpy(HWND mainWindow) : window(mainWindow)
    {
        texts.reserve(16);
        s_active = this;
        original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EndEditSpy::Procedure)));
    }
    ~EndEditSpy()
    {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        s_active = nullptr;
    }
    bool FirstHasText() const { return !reports.empty() && reports[0] != nullptr; }
    std::wstring FirstText() const { return FirstHasText() ? reports[0] : L"(no text)"; }
    bool AnyText() const
    {
        for (const wchar_t* report : reports) {
            if (report) return true;
        }
        return false;
    }
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        EndEditSpy* spy = s_active;
        if (message == WM_NOTIFY && lParam &&
            reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(TVN_ENDLABELEDITW) &&
            spy->texts.size() < 16) {
            const NMTVDISPINFOW* info = reinterpret_cast<const NMTVDISPINFOW*>(lParam);
            if (info->item.pszText) {
                spy->texts.push_back(info->item.pszText);
                spy->reports.push_back(spy->texts.back().c_str());
            } else {
                spy->reports.push_back(nullptr);
            }
        }
        return CallWindowProcW(spy->original, window, message, wParam, lParam);
    }
};
EndEditSpy* EndEditSpy::s_active = nullptr;

// --- The fixture: one main window for all the routing cases --------------------------------------------

class MainDispatch : public testing::Test {
protected:
    static HWND s_window;

    static void SetUpTestSuite()
    {
        if (!g_environment->Ready()) return;
        s_window = CreateMainWindowForTest();
        if (!s_window) return;
        ShowWindow(s_window, SW_SHOW);
        // The device arrives, is chosen, and its only edition opens with the root in the file list.
        PumpUntil([] { return g_rootFolder.load() && g_currentFolder.load() == g_rootFolder.load(); }, 20000);
    }
    static void TearDownTestSuite()
    {
        DestroyMainWindowForTest(s_window);
        s_window = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(g_environment->Ready()) << "the program did not start with the simulated library";
        ASSERT_NE(s_window, nullptr) << "the main window was not built";
        ASSERT_NE(g_rootFolder.load(), nullptr) << "the simulated device's location did not open";
        SetModifiers(false, false, false);
        SetForegroundWindow(s_window);
        ShowFolder({});
    }
    void TearDown() override
    {
        SetModifiers(false, false, false);
        HWND tree = Tree();
        if (tree && TreeView_GetEditControl(tree)) TreeView_EndEditLabelNow(tree, TRUE);
        PumpMessages(20);
    }

    static HWND Tree() { return GetDlgItem(s_window, IDC_FOLDER_TREE); }

    static std::wstring ItemText(HWND tree, HTREEITEM item)
    {
        wchar_t text[260] = {};
        TVITEMW data = {};
        data.mask = TVIF_TEXT;
        data.hItem = item;
        data.pszText = text;
        data.cchTextMax = 260;
        TreeView_GetItem(tree, &data);
        return text;
    }

    static HTREEITEM FindChild(HTREEITEM parent, const std::wstring& name)
    {
        HWND tree = Tree();
        for (HTREEITEM child = TreeView_GetChild(tree, parent); child; child = TreeView_GetNextSibling(tree, child)) {
            if (ItemText(tree, child) == name) return child;
        }
        return nullptr;
    }

    // Opens the folders from the root down, the way a user clicks through the tree.
    static HTREEITEM ShowFolder(const std::vector<std::wstring>& names)
    {
        HWND tree = Tree();
        HTREEITEM item = TreeView_GetRoot(tree);
        for (const std::wstring& name : names) {
            TreeView_Expand(tree, item, TVE_EXPAND);
            PumpMessages();
            item = FindChild(item, name);
            if (!item) return nullptr;
        }
        TreeView_SelectItem(tree, item);
        PumpMessages();
        return item;
    }

    static std::wstring CurrentFolderName()
    {
        FolderNode* current = g_currentFolder;
        return current && current->name ? current->name : L"(none)";
    }

    static void SelectOnly(int index)
    {
        ListView_SetItemState(g_fileList, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(g_fileList, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        PumpMessages();
    }

    static void FocusList()
    {
        SetFocus(g_fileList);
        PumpMessages();
    }

    // The generic modifier keys as GetKeyboardState reports them on this thread.
    static void SetModifiers(bool shift, bool ctrl, bool alt)
    {
        BYTE keys[256];
        GetKeyboardState(keys);
        auto set = [&keys](int key, bool down) { keys[key] = down ? 0x80 : 0; };
        set(VK_SHIFT, shift);
        set(VK_LSHIFT, shift);
        set(VK_CONTROL, ctrl);
        set(VK_LCONTROL, ctrl);
        set(VK_MENU, alt);
        set(VK_LMENU, alt);
        SetKeyboardState(keys);
    }

    // The file list's key notification, as the list sends it to its parent.
    static void SendListKey(WORD key)
    {
        NMLVKEYDOWN notice = {};
        notice.hdr.hwndFrom = g_fileList;
        notice.hdr.idFrom = IDC_FILE_LIST;
        notice.hdr.code = LVN_KEYDOWN;
        notice.wVKey = key;
        SendMessageW(s_window, WM_NOTIFY, IDC_FILE_LIST, reinterpret_cast<LPARAM>(&notice));
        PumpMessages();
    }

    static void SendCommand(WPARAM wParam, LPARAM lParam = 0)
    {
        SendMessageW(s_window, WM_COMMAND, wParam, lParam);
        PumpMessages();
    }

    static HWND StartTreeEdit(HTREEITEM item, const wchar_t* newText)
    {
        HWND tree = Tree();
        SetFocus(tree);
        HWND edit = TreeView_EditLabel(tree, item);
        PumpMessages();
        if (edit && newText) SetWindowTextW(edit, newText);
        return TreeView_GetEditControl(tree);
    }
};

HWND MainDispatch::s_window = nullptr;

TEST_F(MainDispatch, TreeSelectionShowsTheFolderInTheList)
{
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    EXPECT_EQ(CurrentFolderName(), L"My Documents");
    EXPECT_GE(ListIndex(L"Alpha"), 0);
    EXPECT_GE(ListIndex(L"notes.txt"), 0);
}

TEST_F(MainDispatch, ExpandingAFolderListsItOnce)
{
    HTREEITEM documents = ShowFolder({L"My Documents"});
    ASSERT_NE(documents, nullptr);
    HTREEITEM alpha = FindChild(documents, L"Alpha");
    ASSERT_NE(alpha, nullptr);
    TreeView_Expand(Tree(), alpha, TVE_EXPAND);
    PumpMessages();
    EXPECT_NE(FindChild(alpha, L"Deep"), nullptr);
    // A second expansion adds nothing twice.
    TreeView_Expand(Tree(), alpha, TVE_COLLAPSE);
    TreeView_Expand(Tree(), alpha, TVE_EXPAND);
    PumpMessages();
    int deep = 0;
    for (HTREEITEM child = TreeView_GetChild(Tree(), alpha); child; child = TreeView_GetNextSibling(Tree(), child)) {
        deep += ItemText(Tree(), child) == L"Deep";
    }
    EXPECT_EQ(deep, 1);
}

TEST_F(MainDispatch, EnterDuringTreeEditCommitsAndKeepsTheWindow)
{
    // A folder is renamed in the tree where it is shown: the user selects it, then edits its label.
    HTREEITEM beta = ShowFolder({L"My Documents", L"Beta"});
    ASSERT_NE(beta, nullptr);
    ASSERT_NE(StartTreeEdit(beta, L"BetaCommitted"), nullptr) << "no label edit on a folder";
    EndEditSpy spy(s_window);
    SendCommand(IDOK);
    EXPECT_EQ(TreeView_GetEditControl(Tree()), nullptr);
    ASSERT_FALSE(spy.reports.empty());
    EXPECT_EQ(spy.FirstText(), L"BetaCommitted");
    EXPECT_TRUE(IsWindowVisible(s_window));
}

TEST_F(MainDispatch, EscapeDuringTreeEditDiscardsAndKeepsTheWindow)
{
    HTREEITEM documents = ShowFolder({L"My Documents"});
    ASSERT_NE(documents, nullptr);
    HTREEITEM alpha = FindChild(documents, L"Alpha");
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(StartTreeEdit(alpha, L"Discarded"), nullptr);
    EndEditSpy spy(s_window);
    SendCommand(IDCANCEL);
    EXPECT_EQ(TreeView_GetEditControl(Tree()), nullptr);
    ASSERT_FALSE(spy.reports.empty());
    EXPECT_FALSE(spy.FirstHasText());
    EXPECT_TRUE(IsWindowVisible(s_window));
    EXPECT_TRUE(Exists(DocumentsPath(L"Alpha")));
    EXPECT_FALSE(Exists(DocumentsPath(L"Discarded")));
    EXPECT_EQ(ItemText(Tree(), alpha), L"Alpha");
}

TEST_F(MainDispatch, EnterInTreeEditRenamesTheFolderOnTheDevice)
{
    HTREEITEM kappa = ShowFolder({L"My Documents", L"Kappa"});
    ASSERT_NE(kappa, nullptr);
    ASSERT_NE(StartTreeEdit(kappa, L"Renamed"), nullptr);
    // Renamed once: a second attempt on the old name would fail with a message.
    MessageBoxWatch anyBox(nullptr, 1, nullptr, {s_window});
    SendCommand(IDOK);
    EXPECT_TRUE(anyBox.NoneWithin(300));
    EXPECT_EQ(ItemText(Tree(), kappa), L"Renamed");
    EXPECT_TRUE(Exists(DocumentsPath(L"Renamed")));
    EXPECT_FALSE(Exists(DocumentsPath(L"Kappa")));
}

TEST_F(MainDispatch, EditOnTheRootEndsAtOnce)
{
    HTREEITEM root = TreeView_GetRoot(Tree());
    ASSERT_NE(root, nullptr);
    EndEditSpy spy(s_window);
    StartTreeEdit(root, nullptr);
    EXPECT_EQ(TreeView_GetEditControl(Tree()), nullptr);
    EXPECT_FALSE(spy.AnyText());
    EXPECT_EQ(ItemText(Tree(), root), L"/");
    // Other folders can be edited.
    HTREEITEM documents = FindChild(root, L"My Documents");
    ASSERT_NE(documents, nullptr);
    HTREEITEM alpha = FindChild(documents, L"Alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_NE(StartTreeEdit(alpha, nullptr), nullptr);
}

TEST_F(MainDispatch, EnterOpensTheSelectedFolderOnlyFromTheFileList)
{
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    int alpha = ListIndex(L"Alpha");
    ASSERT_GE(alpha, 0);
    SelectOnly(alpha);

    // Focus elsewhere: nothing.
    SetFocus(Tree());
    PumpMessages();
    SendCommand(IDOK);
    EXPECT_EQ(CurrentFolderName(), L"My Documents");
    EXPECT_TRUE(IsWindowVisible(s_window));

    FocusList();
    ASSERT_EQ(GetFocus(), g_fileList);
    SendCommand(IDOK);
    EXPECT_EQ(CurrentFolderName(), L"Alpha");
    HTREEITEM selected = TreeView_GetSelection(Tree());
    EXPECT_EQ(ItemText(Tree(), selected), L"Alpha");
    EXPECT_TRUE(IsWindowVisible(s_window));
}

TEST_F(MainDispatch, ControlAAloneSelectsAll)
{
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    int count = ListView_GetItemCount(g_fileList);
    ASSERT_GE(count, 3);
    FocusList();
    ASSERT_EQ(GetFocus(), g_fileList);

    SelectOnly(0);
    SetModifiers(true, true, false);
    SendListKey('A');
    EXPECT_EQ(ListView_GetSelectedCount(g_fileList), 1u) << "Ctrl+Shift+A";

    SetModifiers(false, false, true);
    SendListKey('A');
    EXPECT_EQ(ListView_GetSelectedCount(g_fileList), 1u) << "Alt+A";

    SetModifiers(false, true, true);
    SendListKey('A');
    EXPECT_EQ(ListView_GetSelectedCount(g_fileList), 1u) << "Ctrl+Alt+A";

    SetModifiers(false, false, false);
    SendListKey('A');
    EXPECT_EQ(ListView_GetSelectedCount(g_fileList), 1u) << "A";

    // Not from another list, even with the right keys.
    SetModifiers(false, true, false);
    SetFocus(Tree());
    PumpMessages();
    SendListKey('A');
    EXPECT_EQ(ListView_GetSelectedCount(g_fileList), 1u) << "Ctrl+A without the focus";

    FocusList();
    SendListKey('A');
    EXPECT_EQ(ListView_GetSelectedCount(g_fileList), static_cast<UINT>(count)) << "Ctrl+A";
}

TEST_F(MainDispatch, ControlAAsATypedKeyReachesTheDispatch)
{
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    int count = ListView_GetItemCount(g_fileList);
    FocusList();
    SelectOnly(0);
    SetModifiers(false, true, false);
    // The list turns the key into its notification to the parent.
    SendMessageW(g_fileList, WM_KEYDOWN, 'A', 0);
    PumpMessages();
    EXPECT_EQ(ListView_GetSelectedCount(g_fileList), static_cast<UINT>(count));
}

TEST_F(MainDispatch, BackspaceGoesUpOnlyWithoutModifiers)
{
    ASSERT_NE(ShowFolder({L"My Documents", L"Alpha"}), nullptr);
    ASSERT_EQ(CurrentFolderName(), L"Alpha");
    FocusList();
    ASSERT_EQ(GetFocus(), g_fileList);
    const bool modifiers[][3] = {{true, false, false}, {false, true, false}, {false, false, true}, {true, true, true}};
    for (const auto& keys : modifiers) {
        SetModifiers(keys[0], keys[1], keys[2]);
        SendListKey(VK_BACK);
        EXPECT_EQ(CurrentFolderName(), L"Alpha") << "shift " << keys[0] << " ctrl " << keys[1] << " alt " << keys[2];
    }
    SetModifiers(false, false, false);
    SendListKey(VK_BACK);
    EXPECT_EQ(CurrentFolderName(), L"My Documents");
}

TEST_F(MainDispatch, ShiftDeleteDeletesNothing)
{
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    int notes = ListIndex(L"notes.txt");
    ASSERT_GE(notes, 0);
    FocusList();
    SelectOnly(notes);
    MessageBoxWatch anyBox(nullptr, 1, nullptr, {s_window});
    for (int keys = 1; keys < 8; ++keys) {
        SetModifiers(keys & 1, keys & 2, keys & 4);
        SendListKey(VK_DELETE);
    }
    EXPECT_TRUE(anyBox.NoneWithin(300));
    EXPECT_TRUE(Exists(DocumentsPath(L"notes.txt")));
    EXPECT_GE(ListIndex(L"notes.txt"), 0);
}

TEST_F(MainDispatch, DeleteKeyDeletesTheSelectedFile)
{
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    int victim = ListIndex(L"victim.txt");
    ASSERT_GE(victim, 0);
    FocusList();
    SelectOnly(victim);
    // Whatever the delete asks or shows on the way is answered with OK.
    MessageBoxWatch anyBox(nullptr, 5, nullptr, {s_window});
    SendListKey(VK_DELETE);
    PumpMessages(300);
    EXPECT_FALSE(Exists(DocumentsPath(L"victim.txt")));
}

TEST_F(MainDispatch, DoubleClickOpensOnlyFromTheNameColumn)
{
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    int alpha = ListIndex(L"Alpha");
    ASSERT_GE(alpha, 0);
    FocusList();
    SelectOnly(alpha);
    NMITEMACTIVATE activate = {};
    activate.hdr.hwndFrom = g_fileList;
    activate.hdr.idFrom = IDC_FILE_LIST;
    activate.hdr.code = NM_DBLCLK;
    activate.iItem = alpha;
    activate.iSubItem = 1;
    SendMessageW(s_window, WM_NOTIFY, IDC_FILE_LIST, reinterpret_cast<LPARAM>(&activate));
    PumpMessages();
    EXPECT_EQ(CurrentFolderName(), L"My Documents");

    activate.iSubItem = 0;
    SendMessageW(s_window, WM_NOTIFY, IDC_FILE_LIST, reinterpret_cast<LPARAM>(&activate));
    PumpMessages();
    EXPECT_EQ(CurrentFolderName(), L"Alpha");
}

TEST_F(MainDispatch, OtherSystemCommandsKeepTheirDefaultBehaviour)
{
    SendMessageW(s_window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    PumpMessages(100);
    EXPECT_TRUE(IsWindow(s_window));
    EXPECT_TRUE(IsIconic(s_window));
    SendMessageW(s_window, WM_SYSCOMMAND, SC_RESTORE, 0);
    PumpMessages(100);
    EXPECT_FALSE(IsIconic(s_window));
    SendMessageW(s_window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    PumpMessages(100);
    EXPECT_TRUE(IsZoomed(s_window));
    SendMessageW(s_window, WM_SYSCOMMAND, SC_RESTORE, 0);
    PumpMessages(100);
    EXPECT_FALSE(IsZoomed(s_window));
    EXPECT_TRUE(IsWindowVisible(s_window));
}

TEST_F(MainDispatch, UnknownCommandsAndMessagesAboveTheLastPrivateOneDoNothing)
{
    MessageBoxWatch anyBox(nullptr, 1, nullptr, {s_window});
    PostMessageW(s_window, WM_APP + 8, 0, 0);
    PostMessageW(s_window, WM_APP + 100, 0, 0);
    PostMessageW(s_window, WM_COMMAND, 4242, 0);
    EXPECT_TRUE(anyBox.NoneWithin(500));
    EXPECT_TRUE(IsWindowVisible(s_window));
    EXPECT_EQ(CurrentFolderName(), L"/");
}

struct WarningCase {
    UINT message;
    const wchar_t* text;
    const wchar_t* title;
};

TEST_F(MainDispatch, PrivateMessagesShowTheirWarnings)
{
    const WarningCase cases[] = {
        {WMU_COPY_ERROR, L"Error happened during copy operation", L"TovarelUSB"},
        {WMU_COPY_EXISTS,
         L"The file or folder with the same name already exists at the destination path.\nNothing was copied.",
         L"TovarelUSB - File / folder already exists"},
        {WMU_COPY_CANCELLED, L"Copy operation was cancelled", L"TovarelUSB"},
        {WMU_CANT_COPY_FROM, L"Can't copy from this source", L"TovarelUSB"},
        {WMU_CANT_COPY_TO, L"Can't copy to this location", L"TovarelUSB"},
    };
    for (const WarningCase& warning : cases) {
        SCOPED_TRACE(warning.message - WM_APP);
        MessageBoxWatch watch(warning.title, 1, nullptr, {s_window});
        PostMessageW(s_window, warning.message, 0, 0);
        ASSERT_TRUE(watch.Wait(10000)) << "no box";
        WatchedBox box = watch.Box();
        EXPECT_EQ(box.text, warning.text);
        EXPECT_EQ(box.owner, s_window);
        EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_WARNING));
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        EXPECT_TRUE(IsWindowVisible(s_window));
    }
}

// Ends the copy-busy dialog from inside its own modal loop, as the drag source does when it is done.
void CALLBACK EndCopyBusyDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (HWND dialog = g_copyBusyDialog) {
        KillTimer(nullptr, timer);
        EndDialog(dialog, 0);
    }
}

TEST_F(MainDispatch, PrivateMessagesRunTheCopyDialogsOverTheWindow)
{
    {
        SCOPED_TRACE("copy progress");
        ASSERT_EQ(g_copyThread.load(), nullptr);
        MessageBoxWatch watch(L"Now Copying...", 1, [](HWND) { PostCopyEndNotice(); }, {s_window});
        PostMessageW(s_window, WMU_SHOW_COPY_PROGRESS, 0, 0);
        ASSERT_TRUE(watch.Wait(10000));
        EXPECT_EQ(watch.Box().owner, s_window);
        EXPECT_EQ(g_copyDialog.load(), nullptr);
    }
    {
        SCOPED_TRACE("copy busy");
        // Only while a drag out is open: nothing would close it otherwise.
        g_dragSourceFolder = DupString(L"/Documents");
        MessageBoxWatch watch(L"Now Copying...", 1, [](HWND) {}, {s_window});
        UINT_PTR timer = SetTimer(nullptr, 0, 300, EndCopyBusyDialog);
        PostMessageW(s_window, WMU_SHOW_COPY_BUSY, 0, 0);
        ASSERT_TRUE(watch.Wait(10000));
        KillTimer(nullptr, timer);
        EXPECT_EQ(watch.Box().owner, s_window);
        EXPECT_EQ(watch.Text(), L"Copy operation in progress...");
        FreeString(g_dragSourceFolder);
        g_dragSourceFolder = nullptr;
    }
}

// --- Context menus and the browser's keys ------------------------------------------------------------------

// The menu on the screen, read from its window and closed: each command "+Name" when enabled,
// "-Name" when greyed, without mnemonics and key names.
std::string s_menuSeen;
void CALLBACK ReadAndCloseMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND popup = FindWindowW(L"#32768", nullptr);
    HMENU menu = popup ? reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)) : nullptr;
    if (!menu) return;
    KillTimer(nullptr, timer);
    std::string seen;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = L"";
        if (!GetMenuStringW(menu, i, text, 64, MF_BYPOSITION)) continue;  // a separator
        seen += (GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED) ? " -" : " +";
        for (const wchar_t* c = text; *c && *c != L'\t'; ++c) {
            if (*c != L'&') seen += static_cast<char>(*c);
        }
    }
    s_menuSeen = seen.empty() ? "(empty)" : seen.substr(1);
    EndMenu();
}

std::string MenuOpenedBy(const std::function<void()>& open)
{
    s_menuSeen.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadAndCloseMenu);
    open();
    PumpUntil([] { return !s_menuSeen.empty(); }, 3000);
    KillTimer(nullptr, timer);
    PumpMessages(50);
    return s_menuSeen.empty() ? "(no menu)" : s_menuSeen;
}

void RightClickAt(HWND control, RECT rect)
{
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ClientToScreen(control, &centre);
    ASSERT_TRUE(MoveMouseTo(centre));
    ClickRightButton();
}

// As Explorer's Copy does.
void PutFilesOnClipboard(const std::vector<std::wstring>& paths)
{
    IDataObject* files = nullptr;
    ASSERT_EQ(bed::CreateHdropDataObject(paths, false, &files), S_OK);
    ASSERT_EQ(OleSetClipboard(files), S_OK);
    files->Release();
}

// How a row opens the menu: a right-click on an item (or, with none, on blank space), or a key.
enum class MenuOpener { RightClick, ShiftF10, MenuKey };

TEST_F(MainDispatch, ListMenuOffersWhatAppliesToTheSelection)
{
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    const struct {
        const char* what;
        std::vector<const wchar_t*> selected;  // before the menu opens
        MenuOpener how;
        const wchar_t* clicked;
        bool filesOnClipboard;
        const char* menu;
    } cases[] = {
        {"nothing: a right-click on blank space", {L"notes.txt"}, MenuOpener::RightClick, nullptr, false,
         "-Open -Save to... -Copy -Paste +New folder -Rename -Delete +Refresh +Add files... +Add folder..."},
        {"one file, unselected until right-clicked", {}, MenuOpener::RightClick, L"notes.txt", false,
         "-Open +Save to... +Copy -Paste +New folder +Rename +Delete +Refresh +Add files... +Add folder..."},
        {"a folder and a file, Shift+F10", {L"Alpha", L"notes.txt"}, MenuOpener::ShiftF10, nullptr, false,
         "-Open +Save to... +Copy -Paste +New folder -Rename +Delete +Refresh +Add files... +Add folder..."},
        {"one folder, files on the clipboard, the menu key", {L"Alpha"}, MenuOpener::MenuKey, nullptr, true,
         "+Open +Save to... +Copy +Paste +New folder +Rename +Delete +Refresh +Add files... +Add folder..."},
    };
    auto open = [](MenuOpener how, const wchar_t* clicked) {
        RECT spot = {};
        GetClientRect(g_fileList, &spot);
        spot.top = spot.bottom - 16;
        if (clicked) ListView_GetItemRect(g_fileList, ListIndex(clicked), &spot, LVIR_LABEL);
        SetFocus(g_fileList);
        SetModifiers(how == MenuOpener::ShiftF10, false, false);
        if (how == MenuOpener::RightClick) RightClickAt(g_fileList, spot);
        if (how == MenuOpener::ShiftF10) SendMessageW(g_fileList, WM_SYSKEYDOWN, VK_F10, 0);
        if (how == MenuOpener::MenuKey) SendMessageW(g_fileList, WM_KEYUP, VK_APPS, 0xC0000001);
        SetModifiers(false, false, false);
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        OleSetClipboard(nullptr);
        if (row.filesOnClipboard) PutFilesOnClipboard({DocumentsPath(L"notes.txt")});
        ListView_SetItemState(g_fileList, -1, 0, LVIS_SELECTED);
        for (const wchar_t* name : row.selected) {
            ListView_SetItemState(g_fileList, ListIndex(name), LVIS_SELECTED, LVIS_SELECTED);
        }
        EXPECT_EQ(MenuOpenedBy([&] { open(row.how, row.clicked); }), row.menu);
        // A right-click selects what it hits (nothing on blank space); a key keeps the selection.
        size_t selected = row.clicked ? 1 : row.how == MenuOpener::RightClick ? 0 : row.selected.size();
        EXPECT_EQ(ListView_GetSelectedCount(g_fileList), static_cast<UINT>(selected));
        if (row.clicked) {
            EXPECT_EQ(ListView_GetItemState(g_fileList, ListIndex(row.clicked), LVIS_SELECTED), LVIS_SELECTED);
        }
    }
    OleSetClipboard(nullptr);
}

// Picks the first item of the menu on the screen, as the keys Down and Enter do.
void CALLBACK ChooseFirstMenuItem(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (!popup || !IsWindowVisible(popup)) return;
    KillTimer(nullptr, timer);
    PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
}

// The menu of the folder shown acts on it; the menu of another folder offers to open it, and it
// stays shown until the user chooses that.
TEST_F(MainDispatch, TreeMenuActsOnTheFolderShownAndOpensAnother)
{
    HTREEITEM documents = ShowFolder({L"My Documents"});
    ASSERT_NE(documents, nullptr);
    TreeView_Expand(Tree(), documents, TVE_EXPAND);
    OleSetClipboard(nullptr);
    const char* const kOther = "+Open -Save to... -Copy -Paste -New folder -Rename -Refresh -Add files... -Add folder...";
    const struct {
        HTREEITEM item;
        const char* menu;
    } cases[] = {
        {documents, "-Open +Save to... +Copy -Paste +New folder -Rename +Refresh +Add files... +Add folder..."},
        {FindChild(documents, L"Alpha"), kOther},
        {TreeView_GetRoot(Tree()), kOther},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(std::string(OwnedUtf8(ToUtf8(ItemText(Tree(), row.item).c_str())).get()));
        RECT label = {};
        ASSERT_TRUE(TreeView_GetItemRect(Tree(), row.item, &label, TRUE));
        EXPECT_EQ(MenuOpenedBy([&] { RightClickAt(Tree(), label); }), row.menu);
        EXPECT_EQ(CurrentFolderName(), L"My Documents");
        EXPECT_EQ(TreeView_GetDropHilight(Tree()), nullptr);
    }
    // Open, chosen, shows the folder.
    HTREEITEM alpha = FindChild(documents, L"Alpha");
    RECT label = {};
    ASSERT_TRUE(TreeView_GetItemRect(Tree(), alpha, &label, TRUE));
    UINT_PTR timer = SetTimer(nullptr, 0, 50, ChooseFirstMenuItem);
    RightClickAt(Tree(), label);
    PumpUntil([] { return CurrentFolderName() == L"Alpha"; }, 3000);
    KillTimer(nullptr, timer);
    EXPECT_EQ(CurrentFolderName(), L"Alpha");
    EXPECT_EQ(TreeView_GetSelection(Tree()), alpha);
}

// The names of the files the clipboard offers as virtual files, with their contents ("name=bytes").
std::vector<std::string> VirtualFilesOnClipboard()
{
    std::vector<std::string> found;
    IDataObject* data = nullptr;
    std::vector<OfferedFile> files;
    if (FAILED(OleGetClipboard(&data))) return found;
    GetDescriptors(data, files);
    for (LONG i = 0; i < static_cast<LONG>(files.size()); ++i) {
        std::string bytes = "(unread)";
        ReadContents(data, i, bytes);
        found.push_back(std::string(OwnedUtf8(ToUtf8(files[i].name.c_str())).get()) + "=" + bytes);
    }
    data->Release();
    return found;
}

struct KeyCase {
    const char* what;
    bool inTree;
    WORD key;
    bool shift, ctrl, alt;
    std::vector<std::wstring> folder;  // shown first; the list item "notes.txt" is then selected
    std::function<bool()> happened;
    bool runs;  // false: the key with other modifiers than its own
};

TEST_F(MainDispatch, BrowserKeysRunTheirCommandsOnlyWithTheirModifiers)
{
    const std::wstring pasted = SimMakeTempFolder(L"tovarel-paste") + L"\\pasted.txt";
    ASSERT_TRUE(SimWriteFile(pasted, "pasted"));
    auto listEdit = [] { return ListView_GetEditControl(g_fileList) != nullptr; };
    auto treeEdit = [] { return TreeView_GetEditControl(Tree()) != nullptr; };
    auto shown = [](const wchar_t* name) { return [name] { return CurrentFolderName() == name; }; };
    auto made = [](const wchar_t* name) { return [name] { return Exists(DocumentsPath(name)); }; };
    auto copied = [] { return VirtualFilesOnClipboard() == std::vector<std::string>{"notes.txt=notes"}; };
    const std::vector<std::wstring> documents = {L"My Documents"};
    const std::vector<std::wstring> alpha = {L"My Documents", L"Alpha"};
    const KeyCase cases[] = {
        {"Shift+F2", false, VK_F2, true, false, false, documents, listEdit, false},
        {"F2 in the list", false, VK_F2, false, false, false, documents, listEdit, true},
        {"F2 in the tree", true, VK_F2, false, false, false, alpha, treeEdit, true},
        {"Ctrl+Alt+Up", false, VK_UP, false, true, true, alpha, shown(L"My Documents"), false},
        {"Alt+Up in the list", false, VK_UP, false, false, true, alpha, shown(L"My Documents"), true},
        {"Alt+Up in the tree", true, VK_UP, false, false, true, alpha, shown(L"My Documents"), true},
        {"Ctrl+N", false, 'N', false, true, false, documents, made(L"untitled folder"), false},
        {"Ctrl+Shift+N", false, 'N', true, true, false, documents, made(L"untitled folder"), true},
        {"Ctrl+Shift+C", false, 'C', true, true, false, documents, copied, false},
        {"Ctrl+C", false, 'C', false, true, false, documents, copied, true},
        {"Ctrl+Alt+V", false, 'V', false, true, true, documents, made(L"pasted.txt"), false},
        {"Ctrl+V in the tree", true, 'V', false, true, false, documents, made(L"pasted.txt"), true},
        {"Shift+F5", false, VK_F5, true, false, false, alpha, shown(L"/"), false},
        {"F5 in the tree", true, VK_F5, false, false, false, alpha, shown(L"/"), true},
    };
    for (const KeyCase& row : cases) {
        SCOPED_TRACE(row.what);
        // Ctrl+C finds the clipboard empty; Ctrl+V finds a file copied elsewhere.
        OleSetClipboard(nullptr);
        if (row.key == 'V') PutFilesOnClipboard({pasted});
        ASSERT_NE(ShowFolder(row.folder), nullptr);
        SelectOnly(ListIndex(L"notes.txt"));
        HWND control = row.inTree ? Tree() : g_fileList;
        SetFocus(control);
        SetModifiers(row.shift, row.ctrl, row.alt);
        SendMessageW(control, row.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, row.key, row.alt ? 1 << 29 : 0);
        SetModifiers(false, false, false);
        PumpUntil([] { return !g_copyThread.load() && !g_copyDialog.load(); });
        PumpMessages(50);
        EXPECT_EQ(row.happened(), row.runs);
        if (HWND edit = ListView_GetEditControl(g_fileList)) SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        if (treeEdit()) TreeView_EndEditLabelNow(Tree(), TRUE);
        PumpMessages(20);
    }
    OleSetClipboard(nullptr);
    SimRemoveTree(pasted.substr(0, pasted.rfind(L'\\')));
}

DWORD WINAPI DoNothing(void*)
{
    return 0;
}

// What Ctrl+C put on the clipboard goes when its location closes, also for a program that took it
// before: no stale copy answers.
TEST_F(MainDispatch, TheCopyLeavesTheClipboardWithItsLocation)
{
    OleSetClipboard(nullptr);
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    SelectOnly(ListIndex(L"notes.txt"));
    FocusList();
    SetModifiers(false, true, false);
    SendMessageW(g_fileList, WM_KEYDOWN, 'C', 0);
    SetModifiers(false, false, false);
    ASSERT_EQ(VirtualFilesOnClipboard(), std::vector<std::string>{"notes.txt=notes"});
    IDataObject* taken = nullptr;
    ASSERT_EQ(OleGetClipboard(&taken), S_OK);
    std::vector<OfferedFile> files;
    EXPECT_EQ(GetDescriptors(taken, files), S_OK);
    // While a copy thread has the device's connection, the window's thread may not read from it.
    std::string bytes;
    HANDLE copyThread = CreateThread(nullptr, 0, DoNothing, nullptr, CREATE_SUSPENDED, nullptr);
    g_copyThread = copyThread;
    EXPECT_TRUE(FAILED(ReadContents(taken, 0, bytes)));
    g_copyThread = nullptr;
    ResumeThread(copyThread);
    WaitForSingleObject(copyThread, INFINITE);
    CloseHandle(copyThread);
    EXPECT_EQ(ReadContents(taken, 0, bytes), S_OK);

    SendMessageW(s_window, WM_COMMAND, IDC_REFRESH, 0);
    PumpMessages(50);
    EXPECT_TRUE(VirtualFilesOnClipboard().empty());
    EXPECT_TRUE(FAILED(GetDescriptors(taken, files)) && FAILED(ReadContents(taken, 0, bytes)));
    taken->Release();
}

// Another program pasting the copy reads its files: a transfer is running until it is done. F5 and a
// second Ctrl+C, which would take the copy from under it, change nothing meanwhile.
TEST_F(MainDispatch, APasteReadingTheCopyHoldsOffWhatWouldCutIt)
{
    auto pressCtrlC = [] {
        FocusList();
        SetModifiers(false, true, false);
        SendMessageW(g_fileList, WM_KEYDOWN, 'C', 0);
        SetModifiers(false, false, false);
    };
    OleSetClipboard(nullptr);
    ASSERT_TRUE(SimWriteFile(DocumentsPath(L"second.txt"), "second"));
    SendMessageW(s_window, WM_COMMAND, IDC_REFRESH, 0);
    ASSERT_NE(ShowFolder({L"My Documents"}), nullptr);
    SelectOnly(ListIndex(L"notes.txt"));
    pressCtrlC();
    IDataObject* taken = nullptr;
    ASSERT_EQ(OleGetClipboard(&taken), S_OK);
    std::vector<OfferedFile> files;
    ASSERT_EQ(GetDescriptors(taken, files), S_OK);
    FORMATETC format = ContentsFormat(0);
    STGMEDIUM medium = {};
    ASSERT_EQ(taken->GetData(&format, &medium), S_OK);
    const uint64_t opening = CurrentOpening();
    EXPECT_FALSE(TransferIdle());

    SendMessageW(s_window, WM_COMMAND, IDC_REFRESH, 0);
    PumpMessages(50);
    EXPECT_EQ(CurrentOpening(), opening) << "F5 closed the location under the paste";
    SelectOnly(ListIndex(L"second.txt"));
    pressCtrlC();
    EXPECT_EQ(VirtualFilesOnClipboard(), std::vector<std::string>{"notes.txt=notes"});

    // Read to its end, the file is done with: the commands work again.
    EXPECT_EQ(ReadToEnd(medium.pstm, 3), "notes");
    EXPECT_TRUE(TransferIdle());
    pressCtrlC();
    EXPECT_EQ(VirtualFilesOnClipboard(), std::vector<std::string>{"second.txt=second"});
    ReleaseStgMedium(&medium);
    taken->Release();
    SendMessageW(s_window, WM_COMMAND, IDC_REFRESH, 0);
    PumpMessages(50);
    EXPECT_NE(CurrentOpening(), opening);
    EXPECT_TRUE(VirtualFilesOnClipboard().empty());
    DeleteFileW(DocumentsPath(L"second.txt").c_str());
}

// --- Ending the window, in modal runs as the program runs it ---------------------------------------------

void CALLBACK EndForgottenRun(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    if (HWND window = g_mainWindow) EndDialog(window, 99);
}

class MainWindowEnding : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(g_environment->Ready()); }
    void TearDown() override { DestroyMainWindowForTest(nullptr); }

    // Runs the main window modally; the watcher finds it and does `act`. A timer ends a run that
    // nothing ended, with a result no real ending gives.
    static INT_PTR RunModal(MessageBoxWatch::Closer act, bool* seen)
    {
        MessageBoxWatch watch(L"TovarelUSB", 1, std::move(act));
        UINT_PTR safety = SetTimer(nullptr, 0, 15000, EndForgottenRun);
        INT_PTR result = DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
        KillTimer(nullptr, safety);
        *seen = watch.Seen() == 1;
        return result;
    }
};

// Neither do the close and Exit while a drag out is open (its target may still extract): they would
// cut it off.
TEST_F(MainWindowEnding, EnterAndEscapeNeverEndItTheCloseCommandDoes)
{
    std::atomic<bool> openAfterKeys{false};
    bool seen = false;
    g_dragSourceFolder = DupString(L"/Documents");
    INT_PTR result = RunModal(
        [&openAfterKeys](HWND window) {
            PostMessageW(window, WM_COMMAND, IDOK, 0);
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            PostMessageW(window, WM_COMMAND, IDM_EXIT, 0);
            Sleep(500);
            openAfterKeys = IsWindow(window) && IsWindowVisible(window);
            FreeString(g_dragSourceFolder);
            g_dragSourceFolder = nullptr;
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        },
        &seen);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(openAfterKeys);
    EXPECT_EQ(result, 0);
}

TEST_F(MainWindowEnding, FileExitEndsIt)
{
    bool seen = false;
    INT_PTR result = RunModal([](HWND window) { PostMessageW(window, WM_COMMAND, IDM_EXIT, 0); }, &seen);
    EXPECT_TRUE(seen);
    EXPECT_EQ(result, 0);
}

// A device notice that is still at work when the window closes finds the controls gone: it ends
// quietly, and the program with it.
TEST_F(MainWindowEnding, ClosingWhileADeviceArrivesEndsQuietly)
{
    MessageBoxWatch fatal(L"TovarelUSB - Fatal Error", 1, MessageBoxWatch::FailTestProgram);
    bool seen = false;
    bool held = false;
    INT_PTR result = RunModal(
        [&held](HWND window) {
            auto waitFor = [](const std::function<bool()>& condition) {
                for (DWORD start = GetTickCount(); !condition() && GetTickCount() - start < 10000;) Sleep(10);
                return condition();
            };
            // Besides the device recorded before, a second one arrives and is held halfway.
            SimHoldCall("AMDeviceLookupApplications");
            SimLoadConfigText((g_deviceConfig + "device DISPATCH-2\n  name Second\n").c_str());
            held = waitFor([] { return SimHeldCalls() == 1; });
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            waitFor([window] { return !IsWindow(window); });
            SimReleaseHeldCalls();
        },
        &seen);
    // (The run's watcher is still at its work when the window has gone: `seen` is not asked.)
    EXPECT_TRUE(held);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(SimWaitNotices());
    EXPECT_TRUE(fatal.NoneWithin(200));
    SimLoadConfigText(g_deviceConfig.c_str());
}

}  // namespace
