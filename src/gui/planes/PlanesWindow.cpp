#include "gui/planes/PlanesWindow.h"

#include "core/common/Parallel.h"
#include "core/stats/CursorReading.h"
#include "gui/model/Workspace.h"
#include "gui/planes/PlaneView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <cstring>

using lumidra::Plane;

namespace {

constexpr int kDefaultOpacity = 50;

const char* planeName(Plane plane)
{
    switch (plane) {
    case Plane::Axial:
        return "Axial";
    case Plane::Coronal:
        return "Coronal";
    case Plane::Sagittal:
        break;
    }
    return "Sagittal";
}

} // namespace

PlanesWindow::PlanesWindow(Workspace* work, QWidget* parent)
    : QWidget(parent, Qt::Window), work(work)
{
    setObjectName("Three Planes Window");
    setWindowTitle(tr("Lumidra - Three Planes"));
    buildLayout();
    follow();
    resize(920, 900);
}

void PlanesWindow::buildLayout()
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setSpacing(6);
    const std::array<QPoint, 3> cells{QPoint(0, 0), QPoint(1, 0), QPoint(0, 2)};
    for (const Plane plane : lumidra::kPlanes) {
        auto* caption = new QLabel(tr(planeName(plane)), this);
        auto* view = new PlaneView(plane, this);
        view->setObjectName(QString::fromLatin1(planeName(plane)).toLower() + "Plane");
        const QPoint cell = cells[index(plane)];
        grid->addWidget(caption, cell.y(), cell.x());
        grid->addWidget(view, cell.y() + 1, cell.x());
        views[index(plane)] = view;
        connect(view, &PlaneView::picked, this,
                [this, plane](lumidra::PlanePixel p) { pick(plane, p); });
        connect(view, &PlaneView::hovered, this,
                [this, plane](lumidra::PlanePixel p) { hover(plane, p); });
        connect(view, &PlaneView::hoverLeft, this, &PlanesWindow::leave);
        connect(view, &PlaneView::stepRequested, this,
                [this, plane](int steps) { step(plane, steps); });
    }
    grid->setRowStretch(1, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    auto* panel = new QVBoxLayout();
    summary = new QLabel(this);
    summary->setObjectName("summary");
    summary->setWordWrap(true);
    readingLine = new QLabel(this);
    readingLine->setObjectName("readingLine");
    readingLine->setWordWrap(true);
    readingLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* opacityRow = new QHBoxLayout();
    auto* opacityLabel = new QLabel(tr("Region &opacity"), this);
    opacitySlider = new QSlider(Qt::Horizontal, this);
    opacitySlider->setObjectName("opacity");
    opacitySlider->setRange(0, 100);
    opacitySlider->setValue(kDefaultOpacity);
    opacityLabel->setBuddy(opacitySlider);
    opacityRow->addWidget(opacityLabel);
    opacityRow->addWidget(opacitySlider, 1);
    auto* help = new QLabel(
        tr("Click or drag: move the crosshair. Wheel: zoom. Middle button, or Space and drag: "
           "pan. Home: fit. Arrow keys, Page Up / Page Down: step the plane under the cursor."),
        this);
    help->setWordWrap(true);
    panel->addWidget(summary);
    panel->addSpacing(8);
    panel->addWidget(readingLine);
    panel->addSpacing(8);
    panel->addLayout(opacityRow);
    panel->addSpacing(8);
    panel->addWidget(help);
    panel->addStretch(1);
    grid->addLayout(panel, 3, 1);

    connect(opacitySlider, &QSlider::valueChanged, this, [this] { recolour(); });
}

// The planes follow what the workspace announces, while they are shown.
void PlanesWindow::follow()
{
    connect(work, &Workspace::stackReplaced, this, [this] {
        if (isVisible())
            takeStack();
    });
    connect(work, &Workspace::sliceChanged, this, &PlanesWindow::followSlice);
    connect(work, &Workspace::regionsChanged, this, [this] { recolour(); });
    connect(work, &Workspace::shownRegionChanged, this, [this] { recolour(); });
    connect(work, &Workspace::minIslandChanged, this, [this] { recolour(); });
}

void PlanesWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (planes.stack() != work->stack() || planes.empty())
        takeStack();
}

// A closed window keeps no stack alive.
void PlanesWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    planes = lumidra::PlaneVolume();
    scratch = {};
    painted = {};
    pictured = {};
}

void PlanesWindow::takeStack()
{
    const std::array<int, 3> before = planes.shape().extent;
    planes = lumidra::PlaneVolume(work->stack());
    pictured = {};
    const lumidra::VolumeShape& shape = planes.shape();
    if (planes.empty()) {
        const QString hint = work->stack() && work->stack()->count() > 0
                                 ? tr("The volume's voxels do not fill its dimensions.")
                                 : tr("No slices loaded.");
        for (PlaneView* view : views)
            view->showNothing(hint);
        summary->setText(hint);
        readingLine->clear();
        return;
    }
    // The same dimensions (the same scan, say, reopened) keep the crosshair.
    if (shape.extent != before)
        cross = shape.centre();
    const int k = planes.planeOfSlice(work->slice());
    if (k >= 0)
        cross.k = k;
    cross = shape.clamped(cross);
    for (const Plane plane : lumidra::kPlanes)
        view(plane)->setAxes(lumidra::planeAxes(plane, shape), shape.finestMm());

    const auto& e = shape.extent;
    const auto& mm = shape.voxelMm;
    summary->setText(planes.source()
                         ? tr("Volume of %1 x %2 x %3 voxels of %4 x %5 x %6 mm")
                               .arg(e[0])
                               .arg(e[1])
                               .arg(e[2])
                               .arg(mm[0], 0, 'f', 2)
                               .arg(mm[1], 0, 'f', 2)
                               .arg(mm[2], 0, 'f', 2)
                         : tr("Slice directory of %1 slices, shown as %2 x %3 x %1 voxels of 1 mm")
                               .arg(e[2])
                               .arg(e[0])
                               .arg(e[1]));
    updateOverlay();
    redraw();
}

