#include "gui/planes/PlaneView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

// The crosshair: bright enough over grey and over every palette colour.
const QColor kCrosshair(255, 210, 0, 200);
// One notch of the wheel (120 eighths of a degree) zooms by the square root of 2.
constexpr double kNotch = 120.0;

} // namespace

PlaneView::PlaneView(lumidra::Plane plane, QWidget* parent) : QWidget(parent)
{
    axes_.plane = plane;
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 160);
}

void PlaneView::setAxes(const lumidra::PlaneAxes& axes, double finestMm)
{
    axes_ = axes;
    finestMm_ = finestMm;
    hint_.clear();
    if (picture_.width() != axes.width || picture_.height() != axes.height)
        picture_ = QImage(axes.width, axes.height, QImage::Format_RGB32);
    fitPlane();
}

void PlaneView::showNothing(const QString& hint)
{
    hint_ = hint;
    picture_ = QImage();
    update();
}

void PlaneView::setCrosshair(lumidra::PlanePixel p)
{
    crosshair_ = p;
    update();
}

void PlaneView::fitPlane()
{
    viewport_ = lumidra::fittedViewport(axes_, width(), height());
    fitted_ = true;
    update();
}

void PlaneView::showActualSize()
{
    viewport_ =
        lumidra::actualSizeViewport(axes_, finestMm_, width(), height(), devicePixelRatioF());
    fitted_ = false;
    update();
}

void PlaneView::zoomAt(QPointF at, double factor)
{
    lumidra::zoomAround(viewport_, at.x(), at.y(), factor,
                        lumidra::zoomLimits(axes_, finestMm_, width(), height()));
    fitted_ = false;
    update();
}

// A point stands for the device pixel it falls in, whose centre is what the picture shows there.
std::optional<lumidra::PlanePixel> PlaneView::pixelAt(QPointF at) const
{
    if (picture_.isNull())
        return std::nullopt;
    return lumidra::pixelUnder(axes_, viewport_, at.x(), at.y());
}

namespace {

QPointF devicePixelCentre(const QWidget& w, QPointF at)
{
    const double half = 0.5 / w.devicePixelRatioF();
    return {std::floor(at.x() * w.devicePixelRatioF()) / w.devicePixelRatioF() + half,
            std::floor(at.y() * w.devicePixelRatioF()) / w.devicePixelRatioF() + half};
}

} // namespace

void PlaneView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (picture_.isNull()) {
        painter.setPen(Qt::gray);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, hint_);
        return;
    }
    const lumidra::ScreenRect r = lumidra::planeRect(axes_, viewport_);
    painter.drawImage(QRectF(r.x, r.y, r.width, r.height), picture_);
    drawCrosshair(painter);
    drawLetters(painter);
}

void PlaneView::drawCrosshair(QPainter& painter) const
{
    const auto [x, y] = lumidra::pixelCentre(axes_, viewport_, crosshair_);
    // A gap around the voxel itself, so the lines never hide what they point at.
    const double gap =
        std::max({4.0, viewport_.scaleX(axes_) * 0.75, viewport_.scaleY(axes_) * 0.75});
    QPen pen(kCrosshair);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawLine(QPointF(0, y), QPointF(x - gap, y));
    painter.drawLine(QPointF(x + gap, y), QPointF(width(), y));
    painter.drawLine(QPointF(x, 0), QPointF(x, y - gap));
    painter.drawLine(QPointF(x, y + gap), QPointF(x, height()));
}

void PlaneView::drawLetters(QPainter& painter) const
{
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int margin = 6;
    const int middleY = height() / 2 + metrics.ascent() / 2;
    const auto& l = axes_.letters;
    const std::pair<QPoint, char> placed[] = {
        {{margin, middleY}, l[0]},
        {{width() - margin - metrics.horizontalAdvance(QChar(l[1])), middleY}, l[1]},
        {{(width() - metrics.horizontalAdvance(QChar(l[2]))) / 2, margin + metrics.ascent()}, l[2]},
        {{(width() - metrics.horizontalAdvance(QChar(l[3]))) / 2,
          height() - margin - metrics.descent()},
         l[3]},
    };
    for (const auto& [at, letter] : placed) {
        painter.setPen(Qt::black);
        painter.drawText(at + QPoint(1, 1), QString(QChar(letter)));
        painter.setPen(QColor(230, 230, 230));
        painter.drawText(at, QString(QChar(letter)));
    }
}

void PlaneView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (fitted_)
        fitPlane();
}

void PlaneView::pickAt(QPointF at)
{
    if (const auto p = pixelAt(devicePixelCentre(*this, at)))
        emit picked(*p);
}

void PlaneView::mousePressEvent(QMouseEvent* event)
{
    const bool pan =
        event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && spaceHeld_);
    if (pan) {
        panning_ = true;
        panFrom_ = event->position();
        setCursor(Qt::ClosedHandCursor);
    } else if (event->button() == Qt::LeftButton) {
        picking_ = true;
        pickAt(event->position());
    }
    event->accept();
}

void PlaneView::mouseMoveEvent(QMouseEvent* event)
{
    if (panning_) {
        const QPointF by = event->position() - panFrom_;
        panFrom_ = event->position();
        viewport_.originX += by.x();
        viewport_.originY += by.y();
        fitted_ = false;
        update();
    } else if (picking_) {
        pickAt(event->position());
    }
    if (const auto p = pixelAt(devicePixelCentre(*this, event->position())))
        emit hovered(*p);
    else
        emit hoverLeft();
}

void PlaneView::mouseReleaseEvent(QMouseEvent* event)
{
    if (panning_ && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
        panning_ = false;
        unsetCursor();
    }
    if (event->button() == Qt::LeftButton)
        picking_ = false;
}

void PlaneView::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / kNotch;
    if (notches != 0.0 && !picture_.isNull())
        zoomAt(devicePixelCentre(*this, event->position()), std::pow(std::sqrt(2.0), notches));
    event->accept();
}

void PlaneView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
        emit stepRequested(1);
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_PageDown:
        emit stepRequested(-1);
        break;
    case Qt::Key_Home:
        fitPlane();
        break;
    case Qt::Key_Space:
        spaceHeld_ = true;
        setCursor(Qt::OpenHandCursor);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PlaneView::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        spaceHeld_ = false;
        if (!panning_)
            unsetCursor();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

// The keys step the plane under the cursor.
void PlaneView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    setFocus(Qt::MouseFocusReason);
}

void PlaneView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit hoverLeft();
}

void PlaneView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    spaceHeld_ = false;
    if (!panning_)
        unsetCursor();
}
