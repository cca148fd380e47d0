// The real TovarelUSB.exe, started as a user starts it, in the same Wine prefix and display as this
// test program: what it shows when Apple's library cannot be bound, and its main window, About box
// and ways out when it can (the prefix's registry points at the simulated library).
//
// Every start costs seconds, so each test groups several checks into one run of the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "E2EDriver.h"
#include "EndToEndSupport.h"
#include "RegistryGuard.h"
#include "SimDevice.h"
#include "resource.h"

namespace {

const wchar_t kSharedKey[] = L"SOFTWARE\\Apple Inc.\\Apple Mobile Device Support\\Shared";
const wchar_t kLibraryValue[] = L"iTunesMobileDeviceDLL";
const wchar_t kSupportKey[] = L"SOFTWARE\\Apple Inc.\\Apple Application Support";
const wchar_t kInstallDirValue[] = L"InstallDir";
const wchar_t kSettingsKey[] = L"Software\\Marlquist\\TovarelUSB";

const wchar_t kNotInstalled[] = L"iTunes is not installed";
const wchar_t kTooOld[] = L"iTunes is not installed or its version is too old";
const wchar_t kAboutTitle[] = L"About TovarelUSB";

// What one run showed on the way to the binding failure.
struct FatalRun {
    bool boxShown = false;
    std::wstring boxText;
    bool mainWindowShown = false;
    bool ended = false;
    DWORD exitCode = 0xFFFFFFFF;
};

FatalRun RunToFatalBox()
{
    FatalRun result;
    ProgramRun run;
    EXPECT_TRUE(run.Started()) << run.Error();
    if (!run.Started()) return result;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kStartTimeoutMs) {
        if (!e2e::FindTopWindows(kMainTitle, run.Id()).empty()) result.mainWindowShown = true;
        std::vector<HWND> boxes = e2e::FindTopWindows(L"Fatal Error", run.Id());
        if (!boxes.empty()) {
            result.boxShown = true;
            result.boxText = e2e::MessageBoxText(boxes.front());
            e2e::PressButton(boxes.front(), IDOK);
            break;
        }
        if (run.Ended(50, &result.exitCode)) {
            result.ended = true;
            return result;
        }
    }
    // After the box the program ends; a main window must not appear on the way.
    start = GetTickCount();
    while (GetTickCount() - start < kStepTimeoutMs) {
        if (!e2e::FindTopWindows(kMainTitle, run.Id()).empty()) result.mainWindowShown = true;
        if (run.Ended(50, &result.exitCode)) {
            result.ended = true;
            break;
        }
    }
    return result;
}

std::wstring ControlText(HWND window, int id)
{
    for (const e2e::ControlText& control : e2e::ReadChildTexts(window)) {
        if (control.id == id) return control.text;
    }
    return L"(no control " + std::to_wstring(id) + L")";
}

bool HasChildText(HWND window, const std::wstring& text)
{
    for (const e2e::ControlText& control : e2e::ReadChildTexts(window)) {
        if (control.text == text) return true;
    }
    return false;
}

// "depth:text" for every tree item, with " *" on the selected one.
std::vector<std::wstring> TreeLines(HWND tree)
{
    std::vector<e2e::TreeItem> items;
    if (!e2e::ReadTreeItems(tree, &items)) return {L"(unreadable)"};
    std::vector<std::wstring> lines;
    for (const e2e::TreeItem& item : items) {
        lines.push_back(std::to_wstring(item.depth) + L":" + item.text + (item.selected ? L" *" : L""));
    }
    return lines;
}

// "name|size" for every item of a report-view list (the dates are the file list's own tests').
std::vector<std::wstring> RowTexts(HWND list)
{
    std::vector<e2e::ListItem> items;
    if (!e2e::ReadListItems(list, &items)) return {L"(unreadable)"};
    std::vector<std::wstring> rows;
    for (const e2e::ListItem& item : items) {
        std::wstring row;
        for (size_t i = 0; i < item.texts.size() && i < 2; ++i) row += (i ? L"|" : L"") + item.texts[i];
        rows.push_back(row);
    }
    return rows;
}

