// The device's file-system rules against the simulated device: what a folder read hands on and how
// it ends, what one entry's information gives, when a name counts as taken, and the order and the
// stops of a removal. Each way a device call can fail is a row.
#include "SimFixture.h"

#include <algorithm>
#include <functional>

#include "DeviceFiles.h"
#include "TextUtil.h"

namespace {

class DeviceFilesTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        // The rules reach the device through the program's own table.
        g_lib = lib;
    }
    bool OnDisk(const std::wstring& relative) const
    {
        return GetFileAttributesW((IPhoneFolder() + L"\\Documents\\" + relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

const wchar_t kComposed[] = L"R\u00e9sum\u00e9 \u2013 Anna\u2019s notes.txt";
const wchar_t kDecomposed[] = L"Re\u0301sume\u0301 \u2013 Anna\u2019s notes.txt";

TEST(DeviceFileNames, OnlyANameThatStaysOneEntryOfItsFolderIsUsable)
{
    int row = 0;
    for (const wchar_t* name : {L"a", L".hidden", L"..a", L"a.", L"...", L" "}) {
        EXPECT_TRUE(IsUsableName(name)) << "usable " << row++;
    }
    row = 0;
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), L"", L".", L"..", L"a/b", L"/", L"a/"}) {
        EXPECT_FALSE(IsUsableName(name)) << "unusable " << row++;
    }
}

TEST(DeviceFileNames, DeviceTimesInNanosecondsSince1970BecomeFileTimesOrUnknown)
{
    struct Case {
        const char* text;
        uint64_t fileTime;
    } const cases[] = {
        {"0", SimFileTime(1970, 1, 1, 0, 0, 0)},
        {"1551719219123456789", SimFileTime(2019, 3, 4, 17, 6, 59) + 1234567},
        {"0001000000000", SimFileTime(1970, 1, 1, 0, 0, 1)},
        {"999", SimFileTime(1970, 1, 1, 0, 0, 0) + 9},
        // Before 1970: rounded down to the tick, as later times are.
        {"-14182940000000000", SimFileTime(1969, 7, 20, 20, 17, 40)},
        {"-1", SimFileTime(1970, 1, 1, 0, 0, 0) - 1},
        {"-0", SimFileTime(1970, 1, 1, 0, 0, 0)},
        // The limits: the first tick after 1601-01-01 and the last of 30827; beyond them unknown.
        {"-11644473599999999900", 1},
        {"-11644473600000000000", 0},
        {"-99999999999999999999", 0},
        {"910670515199999999900", SimFileTime(30827, 12, 31, 23, 59, 59) + 9999999},
        {"910670515200000000000", 0},
        {"18446744073709551616000000000", 0},
        // Not a number.
        {"", 0}, {"-", 0}, {"+5", 0}, {" 1", 0}, {"1 ", 0}, {"12a", 0}, {"1.5", 0}, {"--1", 0}, {"0x10", 0},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(ParseDeviceTime(test.text), test.fileTime) << test.text;
    }
    EXPECT_EQ(ParseDeviceTime(nullptr), 0u);
}

