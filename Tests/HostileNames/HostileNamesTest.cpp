// The hostile-name corpus on the real main window with a simulated device that holds any byte but
// "/" in a name: every name is shown, refused with a message or passed on unchanged; nothing is
// lost, mixed up or written outside its folder, and big or deep folders stay usable.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "DataObjectReader.h"
#include "DragObjects.h"
#include "DragStart.h"
#include "FileOperations.h"
#include "HostileNames.h"
#include "MessageBoxWatch.h"
#include "ProgramHarness.h"
#include "TextUtil.h"
#include "TreeSnapshot.h"
#include "UploadEngine.h"
#include "WindowHarness.h"
#include "iPhone.h"

namespace {

const char kRawNames[] = "  rawnames 1\n";

struct Offered {
    std::wstring name;
    bool folder;
    std::string bytes;  // a file's contents as read through its stream
};

// Every descriptor of a drag out of these location paths, with each file's contents.
std::vector<Offered> DragOut(const wchar_t* sourceFolder, const std::vector<std::wstring>& paths, HRESULT* result)
{
    Held<IDataObject> data = StartDrag(sourceFolder, paths);
    std::vector<OfferedFile> files;
    *result = data ? GetDescriptors(data.get(), files) : E_FAIL;
    std::vector<Offered> offered;
    for (size_t i = 0; i < files.size(); ++i) {
        offered.push_back({files[i].name, (files[i].attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, ""});
        if (!offered[i].folder && FAILED(ReadContents(data.get(), static_cast<LONG>(i), offered[i].bytes))) {
            offered[i].bytes = "unreadable";
        }
    }
    data.reset();
    EndDragOut();
    return offered;
}

// Each element of a relative path is one Windows can store as it is, and no two offered paths are
// the same name to Windows (compared without case).
void ExpectStorableAndDistinct(const std::vector<Offered>& offered)
{
    std::set<std::wstring> seen;
    for (const Offered& item : offered) {
        SCOPED_TRACE(Utf8Text(item.name));
        std::wstring folded = item.name;
        CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
        EXPECT_TRUE(seen.insert(folded).second) << "offered twice";
        size_t start = 0;
        for (;;) {
            size_t end = item.name.find(L'\\', start);
            std::wstring element = item.name.substr(start, end == std::wstring::npos ? end : end - start);
            OwnedWide storable(StorableWindowsName(element.c_str()));
            EXPECT_EQ(element, storable.get());
            if (end == std::wstring::npos) break;
            start = end + 1;
        }
    }
}

void ExpectSameTree(const TreeSnapshot& now, const TreeSnapshot& before)
{
    for (const auto& entry : now) {
        auto old = before.find(entry.first);
        EXPECT_TRUE(old != before.end() && old->second == entry.second) << "new or changed: " << Utf8Text(entry.first);
    }
    for (const auto& entry : before) EXPECT_TRUE(now.count(entry.first)) << "gone: " << Utf8Text(entry.first);
}

class HostileNamesTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        container_ = Folder(L"c");
        CreateDirectoryW(container_.c_str(), nullptr);
    }
    // Opens "My Documents" of a device whose names are raw; the tree shows this folder path.
    bool Open(std::initializer_list<const wchar_t*> names = {L"My Documents"})
    {
        return OpenContainer(container_, kRawNames) && SelectFolder(names) != nullptr;
    }
    std::wstring DocumentsOnDisk() const { return Documents(container_); }
    bool DeviceInconsistent() const
    {
        DeviceEntry* device = g_currentDevice.load();
        return device && device->fsInconsistent;
    }
    // Selects every item with Ctrl+A and deletes them, confirmed; the time it took in `ms`.
    void DeleteAll(DWORD* ms = nullptr)
    {
        DWORD start = GetTickCount();
        SetFocus(g_fileList);
        PressListKey(g_fileList, 'A', false, true);
        MessageBoxWatch confirm(L"Delete confirmation");
        DeleteSelectedItems();
        PumpMessages();
        EXPECT_TRUE(confirm.Wait(60000));
        if (ms) *ms = GetTickCount() - start;
    }

    std::wstring container_;
};