std::string Joined(const std::vector<std::wstring>& lines)
{
    std::wstring all;
    for (const std::wstring& line : lines) all += line + L"; ";
    return e2e::ToUtf8(all);
}

class StartupEndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_folder = new std::wstring(SimMakeTempFolder(L"e2e-startup"));
        SimWriteFile(*s_folder + L"\\none.conf", "# no devices\n");
        SimWriteFile(*s_folder + L"\\device.conf", SimWriteDeviceTree(*s_folder + L"\\phone"));
    }
    static void TearDownTestSuite()
    {
        SimRemoveTree(*s_folder);
        delete s_folder;
        s_folder = nullptr;
    }
    void SetUp() override
    {
        ASSERT_FALSE(WinePathFromEnvironment("TOVAREL_EXE").empty());
        // The program remembers its window on exit: start from the template layout and leave the
        // settings as they were for the other tests of this prefix.
        settings_ = std::make_unique<RegistryKeyGuard>(HKEY_CURRENT_USER, kSettingsKey);
        settings_->DeleteKey();
    }
    void TearDown() override { EXPECT_TRUE(NoCrashWindow()); }

    static std::wstring Config(const wchar_t* name) { return *s_folder + L"\\" + name; }

    std::unique_ptr<RegistryKeyGuard> settings_;
    static std::wstring* s_folder;
};

std::wstring* StartupEndToEnd::s_folder = nullptr;

struct BindingFailure {
    const char* name;
    std::function<void(RegistryKeyGuard& shared, RegistryKeyGuard& support)> arrange;
    const wchar_t* message;
    bool coreFoundationOnPath = false;
    bool namesLibrary = false;  // a second line names the library that would not load
};

std::wstring PathWith(const std::wstring& folder)
{
    wchar_t path[8192] = L"";
    DWORD length = GetEnvironmentVariableW(L"PATH", path, 8192);
    std::wstring value = length < 8192 ? std::wstring(path, length) : std::wstring();
    return value.empty() ? folder : value + L";" + folder;
}

