#pragma once

#include "core/regions/ImgMaterial.h"
#include "core/stats/Otsu.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

// The grey histogram with the regions' ranges as coloured bands under the
// curve, each grey value in the colour of the region that takes it under the
// Show All rule; the current region's range outlined, its two edges
// draggable. Painted by hand: the dragging needs exact control of the edges'
// geometry, and no chart library is needed for 256 bars.
class HistogramView : public QWidget {
    Q_OBJECT
public:
    explicit HistogramView(QWidget* parent = nullptr);

    void setCounts(const lumidra::GreyCounts& counts);
    void setLogarithmic(bool on);
    void setRegions(const imgMaterial* table, int current);
    // Classes shown instead of the regions until cleared (Suggest Regions).
    void setPreview(std::vector<lumidra::GreyRange> classes);
    void clearPreview();

    bool logarithmic() const { return log; }
    // The counts the curve plots.
    const lumidra::GreyCounts& plotted() const { return counts; }
    const std::vector<lumidra::GreyRange>& preview() const { return previewClasses; }

    // Geometry, for the mouse and for tests: the x of the boundary before
    // grey value v (0 to 256), and the grey value under x.
    double edgeX(int v) const;
    int greyAt(double x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user dragged the current region's lower or upper edge to a value.
    void minDragged(int value);
    void maxDragged(int value);
    // The mouse let go of an edge it was dragging.
    void dragFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class Edge { None, Min, Max };

    QRectF plotArea() const;
    // Bar heights as fractions of the plot's height (1 = top; more is clipped).
    std::array<double, 256> heights() const;
    double scaleTop() const;
    std::optional<lumidra::GreyRange> currentRange() const;
    Edge edgeNear(double x) const;
    void paintBands(class QPainter& p, const std::array<double, 256>& h) const;
    void paintCurve(class QPainter& p, const std::array<double, 256>& h) const;
    void paintCurrent(class QPainter& p) const;
    void paintPreview(class QPainter& p) const;
    void paintAxes(class QPainter& p) const;
    void showHoverText(QPoint at, int grey);
    void updateBands();

    lumidra::GreyCounts counts{};
    bool log = false;
    std::array<imgMaterial, lumidra::kRegionCount> table{};
    int current = 0;
    std::vector<lumidra::GreyRange> previewClasses;
    Edge dragging = Edge::None;
    // What the last repaint request drew: the colour of each grey value's band.
    std::array<QRgb, 256> bandColour{};
    std::optional<lumidra::GreyRange> drawnRange;
    std::vector<lumidra::GreyRange> drawnPreview;
};
