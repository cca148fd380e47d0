// Binding the mobile device library and CoreFoundation as the registry of the machine describes them.
#include <gtest/gtest.h>

#include <windows.h>

#include <psapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "DeviceLibrary.h"
#include "MessageBoxWatch.h"
#include "RegistryGuard.h"
#include "SimDevice.h"
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

TEST_F(Binding, MissingFunctionIsTooOldAndUnloadsBoth)
{
    // CoreFoundation exports none of the mobile device functions.
    ASSERT_TRUE(m_shared.SetString(L"iTunesMobileDeviceDLL", SimDir() + L"\\CoreFoundation.dll"));
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

class SupportLayouts;

// One install: it lays itself out and checks what binding makes of it.
struct LayoutRow {
    const char* name;
    void (*run)(SupportLayouts& layout);
};

void PrintTo(const LayoutRow& row, std::ostream* out)
{
    *out << row.name;
}

// Apple's device support laid out as each installer leaves it: registry values in the right view
// and the simulated libraries copied under Apple's file names into a folder of the test's own.
// Every Apple key the search reads is guarded, and starts out empty.
class SupportLayouts : public Binding, public testing::WithParamInterface<LayoutRow> {
protected:
    void SetUp() override
    {
        Binding::SetUp();
        m_root = SimMakeTempFolder(L"layout");
        ASSERT_FALSE(m_root.empty());
        ASSERT_TRUE(ClearAppleKeys());
    }
    void TearDown() override
    {
        Binding::TearDown();
        SimRemoveTree(m_root);
        // Children first, so that each key made for a package goes again.
        while (!m_chain.empty()) m_chain.pop_back();
    }

public:
    RegistryKeyGuard& Shared() { return m_shared; }
    RegistryKeyGuard& DeviceSupport() { return m_deviceSupport; }
    RegistryKeyGuard& ApplicationSupport() { return m_support; }
#ifdef _WIN64
    RegistryKeyGuard& OtherShared()
    {
        return m_otherShared;
    }
#endif

    bool ClearAppleKeys()
    {
        bool cleared = m_shared.DeleteKey() && m_deviceSupport.DeleteKey() && m_support.DeleteKey();
#ifdef _WIN64
        cleared =
            cleared && m_otherShared.DeleteKey() && m_otherDeviceSupport.DeleteKey() && m_otherSupport.DeleteKey();
#endif
        return cleared;
    }

    std::wstring Path(const std::wstring& relative) const
    {
        return m_root + L"\\" + relative;
    }

    void MakeFolder(const std::wstring& relative)
    {
        int result = SHCreateDirectoryExW(nullptr, Path(relative).c_str(), nullptr);
        ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS) << result;
    }

    // MobileDevice.dll and CoreFoundation.dll of this edition (or of the other one) in the folder.
    void PlaceSupport(const std::wstring& relative, bool otherArchitecture = false, bool withCoreFoundation = true)
    {
        const std::wstring from = otherArchitecture ? OtherSimDir() : SimDir();
        if (from.empty()) return;  // an x86 build has no x64 library beside it
        MakeFolder(relative);
        ASSERT_TRUE(CopyFileW((from + L"\\SimMobileDevice.dll").c_str(), Path(relative + L"\\MobileDevice.dll").c_str(),
                              FALSE));
        if (withCoreFoundation) PlaceCoreFoundation(relative, otherArchitecture);
    }
    void PlaceCoreFoundation(const std::wstring& relative, bool otherArchitecture = false)
    {
        const std::wstring from = otherArchitecture ? OtherSimDir() : SimDir();
        if (from.empty()) return;
        MakeFolder(relative);
        ASSERT_TRUE(CopyFileW((from + L"\\CoreFoundation.dll").c_str(),
                              Path(relative + L"\\CoreFoundation.dll").c_str(), FALSE));
    }
    // A library that loads but exports none of the device functions, with its CoreFoundation.
    void PlaceTooOld(const std::wstring& relative)
    {
        PlaceCoreFoundation(relative);
        ASSERT_TRUE(CopyFileW((SimDir() + L"\\CoreFoundation.dll").c_str(),
                              Path(relative + L"\\MobileDevice.dll").c_str(), FALSE));
    }

    // Registers a Store package: for every user (HKEY_LOCAL_MACHINE) or for this one.
    void RegisterPackage(const std::wstring& fullName, const std::wstring& relative, bool perUser = false)
    {
        const std::wstring list = perUser ? kUserPackages : kMachinePackages;
        HKEY root = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        GuardChain(root, list + L"\\" + fullName);
        ASSERT_TRUE(m_chain.back()->SetString(perUser ? L"PackageRootFolder" : L"Path", Path(relative)));
    }

    // Binding takes exactly these two files.
    void ExpectBound(const std::wstring& library, const std::wstring& coreFoundation)
    {
        MessageBoxWatch watch(nullptr);
        ASSERT_TRUE(BindDeviceLibrary());
        EXPECT_EQ(watch.Seen(), 0u);
        EXPECT_EQ(Lower(ModulePath(reinterpret_cast<const void*>(g_lib.AMDeviceConnect))), Lower(library));
        EXPECT_EQ(Lower(ModulePath(reinterpret_cast<const void*>(g_lib.CFRelease))), Lower(coreFoundation));
        // Nothing else of the layout stays loaded: a candidate that was too old went with its CoreFoundation.
        for (const std::wstring& loaded : LoadedModules()) {
            if (Lower(loaded).rfind(Lower(m_root), 0) != 0) continue;
            EXPECT_TRUE(Lower(loaded) == Lower(library) || Lower(loaded) == Lower(coreFoundation)) << Narrow(loaded);
        }
        UnbindDeviceLibrary();
        EXPECT_TRUE(LoadedModules(m_root).empty());
    }

    // "iTunes is not installed", then the file and why it would not load.
    void ExpectMessageNaming(const std::wstring& file)
    {
        MessageBoxWatch watch(L"Fatal Error");
        EXPECT_FALSE(BindDeviceLibrary());
        ASSERT_TRUE(watch.Wait(10000)) << "no message box";
        const std::wstring head = std::wstring(kNotInstalled) + L"\n" + file + L": ";
        const std::wstring text = watch.Box().text;
        EXPECT_EQ(text.substr(0, head.size()), head);
        EXPECT_GT(text.size(), head.size()) << "no reason given";
        EXPECT_TRUE(LoadedModules(m_root).empty());
    }

    void ExpectMessage(const std::wstring& text)
    {
        MessageBoxWatch watch(L"Fatal Error");
        EXPECT_FALSE(BindDeviceLibrary());
        ASSERT_TRUE(watch.Wait(10000)) << "no message box";
        EXPECT_EQ(watch.Box().text, text);
        EXPECT_TRUE(TableEmpty());
        EXPECT_TRUE(LoadedModules(m_root).empty());
    }

    static std::wstring OtherSimDir()
    {
#ifdef _WIN64
        return SimDir() + L"-x86";
#else
        return std::wstring();  // no x64 build beside an x86 one
#endif
    }
    static std::wstring Lower(std::wstring text)
    {
        for (wchar_t& c : text) c = towlower(c);
        return text;
    }
    static std::string Narrow(const std::wstring& text)
    {
        return std::string(text.begin(), text.end());
    }
    static std::wstring ModulePath(const void* address)
    {
        HMODULE module = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                static_cast<const wchar_t*>(address), &module)) {
            return L"(none)";
        }
        wchar_t path[MAX_PATH];
        return std::wstring(path, GetModuleFileNameW(module, path, MAX_PATH));
    }
    // The files of every module loaded now, or only those below a folder.
    static std::vector<std::wstring> LoadedModules(const std::wstring& below = L"")
    {
        HMODULE modules[1024];
        DWORD bytes = 0;
        std::vector<std::wstring> paths;
        if (!K32EnumProcessModules(GetCurrentProcess(), modules, sizeof(modules), &bytes)) return paths;
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 1024; ++i) {
            wchar_t path[MAX_PATH];
            std::wstring file(path, GetModuleFileNameW(modules[i], path, MAX_PATH));
            if (Lower(file).rfind(Lower(below), 0) == 0) paths.push_back(file);
        }
        return paths;
    }

    // Guards every key from the first one missing down to `path`, so that all of them go again.
    void GuardChain(HKEY root, const std::wstring& path)
    {
        for (size_t at = path.find(L'\\');; at = path.find(L'\\', at + 1)) {
            std::wstring key = path.substr(0, at);
            m_chain.push_back(std::make_unique<RegistryKeyGuard>(root, key.c_str()));
            if (at == std::wstring::npos) break;
        }
    }

    static constexpr const wchar_t* kMachinePackages =
        L"SOFTWARE\\Classes\\Local "
        L"Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\PackageRepository\\Packages";
    static constexpr const wchar_t* kUserPackages =
        L"Software\\Classes\\Local "
        L"Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\Repository\\Packages";

