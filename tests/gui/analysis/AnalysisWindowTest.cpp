// The Analysis window beside a real main window: it follows the window, and
// what it changes goes through the editor's own sliders.
#include "gui/analysis/AnalysisWindow.h"

#include "GuiTestSupport.h"
#include "core/stats/RegionStats.h"
#include "gui/analysis/CursorProbe.h"
#include "gui/analysis/HistogramView.h"
#include "gui/analysis/RegionStatsModel.h"
#include "gui/analysis/SuggestRegionsDialog.h"
#include "gui/app/MainWidget.h"
#include "gui/controls/ImageSelect.h"
#include "gui/controls/InputRegion.h"
#include "gui/controls/RtSlider.h"
#include "gui/views/DisplayRegion.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTest>
#include <QUndoStack>
#include <QToolTip>

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using namespace lumidra;
using guitest::viewColour;

namespace {

constexpr int kDark = 10;
constexpr int kBright = 200;

// Slice z of `count`: columns below 64 * (z + 1) bright, the rest dark; so
// slice z has 16,384 * (z + 1) bright pixels.
void writeStripes(const std::filesystem::path& dir, int count)
{
    std::filesystem::create_directories(dir);
    for (int z = 0; z < count; ++z) {
        std::vector<std::uint16_t> samples(kSliceSamples);
        for (int y = 0; y < kSliceSide; ++y)
            for (int x = 0; x < kSliceSide; ++x)
                samples[y * kSliceSide + x] = 16 * (x < 64 * (z + 1) ? kBright : kDark);
        slicefiles::writeFile((dir / slicefiles::sliceName(z, "")).string(),
                              slicefiles::rawSlice(samples));
    }
}

void sendMouse(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button =
        type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButton::LeftButton;
    QMouseEvent event(type, at, target->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

class AnalysisWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeStripes(cwd.path() / "data", 3);
        // Region 0 paints the bright stripes red.
        slicefiles::writeFile((cwd.path() / "data/colornfo.txt").string(),
                              "#Number of Regions\n1\n\n#Bright\n150\n255\n255\n0\n0\n\n");
        window = std::make_unique<MainWidget>();
        window->resize(675, 575);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->showAnalysis();
        analysis = window->analysisWindow();
        ASSERT_NE(analysis, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(analysis));
    }

    const RegionStatsModel::Contents& shown() const { return analysis->statistics()->contents(); }
    RtSlider* editorSlider(const char* name) const
    {
        return window->findChild<InputRegion*>("ir")->findChild<RtSlider*>(name);
    }
    static void settle() { QApplication::processEvents(); }

    guitest::ScratchCwd cwd;
    std::unique_ptr<MainWidget> window;
    AnalysisWindow* analysis = nullptr;
};

TEST_F(AnalysisWindowTest, TheMenuItemRaisesOneWindowAndTheMainWindowKeepsItsSize)
{
    analysis->close();
    ASSERT_FALSE(analysis->isVisible());
    QAction* item = window->findChild<QMenu*>("Analysis")->actions().at(0);
    item->trigger();
    item->trigger();
    EXPECT_EQ(window->analysisWindow(), analysis);
    EXPECT_TRUE(analysis->isVisible());
    EXPECT_EQ(window->findChildren<AnalysisWindow*>().size(), 1);
    EXPECT_EQ(window->size(), QSize(675, 575));
    EXPECT_EQ(window->greyView()->size(), QSize(256, 256));
}

TEST_F(AnalysisWindowTest, FollowsTheSliceTheRegionsAndANewStackUnasked)
{
    EXPECT_EQ(shown().slice[0].voxels, 16384u);
    EXPECT_EQ(shown().stack[0].voxels, 16384u * 6);
    EXPECT_EQ(shown().stack[kRegionCount].voxels, 0u) << "Last Region takes the rest";
    EXPECT_EQ(analysis->histogram()->preview().size(), 0u);
    // What the user reads: the whole stack's curve and fractions until the
    // current slice is chosen.
    EXPECT_EQ(analysis->histogram()->plotted()[kBright], 16384u * 6);
    auto cell = [&](int row, int column) {
        return analysis->statistics()->index(row, column).data().toString();
    };
    EXPECT_EQ(cell(0, RegionStatsModel::Fraction), "50.00 %");
    analysis->setShowsWholeStack(false);
    EXPECT_EQ(analysis->histogram()->plotted()[kBright], 16384u);
    EXPECT_EQ(cell(0, RegionStatsModel::Fraction), "25.00 %");
    analysis->setShowsWholeStack(true);

    // The bright columns are one piece of 98,304 voxels: an island of exactly
    // the smallest size stays, one voxel more and it counts as no region.
    auto* islands = analysis->findChild<QSpinBox*>("smallestIsland");
    islands->setValue(16384 * 6);
    settle();
    EXPECT_EQ(shown().stack[0].voxels, 16384u * 6);
    EXPECT_EQ(cell(0, RegionStatsModel::Pieces), "1");
    islands->setValue(16384 * 6 + 1);
    settle();
    EXPECT_EQ(window->workspace()->minIsland(), 16384 * 6 + 1);
    EXPECT_EQ(shown().stack[0].voxels, 0u);
    EXPECT_EQ(shown().stack[kRegionCount].voxels, 16384u * 12) << "Last Region's dark piece too";
    EXPECT_EQ(cell(0, RegionStatsModel::Pieces), "0");
    EXPECT_NE(analysis->csv().find(",0,Bright,150,255,0,0.000000,,,,,0\n"), std::string::npos)
        << analysis->csv();
    islands->setValue(0);
    settle();

    window->findChild<ImageSelect*>("imgSel")->addStep();
    settle();
    EXPECT_EQ(shown().slice[0].voxels, 32768u);

    // A region edit: the bright grey value leaves region 0 for generated region 12.
    editorSlider("Min Slider")->setValue(201);
    editorSlider("Red Slider")->setValue(9);
    settle();
    EXPECT_EQ(shown().table[0].min, 201);
    EXPECT_EQ(shown().table[0].red, 9);
    EXPECT_EQ(shown().slice[0].voxels, 0u);
    EXPECT_EQ(shown().slice[12].voxels, 32768u);

    window->findChild<RtSlider*>("Region Slider")->setValue(4);
    settle();
    EXPECT_EQ(shown().current, 4);

    // File > Open: the counts are announced while dr1 still holds the old
    // stack; the window must end up with the new one.
    const std::filesystem::path other = cwd.path() / "one";
    writeStripes(other, 1);
    guitest::answerFileDialog(QString::fromStdString(other.string()), [&] { window->selOpen(); });
    settle();
    EXPECT_EQ(analysis->statistics()->contents().stack[12].voxels, 16384u);
    std::uint64_t total = 0;
    for (const RegionStats& r : shown().stack)
        total += r.voxels;
    EXPECT_EQ(total, static_cast<std::uint64_t>(kSliceSamples));
}

TEST_F(AnalysisWindowTest, DraggingTheCurrentBandsEdgesMovesTheEditorAndRepaintsDr2)
{
    HistogramView* h = analysis->histogram();
    const double y = h->height() / 2.0;
    DisplayRegion* dr2 = window->colourView();
    // Sample column 10 is bright; the view shows it at column 245.
    ASSERT_EQ(viewColour(dr2, 10, 0), (std::array<int, 3>{255, 0, 0}));

    sendMouse(h, QEvent::MouseButtonPress, {h->edgeX(150), y}, Qt::LeftButton);
    for (int v : {170, 190, 201})
        sendMouse(h, QEvent::MouseMove, {h->edgeX(v) + 0.3, y}, Qt::LeftButton);
    sendMouse(h, QEvent::MouseButtonRelease, {h->edgeX(201), y}, Qt::NoButton);

    EXPECT_EQ(editorSlider("Min Slider")->currentValue(), 201);
    EXPECT_EQ(window->regionTable()[0].min, 201);
    EXPECT_EQ(viewColour(dr2, 10, 0), (std::array<int, 3>{kBright, kBright, kBright}));
    EXPECT_TRUE(guitest::screenShowsRgb(*dr2, dr2->rgbBuffer(), 256));

    // The upper edge sits after grey 255; dragged to the boundary after 229.
    sendMouse(h, QEvent::MouseButtonPress, {h->edgeX(256) - 1, y}, Qt::LeftButton);
    sendMouse(h, QEvent::MouseMove, {h->edgeX(230), y}, Qt::LeftButton);
    sendMouse(h, QEvent::MouseButtonRelease, {h->edgeX(230), y}, Qt::NoButton);
    EXPECT_EQ(editorSlider("Max Slider")->currentValue(), 229);

    // Edges never cross: the lower one stops at the upper.
    sendMouse(h, QEvent::MouseButtonPress, {h->edgeX(201), y}, Qt::LeftButton);
    sendMouse(h, QEvent::MouseMove, {h->edgeX(250), y}, Qt::LeftButton);
    sendMouse(h, QEvent::MouseButtonRelease, {h->edgeX(250), y}, Qt::NoButton);
    EXPECT_EQ(window->regionTable()[0].min, 229);

    // A press away from both edges drags nothing.
    sendMouse(h, QEvent::MouseButtonPress, {h->edgeX(60), y}, Qt::LeftButton);
    sendMouse(h, QEvent::MouseMove, {h->edgeX(20), y}, Qt::LeftButton);
    sendMouse(h, QEvent::MouseButtonRelease, {h->edgeX(20), y}, Qt::NoButton);
    EXPECT_EQ(window->regionTable()[0].min, 229);
    EXPECT_EQ(window->regionTable()[0].max, 229);

    // Each drag, from press to release, is one step of Undo.
    QUndoStack* undo = window->workspace()->undoStack();
    EXPECT_EQ(undo->count(), 3);
    undo->undo();
    EXPECT_EQ(editorSlider("Min Slider")->currentValue(), 201);
    undo->undo();
    undo->undo();
    EXPECT_EQ(window->regionTable()[0].min, 150);
    EXPECT_EQ(window->regionTable()[0].max, 255);
    EXPECT_EQ(viewColour(dr2, 10, 0), (std::array<int, 3>{255, 0, 0}));
}

TEST_F(AnalysisWindowTest, ARenameReachesTheTableAndTheCsvAtOnce)
{
    QTest::keyClicks(window->findChild<QLineEdit*>("nameLE"), "Vessel");
    settle();
    EXPECT_STREQ(shown().table[0].name, "BrightVessel");
    EXPECT_NE(analysis->csv().find(",0,BrightVessel,150,255,"), std::string::npos);
    const QModelIndex cell = analysis->statistics()->index(0, RegionStatsModel::Name);
    EXPECT_EQ(cell.data().toString(), "BrightVessel");
}

TEST_F(AnalysisWindowTest, TheValueUnderTheCursorShowsAsTooltipAndStatusLine)
{
    auto* line = analysis->findChild<QLabel*>("cursorLine");
    const QString idle = line->text();
    // View column 10, row 3 shows sample column 245: dark, only Last Region holds it.
    sendMouse(window->greyView(), QEvent::MouseMove, {10, 3}, Qt::NoButton);
    const QString dark =
        "column 245, row 3, slice 0: grey 10, sample 160, region 16 \"Last Region\"";
    EXPECT_EQ(window->cursorProbe()->lastReading(), dark);
    EXPECT_EQ(QToolTip::text(), dark);
    EXPECT_EQ(line->text(), dark);

    window->findChild<ImageSelect*>("imgSel")->addStep();
    sendMouse(window->colourView(), QEvent::MouseMove, {250, 7}, Qt::NoButton);
    EXPECT_EQ(line->text(), "column 5, row 7, slice 1: grey 200, sample 3200, region 0 \"Bright\"");

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window->colourView(), &leave);
    EXPECT_EQ(line->text(), idle);
    EXPECT_TRUE(window->cursorProbe()->lastReading().isEmpty());
}

