// The hostile-name corpus on the real program with the real pointer: listed, dragged out onto the
// Explorer target stand-in, dropped from the Explorer source stand-in, deleted; and a device whose
// name is 10,000 characters long arriving meanwhile.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "BedLog.h"
#include "E2EDriver.h"
#include "HostileNames.h"
#include "SimDevice.h"
#include "StandIn.h"
#include "TransferRun.h"
#include "resource.h"

namespace {

constexpr DWORD kTransferMs = 30000;

// Each corpus entry's contents once, as a snapshot gives them.
std::multiset<std::string> CorpusContents(const std::wstring& scratch)
{
    for (const HostileName& name : HostileNames()) SimWriteFile(scratch + L"\\" + std::to_wstring(&name - &HostileNames()[0]), HostileContent(name));
    return FileContents(SnapshotTree(scratch));
}

class HostileNamesEndToEnd : public TransferRun {
protected:
    std::multiset<std::wstring> ListedNames() const
    {
        std::vector<std::wstring> texts = ListTexts(list_);
        return std::multiset<std::wstring>(texts.begin(), texts.end());
    }
    std::wstring StatusLine() const
    {
        for (const e2e::ControlText& control : e2e::ReadChildTexts(main_)) {
            if (control.id == IDC_STATUS_LINE) return control.text;
        }
        return std::wstring();
    }
};

TEST_F(HostileNamesEndToEnd, CorpusIsShownDraggedOutDroppedAndDeleted)
{
    const std::wstring hostile = documents_ + L"\\Hostile";
    const TreeSnapshot corpus = WriteHostileCorpus(hostile);
    TreeSnapshot others;
    for (const auto& entry : SnapshotTree(documents_)) {
        if (entry.first.compare(0, 8, L"Hostile/") != 0) others.insert(entry);
    }
    ASSERT_TRUE(e2e::PressButton(main_, IDC_REFRESH));
    std::multiset<std::wstring> shown;
    for (const HostileName& name : HostileNames()) shown.insert(name.shown);
    // Refresh shows the root again: down to the new folder from there.
    ASSERT_TRUE(PollUntil([&] { return e2e::SelectTreeItem(tree_, L"My Documents") && Listed(L"Hostile"); },
                          kStepTimeoutMs));
    ASSERT_TRUE(PollUntil([&] { return e2e::SelectTreeItem(tree_, L"Hostile") && ListedNames() == shown; },
                          kStepTimeoutMs))
        << "listed: " << testing::PrintToString(ListTexts(list_));
    EXPECT_EQ(StatusLine().find(L"inconsistency"), std::wstring::npos) << e2e::ToUtf8(StatusLine());

    // Dragged out from the tree: every file once, with its own contents, inside the drop folder.
    StandIn target(L"ExplorerTarget", L"Target of names", StandInPlace(0), folder_ + L"\\target.log",
                   {L"--out", folder_ + L"\\out", L"--mode", L"sync"});
    ASSERT_TRUE(target.Window());
    TimedMouseDrag(TreeItemCentre(L"Hostile"), target.Centre());
    ASSERT_TRUE(bed::WaitForEvents(target.LogPath(), "finished", 1, kTransferMs));
    EXPECT_EQ(bed::ReadEvents(target.LogPath(), "finished").back().Field("hr"), "0x00000000");
    EXPECT_LT(bed::LineOf(target.LogPath(), "skipped"), 0) << "a name reached the target that it may not store";
    TreeSnapshot out = SnapshotTree(folder_ + L"\\out");
    EXPECT_EQ(FileContents(out), CorpusContents(folder_ + L"\\contents"));
    for (const auto& entry : out) {
        EXPECT_TRUE(entry.first == L"Hostile" || entry.first.compare(0, 8, L"Hostile/") == 0) << e2e::ToUtf8(entry.first);
    }

    // Dropped from the source: the names Windows holds arrive unchanged, "con" and "dots.." too.
    const std::wstring local = folder_ + L"\\local";
    WriteLocalHostileCorpus(local);
    StandIn source(L"ExplorerSource", L"Source of names", StandInPlace(1), folder_ + L"\\source.log", {local});
    ASSERT_TRUE(source.Window());
    TimedMouseDrag(source.Centre(), TreeItemCentre(L"Hostile"));
    TreeSnapshot expected = corpus;
    expected[L"local"] = kSnapshotFolder;
    for (const HostileName& name : HostileNames()) {
        if (name.local) expected[L"local/" + EscapedHostName(name.device)] = SnapshotTree(local)[name.shown];
    }
    // The last file is whole on the device before the copy has closed it and refreshed the folder:
    // the copy is over only when its dialog is gone and the window takes input again.
    EXPECT_TRUE(PollUntil([&] {
        return SnapshotTree(hostile) == expected && e2e::FindTopWindows(L"Now Copying...", ProgramId()).empty() &&
               IsWindowEnabled(main_);
    }, kTransferMs)) << testing::PrintToString(SnapshotTree(hostile));
    EXPECT_TRUE(target.Close() && source.Close());

    // Deleted: Ctrl+A in the list, the toolbar's Delete, confirmed; nothing else on the device goes.
    ASSERT_TRUE(PollUntil([&] { return e2e::SelectTreeItem(tree_, L"Hostile") && ListedNames().count(L"local"); },
                          kStepTimeoutMs));
    std::wstring error;
    ASSERT_TRUE(e2e::MouseClick(ListItemCentre(L"local"), false, &error)) << e2e::ToUtf8(error);
    e2e::KeyChord all;
    ASSERT_TRUE(e2e::ParseKeyChord(L"CTRL+A", &all));
    ASSERT_TRUE(e2e::TypeKey(main_, all));
    ASSERT_TRUE(PollUntil([&] {
        std::vector<int> selected;
        return ListTexts(list_, &selected).size() == selected.size();
    }, kStepTimeoutMs));
    ASSERT_TRUE(e2e::PressButton(main_, IDC_DELETE));
    HWND confirm = nullptr;
    ASSERT_TRUE(PollUntil([&] { return (confirm = e2e::WaitForWindow(L"Delete confirmation", 100, ProgramId())); },
                          kStepTimeoutMs));
    ASSERT_TRUE(e2e::PressButton(confirm, IDOK));
    // The device folder is read only once the list is empty again: reading a file while the program
    // removes it would hold it open and make the removal fail.
    EXPECT_TRUE(PollUntil([&] { return ListTexts(list_).empty(); }, kTransferMs));
    EXPECT_TRUE(SnapshotTree(hostile).empty());
    EXPECT_EQ(SnapshotTree(documents_), others);

    // A second device calls itself by 10,000 characters: listed, and the program goes on.
    std::string config = SimWriteDeviceTree(folder_ + L"\\long", "long", LongText(10000).c_str());
    const std::wstring configPath = folder_ + L"\\devices.conf";
    std::string first;
    {
        HANDLE file = CreateFileW(configPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        char buffer[8192];
        DWORD read = 0;
        ReadFile(file, buffer, sizeof buffer, &read, nullptr);
        CloseHandle(file);
        first.assign(buffer, read);
    }
    ASSERT_TRUE(SimWriteFile(configPath, first + config));
    std::wstring longStart(1000, L'n');
    EXPECT_TRUE(PollUntil([&] {
        std::vector<std::wstring> devices = ListTexts(GetDlgItem(main_, IDC_DEVICE_LIST));
        return devices.size() == 2 && (devices[0].compare(0, longStart.size(), longStart) == 0 ||
                                       devices[1].compare(0, longStart.size(), longStart) == 0);
    }, kStepTimeoutMs)) << testing::PrintToString(ListTexts(GetDlgItem(main_, IDC_DEVICE_LIST)).size());
    EXPECT_TRUE(NoCrashWindow());
}

}  // namespace
