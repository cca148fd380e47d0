// The real TovarelUSB.exe on a simulated device of its own, with "My Documents" open, for tests that
// move files between it and the Explorer stand-ins with the real pointer.
//
// "My Documents" holds the simulated library's usual tree (Books/Guide.pdf, Books/Old/Notes 2019.txt,
// Empty/, readme.txt, "Résumé – Anna’s notes.txt"), a 3 MiB "big.bin", an empty "empty.txt", and
// in "Odd names" files whose device names Windows cannot store as they are (the device allows any
// name; see kOddNames).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "EndToEndSupport.h"
#include "RegistryGuard.h"
#include "TreeSnapshot.h"

// Bytes of a repeating pattern whose period is no power of two, so a block read or written in the
// wrong place shows.
std::string PatternBytes(size_t size);

// A device name Windows cannot store, as the simulated library keeps it on disk (its escape form
// where one is needed),
// and the storable name a drag out must give it.
struct OddName {
    const wchar_t* onDisk;
    const wchar_t* storedAs;
};
extern const OddName kOddNames[4];

class TransferRun : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Where the bed's windows may go without covering the program's: right of its window, one below
    // the other ("X,Y,W,H" for --place).
    std::wstring StandInPlace(int slot) const;
    bool Listed(const std::wstring& name) const;
    // The screen centre of a list item (after scrolling it into view), or of a tree item.
    POINT ListItemCentre(const std::wstring& name) const;
    POINT TreeItemCentre(const std::wstring& name) const;
    DWORD ProgramId() const;
    // Types a path into the program's open dialog with this title and presses its OK button.
    void ChooseInDialog(const wchar_t* title, const std::wstring& path) const;
    // The simulated library's configuration from now on (read again within 100 ms): the program's
    // device, then these lines; those right after apply to that device ("  attached 0\n").
    void ConfigureDevices(const std::string& lines) const;
    // Closes the program with its close box: it ends in time, with status 0.
    void CloseProgram();
    // The entries of a copy of device items (a drop's or a save's folder) whose last write time, to
    // the second, is not the date of the device entry they were copied from (files only, or
    // folders too), as "path: copy's seconds != device's seconds". The device entry of a path is the
    // same path below "My Documents" (a leading "My Documents/" is that folder itself), its odd
    // names as they are on the device. Empty also when the copy holds nothing: see `compared`.
    std::vector<std::string> DatesNotKept(const std::wstring& copy, bool withFolders, size_t* compared) const;

    std::wstring folder_;     // everything of one test, removed at its end
    std::wstring documents_;  // "My Documents" of the opened edition on disk
    HWND main_ = nullptr;
    HWND tree_ = nullptr;
    HWND list_ = nullptr;

private:
    std::string deviceConfig_;
    std::unique_ptr<RegistryKeyGuard> settings_;
    std::unique_ptr<EnvironmentGuard> config_;
    std::unique_ptr<ProgramRun> run_;
};