TEST_F(AnalysisWindowTest, SuggestedRegionsArePreviewedAndWrittenOnlyWhenAccepted)
{
    const RegionTable before = window->regionTable();
    std::size_t previewed = 0;
    guitest::answerModal<SuggestRegionsDialog>(
        "the Suggest Regions dialog", [&] { analysis->suggestRegions(); },
        [&](SuggestRegionsDialog* dialog) {
            previewed = analysis->histogram()->preview().size();
            dialog->reject();
        });
    EXPECT_EQ(previewed, 3u);
    EXPECT_TRUE(analysis->histogram()->preview().empty());
    EXPECT_EQ(
        std::memcmp(&before[0], &window->regionTable()[0], sizeof(imgMaterial) * kRegionCount), 0);

    // As after opening a region file: the current record goes to the editor
    // first, so every table sent shows it already; the table goes out last.
    std::vector<std::string> order;
    std::vector<QString> editorAtTable;
    auto* name = window->findChild<QLineEdit*>("nameLE");
    QObject::connect(window.get(), &MainWidget::updateRegion, [&] { order.push_back("region"); });
    QObject::connect(window.get(), &MainWidget::updateColorInfo, [&] {
        order.push_back("table");
        editorAtTable.push_back(name->text());
    });
    guitest::answerModal<SuggestRegionsDialog>(
        "the Suggest Regions dialog", [&] { analysis->suggestRegions(); },
        [&](SuggestRegionsDialog* dialog) {
            dialog->findChild<QSpinBox*>("classCount")->setValue(2);
            previewed = analysis->histogram()->preview().size();
            dialog->accept();
        });
    EXPECT_EQ(previewed, 2u);
    // Dark (10) and bright (200); the threshold is the lowest of the empty gap.
    const RegionTable& after = window->regionTable();
    EXPECT_STREQ(after[0].name, "Class1");
    EXPECT_EQ((std::array<int, 2>{after[0].min, after[0].max}), (std::array<int, 2>{1, kDark}));
    EXPECT_STREQ(after[1].name, "Class2");
    EXPECT_EQ((std::array<int, 2>{after[1].min, after[1].max}),
              (std::array<int, 2>{kDark + 1, 255}));
    EXPECT_EQ(std::memcmp(&before[2], &after[2], sizeof(imgMaterial) * (kRegionCount - 2)), 0);
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.back(), "table");
    EXPECT_EQ(std::count(order.begin(), order.end(), "region"), 1);
    for (const QString& shownName : editorAtTable)
        EXPECT_EQ(shownName, "Class1");
    EXPECT_EQ(window->findChild<QLineEdit*>("nameLE")->text(), "Class1");
    EXPECT_EQ(editorSlider("Max Slider")->currentValue(), kDark);
    // dr2 paints region 0, now the dark class, in palette entry 1 (green).
    EXPECT_EQ(viewColour(window->colourView(), 200, 0), (std::array<int, 3>{0, 255, 0}));

    // Applying is one step; Undo puts the earlier table back.
    window->workspace()->undoStack()->undo();
    EXPECT_EQ(std::memcmp(&before[0], &after[0], sizeof(imgMaterial) * kRegionCount), 0);
    EXPECT_EQ(window->findChild<QLineEdit*>("nameLE")->text(), "Bright");
}

TEST_F(AnalysisWindowTest, ExportWritesLumidraStatsColumnsForWhatIsShown)
{
    const std::string path = (cwd.path() / "out.csv").string();
    testfiles::writeFile(path, "old");
    ASSERT_EQ(analysis->exportCsv(QString::fromStdString(path)), "");
    std::string text = testfiles::readFile(path);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), statsCsvHeader());
    // Bright: 6 x 16,384 of 3 x 65,536 pixels, every sample 3200, one piece
    // through the slices; pieces are counted over the stack only.
    EXPECT_NE(text.find("\n./data/,0,Bright,150,255,98304,0.500000,,3200.000000,,,1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n./data/,none,,,,0,0.000000,,,,,\n"), std::string::npos);

    analysis->setShowsWholeStack(false);
    settle();
    guitest::answerFileDialog(QString::fromStdString((cwd.path() / "slice").string()),
                              [&] { analysis->chooseCsvFile(); });
    text = testfiles::readFile(cwd.path() / "slice.csv");
    EXPECT_NE(text.find("\n./data/ slice 0,0,Bright,150,255,16384,0.250000,,3200.000000,,,\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kRegionCount + 2);
}

} // namespace
