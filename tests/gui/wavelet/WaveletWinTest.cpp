// The wavelet window on screen: each view's framebuffer is grabbed and read.
#include "gui/wavelet/WaveletWin.h"

#include "gui/app/MainWidget.h"
#include "gui/controls/ImageSelect.h"
#include "GuiTestSupport.h"
#include "gui/views/DisplayRegion.h"
#include "gui/views/MiniDisp.h"

#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace lumidra;

namespace {

using Picture = std::vector<std::uint8_t>;

Picture picture(int side, const std::function<std::array<int, 3>(int row, int col)>& colour)
{
    Picture p(static_cast<std::size_t>(side) * side * 3);
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c) {
            auto rgb = colour(r, c);
            for (int k = 0; k < 3; ++k)
                p[3 * (r * side + c) + k] = static_cast<std::uint8_t>(rgb[k]);
        }
    return p;
}

// The distinct grey levels a view shows on screen (-1 for a coloured pixel).
std::set<int> screenGreys(MiniDisp* view)
{
    QImage frame = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    std::set<int> greys;
    for (int y = 0; y < view->imageSize(); ++y)
        for (int x = 0; x < view->imageSize(); ++x) {
            QRgb q = frame.pixel(x, y);
            greys.insert(qRed(q) == qGreen(q) && qGreen(q) == qBlue(q) ? qRed(q) : -1);
        }
    return greys;
}

class WaveletWindowTest : public ::testing::Test {
protected:
    WaveletWin* open(const Picture& source)
    {
        windows.push_back(
            std::make_unique<WaveletWin>(nullptr, "Wavelet Window", source.data(), 256));
        WaveletWin* w = windows.back().get();
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
        return w;
    }

    // The view in a cell of the window's grid.
    static MiniDisp* at(WaveletWin* w, int row, int column)
    {
        auto* grid = static_cast<QGridLayout*>(w->layout());
        QLayoutItem* item = grid->itemAtPosition(row, column);
        return item ? qobject_cast<MiniDisp*>(item->widget()) : nullptr;
    }
    static QLabel* labelAt(WaveletWin* w, int row, int column)
    {
        QLayoutItem* item = static_cast<QGridLayout*>(w->layout())->itemAtPosition(row, column);
        return item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
    }

    std::vector<std::unique_ptr<WaveletWin>> windows;
};

TEST_F(WaveletWindowTest, UniformGreyHasLowPassKAndFlatDetails)
{
    WaveletWin* w = open(picture(256, [](int, int) { return std::array<int, 3>{90, 90, 90}; }));
    for (int level = 0; level < 8; ++level) {
        EXPECT_EQ(screenGreys(at(w, 2, level)), std::set<int>{90}) << "LL level " << level + 1;
        for (int row : {4, 6, 8})
            EXPECT_EQ(screenGreys(at(w, row, level)), std::set<int>{128});
    }
    for (int column = 2; column <= 5; ++column)
        EXPECT_EQ(screenGreys(at(w, 0, column)), std::set<int>{128});
}

TEST_F(WaveletWindowTest, HalfBlackHalfWhiteGivesTheKnownAverages)
{
    WaveletWin* w = open(picture(256, [](int, int c) {
        int v = c < 128 ? 0 : 255;
        return std::array<int, 3>{v, v, v};
    }));
    EXPECT_EQ(screenGreys(at(w, 2, 0)), (std::set<int>{0, 255}));
    EXPECT_EQ(screenGreys(at(w, 2, 7)), std::set<int>{127});
    EXPECT_EQ(screenGreys(at(w, 4, 6)), std::set<int>{128});
    EXPECT_EQ(screenGreys(at(w, 4, 7)), std::set<int>{1});
    EXPECT_EQ(screenGreys(at(w, 0, 2)), std::set<int>{112}); // LH average
    EXPECT_EQ(screenGreys(at(w, 0, 3)), std::set<int>{128}); // HL average
    EXPECT_EQ(screenGreys(at(w, 0, 4)), std::set<int>{128}); // HH average
    EXPECT_EQ(screenGreys(at(w, 0, 5)), std::set<int>{122}); // all parts
}

TEST_F(WaveletWindowTest, PureRedIsAnalysedAsGrey85AndTheOriginalIsACopy)
{
    Picture red = picture(256, [](int, int) { return std::array<int, 3>{255, 0, 0}; });
    WaveletWin* w = open(red);
    EXPECT_EQ(screenGreys(at(w, 2, 3)), std::set<int>{85});

    MiniDisp* original = at(w, 0, 0);
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(original->objectName(), "Original Image");
    std::fill(red.begin(), red.end(), 7);
    original->repaint();
    EXPECT_EQ(screenGreys(original), std::set<int>{-1});
    QImage frame = original->grabFramebuffer();
    EXPECT_EQ(frame.pixel(10, 10), qRgb(255, 0, 0));
}