TEST_F(DeviceFilesTest, AFolderReadHandsOnEveryNameButTheDotsAndAlwaysCloses)
{
    AFCConnectionRef afc = OpenContainer();
    struct Case {
        const char* what;
        const char* path;
        const char* failing;  // a device call whose first use fails, or null
        size_t stopAfter;     // the visitor answers false at this name (0: never)
        FolderRead outcome;
        size_t names;
    } const cases[] = {
        {"read whole", "/Documents/Books", nullptr, 0, FolderRead::Whole, 2},
        {"stopped by the visitor", "/Documents/Books", nullptr, 1, FolderRead::Stopped, 1},
        {"an empty folder", "/Documents/Empty", nullptr, 0, FolderRead::Whole, 0},
        {"no such folder", "/Documents/Missing", nullptr, 0, FolderRead::NotOpened, 0},
        {"a file", "/Documents/readme.txt", nullptr, 0, FolderRead::NotOpened, 0},
        {"the open fails", "/Documents/Books", "AFCDirectoryOpen", 0, FolderRead::NotOpened, 0},
        {"the first read fails", "/Documents/Books", "AFCDirectoryRead", 0, FolderRead::Failed, 0},
        {"the close fails", "/Documents/Books", "AFCDirectoryClose", 0, FolderRead::Failed, 2},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        unsigned handles = SimOpenHandles();
        if (test.failing) SimFailCall(test.failing, 1);
        std::vector<std::string> names;
        FolderRead read = ReadDeviceFolder(afc, test.path, [&](const char* name) {
            names.push_back(name);
            return names.size() != test.stopAfter;
        });
        EXPECT_EQ(read, test.outcome);
        EXPECT_EQ(names.size(), test.names);
        for (const std::string& name : names) EXPECT_TRUE(name != "." && name != "..") << name;
        EXPECT_EQ(SimOpenHandles(), handles) << "the folder was left open";
        if (test.failing) SimFailCall(test.failing, 0);
    }
    // A folder that a failed read ends is closed by its owner, and a second close is not a failure.
    {
        DeviceFolder folder(afc, "/Documents/Books");
        ASSERT_TRUE(folder.IsOpen());
        const char* name = nullptr;
        SimFailCall("AFCDirectoryRead", 1);
        EXPECT_FALSE(folder.Next(&name));
        EXPECT_EQ(name, nullptr);
    }
    DeviceFolder closed(afc, "/Documents/Books");
    EXPECT_TRUE(closed.Close());
    EXPECT_TRUE(closed.Close());
    EXPECT_TRUE(DeviceFolderOpens(afc, "/Documents/Empty"));
    EXPECT_FALSE(DeviceFolderOpens(afc, "/Documents/readme.txt"));
    Close(afc);
    EXPECT_EQ(SimOpenHandles(), 0u);
}

TEST_F(DeviceFilesTest, AnEntrysInformationGivesItsKindSizeDateAndLinkTarget)
{
    LoadConfig("  link /Documents/Shortcut -> /Documents/Books\n  nosize /Documents/Books/Guide.pdf\n"
               "  mtime 12:30 /Documents/Empty\n");
    AFCConnectionRef afc = OpenContainer();
    const uint64_t readmeTime = SimWriteTime(IPhoneFolder() + L"\\Documents\\readme.txt");
    ASSERT_NE(readmeTime, 0u);
    struct Case {
        const char* path;
        const char* failing;  // a device call whose first use fails, or null
        InfoRead outcome;
        EntryKind kind;
        bool hasSize;
        const char* linkTarget;
    } const cases[] = {
        {"/Documents/readme.txt", nullptr, InfoRead::Read, EntryKind::File, true, ""},
        {"/Documents/Books", nullptr, InfoRead::Read, EntryKind::Folder, true, ""},
        {"/Documents/Shortcut", nullptr, InfoRead::Read, EntryKind::Link, true, "/Documents/Books"},
        {"/Documents/Books/Guide.pdf", nullptr, InfoRead::Read, EntryKind::File, false, ""},
        {"/Documents/Empty", nullptr, InfoRead::Read, EntryKind::Folder, true, ""},
        {"/Documents/Missing", nullptr, InfoRead::NotOpened, EntryKind::Unknown, false, ""},
        {"/Documents/readme.txt", "AFCFileInfoOpen", InfoRead::NotOpened, EntryKind::Unknown, false, ""},
        {"/Documents/readme.txt", "AFCKeyValueRead", InfoRead::Failed, EntryKind::Unknown, false, ""},
        {"/Documents/readme.txt", "AFCKeyValueClose", InfoRead::Failed, EntryKind::File, true, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.path) + " " + (test.failing ? test.failing : ""));
        unsigned handles = SimOpenHandles();
        if (test.failing) SimFailCall(test.failing, 1);
        EntryInfo info;
        info.size = 99;
        EXPECT_EQ(ReadEntryInfo(afc, test.path, info), test.outcome);
        EXPECT_EQ(info.kind, test.kind);
        EXPECT_EQ(info.hasSize, test.hasSize);
        EXPECT_EQ(info.linkTarget, test.linkTarget);
        EXPECT_EQ(SimOpenHandles(), handles) << "the information was left open";
        if (test.failing) SimFailCall(test.failing, 0);
    }
    EntryInfo info;
    ASSERT_EQ(ReadEntryInfo(afc, "/Documents/readme.txt", info, true), InfoRead::Read);
    EXPECT_EQ(info.size, 11u);
    EXPECT_EQ(info.modified, readmeTime);
    // A date that is not one stays unknown.
    ASSERT_EQ(ReadEntryInfo(afc, "/Documents/Empty", info), InfoRead::Read);
    EXPECT_EQ(info.modified, 0u);
    Close(afc);
}

