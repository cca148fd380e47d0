#include "MainWindowFixture.h"

#include <string>
#include <thread>

#include "Devices.h"
#include "MessageBoxWatch.h"
#include "StatusLine.h"

namespace {

const AFCConnectionRef kSomeConnection = reinterpret_cast<AFCConnectionRef>(0x1234);

// Hand-made device and folder records, put in place for one test and taken away after it.
class StatusLine : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        device_.name = name_;
        device_.afc = kSomeConnection;
        root_.isFolder = 1;
        folder_.isFolder = 1;
        folder_.parent = &root_;
        folder_.path = folderPath_;
    }
    void TearDown() override
    {
        g_connectionError = 0;
        g_currentFolder = nullptr;
        g_rootFolder = nullptr;
        g_currentDevice = nullptr;
        g_devices = nullptr;
        MainWindowTest::TearDown();
    }

    void MakeCurrent(DeviceEntry* device)
    {
        g_devices = device;
        g_currentDevice = device;
    }
    void ShowFolder(FolderNode* folder)
    {
        g_rootFolder = &root_;
        g_currentFolder = folder;
    }
    std::wstring Status()
    {
        UpdateStatusLine();
        std::wstring text(4096, L'\0');
        text.resize(GetDlgItemTextW(window_, IDC_STATUS_LINE, &text[0], 4096));
        return text;
    }
    HANDLE Icon(int id) { return ToolbarIcon(id); }
    HANDLE ButtonIcon(int button)
    {
        return reinterpret_cast<HANDLE>(SendDlgItemMessageW(window_, button, BM_GETIMAGE, IMAGE_ICON, 0));
    }
    void ExpectIcons(int newFolder, int remove, int up, int refresh)
    {
        UpdateToolbar();
        EXPECT_EQ(Icon(newFolder), ButtonIcon(IDC_NEW_FOLDER));
        EXPECT_EQ(Icon(remove), ButtonIcon(IDC_DELETE));
        EXPECT_EQ(Icon(up), ButtonIcon(IDC_UP));
        EXPECT_EQ(Icon(refresh), ButtonIcon(IDC_REFRESH));
    }
    void AddSelectedFileListItem()
    {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_STATE;
        item.pszText = const_cast<wchar_t*>(L"a.txt");
        item.state = item.stateMask = LVIS_SELECTED;
        ASSERT_EQ(0, ListView_InsertItem(g_fileList, &item));
    }

    wchar_t name_[16] = L"Anna's iPad";
    wchar_t folderPath_[8] = L"0/Notes";
    DeviceEntry device_ = {};
    DeviceEntry other_ = {};
    FolderNode root_ = {};
    FolderNode folder_ = {};
};

TEST_F(StatusLine, TextsInTheirOrderOfPrecedence)
{
    EXPECT_EQ(L"Connect iPhone, iPod touch or iPad with Tovarel app installed", Status());

    other_.next = nullptr;
    g_devices = &other_;
    EXPECT_EQ(L"", Status());

    MakeCurrent(&device_);
    EXPECT_EQ(L"Anna's iPad", Status());
    device_.fsInconsistent = 1;
    device_.hasTotalBytes = 1;
    device_.totalBytes = 1073741824;
    EXPECT_EQ(L"Anna's iPad (detected file system inconsistency)", Status());

    g_connectionError = 1;
    EXPECT_EQ(L"Connection error. Please disconnect and reconnect your device.", Status());
    g_devices = nullptr;
    g_currentDevice = nullptr;
    EXPECT_EQ(L"Connection error. Please disconnect and reconnect your device.", Status());
}

TEST_F(StatusLine, StorageFiguresInTheirThreeForms)
{
    MakeCurrent(&device_);
    device_.hasTotalBytes = 1;
    device_.totalBytes = 17154703360ull;
    device_.hasFreeBytes = 1;
    device_.freeBytes = 1572864;
    EXPECT_EQ(L"Anna's iPad (disk space = 15.10 GB, free = 1.5 MB)", Status());
    device_.hasFreeBytes = 0;
    EXPECT_EQ(L"Anna's iPad (disk space = 15.10 GB)", Status());
    device_.hasTotalBytes = 0;
    device_.hasFreeBytes = 1;
    EXPECT_EQ(L"Anna's iPad (free = 1.5 MB)", Status());
    // The figures do not disturb the formatter's own buffer that the file list reads.
    const wchar_t* size = FormatSize(1029);
    Status();
    EXPECT_STREQ(L"2 KB", size);
}

TEST_F(StatusLine, MissingEmptyAndOverlongNames)
{
    MakeCurrent(&device_);
    device_.hasFreeBytes = 1;
    device_.freeBytes = 0;
    wchar_t empty[1] = L"";
    for (wchar_t* name : {static_cast<wchar_t*>(nullptr), empty}) {
        device_.name = name;
        EXPECT_EQ(L"??? (free = 0 B)", Status());
    }

    // A name too long for the line is cut, with an ellipsis, so that the figures still show.
    std::wstring longName(5000, L'x');
    device_.name = &longName[0];
    EXPECT_EQ(std::wstring(256, L'x') + L"\u2026 (free = 0 B)", Status());
}

