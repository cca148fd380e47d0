// The name order, location paths, and the device listing behind the folder tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BrowserSupport.h"
#include "FolderTree.h"
#include "TextUtil.h"
#include "WindowHarness.h"
#include "iPhone.h"

namespace {

const wchar_t kConnectionError[] = L"Connection error. Please disconnect and reconnect your device.";

std::wstring Take(wchar_t* text)
{
    OwnedWide owner(text);
    return text ? std::wstring(text) : std::wstring(L"<none>");
}

std::vector<std::wstring> Names(const FolderNode* list)
{
    std::vector<std::wstring> names;
    for (; list; list = list->next) names.emplace_back(list->name);
    return names;
}

std::vector<std::wstring> ChildNames(const FolderNode* folder)
{
    return Names(folder ? folder->children : nullptr);
}

TEST(CompareNames, FoldsOnlyAsciiLetters)
{
    EXPECT_GT(CompareNames(L"Zeta", L"alpha"), 0);
    EXPECT_LT(CompareNames(L"alpha", L"Zeta"), 0);
    EXPECT_LT(CompareNames(L"_x", L"alpha"), 0);
    EXPECT_LT(CompareNames(L"_x", L"Alpha"), 0);  // folded, "Alpha" is "alpha", above "_"
    EXPECT_LT(CompareNames(L"[", L"A"), 0);       // "[" lies above "A" but below "a"
    EXPECT_EQ(CompareNames(L"a.PDF", L"A.pdf"), 0);
    EXPECT_LT(CompareNames(L"ab", L"abc"), 0);
    EXPECT_GT(CompareNames(L"abc", L"AB"), 0);
    EXPECT_NE(CompareNames(L"\u00c9t\u00e9", L"\u00e9t\u00e9"), 0);  // no folding beyond ASCII
    EXPECT_GT(CompareNames(L"\uff41", L"z"), 0);                     // by unsigned code unit
}

TEST(ResolveDevicePath, LocationKeysAndRejectedPaths)
{
    wchar_t* saved = g_userDocsPath;
    g_userDocsPath = const_cast<wchar_t*>(L"/Library/Caches/x.CacheRoot/UserDocs");
    EXPECT_EQ(Take(ResolveDevicePath(L"0")), L"/Documents");
    EXPECT_EQ(Take(ResolveDevicePath(L"0/")), L"/Documents");
    EXPECT_EQ(Take(ResolveDevicePath(L"0/Books/a.pdf")), L"/Documents/Books/a.pdf");
    EXPECT_EQ(Take(ResolveDevicePath(L"2")), L"/Library/Caches/x.CacheRoot/UserDocs");
    EXPECT_EQ(Take(ResolveDevicePath(L"2/in")), L"/Library/Caches/x.CacheRoot/UserDocs/in");
    EXPECT_EQ(Take(ResolveDevicePath(L"0x")), L"<none>");
    EXPECT_EQ(Take(ResolveDevicePath(L"5")), L"<none>");
    EXPECT_EQ(Take(ResolveDevicePath(L"1/a")), L"<none>");
    EXPECT_EQ(Take(ResolveDevicePath(L"")), L"<none>");
    EXPECT_EQ(Take(ResolveDevicePath(nullptr)), L"<none>");
    g_userDocsPath = nullptr;
    EXPECT_EQ(Take(ResolveDevicePath(L"2/in")), L"<none>");
    g_userDocsPath = saved;
}

TEST(InsertSorted, EqualNameGoesBeforeTheOnesAlreadyThere)
{
    FolderNode* list = nullptr;
    for (const wchar_t* name : {L"b", L"a.pdf", L"C", L"A.pdf", L"a.PDF", L"c"}) {
        InsertSorted(&list, NewFolderNode(nullptr, name, nullptr, 0));
    }
    EXPECT_EQ(Names(list), Texts({L"a.PDF", L"A.pdf", L"a.pdf", L"b", L"c", L"C"}));
    FreeFolderList(list);
}

TEST(FreeFolderList, ReleasesAVeryLongListWithoutDeepRecursion)
{
    FolderNode* folder = NewFolderNode(nullptr, L"big", L"0/big", 1);
    FolderNode** link = &folder->children;
    for (int i = 0; i < 300000; ++i) {
        *link = NewFolderNode(folder, L"x", L"0/big/x", 0);
        ASSERT_NE(*link, nullptr);
        link = &(*link)->next;
    }
    FreeFolderNode(folder);
    FreeFolderNode(nullptr);
}

class FolderTreeTest : public BrowserTest {};

TEST_F(FolderTreeTest, ListingSkipsDotEntriesAndPutsFoldersFirst)
{
    std::wstring container = Folder(L"c");
    SimWriteFile(Documents(container) + L"\\zz.txt", "12345");
    SimWriteFile(Documents(container) + L"\\Books\\Old\\n.txt", "n");
    SimWriteFile(Documents(container) + L"\\Flat\\only-a-file.txt", "f");
    CreateDirectoryW((Documents(container) + L"\\Empty").c_str(), nullptr);
    SimWriteFile(Documents(container) + L"\\aa.txt", "1");
    ASSERT_TRUE(OpenContainer(container));

    FolderNode* root = g_rootFolder.load();
    EXPECT_EQ(ChildNames(root), Texts({L"Downloads", L"My Documents"}));
    FolderNode* documents = root->children->next;
    EXPECT_STREQ(documents->path, L"0");
    EXPECT_STREQ(root->children->path, L"2");
    EXPECT_EQ(documents->hasSubfolders, 1);
    EXPECT_EQ(root->children->hasSubfolders, 0);
    EXPECT_EQ(documents->listed, 0);

    HTREEITEM item = SelectFolder({L"My Documents"});
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(documents->listed, 1);
    EXPECT_EQ(ChildNames(documents), Texts({L"Books", L"Empty", L"Flat", L"aa.txt", L"zz.txt"}));
    const FolderNode* books = documents->children;
    EXPECT_STREQ(books->path, L"0/Books");
    EXPECT_EQ(books->parent, documents);
    EXPECT_EQ(books->listed, 0);
    const FolderNode* zz = books->next->next->next->next;
    EXPECT_EQ(zz->isFolder, 0);
    EXPECT_EQ(zz->size, 5u);
    EXPECT_STREQ(zz->path, L"0/zz.txt");

    // Tree items only for folders; an expand button only where a subfolder waits unread.
    EXPECT_EQ(TreeChildTexts(item), Texts({L"Books", L"Empty", L"Flat"}));
    EXPECT_TRUE(TreeItemHasChildren(FolderItem({L"My Documents", L"Books"})));
    EXPECT_FALSE(TreeItemHasChildren(FolderItem({L"My Documents", L"Empty"})));
    EXPECT_FALSE(TreeItemHasChildren(FolderItem({L"My Documents", L"Flat"})));
    EXPECT_EQ(TreeChildTexts(FolderItem({L"My Documents", L"Books"})), Texts({L""}));

    // Expanding reads the folder once and replaces the placeholder.
    HTREEITEM booksItem = FolderItem({L"My Documents", L"Books"});
    TreeView_Expand(TreeControlForTest(), booksItem, TVE_EXPAND);
    PumpMessages();
    EXPECT_EQ(books->listed, 1);
    EXPECT_EQ(TreeChildTexts(booksItem), Texts({L"Old"}));
    SimResetCounters();
    TreeView_Expand(TreeControlForTest(), booksItem, TVE_COLLAPSE);
    TreeView_Expand(TreeControlForTest(), booksItem, TVE_EXPAND);
    TreeView_SelectItem(TreeControlForTest(), booksItem);
    PumpMessages();
    EXPECT_EQ(SimCallCount("AFCDirectoryOpen"), 0u);
}

TEST_F(FolderTreeTest, SymbolicLinkIsAFolder)
{
    std::wstring container = Folder(L"c");
    SimWriteFile(Documents(container) + L"\\shortcut", "not really a folder");
    SimWriteFile(Documents(container) + L"\\plain.txt", "p");
    ASSERT_TRUE(OpenContainer(container, "  link /Documents/shortcut\n"));
    SelectFolder({L"My Documents"});
    FolderNode* documents = g_currentFolder.load();
    ASSERT_NE(documents, nullptr);
    EXPECT_EQ(ChildNames(documents), Texts({L"shortcut", L"plain.txt"}));
    EXPECT_EQ(documents->children->isFolder, 1);
    EXPECT_EQ(documents->children->size, 0u);
    EXPECT_EQ(TreeChildTexts(FolderItem({L"My Documents"})), Texts({L"shortcut"}));
}

TEST_F(FolderTreeTest, NamesDifferingOnlyInCaseAreBothListedTheLaterReadFirst)
{
    std::wstring container = Folder(L"c");
    CreateDirectoryW(container.c_str(), nullptr);
    CreateDirectoryW(Documents(container).c_str(), nullptr);
    ASSERT_TRUE(CreateExactCaseFile(Documents(container), L"a.pdf"));
    ASSERT_TRUE(CreateExactCaseFile(Documents(container), L"A.pdf"));
    SimWriteFile(Documents(container) + L"\\Zeta", "z");
    SimWriteFile(Documents(container) + L"\\alpha", "a");
    SimWriteFile(Documents(container) + L"\\_x", "x");
    ASSERT_TRUE(OpenContainer(container));
    std::vector<std::wstring> pair;
    for (const std::wstring& name : DeviceReadOrder("/Documents")) {
        if (name == L"a.pdf" || name == L"A.pdf") pair.insert(pair.begin(), name);
    }
    ASSERT_EQ(pair.size(), 2u);
    SelectFolder({L"My Documents"});
    EXPECT_EQ(ChildNames(g_currentFolder.load()),
              std::vector<std::wstring>({L"_x", pair[0], pair[1], L"alpha", L"Zeta"}));
}

TEST_F(FolderTreeTest, ListingOrderEqualsInsertingOneByOneInReadOrder)
{
    std::wstring container = Folder(L"c");
    CreateDirectoryW(container.c_str(), nullptr);
    CreateDirectoryW(Documents(container).c_str(), nullptr);
    // Case twins among many names, in a scrambled creation order.
    for (int i = 0; i < 120; ++i) {
        unsigned scrambled = static_cast<unsigned>(i) * 2654435761u % 97;
        wchar_t name[32];
        swprintf(name, 32, L"%c%02u.txt", L"aBcD_"[i % 5], scrambled % 30);
        CreateExactCaseFile(Documents(container), name);
        if (i % 7 == 0) {
            name[0] = static_cast<wchar_t>(name[0] ^ 0x20);
            CreateExactCaseFile(Documents(container), name);
        }
    }
    ASSERT_TRUE(OpenContainer(container));
    FolderNode* expected = nullptr;
    for (const std::wstring& name : DeviceReadOrder("/Documents")) {
        InsertSorted(&expected, NewFolderNode(nullptr, name.c_str(), nullptr, 0));
    }
    SelectFolder({L"My Documents"});
    EXPECT_EQ(ChildNames(g_currentFolder.load()), Names(expected));
    FreeFolderList(expected);
}

TEST_F(FolderTreeTest, FailedFileInformationDropsTheEntryAndRaisesTheErrorOnce)
{
    std::wstring container = Folder(L"c");
    SimWriteFile(Documents(container) + L"\\Books\\Guide.pdf", "guide");
    SimWriteFile(Documents(container) + L"\\Books\\Other.pdf", "other");
    SimWriteFile(Documents(container) + L"\\Music\\Song.m4a", "song");
    SimWriteFile(Documents(container) + L"\\Music\\Tune.m4a", "tune");
    ASSERT_TRUE(OpenContainer(container));
    SelectFolder({L"My Documents"});
    ASSERT_EQ(g_connectionError.load(), 0);

    SimFailPath("*/Guide.pdf");
    SelectFolder({L"My Documents", L"Books"});
    EXPECT_EQ(ChildNames(g_currentFolder.load()), Texts({L"Other.pdf"}));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Other.pdf"}));
    EXPECT_EQ(g_currentDevice.load()->fsInconsistent, 1);
    EXPECT_EQ(g_connectionError.load(), 1);
    EXPECT_EQ(StatusLineText(), kConnectionError);
    // The lists stay: only the status line tells.
    EXPECT_EQ(ListTexts(g_deviceList), Texts({L"Browse"}));
    EXPECT_NE(g_currentDevice.load()->afc, nullptr);

    // A later failure on the same device does not raise it again.
    g_connectionError = 0;
    SimFailPath("*/Song.m4a");
    SelectFolder({L"My Documents", L"Music"});
    EXPECT_EQ(ChildNames(g_currentFolder.load()), Texts({L"Tune.m4a"}));
    EXPECT_EQ(g_connectionError.load(), 0);
    SimFailPath(nullptr);
}

TEST_F(FolderTreeTest, FolderThatCannotBeReadShowsEmptyAndStaysListed)
{
    std::wstring container = Folder(L"c");
    SimWriteFile(Documents(container) + L"\\Locked\\inside.txt", "i");
    ASSERT_TRUE(OpenContainer(container));
    SelectFolder({L"My Documents"});
    unsigned handles = SimOpenHandles();
    SimFailPath("/Documents/Locked");
    SelectFolder({L"My Documents", L"Locked"});
    SimFailPath(nullptr);
    FolderNode* locked = g_currentFolder.load();
    ASSERT_NE(locked, nullptr);
    EXPECT_STREQ(locked->name, L"Locked");
    EXPECT_EQ(locked->listed, 1);
    EXPECT_EQ(locked->children, nullptr);
    EXPECT_TRUE(ListTexts(g_fileList).empty());
    EXPECT_EQ(PathLineText(), L"My Documents/Locked");
    EXPECT_EQ(SimOpenHandles(), handles);
}

}  // namespace
