#include "TransferRun.h"

#include <cstdio>

#include "SimDevice.h"
#include "resource.h"

const OddName kOddNames[4] = {
    {L"a%3Ab.txt", L"a_b.txt"},              // "a:b.txt": a drive-relative path on Windows
    {L"con", L"_con"},                       // the console
    {L"..%5C..%5Cup.txt", L".._.._up.txt"},  // "..\..\up.txt": would climb out of the drop folder
    {L"dots. ", L"dots__"},                  // Windows drops trailing dots and blanks
};

namespace {

int64_t Seconds(uint64_t fileTime)
{
    return static_cast<int64_t>(fileTime / 10000000);
}

}  // namespace

std::string PatternBytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4093) % 251);
    return bytes;
}

void TransferRun::SetUp()
{
    ASSERT_FALSE(WinePathFromEnvironment("TOVAREL_BUILD_DIR").empty());
    folder_ = SimMakeTempFolder(L"transfers");
    ASSERT_FALSE(folder_.empty());
    deviceConfig_ = SimWriteDeviceTree(folder_ + L"\\device") + "  rawnames 1\n";
    // The edition opened first is the iPad edition.
    documents_ = folder_ + L"\\device\\ipad\\Documents";
    ASSERT_TRUE(SimWriteFile(documents_ + L"\\big.bin", PatternBytes(3 * 1024 * 1024 + 123)));
    ASSERT_TRUE(SimWriteFile(documents_ + L"\\empty.txt", ""));
    // Written through "\\?\" paths, which take "con" and "dots. " as they are.
    for (const OddName& odd : kOddNames) {
        ASSERT_TRUE(SimWriteFile(L"\\\\?\\" + documents_ + L"\\Odd names\\" + odd.onDisk, e2e::ToUtf8(odd.storedAs)));
    }
    // Every entry below gets its own date in 2014, each a second and a half from the others, so
    // that a copy showing the time of the copy, or another entry's date, shows.
    uint64_t date = SimFileTime(2014, 5, 6, 7, 8, 9) + 5000000;
    WalkTree(L"\\\\?\\" + documents_, [&date](const std::wstring& path, const std::wstring& relative, bool) {
        EXPECT_TRUE(SimSetWriteTime(path, date)) << e2e::ToUtf8(relative);
        date += 15000000;
    });
    ASSERT_TRUE(SimSetWriteTime(documents_, date));
    const std::wstring configPath = folder_ + L"\\devices.conf";
    ASSERT_TRUE(SimWriteFile(configPath, deviceConfig_));

    settings_.reset(new RegistryKeyGuard(HKEY_CURRENT_USER, L"Software\\Marlquist\\TovarelUSB"));
    settings_->DeleteKey();
    config_.reset(new EnvironmentGuard(L"TOVAREL_SIM_CONFIG", configPath));
    DWORD began = GetTickCount();
    run_.reset(new ProgramRun());
    ASSERT_TRUE(run_->Started()) << run_->Error();
    main_ = run_->WaitForWindow(kMainTitle, kStartTimeoutMs);
    ASSERT_NE(main_, nullptr) << "no main window: " << run_->NoWindowReason();
    tree_ = GetDlgItem(main_, IDC_FOLDER_TREE);
    list_ = GetDlgItem(main_, IDC_FILE_LIST);
    ASSERT_TRUE(PollUntil([&] { return e2e::SelectTreeItem(tree_, L"My Documents") && Listed(L"big.bin"); },
                          kStartTimeoutMs));
    std::printf("[ program  ] %lu ms from the start to \"My Documents\" listed\n", GetTickCount() - began);
}

void TransferRun::TearDown()
{
    if (run_ && main_) CloseProgram();
    EXPECT_TRUE(NoCrashWindow());
    run_.reset();
    config_.reset();
    settings_.reset();
    if (!folder_.empty()) SimRemoveTree(L"\\\\?\\" + folder_);
}

