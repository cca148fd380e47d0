// The real main window, built by its own dialog procedure, shown at a known place with no
// remembered settings; the settings key is put back as it was afterwards.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

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
        EXPECT_EQ(Rect(IDC_DEVICE_LIST).right + 4, Rect(IDC_FOLDER_TREE).left);
        EXPECT_EQ(Rect(IDC_FOLDER_TREE).right + 4, Rect(IDC_FILE_LIST).left);
        EXPECT_EQ(Rect(IDC_DEVICE_LIST).bottom + 4, Rect(IDC_LOCATIONS_LIST).top);
    }

    RegistryKeyGuard settings_{HKEY_CURRENT_USER, kSettingsKeyPath};
    HWND window_ = nullptr;
};
