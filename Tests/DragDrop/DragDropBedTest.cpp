// The drag-and-drop bed, driven with the real pointer on the virtual display: file lists from the
// Explorer source stand-in onto the bed's minimal target (and a drag inside that target's own
// process), and virtual files from the bed's minimal source onto the Explorer target stand-in in
// each of its modes. The logs of both sides tell what crossed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BedLog.h"
#include "BedSha256.h"
#include "E2EDriver.h"
#include "RegistryGuard.h"
#include "SimDevice.h"
#include "StandIn.h"
#include "VirtualFileExtract.h"

namespace {

constexpr DWORD kLogMs = 20000;
const char kDropped[] = "0x00040100";      // DRAGDROP_S_DROP
const char kNoFormat[] = "0x80040064";     // DV_E_FORMATETC
constexpr int kSourceListId = 100;  // VirtualFileSource's list view
constexpr int kTargetTreeId = 100;  // HdropTarget's tree view
const char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";  // SHA-256 of "abc"

bool WaitForEvents(const std::wstring& log, const char* name, size_t count)
{
    return bed::WaitForEvents(log, name, count, kLogMs);
}

// The names in a folder, "." and ".." left out.
std::vector<std::wstring> FolderEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L"..")) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::string Utf8(const std::wstring& text)
{
    return e2e::ToUtf8(text);
}

class DragDropBed : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(WinePathFromEnvironment("TOVAREL_BUILD_DIR").empty());
        folder_ = SimMakeTempFolder(L"dragbed");
    }
    void TearDown() override
    {
        EXPECT_TRUE(e2e::FindTopWindowsContaining(L"Program Error").empty());
        SimRemoveTree(folder_);
    }

    std::wstring folder_;
};

TEST_F(DragDropBed, FileListsCrossProcessesAndOnlyAnObjectFromAnotherProcessAnswersIMarshal)
{
    const std::vector<std::wstring> paths = {folder_ + L"\\a file.txt", folder_ + L"\\R\u00e9sum\u00e9 \u2013 Anna\u2019s.txt",
                                             folder_ + L"\\Folder"};
    ASSERT_TRUE(SimWriteFile(paths[0], "one") && SimWriteFile(paths[1], "two") && SimWriteFile(paths[2] + L"\\x", "x"));
    const std::wstring ownPath = folder_ + L"\\own.txt";
    StandIn target(L"HdropTarget", L"Bed Hdrop Target", L"420,20,360,240", folder_ + L"\\target.log", {ownPath});
    ASSERT_NE(target.Window(), nullptr);
    const std::wstring& targetLog = target.LogPath();
    // Its left half is the tree its own drags start from; the right half only takes drops.
    RECT client = {};
    ASSERT_TRUE(e2e::ClientScreenRect(target.Window(), &client));
    const POINT dropPoint = {client.left + (client.right - client.left) * 3 / 4, (client.top + client.bottom) / 2};

    // From the Explorer source stand-in: the paths in order, through a proxy that answers IMarshal.
    {
        StandIn source(L"ExplorerSource", L"Bed Explorer Source", L"20,20,360,240", folder_ + L"\\source.log", paths);
        ASSERT_NE(source.Window(), nullptr);
        TimedMouseDrag(source.Centre(), dropPoint);
        ASSERT_TRUE(WaitForEvents(targetLog, "drop-end", 1));
        ASSERT_TRUE(WaitForEvents(source.LogPath(), "do-drag-drop", 1));
        EXPECT_EQ(bed::ReadEvents(targetLog, "drag-enter")[0].Field("imarshal"), "1");
        EXPECT_EQ(bed::ReadEvents(targetLog, "drop")[0].Field("imarshal"), "1");
        std::vector<std::string> dropped;
        for (const bed::LogEvent& path : bed::ReadEvents(targetLog, "path")) dropped.push_back(path.Field("path"));
        EXPECT_EQ(dropped, (std::vector<std::string>{Utf8(paths[0]), Utf8(paths[1]), Utf8(paths[2])}));
        bed::LogEvent result = bed::ReadEvents(source.LogPath(), "do-drag-drop")[0];
        EXPECT_EQ(result.Field("hr"), kDropped);
        EXPECT_EQ(result.Field("effect"), "1");
        EXPECT_GE(bed::LineOf(source.LogPath(), "get-data", "format", "CF_HDROP"), 0);
        EXPECT_TRUE(source.Close());
    }

    // Inside the target's own process the same kind of data object arrives as itself: no IMarshal.
    HWND tree = GetDlgItem(target.Window(), kTargetTreeId);
    RECT item = {};
    ASSERT_TRUE(e2e::TreeItemScreenRect(tree, e2e::FindTreeItem(tree, ownPath), &item));
    TimedMouseDrag(e2e::CentreOf(item), dropPoint);
    ASSERT_TRUE(WaitForEvents(targetLog, "drop-end", 2));
    ASSERT_TRUE(WaitForEvents(targetLog, "do-drag-drop", 1));
    EXPECT_EQ(bed::ReadEvents(targetLog, "drop")[1].Field("imarshal"), "0");
    EXPECT_EQ(bed::ReadEvents(targetLog, "path").back().Field("path"), Utf8(ownPath));
    EXPECT_EQ(bed::ReadEvents(targetLog, "do-drag-drop")[0].Field("effect"), "1");

    // Text only: the target refuses, and Wine's drag loop still answers DRAGDROP_S_DROP, effect 0.
    {
        StandIn text(L"ExplorerSource", L"Bed Text Source", L"20,20,360,240", folder_ + L"\\text.log",
                     {L"--text-only", paths[0]});
        ASSERT_NE(text.Window(), nullptr);
        TimedMouseDrag(text.Centre(), dropPoint);
        ASSERT_TRUE(WaitForEvents(text.LogPath(), "do-drag-drop", 1));
        bed::LogEvent result = bed::ReadEvents(text.LogPath(), "do-drag-drop")[0];
        EXPECT_EQ(result.Field("hr"), kDropped);
        EXPECT_EQ(result.Field("effect"), "0");
        EXPECT_EQ(bed::ReadEvents(targetLog, "drag-enter").back().Field("hdrop"), kNoFormat);
        EXPECT_EQ(bed::ReadEvents(targetLog, "drop").size(), 2u);
        EXPECT_TRUE(text.Close());
    }
    EXPECT_TRUE(target.Close());
}