std::wstring TransferRun::StandInPlace(int slot) const
{
    RECT window = {};
    GetWindowRect(main_, &window);
    const int kWidth = 360;
    const int kHeight = 230;
    return std::to_wstring(window.right + 10) + L"," + std::to_wstring(10 + slot * (kHeight + 20)) + L"," +
           std::to_wstring(kWidth) + L"," + std::to_wstring(kHeight);
}

bool TransferRun::Listed(const std::wstring& name) const
{
    return e2e::FindListItem(list_, name) >= 0;
}

POINT TransferRun::ListItemCentre(const std::wstring& name) const
{
    RECT item = {};
    EXPECT_TRUE(e2e::ListItemScreenRect(list_, e2e::FindListItem(list_, name), &item)) << e2e::ToUtf8(name);
    return e2e::CentreOf(item);
}

POINT TransferRun::TreeItemCentre(const std::wstring& name) const
{
    RECT item = {};
    EXPECT_TRUE(e2e::TreeItemScreenRect(tree_, e2e::FindTreeItem(tree_, name), &item)) << e2e::ToUtf8(name);
    return e2e::CentreOf(item);
}

void TransferRun::CloseProgram()
{
    EXPECT_TRUE(e2e::CloseWindowLikeUser(main_));
    main_ = nullptr;  // nothing left for the test's end to close
    DWORD exitCode = 0xFFFFFFFF;
    EXPECT_TRUE(run_->Ended(kStepTimeoutMs, &exitCode)) << "the program did not end";
    EXPECT_EQ(exitCode, 0u);
}

DWORD TransferRun::ProgramId() const
{
    return run_ ? run_->Id() : 0;
}

std::vector<std::string> TransferRun::DatesNotKept(const std::wstring& copy, bool withFolders, size_t* compared) const
{
    std::vector<std::string> wrong;
    *compared = 0;
    const std::wstring top = L"My Documents";
    for (const auto& entry : SnapshotTree(copy)) {
        bool isFolder = entry.second == kSnapshotFolder;
        if (isFolder && !withFolders) continue;
        std::wstring path = entry.first;
        std::wstring device = path;
        if (path == top) device.clear();
        if (path.compare(0, top.size() + 1, top + L"/") == 0) device = path.substr(top.size() + 1);
        for (const OddName& odd : kOddNames) {
            if (device == std::wstring(L"Odd names/") + odd.storedAs) device = std::wstring(L"Odd names/") + odd.onDisk;
        }
        for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
        for (wchar_t& c : device) c = c == L'/' ? L'\\' : c;
        int64_t copied = Seconds(SimWriteTime(L"\\\\?\\" + copy + L"\\" + path));
        std::wstring source = L"\\\\?\\" + documents_ + (device.empty() ? L"" : L"\\" + device);
        int64_t original = Seconds(SimWriteTime(source));
        ++*compared;
        if (copied != original) {
            wrong.push_back(e2e::ToUtf8(entry.first) + ": " + std::to_string(copied) + " != " +
                            std::to_string(original));
        }
    }
    return wrong;
}

void TransferRun::ChooseInDialog(const wchar_t* title, const std::wstring& path) const
{
    // The file name box of the system's open dialog (edt1).
    const int kFileNameBox = 1152;
    HWND dialog = e2e::WaitForWindow(title, kStepTimeoutMs, ProgramId());
    ASSERT_NE(dialog, nullptr) << "no dialog " << e2e::ToUtf8(title);
    ASSERT_TRUE(e2e::SetControlText(dialog, kFileNameBox, path));
    ASSERT_TRUE(e2e::PressButton(dialog, IDOK));
    EXPECT_TRUE(e2e::WaitForWindowGone(dialog, kStepTimeoutMs));
}

void TransferRun::ConfigureDevices(const std::string& lines) const
{
    ASSERT_TRUE(SimWriteFile(folder_ + L"\\devices.conf", deviceConfig_ + lines));
    Sleep(300);
}
