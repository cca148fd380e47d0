// Every device call of every operation fails once: each operation is run cleanly to count its calls,
// then again once for every N with the N-th call failing (any function, in call order). After each
// run the window must answer, no fatal report may appear, the device folder must be as before or as
// after the clean run (with the rules of each operation in between), every handle the device gave
// out must be closed again, and a failure the program reports must have been reported.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Clipboard.h"
#include "Devices.h"
#include "DataObjectReader.h"
#include "DragObjects.h"
#include "DragStart.h"
#include "DropTarget.h"
#include "FileDropData.h"
#include "FileOperations.h"
#include "HdropData.h"
#include "MessageBoxWatch.h"
#include "ProgramHarness.h"
#include "SaveTo.h"
#include "TreeSnapshot.h"
#include "WindowHarness.h"
#include "iPhone.h"

namespace {

const wchar_t kUserDocs[] = L"\\Library\\Application Support\\com.marlquist.tovarel.ASRoot\\UserDocs";
const wchar_t kConnectionError[] = L"Connection error. Please disconnect and reconnect your device.";
// Operations that make more calls than this are sampled evenly, the first and the last call included.
const unsigned kMostRunsPerOperation = 120;

// "My Documents" before every run. The tree is small on purpose: every call is tried.
const struct {
    const wchar_t* path;
    size_t size;
} kDeviceFiles[] = {{L"Tree\\Sub\\deep.txt", 4}, {L"Tree\\a.txt", 5}, {L"Tree\\b.txt", 3000},
                    {L"keep.txt", 4},            {L"Books\\Guide.pdf", 1200}};
// The order a deletion of "Tree" removes in: contents first, subfolders before files, names in order.
const wchar_t* const kTreeRemovalOrder[] = {L"Tree/Sub/deep.txt", L"Tree/Sub", L"Tree/a.txt", L"Tree/b.txt", L"Tree"};

// What one run left behind.
struct RunResult {
    unsigned calls = 0;
    TreeSnapshot before;          // the device's "My Documents" before the run
    TreeSnapshot device;          // and after it
    TreeSnapshot local;           // the local folder after it
    std::vector<std::wstring> boxes;  // titles of the message boxes shown
    bool responsive = false;
    int leakedHandles = 0;        // device handles open beyond the open location's connection
    bool locationOpen = false;
    bool transferFailed = false;  // a drag-out or stream call answered a failure
    unsigned createCalls = 0;     // AFCDirectoryCreate calls made
};

// The main window answers a message sent from another thread within 5 seconds.
bool WindowAnswers()
{
    HWND window = g_mainWindow.load();
    bool answered = false;
    std::atomic<bool> done{false};
    std::thread asker([&] {
        DWORD_PTR result = 0;
        answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
        done = true;
    });
    PumpUntil([&] { return done.load(); }, 8000);
    asker.join();
    return answered;
}

int HandlesBeyondLocation()
{
    return static_cast<int>(SimOpenHandles()) - (CurrentConnection() ? 1 : 0);
}

std::vector<std::wstring> Keys(const TreeSnapshot& tree)
{
    std::vector<std::wstring> keys;
    for (const auto& entry : tree) keys.push_back(entry.first);
    return keys;
}

// Reads the contents of descriptor `index` to the end in small pieces, as a drop target does, and
// writes them to `path`; false (and nothing written) on any failure.
bool TakeFile(IDataObject* data, UINT index, const std::wstring& path)
{
    std::string bytes;
    return SUCCEEDED(ReadContents(data, static_cast<LONG>(index), bytes, 700)) && SimWriteFile(path, bytes);
}

class FaultSweepTest : public ProgramTest {
protected:
    struct Operation {
        const char* name;
        std::function<void()> prepare;  // from a freshly plugged device to where the operation starts
        std::function<void(RunResult&)> run;
        std::vector<const wchar_t*> boxTitles;  // boxes the operation may show; each is answered OK
        bool plugged = true;                    // false: the device is unplugged when the run starts
    };
    // Checks one faulted run against the clean one.
    using Check = std::function<void(const RunResult& clean, const RunResult& run)>;

