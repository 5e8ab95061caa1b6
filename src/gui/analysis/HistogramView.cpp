#include "gui/analysis/HistogramView.h"

#include "core/regions/RegionTable.h"
#include "core/stats/RegionStats.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kLeft = 56; // room for the count labels
constexpr double kRight = 12;
constexpr double kTop = 12;
constexpr double kBottom = 40; // the owner strip and the grey labels
constexpr double kStrip = 8;
constexpr double kGrab = 5; // how near an edge a press takes it

const QColor kBackground(236, 236, 236);
const QColor kNoOwner(196, 196, 196);
const QColor kCurve(40, 40, 40);

// A region's colour as dr2 paints it: the low 8 bits of each component.
QColor regionColour(const imgMaterial& r)
{
    return QColor(lumidra::colourByte(r.red), lumidra::colourByte(r.green),
                  lumidra::colourByte(r.blue));
}

QColor classColour(int c)
{
    const lumidra::RegionColour colour = lumidra::classColour(c);
    return QColor(colour.red, colour.green, colour.blue);
}

} // namespace

HistogramView::HistogramView(QWidget* parent) : QWidget(parent)
{
    setObjectName("histogram");
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize HistogramView::sizeHint() const
{
    return QSize(static_cast<int>(kLeft + kRight) + 3 * 256, 260);
}

QSize HistogramView::minimumSizeHint() const
{
    return QSize(static_cast<int>(kLeft + kRight) + 256, 160);
}

// Each setter repaints only when what is drawn changes: the window sends the
// whole state on every region edit, and most edits change little of it.
void HistogramView::setCounts(const lumidra::GreyCounts& c)
{
    if (c == counts)
        return;
    counts = c;
    update();
}

void HistogramView::setLogarithmic(bool on)
{
    if (on == log)
        return;
    log = on;
    update();
}

void HistogramView::setRegions(const imgMaterial* t, int c)
{
    if (t)
        std::copy_n(t, lumidra::kRegionCount, table.begin());
    current = c;
    updateBands();
}

void HistogramView::setPreview(std::vector<lumidra::GreyRange> classes)
{
    previewClasses = std::move(classes);
    updateBands();
}

void HistogramView::clearPreview()
{
    previewClasses.clear();
    updateBands();
}

void HistogramView::updateBands()
{
    std::array<QRgb, 256> colour;
    colour.fill(kNoOwner.rgb());
    if (previewClasses.empty()) {
        const lumidra::RegionByGrey owner =
            lumidra::regionsByGrey(table.data(), lumidra::kShowAllRegions);
        for (int v = 0; v < 256; ++v)
            if (owner[v] != lumidra::kNoRegion)
                colour[v] = regionColour(table[owner[v]]).rgb();
    } else {
        for (std::size_t c = 0; c < previewClasses.size(); ++c)
            for (int v = previewClasses[c].min; v <= previewClasses[c].max; ++v)
                colour[v] = classColour(static_cast<int>(c)).rgb();
    }
    const std::optional<lumidra::GreyRange> range = currentRange();
    if (colour == bandColour && range == drawnRange && previewClasses == drawnPreview)
        return;
    bandColour = colour;
    drawnRange = range;
    drawnPreview = previewClasses;
    update();
}

QRectF HistogramView::plotArea() const
{
    return QRectF(kLeft, kTop, std::max(1.0, width() - kLeft - kRight),
                  std::max(1.0, height() - kTop - kBottom));
}

double HistogramView::edgeX(int v) const
{
    const QRectF area = plotArea();
    return area.left() + area.width() * v / 256.0;
}

int HistogramView::greyAt(double x) const
{
    const QRectF area = plotArea();
    const int v = static_cast<int>(std::floor((x - area.left()) * 256.0 / area.width()));
    return std::clamp(v, 0, 255);
}

// Linear counts are scaled to the highest bin unless it towers over all the
// others (a scan's background, typically): then to the second highest, and
// the tower is clipped.
double HistogramView::scaleTop() const
{
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    for (std::uint64_t c : counts) {
        if (c > first) {
            second = first;
            first = c;
        } else if (c > second) {
            second = c;
        }
    }
    if (log)
        return std::log10(1.0 + static_cast<double>(first));
    if (second > 0 && first > 2 * second)
        return 1.5 * static_cast<double>(second);
    return static_cast<double>(first);
}

std::array<double, 256> HistogramView::heights() const
{
    std::array<double, 256> h{};
    const double top = scaleTop();
    if (top <= 0)
        return h;
    for (int v = 0; v < 256; ++v) {
        const double c = static_cast<double>(counts[v]);
        h[v] = (log ? std::log10(1.0 + c) : c) / top;
    }
    return h;
}

// The current record's range as the colouring reads it.
std::optional<lumidra::GreyRange> HistogramView::currentRange() const
{
    if (current < 0 || current >= lumidra::kRegionCount)
        return std::nullopt;
    return lumidra::greyRangeOf(table[current]);
}

HistogramView::Edge HistogramView::edgeNear(double x) const
{
    if (!previewClasses.empty())
        return Edge::None;
    const auto range = currentRange();
    if (!range)
        return Edge::None;
    const double toMin = std::abs(x - edgeX(range->min));
    const double toMax = std::abs(x - edgeX(range->max + 1));
    if (std::min(toMin, toMax) > kGrab)
        return Edge::None;
    return toMin <= toMax ? Edge::Min : Edge::Max;
}

void HistogramView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.fillRect(plotArea(), kBackground);
    const std::array<double, 256> h = heights();
    paintBands(p, h);
    paintCurve(p, h);
    if (previewClasses.empty())
        paintCurrent(p);
    else
        paintPreview(p);
    paintAxes(p);
}

