// The real main window, built by its own dialog procedure, shown at a known place with no
// remembered settings; the settings key is put back as it was afterwards.
//
// CTest runs the same cases at 96, 144 and 192 DPI, in Wine prefixes of those scales, on screens as
// much larger (Tests/CMakeLists.txt); TOVAREL_TEST_DPI names the scale. Sizes the program states at
// 96 DPI are expected at S(size).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "MainLayout.h"
#include "RegistryGuard.h"
#include "WindowHarness.h"
#include "iPhone.h"
#include "resource.h"

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        settings_.DeleteKey();
        OpenWindow();
    }
    void TearDown() override { CloseWindow(); }

    void OpenWindow()
    {
        window_ = CreateMainWindowForTest();
        ASSERT_NE(nullptr, window_);
        ASSERT_EQ(Dpi(), LayoutDpi()) << "the Wine prefix is not at the scale this run is for";
        // Away from the screen's edges, so that the mouse can reach past every side of it.
        SetWindowPos(window_, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(window_, SW_SHOWNORMAL);
        SetForegroundWindow(window_);
        PumpMessages(50);
    }
    void CloseWindow()
    {
        DestroyMainWindowForTest(window_);
        window_ = nullptr;
    }

    static int Dpi()
    {
        const char* dpi = std::getenv("TOVAREL_TEST_DPI");
        return dpi ? std::atoi(dpi) : 96;
    }
    static int S(int pixels) { return MulDiv(pixels, Dpi(), 96); }
    // A size in pixels of this scale as the settings store it.
    static int Stored(int pixels) { return MulDiv(pixels, 96, Dpi()); }
    // Sizes that went to the registry and came back may have lost part of a pixel on the way.
    static int Slack() { return Dpi() == 96 ? 0 : 2; }

    HWND Control(int id) const { return GetDlgItem(window_, id); }
    RECT Rect(int id) const { return ControlRectInParent(Control(id)); }
    int Width(int id) const { return Rect(id).right - Rect(id).left; }
    int Height(int id) const { return Rect(id).bottom - Rect(id).top; }
    RECT WindowRect() const
    {
        RECT rect = {};
        GetWindowRect(window_, &rect);
        return rect;
    }
    void ResizeBy(int dx, int dy)
    {
        RECT rect = WindowRect();
        SetWindowPos(window_, nullptr, 0, 0, rect.right - rect.left + dx, rect.bottom - rect.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages();
    }
    int PaneAreaWidth() const
    {
        int width = 0;
        int height = 0;
        GetPaneAreaSize(window_, &width, &height);
        return width;
    }
    int PaneAreaHeight() const
    {
        int width = 0;
        int height = 0;
        GetPaneAreaSize(window_, &width, &height);
        return height;
    }
    // The panes as the controls show them must match the sizes the layout keeps.
    void ExpectPanesMatchSizes() const
    {
        EXPECT_EQ(SplitterDeviceListWidth, Width(IDC_DEVICE_LIST));
        EXPECT_EQ(SplitterDeviceListWidth, Width(IDC_LOCATIONS_LIST));
        EXPECT_EQ(SplitterDeviceListHeight, Height(IDC_DEVICE_LIST));
        EXPECT_EQ(SplitterLocationsListHeight, Height(IDC_LOCATIONS_LIST));
        EXPECT_EQ(SplitterTreeWidth, Width(IDC_FOLDER_TREE));
        EXPECT_EQ(SplitterListWidth, Width(IDC_FILE_LIST));
        EXPECT_EQ(Rect(IDC_DEVICE_LIST).right + S(4), Rect(IDC_FOLDER_TREE).left);
        EXPECT_EQ(Rect(IDC_FOLDER_TREE).right + S(4), Rect(IDC_FILE_LIST).left);
        EXPECT_EQ(Rect(IDC_DEVICE_LIST).bottom + S(4), Rect(IDC_LOCATIONS_LIST).top);
        ExpectControlsInsideAndApart();
    }
    // Every control lies inside the client area, and none overlaps another but the splitter, which
    // lies beneath the panes.
    void ExpectControlsInsideAndApart() const
    {
        RECT client = {};
        GetClientRect(window_, &client);
        HWND splitter = Control(IDC_SPLITTER);
        for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT rect = ControlRectInParent(child);
            RECT common = {};
            IntersectRect(&common, &rect, &client);
            EXPECT_TRUE(EqualRect(&common, &rect)) << GetDlgCtrlID(child);
            for (HWND other = GetWindow(child, GW_HWNDNEXT); other && child != splitter;
                 other = GetWindow(other, GW_HWNDNEXT)) {
                RECT otherRect = ControlRectInParent(other);
                EXPECT_TRUE(other == splitter || !IntersectRect(&common, &rect, &otherRect))
                    << GetDlgCtrlID(child) << " and " << GetDlgCtrlID(other);
            }
        }
    }

    RegistryKeyGuard settings_{HKEY_CURRENT_USER, kSettingsKeyPath};
    HWND window_ = nullptr;
};
