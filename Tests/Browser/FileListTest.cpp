// The file list: a folder's items with sizes, icons and the path line, and the ways of moving
// between folders from the list.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BrowserSupport.h"
#include "FileList.h"
#include "SimDevice.h"
#include "StatusLine.h"
#include "TextUtil.h"
#include "WindowHarness.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// The graphics objects this process holds. Wine does not count them for GetGuiResources; there they
// are found from the room its handle table has left, by making small objects until no more can
// be made (and deleting them again). Only the difference of two counts means something.
int GraphicsObjectsInUse()
{
    SetLastError(ERROR_SUCCESS);
    DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return static_cast<int>(counted);
    const size_t ceiling = 100000;
    std::vector<HBRUSH> made;
    made.reserve(ceiling);
    while (made.size() < ceiling) {
        HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
        if (!brush) break;
        made.push_back(brush);
    }
    for (HBRUSH brush : made) DeleteObject(brush);
    return static_cast<int>(ceiling - made.size());
}

// The values of the first parameter of one message that reaches some windows, on its way to them.
class MessageLog {
public:
    MessageLog(std::initializer_list<HWND> windows, UINT message) : windows_(windows), message_(message)
    {
        for (HWND window : windows_) SetWindowSubclass(window, Record, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ~MessageLog()
    {
        for (HWND window : windows_) RemoveWindowSubclass(window, Record, 1);
    }
    // What came since the last call.
    std::vector<WPARAM> Take() { return std::move(values_); }

private:
    static LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
    {
        MessageLog* log = reinterpret_cast<MessageLog*>(data);
        if (message == log->message_) log->values_.push_back(wParam);
        return DefSubclassProc(window, message, wParam, lParam);
    }

    std::vector<HWND> windows_;
    UINT message_;
    std::vector<WPARAM> values_;
};

class FileListTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        container_ = Folder(L"c");
        SimWriteFile(Documents(container_) + L"\\Books\\Guide.pdf", std::string(1200, 'g'));
        SimWriteFile(Documents(container_) + L"\\Books\\Old\\Notes.txt", "notes");
        CreateDirectoryW((Documents(container_) + L"\\Empty").c_str(), nullptr);
        SimWriteFile(Documents(container_) + L"\\readme.txt", "hello world");
        SimWriteFile(Documents(container_) + L"\\big.bin", std::string(5000, 'b'));
        ASSERT_TRUE(OpenContainer(container_));
    }

    HICON DeleteButtonIcon()
    {
        return reinterpret_cast<HICON>(SendDlgItemMessageW(window_, IDC_DELETE, BM_GETIMAGE, IMAGE_ICON, 0));
    }

    std::wstring container_;
};

std::wstring DateText(uint64_t fileTime)
{
    OwnedWide text(FormatFileTime(fileTime));
    return text ? text.get() : L"";
}

TEST_F(FileListTest, FolderShowsItsItemsFoldersFirstWithSizesIconsAndPath)
{
    // The device's dates: folders have theirs too, one before 1970 is a date, one the device gives
    // as no date is shown as none.
    const std::wstring documents = Documents(container_);
    ASSERT_TRUE(SimSetWriteTime(documents + L"\\big.bin", SimFileTime(1969, 7, 20, 20, 17, 40)));
    ASSERT_TRUE(SimSetWriteTime(documents + L"\\Books", SimFileTime(2001, 2, 3, 4, 5, 6)));
    ASSERT_TRUE(LoadDevices(ContainerConfig(container_, "  mtime nonsense /Documents/readme.txt\n")));
    SelectFolder({L"My Documents"});
    EXPECT_EQ(ListTexts(g_fileList, 2),
              std::vector<std::wstring>({DateText(SimFileTime(2001, 2, 3, 4, 5, 6)),
                                         DateText(SimWriteTime(documents + L"\\Empty")),
                                         DateText(SimFileTime(1969, 7, 20, 20, 17, 40)), L""}));
    EXPECT_NE(ListTexts(g_fileList, 2)[1], L"");
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Books", L"Empty", L"big.bin", L"readme.txt"}));
    std::wstring bigSize = FormatSize(5000);
    std::wstring smallSize = FormatSize(11);
    EXPECT_EQ(ListTexts(g_fileList, 1), std::vector<std::wstring>({L"", L"", bigSize, smallSize}));
    EXPECT_EQ(ListTexts(g_fileList, 1)[3], L"11 B");
    std::vector<int> images = ListImages(g_fileList);
    EXPECT_EQ(images[0], 0);
    EXPECT_EQ(images[1], 0);
    EXPECT_GE(images[2], 1);
    EXPECT_GE(images[3], 1);
    EXPECT_EQ(PathLineText(), L"My Documents");
    // The first item has the focus rectangle, nothing is selected.
    EXPECT_EQ(ListItemsWithState(g_fileList, LVIS_FOCUSED), std::vector<int>({0}));
    EXPECT_TRUE(ListItemsWithState(g_fileList, LVIS_SELECTED).empty());
    EXPECT_EQ(reinterpret_cast<FolderNode*>(ListItemData(g_fileList, 0)), g_currentFolder.load()->children);

    SelectFolder({L"My Documents", L"Books", L"Old"});
    EXPECT_EQ(PathLineText(), L"My Documents/Books/Old");
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Notes.txt"}));

    SelectFolder({L"My Documents", L"Empty"});
    EXPECT_TRUE(ListTexts(g_fileList).empty());
    EXPECT_EQ(PathLineText(), L"My Documents/Empty");

    SelectFolder({L"Downloads"});
    EXPECT_EQ(PathLineText(), L"Downloads");
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Downloaded.pdf"}));
    SelectFolder({});
    EXPECT_EQ(PathLineText(), L"/");
}