    void SetUp() override
    {
        ProgramTest::SetUp();
        container_ = Folder(L"c");
        local_ = Folder(L"local");
        // A fatal report ends the process with status 0: here it fails the whole program instead.
        fatal_ = std::make_unique<MessageBoxWatch>(L"TovarelUSB - Fatal Error", 1, MessageBoxWatch::FailTestProgram);
    }
    void TearDown() override
    {
        SimFailNthCall(0);
        EndDragOut();
        FreeTransferList();
        fatal_.reset();
        ProgramTest::TearDown();
    }

    std::string Config(bool plugged) const
    {
        // Two editions in one container: the iPad edition opens first, the iPhone edition is the other.
        // A second device waits unplugged.
        std::string folder = Utf8Text(container_);
        return "device second\n  name Second\n  attached 0\n  app com.marlquist.tovarel " + folder +
               "\ndevice sweep\n  name Sweep\n  attached " + std::string(plugged ? "1" : "0") +
               "\n  app com.marlquist.tovarel " + folder + "\n  app com.marlquist.tovarel.ipad " + folder + "\n";
    }

    // Every device gone, the device's folder and the local folder written afresh, then plugged in.
    void Restart(bool plugged)
    {
        SimFailNthCall(0);
        EndDragOut();
        FreeTransferList();
        SimLoadConfigText("");
        WaitForNotices();
        if (g_devices.load()) ResetDevices();
        g_connectionError = 0;
        SimRemoveTree(container_);
        SimRemoveTree(local_);
        for (const auto& file : kDeviceFiles) SimWriteFile(OnDevice(file.path), std::string(file.size, 'x'));
        SimWriteFile(container_ + kUserDocs + L"\\Downloaded.pdf", "downloaded");
        SimWriteFile(local_ + L"\\Up\\x.txt", "upload x");
        SimWriteFile(local_ + L"\\Up\\Sub\\y.txt", std::string(2000, 'y'));
        SimWriteFile(local_ + L"\\keep.txt", "another keep");
        ASSERT_TRUE(LoadDevices(Config(plugged)));
        ASSERT_EQ(LocationOpen(), plugged);
    }

    std::wstring OnDevice(const std::wstring& relative) const { return Documents(container_) + L"\\" + relative; }

    RunResult Perform(const Operation& operation, unsigned nth)
    {
        RunResult result;
        Restart(operation.plugged);
        if (HasFatalFailure()) return result;
        operation.prepare();
        result.before = SnapshotTree(Documents(container_));
        int handlesBefore = HandlesBeyondLocation();
        std::vector<std::unique_ptr<MessageBoxWatch>> watches;
        for (const wchar_t* title : operation.boxTitles) {
            watches.push_back(std::make_unique<MessageBoxWatch>(title, 100, nullptr, std::vector<HWND>{window_}));
        }
        SimResetCounters();
        SimFailNthCall(nth);
        operation.run(result);
        PumpMessages(20);
        result.calls = SimCallCount(nullptr);
        result.createCalls = SimCallCount("AFCDirectoryCreate");
        SimFailNthCall(0);
        result.responsive = WindowAnswers();
        PumpMessages(80);  // a box counts once it is gone
        for (size_t w = 0; w < watches.size(); ++w) {
            for (size_t i = 0; i < watches[w]->Seen(); ++i) result.boxes.push_back(watches[w]->Title(i));
        }
        watches.clear();
        EndDragOut();
        result.leakedHandles = HandlesBeyondLocation() - handlesBefore;
        result.locationOpen = LocationOpen();
        result.device = SnapshotTree(Documents(container_));
        result.local = SnapshotTree(local_);
        return result;
    }

    // Runs the operation cleanly, then once per N with the N-th device call failing.
    void Sweep(const Operation& operation, const Check& check)
    {
        SCOPED_TRACE(operation.name);
        DWORD start = GetTickCount();
        RunResult clean = Perform(operation, 0);
        ASSERT_GT(clean.calls, 0u);
        ASSERT_TRUE(clean.responsive);
        ASSERT_EQ(clean.leakedHandles, 0);
        unsigned step = (clean.calls + kMostRunsPerOperation - 1) / kMostRunsPerOperation;
        std::vector<unsigned> tries;
        for (unsigned nth = 1; nth <= clean.calls; nth += step) tries.push_back(nth);
        if (tries.back() != clean.calls) tries.push_back(clean.calls);
        int failures = 0;
        for (unsigned nth : tries) {
            SCOPED_TRACE("call " + std::to_string(nth) + " of " + std::to_string(clean.calls) + " fails");
            int before = testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
            RunResult run = Perform(operation, nth);
            EXPECT_TRUE(run.responsive);
            EXPECT_EQ(run.leakedHandles, 0);
            check(clean, run);
            if (testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() != before) {
                ++failures;
            }
        }
        printf("[  SWEEP   ] %-22s device calls %4u, N tried %4u, failing runs %d, %lu s\n", operation.name,
               clean.calls, static_cast<unsigned>(tries.size()), failures, (GetTickCount() - start) / 1000);
        fflush(stdout);
    }

