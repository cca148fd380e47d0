// The sizes of the four panes and the rules that keep them in the pane area.
#pragma once

// Pane sizes in client pixels, shared by the layout, the splitter and the settings. Like every
// measure of the layout, they are pixels at the window's DPI.
extern int SplitterDeviceListWidth;
extern int SplitterDeviceListHeight;
extern int SplitterLocationsListHeight;
extern int SplitterTreeWidth;
extern int SplitterListWidth;

// Scales the pane sizes so that they fill a pane area of this size with bands of `band` pixels
// between them, each keeping its share.
void FitPanesToArea(int width, int height, int band);
// Holds each pane at `least` pixels or more as far as the area allows.
void EnforceMinimumPanes(int width, int height, int band, int least);
