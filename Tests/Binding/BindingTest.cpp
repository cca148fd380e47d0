// Binding the mobile device library and CoreFoundation as the registry of the machine describes them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DeviceLibrary.h"
#include "MessageBoxWatch.h"
#include "RegistryGuard.h"
#include "TextUtil.h"

namespace {

const wchar_t* const kSharedKey = L"SOFTWARE\\Apple Inc.\\Apple Mobile Device Support\\Shared";
const wchar_t* const kSupportKey = L"SOFTWARE\\Apple Inc.\\Apple Application Support";
const wchar_t* const kNotInstalled = L"iTunes is not installed";
const wchar_t* const kTooOld = L"iTunes is not installed or its version is too old";

std::wstring SimDir()
{
    return WinePathFromEnvironment("TOVAREL_SIM_DIR");
}

bool MobileDeviceLoaded()
{
    return GetModuleHandleW(L"SimMobileDevice.dll") != nullptr;
}

bool CoreFoundationLoaded()
{
    return GetModuleHandleW(L"CoreFoundation.dll") != nullptr;
}

// The table as a row of entries, to check all of them at once.
std::vector<const void*> TableEntries()
{
    std::vector<const void*> entries(sizeof(DeviceLibrary) / sizeof(void*));
    memcpy(entries.data(), &g_lib, sizeof(DeviceLibrary));
    return entries;
}

bool TableEmpty()
{
    for (const void* entry : TableEntries()) {
        if (entry) return false;
    }
    return true;
}

class Binding : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(SimDir().empty()) << "TOVAREL_SIM_DIR is not set";
        UnbindDeviceLibrary();
        // A bind leaves its DLL folder set for the process; every case starts from none.
        SetDllDirectoryW(nullptr);
        ASSERT_FALSE(MobileDeviceLoaded());
        ASSERT_FALSE(CoreFoundationLoaded());
    }
    void TearDown() override
    {
        UnbindDeviceLibrary();
        SetDllDirectoryW(nullptr);
    }

    // Binding fails with exactly this box, leaves nothing loaded and an empty table.
    void ExpectBindFails(const wchar_t* text)
    {
        MessageBoxWatch watch(L"Fatal Error");
        EXPECT_FALSE(BindDeviceLibrary());
        ASSERT_TRUE(watch.Wait(10000)) << "no message box";
        WatchedBox box = watch.Box();
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(box.icon, nullptr);
        EXPECT_FALSE(MobileDeviceLoaded());
        EXPECT_FALSE(CoreFoundationLoaded());
        EXPECT_TRUE(TableEmpty());
    }

    RegistryKeyGuard m_shared{HKEY_LOCAL_MACHINE, kSharedKey};
    RegistryKeyGuard m_support{HKEY_LOCAL_MACHINE, kSupportKey};
};

TEST_F(Binding, BindsTheRegisteredLibraryCompletelyAndUnbindsIt)
{
    MessageBoxWatch watch(nullptr);
    ASSERT_TRUE(BindDeviceLibrary());
    EXPECT_TRUE(MobileDeviceLoaded());
    EXPECT_TRUE(CoreFoundationLoaded());
    std::vector<const void*> entries = TableEntries();
    ASSERT_EQ(entries.size(), 33u);
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_NE(entries[i], nullptr) << "entry " << i + 1;
    // Each function comes from the library of its own column.
    HMODULE coreFoundation = GetModuleHandleW(L"CoreFoundation.dll");
    HMODULE mobileDevice = GetModuleHandleW(L"SimMobileDevice.dll");
    EXPECT_EQ(reinterpret_cast<void*>(g_lib.CFRelease), reinterpret_cast<void*>(GetProcAddress(coreFoundation, "CFRelease")));
    EXPECT_EQ(reinterpret_cast<void*>(g_lib.AMDeviceConnect),
              reinterpret_cast<void*>(GetProcAddress(mobileDevice, "AMDeviceConnect")));
    // A second bind keeps what is bound.
    EXPECT_TRUE(BindDeviceLibrary());
    EXPECT_EQ(watch.Seen(), 0u);

    UnbindDeviceLibrary();
    EXPECT_FALSE(MobileDeviceLoaded());
    EXPECT_FALSE(CoreFoundationLoaded());
    EXPECT_TRUE(TableEmpty());
    UnbindDeviceLibrary();
}