TEST_F(DeviceFilesTest, ANameIsAbsentOnlyWhenTheDeviceSaysSoForCertain)
{
    AFCConnectionRef afc = OpenContainer();
    struct Case {
        const char* what;
        const wchar_t* name;
        const wchar_t* ownName;
        const char* failing;  // a device call whose first use fails, or null
        EntryState state;
    } const cases[] = {
        {"the device knows the entry", L"readme.txt", nullptr, nullptr, EntryState::Present},
        {"neither known nor listed", L"missing.txt", nullptr, nullptr, EntryState::Absent},
        {"listed in the other composition", kDecomposed, nullptr, nullptr, EntryState::Present},
        {"the item's own name in another composition", kDecomposed, kComposed, nullptr, EntryState::Absent},
        {"its own name does not hide the exact one", kComposed, kComposed, "AFCFileInfoOpen", EntryState::Present},
        {"no information, but listed", L"readme.txt", nullptr, "AFCFileInfoOpen", EntryState::Present},
        {"the folder does not open", L"missing.txt", nullptr, "AFCDirectoryOpen", EntryState::Unknown},
        {"a read of the folder fails", L"missing.txt", nullptr, "AFCDirectoryRead", EntryState::Unknown},
        {"the folder's close fails", L"missing.txt", nullptr, "AFCDirectoryClose", EntryState::Unknown},
        {"no name", nullptr, nullptr, nullptr, EntryState::Unknown},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        unsigned handles = SimOpenHandles();
        if (test.failing) SimFailCall(test.failing, 1);
        FolderProbe probe(afc, L"/Documents");
        EXPECT_EQ(probe.Probe(test.name, test.ownName), test.state);
        EXPECT_EQ(SimOpenHandles(), handles);
        if (test.failing) SimFailCall(test.failing, 0);
    }
    EXPECT_EQ(FolderProbe(afc, nullptr).Probe(L"readme.txt"), EntryState::Unknown);

    // One reading of the folder serves every answer, and a folder that failed once stays unknown.
    SimResetCounters();
    FolderProbe probe(afc, L"/Documents");
    EXPECT_EQ(probe.Probe(L"a.txt"), EntryState::Absent);
    EXPECT_EQ(probe.Probe(L"b.txt"), EntryState::Absent);
    bool readable = false;
    EXPECT_TRUE(probe.ListsExactly(kComposed, &readable));
    EXPECT_TRUE(readable);
    EXPECT_FALSE(probe.ListsExactly(kDecomposed, &readable));
    EXPECT_TRUE(readable);
    EXPECT_EQ(SimCallCount("AFCDirectoryOpen"), 1u);
    SimFailCall("AFCDirectoryRead", 1);
    FolderProbe failed(afc, L"/Documents");
    EXPECT_EQ(failed.Probe(L"a.txt"), EntryState::Unknown);
    EXPECT_EQ(failed.Probe(L"a.txt"), EntryState::Unknown);
    EXPECT_FALSE(failed.ListsExactly(L"readme.txt", &readable));
    EXPECT_FALSE(readable);
    Close(afc);
}