void HistogramView::paintBands(QPainter& p, const std::array<double, 256>& h) const
{
    const QRectF area = plotArea();
    for (int v = 0; v < 256; ++v) {
        const double x0 = edgeX(v);
        const double x1 = edgeX(v + 1);
        const double bar = std::min(h[v], 1.0) * area.height();
        const QColor colour = QColor::fromRgb(bandColour[v]);
        p.fillRect(QRectF(x0, area.bottom() - bar, x1 - x0, bar), colour);
        p.fillRect(QRectF(x0, area.bottom() + 2, x1 - x0, kStrip), colour);
    }
}

void HistogramView::paintCurve(QPainter& p, const std::array<double, 256>& h) const
{
    const QRectF area = plotArea();
    QPainterPath path(QPointF(edgeX(0), area.bottom()));
    for (int v = 0; v < 256; ++v) {
        const double y = area.bottom() - std::min(h[v], 1.0) * area.height();
        path.lineTo(edgeX(v), y);
        path.lineTo(edgeX(v + 1), y);
    }
    path.lineTo(edgeX(256), area.bottom());
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kCurve, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    // A clipped bar is marked at the top, so nobody reads it as full height.
    p.setPen(QPen(kCurve, 2));
    for (int v = 0; v < 256; ++v)
        if (h[v] > 1.0)
            p.drawLine(QPointF(edgeX(v) - 2, area.top() + 3),
                       QPointF(edgeX(v + 1) + 2, area.top() + 3));
}

void HistogramView::paintCurrent(QPainter& p) const
{
    const auto range = currentRange();
    if (!range)
        return;
    const QRectF area = plotArea();
    const QRectF band(QPointF(edgeX(range->min), area.top()),
                      QPointF(edgeX(range->max + 1), area.bottom() + 2 + kStrip));
    // White under black dashes: visible over any region colour.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3));
    p.drawRect(band);
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    p.drawRect(band);
    // Handles at the top of the two draggable edges.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::black);
    for (double x : {band.left(), band.right()}) {
        const QPointF tri[3] = {{x - 5, area.top() - 8}, {x + 5, area.top() - 8}, {x, area.top()}};
        p.drawPolygon(tri, 3);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
}

void HistogramView::paintPreview(QPainter& p) const
{
    const QRectF area = plotArea();
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    for (std::size_t c = 1; c < previewClasses.size(); ++c) {
        const double x = edgeX(previewClasses[c].min);
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom() + 2 + kStrip));
    }
    p.setPen(palette().windowText().color());
    p.drawText(area.adjusted(6, 4, -6, -4), Qt::AlignTop | Qt::AlignRight,
               tr("Suggested: %1 classes").arg(previewClasses.size()));
}