protected:
    std::wstring m_root;
    RegistryKeyGuard m_deviceSupport{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Apple Inc.\\Apple Mobile Device Support"};
#ifdef _WIN64
    // The 32-bit view, as a 64-bit program reaches it by name.
    RegistryKeyGuard m_otherApple{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Apple Inc."};
    RegistryKeyGuard m_otherDeviceSupport{HKEY_LOCAL_MACHINE,
                                          L"SOFTWARE\\Wow6432Node\\Apple Inc.\\Apple Mobile Device Support"};
    RegistryKeyGuard m_otherShared{HKEY_LOCAL_MACHINE,
                                   L"SOFTWARE\\Wow6432Node\\Apple Inc.\\Apple Mobile Device Support\\Shared"};
    RegistryKeyGuard m_otherSupport{HKEY_LOCAL_MACHINE,
                                    L"SOFTWARE\\Wow6432Node\\Apple Inc.\\Apple Application Support"};
#endif
    std::vector<std::unique_ptr<RegistryKeyGuard>> m_chain;
};

const wchar_t* const kStoreITunes = L"AppleInc.iTunes_12139.11001.62009.0_x64__nzyj5cx40ttqa";
#ifdef _WIN64
const wchar_t* const kOtherEdition =
    L"This computer has 32-bit Apple device support. Use the x86 edition of TovarelUSB.";
const wchar_t* const kOwnStoreFolder = L"AMDS64";
const wchar_t* const kOtherStoreFolder = L"AMDS32";
const wchar_t* const kOwnRuntimeFolder = L"VFS\\SystemX64";
#else
const wchar_t* const kOwnStoreFolder = L"AMDS32";
const wchar_t* const kOtherStoreFolder = L"AMDS64";
const wchar_t* const kOwnRuntimeFolder = L"VFS\\SystemX86";
#endif

const LayoutRow kLayoutRows[] = {
    {"DesignLayoutFirst",
     [](SupportLayouts& t) {
         // Today's value next to the old one changes nothing: the old one is read first.
         t.PlaceSupport(L"Current");
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL", t.Path(L"Current\\MobileDevice.dll")));
         ASSERT_TRUE(t.Shared().SetString(L"iTunesMobileDeviceDLL", SimDir() + L"\\SimMobileDevice.dll"));
         ASSERT_TRUE(t.ApplicationSupport().SetString(L"InstallDir", SimDir() + L"\\"));
         t.ExpectBound(SimDir() + L"\\SimMobileDevice.dll", SimDir() + L"\\CoreFoundation.dll");
     }},
    {"TodaysInstaller",
     [](SupportLayouts& t) {
         t.PlaceCoreFoundation(L"Common\\Apple\\Apple Application Support");
         ASSERT_TRUE(
             t.ApplicationSupport().SetString(L"InstallDir", t.Path(L"Common\\Apple\\Apple Application Support\\")));
#ifdef _WIN64
         t.PlaceSupport(L"Common\\Apple\\Mobile Device Support", false, false);
         const std::wstring library = t.Path(L"Common\\Apple\\Mobile Device Support\\MobileDevice.dll");
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL", library));
         ASSERT_TRUE(t.Shared().SetString(L"AirTrafficHostDLL",
                                          t.Path(L"Common\\Apple\\Mobile Device Support\\AirTrafficHost.dll")));
         ASSERT_TRUE(t.DeviceSupport().SetString(L"InstallDir", t.Path(L"Common\\Apple\\Mobile Device Support\\")));
         ASSERT_TRUE(t.DeviceSupport().SetString(L"Version", L"18.1.2.3"));
         // The 32-bit view names only the mail interface, whose folder holds the 32-bit library.
         t.PlaceSupport(L"Common (x86)\\Apple\\Mobile Device Support", true, false);
         ASSERT_TRUE(t.OtherShared().SetString(
             L"ASMapiInterfaceDLL", t.Path(L"Common (x86)\\Apple\\Mobile Device Support\\AppleSyncMapiInterface.dll")));
#else
         t.PlaceSupport(L"Common (x86)\\Apple\\Mobile Device Support", false, false);
         const std::wstring library = t.Path(L"Common (x86)\\Apple\\Mobile Device Support\\MobileDevice.dll");
         ASSERT_TRUE(t.Shared().SetString(
             L"ASMapiInterfaceDLL", t.Path(L"Common (x86)\\Apple\\Mobile Device Support\\AppleSyncMapiInterface.dll")));
#endif
         t.ExpectBound(library, t.Path(L"Common\\Apple\\Apple Application Support\\CoreFoundation.dll"));
     }},
    {"DeviceSupportAlone",
     [](SupportLayouts& t) {
         // No Apple Application Support: CoreFoundation lies beside the library.
         t.PlaceSupport(L"Mobile Device Support");
         ASSERT_TRUE(t.DeviceSupport().SetString(L"InstallDir", t.Path(L"Mobile Device Support\\")));
         t.ExpectBound(t.Path(L"Mobile Device Support\\MobileDevice.dll"),
                       t.Path(L"Mobile Device Support\\CoreFoundation.dll"));
     }},
    {"StaleValuesAreSkipped",
     [](SupportLayouts& t) {
         t.PlaceSupport(L"Current");
         ASSERT_TRUE(t.Shared().SetString(L"iTunesMobileDeviceDLL", t.Path(L"Removed\\iTunesMobileDevice.dll")));
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL", t.Path(L"Current\\MobileDevice.dll")));
         ASSERT_TRUE(t.ApplicationSupport().SetString(L"InstallDir", t.Path(L"Removed\\")));
         t.ExpectBound(t.Path(L"Current\\MobileDevice.dll"), t.Path(L"Current\\CoreFoundation.dll"));
         // A file name without its folder is no record: it is not looked for in the current folder.
         t.PlaceSupport(L"Planted");
         ASSERT_TRUE(t.Shared().DeleteValue(L"MobileDeviceDLL"));
         ASSERT_TRUE(t.Shared().SetString(L"iTunesMobileDeviceDLL", L"MobileDevice.dll"));
         wchar_t before[MAX_PATH];
         ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, before), 0u);
         ASSERT_TRUE(SetCurrentDirectoryW(t.Path(L"Planted").c_str()));
         t.ExpectMessage(kNotInstalled);
         ASSERT_TRUE(SetCurrentDirectoryW(before));
     }},
    {"InstallFolderWithoutSeparatorOrOfAnotherType",
     [](SupportLayouts& t) {
         // The install folder is read as given, so the glued name is no file; nor is a value that is
         // not REG_SZ an install folder. Either way CoreFoundation comes from beside the library.
         ASSERT_TRUE(t.Shared().SetString(L"iTunesMobileDeviceDLL", SimDir() + L"\\SimMobileDevice.dll"));
         ASSERT_TRUE(t.ApplicationSupport().SetString(L"InstallDir", SimDir()));
         t.ExpectBound(SimDir() + L"\\SimMobileDevice.dll", SimDir() + L"\\CoreFoundation.dll");
         ASSERT_TRUE(t.ApplicationSupport().SetString(L"InstallDir", SimDir() + L"\\", REG_EXPAND_SZ));
         t.ExpectBound(SimDir() + L"\\SimMobileDevice.dll", SimDir() + L"\\CoreFoundation.dll");
         // Nor is a folder without its drive one below the current folder.
         t.PlaceCoreFoundation(L"Relative");
         ASSERT_TRUE(t.ApplicationSupport().SetString(L"InstallDir", L"Relative\\"));
         wchar_t before[MAX_PATH];
         ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, before), 0u);
         ASSERT_TRUE(SetCurrentDirectoryW(t.Path(L"").c_str()));
         t.ExpectBound(SimDir() + L"\\SimMobileDevice.dll", SimDir() + L"\\CoreFoundation.dll");
         ASSERT_TRUE(SetCurrentDirectoryW(before));
     }},
    {"StoreITunesNewestVersionStillThere",
     [](SupportLayouts& t) {
         for (const wchar_t* version : {L"12139", L"9999"}) {
             std::wstring root = std::wstring(L"WindowsApps\\") + version;
             t.PlaceSupport(root + L"\\" + kOwnStoreFolder);
             t.PlaceSupport(root + L"\\" + kOtherStoreFolder, true);
         }
         t.RegisterPackage(kStoreITunes, L"WindowsApps\\12139");
         // An older version, whose number sorts after as text.
         t.RegisterPackage(L"AppleInc.iTunes_9999.1.1.0_x64__nzyj5cx40ttqa", L"WindowsApps\\9999");
         // A newer version whose folder is gone stays registered.
         t.RegisterPackage(L"AppleInc.iTunes_12140.1.1.0_x64__nzyj5cx40ttqa", L"WindowsApps\\12140");
         // Another publisher's package of the same name is not Apple's.
         t.PlaceSupport(L"WindowsApps\\Other\\AMDS64");
         t.RegisterPackage(L"AppleInc.iTunes_20000.0.0.0_x64__otherpublisher", L"WindowsApps\\Other");
         const std::wstring folder = std::wstring(L"WindowsApps\\12139\\") + kOwnStoreFolder;
         t.ExpectBound(t.Path(folder + L"\\MobileDevice.dll"), t.Path(folder + L"\\CoreFoundation.dll"));
     }},
    {"AppleDevicesForThisUserBeforeITunes",
     [](SupportLayouts& t) {
         t.PlaceSupport(L"WindowsApps\\Devices");
         t.RegisterPackage(L"AppleInc.AppleDevices_1.2.3.0_x64__nzyj5cx40ttqa", L"WindowsApps\\Devices", true);
         t.PlaceSupport(std::wstring(L"WindowsApps\\ITunes\\") + kOwnStoreFolder);
         t.RegisterPackage(kStoreITunes, L"WindowsApps\\ITunes");
         t.ExpectBound(t.Path(L"WindowsApps\\Devices\\MobileDevice.dll"),
                       t.Path(L"WindowsApps\\Devices\\CoreFoundation.dll"));
     }},
    {"StorePackageOfAChangedLayout",
     [](SupportLayouts& t) {
         // The library in a subfolder of its own, CoreFoundation at the package root, and the
         // package's runtime folder in the search while they load.
         t.PlaceSupport(L"WindowsApps\\ITunes\\DeviceSupport", false, false);
         t.PlaceCoreFoundation(L"WindowsApps\\ITunes");
         t.MakeFolder(std::wstring(L"WindowsApps\\ITunes\\") + kOwnRuntimeFolder);
         t.RegisterPackage(kStoreITunes, L"WindowsApps\\ITunes");
         t.ExpectBound(t.Path(L"WindowsApps\\ITunes\\DeviceSupport\\MobileDevice.dll"),
                       t.Path(L"WindowsApps\\ITunes\\CoreFoundation.dll"));
     }},
    {"StoreRuntimeFolderInTheSearch",
     [](SupportLayouts& t) {
         // The library's CoreFoundation only in the package's runtime folder: it is not taken as the
         // CoreFoundation to bind, but the library's own import finds it there, so the library loads
         // (and, without CoreFoundation's functions, is too old rather than failing to load).
         t.PlaceSupport(L"WindowsApps\\ITunes\\DeviceSupport", false, false);
         t.PlaceCoreFoundation(std::wstring(L"WindowsApps\\ITunes\\") + kOwnRuntimeFolder);
         t.RegisterPackage(kStoreITunes, L"WindowsApps\\ITunes");
         t.ExpectMessage(kTooOld);
     }},
    {"TooOldFirstGoodSecond",
     [](SupportLayouts& t) {
         t.PlaceTooOld(L"Old");
         t.PlaceSupport(L"Current");
         ASSERT_TRUE(t.Shared().SetString(L"iTunesMobileDeviceDLL", t.Path(L"Old\\MobileDevice.dll")));
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL", t.Path(L"Current\\MobileDevice.dll")));
         t.ExpectBound(t.Path(L"Current\\MobileDevice.dll"), t.Path(L"Current\\CoreFoundation.dll"));
     }},
    {"EveryCandidateTooOld",
     [](SupportLayouts& t) {
         t.PlaceTooOld(L"Old");
         t.PlaceTooOld(L"Older");
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL", t.Path(L"Old\\MobileDevice.dll")));
         ASSERT_TRUE(t.DeviceSupport().SetString(L"InstallDir", t.Path(L"Older")));
         t.ExpectMessage(kTooOld);
     }},
    {"NothingInstalled", [](SupportLayouts& t) { t.ExpectMessage(kNotInstalled); }},
    {"LibraryThatWillNotLoadIsNamed",
     [](SupportLayouts& t) {
         // No CoreFoundation anywhere for it: the library is there but cannot load.
         t.PlaceSupport(L"Alone", false, false);
         const std::wstring library = t.Path(L"Alone\\MobileDevice.dll");
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL", library));
         t.ExpectMessageNaming(library);
         // A file that is no library at all.
         const std::wstring text = t.Path(L"Text\\MobileDevice.dll");
         ASSERT_TRUE(SimWriteFile(text, "not a library"));
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL", text));
         t.ExpectMessageNaming(text);
         // One that cannot be read (as a Store package's files may not be).
         t.PlaceSupport(L"Locked");
         const std::wstring locked = t.Path(L"Locked\\MobileDevice.dll");
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL", locked));
         HANDLE hold = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         ASSERT_NE(hold, INVALID_HANDLE_VALUE);
         t.ExpectMessageNaming(locked);
         CloseHandle(hold);
     }},
