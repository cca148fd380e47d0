// What the four drag-and-drop stand-ins share: their command line, their window and message loop.
//
// Options common to every stand-in:
//   --log FILE         append the event log to FILE (Windows path, or a Unix path "/..." under Wine)
//   --title TITLE      the window's title (each program has its own default)
//   --place X,Y,W,H    the window's outer rectangle on the screen (each program has its own default,
//                      so that the stand-ins of one test do not overlap)
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace bed {

struct Arguments {
    // Options in command-line order; a flag has an empty value.
    std::vector<std::pair<std::wstring, std::wstring>> options;
    // The words that are not options, in order.
    std::vector<std::wstring> words;

    bool Has(const wchar_t* name) const;
    std::wstring Value(const wchar_t* name, const std::wstring& fallback = std::wstring()) const;
    // The words as local paths (LocalPath).
    std::vector<std::wstring> Paths() const;
};

struct ProgramInfo {
    const wchar_t* name;          // for the "start" line and the window class
    const wchar_t* defaultTitle;
    RECT defaultPlace;            // left, top, width, height
    std::vector<const wchar_t*> flags;  // options that take no value; every other option takes one
    std::wstring caption;         // painted in the window: what to do with it
};

// Parses the command line, opens the log (line "start" with program, pid and title), initialises
// OLE on this thread and makes the window, hidden, with `procedure` as its window procedure
// (unhandled messages go to DefaultWindowProc). Null, with a "usage-error" line, when the command
// line is wrong.
HWND StartProgram(const ProgramInfo& info, WNDPROC procedure, Arguments* arguments);
// Paints the caption and ends the message loop when the window is destroyed.
LRESULT DefaultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Shows the window, now that it is ready (tests take a visible window for a ready program), runs
// the message loop until the window is gone, logs "exit" and uninitialises OLE; the exit status.
int RunProgram(HWND window);

// For a command line found wrong after the window was made: logs "usage-error" with the message,
// closes the window and OLE; the exit status 2.
int EndWithUsageError(HWND window, const char* message);

// "/a/b" as "Z:\a\b"; Windows paths unchanged.
std::wstring LocalPath(const std::wstring& path);

}  // namespace bed