// An item the virtual-file source offers, and what the target must make of it.
struct Offered {
    const wchar_t* name;
    const char* bytes;  // null: a folder; "<big>": the large file; "<gone>": a file that cannot be opened
    const char* skipReason;
};

const Offered kOffered[] = {
    {L"Docs", nullptr, nullptr},
    {L"Docs\\R\u00e9sum\u00e9 \u2013 Anna\u2019s notes.txt", "abc", nullptr},
    {L"Docs\\Empty", nullptr, nullptr},
    {L"big.bin", "<big>", nullptr},
    {L"empty.txt", "", nullptr},
    {L"gone.txt", "<gone>", nullptr},
    {L"..\\escape.txt", "x", "dot-element"},
    {L"Docs\\..\\..\\up.txt", "x", "dot-element"},
    {L"C:\\drive.txt", "x", "drive"},
    {L"\\rooted.txt", "x", "absolute"},
    {L"a:b.txt", "x", "drive"},  // drive A:, relative to its current folder
    {L"notes.txt:hidden", "x", "colon"},
    {L"what?.txt", "x", "invalid-character"},
    {L"Docs\\CON.txt", "x", "device-name"},
};

bool IsGone(const Offered& item)
{
    return item.bytes && std::string(item.bytes) == "<gone>";
}

// The bytes of an offered file ("" for a folder or a file that cannot be opened).
std::string OfferedBytes(const Offered& item)
{
    if (!item.bytes || IsGone(item)) return std::string();
    if (std::string(item.bytes) != "<big>") return item.bytes;
    std::string bytes(300000, '\0');  // several reads of the target's 32 KB
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 31 + i / 7) % 251);
    return bytes;
}

struct ModeCase {
    const char* name;
    const wchar_t* mode;
    bool sourceAsync;  // the source's asynchronous mode
    bool later;        // contents (and EndOperation) after DoDragDrop returned
    bool lateDescriptors;
    bool refused;
};

