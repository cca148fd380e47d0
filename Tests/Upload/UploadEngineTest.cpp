// The copy thread with real local files under Wine: what reaches the device, what the progress
// dialog shows, and that a failed or cancelled copy leaves the device exactly as it was.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <memory>

#include "CopyThread.h"
#include "DropTarget.h"
#include "UploadEngine.h"
#include "UploadSupport.h"
#include "WindowHarness.h"
#include "iPhone.h"

namespace {

const uint32_t kChunk = 262144;

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Keeps a file open in another process, without read sharing, until destroyed: the handle is
// moved into a suspended process of this program.
class HeldByOtherProcess {
public:
    explicit HeldByOtherProcess(const std::wstring& path)
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                            &process_)) {
            return;
        }
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE moved = nullptr;
        held_ = file != INVALID_HANDLE_VALUE &&
                DuplicateHandle(GetCurrentProcess(), file, process_.hProcess, &moved, 0, FALSE,
                                DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE);
    }
    ~HeldByOtherProcess()
    {
        if (!process_.hProcess) return;
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, 5000);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    bool Held() const { return held_; }

private:
    PROCESS_INFORMATION process_ = {};
    bool held_ = false;
};

class UploadEngineTest : public UploadTest {
protected:
    std::wstring DropOnDocuments(const std::vector<std::wstring>& paths, const wchar_t* warningTitle,
                                 const std::function<void()>& afterDrop = nullptr)
    {
        return DropAndFinish(g_listDropTarget, OverBlank(g_fileList), paths, warningTitle, afterDrop);
    }
};

