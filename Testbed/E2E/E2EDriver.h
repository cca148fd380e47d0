// Drives the windows of another process, as a user would: start it, find its windows, read what
// they show, choose menu commands, press buttons and keys, close them and take screenshots.
// Test equipment: used by the end-to-end tests and by the console program TovarelDriver.exe.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace e2e {

// --- Processes -------------------------------------------------------------------------------------

// Owns a process handle; the process itself is left running unless Terminate is called.
class Process {
public:
    Process() = default;
    Process(HANDLE handle, DWORD id) : handle_(handle), id_(id) {}
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    HANDLE Handle() const { return handle_; }
    DWORD Id() const { return id_; }
    bool Valid() const { return handle_ != nullptr; }
    // The exit status once the process has ended within the time; false if it still runs.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode) const;
    // Ends the process (only one this program started or opened) and waits for it to be gone.
    void Terminate() const;

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// Starts a program with a command line ("program" quoted as needed by the caller), inheriting this
// process's environment. On failure the result is not Valid and error says why; a Unix program
// started through Wine gives no handle either, and no error.
Process StartProcess(const std::wstring& commandLine, std::wstring* error = nullptr);
// Opens a running process by id, to wait for it.
Process OpenProcessById(DWORD id);

// "/a/b/c" as the Windows path "Z:\a\b\c" under Wine; other paths unchanged.
std::wstring UnixToWindowsPath(const std::wstring& path);
// Quotes one argument for a command line.
std::wstring QuoteArgument(const std::wstring& argument);

// --- Windows ---------------------------------------------------------------------------------------

// Visible top-level windows with exactly this title (of one process if processId is not 0).
std::vector<HWND> FindTopWindows(const std::wstring& title, DWORD processId = 0);
// The first such window, waiting up to timeoutMs for it to appear; null when none appeared.
HWND WaitForWindow(const std::wstring& title, DWORD timeoutMs, DWORD processId = 0);
// Waits until the window no longer exists or is hidden.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);
// Visible top-level windows whose title contains the text (any process).
std::vector<HWND> FindTopWindowsContaining(const std::wstring& text);

struct TopWindow {
    HWND window;
    DWORD processId;
    std::wstring title;
    std::wstring className;
};
std::vector<TopWindow> ListTopWindows();

std::wstring WindowTitle(HWND window);
std::wstring WindowClass(HWND window);

struct ControlText {
    int id;
    std::wstring className;
    std::wstring text;
};
// The texts of a window's direct child controls in tab (z) order; in a message box the message is
// the static control with id 0xFFFF.
std::vector<ControlText> ReadChildTexts(HWND window);
// The message of a message box (its static text), or the empty string.
std::wstring MessageBoxText(HWND box);

// --- Input -----------------------------------------------------------------------------------------

// Posts the WM_COMMAND a menu item sends.
bool ChooseMenuCommand(HWND window, UINT id);
// Posts the WM_COMMAND of a click on the child button with this id to its dialog.
bool PressButton(HWND window, int id);
// Sets the text of a child control (an edit box) with WM_SETTEXT, which the system carries across
// processes.
bool SetControlText(HWND window, int id, const std::wstring& text);
// Posts BM_CLICK to the child button with this id.
bool ClickButton(HWND window, int id);
// Sends WM_SYSCOMMAND SC_CLOSE, as the close box does (posted).
bool CloseWindowLikeUser(HWND window);
// Posts WM_CLOSE.
bool PostCloseMessage(HWND window);

// A key with modifiers, parsed from names such as "ESCAPE", "RETURN", "F2", "A", "CTRL+A",
// "SHIFT+DELETE", "ALT+F4".
struct KeyChord {
    std::vector<WORD> modifiers;
    WORD key = 0;
};
bool ParseKeyChord(const std::wstring& text, KeyChord* chord);
// Posts WM_KEYDOWN and WM_KEYUP to the window that has the keyboard focus in the window's thread
// (or the window itself). Modifiers cannot be posted: a chord with modifiers fails.
bool PostKey(HWND window, const KeyChord& chord);
// Brings the window to the foreground and types the chord through SendInput, modifiers included.
bool TypeKey(HWND window, const KeyChord& chord);
// Posts one WM_CHAR per character to the focused window of the window's thread.
bool PostText(HWND window, const std::wstring& text);
// The window that has the keyboard focus in the thread that owns this window.
HWND FocusedWindowOf(HWND window);

// --- Lists and trees of another process ------------------------------------------------------------

struct ListItem {
    std::vector<std::wstring> texts;  // one per column (one in list and icon views)
    bool selected = false;
    bool focused = false;
};
// Every item of a list view, in index order; false when the list cannot be read.
bool ReadListItems(HWND list, std::vector<ListItem>* items);

struct TreeItem {
    int depth = 0;  // 0 for the roots
    std::wstring text;
    bool selected = false;
    bool expanded = false;
    HTREEITEM handle = nullptr;  // valid in the tree's own process too: item handles are plain values
};
// Every item of a tree view, depth first in display order (collapsed branches included).
bool ReadTreeItems(HWND tree, std::vector<TreeItem>* items);
// Selects the first item (depth first) with this text, as a click on it would.
bool SelectTreeItem(HWND tree, const std::wstring& text);

// --- Selecting list items --------------------------------------------------------------------------

// Makes the first item whose first column has this text the only selected item of a list view,
// and its focused item, as a click on it would.
bool SelectListItem(HWND list, const std::wstring& text);

// --- Screen ----------------------------------------------------------------------------------------

// The whole virtual screen as a 24-bit BMP file.
bool SaveScreenshot(const std::wstring& path);

// --- Screen positions and real mouse drags ---------------------------------------------------------
//
// With no window manager Wine places its windows on the X display exactly where Windows
// coordinates say, so a screen point found here is where the real pointer has to go.

// A window's (or control's) client area in screen coordinates.
bool ClientScreenRect(HWND window, RECT* rect);
// The index of the first list view item whose first column reads `text`, or -1.
int FindListItem(HWND list, const std::wstring& text);
// A list view item's icon and label (LVIR_SELECTBOUNDS), cut to the list's client area, in screen
// coordinates; the list is scrolled to show the item first. False when nothing of it shows.
bool ListItemScreenRect(HWND list, int index, RECT* rect);
// The first tree view item (depth first) with this text, or null.
HTREEITEM FindTreeItem(HWND tree, const std::wstring& text);
// A tree view item's text, cut to the tree's client area, in screen coordinates; the tree first
// makes the item visible (expanding its parents, as a user would). False when nothing of it shows.
bool TreeItemScreenRect(HWND tree, HTREEITEM item, RECT* rect);
POINT CentreOf(const RECT& rect);

// Runs a command line on the Unix host with /bin/sh and waits (pumping this thread's messages)
// for its end. Wine starts Unix programs but gives no handle to wait on, so the command's end
// and exit status come back through a file under /tmp. False on a timeout or a failed start.
bool RunHostCommand(const std::string& command, DWORD timeoutMs, int* status, std::wstring* error = nullptr);
// Drags with the real pointer on the X display (xdotool), as a user does: to `from`, left button
// down, past the drag threshold towards `to`, in steps to `to`, a hover there, release. The pauses
// give the pressed window time to start its drag loop and OLE's loop time to call DragEnter and
// DragOver on the target under the pointer. Returns when the button is up again; the drop itself
// may still be running in the two programs. About 2 s.
bool MouseDrag(POINT from, POINT to, std::wstring* error = nullptr);
// Clicks the left button with the real pointer at a point, holding Ctrl down when asked (to add
// a list view item to the selection). Returns when the button is up again.
bool MouseClick(POINT at, bool withControl, std::wstring* error = nullptr);

// Presses keys with the real keyboard of the X display (xdotool key: "ctrl+c", "F2"), where the
// input focus is. Returns when they are up again.
bool PressKeysOnDisplay(const std::string& keys, std::wstring* error = nullptr);

// --- Text ------------------------------------------------------------------------------------------

std::string ToUtf8(const std::wstring& text);

}  // namespace e2e
