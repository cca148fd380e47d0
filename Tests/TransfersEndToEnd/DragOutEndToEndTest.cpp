// Dragging device items out of the real program with the real pointer onto the Explorer target
// stand-in, which takes them as Explorer does: synchronously inside the drop, asynchronously after
// it, and late (even the descriptors only after the drag loop has ended). What it writes must be the
// device's files byte for byte and with their device dates, under names Windows can store, and
// nothing outside its folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "BedLog.h"
#include "E2EDriver.h"
#include "SimDevice.h"
#include "StandIn.h"
#include "TransferRun.h"
#include "resource.h"

namespace {

constexpr DWORD kDropMs = 30000;

std::string Utf8(const std::wstring& text)
{
    return e2e::ToUtf8(text);
}

// The device's "My Documents" as a drop writes it: the dragged top-level names only (all of them
// inside a folder `top` when one is given), each unstorable name replaced by its storable one.
TreeSnapshot Expected(const TreeSnapshot& documents, const std::set<std::wstring>& dragged, const std::wstring& top)
{
    TreeSnapshot expected;
    const std::wstring prefix = top.empty() ? top : top + L"/";
    if (!top.empty()) expected[top] = kSnapshotFolder;
    for (const auto& entry : documents) {
        const std::wstring& path = entry.first;
        if (!dragged.empty() && !dragged.count(path.substr(0, path.find(L'/')))) continue;
        std::wstring stored = path;
        for (const OddName& odd : kOddNames) {
            if (path == std::wstring(L"Odd names/") + odd.onDisk) stored = std::wstring(L"Odd names/") + odd.storedAs;
        }
        expected[prefix + stored] = entry.second;
    }
    return expected;
}

// An Explorer target stand-in in one mode, writing under <folder>\<mode>\out. The options in
// `more` come first, and the first of an option counts (e.g. another "--delay").
struct Target {
    std::wstring run;
    std::wstring out;
    StandIn window;
    TreeSnapshot written;  // what its folder should hold after the drops so far

    Target(const std::wstring& folder, const wchar_t* mode, const std::wstring& place,
           std::vector<std::wstring> more = {})
        : run(folder + L"\\" + mode), out(run + L"\\out"),
          window(L"ExplorerTarget", std::wstring(L"Target ") + mode, place, run + L".log",
                 (more.insert(more.end(), {L"--out", out, L"--mode", mode, L"--delay", L"1500"}), more))
    {
    }
};

class DragOutEndToEnd : public TransferRun {
protected:
    // Selects the list items with a click on the first and Ctrl+clicks on the others.
    void SelectByClicks(const std::vector<std::wstring>& names)
    {
        for (size_t i = 0; i < names.size(); ++i) {
            std::wstring error;
            ASSERT_TRUE(e2e::MouseClick(ListItemCentre(names[i]), i > 0, &error)) << Utf8(error);
        }
        std::vector<int> selected;
        ListTexts(list_, &selected);
        ASSERT_EQ(selected.size(), names.size());
    }

    bool BusyDialogShown() const
    {
        for (HWND dialog : e2e::FindTopWindows(L"Now Copying...", ProgramId())) {
            for (const e2e::ControlText& control : e2e::ReadChildTexts(dialog)) {
                if (control.text == L"Copy operation in progress...") return true;
            }
        }
        return false;
    }

    // Presses OK in each message box of the program not answered yet, keeping what it said; true
    // once the program is usable again: no busy dialog, its window enabled.
    bool Settled()
    {
        for (HWND box : e2e::FindTopWindows(kMainTitle, ProgramId())) {
            // Its main window has the same title, and no message.
            std::wstring text = box == main_ || answered_.count(box) ? L"" : e2e::MessageBoxText(box);
            if (text.empty()) continue;
            answered_.insert(box);
            boxTexts_.push_back(text);
            e2e::PressButton(box, IDOK);
        }
        return !BusyDialogShown() && IsWindowEnabled(main_);
    }

