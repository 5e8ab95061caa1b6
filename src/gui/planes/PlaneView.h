#pragma once

#include "core/planes/PlaneGeometry.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <optional>

// One plane of the Three Planes window: its coloured cut drawn as a painted
// picture (nearest neighbour at any zoom), the crosshair and the orientation
// letters. The wheel zooms around the cursor, the middle button (or Space
// held with the left) pans, Home fits the plane again; a left click or drag
// picks a voxel, the arrow keys and Page Up / Page Down step the plane.
class PlaneView : public QWidget {
    Q_OBJECT
public:
    PlaneView(lumidra::Plane plane, QWidget* parent);

    lumidra::Plane plane() const { return axes_.plane; }
    const lumidra::PlaneAxes& axes() const { return axes_; }
    // A new volume: the picture's size changes and the view is fitted again.
    void setAxes(const lumidra::PlaneAxes& axes, double finestMm);
    // Nothing to show but a line of text.
    void showNothing(const QString& hint);

    // The picture the window colours the cut into: width x height, RGB32.
    QImage& picture() { return picture_; }
    const QImage& picture() const { return picture_; }
    void setCrosshair(lumidra::PlanePixel p);
    lumidra::PlanePixel crosshair() const { return crosshair_; }

    const lumidra::PlaneViewport& viewport() const { return viewport_; }
    // Home: the whole plane, as large as fits.
    void fitPlane();
    // One voxel of the finest axis per screen pixel.
    void showActualSize();
    // The wheel's zoom, by factor around point at (logical pixels).
    void zoomAt(QPointF at, double factor);
    // The plane pixel under a point of the view, if any.
    std::optional<lumidra::PlanePixel> pixelAt(QPointF at) const;

signals:
    void picked(lumidra::PlanePixel p);
    void hovered(lumidra::PlanePixel p);
    void hoverLeft();
    void stepRequested(int steps);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void drawCrosshair(QPainter& painter) const;
    void drawLetters(QPainter& painter) const;
    void pickAt(QPointF at);

    lumidra::PlaneAxes axes_;
    double finestMm_ = 1.0;
    lumidra::PlaneViewport viewport_;
    // Whether the view is still fitted: a resize then fits it again.
    bool fitted_ = true;
    QImage picture_;
    QString hint_;
    lumidra::PlanePixel crosshair_;
    bool spaceHeld_ = false;
    bool panning_ = false;
    bool picking_ = false;
    QPointF panFrom_;
};
