#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <vector>

#include "CopyBusyDialog.h"
#include "CopyThread.h"
#include "MessageBoxWatch.h"
#include "SmallDialogs.h"
#include "TextUtil.h"
#include "TransferDialogs.h"
#include "WindowHarness.h"
#include "iPhone.h"
#include "resource.h"

namespace {

// --- Copy progress, with a stand-in for the copy thread ------------------------------------------

// What the stand-in saw; written by it, read by the test after the dialog has ended.
struct CopyRun {
    std::wstring writeText;  // what it writes into the text line while "copying"
    std::atomic<int> rangeLow{-1}, rangeHigh{-1}, startPosition{-1};
    std::atomic<int> startTextLength{-1};
    std::atomic<bool> sawDialog{false};
    std::atomic<bool> aliveAfterEnter{false};
    std::atomic<int> cancelAfterButton{0}, cancelAfterEscape{0};
    std::atomic<bool> aliveAfterCancel{false};
    std::atomic<bool> waitedForThread{false};
};

bool Responsive(HWND dialog)
{
    DWORD_PTR result = 0;
    return IsWindow(dialog) && g_copyDialog == dialog &&
           SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &result) != 0;
}

// Plays the copy thread: waits for the dialog, works its controls by sending, tries what a user
// can do, then sends the end notice, closes its handle and clears g_copyThread as its last step.
DWORD WINAPI PlayCopyThread(void* parameter)
{
    CopyRun* run = static_cast<CopyRun*>(parameter);
    DWORD start = GetTickCount();
    while (!g_copyDialog && GetTickCount() - start < 10000) Sleep(5);
    HWND dialog = g_copyDialog;
    if (dialog) {
        run->sawDialog = true;
        HWND bar = g_copyProgressBar;
        HWND text = g_copyStatusText;
        PBRANGE range = {};
        SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        run->rangeLow = range.iLow;
        run->rangeHigh = range.iHigh;
        run->startPosition = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
        run->startTextLength = GetWindowTextLengthW(text);
        SendMessageW(bar, PBM_SETPOS, 5000, 0);
        SetWindowTextW(text, run->writeText.c_str());

        // Enter, and a bare IDOK from anywhere else, look like the end notice but are not it.
        PostMessageW(dialog, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        Sleep(200);
        run->aliveAfterEnter = Responsive(dialog);

        g_copyCancel = 0;
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        Sleep(200);
        run->cancelAfterButton = g_copyCancel.load();
        g_copyCancel = 0;
        PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        Sleep(200);
        run->cancelAfterEscape = g_copyCancel.load();
        run->aliveAfterCancel = Responsive(dialog);

        PostCopyEndNotice();
        // The dialog must wait for the thread to be gone, however long its last steps take.
        Sleep(300);
        run->waitedForThread = IsWindow(dialog) && IsWindowVisible(dialog);
    }
    HANDLE self = g_copyThread;
    CloseHandle(self);
    g_copyThread = nullptr;
    return 0;
}

INT_PTR RunCopy(CopyRun* run)
{
    g_copyCancel = 0;
    HANDLE thread = CreateThread(nullptr, 0, PlayCopyThread, run, CREATE_SUSPENDED, nullptr);
    if (!thread) return -1;
    g_copyThread = thread;
    ResumeThread(thread);
    return DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_COPY_PROGRESS), nullptr, CopyProgressDialogProc, 0);
}

TEST(CopyProgressDialog, OnlyTheCopyThreadsEndNoticeClosesIt)
{
    for (const wchar_t* file : {L"Documents/a.txt", L"Documents/b.txt"}) {
        CopyRun run;
        run.writeText = file;
        EXPECT_EQ(0, RunCopy(&run));
        EXPECT_EQ(nullptr, g_copyThread.load());
        EXPECT_EQ(nullptr, g_copyDialog.load());
        ASSERT_TRUE(run.sawDialog);
        // Fresh for every copy, whatever the one before left in it.
        EXPECT_EQ(0, run.rangeLow);
        EXPECT_EQ(10000, run.rangeHigh);
        EXPECT_EQ(0, run.startPosition);
        EXPECT_EQ(0, run.startTextLength);
        EXPECT_TRUE(run.aliveAfterEnter);
        EXPECT_EQ(1, run.cancelAfterButton);
        EXPECT_EQ(1, run.cancelAfterEscape);
        EXPECT_TRUE(run.aliveAfterCancel);
        EXPECT_TRUE(run.waitedForThread);
    }
    g_copyCancel = 0;
}

