// Watches this process for a message box or dialog with a given title, records what it says and
// closes it, on a thread of its own, so that a test can drive code that blocks in a modal box.
//
//   MessageBoxWatch watch(L"Fatal Error");           // starts watching at once
//   BindDeviceLibrary();                              // shows the box; the watcher closes it
//   ASSERT_TRUE(watch.Wait(10000));                   // the box was seen (and closed) in time
//   EXPECT_EQ(watch.Text(), L"iTunes is not installed");
//
// A box is a visible top-level window of this process whose title equals the watched title (any
// title when the title is null). By default the watcher presses OK in it (posts WM_COMMAND IDOK as
// the button would), or posts WM_CLOSE when the window has no OK button; pass a closer to do
// something else. Boxes already open when the watcher starts count too. The watcher stops after
// `count` boxes, or when destroyed; it never closes the same window twice. The closer runs on the
// watcher's thread; a box counts as seen once it is gone (or 5 seconds after the closer ran).
// Texts are read without sending messages, so a busy owner thread never blocks the watcher.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <atomic>
#include <vector>

struct WatchedBox {
    std::wstring title;
    std::wstring text;                  // a message box's text, else the static texts joined by "\n"
    std::vector<std::wstring> statics;  // every visible static text control, in child order (icons skipped)
    std::vector<int> buttons;           // ids of the visible buttons, in child order
    HICON icon = nullptr;               // the icon shown, if any: compare with LoadIconW(nullptr, IDI_...)
    HWND owner = nullptr;               // GetWindow(box, GW_OWNER) when it was seen
    DWORD thread = 0;                   // the thread that runs the box
};

class MessageBoxWatch {
public:
    using Closer = std::function<void(HWND box)>;

    // Windows in `ignore` (the main window, whose title may equal a box's) are never taken for a box.
    explicit MessageBoxWatch(const wchar_t* title, int count = 1, Closer closer = nullptr,
                             std::vector<HWND> ignore = {});
    ~MessageBoxWatch();
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    // Waits until `count` boxes have been seen and closed; false on time-out. Pumps this thread's
    // messages while waiting, so it may be called on a thread that owns windows.
    bool Wait(DWORD timeoutMs);
    // Waits a while and tells whether no box at all appeared in that time.
    bool NoneWithin(DWORD ms);

    size_t Seen() const;
    WatchedBox Box(size_t index = 0) const;
    std::wstring Text(size_t index = 0) const { return Box(index).text; }
    std::wstring Title(size_t index = 0) const { return Box(index).title; }

    // The default closer: press OK, or ask the window to close when it has no OK button.
    static void PressOk(HWND box);
    // A closer for a box that must never appear, such as the fatal report, which would end the
    // process with status 0 as if all went well: says what the box says and ends the test program
    // at once with status 1.
    static void FailTestProgram(HWND box);
    // Reads a box as the watcher does (useful to inspect a window found by other means).
    static WatchedBox Read(HWND box);

private:
    void Run();
    HWND FindBox();

    std::wstring m_title;
    bool m_anyTitle;
    int m_count;
    Closer m_closer;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::vector<WatchedBox> m_boxes;
    std::vector<HWND> m_closed;
    std::thread m_thread;
};
