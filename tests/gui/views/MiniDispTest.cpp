// MiniDisp: its own copy of the picture, bottom row first, at a size no layout changes.
#include "gui/views/MiniDisp.h"

#include "GuiTestSupport.h"

#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Pixel (r, c) of the source: distinct per row and column, and unlike its mirror.
std::uint8_t sourceByte(int r, int c, int channel)
{
    return static_cast<std::uint8_t>(channel == 0   ? 2 * c
                                     : channel == 1 ? 2 * r
                                                    : (r + 3 * c) % 256);
}

std::vector<std::uint8_t> makeSource(int size)
{
    std::vector<std::uint8_t> source;
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c)
            for (int ch = 0; ch < 3; ++ch)
                source.push_back(sourceByte(r, c, ch));
    return source;
}

TEST(MiniDispTest, DrawsItsOwnCopyBottomRowFirst)
{
    constexpr int size = 128;
    auto source = makeSource(size);
    QWidget window;
    auto* mini = new MiniDisp(&window, "LL Part", source.data(), size);
    const auto copied = source;
    source.assign(source.size(), 0xAB);
    source.clear();
    source.shrink_to_fit();

    EXPECT_EQ(mini->objectName(), "LL Part");
    EXPECT_EQ(mini->imageSize(), size);
    EXPECT_EQ(mini->imageData(), copied);

    window.resize(300, 300);
    ASSERT_TRUE(guitest::shown(window));
    // The first source row is the bottom one on screen.
    EXPECT_TRUE(guitest::screenShows(*mini, [](int x, int y) {
        const int r = size - 1 - y;
        return qRgb(sourceByte(r, x, 0), sourceByte(r, x, 1), sourceByte(r, x, 2));
    }));
}

TEST(MiniDispTest, LayoutCannotResizeIt)
{
    auto source = makeSource(128);
    QWidget window;
    auto* grid = new QGridLayout(&window);
    auto* mini = new MiniDisp(&window, "HH Part", source.data(), 128);
    grid->addWidget(mini, 0, 0);
    grid->addWidget(new QLabel("stretch", &window), 0, 1);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(0, 1);
    EXPECT_EQ(mini->minimumSize(), QSize(128, 128));
    EXPECT_EQ(mini->maximumSize(), QSize(128, 128));

    ASSERT_TRUE(guitest::shown(window));
    for (QSize s : {QSize(900, 700), QSize(60, 60)}) {
        window.resize(s);
        QCoreApplication::processEvents();
        EXPECT_EQ(mini->size(), QSize(128, 128)) << s.width();
    }
}

} // namespace