TEST_F(DeviceFilesTest, ARemovalTakesContentsFirstInListOrderAndStopsAsAsked)
{
    const std::vector<std::wstring> kEverything = {L"Gone\\A\\z.txt", L"Gone\\A", L"Gone\\b", L"Gone\\B.txt",
                                                   L"Gone\\c.txt"};
    struct Case {
        const char* what;
        std::function<void()> fault;
        OnFailure onFailure;
        const wchar_t* refuseAt;  // the callback answers false before removing this one
        bool removed;
        std::vector<std::wstring> shown;
        std::vector<std::wstring> left;  // below Documents
    } const cases[] = {
        {"everything goes", nullptr, OnFailure::Stop, nullptr, true,
         {L"z.txt", L"A", L"b", L"B.txt", L"c.txt", L"Gone"}, {}},
        {"a removal fails: the deletion stops", [] { SimFailCall("AFCRemovePath", 2); }, OnFailure::Stop, nullptr,
         false, {L"z.txt", L"A"}, {L"Gone\\A", L"Gone\\b", L"Gone\\B.txt", L"Gone\\c.txt"}},
        {"a removal fails: the roll back goes on", [] { SimFailCall("AFCRemovePath", 2); }, OnFailure::GoOn, nullptr,
         false, {L"z.txt", L"A", L"b", L"B.txt", L"c.txt", L"Gone"}, {L"Gone\\A"}},
        {"an entry's kind cannot be read: nothing goes", [] { SimFailPath("/Documents/Gone/A/z.txt"); },
         OnFailure::Stop, nullptr, false, {}, kEverything},
        {"an entry's kind cannot be read: the rest goes", [] { SimFailPath("/Documents/Gone/A/z.txt"); },
         OnFailure::GoOn, nullptr, false, {L"z.txt", L"A", L"b", L"B.txt", L"c.txt", L"Gone"},
         {L"Gone\\A\\z.txt", L"Gone\\A"}},
        {"a folder cannot be read whole: nothing goes", [] { SimFailCall("AFCDirectoryRead", 4); }, OnFailure::Stop,
         nullptr, false, {}, kEverything},
        {"the callback ends it", nullptr, OnFailure::Stop, L"b", false, {L"z.txt", L"A", L"b"},
         {L"Gone\\b", L"Gone\\B.txt", L"Gone\\c.txt"}},
    };
    AFCConnectionRef afc = OpenContainer();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        for (const wchar_t* file : {L"Gone\\A\\z.txt", L"Gone\\c.txt", L"Gone\\B.txt"}) {
            SimWriteFile(IPhoneFolder() + L"\\Documents\\" + file, "x");
        }
        CreateDirectoryW((IPhoneFolder() + L"\\Documents\\Gone\\b").c_str(), nullptr);
        if (test.fault) test.fault();
        std::vector<std::wstring> shown;
        bool removed = RemoveDeviceItem(afc, L"/Documents/Gone", EntryKind::Unknown, test.onFailure,
                                        [&](const wchar_t* name) {
                                            shown.push_back(name);
                                            return !test.refuseAt || shown.back() != test.refuseAt;
                                        });
        SimFailPath(nullptr);
        SimFailCall("AFCRemovePath", 0);
        SimFailCall("AFCDirectoryRead", 0);
        EXPECT_EQ(removed, test.removed);
        EXPECT_EQ(shown, test.shown);
        for (const std::wstring& path : kEverything) {
            bool kept = std::find(test.left.begin(), test.left.end(), path) != test.left.end();
            EXPECT_EQ(OnDisk(path), kept) << Utf8(path);
        }
        EXPECT_EQ(OnDisk(L"Gone"), !test.left.empty());
        SimRemoveTree(IPhoneFolder() + L"\\Documents\\Gone");
    }
    Close(afc);
}

// A link goes as itself: what it points to stays.
TEST_F(DeviceFilesTest, ALinkIsRemovedAsItself)
{
    LoadConfig("  link /Documents/Shortcut -> /Documents/Books\n");
    AFCConnectionRef afc = OpenContainer();
    SimResetCounters();
    EXPECT_TRUE(RemoveDeviceItem(afc, L"/Documents/Shortcut", EntryKind::Unknown, OnFailure::Stop));
    EXPECT_EQ(SimCallCount("AFCRemovePath"), 1u);
    EXPECT_TRUE(OnDisk(L"Books\\Guide.pdf") && OnDisk(L"Books\\Old\\Notes 2019.txt"));
    EXPECT_FALSE(RemoveDeviceItem(afc, L"", EntryKind::Unknown, OnFailure::GoOn));
    EXPECT_FALSE(RemoveDeviceItem(nullptr, L"/Documents/readme.txt", EntryKind::File, OnFailure::GoOn));
    Close(afc);
}

}  // namespace