void PlanesWindow::followSlice(int z)
{
    if (!isVisible() || planes.empty())
        return;
    const int k = planes.planeOfSlice(z);
    if (k < 0 || k == cross.k)
        return;
    cross.k = k;
    redraw();
}

void PlanesWindow::setCrosshair(lumidra::VoxelIndex v)
{
    if (planes.empty())
        return;
    cross = planes.shape().clamped(v);
    redraw();
    const int z = planes.sliceOfPlane(cross.k);
    if (z >= 0)
        work->setSlice(z);
}

// Draws again the planes the crosshair left (all of them after a new stack
// or a new overlay) and puts the crosshair on each.
void PlanesWindow::redraw()
{
    for (int n = 0; n < 3; ++n) {
        const lumidra::PlaneAxes& axes = views[n]->axes();
        const int at = lumidra::voxelAxis(cross, axes.normal);
        if (!pictured[n] || lumidra::voxelAxis(*pictured[n], axes.normal) != at)
            drawPlane(n);
        views[n]->setCrosshair(lumidra::pixelOf(axes, cross));
    }
    showCrosshairReading();
}

void PlanesWindow::updateOverlay()
{
    const imgMaterial* regions = work->regions().records();
    // The map costs a pass over the whole scan: made again only when what it
    // depends on changed, not for a new opacity.
    const auto minIsland = static_cast<std::uint64_t>(work->minIsland());
    const bool wanted = minIsland > 0 && !planes.empty();
    const bool current =
        wanted && paintedStack == planes.stack() && paintedShown == work->shownRegion() &&
        painted.minIsland == minIsland && painted.regions.size() == lumidra::kRegionCount &&
        std::memcmp(painted.regions.data(), regions, sizeof(imgMaterial) * lumidra::kRegionCount) ==
            0;
    if (!wanted) {
        painted = {};
        paintedStack = nullptr;
    } else if (!current) {
        painted = lumidra::paintedMap(*planes.stack(), regions, work->shownRegion(), minIsland,
                                      lumidra::defaultWorkThreads());
        // Kept with the whole table, whichever records the rule read.
        painted.regions.assign(regions, regions + lumidra::kRegionCount);
        paintedStack = planes.stack();
        paintedShown = work->shownRegion();
    }
    overlay = lumidra::PlaneOverlay(regions, work->shownRegion(), opacity(),
                                    painted.labels.empty() ? nullptr : &painted);
}

void PlanesWindow::recolour()
{
    if (!isVisible() || planes.empty())
        return;
    updateOverlay();
    pictured = {};
    redraw();
}

void PlanesWindow::drawPlane(int n)
{
    const lumidra::PlaneAxes& axes = views[n]->axes();
    planes.cut(axes, cross, scratch);
    QImage& picture = views[n]->picture();
    overlay.colour(scratch, reinterpret_cast<std::uint32_t*>(picture.bits()),
                   picture.bytesPerLine() / 4);
    pictured[n] = cross;
    views[n]->update();
}

void PlanesWindow::pick(Plane plane, lumidra::PlanePixel p)
{
    setCrosshair(lumidra::voxelAt(view(plane)->axes(), cross, p));
}

void PlanesWindow::step(Plane plane, int steps)
{
    if (!planes.empty())
        setCrosshair(lumidra::stepped(view(plane)->axes(), planes.shape(), cross, steps));
}

void PlanesWindow::hover(Plane plane, lumidra::PlanePixel p)
{
    const auto reading = lumidra::readVoxel(planes, lumidra::voxelAt(view(plane)->axes(), cross, p),
                                            work->regions().records());
    if (!reading) {
        leave();
        return;
    }
    hovering = true;
    const QString text =
        QString::fromLatin1(lumidra::describeReading(*reading, work->regions().records()));
    readingLine->setText(tr("Under the cursor: %1").arg(text));
    // For every window's status line, as the main window's views do.
    work->setCursorReading(text);
}

void PlanesWindow::leave()
{
    if (!hovering)
        return;
    hovering = false;
    work->setCursorReading(QString());
    showCrosshairReading();
}

void PlanesWindow::showCrosshairReading()
{
    if (hovering)
        return;
    const auto reading = lumidra::readVoxel(planes, cross, work->regions().records());
    readingLine->setText(reading ? tr("Crosshair: %1")
                                       .arg(QString::fromLatin1(lumidra::describeReading(
                                           *reading, work->regions().records())))
                                 : QString());
}

QString PlanesWindow::readingText() const
{
    return readingLine->text();
}

int PlanesWindow::opacity() const
{
    return opacitySlider->value();
}

void PlanesWindow::setOpacity(int percent)
{
    opacitySlider->setValue(percent);
}

void PlanesWindow::showActualSize()
{
    for (PlaneView* v : views)
        v->showActualSize();
}