TEST_F(StartupEndToEnd, WithoutAUsableLibraryShowsTheFatalBoxAndEndsWithoutAWindow)
{
    EnvironmentGuard config(L"TOVAREL_SIM_CONFIG", Config(L"none.conf"));
    const std::wstring coreFoundation = SimLibraryFolder() + L"\\CoreFoundation.dll";
    const std::wstring library = SimLibraryFolder() + L"\\SimMobileDevice.dll";
    std::wstring lone;  // a copy of the library in a folder of its own
    const BindingFailure cases[] = {
        {"no Shared key", [](RegistryKeyGuard& shared, RegistryKeyGuard&) { ASSERT_TRUE(shared.DeleteKey()); },
         kNotInstalled},
        {"empty library value",
         [](RegistryKeyGuard& shared, RegistryKeyGuard&) { ASSERT_TRUE(shared.SetString(kLibraryValue, L"")); },
         kNotInstalled},
        // A path that would load: only the type is wrong.
        {"library value of type REG_EXPAND_SZ",
         [&](RegistryKeyGuard& shared, RegistryKeyGuard&) {
             ASSERT_TRUE(shared.SetString(kLibraryValue, library, REG_EXPAND_SZ));
         },
         kNotInstalled},
        {"library file missing",
         [](RegistryKeyGuard& shared, RegistryKeyGuard&) {
             ASSERT_TRUE(shared.SetString(kLibraryValue, L"Z:\\nonexistent\\tovarel\\MobileDevice.dll"));
         },
         kNotInstalled},
        // A library that loads but has none of the device functions.
        {"library without the functions",
         [&](RegistryKeyGuard& shared, RegistryKeyGuard&) {
             ASSERT_TRUE(shared.SetString(kLibraryValue, coreFoundation));
         },
         kTooOld},
        // No InstallDir and no CoreFoundation beside the library: it imports CoreFoundation.dll,
        // which nothing then finds, so it does not load.
        {"library alone, no InstallDir",
         [&](RegistryKeyGuard& shared, RegistryKeyGuard& support) {
             ASSERT_TRUE(support.DeleteValue(kInstallDirValue));
             ASSERT_TRUE(shared.SetString(kLibraryValue, lone));
         },
         kNotInstalled, false, true},
        // With CoreFoundation.dll on the search path the library loads, and CoreFoundation's functions
        // are looked up in the program itself, which has none of them.
        {"library alone, no InstallDir, CoreFoundation on the search path",
         [&](RegistryKeyGuard& shared, RegistryKeyGuard& support) {
             ASSERT_TRUE(support.DeleteValue(kInstallDirValue));
             ASSERT_TRUE(shared.SetString(kLibraryValue, lone));
         },
         kTooOld, true},
    };
    ASSERT_FALSE(SimLibraryFolder().empty());
    const std::wstring loneFolder = SimMakeTempFolder(L"lone");
    ASSERT_FALSE(loneFolder.empty());
    lone = loneFolder + L"\\MobileDevice.dll";
    ASSERT_TRUE(CopyFileW(library.c_str(), lone.c_str(), FALSE));
    for (const BindingFailure& failure : cases) {
        SCOPED_TRACE(failure.name);
        RegistryKeyGuard shared(HKEY_LOCAL_MACHINE, kSharedKey);
        RegistryKeyGuard support(HKEY_LOCAL_MACHINE, kSupportKey);
        ASSERT_TRUE(shared.Existed() && support.Existed()) << "the prefix has no simulated library registered";
        failure.arrange(shared, support);
        if (HasFatalFailure()) return;
        std::unique_ptr<EnvironmentGuard> path;
        if (failure.coreFoundationOnPath) {
            path = std::make_unique<EnvironmentGuard>(L"PATH", PathWith(SimLibraryFolder()));
        }

        FatalRun run = RunToFatalBox();
        EXPECT_TRUE(run.boxShown);
        if (failure.namesLibrary) {
            const std::wstring head = std::wstring(failure.message) + L"\n" + lone + L": ";
            EXPECT_EQ(run.boxText.substr(0, head.size()), head);
        } else {
            EXPECT_EQ(run.boxText, failure.message);
        }
        EXPECT_FALSE(run.mainWindowShown);
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0u);
    }
    SimRemoveTree(loneFolder);
}