TEST_F(Binding, MissingOrUnusableLibraryEntryIsNotInstalled)
{
    const std::wstring library = SimDir() + L"\\SimMobileDevice.dll";
    {
        SCOPED_TRACE("no Shared key");
        ASSERT_TRUE(m_shared.DeleteKey());
        ExpectBindFails(kNotInstalled);
    }
    {
        SCOPED_TRACE("no value");
        ASSERT_TRUE(m_shared.SetString(L"Other", library));
        ExpectBindFails(kNotInstalled);
    }
    {
        SCOPED_TRACE("empty value");
        ASSERT_TRUE(m_shared.SetString(L"iTunesMobileDeviceDLL", L""));
        ExpectBindFails(kNotInstalled);
    }
    {
        SCOPED_TRACE("REG_EXPAND_SZ");
        ASSERT_TRUE(m_shared.SetString(L"iTunesMobileDeviceDLL", library, REG_EXPAND_SZ));
        ExpectBindFails(kNotInstalled);
    }
    {
        SCOPED_TRACE("REG_DWORD");
        ASSERT_TRUE(m_shared.SetDword(L"iTunesMobileDeviceDLL", 1));
        ExpectBindFails(kNotInstalled);
    }
    {
        SCOPED_TRACE("file that is not there");
        ASSERT_TRUE(m_shared.SetString(L"iTunesMobileDeviceDLL", SimDir() + L"\\NoSuchLibrary.dll"));
        ExpectBindFails(kNotInstalled);
    }
}

TEST_F(Binding, CoreFoundationThatWillNotLoadUnloadsTheMobileDeviceLibrary)
{
    // The install folder is read as given: without its final separator the file name is glued on.
    ASSERT_TRUE(m_support.SetString(L"InstallDir", SimDir()));
    ExpectBindFails(kNotInstalled);
}

TEST_F(Binding, MissingFunctionIsTooOldAndUnloadsBoth)
{
    // CoreFoundation exports none of the mobile device functions.
    ASSERT_TRUE(m_shared.SetString(L"iTunesMobileDeviceDLL", SimDir() + L"\\CoreFoundation.dll"));
    ExpectBindFails(kTooOld);
}

TEST_F(Binding, NoInstallFolderIsTooOld)
{
    // The mobile device library needs CoreFoundation to load at all: here the process finds it on
    // its own search path, though the install folder is not recorded.
    ASSERT_TRUE(SetDllDirectoryW(SimDir().c_str()));
    ASSERT_TRUE(m_support.DeleteValue(L"InstallDir"));
    ExpectBindFails(kTooOld);
    // An install folder that is not a REG_SZ counts as none.
    ASSERT_TRUE(m_support.SetString(L"InstallDir", SimDir() + L"\\", REG_EXPAND_SZ));
    ExpectBindFails(kTooOld);
}

TEST_F(Binding, StoredTextWithoutTerminatorOrWithOddSizeStillNamesTheLibrary)
{
    const std::wstring library = SimDir() + L"\\SimMobileDevice.dll";
    const DWORD bytes = static_cast<DWORD>(library.size() * sizeof(wchar_t));
    {
        SCOPED_TRACE("no terminator");
        ASSERT_TRUE(m_shared.SetBytes(L"iTunesMobileDeviceDLL", REG_SZ, library.c_str(), bytes));
        MessageBoxWatch watch(nullptr);
        EXPECT_TRUE(BindDeviceLibrary());
        EXPECT_EQ(watch.Seen(), 0u);
        UnbindDeviceLibrary();
    }
    {
        SCOPED_TRACE("odd size");
        std::vector<BYTE> data(bytes + 1, 0);
        memcpy(data.data(), library.c_str(), bytes);
        ASSERT_TRUE(m_shared.SetBytes(L"iTunesMobileDeviceDLL", REG_SZ, data.data(), static_cast<DWORD>(data.size())));
        MessageBoxWatch watch(nullptr);
        EXPECT_TRUE(BindDeviceLibrary());
        EXPECT_EQ(watch.Seen(), 0u);
    }
}