TEST_F(UploadEngineTest, EmptyFoldersAndEmptyFilesCopyWithoutProgress)
{
    CreateDirectoryW(Local(L"Tree").c_str(), nullptr);
    CreateDirectoryW(Local(L"Tree\\A").c_str(), nullptr);
    CreateDirectoryW(Local(L"Tree\\A\\B").c_str(), nullptr);
    CreateDirectoryW(Local(L"Tree\\C").c_str(), nullptr);
    SimWriteFile(Local(L"Tree\\A\\empty.txt"), "");
    SimWriteFile(Local(L"Tree\\zero.bin"), "");
    SimWriteFile(Local(L".hidden"), "");
    SetFileAttributesW(Local(L".hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(DropOnDocuments({Local(L"Tree"), Local(L".hidden")}, L""), L"");
    EXPECT_EQ(SnapshotTree(DeviceDocuments() + L"\\Tree"), SnapshotTree(Local(L"Tree")));
    EXPECT_EQ(SnapshotTree(DeviceDocuments()).at(L".hidden"), "0:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // A total of 0 moves nothing; the texts shown (a quick copy shows few) name what is copied.
    EXPECT_TRUE(record_.positions.empty());
    ASSERT_FALSE(record_.texts.empty());
    EXPECT_EQ(record_.texts[0], L"Calculating size...");
    const std::vector<std::wstring> allowed = {
        L"Calculating size: " + Local(L"Tree"), L"Calculating size: " + Local(L"Tree\\A"),
        L"Calculating size: " + Local(L"Tree\\A\\B"), L"Calculating size: " + Local(L"Tree\\C"),
        Local(L"Tree\\A\\empty.txt"), Local(L"Tree\\zero.bin"), Local(L".hidden")};
    for (size_t i = 1; i < record_.texts.size(); ++i) EXPECT_TRUE(Contains(allowed, record_.texts[i]));
    EXPECT_EQ(ListTexts(g_fileList), Texts({L"Books", L"Empty", L"Tree", L".hidden", L"readme.txt"}));
    EXPECT_TRUE(TreeItemHasChildren(TreeItemByNames({L"My Documents", L"Tree"})));

    // A folder of the size pass, once it is due to be named, is named as they are.
    HWND line = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    g_copyStatusText = line;
    Sleep(150);
    uint64_t total = 0;
    EXPECT_TRUE(AddLocalSize(Local(L"Tree").c_str(), total));
    g_copyStatusText = nullptr;
    wchar_t shown[MAX_PATH] = L"";
    GetWindowTextW(line, shown, MAX_PATH);
    EXPECT_EQ(shown, L"Calculating size: " + Local(L"Tree"));
    DestroyWindow(line);
}

TEST_F(UploadEngineTest, DroppedFoldersOfOneNameMergeAndTheLaterFileWins)
{
    SimWriteFile(Local(L"a\\X\\f.txt"), "first");
    SimWriteFile(Local(L"a\\X\\only-a.txt"), "a");
    SimWriteFile(Local(L"b\\X\\f.txt"), "second version");
    SimWriteFile(Local(L"a\\X\\Sub\\g.txt"), "g");
    SimWriteFile(Local(L"c\\X\\f.txt"), "third");

    const int kFlatFiles = 30;
    for (int i = 0; i < kFlatFiles; ++i) SimWriteFile(Local(L"Flat\\f" + std::to_wstring(i)), "x");

    // A slow device: every file takes long enough to be named in the dialog.
    SimSetLatency(40000, 0);
    EXPECT_EQ(DropOnDocuments({Local(L"a\\X"), Local(L"b\\X")}, L""), L"");
    SimSetLatency(0, 0);
    // The merged folder has a subfolder from the first of the two; the expand button shows it.
    EXPECT_TRUE(TreeItemHasChildren(TreeItemByNames({L"My Documents", L"X"})));
    // Showing the destination afresh takes what the copy knows of the folder it made: the device
    // is not asked about each of its files to learn that it holds no subfolder.
    SimResetCounters();
    EXPECT_EQ(DropOnDocuments({Local(L"Flat")}, L""), L"");
    EXPECT_LT(SimCallCount("AFCFileInfoOpen"), static_cast<unsigned>(kFlatFiles));
    EXPECT_FALSE(TreeItemHasChildren(TreeItemByNames({L"My Documents", L"Flat"})));
    EXPECT_TRUE(TreeItemHasChildren(TreeItemByNames({L"My Documents", L"X"})));
    // Folders the copy did not make are asked about as before.
    EXPECT_TRUE(TreeItemHasChildren(TreeItemByNames({L"My Documents", L"Books"})));
    EXPECT_FALSE(TreeItemHasChildren(TreeItemByNames({L"My Documents", L"Empty"})));
    TreeSnapshot merged = SnapshotTree(DeviceDocuments() + L"\\X");
    TreeSnapshot expected = SnapshotTree(Local(L"a\\X"));
    for (const auto& entry : SnapshotTree(Local(L"b\\X"))) expected[entry.first] = entry.second;
    EXPECT_EQ(merged, expected);
    ASSERT_FALSE(record_.positions.empty());
    EXPECT_EQ(record_.positions.back(), 10000);
    EXPECT_TRUE(std::is_sorted(record_.positions.begin(), record_.positions.end()));
    for (const wchar_t* file : {L"a\\X\\f.txt", L"a\\X\\only-a.txt", L"b\\X\\f.txt", L"a\\X\\Sub\\g.txt"}) {
        EXPECT_TRUE(Contains(record_.texts, Local(file))) << Utf8Text(file);
    }

    // A folder of this name existed before this drop: refused as a whole.
    EXPECT_EQ(DropOnDocuments({Local(L"c\\X")}, kExistsTitle), kExistsText);
    EXPECT_EQ(SnapshotTree(DeviceDocuments() + L"\\X"), merged);
}

// A folder from a Mac may hold one name composed and decomposed: two files here, one on the
// device, which would keep the later. The upload stops before it writes anything and names both.
TEST_F(UploadEngineTest, NamesThatAreOneOnTheDeviceStopTheUploadBeforeAnythingIsWritten)
{
    const std::wstring composed = L"Caf\u00e9.pdf";
    const std::wstring decomposed = L"Cafe\u0301.pdf";
    SimWriteFile(Local(L"Mac\\a.txt"), "a");
    SimWriteFile(Local(L"Mac\\Sub\\" + composed), "composed");
    SimWriteFile(Local(L"Mac\\Sub\\" + decomposed), "decomposed");
    SimWriteFile(Local(L"one\\" + composed), "one");
    SimWriteFile(Local(L"two\\" + decomposed), "two");
    const TreeSnapshot device = SnapshotTree(DeviceDocuments());
    const struct {
        const char* what;
        std::vector<std::wstring> dropped;
        std::wstring first, second;  // the local paths named
    } cases[] = {
        {"inside a dropped folder", {Local(L"Mac")}, Local(L"Mac\\Sub\\" + composed), Local(L"Mac\\Sub\\" + decomposed)},
        {"two dropped items", {Local(L"one\\" + composed), Local(L"two\\" + decomposed)}, Local(L"one\\" + composed),
         Local(L"two\\" + decomposed)},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        std::wstring text = DropOnDocuments(row.dropped, kExistsTitle);
        EXPECT_NE(text.find(row.first + L"\n"), std::wstring::npos) << Utf8Text(text);
        EXPECT_NE(text.find(row.second + L"\n"), std::wstring::npos) << Utf8Text(text);
        EXPECT_EQ(SnapshotTree(DeviceDocuments()), device);
    }
    // The rest of the folder copies once the clash is gone.
    DeleteFileW(Local(L"Mac\\Sub\\" + decomposed).c_str());
    EXPECT_EQ(DropOnDocuments({Local(L"Mac")}, L""), L"");
    EXPECT_EQ(SnapshotTree(DeviceDocuments() + L"\\Mac"), SnapshotTree(Local(L"Mac")));
}

TEST_F(UploadEngineTest, FailedOrCancelledCopyLeavesTheDeviceAsItWas)
{
    SimWriteFile(Local(L"Drop\\a.txt"), std::string(1000, 'a'));
    SimWriteFile(Local(L"Drop\\Sub\\b.txt"), "b");
    SimWriteFile(Local(L"Drop\\Sub\\Deeper\\c.txt"), "c");
    SimWriteFile(Local(L"big.bin"), std::string(8 * kChunk, 'z'));
    SimWriteFile(Local(L"Books\\new.txt"), "would merge into the device's Books");
    SimWriteFile(Local(L"readme.txt"), "would overwrite the device's readme");
    SimWriteFile(Local(L"late.txt"), "would overwrite a file made after the drop");
    SimWriteFile(Local(L"Late\\new.txt"), "would merge into a folder made after the drop");
    const std::vector<std::wstring> dropped = {Local(L"Drop"), Local(L"big.bin")};
    TreeSnapshot before = SnapshotTree(DeviceDocuments());
    // Both checks of a name, by the drop and by the copy, fail from their n-th call on.
    auto failProbes = [](unsigned nth, unsigned count) {
        return [nth, count] {
            SimFailCalls("AFCDirectoryOpen", nth, count);
            SimFailCalls("AFCFileInfoOpen", nth, count);
        };
    };
    auto makeOnDevice = [&](const wchar_t* path) {
        return [&, path] {
            SimWriteFile(DeviceDocuments() + L"\\" + path, "the device's own");
            before = SnapshotTree(DeviceDocuments());
        };
    };
    const unsigned handles = SimOpenHandles();
    const size_t kAny = 99;
    std::unique_ptr<HeldByOtherProcess> holder;
    struct Case {
        const char* what;
        std::function<void()> arrange;      // before the drop
        std::function<void()> afterDrop;    // before the copy thread starts its work
        std::function<void(CopyRecord&)> onEvent;
        const wchar_t* text;
        size_t positions;  // how far the progress bar was moved; kAny when it does not matter
        std::vector<std::wstring> paths = {};
    } cases[] = {
        {"a device file that cannot be made", [] { SimFailCall("AFCFileRefOpen", 2); }, nullptr, nullptr,
         kCopyErrorText, kAny},
        {"a write that fails in the large file", [] { SimFailCall("AFCFileRefWrite", 6); }, nullptr, nullptr,
         kCopyErrorText, kAny},
        {"a folder that cannot be made", [] { SimFailCall("AFCDirectoryCreate", 2); }, nullptr, nullptr,
         kCopyErrorText, kAny},
        {"a dropped file deleted after the drop", nullptr, [&] { DeleteFileW(Local(L"loose.txt").c_str()); }, nullptr,
         kCopyErrorText, 0, {Local(L"Drop"), Local(L"loose.txt")}},
        {"a local file another process holds without read sharing",
         [&] {
             holder.reset(new HeldByOtherProcess(Local(L"Drop\\Sub\\Deeper\\c.txt")));
             ASSERT_TRUE(holder->Held());
         },
         nullptr, nullptr, kCopyErrorText, kAny},
        {"cancel while sizing", nullptr, nullptr,
         [](CopyRecord& record) {
             if (record.texts.size() == 1) PressCopyCancel();
         },
         kCancelledText, 0},
        // 4 MB/s: a chunk takes 60 ms, the dialog is told every 100 ms.
        {"cancel in the middle of the large file", [] { SimSetLatency(0, 4 << 20); }, nullptr,
         [](CopyRecord& record) {
             if (record.positions.size() == 1 && record.positions[0] >= 1000) PressCopyCancel();
         },
         kCancelledText, 1},
        // The checks of a name that is there fail in turn: the drop's, then the copy's too. A check
        // that fails never counts as "not there".
        {"the drop's check of an existing folder fails", failProbes(1, 1), nullptr, nullptr, kCopyErrorText, 0,
         {Local(L"Books")}},
        {"the drop's check of an existing file fails", failProbes(1, 1), nullptr, nullptr, kCopyErrorText, 0,
         {Local(L"readme.txt")}},
        {"both checks of an existing folder fail", failProbes(1, 2), nullptr, nullptr, kCopyErrorText, 0,
         {Local(L"Books")}},
        {"both checks of an existing file fail", failProbes(1, 2), nullptr, nullptr, kCopyErrorText, 0,
         {Local(L"readme.txt")}},
        {"the copy's check of a file made after the drop fails", failProbes(2, 1), makeOnDevice(L"late.txt"),
         nullptr, kCopyErrorText, 0, {Local(L"late.txt")}},
        {"the copy's check of a folder made after the drop fails", failProbes(2, 1),
         makeOnDevice(L"Late\\mine.txt"), nullptr, kCopyErrorText, 0, {Local(L"Late")}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimWriteFile(Local(L"loose.txt"), "loose");
        record_ = CopyRecord();
        record_.onEvent = c.onEvent;
        if (c.arrange) c.arrange();
        EXPECT_EQ(DropOnDocuments(c.paths.empty() ? dropped : c.paths, kWarningTitle, c.afterDrop), c.text);
        SimFailCall("AFCDirectoryOpen", 0);
        SimFailCall("AFCFileInfoOpen", 0);
        holder.reset();
        SimSetLatency(0, 0);
        EXPECT_EQ(SnapshotTree(DeviceDocuments()), before);
        EXPECT_EQ(SimOpenHandles(), handles);
        EXPECT_EQ(g_transferList.load(), nullptr);
        EXPECT_EQ(PathLineText(), L"My Documents");
        if (c.positions != kAny) {
            EXPECT_EQ(record_.positions.size(), c.positions);
        }
    }
}

TEST_F(UploadEngineTest, SizesAndProgressBeyondFourGibibytes)
{
    EXPECT_EQ(ProgressPosition(0, 0), 0);
    EXPECT_EQ(ProgressPosition(5ull << 30, 5ull << 30), 10000);
    EXPECT_EQ(ProgressPosition(1ull << 32, 5ull << 30), 8000);
    // A file that grew after it was sized does not run past the end.
    EXPECT_EQ(ProgressPosition(kChunk, 1), 10000);

    // A sparse local file of 5 GiB: the write after the first 4 GiB and a chunk fails.
    const uint64_t size = 5ull << 30;
    const uint32_t chunksWritten = static_cast<uint32_t>((1ull << 32) / kChunk) + 1;
    HANDLE file = CreateFileW(Local(L"huge.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    // Not every file system Wine runs on knows the request; a file extended without writing stays
    // sparse on the usual Linux ones anyway.
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    const TreeSnapshot before = SnapshotTree(DeviceDocuments());

    SimFailCall("AFCFileRefWrite", chunksWritten + 1);
    EXPECT_EQ(DropOnDocuments({Local(L"huge.bin")}, kWarningTitle), kCopyErrorText);
    // The bar went up steadily to just under 8000, where the write after 4 GiB failed: neither a
    // total nor a count cut to 32 bits gives that.
    ASSERT_FALSE(record_.positions.empty());
    EXPECT_TRUE(std::is_sorted(record_.positions.begin(), record_.positions.end()));
    EXPECT_GE(record_.positions.back(), 7500);
    EXPECT_LE(record_.positions.back(), ProgressPosition(chunksWritten * uint64_t(kChunk), size));
    EXPECT_EQ(SnapshotTree(DeviceDocuments()), before);
    DeleteFileW(Local(L"huge.bin").c_str());
}

}  // namespace
