#include "gui/analysis/CursorProbe.h"

#include "core/stats/CursorReading.h"
#include "gui/model/Workspace.h"
#include "gui/views/DisplayRegion.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

#include <algorithm>

CursorProbe::CursorProbe(Workspace* work, std::initializer_list<DisplayRegion*> views,
                         QObject* parent)
    : QObject(parent), work(work), views(views)
{
    setObjectName("cursorProbe");
    for (DisplayRegion* view : this->views) {
        view->setMouseTracking(true);
        view->installEventFilter(this);
    }
}

bool CursorProbe::eventFilter(QObject* watched, QEvent* event)
{
    auto it = std::find(views.begin(), views.end(), watched);
    if (it == views.end())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto* move = static_cast<QMouseEvent*>(event);
        read(*it, move->position().toPoint(), move->globalPosition().toPoint());
        break;
    }
    case QEvent::ToolTip: {
        // The tooltip follows every move already; Qt's own would hide it.
        auto* help = static_cast<QHelpEvent*>(event);
        read(*it, help->pos(), help->globalPos());
        return true;
    }
    case QEvent::Leave:
        QToolTip::hideText();
        announce(QString());
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CursorProbe::read(DisplayRegion* view, QPoint at, QPoint global)
{
    const lumidra::SharedSliceStack& stack = view->sliceStack();
    const imgMaterial* regions = work->regions().records();
    std::optional<lumidra::CursorReading> reading;
    if (stack)
        reading = lumidra::readUnderCursor(*stack, view->imageIndex(), at.x(), at.y(), regions);
    if (!reading) {
        QToolTip::hideText();
        announce(QString());
        return;
    }
    const QString text = QString::fromLatin1(lumidra::describeReading(*reading, regions));
    QToolTip::showText(global, text, view);
    announce(text);
}

void CursorProbe::announce(const QString& text)
{
    if (text == last)
        return;
    last = text;
    work->setCursorReading(text);
    emit readingChanged(text);
}
