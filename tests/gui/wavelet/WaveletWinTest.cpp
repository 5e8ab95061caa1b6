// The wavelet window on screen: each view's framebuffer is grabbed and read.
#include "gui/wavelet/WaveletWin.h"

#include "core/common/SliceGeometry.h"
#include "core/wavelet/WaveletAnalysis.h"
#include "gui/app/MainWidget.h"
#include "gui/controls/ImageSelect.h"
#include "gui/views/DisplayRegion.h"
#include "gui/views/MiniDisp.h"

#include "GuiTestSupport.h"

#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <utility>

using namespace lumidra;

namespace {

using Picture = std::vector<std::uint8_t>;

class WaveletWindowTest : public ::testing::Test {
protected:
    WaveletWin* open(const Picture& source)
    {
        windows.push_back(
            std::make_unique<WaveletWin>(nullptr, "Wavelet Window", source.data(), 256));
        WaveletWin* w = windows.back().get();
        EXPECT_TRUE(guitest::shown(*w));
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

// Which picture lands in which cell: every view against the core's analysis
// of a random source, by name, by the bytes it holds and on screen. The
// analysis itself is the core's to check.
TEST_F(WaveletWindowTest, EveryCellShowsItsPartOfTheCoresAnalysis)
{
    std::mt19937 random(20240611);
    Picture source(3 * kSliceSamples);
    for (std::uint8_t& byte : source)
        byte = static_cast<std::uint8_t>(random() & 0xFF);
    const Picture original = source;
    WaveletWin* w = open(source);
    // The window keeps its own copy.
    std::fill(source.begin(), source.end(), 7);

    const WaveletAnalysis analysis = analyseWavelet(original.data(), kSliceSide);
    ASSERT_EQ(analysis.half, kSliceSide / 2);
    struct Cell {
        int row, column;
        const char* name;
        const Picture& picture;
        int side;
    };
    std::vector<Cell> cells = {
        {0, 0, "Original Image", original, kSliceSide},
        {0, 2, "LH Part", analysis.lhTotal, analysis.half},
        {0, 3, "HL Part", analysis.hlTotal, analysis.half},
        {0, 4, "HH Part", analysis.hhTotal, analysis.half},
        {0, 5, "All Parts", analysis.allTotal, analysis.half},
    };
    for (int f = 0; f < kWaveletLevels; ++f) {
        cells.push_back({2, f, "LL Part", analysis.ll[f], analysis.half});
        cells.push_back({4, f, "LH Part", analysis.lh[f], analysis.half});
        cells.push_back({6, f, "HL Part", analysis.hl[f], analysis.half});
        cells.push_back({8, f, "HH Part", analysis.hh[f], analysis.half});
    }
    for (const Cell& cell : cells) {
        SCOPED_TRACE("row " + std::to_string(cell.row) + ", column " + std::to_string(cell.column));
        MiniDisp* view = at(w, cell.row, cell.column);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->objectName(), cell.name);
        EXPECT_EQ(view->size(), QSize(cell.side, cell.side));
        EXPECT_TRUE(view->imageData() == cell.picture);
        view->repaint();
        EXPECT_TRUE(guitest::screenShowsRgb(*view, cell.picture.data(), cell.side));
    }
}

TEST_F(WaveletWindowTest, RowsAndTotalsAreLabelled)
{
    WaveletWin* w = open(Picture(3 * kSliceSamples, 40));
    EXPECT_EQ(w->objectName(), "Wavelet Window");
    const char* rowLabels[] = {"LL Row", "LH Row", "HL Row", "HH Row"};
    for (int k = 0; k < 4; ++k) {
        QLabel* label = labelAt(w, 3 + 2 * k, 0);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), rowLabels[k]);
        EXPECT_EQ(label->maximumHeight(), 10);
        EXPECT_EQ(label->alignment(), Qt::AlignHCenter | Qt::AlignVCenter | Qt::AlignTop);
    }
    const char* totalLabels[] = {"LH Total", "HL Total", "HH Total", "Sum Total"};
    for (int k = 0; k < 4; ++k) {
        QLabel* label = labelAt(w, 1, 2 + k);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), totalLabels[k]);
        EXPECT_EQ(label->maximumHeight() == 10, k == 0);
    }
}

// The command on the main window, with real slices.
class WaveletCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guitest::writeTestStack(cwd.path() / "data", 3);
        window = std::make_unique<MainWidget>();
        ASSERT_TRUE(guitest::shown(*window));
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
    static Picture originalOf(WaveletWin* w)
    {
        return w->findChild<MiniDisp*>("Original Image")->imageData();
    }

    guitest::ScratchCwd cwd;
    std::unique_ptr<MainWidget> window;
};

TEST_F(WaveletCommandTest, EachCommandOpensAnIndependentWindowThatNeverChanges)
{
    const std::uint8_t* rgb = window->colourView()->rgbBuffer();
    Picture slice0(rgb, rgb + kRgbBytes);
    window->clkNewWavelet();
    window->findChild<ImageSelect*>("imgSel")->addStep();
    window->clkNewWavelet();

    std::vector<WaveletWin*> open = openWindows();
    ASSERT_EQ(open.size(), 2u);
    Picture slice1(rgb, rgb + kRgbBytes);
    ASSERT_FALSE(slice0 == slice1);
    // The order of top-level windows is Qt's to choose.
    if (originalOf(open[0]) == slice1)
        std::swap(open[0], open[1]);
    EXPECT_TRUE(originalOf(open[0]) == slice0);
    EXPECT_TRUE(originalOf(open[1]) == slice1);

    window->findChild<ImageSelect*>("imgSel")->addStep();
    window->clkDefaultReg();
    EXPECT_TRUE(originalOf(open[0]) == slice0);
    EXPECT_TRUE(originalOf(open[1]) == slice1);

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
    Picture map(rgb, rgb + kRgbBytes);
    for (QAction* a : window->findChild<QWidget*>("Wavelet")->actions())
        a->trigger();
    std::vector<WaveletWin*> open = openWindows();
    ASSERT_EQ(open.size(), 1u);
    ASSERT_TRUE(guitest::shown(*open[0]));
    EXPECT_TRUE(originalOf(open[0]) == map);
    MiniDisp* original = open[0]->findChild<MiniDisp*>("Original Image");
    EXPECT_TRUE(guitest::screenShowsRgb(*original, map.data(), kSliceSide));
}

} // namespace