void HistogramView::paintAxes(QPainter& p) const
{
    const QRectF area = plotArea();
    p.setPen(palette().windowText().color());
    const QFontMetrics fm = fontMetrics();
    const double labelTop = area.bottom() + 4 + kStrip;
    for (int v : {0, 32, 64, 96, 128, 160, 192, 224, 255}) {
        const double x = (edgeX(v) + edgeX(v + 1)) / 2;
        p.drawLine(QPointF(x, area.bottom() + 2 + kStrip), QPointF(x, labelTop + 2));
        const QString label = QString::number(v);
        p.drawText(QRectF(x - 20, labelTop + 2, 40, fm.height()), Qt::AlignHCenter, label);
    }
    const double top = scaleTop();
    const QString topLabel =
        log ? QStringLiteral("10^%1").arg(top, 0, 'f', 1) : QLocale().toString(std::llround(top));
    p.drawText(QRectF(0, area.top() - fm.height() / 2.0, kLeft - 6, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, topLabel);
    p.drawText(QRectF(0, area.bottom() - fm.height(), kLeft - 6, fm.height()),
               Qt::AlignRight | Qt::AlignBottom, QStringLiteral("0"));
    p.drawText(QRectF(0, area.center().y() - fm.height() / 2.0, kLeft - 6, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, log ? tr("log") : tr("linear"));
}

void HistogramView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragging = edgeNear(event->position().x());
    QWidget::mousePressEvent(event);
}

void HistogramView::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (dragging == Edge::None) {
        setCursor(edgeNear(x) == Edge::None ? Qt::ArrowCursor : Qt::SizeHorCursor);
        showHoverText(event->globalPosition().toPoint(), greyAt(x));
        return;
    }
    const auto range = currentRange();
    if (!range)
        return;
    // The edge goes to the bin boundary nearest the cursor, and never past the other edge.
    const QRectF area = plotArea();
    const int boundary = static_cast<int>(std::lround((x - area.left()) * 256.0 / area.width()));
    if (dragging == Edge::Min) {
        const int v = std::clamp(boundary, 0, range->max);
        if (v != range->min)
            emit minDragged(v);
    } else {
        const int v = std::clamp(boundary - 1, range->min, 255);
        if (v != range->max)
            emit maxDragged(v);
    }
}

void HistogramView::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasDragging = dragging != Edge::None;
    dragging = Edge::None;
    if (wasDragging)
        emit dragFinished();
    QWidget::mouseReleaseEvent(event);
}

void HistogramView::leaveEvent(QEvent* event)
{
    QToolTip::hideText();
    QWidget::leaveEvent(event);
}

void HistogramView::showHoverText(QPoint at, int grey)
{
    QString text = tr("grey %1: %2 voxels")
                       .arg(grey)
                       .arg(QLocale().toString(static_cast<qulonglong>(counts[grey])));
    if (previewClasses.empty()) {
        const int owner = lumidra::regionsByGrey(table.data(), lumidra::kShowAllRegions)[grey];
        if (owner != lumidra::kNoRegion) {
            const imgMaterial& r = table[owner];
            text += tr(", region %1 \"%2\"")
                        .arg(owner)
                        .arg(QString::fromLatin1(r.name, strnlen(r.name, sizeof r.name)));
        }
    }
    QToolTip::showText(at, text, this);
}
