#include "gui/controls/RtSlider.h"

#include "core/common/TextField.h"
#include "gui/controls/ControlParts.h"

#include <QSlider>

namespace {

constexpr int kMargin = 5;
constexpr int kSpacing = 5;
constexpr int kCaptionWidth = 105;

QSlider* makeInnerSlider(RtSlider* owner, int min, int max, int value)
{
    auto* slider = new QSlider(Qt::Horizontal, owner);
    slider->setObjectName("minSL");
    slider->setRange(min, max);
    slider->setValue(value);
    slider->setPageStep(1);
    return slider;
}

// Both ways: the slider only emits when its position moves, which ends the
// exchange after one round trip.
void coupleInnerSlider(RtSlider* owner, QSlider* slider)
{
    QObject::connect(owner, &RtSlider::valueChanged, slider, &QSlider::setValue);
    QObject::connect(slider, &QSlider::valueChanged, owner, &RtSlider::setValue);
}

} // namespace

RtSlider::RtSlider(QWidget* parent, const char* name, int min, int max, int value,
                   const char* label)
    : QWidget(parent), value(value), min(min), max(max)
{
    setObjectName(QString::fromLatin1(name));
    QGridLayout* grid = makeGrid(this, kMargin, kSpacing);
    lumidra::copyBounded(labelText, label);

    QLabel* caption = makeCaptionLabel(this, composeCaption(labelText, min, max));
    caption->setFixedWidth(kCaptionWidth);
    grid->addWidget(caption, 0, 0);

    grid->addWidget(makeStepButton(this, "-", &RtSlider::subtractStep), 0, 1);

    slider = makeInnerSlider(this, min, max, value);
    coupleInnerSlider(this, slider);
    grid->addWidget(slider, 0, 2);

    grid->addWidget(makeStepButton(this, "+", &RtSlider::addStep), 0, 3);

    QLCDNumber* display = makeDisplay(this);
    connect(this, &RtSlider::valueChanged, display, qOverload<int>(&QLCDNumber::display));
    // Sets the display; the owner connects later and never sees this one.
    emit valueChanged(value);
    grid->addWidget(display, 0, 4);
}

void RtSlider::addStep()
{
    value = stepUp(value, max);
    emit valueChanged(value);
}

void RtSlider::subtractStep()
{
    value = stepDown(value, min);
    emit valueChanged(value);
}

void RtSlider::setValue(int v)
{
    value = valueInRange(value, v, min, max);
    emit valueChanged(value);
}