TEST_F(FileListTest, EachExtensionAsksTheShellOnceWhateverItsCase)
{
    std::wstring icons = Documents(container_) + L"\\Icons";
    for (const wchar_t* name : {L"a.PDF", L"b.pdf", L"c.ab", L"d.abc", L"README", L".profile", L"e.Ab"}) {
        SimWriteFile(icons + L"\\" + name, "x");
    }
    // Windows drops a trailing dot from a name; the device keeps it.
    ASSERT_TRUE(CreateExactCaseFile(icons, L"notes."));
    SelectFolder({L"My Documents"});  // meets "bin" and "txt"
    int entries = g_extensionTable->count;
    int images = ImageList_GetImageCount(g_fileImageList);
    ASSERT_EQ(images, entries + 2);

    SelectFolder({L"My Documents", L"Icons"});
    ASSERT_EQ(ListTexts(g_fileList), Texts({L".profile", L"a.PDF", L"b.pdf", L"c.ab", L"d.abc", L"e.Ab", L"notes.", L"README"}));
    std::vector<int> shown = ListImages(g_fileList);
    // New entries: profile, PDF, ab, abc, in the order met and in the case met first.
    ASSERT_EQ(g_extensionTable->count, entries + 4);
    EXPECT_STREQ(g_extensionTable->entries[entries], L"profile");
    EXPECT_STREQ(g_extensionTable->entries[entries + 1], L"PDF");
    EXPECT_STREQ(g_extensionTable->entries[entries + 2], L"ab");
    EXPECT_STREQ(g_extensionTable->entries[entries + 3], L"abc");
    EXPECT_EQ(ImageList_GetImageCount(g_fileImageList), g_extensionTable->count + 2);
    EXPECT_EQ(shown[0], entries + 2);
    EXPECT_EQ(shown[1], entries + 3);
    EXPECT_EQ(shown[2], shown[1]);  // a.PDF and b.pdf share one image
    EXPECT_EQ(shown[3], entries + 4);
    EXPECT_EQ(shown[4], entries + 5);  // "abc" is not "ab"
    EXPECT_EQ(shown[5], shown[3]);
    EXPECT_EQ(shown[6], 1);  // "notes." has no extension
    EXPECT_EQ(shown[7], 1);  // nor has README

    // Showing the folders again asks nothing more.
    SelectFolder({L"My Documents"});
    SelectFolder({L"My Documents", L"Icons"});
    EXPECT_EQ(g_extensionTable->count, entries + 4);
    EXPECT_EQ(ListImages(g_fileList), shown);

    // On a monitor at 150 %, every image is there again at 24 pixels, each at its index; but not
    // while an upload runs, whose thread may be adding one.
    auto imageSize = [] {
        int width = 0;
        int height = 0;
        return ImageList_GetIconSize(g_fileImageList, &width, &height) ? width : 0;
    };
    RECT rect = {};
    GetWindowRect(window_, &rect);
    g_copyThread = GetCurrentThread();
    SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&rect));
    PumpMessages(300);
    EXPECT_EQ(imageSize(), 16);
    g_copyThread = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return imageSize() == 24; }));
    EXPECT_EQ(ImageList_GetImageCount(g_fileImageList), g_extensionTable->count + 2);
    EXPECT_EQ(ListView_GetImageList(g_fileList, LVSIL_SMALL), g_fileImageList);
    EXPECT_EQ(ListImages(g_fileList), shown);
}