TEST_F(Binding, UnbindWithoutBindIsHarmless)
{
    UnbindDeviceLibrary();
    UnbindDeviceLibrary();
    EXPECT_TRUE(TableEmpty());
}

TEST_F(Binding, CoreFoundationMakesOneStringPerTextAndReleasesThroughCFRelease)
{
    ASSERT_TRUE(BindDeviceLibrary());
    CFStringRef first = MakeConstantString("com.apple.afc");
    CFStringRef second = MakeConstantString("com.apple.afc");
    CFStringRef other = MakeConstantString("DeviceName");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
    EXPECT_EQ(g_lib.CFStringGetLength(first), 13);
    // Not a heap block of the program's: releasing it must go to CoreFoundation.
    ReleaseMadeString(first);
    ReleaseMadeString(second);
    ReleaseMadeString(other);
    ReleaseMadeString(nullptr);
    EXPECT_EQ(g_lib.CFStringGetLength(MakeConstantString("com.apple.afc")), 13);
}

// The simulated CoreFoundation declares Apple's types for itself: a CFIndex or CFRange of the
// program's that is not pointer-sized (a 64-bit CFIndex on x64) passes the range wrongly, and a
// 16-bit length would cut the text.
TEST_F(Binding, TextLongerThan65535UnitsReadsBackWhole)
{
    ASSERT_TRUE(BindDeviceLibrary());
    using CreateUtf8 = CFStringRef(__cdecl*)(const char*);
    auto create = reinterpret_cast<CreateUtf8>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"CoreFoundation.dll"), "SimCFStringCreateUtf8")));
    ASSERT_NE(create, nullptr);
    std::string text;
    for (int i = 0; i < 70000; ++i) text += static_cast<char>('a' + i % 26);
    text += "\xC3\xA9";  // the last unit is not ASCII
    CFStringRef string = create(text.c_str());
    ASSERT_EQ(g_lib.CFStringGetLength(string), 70001);
    wchar_t* wide = CfStringToUtf16(string);
    ASSERT_NE(wide, nullptr);
    std::wstring expected(text.begin(), text.end() - 2);
    EXPECT_EQ(std::wstring(wide), expected + L"\u00E9");
    HeapFree(GetProcessHeap(), 0, wide);
    g_lib.CFRelease(string);
}

TEST_F(Binding, OwnConstantStringRecordWithoutCoreFoundation)
{
    // Nothing bound: the program makes the record itself.
    CFStringRef made = MakeConstantString("com.apple.afc");
    ASSERT_NE(made, nullptr);
    const unsigned char* record = reinterpret_cast<const unsigned char*>(made);
    const unsigned char expected[] = {0x00, 0x00, 0x00, 0x00, 0x8C, 0x07, 0x01, 0x00, 13,
                                      'c',  'o',  'm',  '.',  'a',  'p',  'p',  'l',  'e',
                                      '.',  'a',  'f',  'c',  0};
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, made), sizeof(expected));
    EXPECT_EQ(memcmp(record, expected, sizeof(expected)), 0);
    ReleaseMadeString(made);

    // The length byte keeps the low 8 bits only; the text is whole.
    std::string longText(300, 'x');
    CFStringRef longMade = MakeConstantString(longText.c_str());
    ASSERT_NE(longMade, nullptr);
    const unsigned char* longRecord = reinterpret_cast<const unsigned char*>(longMade);
    EXPECT_EQ(longRecord[8], 300 & 0xFF);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(longRecord + 9)), longText);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, longMade), 310u);
    ReleaseMadeString(longMade);

    CFStringRef empty = MakeConstantString("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(empty)[8], 0);
    ReleaseMadeString(empty);
    EXPECT_EQ(MakeConstantString(nullptr), nullptr);
}

}  // namespace
