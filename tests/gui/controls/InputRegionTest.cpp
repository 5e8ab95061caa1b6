// The region editor: which of its five signals a load emits, how often and
// in what order.
#include "gui/controls/InputRegion.h"

#include "gui/controls/RtSlider.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

using namespace lumidra;

namespace {

// All five signals land in one log, "tag:value " per emission.
class InputRegionPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        connectLog(&InputRegion::minSignal, "min");
        connectLog(&InputRegion::maxSignal, "max");
        connectLog(&InputRegion::redSignal, "red");
        connectLog(&InputRegion::greenSignal, "green");
        connectLog(&InputRegion::blueSignal, "blue");
    }

    void connectLog(void (InputRegion::*signal)(int), const char* tag)
    {
        QObject::connect(&panel, signal, [this, tag](int v) {
            log += std::string(tag) + ':' + std::to_string(v) + ' ';
        });
    }

    std::string takeLog() { return std::exchange(log, {}); }

    InputRegion panel{nullptr, "ir"};
    std::string log;
};

} // namespace

TEST_F(InputRegionPanel, LaysOutNameEditAndFiveSliders)
{
    auto* grid = qobject_cast<QGridLayout*>(panel.layout());
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->rowCount(), 6);
    EXPECT_EQ(grid->columnCount(), 2);
    EXPECT_EQ(panel.nameEdit, panel.findChild<QLineEdit*>("nameLE"));
    EXPECT_EQ(panel.nameEdit->maxLength(), QLineEdit().maxLength());

    const RtSlider* sliders[] = {panel.minSlider, panel.maxSlider, panel.redSlider,
                                 panel.greenSlider, panel.blueSlider};
    const char* parts[] = {"Min", "Max", "Red", "Green", "Blue"};
    for (int r = 0; r < 5; ++r) {
        const QString part = QString::fromLatin1(parts[r]);
        EXPECT_EQ(sliders[r]->objectName(), part + " Slider");
        EXPECT_EQ(sliders[r]->findChild<QLabel*>("pixLBL")->text(), part + " (0-255):  (0-255): ");
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(sliders[r]), &row, &column, &rowSpan, &columnSpan);
        EXPECT_EQ(row, r + 1);
        EXPECT_EQ(column, 0);
        EXPECT_EQ(columnSpan, 2);
    }
}

TEST_F(InputRegionPanel, LoadEmitsChangedValuesTwiceOthersOnceInOrder)
{
    QSignalSpy names(panel.nameEdit, &QLineEdit::textChanged);
    imgMaterial grey{"Grey Matter", 10, 120, 200, 30, 0};
    panel.setValues(&grey);
    EXPECT_EQ(panel.nameEdit->text(), "Grey Matter");
    EXPECT_EQ(takeLog(), "min:10 min:10 max:120 max:120 red:200 red:200 green:30 green:30 blue:0 ");

    panel.setValues(&grey);
    EXPECT_EQ(takeLog(), "min:10 max:120 red:200 green:30 blue:0 ");

    grey.red = 201;
    panel.setValues(&grey);
    EXPECT_EQ(takeLog(), "min:10 max:120 red:201 red:201 green:30 blue:0 ");
    EXPECT_EQ(names.count(), 1);

    // The sliders are not related to each other: min above max passes.
    imgMaterial inverted{"Grey Matter", 250, 5, 201, 30, 0};
    panel.setValues(&inverted);
    EXPECT_EQ(takeLog(), "min:250 min:250 max:5 max:5 red:201 green:30 blue:0 ");
}

TEST_F(InputRegionPanel, OutOfRangeValuesAndNullRecordAreNotShown)
{
    imgMaterial shown{"White", 0, 120, 0, 0, 255};
    panel.setValues(&shown);
    takeLog();

    imgMaterial wide{"White", -1, 300, 256, 0, 255};
    panel.setValues(&wide);
    EXPECT_EQ(takeLog(), "min:0 max:120 red:0 green:0 blue:255 ");
    EXPECT_EQ(panel.maxSlider->findChild<QSlider*>("minSL")->value(), 120);

    QSignalSpy names(panel.nameEdit, &QLineEdit::textChanged);
    panel.setValues(nullptr);
    EXPECT_EQ(takeLog(), "");
    EXPECT_EQ(names.count(), 0);
    EXPECT_EQ(panel.blueSlider->currentValue(), 255);
}

TEST_F(InputRegionPanel, NameFilledToTheLastByteIsReadWithinItsField)
{
    imgMaterial full{};
    std::memset(full.name, 'A', sizeof full.name);
    // The bytes after the field are no terminator either.
    full.min = 0x42424242;
    full.max = 0x42424242;
    panel.setValues(&full);
    EXPECT_EQ(panel.nameEdit->text(), QString(40, 'A'));
    EXPECT_EQ(panel.minSlider->currentValue(), 0);
}
