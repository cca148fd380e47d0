// Dropping local files on the real program with the real pointer, from the Explorer source
// stand-in: onto a folder item of the file list and onto a folder of the tree they arrive on the
// device byte for byte; a drag of text alone is refused, and the root "/" is no place for files.
// The device folder on disk tells what changed.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "BedLog.h"
#include "E2EDriver.h"
#include "SimDevice.h"
#include "StandIn.h"
#include "TransferRun.h"
#include "resource.h"

namespace {

constexpr DWORD kCopyMs = 30000;

// Every entry of `contents` placed inside `folder`.
TreeSnapshot Inside(const std::wstring& folder, const TreeSnapshot& contents)
{
    TreeSnapshot inside;
    for (const auto& entry : contents) inside[folder + L"/" + entry.first] = entry.second;
    return inside;
}

class UploadEndToEnd : public TransferRun {
protected:
    bool CopyDialogShown() const { return !e2e::FindTopWindows(L"Now Copying...", ProgramId()).empty(); }

    std::wstring SelectedTreeItem() const
    {
        std::vector<e2e::TreeItem> items;
        e2e::ReadTreeItems(tree_, &items);
        for (const e2e::TreeItem& item : items) {
            if (item.selected) return item.text;
        }
        return std::wstring();
    }

    // The program's message box with this text, or null.
    HWND MessageBoxSaying(const std::wstring& text) const
    {
        for (HWND window : e2e::FindTopWindows(kMainTitle, ProgramId())) {
            if (e2e::MessageBoxText(window) == text) return window;
        }
        return nullptr;
    }