    static bool Shown(const RunResult& run, const wchar_t* title)
    {
        return std::find(run.boxes.begin(), run.boxes.end(), title) != run.boxes.end();
    }
    // A failure that only the status line reports: the location is gone with the connection error
    // shown, or still open (a listing failure shows a folder short or empty).
    static void ExpectQuietOutcome(const RunResult& run)
    {
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ(run.device, run.before);
        // A failed look-up of the installed editions is no failure: the device is listed without any.
        DeviceEntry* device = g_currentDevice.load();
        bool listedWithoutEditions = device && device->locations[0] == EDITION_NONE;
        if (!run.locationOpen && !listedWithoutEditions) {
            EXPECT_EQ(StatusLineText(), kConnectionError);
        }
    }

    // A folder that cannot be read shows empty; an entry that cannot be read is left out, and the
    // status line then tells that the device's file system is not in order.
    static void ExpectListing(const std::vector<std::wstring>& shown, const std::vector<std::wstring>& full)
    {
        if (shown.empty() || shown == full) return;
        size_t same = 0;
        while (same < shown.size() && same < full.size() && shown[same] == full[same]) ++same;
        std::vector<std::wstring> rest = full;
        if (same < rest.size()) rest.erase(rest.begin() + same);
        EXPECT_EQ(shown, rest);
        EXPECT_EQ(StatusLineText(), kConnectionError);
    }

