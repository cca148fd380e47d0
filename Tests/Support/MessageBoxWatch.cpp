#include "MessageBoxWatch.h"

#include <cstdio>

namespace {

// Read without sending a message: the thread that owns the window may be busy or blocked.
std::wstring WindowText(HWND window)
{
    wchar_t text[4096] = {};
    int copied = InternalGetWindowText(window, text, 4096);
    return std::wstring(text, static_cast<size_t>(copied > 0 ? copied : 0));
}

std::wstring ClassName(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// Both Windows and Wine give a message box's text control the id 0xFFFF.
const int kMessageBoxTextId = 0xFFFF;

struct FindState {
    MessageBoxWatch* watch;
    const std::wstring* title;
    bool anyTitle;
    const std::vector<HWND>* closed;
    HWND found;
};

BOOL CALLBACK FindOwnBox(HWND window, LPARAM param)
{
    FindState* state = reinterpret_cast<FindState*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    if (!state->anyTitle && WindowText(window) != *state->title) return TRUE;
    for (HWND done : *state->closed) {
        if (done == window) return TRUE;
    }
    state->found = window;
    return FALSE;
}

// Waiting threads may own windows (the box's owner among them): keep their messages flowing.
bool PumpWhileWaiting(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

}  // namespace

MessageBoxWatch::MessageBoxWatch(const wchar_t* title, int count, Closer closer, std::vector<HWND> ignore)
    : m_title(title ? title : L""),
      m_anyTitle(title == nullptr),
      m_count(count),
      m_closer(std::move(closer)),
      m_closed(std::move(ignore))
{
    if (!m_closer) m_closer = PressOk;
    m_thread = std::thread([this] { Run(); });
}

MessageBoxWatch::~MessageBoxWatch()
{
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

WatchedBox MessageBoxWatch::Read(HWND box)
{
    WatchedBox seen;
    seen.title = WindowText(box);
    seen.owner = GetWindow(box, GW_OWNER);
    seen.thread = GetWindowThreadProcessId(box, nullptr);
    std::wstring messageText;
    bool hasMessageText = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::wstring className = ClassName(child);
        LONG style = GetWindowLongW(child, GWL_STYLE);
        bool visible = (style & WS_VISIBLE) != 0;
        if (_wcsicmp(className.c_str(), L"Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                HICON icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
                if (icon) seen.icon = icon;
                continue;
            }
            if (GetDlgCtrlID(child) == kMessageBoxTextId) {
                messageText = WindowText(child);
                hasMessageText = true;
            }
            if (visible) seen.statics.push_back(WindowText(child));
        } else if (_wcsicmp(className.c_str(), L"Button") == 0) {
            if (visible) seen.buttons.push_back(GetDlgCtrlID(child));
        }
    }
    if (hasMessageText) {
        seen.text = messageText;
    } else {
        for (size_t i = 0; i < seen.statics.size(); ++i) {
            if (i) seen.text += L"\n";
            seen.text += seen.statics[i];
        }
    }
    return seen;
}

void MessageBoxWatch::PressOk(HWND box)
{
    HWND ok = GetDlgItem(box, IDOK);
    if (ok) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    } else {
        PostMessageW(box, WM_CLOSE, 0, 0);
    }
}

void MessageBoxWatch::FailTestProgram(HWND box)
{
    WatchedBox seen = Read(box);
    fwprintf(stderr, L"FAILED: a box appeared that must not: \"%ls\": %ls\n", seen.title.c_str(), seen.text.c_str());
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 1);
}

HWND MessageBoxWatch::FindBox()
{
    std::lock_guard<std::mutex> hold(m_lock);
    FindState state{this, &m_title, m_anyTitle, &m_closed, nullptr};
    EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

void MessageBoxWatch::Run()
{
    while (!m_stop) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (static_cast<int>(m_boxes.size()) >= m_count) return;
        }
        HWND box = FindBox();
        if (!box) {
            Sleep(20);
            continue;
        }
        // Let the box finish its own set-up (text, icon, buttons) before it is read.
        Sleep(50);
        WatchedBox seen = Read(box);
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_closed.push_back(box);
        }
        m_closer(box);
        // Counted only once the box is gone, so that Wait means "seen and closed".
        for (int i = 0; i < 250 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(20);
        std::lock_guard<std::mutex> hold(m_lock);
        m_boxes.push_back(seen);
    }
}

bool MessageBoxWatch::Wait(DWORD timeoutMs)
{
    return PumpWhileWaiting([this] { return static_cast<int>(Seen()) >= m_count; }, timeoutMs);
}

bool MessageBoxWatch::NoneWithin(DWORD ms)
{
    PumpWhileWaiting([] { return false; }, ms);
    return Seen() == 0;
}

size_t MessageBoxWatch::Seen() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_boxes.size();
}

WatchedBox MessageBoxWatch::Box(size_t index) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return index < m_boxes.size() ? m_boxes[index] : WatchedBox{};
}
