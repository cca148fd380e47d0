// A device session driven the way the program drives it: notices, connection, pairing, values,
// session, services, device information, application lookup and house arrest.
#include "SimFixture.h"

namespace {

std::wstring ToWide(CFStringRef string)
{
    if (!string) {
        return L"<null>";
    }
    std::wstring text(static_cast<size_t>(SimTest::lib.CFStringGetLength(string)), L'\0');
    SimTest::lib.CFStringGetCharacters(string, CFRange{0, static_cast<CFIndex>(text.size())},
                                       reinterpret_cast<uint16_t*>(&text[0]));
    SimTest::lib.CFRelease(string);
    return text;
}

using DeviceSession = SimTest;

TEST_F(DeviceSession, NoticesComeFromTheLibraryThread)
{
    auto device = static_cast<AMDeviceRef>(SimDeviceRef(kSimDeviceId));
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(SimDetach(kSimDeviceId), 0);
    ASSERT_EQ(SimAttach(kSimDeviceId), 0);
    ASSERT_EQ(SimAttach(kSimDeviceId), 0);  // already attached: no second arrival
    ASSERT_EQ(SimDeliverNotice(kSimDeviceId, 1), 0);
    ASSERT_EQ(SimDeliverNotice(kSimDeviceId, 7), 0);
    EXPECT_EQ(SimDeliverNotice("no-such-device", 1), -1);
    ASSERT_TRUE(SimWaitNotices());

    std::vector<RecordedNotice> notices = TakeNotices();
    ASSERT_EQ(notices.size(), 4u);
    const uint32_t expected[] = {DEVICE_NOTICE_LEFT, DEVICE_NOTICE_ARRIVED, DEVICE_NOTICE_ARRIVED, 7};
    for (size_t i = 0; i < notices.size(); ++i) {
        EXPECT_EQ(notices[i].device, device);
        EXPECT_EQ(notices[i].event, expected[i]);
        EXPECT_NE(notices[i].thread, GetCurrentThreadId());
    }
    EXPECT_EQ(SimDeviceRef(kSimDeviceId), device);  // stable across detach and attach
}

TEST_F(DeviceSession, CallsNeedConnectionThenSession)
{
    SimDetach(kSimDeviceId);
    SimAttach(kSimDeviceId);
    auto device = static_cast<AMDeviceRef>(SimDeviceRef(kSimDeviceId));
    CFStringRef afcName = lib.__CFStringMakeConstantString("com.apple.afc");
    AMServiceRef service = nullptr;

    EXPECT_EQ(lib.AMDeviceIsPaired(device), 0);
    EXPECT_NE(lib.AMDeviceValidatePairing(device), 0);
    EXPECT_NE(lib.AMDeviceStartSession(device), 0);
    EXPECT_EQ(lib.AMDeviceCopyValue(device, nullptr, lib.__CFStringMakeConstantString("DeviceName")), nullptr);

    ASSERT_EQ(lib.AMDeviceConnect(device), 0);
    EXPECT_EQ(lib.AMDeviceIsPaired(device), 1);
    EXPECT_EQ(lib.AMDeviceValidatePairing(device), 0);
    EXPECT_EQ(ToWide(lib.AMDeviceCopyValue(device, nullptr, lib.__CFStringMakeConstantString("DeviceName"))),
              L"Sim iPhone");
    EXPECT_EQ(ToWide(lib.AMDeviceCopyValue(device, nullptr, lib.__CFStringMakeConstantString("UniqueDeviceID"))),
              L"00008030-SIM0000000001");
    EXPECT_NE(lib.AMDeviceStartService(device, afcName, &service, nullptr), 0);
    EXPECT_EQ(service, nullptr);

    ASSERT_EQ(lib.AMDeviceStartSession(device), 0);
    CFStringRef otherName = lib.__CFStringMakeConstantString("com.apple.other");
    EXPECT_NE(lib.AMDeviceStartService(device, otherName, &service, nullptr), 0);
    ASSERT_EQ(lib.AMDeviceStartService(device, afcName, &service, nullptr), 0);
    AFCConnectionRef afc = nullptr;
    ASSERT_EQ(lib.AFCConnectionOpen(service, 0, &afc), 0);
    EXPECT_EQ(List(afc, "/DCIM"), (std::vector<std::string>{".", "..", "100APPLE"}));
    EXPECT_EQ(lib.AFCConnectionClose(afc), 0);
    EXPECT_EQ(lib.AMDeviceStopSession(device), 0);
    EXPECT_NE(lib.AMDeviceStartService(device, afcName, &service, nullptr), 0);
}

TEST_F(DeviceSession, NameIsConvertedFromUtf8)
{
    ASSERT_EQ(SimLoadConfigText(("device other\n  name Anna\xE2\x80\x99s iPhone\ndevice " + std::string(kSimDeviceId) +
                                 "\n  name x\n")
                                    .c_str()),
              0);
    ASSERT_TRUE(SimWaitNotices());
    auto other = static_cast<AMDeviceRef>(SimDeviceRef("other"));
    ASSERT_EQ(lib.AMDeviceConnect(other), 0);
    EXPECT_EQ(ToWide(lib.AMDeviceCopyValue(other, nullptr, lib.__CFStringMakeConstantString("DeviceName"))),
              L"Anna\u2019s iPhone");
}

TEST_F(DeviceSession, DeviceInformationKeysStayValidUntilClose)
{
    LoadConfig("  model iPad13,1\n  total 1000\n  free none\n");
    AFCConnectionRef afc = OpenStorage();
    AFCKeyValueReaderRef reader = nullptr;
    ASSERT_EQ(lib.AFCDeviceInfoOpen(afc, &reader), 0);
    std::vector<std::pair<char*, char*>> handed;
    char* key = nullptr;
    char* value = nullptr;
    while (lib.AFCKeyValueRead(reader, &key, &value) == 0 && key) {
        handed.emplace_back(key, value);
    }
    EXPECT_EQ(value, nullptr);
    std::map<std::string, std::string> pairs;
    for (auto& pair : handed) {
        pairs[pair.first] = pair.second;  // read only now: earlier pointers must still hold
    }
    EXPECT_EQ(lib.AFCKeyValueClose(reader), 0);
    EXPECT_EQ(pairs, (std::map<std::string, std::string>{{"Model", "iPad13,1"}, {"FSTotalBytes", "1000"},
                                                         {"FSBlockSize", "4096"}}));
    Close(afc);
}

TEST_F(DeviceSession, ApplicationLookupIsKeyedByIdentifier)
{
    unsigned live = SimLiveCfObjects();
    AMDeviceRef device = StartDevice();
    CFDictionaryRef apps = nullptr;
    ASSERT_EQ(lib.AMDeviceLookupApplications(device, nullptr, &apps), 0);
    ASSERT_NE(apps, nullptr);
    EXPECT_NE(lib.CFDictionaryGetValue(apps, lib.__CFStringMakeConstantString("com.marlquist.tovarel")), nullptr);
    EXPECT_NE(lib.CFDictionaryGetValue(apps, lib.__CFStringMakeConstantString("com.marlquist.tovarel.ipad")), nullptr);
    EXPECT_EQ(lib.CFDictionaryGetValue(apps, lib.__CFStringMakeConstantString("com.marlquist.tovarel4")), nullptr);
    lib.CFRelease(apps);
    EXPECT_EQ(SimLiveCfObjects(), live);
}

TEST_F(DeviceSession, HouseArrestNeedsVendDocumentsAndAnInstalledApp)
{
    AMDeviceRef device = StartDevice();
    AMServiceRef service = nullptr;
    CFStringRef iphone = lib.__CFStringMakeConstantString("com.marlquist.tovarel");
    const void* key = lib.__CFStringMakeConstantString("Command");
    const void* wrongValue = lib.__CFStringMakeConstantString("VendContainer");
    const void* wrongKey = lib.__CFStringMakeConstantString("Cmd");
    const void* value = lib.__CFStringMakeConstantString("VendDocuments");
    CFDictionaryRef wrong1 = lib.CFDictionaryCreate(nullptr, &key, &wrongValue, 1, nullptr, nullptr);
    CFDictionaryRef wrong2 = lib.CFDictionaryCreate(nullptr, &wrongKey, &value, 1, nullptr, nullptr);
    CFDictionaryRef options = VendDocumentsOptions();

    EXPECT_NE(lib.AMDeviceStartHouseArrestService(device, iphone, wrong1, &service, nullptr), 0);
    EXPECT_NE(lib.AMDeviceStartHouseArrestService(device, iphone, wrong2, &service, nullptr), 0);
    EXPECT_NE(lib.AMDeviceStartHouseArrestService(device, iphone, nullptr, &service, nullptr), 0);
    EXPECT_NE(lib.AMDeviceStartHouseArrestService(device, lib.__CFStringMakeConstantString("com.marlquist.tovarel4"),
                                                  options, &service, nullptr),
              0);
    ASSERT_EQ(lib.AMDeviceStartHouseArrestService(device, iphone, options, &service, nullptr), 0);
    AFCConnectionRef afc = nullptr;
    ASSERT_EQ(lib.AFCConnectionOpen(service, 0, &afc), 0);
    EXPECT_EQ(Kind(afc, "/Documents"), "S_IFDIR");
    EXPECT_EQ(Kind(afc, "/Library/Application Support/com.marlquist.tovarel.ASRoot/UserDocs"), "S_IFDIR");
    EXPECT_EQ(Kind(afc, "/DCIM"), "<none>");  // the storage folder is not in the container
    Close(afc);
    for (CFDictionaryRef dictionary : {wrong1, wrong2, options}) {
        lib.CFRelease(dictionary);
    }
}

}  // namespace