TEST_F(FileListTest, ExtensionTableGrowsPastItsFirstSixteenEntries)
{
    std::wstring many = Documents(container_) + L"\\Many";
    for (int i = 0; i < 40; ++i) SimWriteFile(many + L"\\f." + std::wstring(1, L'a' + i % 26) + std::to_wstring(i), "x");
    SelectFolder({L"My Documents", L"Many"});
    EXPECT_EQ(ListTexts(g_fileList).size(), 40u);
    EXPECT_GE(g_extensionTable->count, 40);
    EXPECT_GE(g_extensionTable->capacity, g_extensionTable->count);
    EXPECT_EQ(g_extensionTable->capacity % 16, 0);
    EXPECT_EQ(ImageList_GetImageCount(g_fileImageList), g_extensionTable->count + 2);
}

TEST_F(FileListTest, DoubleClickOpensAFolderAndNothingElse)
{
    SelectFolder({L"My Documents"});
    SetFocus(g_fileList);

    SelectOnlyListItem(g_fileList, 3);  // readme.txt
    DoubleClickListItem(g_fileList, 3);
    EXPECT_EQ(PathLineText(), L"My Documents");

    SelectOnlyListItem(g_fileList, 0);
    DoubleClickListItem(g_fileList, 0);
    EXPECT_EQ(PathLineText(), L"My Documents/Books");
    EXPECT_STREQ(g_currentFolder.load()->name, L"Books");
    HTREEITEM books = FolderItem({L"My Documents", L"Books"});
    EXPECT_EQ(TreeView_GetSelection(TreeControlForTest()), books);
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Old", L"Guide.pdf"}));
}

TEST_F(FileListTest, EnterOpensTheOneSelectedFolderOnly)
{
    SelectFolder({L"My Documents"});
    SetFocus(g_fileList);

    SelectOnlyListItem(g_fileList, 2);  // big.bin
    PressEnter();
    EXPECT_EQ(PathLineText(), L"My Documents");

    SelectOnlyListItem(g_fileList, 0);
    ListView_SetItemState(g_fileList, 1, LVIS_SELECTED, LVIS_SELECTED);
    PressEnter();
    EXPECT_EQ(PathLineText(), L"My Documents");

    SelectOnlyListItem(g_fileList, 1);  // Empty
    SetFocus(TreeControlForTest());
    PressEnter();
    EXPECT_EQ(PathLineText(), L"My Documents");

    SetFocus(g_fileList);
    PressEnter();
    EXPECT_EQ(PathLineText(), L"My Documents/Empty");
}

TEST_F(FileListTest, BackspaceGoesUpFromAFolderButNotFromTheRoot)
{
    SetFocus(g_fileList);
    PressListKey(g_fileList, VK_BACK);
    EXPECT_EQ(PathLineText(), L"/");
    EXPECT_EQ(g_currentFolder.load(), g_rootFolder.load());

    SelectFolder({L"My Documents", L"Books"});
    SetFocus(g_fileList);
    PressListKey(g_fileList, VK_BACK, true, false, false);
    EXPECT_EQ(PathLineText(), L"My Documents/Books");
    PressListKey(g_fileList, VK_BACK);
    EXPECT_EQ(PathLineText(), L"My Documents");
    PressListKey(g_fileList, VK_BACK);
    EXPECT_EQ(PathLineText(), L"/");
    EXPECT_EQ(TreeView_GetSelection(TreeControlForTest()), TreeView_GetRoot(TreeControlForTest()));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Downloads", L"My Documents"}));
}

TEST_F(FileListTest, GoUpButtonWorksWhereverTheFocusIs)
{
    SelectFolder({L"My Documents", L"Books"});
    SetFocus(TreeControlForTest());
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_UP, BN_CLICKED), 0);
    PumpMessages();
    EXPECT_EQ(PathLineText(), L"My Documents");
}

