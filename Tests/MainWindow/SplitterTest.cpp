#include "MainWindowFixture.h"

namespace {

// Drags with the real mouse: the band under the pointer gets the button press, the captured
// splitter gets every move and the release, wherever the pointer is.
class SplitterDrag : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        splitter_ = Control(IDC_SPLITTER);
        ASSERT_NE(nullptr, splitter_);
        area_ = ClientRectOnScreen(splitter_);
    }
    void TearDown() override
    {
        ReleaseLeftButton();
        MainWindowTest::TearDown();
    }

    // Screen points in the middle of each band.
    POINT TreeListBand(int dx = 2) const
    {
        return {area_.left + SplitterDeviceListWidth + SplitterTreeWidth + S(4) + dx, area_.top + 60};
    }
    POINT DeviceTreeBand(int dx = 2) const { return {area_.left + SplitterDeviceListWidth + dx, area_.top + 60}; }
    POINT DeviceLocationsBand(int dy = 2) const
    {
        return {area_.left + 20, area_.top + SplitterDeviceListHeight + dy};
    }

    void Press(POINT point)
    {
        ASSERT_TRUE(MoveMouseTo(point));
        PressLeftButton();
        ASSERT_EQ(splitter_, GetCapture());
    }
    void MoveTo(POINT point) { ASSERT_TRUE(MoveMouseTo(point)); }
    void MoveBy(POINT from, int dx, int dy) { MoveTo({from.x + dx, from.y + dy}); }
    int ScreenRight() const { return GetSystemMetrics(SM_CXSCREEN) - 1; }
    int ScreenBottom() const { return GetSystemMetrics(SM_CYSCREEN) - 1; }

    HWND splitter_ = nullptr;
    RECT area_ = {};
};

TEST_F(SplitterDrag, CursorShowsTheDirectionOfEachBand)
{
    HCURSOR leftRight = LoadCursorW(nullptr, IDC_SIZEWE);
    HCURSOR upDown = LoadCursorW(nullptr, IDC_SIZENS);
    for (int dx = 0; dx < S(4); ++dx) {
        ASSERT_TRUE(MoveMouseTo(TreeListBand(dx)));
        EXPECT_EQ(leftRight, GetCursor()) << dx;
        ASSERT_TRUE(MoveMouseTo(DeviceTreeBand(dx)));
        EXPECT_EQ(leftRight, GetCursor()) << dx;
    }
    ASSERT_TRUE(MoveMouseTo(DeviceLocationsBand()));
    EXPECT_EQ(upDown, GetCursor());
    // Straight from one band to another: the shape follows at once.
    ASSERT_TRUE(MoveMouseTo(TreeListBand()));
    EXPECT_EQ(leftRight, GetCursor());
    ASSERT_TRUE(MoveMouseTo(DeviceLocationsBand(3)));
    EXPECT_EQ(upDown, GetCursor());
    RECT fileList = ClientRectOnScreen(g_fileList);
    ASSERT_TRUE(MoveMouseTo({fileList.left + 40, fileList.top + 60}));
    EXPECT_NE(leftRight, GetCursor());
    EXPECT_NE(upDown, GetCursor());
}

