#pragma once

#include <QGridLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QString>

#include <cstddef>
#include <cstdio>

// Pieces shared by the stepping controls: their caption, number display and
// "-"/"+" buttons.

constexpr std::size_t kCaptionBytes = 300;
constexpr int kStepButtonWidth = 36;

// "text (lo-hi): ", cut at the end of the caption field when it does not fit.
inline QString composeCaption(const char* text, int lo, int hi)
{
    char caption[kCaptionBytes];
    if (std::snprintf(caption, sizeof caption, "%s (%d-%d): ", text, lo, hi) < 0)
        caption[0] = '\0';
    return QString::fromLatin1(caption);
}

inline QGridLayout* makeGrid(QWidget* owner, int margin, int spacing)
{
    auto* grid = new QGridLayout(owner);
    grid->setContentsMargins(margin, margin, margin, margin);
    grid->setSpacing(spacing);
    return grid;
}

inline QLabel* makeCaptionLabel(QWidget* owner, const QString& caption)
{
    auto* label = new QLabel(caption, owner);
    label->setObjectName("pixLBL");
    return label;
}

inline QLCDNumber* makeDisplay(QWidget* owner)
{
    auto* display = new QLCDNumber(3, owner);
    display->setObjectName("pixLCD");
    return display;
}

// The stepping rules both controls share: a step stops at its bound, and a
// value outside the range leaves the current one.
inline int stepUp(int value, int max)
{
    return value < max ? value + 1 : value;
}
inline int stepDown(int value, int min)
{
    return value > min ? value - 1 : value;
}
inline int valueInRange(int current, int requested, int min, int max)
{
    return min <= requested && requested <= max ? requested : current;
}

// Steps on pressed(), so a press gives one step and the release nothing more.
// Kept narrow: a one-character button needs little room, which goes to the slider.
template <class Control>
QPushButton* makeStepButton(Control* owner, const char* text, void (Control::*step)())
{
    auto* button = new QPushButton(QString::fromLatin1(text), owner);
    button->setMaximumWidth(kStepButtonWidth);
    QObject::connect(button, &QPushButton::pressed, owner, step);
    return button;
}