// Listing, tree, drag out, rename and delete of every corpus name in "My Documents".
TEST_F(HostileNamesTest, EveryNameIsShownDraggedOutRenamedAndDeletedWithoutLoss)
{
    TreeSnapshot corpus = WriteHostileCorpus(DocumentsOnDisk());
    ASSERT_TRUE(Open());
    TreeSnapshot whole = SnapshotTree(container_);

    // Shown: each name once, the invalid bytes as U+FFFD; the device is not taken for a broken one.
    std::multiset<std::wstring> expected;
    std::multiset<std::wstring> folders;
    for (const HostileName& name : HostileNames()) {
        expected.insert(name.shown);
        if (name.folder) folders.insert(name.shown);
    }
    std::vector<std::wstring> listed = ListTexts(g_fileList);
    EXPECT_EQ(std::multiset<std::wstring>(listed.begin(), listed.end()), expected);
    std::vector<std::wstring> treeFolders = TreeChildTexts(FolderItem({L"My Documents"}));
    EXPECT_EQ(std::multiset<std::wstring>(treeFolders.begin(), treeFolders.end()), folders);
    EXPECT_FALSE(DeviceInconsistent());
    for (const std::wstring& folder : folders) {
        SCOPED_TRACE(Utf8Text(folder));
        ASSERT_NE(SelectFolder({L"My Documents", folder.c_str()}), nullptr);
        EXPECT_EQ(ListTexts(g_fileList), std::vector<std::wstring>{L"inner:1.txt"});
    }
    EXPECT_FALSE(DeviceInconsistent());

    // Dragged out: every file once, under names Windows stores, with its own contents.
    ASSERT_NE(SelectFolder({L"My Documents"}), nullptr);
    HRESULT result = E_FAIL;
    std::vector<Offered> offered = DragOut(L"/Documents", {L"0"}, &result);
    ASSERT_EQ(result, S_OK);
    ExpectStorableAndDistinct(offered);
    std::multiset<std::string> draggedContents;
    for (const Offered& item : offered) {
        if (!item.folder) draggedContents.insert(item.bytes);
    }
    std::multiset<std::string> corpusContents;
    for (const HostileName& name : HostileNames()) corpusContents.insert(HostileContent(name));
    EXPECT_EQ(draggedContents, corpusContents);
    ExpectSameTree(SnapshotTree(container_), whole);

    // Renamed in place: an item of each shown name gets a prefix, keeping its contents; nothing
    // else moves. (The second of two names shown alike is not renamed: the first took the new name.
    // Nor is the second of the two composed forms, which are one name to the device: it is told.)
    std::vector<std::wstring> refused;
    for (const std::wstring& text : std::set<std::wstring>(listed.begin(), listed.end())) {
        SCOPED_TRACE(Utf8Text(text));
        std::vector<std::wstring> now = ListTexts(g_fileList);
        auto found = std::find(now.begin(), now.end(), text);
        ASSERT_NE(found, now.end());
        MessageBoxWatch error(L"Error");
        MessageBoxWatch exists(L"Can't rename file/folder");
        RenameListItem(static_cast<int>(found - now.begin()), (L"r " + text).c_str());
        PumpMessages();
        EXPECT_EQ(error.Seen(), 0u) << Utf8Text(error.Text());
        if (exists.Seen()) refused.push_back(text);
    }
    EXPECT_EQ(refused, std::vector<std::wstring>{L"caf\u00e9.txt"});
    std::vector<std::wstring> renamed = ListTexts(g_fileList);
    EXPECT_EQ(renamed.size(), listed.size());
    EXPECT_EQ(std::count_if(renamed.begin(), renamed.end(), [](const std::wstring& text) { return text[0] == L'r'; }),
              static_cast<long>(listed.size() - 2));
    EXPECT_EQ(FileContents(SnapshotTree(DocumentsOnDisk())), FileContents(corpus));
    EXPECT_FALSE(DeviceInconsistent());

    // And to each corpus name Windows can hold in text: the device gets exactly those bytes.
    ASSERT_TRUE(SimWriteFile(DocumentsOnDisk() + L"\\Target\\plain.txt", "plain"));
    RefreshLocation();
    PumpMessages();
    ASSERT_NE(SelectFolder({L"My Documents", L"Target"}), nullptr);
    for (const HostileName& name : HostileNames()) {
        if (name.shown.find(L'\uFFFD') != std::wstring::npos) continue;
        SCOPED_TRACE(name.what);
        RenameListItem(0, name.shown.c_str());
        PumpMessages();
        TreeSnapshot target = SnapshotTree(DocumentsOnDisk() + L"\\Target");
        ASSERT_EQ(target.size(), 1u);
        EXPECT_EQ(target.begin()->first, EscapedHostName(name.device));
        EXPECT_EQ(ListTexts(g_fileList), std::vector<std::wstring>{name.shown});
        RenameListItem(0, L"plain.txt");
        PumpMessages();
    }
    TreeSnapshot target = SnapshotTree(DocumentsOnDisk() + L"\\Target");
    EXPECT_EQ(target.begin()->first, L"plain.txt");
    EXPECT_EQ(target.begin()->second.substr(0, 2), "5:");

    // Deleted: everything below "My Documents" goes, nothing else.
    ASSERT_NE(SelectFolder({L"My Documents"}), nullptr);
    DeleteAll();
    EXPECT_TRUE(SnapshotTree(DocumentsOnDisk()).empty());
    EXPECT_TRUE(ListTexts(g_fileList).empty());
    TreeSnapshot rest = SnapshotTree(container_);
    TreeSnapshot wholeRest = whole;
    for (auto entry = wholeRest.begin(); entry != wholeRest.end();) {
        entry = entry->first.compare(0, 10, L"Documents/") == 0 ? wholeRest.erase(entry) : std::next(entry);
    }
    ExpectSameTree(rest, wholeRest);
}

