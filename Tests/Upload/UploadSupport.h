// Shared pieces of the drop target and upload tests: a device with one open container, local
// folders to drop from, drops from another apartment at points of the real controls, and a record
// of what the copy-progress dialog was told.
#pragma once

#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

#include "FileDropData.h"
#include "ProgramHarness.h"
#include "TreeSnapshot.h"

// What the copy thread wrote into the progress dialog, in order; recorded on the user-interface
// thread as the messages arrive. `onEvent` runs after each record, while the copy thread waits for
// its message to be handled, so an action taken there (Cancel) happens at exactly that point.
struct CopyRecord {
    std::vector<std::wstring> texts;
    std::vector<int> positions;
    std::function<void(CopyRecord&)> onEvent;
};

// Presses the copy-progress dialog's Cancel button.
void PressCopyCancel();

class UploadTest : public ProgramTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Screen points over a tree item and a list item.
    POINTL OverTreeItem(HTREEITEM item) const;
    POINTL OverListItem(const wchar_t* name) const;
    // Pumps until the copy (if one started) has ended and its dialog is gone.
    bool WaitForCopyEnd(DWORD timeoutMilliseconds = 60000);
    // Drop, then wait for the copy and for the warning of this title ("" = no warning at all);
    // answers the warning's text ("" when none came). `afterDrop` runs before the copy thread may
    // start its work.
    std::wstring DropAndFinish(IDropTarget* target, POINTL point, const std::vector<std::wstring>& paths,
                               const wchar_t* warningTitle, const std::function<void()>& afterDrop = nullptr);

    // The host folders: the device's "/Documents" and the local folder dropped from.
    std::wstring DeviceDocuments() const { return container_ + L"\\Documents"; }
    std::wstring Local(const std::wstring& relative) const { return local_ + L"\\" + relative; }

    CopyRecord record_;
    std::wstring container_;
    std::wstring local_;
};

extern const wchar_t kCopyErrorText[];
extern const wchar_t kCancelledText[];
extern const wchar_t kExistsText[];
extern const wchar_t kWarningTitle[];
extern const wchar_t kExistsTitle[];
