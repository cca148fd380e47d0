// The programs of the drag-and-drop bed (build/e2e: ExplorerSource, ExplorerTarget, ...) as a test
// starts them, and real mouse drags between windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "E2EDriver.h"

// One program of the bed, with its own title, place and log; closed at the end of scope.
class StandIn {
public:
    StandIn(const wchar_t* program, const std::wstring& title, const std::wstring& place, const std::wstring& log,
            const std::vector<std::wstring>& arguments);
    ~StandIn() { Close(); }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    HWND Window() const { return window_; }
    const std::wstring& LogPath() const { return log_; }
    POINT Centre() const;
    // True when it ended by itself with status 0 after WM_CLOSE.
    bool Close();
    // Ends it at once, as a crash would: whatever it holds of another process is never released.
    void Kill();

private:
    std::wstring log_;
    e2e::Process process_;
    HWND window_ = nullptr;
};

// Drags with the real pointer, fails the test when the gesture could not be made, and prints how
// long it took.
void TimedMouseDrag(POINT from, POINT to);