    // One drag onto a target and its outcome: the target's folder holds exactly what it should,
    // and, when the extraction runs after the drop, the busy dialog showed until it had ended.
    void DragOnto(Target& target, POINT from, const TreeSnapshot& adds, bool asynchronous)
    {
        const std::wstring& log = target.window.LogPath();
        size_t drops = bed::ReadEvents(log, "finished").size();
        size_t ends = bed::ReadEvents(log, "end-operation").size();
        DWORD began = GetTickCount();
        TimedMouseDrag(from, target.window.Centre());
        if (asynchronous) {
            bool shown = PollUntil([&] { return BusyDialogShown() || bed::ReadEvents(log, "finished").size() > drops; },
                                   kDropMs);
            EXPECT_TRUE(shown && BusyDialogShown()) << "no busy dialog while the target extracted";
            EXPECT_EQ(bed::ReadEvents(log, "end-operation").size(), ends) << "EndOperation came before the busy dialog";
        }
        ASSERT_TRUE(bed::WaitForEvents(log, "finished", drops + 1, kDropMs));
        std::printf("[   drop   ] %lu ms from the press to the target's last line\n", GetTickCount() - began);
        bed::LogEvent finished = bed::ReadEvents(log, "finished").back();
        EXPECT_EQ(finished.Field("hr"), "0x00000000");
        EXPECT_EQ(finished.Field("effect"), "1");
        EXPECT_LT(bed::LineOf(log, "skipped"), 0) << "a name reached the target that it may not store";
        EXPECT_TRUE(PollUntil([&] { return !BusyDialogShown() && IsWindowEnabled(main_); }, kStepTimeoutMs))
            << "the busy dialog stayed";
        target.written.insert(adds.begin(), adds.end());
        TreeSnapshot expected;
        expected[L"out"] = kSnapshotFolder;
        for (const auto& entry : target.written) expected[L"out/" + entry.first] = entry.second;
        EXPECT_EQ(SnapshotTree(target.run), expected);
    }

    // Every file a copy wrote (and each folder with `withFolders`) has the date of the device
    // entry it came from, to the second.
    void ExpectDatesKept(const std::wstring& copy, bool withFolders)
    {
        size_t compared = 0;
        EXPECT_EQ(DatesNotKept(copy, withFolders, &compared), std::vector<std::string>()) << e2e::ToUtf8(copy);
        EXPECT_GT(compared, 0u) << e2e::ToUtf8(copy);
    }

