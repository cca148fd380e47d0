#include "MainWindowFixture.h"

#include "Settings.h"

namespace {

const wchar_t* const kValueNames[] = {
    L"WindowPosLeft",           L"WindowPosRight",    L"WindowPosTop",           L"WindowPosBottom",
    L"WindowMaximized",         L"SplitterDeviceListWidth", L"SplitterTreeWidth", L"SplitterListWidth",
    L"SplitterDeviceListHeight", L"SplitterLocationsListHeight", L"ListColumnWidth0", L"ListColumnWidth1",
};

struct Geometry {
    RECT window;
    int panes[5];
    int columns[3];
};

class Settings : public MainWindowTest {
protected:
    // A window that nothing restored, as the dialog manager and the template make it.
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Reopen();
        template_ = Current();
    }

    Geometry Current() const
    {
        Geometry geometry = {WindowRect(),
                             {SplitterDeviceListWidth, SplitterTreeWidth, SplitterListWidth, SplitterDeviceListHeight,
                              SplitterLocationsListHeight},
                             {ListView_GetColumnWidth(g_fileList, 0), ListView_GetColumnWidth(g_fileList, 1),
                              ListView_GetColumnWidth(g_fileList, 2)}};
        return geometry;
    }
    // The window as the next run builds it from what is stored now.
    void Reopen()
    {
        CloseWindow();
        window_ = CreateMainWindowForTest();
        ASSERT_NE(nullptr, window_);
        PumpMessages();
    }
    void WriteAll(const DWORD values[12])
    {
        for (int i = 0; i < 12; ++i) settings_.SetDword(kValueNames[i], values[i]);
    }
    void ExpectSame(const Geometry& expected, const Geometry& actual, int slack = 0)
    {
        EXPECT_TRUE(EqualRect(&expected.window, &actual.window));
        for (int i = 0; i < 5; ++i) EXPECT_NEAR(expected.panes[i], actual.panes[i], slack) << kValueNames[5 + i];
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(expected.columns[i], actual.columns[i], slack) << i;
    }
    // A full, valid set for a 700 by 500 window at (150, 120) with narrower columns (at 96 DPI).
    void WriteValidSet()
    {
        const DWORD values[12] = {150, 850, 120, 620, 0, 130, 200, 300, 150, 160, 180, 70};
        WriteAll(values);
    }

    Geometry template_ = {};
};

TEST_F(Settings, ExitWritesTheValuesThatTheNextRunRestores)
{
    // Sizes are stored at 96 DPI whatever the scale, so that any scale reads them back right; the
    // left and top edges are a place on the desktop, in its own pixels, and the right and bottom
    // edges lie the stored size from them.
    MoveWindow(window_, S(160), S(110), S(820), S(560), TRUE);
    ListView_SetColumnWidth(g_fileList, 0, S(180));
    ListView_SetColumnWidth(g_fileList, 1, S(66));
    ListView_SetColumnWidth(g_fileList, 2, S(123));
    PumpMessages();
    Geometry saved = Current();
    SendMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);

    DWORD stored[12] = {};
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(ReadSettingsDword(kValueNames[i], &stored[i])) << kValueNames[i];
    EXPECT_EQ(static_cast<DWORD>(S(160)), stored[0]);
    EXPECT_EQ(static_cast<DWORD>(S(160) + 820), stored[1]);
    EXPECT_EQ(static_cast<DWORD>(S(110)), stored[2]);
    EXPECT_EQ(static_cast<DWORD>(S(110) + 560), stored[3]);
    EXPECT_EQ(0u, stored[4]);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Stored(saved.panes[i]), static_cast<int>(stored[5 + i])) << kValueNames[5 + i];
    EXPECT_EQ(180u, stored[10]);
    EXPECT_EQ(66u, stored[11]);
    DWORD dateWidth = 0;
    ASSERT_TRUE(ReadSettingsDword(L"ListColumnWidth2", &dateWidth));
    EXPECT_EQ(123u, dateWidth);

    Reopen();
    ExpectSame(saved, Current(), Slack());
}

