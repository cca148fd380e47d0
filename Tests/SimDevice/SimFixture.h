// Shared set-up of the simulated library's tests: the library is bound once into a DeviceLibrary
// table, as the program binds it, and one subscription records every notice; each test gets a fresh
// device tree on disk, loaded as the configuration.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "SimDevice.h"

struct RecordedNotice {
    AMDeviceRef device;
    uint32_t event;
    DWORD thread;
};

class SimTest : public testing::Test {
public:
    static void SetUpTestSuite();
    static std::vector<RecordedNotice> TakeNotices();
    // The library's functions, bound as the program binds them.
    static DeviceLibrary lib;

protected:
    void SetUp() override;
    void TearDown() override;

    // Loads the test tree's configuration with these device lines appended; waits for notices.
    void LoadConfig(const std::string& extraDeviceLines = std::string());

    // A connected device in a session.
    AMDeviceRef StartDevice();
    // An AFC connection to the device's storage, or to an application's container.
    AFCConnectionRef OpenStorage();
    AFCConnectionRef OpenContainer(const char* identifier = "com.marlquist.tovarel");
    CFDictionaryRef VendDocumentsOptions();

    // Names read from a folder, "." and ".." included; empty when the folder cannot be opened.
    std::vector<std::string> List(AFCConnectionRef afc, const char* path);
    // Key-value pairs of a file, or of the device when path is null; `result` gets the open result.
    std::vector<std::pair<std::string, std::string>> Info(AFCConnectionRef afc, const char* path,
                                                          int* result = nullptr);
    std::string Kind(AFCConnectionRef afc, const char* path);
    int WriteDeviceFile(AFCConnectionRef afc, const char* path, const std::string& bytes, uint64_t mode = 3);
    // The file's bytes read in pieces of `room`; "<failed>" when it cannot be read.
    std::string ReadDeviceFile(AFCConnectionRef afc, const char* path, uint32_t room = 4096);
    void Close(AFCConnectionRef afc);

    // The container on disk (Windows path) of the iPhone edition, and of the storage.
    std::wstring IPhoneFolder() const { return root_ + L"\\iphone"; }
    std::wstring StorageFolder() const { return root_ + L"\\storage"; }
    std::string Utf8(const std::wstring& text) const;

    std::wstring root_;

private:
    static void __cdecl RecordNotice(const DeviceNotice* notice, void* context);
    static std::mutex noticeLock_;
    static std::vector<RecordedNotice> notices_;
};