    std::set<HWND> answered_;
    std::vector<std::wstring> boxTexts_;  // what the message boxes answered so far said
};

TEST_F(DragOutEndToEnd, ListAndTreeItemsArriveWholeInEachExtractionMode)
{
    const TreeSnapshot documents = SnapshotTree(documents_);
    Target sync(folder_, L"sync", StandInPlace(0));
    Target async(folder_, L"async", StandInPlace(1));
    Target late(folder_, L"late", StandInPlace(2));
    ASSERT_TRUE(sync.window.Window() && async.window.Window() && late.window.Window());

    // Two files and a folder, selected with a click and two Ctrl+clicks, dragged by one of them.
    const std::vector<std::wstring> picked = {L"R\u00e9sum\u00e9 \u2013 Anna\u2019s notes.txt", L"big.bin", L"Books"};
    ASSERT_NO_FATAL_FAILURE(SelectByClicks(picked));
    const TreeSnapshot listDrag = Expected(documents, {picked.begin(), picked.end()}, L"");
    ASSERT_EQ(listDrag.size(), 6u);  // the Books folder brings Guide.pdf, Old and Old/Notes 2019.txt
    DragOnto(sync, ListItemCentre(L"big.bin"), listDrag, false);
    DragOnto(async, ListItemCentre(L"big.bin"), listDrag, true);

    // "My Documents" from the tree: a folder of that name with everything below it.
    const TreeSnapshot treeDrag = Expected(documents, {}, L"My Documents");
    DragOnto(sync, TreeItemCentre(L"My Documents"), treeDrag, false);
    DragOnto(late, TreeItemCentre(L"My Documents"), treeDrag, true);
    for (const Target* target : {&sync, &async, &late}) ExpectDatesKept(target->out, false);

    EXPECT_TRUE(sync.window.Close() && async.window.Close() && late.window.Close());
}

// Without a drag: Ctrl+C in the program and Paste in the Explorer stand-in; Save to... into a folder
// chosen in the system's folder picker, and once more into the same folder, cancelled halfway. Files
// keep their device dates either way; Save to dates its folders too.
TEST_F(DragOutEndToEnd, CopyPastesWholeAndSaveToWritesBesideOrNothing)
{
    const TreeSnapshot documents = SnapshotTree(documents_);
    const std::vector<std::wstring> picked = {L"Books", L"Odd names", L"big.bin"};
    ASSERT_NO_FATAL_FAILURE(SelectByClicks(picked));
    const TreeSnapshot copy = Expected(documents, {picked.begin(), picked.end()}, L"");
    ASSERT_TRUE(e2e::PressKeysOnDisplay("ctrl+c"));
    // Copied once "Calculating Size..." has walked the items.
    UINT virtualFiles = RegisterClipboardFormatW(L"FileGroupDescriptorW");
    ASSERT_TRUE(PollUntil([&] { return IsClipboardFormatAvailable(virtualFiles) != FALSE; }, kStepTimeoutMs));
    StandIn paste(L"ExplorerTarget", L"Target paste", StandInPlace(0), folder_ + L"\\paste.log",
                  {L"--out", folder_ + L"\\pasted", L"--paste"});
    std::wstring error;
    ASSERT_TRUE(e2e::MouseClick(paste.Centre(), false, &error)) << Utf8(error);
    ASSERT_TRUE(bed::WaitForEvents(paste.LogPath(), "finished", 1, kDropMs));
    EXPECT_EQ(bed::ReadEvents(paste.LogPath(), "finished")[0].Field("hr"), "0x00000000");
    EXPECT_EQ(SnapshotTree(folder_ + L"\\pasted"), copy);
    ExpectDatesKept(folder_ + L"\\pasted", false);

    // The copy's own dialog, with its progress bar (the walk before it shows the busy one).
    auto copyDialog = [this]() -> HWND {
        for (HWND dialog : e2e::FindTopWindows(L"Now Copying...", ProgramId())) {
            if (GetDlgItem(dialog, IDC_COPY_PROGRESS_BAR)) return dialog;
        }
        return nullptr;
    };
    auto copying = [&] { return copyDialog() != nullptr; };
    const std::wstring saved = folder_ + L"\\saved";
    ASSERT_TRUE(CreateDirectoryW(saved.c_str(), nullptr));
    ASSERT_TRUE(e2e::ChooseMenuCommand(main_, IDM_SAVE_TO));
    ChooseInDialog(L"Save to", saved);
    EXPECT_TRUE(PollUntil([&] { return !copying() && SnapshotTree(saved) == copy; }, kDropMs));
    EXPECT_EQ(SnapshotTree(saved), copy);
    ExpectDatesKept(saved, true);

    // The names are taken now: this copy would go beside them, numbered, and goes entirely.
    ConfigureDevices("bandwidth 1000000\n");
    ASSERT_TRUE(e2e::ChooseMenuCommand(main_, IDM_SAVE_TO));
    ChooseInDialog(L"Save to", saved);
    ASSERT_TRUE(PollUntil(copying, kStepTimeoutMs));
    Sleep(700);
    EXPECT_TRUE(e2e::PressButton(copyDialog(), IDCANCEL));
    HWND told = nullptr;
    EXPECT_TRUE(PollUntil(
        [&] {
            for (HWND box : e2e::FindTopWindows(kMainTitle, ProgramId())) {
                if (e2e::MessageBoxText(box) == L"Copy operation was cancelled") told = box;
            }
            return told != nullptr;
        },
        kDropMs));
    if (told) e2e::PressButton(told, IDOK);
    EXPECT_EQ(SnapshotTree(saved), copy);
    ConfigureDevices("");
    EXPECT_TRUE(paste.Close());
}

// The open device unplugged while a target still waits to extract what was dragged from it: the
// program goes over to the other device, whose "readme.txt" holds other bytes of the same size. The
// target gets the unplugged device's bytes or an error, never the other device's bytes by that name.
TEST_F(DragOutEndToEnd, UnpluggedSourceNeverLendsTheOtherDevicesFile)
{
    const std::string own = SnapshotTree(documents_)[L"readme.txt"];
    const std::string second = SimWriteDeviceTree(folder_ + L"\\second", "second", "Second");
    ASSERT_TRUE(SimWriteFile(folder_ + L"\\second\\ipad\\Documents\\readme.txt", "HELLO WORLD"));
    ConfigureDevices(second);
    const HWND devices = GetDlgItem(main_, IDC_DEVICE_LIST);
    ASSERT_TRUE(PollUntil([&] { return ListTexts(devices).size() == 2; }, kStepTimeoutMs));
    // Late and slow: even the descriptors are asked for after the unplugging.
    Target late(folder_, L"late", StandInPlace(0), {L"--delay", L"5000"});
    ASSERT_TRUE(late.window.Window());
    TimedMouseDrag(ListItemCentre(L"readme.txt"), late.window.Centre());
    ASSERT_TRUE(PollUntil([this] { return BusyDialogShown(); }, kDropMs)) << "no busy dialog while the target waited";
    ConfigureDevices("  attached 0\n" + second);
    EXPECT_TRUE(PollUntil(
        [&] {
            return ListTexts(devices) == std::vector<std::wstring>{L"Second"} &&
                   e2e::FindTreeItem(tree_, L"My Documents");
        },
        kStepTimeoutMs))
        << "the program did not go over to the other device";
    ASSERT_TRUE(bed::WaitForEvents(late.window.LogPath(), "finished", 1, kDropMs)) << "the target's drop did not end";
    const TreeSnapshot written = SnapshotTree(late.out);
    const std::string hr = bed::ReadEvents(late.window.LogPath(), "finished")[0].Field("hr");
    EXPECT_TRUE(written == (TreeSnapshot{{L"readme.txt", own}}) || (written.empty() && hr != "0x00000000"))
        << "neither the unplugged device's bytes nor an error: hr=" << hr << ", " << written.size() << " file(s)";
    EXPECT_TRUE(PollUntil([this] { return Settled(); }, kStepTimeoutMs)) << "the program stayed busy";
    EXPECT_TRUE(late.window.Close());
}

// A folder whose deepest file lies 267 characters below it, a path no descriptor holds: the drag is
// refused with one warning, the target writes nothing, neither program hangs, and the next drag
// onto the same target arrives.
TEST_F(DragOutEndToEnd, OverLongPathIsRefusedWithOneWarningAndTheNextDragArrives)
{
    std::wstring deep = L"Deep";
    for (wchar_t c = L'a'; c <= L'e'; ++c) deep += L"\\" + std::wstring(50, c);
    deep += L"\\end.txt";
    ASSERT_TRUE(SimWriteFile(L"\\\\?\\" + documents_ + L"\\" + deep, "deep"));
    // Refresh shows the root again: down to the new folder from there.
    ASSERT_TRUE(e2e::PressButton(main_, IDC_REFRESH));
    ASSERT_TRUE(PollUntil([&] { return e2e::SelectTreeItem(tree_, L"My Documents") && Listed(L"Deep"); },
                          kStepTimeoutMs));
    Target async(folder_, L"async", StandInPlace(0));
    ASSERT_TRUE(async.window.Window());
    TimedMouseDrag(ListItemCentre(L"Deep"), async.window.Centre());
    EXPECT_TRUE(PollUntil([&] { return Settled(), !boxTexts_.empty(); }, kDropMs)) << "no warning";
    // A drop that hangs fails here in time; the target and the program are ended at the test's end.
    ASSERT_TRUE(bed::WaitForEvents(async.window.LogPath(), "finished", 1, kDropMs)) << "the target's drop hangs";
    EXPECT_TRUE(PollUntil([this] { return Settled(); }, kStepTimeoutMs)) << "the program stayed busy";
    EXPECT_EQ(SnapshotTree(async.run), (TreeSnapshot{{L"out", kSnapshotFolder}}));

    DragOnto(async, ListItemCentre(L"readme.txt"), {{L"readme.txt", SnapshotTree(documents_)[L"readme.txt"]}}, true);
    Settled();
    ASSERT_EQ(boxTexts_.size(), 1u) << testing::PrintToString(boxTexts_);
    EXPECT_EQ(boxTexts_[0], L"Can't copy out \"" + deep + L"\": the path is too long for Windows. Nothing was copied.");
    EXPECT_TRUE(async.window.Close());
}

// A target still holds a file's stream, its drop ended (EndOperation called), when the user closes
// the program: the program ends with status 0, no hang, and closes that device file through the
// device library on its way out (releasing the stream after the library has gone calls into nothing:
// Wine catches that fault, so the file left open is what shows it). Closing the target afterwards,
// which releases a stream of a process that has ended, does not hang it either.
TEST_F(DragOutEndToEnd, ClosingWhileATargetHoldsAFileStreamClosesItsDeviceFile)
{
    Target keep(folder_, L"async", StandInPlace(0), {L"--keep-stream"});
    ASSERT_TRUE(keep.window.Window());
    ConfigureDevices("trace " + Utf8(folder_) + "\\trace.txt\n");
    DragOnto(keep, ListItemCentre(L"readme.txt"), {{L"readme.txt", SnapshotTree(documents_)[L"readme.txt"]}}, true);
    ASSERT_GE(bed::LineOf(keep.window.LogPath(), "file", "stream", "kept"), 0);

    CloseProgram();
    std::ifstream trace((folder_ + L"\\trace.txt").c_str());
    size_t opened = 0, closed = 0;
    for (std::string line; std::getline(trace, line);) {
        opened += line.find("AFCFileRefOpen(") != std::string::npos;
        closed += line.find("AFCFileRefClose(") != std::string::npos;
    }
    ASSERT_GE(opened, 1u);
    EXPECT_EQ(closed, opened) << "the stream's device file was left open";
    EXPECT_TRUE(keep.window.Close()) << "the target did not end after releasing the stream";
    EXPECT_EQ(bed::ReadEvents(keep.window.LogPath(), "release-stream").size(), 1u);
}

// Explorer pastes the program's copy of a big file while the user drops a file on the list and then
// tries to close the program: the paste is a transfer running, so the drop is refused and the window
// stays; the paste ends whole, and nothing used the device's connection from two threads at once.
TEST_F(DragOutEndToEnd, APasteThatReadsHoldsOffADropAndTheClose)
{
    const std::string big = SnapshotTree(documents_)[L"big.bin"];
    const std::wstring local = folder_ + L"\\local";
    ASSERT_TRUE(SimWriteFile(local + L"\\dropped.txt", "dropped"));
    StandIn source(L"ExplorerSource", L"Source of files", StandInPlace(1), folder_ + L"\\source.log",
                   {local + L"\\dropped.txt"});
    ASSERT_TRUE(source.Window());
    ASSERT_NO_FATAL_FAILURE(SelectByClicks({L"big.bin"}));
    ASSERT_TRUE(e2e::PressKeysOnDisplay("ctrl+c"));
    UINT virtualFiles = RegisterClipboardFormatW(L"FileGroupDescriptorW");
    ASSERT_TRUE(PollUntil([&] { return IsClipboardFormatAvailable(virtualFiles) != FALSE; }, kStepTimeoutMs));
    // About six seconds to read the 3 MiB.
    ConfigureDevices("bandwidth 500000\n");
    Sleep(300);
    StandIn paste(L"ExplorerTarget", L"Target paste", StandInPlace(0), folder_ + L"\\paste.log",
                  {L"--out", folder_ + L"\\pasted", L"--paste"});
    std::wstring error;
    ASSERT_TRUE(e2e::MouseClick(paste.Centre(), false, &error)) << Utf8(error);
    ASSERT_TRUE(bed::WaitForEvents(paste.LogPath(), "descriptor", 1, kDropMs));
    const TreeSnapshot device = SnapshotTree(documents_);

    TimedMouseDrag(source.Centre(), ListItemCentre(L"Books"));
    EXPECT_TRUE(e2e::CloseWindowLikeUser(main_));
    Sleep(1000);
    EXPECT_TRUE(e2e::FindTopWindows(L"Now Copying...", ProgramId()).empty()) << "an upload ran during the paste";
    EXPECT_TRUE(IsWindow(main_)) << "the program closed during the paste";

    ASSERT_TRUE(bed::WaitForEvents(paste.LogPath(), "finished", 1, kDropMs));
    EXPECT_EQ(bed::ReadEvents(paste.LogPath(), "finished")[0].Field("hr"), "0x00000000");
    EXPECT_EQ(SnapshotTree(folder_ + L"\\pasted"), (TreeSnapshot{{L"big.bin", big}}));
    EXPECT_EQ(SnapshotTree(documents_), device);
    ConfigureDevices("");
    EXPECT_TRUE(paste.Close());
    EXPECT_TRUE(source.Close());
}

// Targets that die while the busy dialog waits for them, one in its delay before it asked for a
// single file, one halfway through reading a file's stream: each time Cancel gives the program back
// at once, two real clicks move in the tree, and in the end the program closes within seconds,
// waiting for nothing of the dead processes (COM runs their references down after minutes, if ever).
TEST_F(DragOutEndToEnd, CancelAfterTheTargetDiedGivesTheTreeAndTheCloseBack)
{
    auto cancelBusy = [this] {
        const std::vector<HWND> busy = e2e::FindTopWindows(L"Now Copying...", ProgramId());
        ASSERT_EQ(busy.size(), 1u);
        ASSERT_TRUE(e2e::PressButton(busy[0], IDCANCEL));
        ASSERT_TRUE(PollUntil([this] { return Settled(); }, kStepTimeoutMs)) << "the program stayed busy";
    };
    Target waiting(folder_, L"async", StandInPlace(0), {L"--delay", L"60000"});
    ASSERT_TRUE(waiting.window.Window());
    TimedMouseDrag(ListItemCentre(L"readme.txt"), waiting.window.Centre());
    ASSERT_TRUE(PollUntil([this] { return BusyDialogShown(); }, kDropMs)) << "no busy dialog while the target waited";
    ASSERT_TRUE(bed::WaitForEvents(waiting.window.LogPath(), "drop-end", 1, kStepTimeoutMs));
    waiting.window.Kill();
    ASSERT_NO_FATAL_FAILURE(cancelBusy());

    // Where a click selects: the root's label is a single narrow glyph, so on its folder icon, left
    // of the label; a longer label at its centre.
    RECT root = {};
    ASSERT_TRUE(e2e::TreeItemScreenRect(tree_, e2e::FindTreeItem(tree_, L"/"), &root));
    const POINT rootIcon = {root.left - 9, (root.top + root.bottom) / 2};
    auto selected = [this](const wchar_t* text) {
        std::vector<e2e::TreeItem> items;
        if (!e2e::ReadTreeItems(tree_, &items)) return false;
        for (const e2e::TreeItem& item : items) {
            if (item.selected) return item.text == text;
        }
        return false;
    };
    std::wstring error;
    ASSERT_TRUE(e2e::MouseClick(rootIcon, false, &error)) << Utf8(error);
    EXPECT_TRUE(PollUntil([&] { return selected(L"/") && Listed(L"My Documents"); }, kStepTimeoutMs))
        << "a click on the root did not show it";
    ASSERT_TRUE(e2e::MouseClick(TreeItemCentre(L"My Documents"), false, &error)) << Utf8(error);
    EXPECT_TRUE(PollUntil([&] { return selected(L"My Documents") && Listed(L"big.bin"); }, kStepTimeoutMs))
        << "a click on \"My Documents\" did not show it";

    // About six seconds to read the 3 MiB: the target dies holding the stream it reads.
    ConfigureDevices("bandwidth 500000\n");
    Target reading(folder_, L"late", StandInPlace(1), {L"--delay", L"300"});
    ASSERT_TRUE(reading.window.Window());
    TimedMouseDrag(ListItemCentre(L"big.bin"), reading.window.Centre());
    ASSERT_TRUE(bed::WaitForEvents(reading.window.LogPath(), "get-contents", 1, kDropMs));
    Sleep(500);
    ASSERT_TRUE(BusyDialogShown()) << "the target was not reading any more";
    reading.window.Kill();
    ASSERT_NO_FATAL_FAILURE(cancelBusy());
    ConfigureDevices("");
    ASSERT_TRUE(e2e::MouseClick(TreeItemCentre(L"Books"), false, &error)) << Utf8(error);
    EXPECT_TRUE(PollUntil([&] { return selected(L"Books") && Listed(L"Guide.pdf"); }, kStepTimeoutMs))
        << "a click on \"Books\" did not show it";

    DWORD began = GetTickCount();
    const DWORD program = ProgramId();
    CloseProgram();
    std::printf("[  close   ] %lu ms from the close box to the program's end\n", GetTickCount() - began);
    EXPECT_LT(GetTickCount() - began, kStepTimeoutMs) << "the close waited; the program's windows:" << ShownWindows(program);
}

}  // namespace