TEST_F(FileListTest, CtrlASelectsEverythingOnlyFromTheListAndUpdatesTheDeleteButton)
{
    SelectFolder({L"My Documents"});
    SetFocus(TreeControlForTest());
    PressListKey(g_fileList, 'A', false, true, false);
    EXPECT_TRUE(ListItemsWithState(g_fileList, LVIS_SELECTED).empty());

    SetFocus(g_fileList);
    PumpMessages();
    HICON before = DeleteButtonIcon();
    EXPECT_EQ(CanDelete(), 0);
    PressListKey(g_fileList, 'A', true, true, false);
    EXPECT_TRUE(ListItemsWithState(g_fileList, LVIS_SELECTED).empty());

    PressListKey(g_fileList, 'A', false, true, false);
    EXPECT_EQ(ListItemsWithState(g_fileList, LVIS_SELECTED), std::vector<int>({0, 1, 2, 3}));
    EXPECT_EQ(CanDelete(), 1);
    EXPECT_NE(DeleteButtonIcon(), before);
}

TEST_F(FileListTest, SelectAllAndTheClickAfterItChangeOnlyWhatTheyShow)
{
    std::wstring many = Documents(container_) + L"\\Many";
    for (int i = 0; i < 300; ++i) SimWriteFile(many + L"\\f" + std::to_wstring(1000 + i) + L".txt", "x");
    SelectFolder({L"My Documents", L"Many"});
    ASSERT_EQ(ListView_GetItemCount(g_fileList), 300);
    SetFocus(g_fileList);
    PumpMessages();
    HWND status = GetDlgItem(window_, IDC_STATUS_LINE);
    MessageLog images({GetDlgItem(window_, IDC_NEW_FOLDER), GetDlgItem(window_, IDC_DELETE),
                       GetDlgItem(window_, IDC_UP), GetDlgItem(window_, IDC_REFRESH)},
                      BM_SETIMAGE);
    MessageLog moves({status}, WM_WINDOWPOSCHANGING);
    MessageLog drawing({g_fileList}, WM_SETREDRAW);

    // Every item selected, the focus left on the first; one new image: Delete turns enabled.
    PressListKey(g_fileList, 'A', false, true, false);
    EXPECT_EQ(ListItemsWithState(g_fileList, LVIS_SELECTED).size(), 300u);
    EXPECT_EQ(ListItemsWithState(g_fileList, LVIS_FOCUSED), std::vector<int>({0}));
    EXPECT_EQ(images.Take().size(), 1u);
    EXPECT_EQ(DeleteButtonIcon(), ToolbarIcon(IDI_DELETE));

    // The click deselects the other 299 items; the toolbar shows the same as before.
    ClickListItem(g_fileList, 5);
    PumpMessages(100);
    EXPECT_EQ(ListItemsWithState(g_fileList, LVIS_SELECTED), std::vector<int>({5}));
    EXPECT_TRUE(images.Take().empty());
    EXPECT_TRUE(moves.Take().empty());
    // The list drew nothing on the way, and draws again once the input is handled.
    std::vector<WPARAM> switches = drawing.Take();
    ASSERT_FALSE(switches.empty());
    EXPECT_EQ(switches.back(), static_cast<WPARAM>(TRUE));
    EXPECT_EQ(std::count(switches.begin(), switches.end(), FALSE), std::count(switches.begin(), switches.end(), TRUE));

    // With nothing selected any more, Delete follows once the change has been handled.
    ListView_SetItemState(g_fileList, -1, 0, LVIS_SELECTED);
    PumpMessages(100);
    EXPECT_EQ(images.Take().size(), 1u);
    EXPECT_EQ(CanDelete(), 0);
}

TEST_F(FileListTest, ClicksAndRefreshesLeaveTheGraphicsObjectsAsTheyWere)
{
    SelectFolder({L"My Documents"});
    SetFocus(g_fileList);
    ClickListItem(g_fileList, 2);
    ClickListItem(g_fileList, 3);
    int before = GraphicsObjectsInUse();
    for (int i = 0; i < 600; ++i) {
        ClickListItem(g_fileList, 2 + i % 2);
        UpdateToolbar();
    }
    PumpMessages(100);
    EXPECT_LE(GraphicsObjectsInUse() - before, 8);
    EXPECT_EQ(ListItemsWithState(g_fileList, LVIS_SELECTED), std::vector<int>({3}));
}

TEST_F(FileListTest, OperationsDoNothingWithoutAnOpenLocation)
{
    ASSERT_TRUE(LoadDevices(""));
    ASSERT_EQ(g_currentFolder.load(), nullptr);
    SetFocus(g_fileList);
    OpenFolderItem(0);
    OpenSelectedItem();
    GoUpOneLevel();
    GoUpFromKeyboard();
    SelectAllItems();
    EXPECT_TRUE(ListTexts(g_fileList).empty());
    EXPECT_EQ(PathLineText(), L"");
}

}  // namespace