#ifdef _WIN64
    {"OnlyTheOtherArchitecture",
     [](SupportLayouts& t) {
         t.PlaceSupport(L"Common (x86)\\Apple\\Mobile Device Support", true);
         ASSERT_TRUE(t.OtherShared().SetString(
             L"ASMapiInterfaceDLL", t.Path(L"Common (x86)\\Apple\\Mobile Device Support\\AppleSyncMapiInterface.dll")));
         t.ExpectMessage(kOtherEdition);
         // Recorded in this edition's own view, a 32-bit library is still never loaded.
         ASSERT_TRUE(t.Shared().SetString(L"MobileDeviceDLL",
                                          t.Path(L"Common (x86)\\Apple\\Mobile Device Support\\MobileDevice.dll")));
         t.ExpectMessage(kOtherEdition);
         // The Store's iTunes with only its 32-bit part left.
         ASSERT_TRUE(t.ClearAppleKeys());
         t.PlaceSupport(L"WindowsApps\\ITunes\\AMDS32", true);
         t.RegisterPackage(kStoreITunes, L"WindowsApps\\ITunes");
         t.ExpectMessage(kOtherEdition);
     }},
#endif
};

TEST_P(SupportLayouts, BindsTheRightFilesOrSaysWhy)
{
    GetParam().run(*this);
}

INSTANTIATE_TEST_SUITE_P(Installs, SupportLayouts, testing::ValuesIn(kLayoutRows),
                         [](const testing::TestParamInfo<LayoutRow>& info) { return std::string(info.param.name); });

}  // namespace