    std::wstring container_;
    std::wstring local_;
    std::unique_ptr<MessageBoxWatch> fatal_;
};

// --- Connecting and browsing: failures show in the status line, never in a box ------------------

TEST_F(FaultSweepTest, ConnectingAndBrowsing)
{
    auto documentsItem = [] { return TreeItemByNames({L"My Documents"}); };
    std::vector<std::wstring> documents = {L"Books", L"Tree", L"keep.txt"};
    std::vector<std::wstring> documentsFolders = {L"Books", L"Tree"};
    const Operation operations[] = {
        {"arrival and connect", [] {}, [this](RunResult&) {
             SimAttach("sweep");
             WaitForNotices();
         }, {}, false},
        {"arrival beside another", [] {}, [this](RunResult&) {
             SimAttach("second");
             WaitForNotices();
         }, {}},
        {"open an edition", [] {}, [](RunResult&) { SelectOnlyListItem(g_locationsList, 1); }, {}},
        {"list a folder", [] {}, [](RunResult&) { SelectTreeItemByNames({L"My Documents"}); }, {}},
        {"expand the tree", [] {}, [&](RunResult&) {
             TreeView_Expand(TreeControlForTest(), documentsItem(), TVE_EXPAND);
             PumpMessages();
         }, {}},
        {"refresh", [] { SelectTreeItemByNames({L"My Documents", L"Tree"}); }, [](RunResult&) {
             RefreshLocation();
             PumpMessages();
         }, {}},
    };
    for (const Operation& operation : operations) {
        Sweep(operation, [&](const RunResult&, const RunResult& run) {
            ExpectQuietOutcome(run);
            if (!run.locationOpen) return;
            std::string what = operation.name;
            if (what == "list a folder") {
                ExpectListing(ListTexts(g_fileList), documents);
            } else if (what == "expand the tree") {
                ExpectListing(TreeChildTexts(documentsItem()), documentsFolders);
            } else if (what == "open an edition") {
                EXPECT_EQ(g_currentDevice.load()->openLocation, EDITION_IPHONE);
            }
        });
    }
}

// --- New folder, rename and delete ----------------------------------------------------------------

TEST_F(FaultSweepTest, NewFolderRenameAndDelete)
{
    auto showDocuments = [] { ASSERT_NE(SelectTreeItemByNames({L"My Documents"}), nullptr); };
    Sweep({"new folder", showDocuments, [](RunResult&) {
               CreateNewFolder();
               PumpMessages();
               if (HWND edit = ListView_GetEditControl(g_fileList)) SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
               PumpMessages();
           }, {L"Error creating new folder"}},
          [](const RunResult& clean, const RunResult& run) {
              ASSERT_TRUE(run.device == run.before || run.device == clean.device);
              // A refused creation is the one failure the user is told of; a failed look for a free
              // name, or a failed listing afterwards, stays quiet.
              bool refused = run.createCalls > 0 && run.device == run.before;
              EXPECT_EQ(run.boxes.size(), refused ? 1u : 0u);
          });

    Sweep({"rename", showDocuments, [](RunResult&) { RenameListItem(ListIndex(L"keep.txt"), L"kept.txt"); }, {}},
          [](const RunResult& clean, const RunResult& run) {
              ASSERT_TRUE(run.device == run.before || run.device == clean.device);
              EXPECT_TRUE(run.boxes.empty());
              // The label tells which name the device holds.
              bool renamed = run.device == clean.device;
              EXPECT_EQ(ListIndex(L"kept.txt") >= 0, renamed);
              EXPECT_EQ(ListIndex(L"keep.txt") >= 0, !renamed);
          });
    // A shown folder renamed in the tree is read again under its new name.
    Sweep({"rename a tree folder", [] { ASSERT_NE(SelectTreeItemByNames({L"My Documents", L"Tree"}), nullptr); },
           [](RunResult&) {
               HTREEITEM item = TreeItemByNames({L"My Documents", L"Tree"});
               RenameTreeFolder(item, g_currentFolder.load(), L"Grove");
               PumpMessages();
           }, {}},
          [](const RunResult& clean, const RunResult& run) {
              ASSERT_TRUE(run.device == run.before || run.device == clean.device);
              EXPECT_TRUE(run.boxes.empty());
              bool renamed = run.device == clean.device;
              EXPECT_EQ(PathLineText(), renamed ? L"My Documents/Grove" : L"My Documents/Tree");
              EXPECT_NE(TreeItemByNames({L"My Documents", renamed ? L"Grove" : L"Tree"}), nullptr);
              // Whatever the list shows is reached under the folder's real name.
              for (int i = 0; i < ListView_GetItemCount(g_fileList); ++i) {
                  auto* node = reinterpret_cast<FolderNode*>(ListItemData(g_fileList, i));
                  ASSERT_NE(node, nullptr);
                  EXPECT_EQ(std::wstring(node->path).rfind(renamed ? L"0/Grove/" : L"0/Tree/", 0), 0u)
                      << Utf8Text(node->path);
              }
          });

    Sweep({"delete a folder tree", [&] {
               showDocuments();
               ListView_SetItemState(g_fileList, -1, 0, LVIS_SELECTED);
               ListView_SetItemState(g_fileList, ListIndex(L"Tree"), LVIS_SELECTED, LVIS_SELECTED);
           }, [](RunResult&) {
               DeleteSelectedItems();
               PumpMessages();
           }, {L"Delete confirmation", L"Unexpected error"}},
          [](const RunResult&, const RunResult& run) {
              // Removed: a prefix of the removal order, and nothing else.
              size_t removed = 0;
              while (removed < std::size(kTreeRemovalOrder) && !run.device.count(kTreeRemovalOrder[removed])) ++removed;
              TreeSnapshot expected = run.before;
              for (size_t i = 0; i < removed; ++i) expected.erase(kTreeRemovalOrder[i]);
              EXPECT_EQ(Keys(run.device), Keys(expected)) << "removed " << removed;
              bool complete = removed == std::size(kTreeRemovalOrder);
              EXPECT_EQ(Shown(run, L"Unexpected error"), !complete && run.locationOpen);
          });
}

// --- Transfers ------------------------------------------------------------------------------------

TEST_F(FaultSweepTest, UploadDragOutAndStreams)
{
    auto showDocuments = [] { ASSERT_NE(SelectTreeItemByNames({L"My Documents"}), nullptr); };
    auto dropOnDocuments = [this](const wchar_t* name) {
        DropFilesAt(g_listDropTarget, OverBlank(g_fileList), {local_ + L"\\" + name});
        PumpUntil([] { return !g_copyThread.load() && !g_copyDialog.load(); }, 30000);
        PumpMessages(50);
    };
    const std::vector<const wchar_t*> warnings = {L"TovarelUSB", L"TovarelUSB - File / folder already exists"};
    Check wholeOrNothing = [](const RunResult& clean, const RunResult& run) {
        EXPECT_EQ(run.local, clean.local);
        ASSERT_TRUE(run.device == run.before || run.device == clean.device);
        // A copy that left nothing behind said so; a complete one did not complain.
        EXPECT_EQ(run.boxes.size(), run.device == run.before ? 1u : 0u);
    };
    Sweep({"upload a small tree", showDocuments, [&](RunResult&) { dropOnDocuments(L"Up"); }, warnings},
          wholeOrNothing);
    // Files copied in Explorer and pasted: a drop by other means.
    auto waitForCopy = [] {
        PumpUntil([] { return !g_copyThread.load() && !g_copyDialog.load(); }, 30000);
        PumpMessages(50);
    };
    Sweep({"paste a small tree", [&] {
               showDocuments();
               IDataObject* files = nullptr;
               ASSERT_EQ(bed::CreateHdropDataObject({local_ + L"\\Up"}, false, &files), S_OK);
               ASSERT_EQ(OleSetClipboard(files), S_OK);
               files->Release();
           }, [&](RunResult&) {
               PasteFilesFromClipboard();
               waitForCopy();
               OleSetClipboard(nullptr);
           }, warnings},
          wholeOrNothing);
    // Save to: the local folder gets the whole tree or keeps what it had; the device is only read.
    Sweep({"save a small tree", [] {}, [&](RunResult&) {
               DragItems items;
               items.push_back({OwnedWide(DupString(L"/Documents/Tree")), nullptr});
               SaveItemsTo(items, local_.c_str());
               waitForCopy();
           }, warnings},
          [](const RunResult& clean, const RunResult& run) {
              EXPECT_EQ(run.device, run.before);
              TreeSnapshot without = clean.local;
              for (auto entry = without.begin(); entry != without.end();) {
                  entry = entry->first.rfind(L"Tree", 0) == 0 ? without.erase(entry) : std::next(entry);
              }
              ASSERT_TRUE(run.local == clean.local || run.local == without);
              EXPECT_EQ(run.boxes.size(), run.local == without ? 1u : 0u);
          });
    // A name the device has already: never overwritten, whichever check a failure strikes.
    Sweep({"upload onto a name", showDocuments, [&](RunResult&) { dropOnDocuments(L"keep.txt"); }, warnings},
          [](const RunResult& clean, const RunResult& run) {
              EXPECT_EQ(run.local, clean.local);
              EXPECT_EQ(run.device, run.before);
              EXPECT_EQ(run.boxes.size(), 1u);
          });

    // A stand-in target: writes a file only when its stream read to the end without a failure. Every
    // file it took must be complete; when nothing failed, it took everything.
    Check takenWhole = [](const RunResult& clean, const RunResult& run) {
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ(run.device, run.before);
        for (const auto& entry : run.local) {
            auto expected = clean.local.find(entry.first);
            ASSERT_NE(expected, clean.local.end()) << Utf8Text(entry.first);
            EXPECT_EQ(entry.second, expected->second) << Utf8Text(entry.first);
        }
        if (!run.transferFailed) {
            EXPECT_EQ(run.local, clean.local);
        }
    };
    auto dragOut = [this](RunResult& result) {
        Held<IDataObject> data = StartDrag(L"/Documents", {L"0/Tree"});
        std::vector<OfferedFile> files;
        if (!data || FAILED(GetDescriptors(data.get(), files))) {
            result.transferFailed = true;
            return;
        }
        for (UINT i = 0; i < files.size(); ++i) {
            std::wstring path = local_ + L"\\" + files[i].name;
            if (files[i].attributes & FILE_ATTRIBUTE_DIRECTORY) {
                CreateDirectoryW(path.c_str(), nullptr);
            } else if (!TakeFile(data.get(), i, path)) {
                result.transferFailed = true;
            }
        }
    };
    Sweep({"drag out a small tree", [] {}, dragOut, {}}, takenWhole);

    Held<IDataObject> data;
    Sweep({"read a stream", [&] {
               data = StartDrag(L"/Documents", {L"0/Tree/b.txt"});
               std::vector<OfferedFile> files;
               ASSERT_EQ(GetDescriptors(data.get(), files), S_OK);
           }, [&](RunResult& result) {
               result.transferFailed = !TakeFile(data.get(), 0, local_ + L"\\b.txt");
               data.reset();
           }, {}},
          takenWhole);
}

}  // namespace