// Other threads read g_copyThread to tell the copy thread by its id: at its end the handle is
// cleared before it is closed, so that none of them finds a closed handle, or one that a new object
// got meanwhile. Every handle of the run stays taken, so that no value comes back.
struct HandleWatch {
    std::atomic<bool> stop{false};
    std::atomic<int> closedSeen{0};
};

DWORD WINAPI WatchCopyThreadHandle(void* parameter)
{
    HandleWatch& watch = *static_cast<HandleWatch*>(parameter);
    while (!watch.stop.load()) {
        HANDLE seen = g_copyThread.load();
        if (seen && WaitForSingleObject(seen, 0) == WAIT_FAILED && g_copyThread.load() == seen) ++watch.closedSeen;
    }
    return 0;
}

TEST(CopyProgressDialog, TheEndingThreadsHandleGoesBeforeItIsClosed)
{
    HandleWatch watch;
    HANDLE watcher = CreateThread(nullptr, 0, WatchCopyThreadHandle, &watch, 0, nullptr);
    ASSERT_NE(watcher, nullptr);
    std::vector<HANDLE> kept;
    for (int i = 0; i < 3000 && watch.closedSeen.load() == 0; ++i) {
        g_copyThread = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        EndCopyThread();
        kept.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    watch.stop = true;
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    for (HANDLE handle : kept) CloseHandle(handle);
    EXPECT_EQ(watch.closedSeen.load(), 0);
    EXPECT_EQ(g_copyThread.load(), nullptr);
}

// --- The copy thread's frame, with a stand-in main window -----------------------------------------

// What one copy thread did, in order: 'r' run, 'f' finish after a run, 'g' finish without one.
struct FrameRun {
    std::string steps;
    UINT answer = 0;  // what the work's run answers
    DWORD runThread = 0;
    bool threadSetWhileRunning = false;
    std::vector<UINT> posted;  // private messages the stand-in window got, but the dialog's request
};
FrameRun s_frame;

UINT RunFrameWork(void* context)
{
    auto* run = static_cast<FrameRun*>(context);
    run->steps += 'r';
    run->runThread = GetCurrentThreadId();
    run->threadSetWhileRunning = g_copyThread.load() != nullptr;
    return run->answer;
}

void FinishFrameWork(void* context, bool ran)
{
    static_cast<FrameRun*>(context)->steps += ran ? 'f' : 'g';
}

// Plays the main window: shows the copy dialog when asked, as the real one does, and keeps the rest.
LRESULT CALLBACK StandInMainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WMU_SHOW_COPY_PROGRESS) {
        DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_COPY_PROGRESS), window, CopyProgressDialogProc, 0);
        return 0;
    }
    if (message >= WM_APP && message < WM_APP + 0x100) s_frame.posted.push_back(message);
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateStandInMainWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = StandInMainWindowProc;
    windowClass.hInstance = g_instance;
    windowClass.lpszClassName = L"CopyFrameStandIn";
    RegisterClassW(&windowClass);
    return CreateWindowW(L"CopyFrameStandIn", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         g_instance, nullptr);
}

// The work runs on the copy thread once the dialog shows and its answer is posted; a window gone
// before the dialog could show runs nothing and only releases the work.
TEST(CopyThreadFrame, RunsTheWorkOnceTheDialogShowsThenReportsAndEnds)
{
    const struct Row {
        UINT answer;
        bool windowGone;
        std::string steps;
        std::vector<UINT> posted;
    } rows[] = {
        {WMU_COPY_ERROR, false, "rf", {WMU_COPY_ERROR}},
        {WMU_COPY_CANCELLED, false, "rf", {WMU_COPY_CANCELLED}},
        {0, false, "rf", {}},  // nothing to tell
        {WMU_COPY_ERROR, true, "g", {}},
    };
    for (const Row& row : rows) {
        HWND window = CreateStandInMainWindow();
        ASSERT_NE(nullptr, window);
        if (row.windowGone) DestroyWindow(window);
        g_mainWindow = window;
        s_frame = FrameRun();
        s_frame.answer = row.answer;
        g_copyCancel = 1;
        ASSERT_TRUE(StartCopyThread({RunFrameWork, FinishFrameWork, &s_frame}));
        EXPECT_EQ(0, g_copyCancel.load()) << "a new copy starts uncancelled";
        // The copy dialog runs inside the stand-in's handling and ends with the thread.
        EXPECT_TRUE(PumpUntil([] { return g_copyThread.load() == nullptr && !g_copyDialog.load(); }, 10000));
        PumpMessages(100);
        EXPECT_EQ(row.steps, s_frame.steps);
        EXPECT_EQ(row.posted, s_frame.posted);
        if (!row.windowGone) {
            EXPECT_NE(GetCurrentThreadId(), s_frame.runThread);
            EXPECT_TRUE(s_frame.threadSetWhileRunning);
        }
        g_mainWindow = nullptr;
        DestroyWindow(window);
    }
}

