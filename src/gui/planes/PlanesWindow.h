#pragma once

#include "core/planes/PlaneOverlay.h"
#include "core/planes/PlaneVolume.h"

#include <QString>
#include <QWidget>

#include <array>
#include <optional>

class PlaneView;
class Workspace;
class QLabel;
class QSlider;

// Volume → Three Planes…: the axial, coronal and sagittal planes of the scan
// through one voxel, at the scan's own resolution and voxel shape, with the
// regions over the grey by the colour view's rule. The crosshair's plane of
// the main window's slices is the main window's slice: a click sets it
// through the workspace, and paging the main window moves the crosshair.
class PlanesWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own (parent is the window it stands beside).
    PlanesWindow(Workspace* work, QWidget* parent);

    PlaneView* view(lumidra::Plane plane) const { return views[index(plane)]; }
    const lumidra::PlaneVolume& volume() const { return planes; }
    lumidra::VoxelIndex crosshair() const { return cross; }
    // Moves the crosshair to a voxel (kept inside the volume) in all three
    // planes, and the main window to the slice that shows it.
    void setCrosshair(lumidra::VoxelIndex v);
    int opacity() const;
    void setOpacity(int percent);
    // Every plane at one voxel of the finest axis per screen pixel.
    void showActualSize();
    // The reading line: under the cursor, or at the crosshair.
    QString readingText() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    static int index(lumidra::Plane plane) { return static_cast<int>(plane); }
    void buildLayout();
    void follow();
    void takeStack();
    void followSlice(int z);
    void redraw();
    void recolour();
    void updateOverlay();
    void drawPlane(int n);
    void pick(lumidra::Plane plane, lumidra::PlanePixel p);
    void step(lumidra::Plane plane, int steps);
    void hover(lumidra::Plane plane, lumidra::PlanePixel p);
    void leave();
    void showCrosshairReading();

    Workspace* work;
    std::array<PlaneView*, 3> views{};
    QSlider* opacitySlider = nullptr;
    QLabel* summary = nullptr;
    QLabel* readingLine = nullptr;

    lumidra::PlaneVolume planes;
    // One cut at a time, coloured at once: the pictures are all the window keeps.
    lumidra::PlaneCut scratch;
    // The voxel each picture was cut through; none when it must be cut again.
    std::array<std::optional<lumidra::VoxelIndex>, 3> pictured;
    lumidra::PlaneOverlay overlay{nullptr, 0, 0};
    // What the colour view's rule paints with the workspace's small islands
    // left out; empty while it keeps every piece.
    lumidra::RegionMap painted;
    lumidra::SharedSliceStack paintedStack;
    int paintedShown = 0;
    lumidra::VoxelIndex cross;
    // Whether the reading line, and the workspace's, show a voxel under the cursor.
    bool hovering = false;
};
