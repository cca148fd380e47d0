// The file calls inside an application's container.
#include "SimDevice.h"
#include "SimFixture.h"

#include <algorithm>

namespace {

const char* const kResume = "R\xC3\xA9sum\xC3\xA9 \xE2\x80\x93 Anna\xE2\x80\x99s notes.txt";

using ContainerFiles = SimTest;

std::string Value(const std::vector<std::pair<std::string, std::string>>& pairs, const char* key)
{
    for (auto& pair : pairs) {
        if (pair.first == key) {
            return pair.second;
        }
    }
    return "<none>";
}

bool SortedIgnoringCase(std::vector<std::string> names)
{
    for (std::string& name : names) {
        CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
    }
    return std::is_sorted(names.begin(), names.end());
}

TEST_F(ContainerFiles, ListingGivesDotsFirstThenTheEntriesUnsorted)
{
    for (int i = 0; i < 12; ++i) {
        SimWriteFile(IPhoneFolder() + L"\\Documents\\f" + std::to_wstring(i) + L".txt", "x");
    }
    std::vector<std::string> disk;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((IPhoneFolder() + L"\\Documents\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            disk.push_back(Utf8(name));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);

    AFCConnectionRef afc = OpenContainer();
    std::vector<std::string> listed = List(afc, "/Documents");
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(listed[0], ".");
    EXPECT_EQ(listed[1], "..");
    std::vector<std::string> entries(listed.begin() + 2, listed.end());
    EXPECT_FALSE(std::is_sorted(entries.begin(), entries.end()));
    EXPECT_FALSE(SortedIgnoringCase(entries));
    EXPECT_EQ(List(afc, "/Documents"), listed);  // the same order every time
    std::sort(entries.begin(), entries.end());
    std::sort(disk.begin(), disk.end());
    EXPECT_EQ(entries, disk);
    EXPECT_NE(std::find(entries.begin(), entries.end(), kResume), entries.end());

    EXPECT_EQ(List(afc, "/Documents/Empty"), (std::vector<std::string>{".", ".."}));
    EXPECT_TRUE(List(afc, "/Documents/readme.txt").empty());  // a file is no folder
    EXPECT_TRUE(List(afc, "/Documents/missing").empty());
    Close(afc);
}

TEST_F(ContainerFiles, FileInformationAsADeviceGivesIt)
{
    LoadConfig("  link /Documents/Books/Old\n");
    AFCConnectionRef afc = OpenContainer();
    auto info = Info(afc, "/Documents/Books/Guide.pdf");
    std::vector<std::string> keys;
    for (auto& pair : info) {
        keys.push_back(pair.first);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"st_size", "st_blocks", "st_nlink", "st_ifmt", "st_mtime",
                                              "st_birthtime"}));
    EXPECT_EQ(Value(info, "st_size"), "1200");
    EXPECT_EQ(Value(info, "st_blocks"), "8");
    EXPECT_EQ(Value(info, "st_ifmt"), "S_IFREG");
    // Nanoseconds since 1970: within a day of now.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t seconds = ((static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) - 116444736000000000ull) /
                       10000000;
    uint64_t mtime = std::stoull(Value(info, "st_mtime")) / 1000000000ull;
    EXPECT_LT(seconds > mtime ? seconds - mtime : mtime - seconds, 86400u);
    // The host file's time, to the nanosecond, also before 1970; or the text it is told to give.
    LoadConfig("  link /Documents/Books/Old\n  mtime 12:30 /Documents/Books\n  mtime none /Documents/Empty\n");
    ASSERT_TRUE(SimSetWriteTime(IPhoneFolder() + L"\\Documents\\readme.txt", 116444736000000000ull - 12345678));
    EXPECT_EQ(Value(Info(afc, "/Documents/readme.txt"), "st_mtime"), "-1234567800");
    EXPECT_EQ(Value(Info(afc, "/Documents/Books"), "st_mtime"), "12:30");
    EXPECT_EQ(Value(Info(afc, "/Documents/Empty"), "st_mtime"), "<none>");

    EXPECT_EQ(Kind(afc, "/Documents"), "S_IFDIR");
    EXPECT_EQ(Kind(afc, "/"), "S_IFDIR");
    EXPECT_EQ(Kind(afc, "/Documents/Books/Old"), "S_IFLNK");
    EXPECT_EQ(Kind(afc, "Documents/Books/../Books/Old/"), "S_IFLNK");  // the same path, spelled otherwise
    EXPECT_EQ(Kind(afc, "/Documents/Books"), "S_IFDIR");
    EXPECT_EQ(Kind(afc, (std::string("/Documents/") + kResume).c_str()), "S_IFREG");
    int result = 0;
    Info(afc, "/Documents/nothing", &result);
    EXPECT_NE(result, 0);
    Close(afc);
}

TEST_F(ContainerFiles, WriteThenReadBack)
{
    AFCConnectionRef afc = OpenContainer();
    std::string content;
    for (int i = 0; i < 3000; ++i) {
        content += static_cast<char>(i * 31);
    }
    AFCFileRef file = 0;
    ASSERT_EQ(lib.AFCFileRefOpen(afc, "/Documents/new.bin", 3, &file), 0);
    for (size_t at = 0; at < content.size(); at += 1024) {
        size_t piece = std::min<size_t>(1024, content.size() - at);
        ASSERT_EQ(lib.AFCFileRefWrite(afc, file, content.data() + at, static_cast<uint32_t>(piece)), 0);
    }
    AFCByteCount room = 10;
    char buffer[10];
    EXPECT_NE(lib.AFCFileRefRead(afc, file, buffer, &room), 0);  // opened for writing only
    EXPECT_EQ(lib.AFCFileRefClose(afc, file), 0);
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/new.bin", 1000), content);
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/new.bin", 1), content);

    ASSERT_EQ(WriteDeviceFile(afc, "/Documents/new.bin", "short"), 0);  // mode 3 truncates
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/new.bin"), "short");
    ASSERT_EQ(WriteDeviceFile(afc, "/Documents/empty.txt", ""), 0);
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/empty.txt"), "");
    EXPECT_EQ(ReadDeviceFile(afc, (std::string("/Documents/") + kResume).c_str()), "r\xC3\xA9sum\xC3\xA9");

    EXPECT_NE(lib.AFCFileRefOpen(afc, "/Documents/missing.txt", 2, &file), 0);  // mode 2 needs the file
    EXPECT_NE(lib.AFCFileRefOpen(afc, "/Documents/Books", 3, &file), 0);
    EXPECT_NE(lib.AFCFileRefOpen(afc, "/Documents/no/such/folder.txt", 3, &file), 0);
    EXPECT_NE(lib.AFCFileRefOpen(afc, "/Documents/x.txt", 9, &file), 0);
    EXPECT_NE(lib.AFCFileRefWrite(afc, 12345, "x", 1), 0);
    Close(afc);
}

TEST_F(ContainerFiles, FoldersAreCreatedAndRemovedOnlyWhenThatMakesSense)
{
    AFCConnectionRef afc = OpenContainer();
    EXPECT_EQ(lib.AFCDirectoryCreate(afc, "/Documents/New"), 0);
    EXPECT_NE(lib.AFCDirectoryCreate(afc, "/Documents/New"), 0);
    EXPECT_NE(lib.AFCDirectoryCreate(afc, "/Documents/Missing/New"), 0);
    EXPECT_NE(lib.AFCDirectoryCreate(afc, "/Documents/readme.txt"), 0);  // a file has the name
    EXPECT_EQ(Kind(afc, "/Documents/New"), "S_IFDIR");

    EXPECT_NE(lib.AFCRemovePath(afc, "/Documents/Books"), 0);  // not empty
    EXPECT_EQ(Kind(afc, "/Documents/Books/Guide.pdf"), "S_IFREG");
    EXPECT_EQ(lib.AFCRemovePath(afc, "/Documents/New"), 0);
    EXPECT_EQ(lib.AFCRemovePath(afc, "/Documents/readme.txt"), 0);
    EXPECT_NE(lib.AFCRemovePath(afc, "/Documents/readme.txt"), 0);
    EXPECT_NE(lib.AFCRemovePath(afc, "/"), 0);
    EXPECT_EQ(GetFileAttributesW((IPhoneFolder() + L"\\Documents\\readme.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    Close(afc);
}

TEST_F(ContainerFiles, RenameReplacesFilesButNotFolders)
{
    AFCConnectionRef afc = OpenContainer();
    ASSERT_EQ(WriteDeviceFile(afc, "/Documents/a.txt", "AAA"), 0);
    ASSERT_EQ(WriteDeviceFile(afc, "/Documents/b.txt", "B"), 0);

    EXPECT_EQ(lib.AFCRenamePath(afc, "/Documents/a.txt", "/Documents/b.txt"), 0);
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/b.txt"), "AAA");
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/a.txt"), "<failed>");

    EXPECT_NE(lib.AFCRenamePath(afc, "/Documents/b.txt", "/Documents/Empty"), 0);
    EXPECT_NE(lib.AFCRenamePath(afc, "/Documents/Empty", "/Documents/b.txt"), 0);
    EXPECT_NE(lib.AFCRenamePath(afc, "/Documents/Books", "/Documents/Books/Old/Inner"), 0);
    EXPECT_NE(lib.AFCRenamePath(afc, "/Documents/missing", "/Documents/c.txt"), 0);
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/b.txt"), "AAA");

    EXPECT_EQ(lib.AFCRenamePath(afc, "/Documents/Books", "/Documents/Library"), 0);
    EXPECT_EQ(Kind(afc, "/Documents/Library/Guide.pdf"), "S_IFREG");
    EXPECT_EQ(lib.AFCRenamePath(afc, "/Documents/b.txt", ("/Documents/Library/" + std::string(kResume)).c_str()), 0);
    std::wstring onHost = IPhoneFolder() + L"\\Documents\\Library\\R\u00e9sum\u00e9 \u2013 Anna\u2019s notes.txt";
    EXPECT_NE(GetFileAttributesW(onHost.c_str()), INVALID_FILE_ATTRIBUTES);
    Close(afc);
}

TEST_F(ContainerFiles, ALinkWithATargetReadsAsItButIsRenamedAndRemovedAlone)
{
    LoadConfig("  link /Documents/Shortcut -> /Documents/Books\n");
    AFCConnectionRef afc = OpenContainer();
    std::vector<std::string> documents = List(afc, "/Documents");
    EXPECT_NE(std::find(documents.begin(), documents.end(), "Shortcut"), documents.end());
    EXPECT_EQ(Kind(afc, "/Documents/Shortcut"), "S_IFLNK");
    std::vector<std::string> books = List(afc, "/Documents/Books");
    EXPECT_EQ(List(afc, "/Documents/Shortcut"), books);
    EXPECT_EQ(Kind(afc, "/Documents/Shortcut/Guide.pdf"), "S_IFREG");

    EXPECT_EQ(lib.AFCRenamePath(afc, "/Documents/Shortcut", "/Documents/Empty/Link"), 0);
    EXPECT_EQ(Kind(afc, "/Documents/Empty/Link"), "S_IFLNK");
    EXPECT_EQ(Kind(afc, "/Documents/Books"), "S_IFDIR");
    EXPECT_NE(lib.AFCRemovePath(afc, "/Documents/Empty"), 0);  // the link is in it
    EXPECT_EQ(lib.AFCRemovePath(afc, "/Documents/Empty/Link"), 0);
    EXPECT_EQ(Kind(afc, "/Documents/Empty/Link"), "<none>");
    EXPECT_EQ(List(afc, "/Documents/Books"), books);
    EXPECT_EQ(lib.AFCRemovePath(afc, "/Documents/Empty"), 0);
    Close(afc);
}

TEST_F(ContainerFiles, PathsNeverLeaveTheContainer)
{
    SimWriteFile(root_ + L"\\outside.txt", "keep");
    AFCConnectionRef afc = OpenContainer();
    AFCFileRef file = 0;
    AFCDirectoryRef directory = nullptr;
    const char* escapes[] = {"/../outside.txt", "../outside.txt", "/Documents/../../outside.txt",
                             "/Documents/..\\..\\..\\outside.txt", "/..", "/Documents/C:x", "/Documents/a*b"};
    for (const char* path : escapes) {
        SCOPED_TRACE(path);
        EXPECT_NE(lib.AFCFileRefOpen(afc, path, 2, &file), 0);
        EXPECT_NE(lib.AFCRemovePath(afc, path), 0);
        EXPECT_NE(lib.AFCDirectoryOpen(afc, path, &directory), 0);
        EXPECT_EQ(Kind(afc, path), "<none>");
        EXPECT_NE(lib.AFCRenamePath(afc, "/Documents/readme.txt", path), 0);
        EXPECT_NE(lib.AFCRenamePath(afc, path, "/Documents/stolen.txt"), 0);
    }
    EXPECT_NE(lib.AFCFileRefOpen(afc, "/Documents/\xC3(bad utf-8", 3, &file), 0);
    EXPECT_EQ(ReadDeviceFile(afc, "/Documents/Books/../readme.txt"), "hello world");  // ".." inside is fine
    EXPECT_EQ(List(afc, "/Documents/..").size(), 4u);  // the container's root: ., .., Documents, Library
    Close(afc);
    HANDLE outside = CreateFileW((root_ + L"\\outside.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(outside, INVALID_HANDLE_VALUE);
    char bytes[8] = {};
    DWORD got = 0;
    ReadFile(outside, bytes, sizeof bytes, &got, nullptr);
    CloseHandle(outside);
    EXPECT_EQ(std::string(bytes, got), "keep");
}

TEST_F(ContainerFiles, ClosingAConnectionClosesWhatItOpened)
{
    unsigned before = SimOpenHandles();
    AFCConnectionRef afc = OpenContainer();
    AFCFileRef file = 0;
    AFCDirectoryRef directory = nullptr;
    AFCKeyValueReaderRef reader = nullptr;
    ASSERT_EQ(lib.AFCFileRefOpen(afc, "/Documents/readme.txt", 2, &file), 0);
    ASSERT_EQ(lib.AFCDirectoryOpen(afc, "/Documents", &directory), 0);
    ASSERT_EQ(lib.AFCFileInfoOpen(afc, "/Documents", &reader), 0);
    EXPECT_EQ(SimOpenHandles(), before + 4);
    EXPECT_EQ(lib.AFCKeyValueClose(reader), 0);
    EXPECT_EQ(lib.AFCConnectionClose(afc), 0);
    EXPECT_EQ(SimOpenHandles(), before);
    char* name = nullptr;
    EXPECT_NE(lib.AFCDirectoryRead(afc, directory, &name), 0);
    EXPECT_NE(lib.AFCConnectionClose(afc), 0);
    // The file is closed on the host too: it can be opened there without sharing.
    HANDLE alone = CreateFileW((IPhoneFolder() + L"\\Documents\\readme.txt").c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(alone, INVALID_HANDLE_VALUE);
    CloseHandle(alone);
}

// Names a device allows but Windows cannot store live on disk in their escape form.
TEST_F(ContainerFiles, RawNamesReachTheirEscapedFilesAndNoOther)
{
    LoadConfig("  rawnames 1\n  nosize /Documents/readme.txt\n");
    const struct {
        const char* device;
        const wchar_t* host;
    } names[] = {
        {"a:b", L"a%3Ab"}, {"..\\..\\x", L"..%5C..%5Cx"}, {"tab\tname", L"tab%09name"}, {"\xFF" "bad\xC3(", L"%FFbad%C3("},
        {"%41", L"%2541"}, {"50%", L"50%"}, {"con", L"con"}, {"name. ", L"name. "}, {"*?\"<>|", L"%2A%3F%22%3C%3E%7C"},
    };
    AFCConnectionRef afc = OpenContainer();
    for (const auto& name : names) {
        SCOPED_TRACE(name.device);
        std::string path = std::string("/Documents/Raw/") + name.device;
        lib.AFCDirectoryCreate(afc, "/Documents/Raw");
        ASSERT_EQ(WriteDeviceFile(afc, path.c_str(), name.device), 0);
        EXPECT_EQ(ReadDeviceFile(afc, path.c_str()), name.device);
        std::wstring onHost = IPhoneFolder() + L"\\Documents\\Raw\\" + name.host;
        EXPECT_NE(GetFileAttributesW((L"\\\\?\\" + onHost).c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(List(afc, "/Documents/Raw"), (std::vector<std::string>{".", "..", name.device}));
        EXPECT_EQ(lib.AFCRemovePath(afc, path.c_str()), 0);
    }
    EXPECT_EQ(Value(Info(afc, "/Documents/readme.txt"), "st_size"), "<none>");
    EXPECT_NE(lib.AFCDirectoryCreate(afc, "/../outside"), 0);  // ".." above the root still fails
    Close(afc);
}

}  // namespace