TEST_F(DragDropBed, VirtualFilesReachTheExplorerTargetInEachMode)
{
    std::vector<std::wstring> sourceArguments;
    for (size_t i = 0; i < sizeof kOffered / sizeof kOffered[0]; ++i) {
        const Offered& item = kOffered[i];
        if (!item.bytes) {
            sourceArguments.insert(sourceArguments.end(), {L"--folder", item.name});
            continue;
        }
        std::wstring path = folder_ + L"\\source\\" + std::to_wstring(i);
        if (!IsGone(item)) {
            ASSERT_TRUE(SimWriteFile(path, OfferedBytes(item)));
        }
        sourceArguments.insert(sourceArguments.end(), {L"--file", std::wstring(item.name) + L"=" + path});
    }
    const ModeCase cases[] = {
        {"sync", L"sync", true, false, false, false},
        {"async", L"async", true, true, false, false},
        {"late", L"late", true, true, true, false},
        {"async, but the source's asynchronous mode is off", L"async", false, false, false, false},
        {"refuse", L"refuse", true, false, false, true},
    };
    for (size_t c = 0; c < sizeof cases / sizeof cases[0]; ++c) {
        const ModeCase& mode = cases[c];
        SCOPED_TRACE(mode.name);
        const std::wstring run = folder_ + L"\\run" + std::to_wstring(c);
        const std::wstring out = run + L"\\out";
        StandIn target(L"ExplorerTarget", L"Bed Explorer Target", L"420,20,360,240", run + L"-target.log",
                       {L"--out", out, L"--mode", mode.mode, L"--delay", L"300"});
        std::vector<std::wstring> arguments = sourceArguments;
        if (!mode.sourceAsync) arguments.push_back(L"--sync");
        StandIn source(L"VirtualFileSource", L"Bed Virtual Source", L"20,20,360,240", run + L"-source.log", arguments);
        ASSERT_TRUE(target.Window() && source.Window());
        const std::wstring& targetLog = target.LogPath();
        const std::wstring& sourceLog = source.LogPath();

        // From an item of the source's list, as a drag out of a file manager's list starts.
        HWND list = GetDlgItem(source.Window(), kSourceListId);
        RECT item = {};
        ASSERT_TRUE(e2e::ListItemScreenRect(list, e2e::FindListItem(list, L"big.bin"), &item));
        DWORD began = GetTickCount();
        TimedMouseDrag(e2e::CentreOf(item), target.Centre());
        ASSERT_TRUE(WaitForEvents(sourceLog, "after-drag", 1));  // written just after do-drag-drop
        bed::LogEvent result = bed::ReadEvents(sourceLog, "do-drag-drop")[0];
        EXPECT_EQ(result.Field("hr"), kDropped);
        EXPECT_EQ(bed::ReadEvents(targetLog, "drag-enter")[0].Field("imarshal"), "1");
        if (mode.refused) {
            EXPECT_EQ(result.Field("effect"), "0");
            EXPECT_TRUE(bed::ReadEvents(targetLog, "drop").empty());
            EXPECT_LT(bed::LineOf(sourceLog, "get-data"), 0) << "a refusing target asked for data";
            EXPECT_TRUE(FolderEntries(run) == std::vector<std::wstring>{L"out"} && FolderEntries(out).empty());
            EXPECT_TRUE(target.Close() && source.Close());
            continue;
        }
        ASSERT_TRUE(WaitForEvents(targetLog, "finished", 1));
        std::printf("[   drop   ] %s: %lu ms from the press to the target's last line\n", mode.name,
                    GetTickCount() - began);
        EXPECT_EQ(result.Field("effect"), "1");

        // Who did what when: the asynchronous modes leave the drag loop before the contents.
        int loopEnd = bed::LineOf(sourceLog, "do-drag-drop");
        int descriptors = bed::LineOf(sourceLog, "get-data", "format", "FileGroupDescriptorW");
        int contents = bed::LineOf(sourceLog, "get-data", "format", "FileContents");
        ASSERT_GE(descriptors, 0);
        ASSERT_GE(contents, 0);
        EXPECT_EQ(bed::LineOf(sourceLog, "start-operation") >= 0, mode.later);
        EXPECT_EQ(bed::LineOf(sourceLog, "end-operation") > loopEnd, mode.later);
        EXPECT_EQ(contents > loopEnd, mode.later);
        EXPECT_EQ(descriptors > loopEnd, mode.lateDescriptors);
        EXPECT_EQ(bed::ReadEvents(sourceLog, "after-drag")[0].Field("in-operation"), mode.later ? "1" : "0");
        EXPECT_EQ(bed::LineOf(targetLog, "async-off") >= 0, !mode.sourceAsync);

        // Every descriptor as offered; unsafe names skipped; files whole; nothing outside the folder.
        std::vector<bed::LogEvent> described = bed::ReadEvents(targetLog, "descriptor");
        ASSERT_EQ(described.size(), sizeof kOffered / sizeof kOffered[0]);
        for (size_t i = 0; i < described.size(); ++i) {
            const Offered& item = kOffered[i];
            SCOPED_TRACE(Utf8(item.name));
            std::wstring sourcePath = folder_ + L"\\source\\" + std::to_wstring(i);
            EXPECT_EQ(described[i].Field("name"), Utf8(item.name));
            EXPECT_EQ(described[i].Field("flags"), item.bytes ? "0x4044" : "0x4004");
            EXPECT_EQ(described[i].Field("attributes"), item.bytes ? "0x80" : "0x10");
            std::string bytes = OfferedBytes(item);
            EXPECT_EQ(described[i].Field("size"), std::to_string(bytes.size()));
            int skipped = bed::LineOf(targetLog, "skipped", "index", std::to_string(i));
            EXPECT_EQ(skipped >= 0, item.skipReason != nullptr);
            if (item.skipReason) {
                EXPECT_EQ(bed::ReadLog(targetLog)[skipped].Field("reason"), item.skipReason);
                continue;
            }
            std::wstring written = out + L"\\" + item.name;
            if (!item.bytes) {
                EXPECT_EQ(GetFileAttributesW(written.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
                continue;
            }
            int line = bed::LineOf(targetLog, "file", "index", std::to_string(i));
            if (IsGone(item)) {
                EXPECT_LT(line, 0);
                EXPECT_NE(bed::ReadLog(targetLog)[bed::LineOf(targetLog, "get-contents", "index", std::to_string(i))].Field("hr"),
                          "0x00000000");
                EXPECT_EQ(GetFileAttributesW(written.c_str()), INVALID_FILE_ATTRIBUTES);
                continue;
            }
            ASSERT_GE(line, 0);
            bed::LogEvent file = bed::ReadLog(targetLog)[line];
            EXPECT_EQ(file.Field("result"), "written");
            EXPECT_EQ(file.Field("bytes"), std::to_string(bytes.size()));
            EXPECT_EQ(file.Field("sha256"), bed::Sha256OfFile(sourcePath));
            EXPECT_EQ(bed::Sha256OfFile(written), file.Field("sha256"));
        }
        EXPECT_EQ(bed::LineOf(targetLog, "file", "sha256", kAbc) >= 0, true) << "SHA-256 of \"abc\" is not the known one";
        EXPECT_EQ(FolderEntries(run), std::vector<std::wstring>{L"out"}) << "something was written beside the output folder";
        EXPECT_TRUE(target.Close() && source.Close());
    }
}

// The rules that keep the target inside its folder, beyond the names the drags above offer.
TEST(DragDropBedNames, UnsafeNamesAreRefusedAndOrdinaryOnesKept)
{
    const struct {
        const wchar_t* name;
        const char* reason;  // null: kept
    } cases[] = {
        {L"a.txt", nullptr},          {L"Docs\\Sub/b c.txt", nullptr}, {L"..a", nullptr},
        {L"CONSOLE.txt", nullptr},    {L"com10", nullptr},             {L"", "empty"},
        {L"/etc/passwd", "absolute"}, {L"\\\\server\\share\\x", "absolute"}, {L"Docs\\", "empty-element"},
        {L"a\\\\b", "empty-element"},  {L".\\a", "dot-element"},        {L"a\\..", "dot-element"},
        {L"a\tb", "invalid-character"}, {L"a|b", "invalid-character"}, {L"dots.", "trailing-dot-or-space"},
        {L"space \\a", "trailing-dot-or-space"}, {L"lpt9.log", "device-name"}, {L"x\\nul", "device-name"},
        {L"com0.txt", "device-name"}, {L"LPT\u00b2", "device-name"},
    };
    for (const auto& each : cases) {
        const char* reason = bed::UnsafeNameReason(each.name);
        EXPECT_STREQ(reason ? reason : "(kept)", each.reason ? each.reason : "(kept)") << Utf8(each.name);
    }
}

TEST_F(DragDropBed, LogValuesComeBackAsWrittenWhateverTheyHold)
{
    const std::wstring log = folder_ + L"\\values.log";
    const std::wstring value = L"tab\there, line\nbreak, 100% \u00e9\u2013, =sign, \r, \x01";
    bed::SetLogPath(log);
    bed::Log("event").Text("value", value).Hr("hr", E_FAIL).Number("size", 5000000000LL).Hex("flags", 0x4044);
    bed::SetLogPath(std::wstring());
    std::vector<bed::LogEvent> events = bed::ReadLog(log);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, "event");
    EXPECT_EQ(events[0].Field("value"), Utf8(value));
    EXPECT_EQ(events[0].Field("hr"), "0x80004005");
    EXPECT_EQ(events[0].Field("size"), "5000000000");
    EXPECT_EQ(events[0].Field("flags"), "0x4044");
}

}  // namespace