    // Drags the source's files onto a point of the program and waits until My Documents on the
    // device holds what it should; the copy's dialog is gone by then.
    void DropAndWait(const StandIn& source, POINT to, const TreeSnapshot& expected)
    {
        size_t drags = bed::ReadEvents(source.LogPath(), "do-drag-drop").size();
        DWORD began = GetTickCount();
        TimedMouseDrag(source.Centre(), to);
        ASSERT_TRUE(bed::WaitForEvents(source.LogPath(), "do-drag-drop", drags + 1, kCopyMs));
        EXPECT_EQ(bed::ReadEvents(source.LogPath(), "do-drag-drop").back().Field("effect"), "1");
        bool copied = PollUntil([&] { return !CopyDialogShown() && SnapshotTree(documents_) == expected; }, kCopyMs);
        std::printf("[  upload  ] %lu ms from the press to the copy's end\n", GetTickCount() - began);
        EXPECT_TRUE(copied) << "the device does not hold what was dropped";
        EXPECT_EQ(SnapshotTree(documents_), expected);
    }
};

TEST_F(UploadEndToEnd, DroppedFilesArriveWholeAndRefusedDropsChangeNothing)
{
    const std::wstring local = folder_ + L"\\local";
    ASSERT_TRUE(SimWriteFile(local + L"\\Photo.jpg", PatternBytes(2 * 1024 * 1024 + 17)));
    ASSERT_TRUE(SimWriteFile(local + L"\\Notes \u2013 draft.txt", "draft\r\n"));
    ASSERT_TRUE(SimWriteFile(local + L"\\Album\\Sub\\deep.bin", PatternBytes(70000)));
    ASSERT_TRUE(SimWriteFile(local + L"\\Album\\zero.txt", ""));
    ASSERT_TRUE(CreateDirectoryW((local + L"\\Album\\Empty").c_str(), nullptr));
    const TreeSnapshot dropped = SnapshotTree(local);
    StandIn source(L"ExplorerSource", L"Source of files", StandInPlace(0), folder_ + L"\\source.log",
                   {local + L"\\Photo.jpg", local + L"\\Notes \u2013 draft.txt", local + L"\\Album"});
    StandIn text(L"ExplorerSource", L"Source of text", StandInPlace(1), folder_ + L"\\text.log",
                 {L"--text-only", local + L"\\Photo.jpg"});
    ASSERT_TRUE(source.Window() && text.Window());
    TreeSnapshot device = SnapshotTree(documents_);

    // Onto the folder item "Books" of the file list: copied into it, which the program then shows.
    TreeSnapshot books = Inside(L"Books", dropped);
    device.insert(books.begin(), books.end());
    DropAndWait(source, ListItemCentre(L"Books"), device);
    EXPECT_TRUE(PollUntil([&] { return SelectedTreeItem() == L"Books" && Listed(L"Photo.jpg"); }, kStepTimeoutMs));

    // Onto the folder "Empty" of the tree.
    TreeSnapshot empty = Inside(L"Empty", dropped);
    device.insert(empty.begin(), empty.end());
    DropAndWait(source, TreeItemCentre(L"Empty"), device);

    // Text alone: the program refuses it, and the drag ends with nothing copied and nothing said.
    TimedMouseDrag(text.Centre(), TreeItemCentre(L"My Documents"));
    ASSERT_TRUE(bed::WaitForEvents(text.LogPath(), "do-drag-drop", 1, kCopyMs));
    EXPECT_EQ(bed::ReadEvents(text.LogPath(), "do-drag-drop")[0].Field("effect"), "0");
    EXPECT_LT(bed::LineOf(text.LogPath(), "get-data"), 0) << "the program asked a refused drag for data";

    // Onto the root "/", which holds only the two locations: a warning, nothing copied.
    TimedMouseDrag(source.Centre(), TreeItemCentre(L"/"));
    HWND warning = nullptr;
    EXPECT_TRUE(PollUntil([&] { return (warning = MessageBoxSaying(L"Can't copy to this location")) != nullptr; },
                          kStepTimeoutMs));
    if (warning) {
        EXPECT_TRUE(e2e::PressButton(warning, IDOK));
        EXPECT_TRUE(e2e::WaitForWindowGone(warning, kStepTimeoutMs));
    }
    EXPECT_FALSE(CopyDialogShown());
    EXPECT_EQ(SnapshotTree(documents_), device);
    EXPECT_TRUE(source.Close() && text.Close());
}

// Without a drag: files copied in the Explorer stand-in and pasted with Ctrl+V, then Add files...
// and Add folder... through the system's open dialog, all into "My Documents".
TEST_F(UploadEndToEnd, PastedAndAddedItemsArriveWhole)
{
    const std::wstring local = folder_ + L"\\local";
    ASSERT_TRUE(SimWriteFile(local + L"\\Photo.jpg", PatternBytes(2 * 1024 * 1024 + 17)));
    ASSERT_TRUE(SimWriteFile(local + L"\\Album\\Sub\\deep.bin", PatternBytes(70000)));
    ASSERT_TRUE(SimWriteFile(local + L"\\Album\\zero.txt", ""));
    ASSERT_TRUE(SimWriteFile(local + L"\\Added \u2013 one.txt", "added"));
    ASSERT_TRUE(SimWriteFile(local + L"\\Folder\\inner.txt", "inner"));
    const TreeSnapshot files = SnapshotTree(local);
    TreeSnapshot device = SnapshotTree(documents_);
    auto arrive = [&](std::initializer_list<const wchar_t*> names) {
        for (const auto& entry : files) {
            for (const wchar_t* name : names) {
                if (entry.first.rfind(name, 0) == 0) device.insert(entry);
            }
        }
        bool copied = PollUntil([&] { return !CopyDialogShown() && SnapshotTree(documents_) == device; }, kCopyMs);
        EXPECT_TRUE(copied) << "the device does not hold what was added";
    };

    StandIn copier(L"ExplorerSource", L"Copier", StandInPlace(0), folder_ + L"\\copier.log",
                   {L"--clipboard", local + L"\\Photo.jpg", local + L"\\Album"});
    std::wstring error;
    ASSERT_TRUE(e2e::MouseClick(copier.Centre(), false, &error)) << e2e::ToUtf8(error);
    ASSERT_TRUE(bed::WaitForEvents(copier.LogPath(), "clipboard-set", 1, kCopyMs));
    ASSERT_TRUE(e2e::MouseClick(ListItemCentre(L"readme.txt"), false, &error)) << e2e::ToUtf8(error);
    ASSERT_TRUE(e2e::PressKeysOnDisplay("ctrl+v"));
    arrive({L"Photo.jpg", L"Album"});

    ASSERT_TRUE(e2e::ChooseMenuCommand(main_, IDM_ADD_FILES));
    ChooseInDialog(L"Add files", local + L"\\Added \u2013 one.txt");
    arrive({L"Added"});
    ASSERT_TRUE(e2e::ChooseMenuCommand(main_, IDM_ADD_FOLDER));
    ChooseInDialog(L"Add folder", local + L"\\Folder");
    arrive({L"Folder"});
    EXPECT_TRUE(copier.Close());
}

}  // namespace
