// Shared pieces of the drag-out tests: a device with a known tree and drags opened as the
// begin-drag handlers open them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DataObjectReader.h"
#include "DragObjects.h"
#include "DragStart.h"
#include "ProgramHarness.h"

// Pumps for a while as the program's message loop does and counts the busy dialogs that open. Each
// one is ended from inside its own loop: through `ending`'s EndOperation, with its Cancel when
// `pressCancel`, or else directly (then it opened with nothing left to close it).
int BusyDialogsWhilePumping(IDataObjectAsyncCapability* ending, bool pressCancel = false);

class DragOutTest : public ProgramTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A host path below the container's Documents folder ("My Documents").
    std::wstring Documents(const std::wstring& relative) const;

    std::wstring container_;
    std::string config_;  // the device's configuration
};