TEST_F(SplitterDrag, TreeListBandFollowsTheGrabPointAndStopsEachSideAtOneHundred)
{
    int width = PaneAreaWidth();
    int deviceWidth = SplitterDeviceListWidth;
    int treeWidth = SplitterTreeWidth;
    POINT grab = TreeListBand(3);
    Press(grab);
    MoveBy(grab, 25, 0);
    EXPECT_EQ(treeWidth + 25, SplitterTreeWidth);
    EXPECT_EQ(width - deviceWidth - S(8) - SplitterTreeWidth, SplitterListWidth);
    ExpectPanesMatchSizes();

    MoveTo({0, grab.y});
    EXPECT_EQ(S(100), SplitterTreeWidth);
    EXPECT_EQ(width - deviceWidth - S(108), SplitterListWidth);
    EXPECT_EQ(deviceWidth, SplitterDeviceListWidth);
    ExpectPanesMatchSizes();

    MoveTo({ScreenRight(), grab.y});
    EXPECT_EQ(S(100), SplitterListWidth);
    EXPECT_EQ(width - deviceWidth - S(108), SplitterTreeWidth);
    ExpectPanesMatchSizes();
    ReleaseLeftButton();
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(SplitterDrag, DeviceTreeBandKeepsTheFileListInPlace)
{
    int width = PaneAreaWidth();
    int listWidth = SplitterListWidth;
    RECT fileList = Rect(IDC_FILE_LIST);
    Press(DeviceTreeBand());
    MoveTo({0, DeviceTreeBand().y});
    EXPECT_EQ(S(100), SplitterDeviceListWidth);
    EXPECT_EQ(width - S(108) - listWidth, SplitterTreeWidth);
    EXPECT_EQ(listWidth, SplitterListWidth);
    ExpectPanesMatchSizes();
    RECT afterLeft = Rect(IDC_FILE_LIST);
    EXPECT_TRUE(EqualRect(&fileList, &afterLeft));

    MoveTo({ScreenRight(), DeviceTreeBand().y});
    EXPECT_EQ(S(100), SplitterTreeWidth);
    EXPECT_EQ(width - S(108) - listWidth, SplitterDeviceListWidth);
    EXPECT_EQ(listWidth, SplitterListWidth);
    ExpectPanesMatchSizes();
    RECT afterRight = Rect(IDC_FILE_LIST);
    EXPECT_TRUE(EqualRect(&fileList, &afterRight));
}

TEST_F(SplitterDrag, DeviceLocationsBandStopsBothListsAtOneHundred)
{
    int height = PaneAreaHeight();
    int deviceHeight = SplitterDeviceListHeight;
    POINT grab = DeviceLocationsBand(1);
    Press(grab);
    MoveBy(grab, 0, 30);
    EXPECT_EQ(deviceHeight + 30, SplitterDeviceListHeight);
    EXPECT_EQ(height - S(4) - SplitterDeviceListHeight, SplitterLocationsListHeight);

    MoveTo({grab.x, ScreenBottom()});
    EXPECT_EQ(S(100), SplitterLocationsListHeight);
    EXPECT_EQ(height - S(104), SplitterDeviceListHeight);
    ExpectPanesMatchSizes();

    MoveTo({grab.x, 0});
    EXPECT_EQ(S(100), SplitterDeviceListHeight);
    EXPECT_EQ(height - S(104), SplitterLocationsListHeight);
    ExpectPanesMatchSizes();
}

TEST_F(SplitterDrag, ReleasingOutsideTheWindowEndsTheDrag)
{
    POINT grab = TreeListBand();
    Press(grab);
    MoveTo({ScreenRight(), ScreenBottom()});
    ReleaseLeftButton();
    EXPECT_EQ(nullptr, GetCapture());
    int treeWidth = SplitterTreeWidth;
    // Back over the band with the button up: nothing follows the mouse any more.
    MoveTo(TreeListBand());
    MoveBy(TreeListBand(), -40, 0);
    EXPECT_EQ(treeWidth, SplitterTreeWidth);
}

TEST_F(SplitterDrag, LosingTheCaptureEndsTheDrag)
{
    POINT grab = TreeListBand(1);
    Press(grab);
    int treeWidth = SplitterTreeWidth;
    // Another window takes the mouse (a message box would); the release never reaches the splitter.
    SetCapture(window_);
    ReleaseCapture();
    // A plain move over the band, button up, must not resize anything.
    MoveTo(TreeListBand(3));
    EXPECT_EQ(treeWidth, SplitterTreeWidth);
}

TEST_F(SplitterDrag, APressOffTheBandsStartsNoDrag)
{
    int sizes[] = {SplitterDeviceListWidth, SplitterTreeWidth, SplitterListWidth, SplitterDeviceListHeight};
    // The few pixels of the splitter the panes leave open outside the bands: under the device column's
    // band row but to the right of the device column is the tree; so ask the splitter directly.
    POINT off = {area_.left + SplitterDeviceListWidth + SplitterTreeWidth + 30, area_.top + 10};
    ASSERT_TRUE(MoveMouseTo(off));
    SendMessageW(splitter_, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(nullptr, GetCapture());
    MoveBy(off, -50, 0);
    SendMessageW(splitter_, WM_MOUSEMOVE, MK_LBUTTON, 0);
    int after[] = {SplitterDeviceListWidth, SplitterTreeWidth, SplitterListWidth, SplitterDeviceListHeight};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sizes[i], after[i]) << i;
}

TEST_F(SplitterDrag, DraggedSizesAreTheOnesSavedOnExit)
{
    POINT grab = TreeListBand();
    Press(grab);
    MoveBy(grab, -40, 0);
    ReleaseLeftButton();
    POINT band = DeviceLocationsBand();
    Press(band);
    MoveBy(band, 0, 25);
    ReleaseLeftButton();

    SendMessageW(window_, WM_COMMAND, IDM_EXIT, 0);
    const struct {
        const wchar_t* name;
        int expected;
    } values[] = {
        {L"SplitterDeviceListWidth", SplitterDeviceListWidth},
        {L"SplitterTreeWidth", SplitterTreeWidth},
        {L"SplitterListWidth", SplitterListWidth},
        {L"SplitterDeviceListHeight", SplitterDeviceListHeight},
        {L"SplitterLocationsListHeight", SplitterLocationsListHeight},
    };
    for (const auto& value : values) {
        DWORD stored = 0;
        ASSERT_TRUE(ReadSettingsDword(value.name, &stored)) << value.name;
        EXPECT_EQ(Stored(value.expected), static_cast<int>(stored)) << value.name;
    }
}

}  // namespace
