// The Three Planes window beside a real main window: one crosshair that the
// Image Number follows, the colour view's rule over the grey, zoom and pan,
// and the odd shapes a scan can have.
#include "gui/planes/PlanesWindow.h"

#include "GuiTestSupport.h"
#include "NiftiFiles.h"
#include "gui/app/MainWidget.h"
#include "gui/controls/ImageSelect.h"
#include "gui/controls/RtSlider.h"
#include "gui/planes/PlaneView.h"
#include "gui/views/DisplayRegion.h"

#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>
#include <QUndoStack>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

using namespace lumidra;

namespace {

constexpr int kSlices = 5;

// What a view shows at a logical point: the grabbed pixel that holds it.
QRgb shownAt(PlaneView* view, QPointF at)
{
    const QImage shot = view->grab().toImage();
    const double ratio = view->devicePixelRatioF();
    return shot.pixel(static_cast<int>(at.x() * ratio), static_cast<int>(at.y() * ratio)) &
           0xFFFFFF;
}

// The centre of plane pixel p on screen, as a point of the view.
QPointF centreOf(PlaneView* view, PlanePixel p)
{
    const auto c = pixelCentre(view->axes(), view->viewport(), p);
    return {c[0], c[1]};
}

void press(PlaneView* view, QEvent::Type type, QPointF at, Qt::MouseButton button,
           Qt::MouseButtons held)
{
    QMouseEvent event(type, at, view->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

void click(PlaneView* view, QPointF at)
{
    press(view, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    press(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void wheel(PlaneView* view, QPointF at, int delta)
{
    QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

QRgb greyRgb(int g)
{
    return static_cast<QRgb>(g << 16 | g << 8 | g);
}

class PlanesWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guitest::writeTestStack(cwd.path() / "data", kSlices);
        // Region 0 paints grey 150..255 red.
        slicefiles::writeFile((cwd.path() / "data/colornfo.txt").string(),
                              "#Number of Regions\n1\n\n#Bright\n150\n255\n255\n0\n0\n\n");
        window = std::make_unique<MainWidget>();
        window->resize(675, 575);
        ASSERT_TRUE(guitest::shown(*window));
        window->showPlanes();
        planes = window->planesWindow();
        ASSERT_NE(planes, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(planes, guitest::kWindowWaitMs));
    }

    PlaneView* view(Plane p) const { return planes->view(p); }
    ImageSelect* imageSelect() const { return window->findChild<ImageSelect*>("imgSel"); }

    guitest::ScratchCwd cwd;
    std::unique_ptr<MainWidget> window;
    PlanesWindow* planes = nullptr;
};

TEST_F(PlanesWindowTest, AClickMovesTheCrosshairInEveryPlaneAndTheImageNumberFollowsIt)
{
    QAction* item = nullptr;
    for (QAction* a : window->findChild<QMenu*>("Volume")->actions())
        if (a->text() == "Three &Planes...")
            item = a;
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    planes->close();
    item->trigger();
    item->trigger();
    EXPECT_EQ(window->planesWindow(), planes);
    EXPECT_TRUE(planes->isVisible());
    EXPECT_EQ(window->findChildren<PlanesWindow*>().size(), 1);

    // Slice 0 is the main window's; the crosshair starts at the plane's centre.
    EXPECT_EQ(planes->crosshair().k, 0);
    EXPECT_EQ(planes->crosshair().i, 128);
    // Zoomed in so that a voxel is several pixels wide.
    PlaneView* coronal = view(Plane::Coronal);
    coronal->zoomAt(centreOf(coronal, {100, 1}), 8.0);
    // Coronal pixel (100, 1): column 155 of slice 3 (the top slice is 4).
    click(coronal, centreOf(coronal, {100, 1}));
    EXPECT_EQ(planes->crosshair().i, 155);
    EXPECT_EQ(planes->crosshair().k, 3);
    EXPECT_EQ(planes->crosshair().j, 128);
    EXPECT_EQ(window->currentImage(), 3);
    EXPECT_EQ(imageSelect()->currentValue(), 3);
    EXPECT_EQ(view(Plane::Axial)->crosshair(), (PlanePixel{100, 128}));
    EXPECT_EQ(view(Plane::Sagittal)->crosshair(), (PlanePixel{128, 1}));
    // The crosshair's voxel reads in the window's line.
    EXPECT_TRUE(planes->readingText().startsWith("Crosshair: column 155, row 128, slice 3: grey " +
                                                 QString::number(guitest::testGrey(155, 128, 3))))
        << planes->readingText().toStdString();

    // A drag keeps moving it.
    PlaneView* axial = view(Plane::Axial);
    press(axial, QEvent::MouseButtonPress, centreOf(axial, {10, 20}), Qt::LeftButton,
          Qt::LeftButton);
    press(axial, QEvent::MouseMove, centreOf(axial, {30, 40}), Qt::NoButton, Qt::LeftButton);
    press(axial, QEvent::MouseButtonRelease, centreOf(axial, {30, 40}), Qt::LeftButton,
          Qt::NoButton);
    EXPECT_EQ(planes->crosshair().i, 225);
    EXPECT_EQ(planes->crosshair().j, 40);
    EXPECT_EQ(planes->crosshair().k, 3);

    // Paging the main window moves the crosshair, not the other way round.
    imageSelect()->subtractStep();
    EXPECT_EQ(planes->crosshair().k, 2);
    EXPECT_EQ(view(Plane::Coronal)->crosshair().y, 2);
    // Keys step the plane under the cursor: Page Up toward superior, the arrows
    // of the sagittal plane toward the patient's left (lower columns).
    QTest::keyClick(axial, Qt::Key_PageUp);
    EXPECT_EQ(imageSelect()->currentValue(), 3);
    QTest::keyClick(view(Plane::Sagittal), Qt::Key_Up);
    EXPECT_EQ(planes->crosshair().i, 224);
    QTest::keyClick(view(Plane::Coronal), Qt::Key_Down);
    EXPECT_EQ(planes->crosshair().j, 41);
    for (int n = 0; n < 9; ++n)
        QTest::keyClick(axial, Qt::Key_Up);
    EXPECT_EQ(imageSelect()->currentValue(), kSlices - 1);

    // Pointing at a voxel reads it into the workspace, for every window.
    press(axial, QEvent::MouseMove, centreOf(axial, {255, 0}), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(window->workspace()->cursorReading().startsWith(
        QString("column 0, row 0, slice 4: grey %1, sample %2, region ")
            .arg(guitest::testGrey(0, 0, 4))
            .arg(16 * guitest::testGrey(0, 0, 4))))
        << window->workspace()->cursorReading().toStdString();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(axial, &leave);
    EXPECT_TRUE(window->workspace()->cursorReading().isEmpty());
}

TEST_F(PlanesWindowTest, RegionsShowByTheColourViewsRuleAndFollowEditsAndUndo)
{
    PlaneView* axial = view(Plane::Axial);
    axial->zoomAt(centreOf(axial, {128, 128}), 2.0);
    // Slice 0, column c, row r: grey (c + 2r) % 256; screen column x shows 255 - x.
    // Pixel (120, 100): grey 135 + 200 = 79; (125, 140): grey 130 + 280 = 154.
    const PlanePixel dark{120, 100}, bright{125, 140};
    ASSERT_EQ(guitest::testGrey(255 - 125, 140, 0), 154);
    auto shown = [&](PlanePixel p) { return shownAt(axial, centreOf(axial, p)); };
    // At full opacity the planes show what the colour view shows, pixel for pixel.
    auto colourView = [&](PlanePixel p) {
        const auto c = guitest::viewColour(window->colourView(), 255 - p.x, p.y);
        return static_cast<QRgb>(c[0] << 16 | c[1] << 8 | c[2]);
    };
    const int half = planes->opacity();
    EXPECT_EQ(half, 50);
    EXPECT_EQ(shown(dark), greyRgb(79));
    EXPECT_EQ(shown(bright), static_cast<QRgb>(205 << 16 | 77 << 8 | 77)) << "154 half red";
    planes->setOpacity(0);
    EXPECT_EQ(shown(bright), greyRgb(154));
    planes->setOpacity(100);
    EXPECT_EQ(shown(bright), 0xFF0000u);

    // The current region alone: region 1 over 60..160 in green; under Show
    // All region 0 wins where the two overlap.
    Workspace* work = window->workspace();
    work->setRegionField(1, Workspace::Field::Min, 60);
    work->setRegionField(1, Workspace::Field::Max, 160);
    work->setRegionField(1, Workspace::Field::Green, 255);
    window->findChild<RtSlider*>("Region Slider")->setValue(1);
    QApplication::processEvents();
    EXPECT_EQ(work->shownRegion(), 1);
    EXPECT_EQ(shown(dark), 0x00FF00u);
    EXPECT_EQ(shown(bright), 0x00FF00u);
    window->clkShowAll();
    EXPECT_EQ(shown(dark), 0x00FF00u);
    EXPECT_EQ(shown(bright), 0xFF0000u);
    for (const PlanePixel p : {dark, bright, PlanePixel{118, 96}, PlanePixel{131, 150}})
        EXPECT_EQ(shown(p), colourView(p));
    // Undo takes the green back, and the planes follow the colour view.
    work->undoStack()->undo();
    QApplication::processEvents();
    EXPECT_NE(shown(dark), 0x00FF00u);
    for (const PlanePixel p : {dark, bright, PlanePixel{118, 96}, PlanePixel{131, 150}})
        EXPECT_EQ(shown(p), colourView(p));

    // Islands smaller than the whole band leave it out of the planes (not of
    // the colour view); none smaller than one voxel puts it back.
    ASSERT_EQ(shown(bright), 0xFF0000u);
    work->setMinIsland(kSlices * 65536);
    EXPECT_EQ(shown(bright), greyRgb(154));
    EXPECT_EQ(colourView(bright), 0xFF0000u);
    work->setMinIsland(1);
    EXPECT_EQ(shown(bright), 0xFF0000u);
}

TEST_F(PlanesWindowTest, TheWheelZoomsAroundTheCursorAndPansAndHomeFitsAgain)
{
    PlaneView* axial = view(Plane::Axial);
    planes->setOpacity(0);
    // The centre of a device pixel, at any device pixel ratio.
    const QPointF at =
        QPointF(std::floor(axial->width() * 0.3), std::floor(axial->height() * 0.6)) +
        QPointF(0.5, 0.5) / axial->devicePixelRatioF();
    const auto before = axial->pixelAt(at);
    ASSERT_TRUE(before);
    const double fitted = axial->viewport().pxPerMm;
    for (int delta : {120, 120, 360, 480, -240}) {
        wheel(axial, at, delta);
        EXPECT_EQ(axial->pixelAt(at), before);
        EXPECT_EQ(shownAt(axial, at), axial->picture().pixel(before->x, before->y) & 0xFFFFFF);
    }
    EXPECT_GT(axial->viewport().pxPerMm, 10 * fitted);
    // Nearest neighbour: a voxel several pixels wide is one colour throughout.
    const QPointF c = centreOf(axial, *before);
    const double s = axial->viewport().scaleX(axial->axes());
    EXPECT_EQ(shownAt(axial, c + QPointF(-0.4 * s, -0.4 * s)), shownAt(axial, c));
    EXPECT_EQ(shownAt(axial, c + QPointF(0.4 * s, 0.4 * s)), shownAt(axial, c));

    // The middle button drags the plane along; so does the left with Space held.
    const PlaneViewport zoomed = axial->viewport();
    press(axial, QEvent::MouseButtonPress, {50, 50}, Qt::MiddleButton, Qt::MiddleButton);
    press(axial, QEvent::MouseMove, {80, 40}, Qt::NoButton, Qt::MiddleButton);
    press(axial, QEvent::MouseButtonRelease, {80, 40}, Qt::MiddleButton, Qt::NoButton);
    EXPECT_DOUBLE_EQ(axial->viewport().originX, zoomed.originX + 30);
    EXPECT_DOUBLE_EQ(axial->viewport().originY, zoomed.originY - 10);
    const VoxelIndex cross = planes->crosshair();
    QTest::keyPress(axial, Qt::Key_Space);
    press(axial, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton, Qt::LeftButton);
    press(axial, QEvent::MouseMove, {45, 50}, Qt::NoButton, Qt::LeftButton);
    press(axial, QEvent::MouseButtonRelease, {45, 50}, Qt::LeftButton, Qt::NoButton);
    QTest::keyRelease(axial, Qt::Key_Space);
    EXPECT_DOUBLE_EQ(axial->viewport().originX, zoomed.originX + 25);
    EXPECT_EQ(planes->crosshair().i, cross.i) << "a pan is no click";

    QTest::keyClick(axial, Qt::Key_Home);
    EXPECT_DOUBLE_EQ(axial->viewport().pxPerMm, fitted);
    EXPECT_EQ(axial->pixelAt(at), before);
}

TEST_F(PlanesWindowTest, AVolumeShowsAtItsOwnResolutionAndShapeTheRightWayUp)
{
    // 300 x 4 x 4 voxels of 0.5 x 2 x 3 mm: wider than the main window's
    // slices (which halve it) and thin, i toward the patient's left and k
    // downward; a marker one voxel in from the left, anterior and superior faces.
    auto nim = niftifiles::makeVolume(DT_UINT8, 300, 4, 4);
    niftifiles::setAxes(*nim, {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}});
    nim->dx = nim->pixdim[1] = 0.5f;
    nim->dy = nim->pixdim[2] = 2.0f;
    nim->dz = nim->pixdim[3] = 3.0f;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            nim->sto_xyz.m[r][c] *= (c == 0 ? 0.5f : c == 1 ? 2.0f : 3.0f);
    niftifiles::setVoxel(*nim, 298 + 300 * (2 + 4 * 1), 255);
    const std::string path = (cwd.path() / "wide.nii").string();
    niftifiles::saveVolume(*nim, path);
    ASSERT_TRUE(window->openVolumeFile(path));
    QApplication::processEvents();
    EXPECT_EQ(planes->volume().shape().extent, (std::array<int, 3>{300, 4, 4}));
    planes->setCrosshair({298, 2, 1});
    // The main window shows plane k = 1 as its slice 2 (k runs downward).
    EXPECT_EQ(window->currentImage(), 2);
    planes->setOpacity(0);
    for (const Plane plane : kPlanes) {
        SCOPED_TRACE(static_cast<int>(plane));
        PlaneView* v = view(plane);
        const PlaneAxes& a = v->axes();
        // Radiological, anterior or superior up, the true voxel shape.
        const PlanePixel marker = pixelOf(a, {298, 2, 1});
        EXPECT_EQ(marker.x, plane == Plane::Sagittal ? 1 : a.width - 2);
        EXPECT_EQ(marker.y, 1);
        EXPECT_EQ(shownAt(v, centreOf(v, marker)), 0xFFFFFFu);
        const ScreenRect r = planeRect(a, v->viewport());
        EXPECT_NEAR(r.width / r.height, (a.width * a.mmX) / (a.height * a.mmY), 1e-9);
    }
    // One voxel of 0.5 mm per pixel: the coronal plane is 300 wide and 24 high.
    planes->showActualSize();
    const ScreenRect coronal =
        planeRect(view(Plane::Coronal)->axes(), view(Plane::Coronal)->viewport());
    EXPECT_DOUBLE_EQ(coronal.width, 300.0);
    EXPECT_DOUBLE_EQ(coronal.height, 24.0);
}

TEST_F(PlanesWindowTest, ThinVolumesAndOneSliceShowWhatThereIsAndNoSlicesSaySo)
{
    // A 1 x 1 x 6 volume, then a directory of one slice.
    auto nim = niftifiles::makeVolume(DT_INT16, 1, 1, 6);
    for (int k = 0; k < 6; ++k)
        niftifiles::setVoxel(*nim, k, k * 10);
    const std::string path = (cwd.path() / "line.nii").string();
    niftifiles::saveVolume(*nim, path);
    ASSERT_TRUE(window->openVolumeFile(path));
    planes->showActualSize();
    for (const Plane plane : kPlanes) {
        PlaneView* v = view(plane);
        EXPECT_EQ(v->picture().width() * v->picture().height(), plane == Plane::Axial ? 1 : 6);
        click(v, centreOf(v, {0, 0}));
        wheel(v, centreOf(v, {0, 0}), -1200);
        wheel(v, centreOf(v, {0, 0}), 2400);
        QTest::keyClick(v, Qt::Key_PageDown);
        EXPECT_TRUE(planes->volume().shape().holds(planes->crosshair()));
    }
    EXPECT_EQ(planes->crosshair().i, 0);
    EXPECT_EQ(planes->crosshair().j, 0);

    const std::filesystem::path one = cwd.path() / "one";
    guitest::writeTestStack(one, 1);
    guitest::answerFileDialog(QString::fromStdString(one.string()), [&] { window->selOpen(); });
    QApplication::processEvents();
    EXPECT_EQ(planes->volume().shape().extent, (std::array<int, 3>{256, 256, 1}));
    EXPECT_EQ(planes->crosshair().k, 0);
    PlaneView* sagittal = view(Plane::Sagittal);
    EXPECT_EQ(sagittal->picture().height(), 1);
    click(sagittal, centreOf(sagittal, {17, 0}));
    EXPECT_EQ(planes->crosshair().j, 17);
    EXPECT_EQ(window->currentImage(), 0);

    const std::filesystem::path none = cwd.path() / "none";
    std::filesystem::create_directories(none);
    guitest::answerFileDialog(QString::fromStdString(none.string()), [&] { window->selOpen(); });
    QApplication::processEvents();
    EXPECT_TRUE(planes->volume().empty());
    EXPECT_TRUE(view(Plane::Axial)->picture().isNull());
    click(view(Plane::Axial), {10, 10});
    QTest::keyClick(view(Plane::Axial), Qt::Key_PageUp);
}

} // namespace