// Local files whose names Windows holds reach the device under the same names and contents.
TEST_F(HostileNamesTest, LocalNamesAreUploadedUnchanged)
{
    std::wstring local = Folder(L"local");
    CreateDirectoryW(local.c_str(), nullptr);
    WriteLocalHostileCorpus(local + L"\\Drop");
    TreeSnapshot before = SnapshotTree(local);
    ASSERT_TRUE(Open());
    uint64_t total = 0;
    ASSERT_TRUE(AddLocalSize((local + L"\\Drop").c_str(), total));
    uint64_t done = 0;
    ASSERT_TRUE(UploadItem((local + L"\\Drop").c_str(), L"/Documents/Drop", total, done));
    EXPECT_EQ(done, total);
    TreeSnapshot uploaded = SnapshotTree(DocumentsOnDisk() + L"\\Drop");
    TreeSnapshot expected;
    for (const HostileName& name : HostileNames()) {
        if (name.local) expected[EscapedHostName(name.device)] = SnapshotTree(local + L"\\Drop")[name.shown];
    }
    EXPECT_EQ(uploaded, expected);
    EXPECT_EQ(SnapshotTree(local), before);
}

// A 10,000-character device name: in the device list, and in the status line with the storage
// figures still there.
TEST_F(HostileNamesTest, VeryLongDeviceNameIsShownWithItsStorage)
{
    std::string name = LongText(10000);
    std::string config = "device long\n  name " + name + "\n  app com.marlquist.tovarel " + Utf8Text(container_) + "\n";
    CreateDirectoryW(Documents(container_).c_str(), nullptr);
    ASSERT_TRUE(LoadDevices(config));
    ASSERT_EQ(ListView_GetItemCount(g_deviceList), 1);
    std::vector<wchar_t> text(20000);
    ListView_GetItemText(g_deviceList, 0, 0, text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(std::wstring(text.data()), std::wstring(name.begin(), name.end()));
    std::wstring status = StatusLineText();
    EXPECT_EQ(status.compare(0, 100, std::wstring(100, L'n')), 0);
    EXPECT_NE(status.find(L"(disk space = "), std::wstring::npos) << Utf8Text(status.substr(status.size() - 60));
}

// 5,000 entries in one folder list, drag out, select all and delete without freezing the window.
TEST_F(HostileNamesTest, FiveThousandEntriesListDragOutSelectAndDelete)
{
    const int kEntries = 5000;
    for (int i = 0; i < kEntries; ++i) {
        ASSERT_TRUE(SimWriteFile(DocumentsOnDisk() + L"\\Many\\f" + std::to_wstring(i) + L".txt", "x"));
    }
    DWORD start = GetTickCount();
    ASSERT_TRUE(Open({L"My Documents", L"Many"}));
    DWORD listMs = GetTickCount() - start;
    EXPECT_EQ(ListTexts(g_fileList).size(), static_cast<size_t>(kEntries));

    start = GetTickCount();
    HRESULT result = E_FAIL;
    std::vector<Offered> offered = DragOut(L"/Documents", {L"0/Many"}, &result);
    DWORD dragMs = GetTickCount() - start;
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(offered.size(), static_cast<size_t>(kEntries + 1));

    DWORD deleteMs = 0;
    DeleteAll(&deleteMs);
    EXPECT_TRUE(SnapshotTree(DocumentsOnDisk() + L"\\Many").empty());
    EXPECT_TRUE(ListTexts(g_fileList).empty());
    printf("5000 entries: opened and listed in %lu ms, dragged out (descriptors and every stream) in %lu ms, "
           "selected and deleted in %lu ms\n", listMs, dragMs, deleteMs);
    EXPECT_LT(listMs, 60000u);
    EXPECT_LT(dragMs, 60000u);
    EXPECT_LT(deleteMs, 120000u);
}

// A folder 40 levels deep: expanded to the bottom, uploaded, and dragged out where Windows paths
// hold it; a path too long for a drag descriptor is refused with a message, not cut.
TEST_F(HostileNamesTest, FortyLevelsDeepExpandUploadAndDragOut)
{
    const int kLevels = 40;
    std::wstring local = Folder(L"local");
    std::wstring relative;
    std::vector<std::wstring> names;
    for (int i = 0; i < kLevels; ++i) {
        names.push_back(L"d" + std::to_wstring(i));
        relative += (i ? L"\\" : L"") + names.back();
    }
    ASSERT_TRUE(SimWriteFile(L"\\\\?\\" + local + L"\\" + relative + L"\\deep.txt", "deep"));
    ASSERT_TRUE(Open());
    uint64_t total = 0;
    uint64_t done = 0;
    ASSERT_TRUE(AddLocalSize((L"\\\\?\\" + local + L"\\d0").c_str(), total));
    ASSERT_TRUE(UploadItem((L"\\\\?\\" + local + L"\\d0").c_str(), L"/Documents/d0", total, done));
    std::wstring devicePath = DocumentsOnDisk() + L"\\" + relative + L"\\deep.txt";
    EXPECT_NE(GetFileAttributesW((L"\\\\?\\" + devicePath).c_str()), INVALID_FILE_ATTRIBUTES);
    RefreshLocation();
    PumpMessages();

    HTREEITEM item = FolderItem({L"My Documents"});
    for (const std::wstring& name : names) {
        TreeView_Expand(TreeControlForTest(), item, TVE_EXPAND);
        PumpMessages();
        item = TreeChildByText(item, name.c_str());
        ASSERT_NE(item, nullptr) << Utf8Text(name);
    }
    TreeView_SelectItem(TreeControlForTest(), item);
    PumpMessages();
    EXPECT_EQ(ListTexts(g_fileList), std::vector<std::wstring>{L"deep.txt"});

    // 40 short levels fit a descriptor's MAX_PATH.
    HRESULT result = E_FAIL;
    std::vector<Offered> offered = DragOut(L"/Documents", {L"0/d0"}, &result);
    ASSERT_EQ(result, S_OK);
    ASSERT_EQ(offered.size(), static_cast<size_t>(kLevels + 1));
    EXPECT_EQ(offered.back().name, relative + L"\\deep.txt");
    EXPECT_EQ(offered.back().bytes, "deep");

    // Longer names at the same depth do not: the drag is refused with a message, no descriptor is cut.
    std::wstring longName(200, L'L');
    ASSERT_TRUE(SimWriteFile(L"\\\\?\\" + DocumentsOnDisk() + L"\\" + relative + L"\\" + longName + L".txt", "long"));
    MessageBoxWatch warning(L"TovarelUSB", 1, nullptr, {window_});
    offered = DragOut(L"/Documents", {L"0/d0"}, &result);
    PumpMessages();
    EXPECT_NE(result, S_OK);
    EXPECT_TRUE(offered.empty());
    EXPECT_TRUE(warning.Wait(5000));
    EXPECT_NE(warning.Text().find(L"too long"), std::wstring::npos) << Utf8Text(warning.Text());
}

}  // namespace