TEST_F(StartupEndToEnd, MainWindowAboutBoxAndFileExit)
{
    EnvironmentGuard config(L"TOVAREL_SIM_CONFIG", Config(L"none.conf"));
    ProgramRun run;
    ASSERT_TRUE(run.Started()) << run.Error();
    HWND main = run.WaitForWindow(kMainTitle, kStartTimeoutMs);
    ASSERT_NE(main, nullptr) << "no main window: " << run.NoWindowReason();
    EXPECT_NE(GetMenu(main), nullptr);
    EXPECT_TRUE(PollUntil(
        [&] { return ControlText(main, IDC_STATUS_LINE) == L"Connect iPhone, iPod touch or iPad with Tovarel app installed"; },
        kStepTimeoutMs))
        << e2e::ToUtf8(ControlText(main, IDC_STATUS_LINE));
    EXPECT_TRUE(ListTexts(GetDlgItem(main, IDC_DEVICE_LIST)).empty());

    // Help > About, closed once each way: OK, Enter, Escape.
    const std::function<bool(HWND)> closers[] = {
        [](HWND about) { return e2e::PressButton(about, IDOK); },
        [](HWND about) { return e2e::PostKey(about, {{}, VK_RETURN}); },
        [](HWND about) { return e2e::PostKey(about, {{}, VK_ESCAPE}); },
    };
    const char* closerNames[] = {"OK", "Enter", "Escape"};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(closerNames[i]);
        ASSERT_TRUE(e2e::ChooseMenuCommand(main, IDM_ABOUT));
        HWND about = run.WaitForWindow(kAboutTitle, kStepTimeoutMs);
        ASSERT_NE(about, nullptr) << "no About box";
        EXPECT_TRUE(HasChildText(about, L"TovarelUSB, version 2.5"));
        EXPECT_EQ(GetWindow(about, GW_OWNER), main);
        ASSERT_TRUE(closers[i](about));
        EXPECT_TRUE(e2e::WaitForWindowGone(about, kStepTimeoutMs));
    }

    // Enter and Escape in the main window do not end it.
    ASSERT_TRUE(e2e::PostKey(main, {{}, VK_RETURN}));
    ASSERT_TRUE(e2e::PostKey(main, {{}, VK_ESCAPE}));
    DWORD exitCode = 0;
    EXPECT_FALSE(run.Ended(1000, &exitCode));
    EXPECT_TRUE(IsWindowVisible(main));

    ASSERT_TRUE(e2e::ChooseMenuCommand(main, IDM_EXIT));
    ASSERT_TRUE(run.Ended(kStepTimeoutMs, &exitCode)) << "File > Exit did not end the program";
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(StartupEndToEnd, ShowsAnAttachedDeviceAndEndsThroughTheCloseBox)
{
    EnvironmentGuard config(L"TOVAREL_SIM_CONFIG", Config(L"device.conf"));
    ProgramRun run;
    ASSERT_TRUE(run.Started()) << run.Error();
    HWND main = run.WaitForWindow(kMainTitle, kStartTimeoutMs);
    ASSERT_NE(main, nullptr) << "no main window: " << run.NoWindowReason();

    HWND devices = GetDlgItem(main, IDC_DEVICE_LIST);
    HWND locations = GetDlgItem(main, IDC_LOCATIONS_LIST);
    ASSERT_TRUE(devices && locations);
    EXPECT_TRUE(PollUntil([&] { return ListTexts(devices) == std::vector<std::wstring>{L"Sim iPhone"}; }, kStepTimeoutMs))
        << "device list: " << ListTexts(devices).size() << " items";
    std::vector<int> selected;
    EXPECT_TRUE(PollUntil(
        [&] {
            selected.clear();
            return ListTexts(locations, &selected) ==
                       std::vector<std::wstring>{L"Tovarel for iPad", L"Tovarel for iPhone"} &&
                   selected == std::vector<int>{0};
        },
        kStepTimeoutMs));
    EXPECT_EQ(ControlText(main, IDC_STATUS_LINE).rfind(L"Sim iPhone (", 0), 0u)
        << e2e::ToUtf8(ControlText(main, IDC_STATUS_LINE));

    // The first edition is open: its root in the tree and in the file list.
    HWND tree = GetDlgItem(main, IDC_FOLDER_TREE);
    HWND files = GetDlgItem(main, IDC_FILE_LIST);
    const std::vector<std::wstring> rootTree{L"0:/ *", L"1:Downloads", L"1:My Documents", L"2:"};
    EXPECT_TRUE(PollUntil([&] { return TreeLines(tree) == rootTree; }, kStepTimeoutMs)) << Joined(TreeLines(tree));
    EXPECT_EQ(RowTexts(files), (std::vector<std::wstring>{L"Downloads|", L"My Documents|"})) << Joined(RowTexts(files));
    EXPECT_EQ(ControlText(main, IDC_PATH_LINE), L"/");

    // Selecting "My Documents" in the tree lists it, folders first, with sizes.
    ASSERT_TRUE(e2e::SelectTreeItem(tree, L"My Documents"));
    const std::vector<std::wstring> documentRows{
        L"Books|", L"Empty|", L"readme.txt|11 B", L"R\u00e9sum\u00e9 \u2013 Anna\u2019s notes.txt|8 B"};
    EXPECT_TRUE(PollUntil([&] { return RowTexts(files) == documentRows; }, kStepTimeoutMs)) << Joined(RowTexts(files));
    EXPECT_EQ(ControlText(main, IDC_PATH_LINE), L"My Documents");
    const std::vector<std::wstring> documentTree{
        L"0:/", L"1:Downloads", L"1:My Documents *", L"2:Books", L"3:", L"2:Empty"};
    EXPECT_EQ(TreeLines(tree), documentTree) << Joined(TreeLines(tree));

    ASSERT_TRUE(e2e::CloseWindowLikeUser(main));
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(run.Ended(kStepTimeoutMs, &exitCode)) << "the close box did not end the program";
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
