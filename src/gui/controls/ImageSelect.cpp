#include "gui/controls/ImageSelect.h"

#include "core/common/TextField.h"
#include "gui/controls/ControlParts.h"

namespace {

constexpr int kMargin = 8;
constexpr int kSpacing = 8;

} // namespace

ImageSelect::ImageSelect(QWidget* parent, const char* name, int min, int max, int value,
                         const char* label)
    : QWidget(parent), value(value), min(min), max(max)
{
    setObjectName(QString::fromLatin1(name));
    QGridLayout* grid = makeGrid(this, kMargin, kSpacing);
    lumidra::copyBounded(labelText, label);

    QLabel* caption = makeCaptionLabel(this, composeCaption(labelText, min, max));
    connect(this, &ImageSelect::updateText, caption, &QLabel::setText);
    grid->addWidget(caption, 0, 0);

    grid->addWidget(makeStepButton(this, "-", &ImageSelect::subtractStep), 0, 1);

    QLCDNumber* display = makeDisplay(this);
    connect(this, &ImageSelect::valueChanged, display, qOverload<int>(&QLCDNumber::display));
    grid->addWidget(display, 0, 2);

    grid->addWidget(makeStepButton(this, "+", &ImageSelect::addStep), 0, 3);
}

void ImageSelect::forceValue(int v)
{
    value = v;
    emit valueChanged(value);
}

// The reset is announced while the old bounds still hold, so listeners turn
// to slice 0 before the range moves.
void ImageSelect::changeMin(int m)
{
    forceValue(0);
    min = m;
    announceCaption();
}

void ImageSelect::changeMax(int m)
{
    forceValue(0);
    max = m;
    announceCaption();
}

void ImageSelect::changeLabel(const char* text)
{
    if (text)
        lumidra::copyBounded(labelText, text);
    announceCaption();
}

void ImageSelect::addStep()
{
    value = stepUp(value, max);
    emit valueChanged(value);
}

void ImageSelect::subtractStep()
{
    value = stepDown(value, min);
    emit valueChanged(value);
}

void ImageSelect::setValue(int v)
{
    value = valueInRange(value, v, min, max);
    emit valueChanged(value);
}

void ImageSelect::announceCaption()
{
    emit updateText(composeCaption(labelText, min, max));
}
