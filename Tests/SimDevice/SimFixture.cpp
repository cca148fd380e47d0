#include "SimFixture.h"

DeviceLibrary SimTest::lib;
std::mutex SimTest::noticeLock_;
std::vector<RecordedNotice> SimTest::notices_;

void SimTest::SetUpTestSuite()
{
    static bool bound = false;
    if (bound) {
        return;
    }
    ASSERT_TRUE(SimBindLibrary(lib)) << "simulated library not found in TOVAREL_SIM_DIR";
    AMNotificationRef subscription = nullptr;
    ASSERT_EQ(lib.AMDeviceNotificationSubscribe(RecordNotice, 0, 0, nullptr, &subscription), 0);
    bound = true;
}

void SimTest::RecordNotice(const DeviceNotice* notice, void*)
{
    std::lock_guard<std::mutex> guard(noticeLock_);
    notices_.push_back(RecordedNotice{notice->device, notice->event, GetCurrentThreadId()});
}

std::vector<RecordedNotice> SimTest::TakeNotices()
{
    std::lock_guard<std::mutex> guard(noticeLock_);
    std::vector<RecordedNotice> taken;
    taken.swap(notices_);
    return taken;
}

void SimTest::SetUp()
{
    ASSERT_NE(lib.AMDeviceConnect, nullptr);
    root_ = SimMakeTempFolder(L"simdevice");
    ASSERT_FALSE(root_.empty());
    LoadConfig();
    SimResetCounters();
    TakeNotices();
}

void SimTest::TearDown()
{
    SimFailPath(nullptr);
    SimSetLatency(0, 0);
    SimSetTrace(nullptr);
    EXPECT_TRUE(SimWaitNotices());
    SimRemoveTree(root_);
}

void SimTest::LoadConfig(const std::string& extraDeviceLines)
{
    ASSERT_EQ(SimLoadConfigText((SimWriteDeviceTree(root_) + extraDeviceLines).c_str()), 0);
    ASSERT_TRUE(SimWaitNotices());
}

std::string SimTest::Utf8(const std::wstring& text) const
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], bytes, nullptr, nullptr);
    result.pop_back();
    return result;
}

AMDeviceRef SimTest::StartDevice()
{
    auto device = static_cast<AMDeviceRef>(SimDeviceRef(kSimDeviceId));
    EXPECT_EQ(lib.AMDeviceConnect(device), 0);
    EXPECT_EQ(lib.AMDeviceStartSession(device), 0);
    return device;
}

AFCConnectionRef SimTest::OpenStorage()
{
    AMDeviceRef device = StartDevice();
    AMServiceRef service = nullptr;
    AFCConnectionRef afc = nullptr;
    CFStringRef name = lib.__CFStringMakeConstantString("com.apple.afc");
    EXPECT_EQ(lib.AMDeviceStartService(device, name, &service, nullptr), 0);
    EXPECT_EQ(lib.AFCConnectionOpen(service, 0, &afc), 0);
    return afc;
}

CFDictionaryRef SimTest::VendDocumentsOptions()
{
    const void* key = lib.__CFStringMakeConstantString("Command");
    const void* value = lib.__CFStringMakeConstantString("VendDocuments");
    return lib.CFDictionaryCreate(nullptr, &key, &value, 1, nullptr, nullptr);
}

AFCConnectionRef SimTest::OpenContainer(const char* identifier)
{
    AMDeviceRef device = StartDevice();
    AMServiceRef service = nullptr;
    AFCConnectionRef afc = nullptr;
    CFDictionaryRef options = VendDocumentsOptions();
    EXPECT_EQ(lib.AMDeviceStartHouseArrestService(device, lib.__CFStringMakeConstantString(identifier), options,
                                                  &service, nullptr),
              0);
    lib.CFRelease(options);
    EXPECT_EQ(lib.AFCConnectionOpen(service, 0, &afc), 0);
    return afc;
}

std::vector<std::string> SimTest::List(AFCConnectionRef afc, const char* path)
{
    std::vector<std::string> names;
    AFCDirectoryRef directory = nullptr;
    if (lib.AFCDirectoryOpen(afc, path, &directory) != 0) {
        return names;
    }
    char* name = nullptr;
    while (lib.AFCDirectoryRead(afc, directory, &name) == 0 && name) {
        names.push_back(name);
    }
    EXPECT_EQ(lib.AFCDirectoryClose(afc, directory), 0);
    return names;
}

std::vector<std::pair<std::string, std::string>> SimTest::Info(AFCConnectionRef afc, const char* path, int* result)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    AFCKeyValueReaderRef reader = nullptr;
    int opened = path ? lib.AFCFileInfoOpen(afc, path, &reader) : lib.AFCDeviceInfoOpen(afc, &reader);
    if (result) {
        *result = opened;
    }
    if (opened != 0) {
        return pairs;
    }
    char* key = nullptr;
    char* value = nullptr;
    while (lib.AFCKeyValueRead(reader, &key, &value) == 0 && key) {
        pairs.emplace_back(key, value);
    }
    EXPECT_EQ(lib.AFCKeyValueClose(reader), 0);
    return pairs;
}

std::string SimTest::Kind(AFCConnectionRef afc, const char* path)
{
    for (auto& pair : Info(afc, path)) {
        if (pair.first == "st_ifmt") {
            return pair.second;
        }
    }
    return "<none>";
}

int SimTest::WriteDeviceFile(AFCConnectionRef afc, const char* path, const std::string& bytes, uint64_t mode)
{
    AFCFileRef file = 0;
    int result = lib.AFCFileRefOpen(afc, path, mode, &file);
    if (result != 0) {
        return result;
    }
    result = lib.AFCFileRefWrite(afc, file, bytes.data(), static_cast<uint32_t>(bytes.size()));
    lib.AFCFileRefClose(afc, file);
    return result;
}

std::string SimTest::ReadDeviceFile(AFCConnectionRef afc, const char* path, uint32_t room)
{
    AFCFileRef file = 0;
    if (lib.AFCFileRefOpen(afc, path, 2, &file) != 0) {
        return "<failed>";
    }
    std::string content;
    std::vector<char> buffer(room);
    for (;;) {
        AFCByteCount length = room;
        if (lib.AFCFileRefRead(afc, file, buffer.data(), &length) != 0) {
            content = "<failed>";
            break;
        }
        EXPECT_LE(length, room);
        if (length == 0) {
            break;
        }
        content.append(buffer.data(), length);
    }
    lib.AFCFileRefClose(afc, file);
    return content;
}

void SimTest::Close(AFCConnectionRef afc)
{
    lib.AFCConnectionClose(afc);
}