TEST_F(Settings, AMaximisedWindowSavesItsNormalRectangleAndComesBackMaximised)
{
    MoveWindow(window_, S(140), S(100), S(700), S(480), TRUE);
    ShowWindow(window_, SW_MAXIMIZE);
    PumpMessages();
    ASSERT_TRUE(PumpUntil([&] { return IsZoomed(window_) != FALSE; }));
    SendMessageW(window_, WM_COMMAND, IDM_EXIT, 0);
    DWORD maximised = 0;
    DWORD left = 0;
    DWORD right = 0;
    ASSERT_TRUE(ReadSettingsDword(L"WindowMaximized", &maximised));
    ASSERT_TRUE(ReadSettingsDword(L"WindowPosLeft", &left));
    ASSERT_TRUE(ReadSettingsDword(L"WindowPosRight", &right));
    EXPECT_EQ(1u, maximised);
    EXPECT_EQ(static_cast<DWORD>(S(140)), left);
    EXPECT_EQ(static_cast<DWORD>(S(140) + 700), right);

    settings_.SetDword(L"WindowMaximized", 5);
    Reopen();
    EXPECT_TRUE(IsZoomed(window_));
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    ASSERT_TRUE(GetWindowPlacement(window_, &placement));
    EXPECT_EQ(S(140), placement.rcNormalPosition.left);
    EXPECT_EQ(S(140) + S(700), placement.rcNormalPosition.right);
}

TEST_F(Settings, RestoredPaneSizesAreFittedToThePaneArea)
{
    WriteValidSet();
    Reopen();
    RECT rect = WindowRect();
    EXPECT_EQ(150, rect.left);
    EXPECT_EQ(120, rect.top);
    EXPECT_EQ(S(700), rect.right - rect.left);
    EXPECT_EQ(S(500), rect.bottom - rect.top);
    EXPECT_EQ(S(180), ListView_GetColumnWidth(g_fileList, 0));
    EXPECT_EQ(S(70), ListView_GetColumnWidth(g_fileList, 1));
    EXPECT_EQ(PaneAreaWidth(), SplitterDeviceListWidth + S(8) + SplitterTreeWidth + SplitterListWidth);
    EXPECT_EQ(PaneAreaHeight(), SplitterDeviceListHeight + S(4) + SplitterLocationsListHeight);
    ExpectPanesMatchSizes();
}

TEST_F(Settings, OneMissingOrMistypedValueMeansNoneIsUsed)
{
    WriteValidSet();
    settings_.DeleteValue(L"ListColumnWidth1");
    Reopen();
    ExpectSame(template_, Current());

    WriteValidSet();
    const wchar_t text[] = L"200";
    settings_.SetBytes(L"SplitterTreeWidth", REG_SZ, text, sizeof(text));
    Reopen();
    ExpectSame(template_, Current());

    WriteValidSet();
    ULONGLONG wide = 200;
    settings_.SetBytes(L"WindowPosTop", REG_QWORD, &wide, sizeof(wide));
    Reopen();
    ExpectSame(template_, Current());

    WriteValidSet();
    BYTE shortValue[2] = {200, 0};
    settings_.SetBytes(L"WindowMaximized", REG_DWORD, shortValue, sizeof(shortValue));
    Reopen();
    ExpectSame(template_, Current());
}

// The date column's width came after the twelve: older settings lack it, and then the others are
// used and the column keeps its default; it never brings in values of a set that is not whole.
TEST_F(Settings, TheDateColumnWidthIsUsedWhenPresentAndNeverNeeded)
{
    WriteValidSet();
    Reopen();
    EXPECT_EQ(S(180), ListView_GetColumnWidth(g_fileList, 0));
    EXPECT_EQ(template_.columns[2], ListView_GetColumnWidth(g_fileList, 2));

    settings_.SetDword(L"ListColumnWidth2", 0xFFFF0000 | 95);
    Reopen();
    EXPECT_EQ(S(95), ListView_GetColumnWidth(g_fileList, 2));

    const wchar_t text[] = L"95";
    settings_.SetBytes(L"ListColumnWidth2", REG_SZ, text, sizeof(text));
    Reopen();
    EXPECT_EQ(S(180), ListView_GetColumnWidth(g_fileList, 0));
    EXPECT_EQ(template_.columns[2], ListView_GetColumnWidth(g_fileList, 2));

    settings_.SetDword(L"ListColumnWidth2", 95);
    settings_.DeleteValue(L"ListColumnWidth1");
    Reopen();
    ExpectSame(template_, Current());
}

