#include "PaneSizes.h"

int SplitterDeviceListWidth;
int SplitterDeviceListHeight;
int SplitterLocationsListHeight;
int SplitterTreeWidth;
int SplitterListWidth;

namespace {

// The product of a pane size and the rescaling ratio, cut toward zero. Sizes that come from the
// registry may be anything; out-of-range products are pinned to the area so the cut stays defined.
int ScalePane(int size, float ratio, int limit)
{
    float scaled = static_cast<float>(size) * ratio;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= static_cast<float>(limit)) return limit;
    return static_cast<int>(scaled);
}

}  // namespace

void FitPanesToArea(int width, int height, int band)
{
    long long widthSum = static_cast<long long>(SplitterDeviceListWidth) + band + SplitterTreeWidth + band +
                         SplitterListWidth;
    if (width != widthSum) {
        float ratio = widthSum > 0 ? static_cast<float>(width) / static_cast<float>(widthSum) : 0.0f;
        SplitterDeviceListWidth = ScalePane(SplitterDeviceListWidth, ratio, width);
        SplitterTreeWidth = ScalePane(SplitterTreeWidth, ratio, width);
        SplitterListWidth = width - SplitterDeviceListWidth - band - SplitterTreeWidth - band;
    }
    long long heightSum = static_cast<long long>(SplitterDeviceListHeight) + band + SplitterLocationsListHeight;
    if (height != heightSum) {
        float ratio = heightSum > 0 ? static_cast<float>(height) / static_cast<float>(heightSum) : 0.0f;
        SplitterDeviceListHeight = ScalePane(SplitterDeviceListHeight, ratio, height);
        SplitterLocationsListHeight = height - SplitterDeviceListHeight - band;
    }
}

// The order decides which pane gives way when the area is too small for all of them.
void EnforceMinimumPanes(int width, int height, int band, int least)
{
    if (SplitterListWidth < least) {
        SplitterListWidth = least;
        SplitterTreeWidth = width - SplitterDeviceListWidth - (least + 2 * band);
    }
    if (SplitterTreeWidth < least) {
        SplitterTreeWidth = least;
        SplitterListWidth = width - SplitterDeviceListWidth - (least + 2 * band);
    }
    if (SplitterDeviceListWidth < least) {
        SplitterDeviceListWidth = least;
        SplitterListWidth = width - SplitterTreeWidth - (least + 2 * band);
    }
    if (SplitterLocationsListHeight < least) {
        SplitterLocationsListHeight = least;
        SplitterDeviceListHeight = height - (least + band);
    }
    if (SplitterDeviceListHeight < least) {
        SplitterDeviceListHeight = least;
        SplitterLocationsListHeight = height - (least + band);
    }
}