TEST_F(WaveletWindowTest, LayoutNamesAndLabels)
{
    WaveletWin* w = open(picture(256, [](int r, int c) {
        int v = (r * c) % 256;
        return std::array<int, 3>{v, v, v};
    }));
    EXPECT_EQ(w->objectName(), "Wavelet Window");
    const char* rowNames[] = {"LL Part", "LH Part", "HL Part", "HH Part"};
    const char* rowLabels[] = {"LL Row", "LH Row", "HL Row", "HH Row"};
    for (int k = 0; k < 4; ++k) {
        for (int level = 0; level < 8; ++level) {
            MiniDisp* view = at(w, 2 + 2 * k, level);
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view->objectName(), rowNames[k]);
            EXPECT_EQ(view->size(), QSize(128, 128));
        }
        QLabel* label = labelAt(w, 3 + 2 * k, 0);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), rowLabels[k]);
        EXPECT_EQ(label->maximumHeight(), 10);
        EXPECT_EQ(label->alignment(), Qt::AlignHCenter | Qt::AlignVCenter | Qt::AlignTop);
    }
    const char* totalNames[] = {"LH Part", "HL Part", "HH Part", "All Parts"};
    const char* totalLabels[] = {"LH Total", "HL Total", "HH Total", "Sum Total"};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(at(w, 0, 2 + k)->objectName(), totalNames[k]);
        QLabel* label = labelAt(w, 1, 2 + k);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), totalLabels[k]);
        EXPECT_EQ(label->maximumHeight() == 10, k == 0);
    }
    EXPECT_EQ(at(w, 0, 0)->size(), QSize(256, 256));
}

// The command on the main window, with real slices.
class WaveletCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guitest::writeTestStack(cwd.path() / "data", 3);
        window = std::make_unique<MainWidget>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<WaveletWin*>(w))
                w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::vector<WaveletWin*> openWindows() const
    {
        std::vector<WaveletWin*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* ww = qobject_cast<WaveletWin*>(w); ww && ww->isVisible())
                found.push_back(ww);
        return found;
    }
    static Picture shown(WaveletWin* w)
    {
        return w->findChild<MiniDisp*>("Original Image")->imageData();
    }

    guitest::ScratchCwd cwd;
    std::unique_ptr<MainWidget> window;
};

TEST_F(WaveletCommandTest, EachCommandOpensAnIndependentWindowThatNeverChanges)
{
    const std::uint8_t* rgb = window->colourView()->rgbBuffer();
    Picture slice0(rgb, rgb + 256 * 256 * 3);
    window->clkNewWavelet();
    window->findChild<ImageSelect*>("imgSel")->addStep();
    window->clkNewWavelet();

    std::vector<WaveletWin*> open = openWindows();
    ASSERT_EQ(open.size(), 2u);
    Picture slice1(rgb, rgb + 256 * 256 * 3);
    ASSERT_NE(slice0, slice1);
    std::set<Picture> originals{shown(open[0]), shown(open[1])};
    EXPECT_EQ(originals, (std::set<Picture>{slice0, slice1}));

    window->findChild<ImageSelect*>("imgSel")->addStep();
    window->clkDefaultReg();
    EXPECT_EQ((std::set<Picture>{shown(open[0]), shown(open[1])}), originals);

    // Closing a window frees it, views and all.
    QPointer<WaveletWin> first = open[0];
    QPointer<MiniDisp> view = first->findChild<MiniDisp*>("LL Part");
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(view.isNull());
}

TEST_F(WaveletCommandTest, AfterWaveletifyTheWindowAnalysesTheCoefficientMap)
{
    window->clkWaveletify();
    const std::uint8_t* rgb = window->colourView()->rgbBuffer();
    Picture map(rgb, rgb + 256 * 256 * 3);
    for (QAction* a : window->findChild<QWidget*>("Wavelet")->actions())
        a->trigger();
    std::vector<WaveletWin*> open = openWindows();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(shown(open[0]), map);
    MiniDisp* original = open[0]->findChild<MiniDisp*>("Original Image");
    EXPECT_EQ(guitest::screenMismatches(original, original->imageData().data(), 256), 0);
}

} // namespace