TEST_F(StatusLine, StatusTextReachesTheFirstButton)
{
    HWND status = Control(IDC_STATUS_LINE);
    RECT before = Rect(IDC_STATUS_LINE);
    MoveWindow(status, before.left, before.top, 20, before.bottom - before.top, TRUE);
    UpdateStatusLine();
    RECT after = Rect(IDC_STATUS_LINE);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);
    EXPECT_EQ(before.bottom, after.bottom);
    EXPECT_EQ(Rect(IDC_NEW_FOLDER).left, after.right);
}

TEST_F(StatusLine, ToolbarIconsFollowTheBrowsingState)
{
    ExpectIcons(IDI_NEW_FOLDER_DISABLED, IDI_DELETE_DISABLED, IDI_UP_DISABLED, IDI_REFRESH_DISABLED);

    MakeCurrent(&device_);
    AddSelectedFileListItem();
    SetFocus(g_fileList);
    ShowFolder(&root_);
    ExpectIcons(IDI_NEW_FOLDER_DISABLED, IDI_DELETE_DISABLED, IDI_UP_DISABLED, IDI_REFRESH);

    ShowFolder(&folder_);
    ExpectIcons(IDI_NEW_FOLDER, IDI_DELETE, IDI_UP, IDI_REFRESH);

    SetFocus(Control(IDC_FOLDER_TREE));
    ExpectIcons(IDI_NEW_FOLDER, IDI_DELETE_DISABLED, IDI_UP, IDI_REFRESH);

    SetFocus(g_fileList);
    ListView_SetItemState(g_fileList, -1, 0, LVIS_SELECTED);
    ExpectIcons(IDI_NEW_FOLDER, IDI_DELETE_DISABLED, IDI_UP, IDI_REFRESH);

    // A device without a file connection (its location could not be opened) offers only Refresh.
    ListView_SetItemState(g_fileList, 0, LVIS_SELECTED, LVIS_SELECTED);
    device_.afc = nullptr;
    ExpectIcons(IDI_NEW_FOLDER_DISABLED, IDI_DELETE_DISABLED, IDI_UP_DISABLED, IDI_REFRESH);
}

TEST_F(StatusLine, OtherThreadsSeeTheWindowsFocusAndReachTheControlsBySending)
{
    MakeCurrent(&device_);
    ShowFolder(&folder_);
    AddSelectedFileListItem();
    SetFocus(Control(IDC_FOLDER_TREE));
    ASSERT_EQ(Control(IDC_FOLDER_TREE), GetFocus());
    device_.hasTotalBytes = 1;
    device_.totalBytes = 2096128;

    int canDelete = -1;
    bool done = false;
    std::thread notice([&] {
        canDelete = CanDelete();
        UpdateStatusLine();
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done; }));
    notice.join();
    EXPECT_EQ(0, canDelete);
    EXPECT_EQ(Icon(IDI_DELETE_DISABLED), ButtonIcon(IDC_DELETE));
    wchar_t text[128] = L"";
    GetDlgItemTextW(window_, IDC_STATUS_LINE, text, 128);
    EXPECT_STREQ(L"Anna's iPad (disk space = 1.10 MB)", text);
}

HWND GoneWindow(const wchar_t* windowClass)
{
    HWND window = CreateWindowExW(0, windowClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_instance, nullptr);
    DestroyWindow(window);
    return window;
}

// Work that runs on for a device notice or an upload after the window is gone shows nothing, and
// finds no broken invariant in the controls that went with it.
TEST(StatusLineWithoutWindow, DoesNothingBeforeTheWindowExistsOrAfterItIsGone)
{
    MessageBoxWatch fatal(L"TovarelUSB - Fatal Error", 1, MessageBoxWatch::FailTestProgram);
    g_mainWindow = nullptr;
    UpdateStatusLine();
    UpdateToolbar();

    FolderNode root = {};
    FolderNode folder = {};
    folder.isFolder = root.isFolder = 1;
    folder.parent = &root;
    DeviceEntry second = {};
    DeviceEntry first = {};
    first.afc = kSomeConnection;
    first.locations[0] = EDITION_IPAD;
    first.locations[1] = EDITION_IPHONE;
    first.openLocation = EDITION_IPHONE;
    first.next = &second;
    g_devices = &first;
    g_currentDevice = &first;
    g_rootFolder = &root;
    g_currentFolder = &folder;
    g_mainWindow = GoneWindow(L"STATIC");
    g_deviceList = GoneWindow(WC_LISTVIEWW);
    g_locationsList = GoneWindow(WC_LISTVIEWW);
    UpdateStatusLine();
    EXPECT_EQ(CanDelete(), 0);
    FillDeviceList();
    FillLocationsList();
    // So also while the window is being destroyed, when its controls go one by one.
    g_mainWindow = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_instance, nullptr);
    g_mainWindowClosing = true;
    EXPECT_EQ(CanDelete(), 0);
    FillDeviceList();
    DestroyWindow(g_mainWindow);
    g_mainWindowClosing = false;

    g_mainWindow = nullptr;
    g_deviceList = g_locationsList = nullptr;
    g_devices = g_currentDevice = nullptr;
    g_rootFolder = g_currentFolder = nullptr;
    EXPECT_TRUE(fatal.NoneWithin(100));
}

}  // namespace
