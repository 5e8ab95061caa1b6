// The pixel order every view and every test relies on, pinned by numbers.
#include "core/common/SliceGeometry.h"

#include <gtest/gtest.h>

#include <vector>

using namespace lumidra;

namespace {

TEST(SliceGeometry, GridIndexRunsAlongRowsThenRowsThenSlices)
{
    EXPECT_EQ(gridIndex(1, 0, 0, 256, 256), 1);
    EXPECT_EQ(gridIndex(0, 1, 0, 256, 256), 256);
    EXPECT_EQ(gridIndex(0, 0, 1, 256, 256), 65536);
    EXPECT_EQ(gridIndex(3, 2, 1, 5, 4), 3 + 5 * (2 + 4 * 1));
    EXPECT_EQ(sliceOffset(40000), std::size_t{40000} * 65536); // past the int range
}

// The first pixel of the buffer is drawn at the bottom left and shows the
// last sample; the top row of the view is the slice's first row, mirrored.
TEST(SliceGeometry, ViewsShowTheFirstRowOnTopRunningRightToLeft)
{
    EXPECT_EQ(sampleOfPixel(0), 65535);
    EXPECT_EQ(sampleOfPixel(65535), 0);
    EXPECT_EQ(sampleOfPixel(256), 65279);
    EXPECT_EQ(sampleShownAt(0, 0), 255);
    EXPECT_EQ(sampleShownAt(255, 0), 0);
    EXPECT_EQ(sampleShownAt(0, 1), 511);
    EXPECT_EQ(sampleShownAt(0, 255), 65535);
    EXPECT_EQ(sampleShownAt(255, 255), 65280);

    std::vector<bool> seen(kSliceSamples, false);
    for (int y = 0; y < kSliceSide; ++y)
        for (int x = 0; x < kSliceSide; ++x) {
            const int s = sampleShownAt(x, y);
            ASSERT_TRUE(s >= 0 && s < kSliceSamples && !seen[s]) << x << ", " << y;
            seen[s] = true;
        }
}

} // namespace