TEST_F(Settings, TooSmallRectanglesAreWidenedFromTheirLeftAndTop)
{
    const DWORD values[12] = {300, 350, 200, 180, 0, 130, 200, 300, 150, 160, 180, 70};
    WriteAll(values);
    Reopen();
    RECT rect = WindowRect();
    EXPECT_EQ(300, rect.left);
    EXPECT_EQ(200, rect.top);
    EXPECT_EQ(S(450), rect.right - rect.left);
    EXPECT_EQ(S(370), rect.bottom - rect.top);
    EXPECT_FALSE(IsZoomed(window_));
    // Signed: a right edge stored as a negative number is to the left of any positive left edge.
    const DWORD negative[12] = {100, static_cast<DWORD>(-50), 100, 600, 0, 130, 200, 300, 150, 160, 180, 70};
    WriteAll(negative);
    Reopen();
    rect = WindowRect();
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(S(450), rect.right - rect.left);
    EXPECT_EQ(S(500), rect.bottom - rect.top);
}

TEST_F(Settings, ColumnWidthsUseTheLowSixteenBits)
{
    WriteValidSet();
    settings_.SetDword(L"ListColumnWidth0", 0x00050000 | 150);
    settings_.SetDword(L"ListColumnWidth1", 0xFFFF0000 | 90);
    Reopen();
    EXPECT_EQ(S(150), ListView_GetColumnWidth(g_fileList, 0));
    EXPECT_EQ(S(90), ListView_GetColumnWidth(g_fileList, 1));
}

TEST_F(Settings, ARectangleOnNoMonitorIsBroughtOntoTheNearestOne)
{
    const DWORD values[12] = {static_cast<DWORD>(-5000), static_cast<DWORD>(-4300), static_cast<DWORD>(-4000),
                              static_cast<DWORD>(-3500), 0, 130, 200, 300, 150, 160, 180, 70};
    WriteAll(values);
    Reopen();
    RECT rect = WindowRect();
    EXPECT_EQ(S(700), rect.right - rect.left);
    EXPECT_EQ(S(500), rect.bottom - rect.top);
    HMONITOR monitor = MonitorFromWindow(window_, MONITOR_DEFAULTTONULL);
    ASSERT_NE(nullptr, monitor);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetMonitorInfoW(monitor, &info));
    RECT inside = {};
    IntersectRect(&inside, &rect, &info.rcWork);
    EXPECT_TRUE(EqualRect(&inside, &rect));

    // Partly visible is reachable: left where it was.
    const DWORD partly[12] = {static_cast<DWORD>(-300), 400, 100, 600, 0, 130, 200, 300, 150, 160, 180, 70};
    WriteAll(partly);
    Reopen();
    EXPECT_EQ(-300, WindowRect().left);
}

// A size stored at a smaller scale, or on a larger monitor, can be larger than the work area: the
// window is made to fit it, and the controls are laid out in the window it really is.
TEST_F(Settings, AWindowLargerThanTheWorkAreaIsFittedAndLaidOutInIt)
{
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &info));
    const RECT work = info.rcWork;
    const LONG left = work.left + 40;
    const LONG top = work.top + 30;
    const LONG width = Stored(work.right - work.left) + 75;
    const LONG height = Stored(work.bottom - work.top) + 60;
    const DWORD values[12] = {static_cast<DWORD>(left), static_cast<DWORD>(left + width), static_cast<DWORD>(top),
                              static_cast<DWORD>(top + height), 0, 130, 200, 300, 150, 160, 180, 70};
    WriteAll(values);
    Reopen();
    RECT rect = WindowRect();
    RECT inside = {};
    IntersectRect(&inside, &rect, &work);
    EXPECT_TRUE(EqualRect(&inside, &rect));
    ExpectPanesMatchSizes();
}

TEST_F(Settings, NothingIsSavedWithoutAStoredFileList)
{
    HWND fileList = g_fileList;
    g_fileList = nullptr;
    SaveSettings(window_);
    g_fileList = fileList;
    DWORD value = 0;
    EXPECT_FALSE(ReadSettingsDword(L"WindowPosLeft", &value));
}

}  // namespace