// --- Copy busy ------------------------------------------------------------------------------------

struct BusyRun {
    HWND dialog = nullptr;
    bool hasSystemMenu = true;
    bool endedByCancel = false;
    int ticks = 0;
} g_busyRun;

// Runs inside the dialog's modal loop: Cancel is pressed, which must end the wait for a drag-out
// target that may never end it; a dialog still there later is ended here and counted as a fault.
void CALLBACK DriveBusyDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = g_copyBusyDialog;
    if (!dialog) return;
    if (++g_busyRun.ticks == 1) {
        g_busyRun.dialog = dialog;
        g_busyRun.hasSystemMenu = (GetWindowLongW(dialog, GWL_STYLE) & WS_SYSMENU) != 0;
        PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        return;
    }
    if (g_busyRun.ticks < 8) return;
    KillTimer(nullptr, timer);
    EndDialog(dialog, 0);
}

TEST(CopyBusyDialog, CancelEndsTheOpenDragOutAndTheDialog)
{
    g_busyRun = BusyRun();
    g_dragSourceFolder = DupString(L"/Documents");
    UINT_PTR timer = SetTimer(nullptr, 0, 50, DriveBusyDialog);
    ASSERT_NE(0u, timer);
    EXPECT_EQ(0, DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_COPY_BUSY), nullptr, CopyBusyDialogProc, 0));
    KillTimer(nullptr, timer);
    ASSERT_NE(nullptr, g_busyRun.dialog);
    EXPECT_FALSE(g_busyRun.hasSystemMenu);
    EXPECT_LT(g_busyRun.ticks, 8) << "Cancel did not end the dialog";
    EXPECT_EQ(nullptr, g_dragSourceFolder);
    EXPECT_EQ(nullptr, g_copyBusyDialog.load());
}

// --- About ----------------------------------------------------------------------------------------

INT_PTR RunAbout()
{
    return DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT), nullptr, AboutDialogProc, 0);
}

TEST(AboutDialog, ClosesOnOkEnterEscapeAndExit)
{
    const MessageBoxWatch::Closer closers[] = {
        MessageBoxWatch::PressOk,
        [](HWND box) { PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0); },
        [](HWND box) { PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND box) { PostMessageW(box, WM_COMMAND, IDM_EXIT, 0); },
    };
    for (const auto& closer : closers) {
        MessageBoxWatch watch(L"About TovarelUSB", 1, closer);
        EXPECT_EQ(0, RunAbout());
        EXPECT_TRUE(watch.Wait(5000));
    }
}

TEST(AboutDialog, OtherCommandsLeaveItOpen)
{
    std::atomic<bool> stayed{false};
    MessageBoxWatch watch(L"About TovarelUSB", 1, [&](HWND box) {
        PostMessageW(box, WM_COMMAND, IDC_DELETE, 0);
        Sleep(200);
        stayed = IsWindow(box) && IsWindowVisible(box);
        PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(0, RunAbout());
    EXPECT_TRUE(watch.Wait(5000));
    EXPECT_TRUE(stayed);
    WatchedBox box = watch.Box();
    ASSERT_FALSE(box.statics.empty());
    EXPECT_EQ(L"TovarelUSB, version 2.5", box.statics[0]);
}

// --- The modeless lines ---------------------------------------------------------------------------

TEST(CalculatingSizeDialog, StartsEmptyAndShownAtOnce)
{
    HWND dialog = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_CALCULATING_SIZE), nullptr,
                                     CalculatingSizeDialogProc, 0);
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(0, GetWindowTextLengthW(GetDlgItem(dialog, IDC_CALCULATING_TEXT)));
    SetDlgItemTextW(dialog, IDC_CALCULATING_TEXT, L"Documents/a.txt");
    PumpMessages();
    DestroyWindow(dialog);
}

}  // namespace
