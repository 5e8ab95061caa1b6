#include "gui/controls/InputRegion.h"

#include "gui/controls/RtSlider.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <cstring>

namespace {

constexpr int kMargin = 2;
constexpr int kSpacing = 2;
constexpr int kLowest = 0;
constexpr int kHighest = 255;

struct SliderRow {
    const char* name;
    const char* label;
    RtSlider* InputRegion::*member;
    void (InputRegion::*signal)(int);
};

// Grid rows 1 to 5, top to bottom.
const SliderRow kSliderRows[] = {
    {"Min Slider", "Min (0-255): ", &InputRegion::minSlider, &InputRegion::minSignal},
    {"Max Slider", "Max (0-255): ", &InputRegion::maxSlider, &InputRegion::maxSignal},
    {"Red Slider", "Red (0-255): ", &InputRegion::redSlider, &InputRegion::redSignal},
    {"Green Slider", "Green (0-255): ", &InputRegion::greenSlider, &InputRegion::greenSignal},
    {"Blue Slider", "Blue (0-255): ", &InputRegion::blueSlider, &InputRegion::blueSignal},
};

} // namespace

InputRegion::InputRegion(QWidget* parent, const char* name) : QWidget(parent)
{
    setObjectName(QString::fromLatin1(name));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    grid->setSpacing(kSpacing);

    auto* nameLabel = new QLabel("Name:", this);
    nameLabel->setObjectName("nameLBL");
    nameEdit = new QLineEdit(this);
    nameEdit->setObjectName("nameLE");
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(nameEdit, 0, 1);

    int row = 1;
    for (const SliderRow& r : kSliderRows) {
        // Each slider has announced its 0 inside its constructor, before this
        // connection exists, so building the panel emits nothing.
        auto* slider = new RtSlider(this, r.name, kLowest, kHighest, 0, r.label);
        this->*r.member = slider;
        grid->addWidget(slider, row++, 0, 1, 2);
        connect(slider, &RtSlider::valueChanged, this, r.signal);
    }
}

void InputRegion::setValues(imgMaterial* record)
{
    if (!record)
        return;
    // A record read from a file may fill its name field without a NUL.
    const std::size_t nameLength = strnlen(record->name, sizeof record->name);
    nameEdit->setText(QString::fromLatin1(record->name, static_cast<qsizetype>(nameLength)));
    minSlider->setValue(record->min);
    maxSlider->setValue(record->max);
    redSlider->setValue(record->red);
    greenSlider->setValue(record->green);
    blueSlider->setValue(record->blue);
}
