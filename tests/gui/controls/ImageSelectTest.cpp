// The slice selector: no echo, and a range change that resets the value
// before the new caption goes out.
#include "gui/controls/ImageSelect.h"

#include "GuiTestSupport.h"

#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using guitest::heard;
using guitest::stepButton;

QString caption(const ImageSelect& select)
{
    return select.findChild<QLabel*>("pixLBL")->text();
}

// Both signals in one sequence, with the bounds each one found.
struct Event {
    QString what;
    int min;
    int max;
    bool operator==(const Event&) const = default;
};

} // namespace

TEST(ImageSelect, CaptionFollowsLabelWithoutEmittingValues)
{
    ImageSelect select(nullptr, "imgSel", 0, 42, 7, "Image Number: ");
    EXPECT_EQ(caption(select), "Image Number:  (0-42): ");
    // Nothing is announced while building, so the display still reads 0.
    EXPECT_EQ(select.findChild<QLCDNumber*>("pixLCD")->intValue(), 0);
    EXPECT_EQ(select.currentValue(), 7);

    QSignalSpy values(&select, &ImageSelect::valueChanged);
    QSignalSpy texts(&select, &ImageSelect::updateText);
    select.changeLabel("Slice: ");
    select.changeLabel(nullptr); // keeps the text, announces it again
    ASSERT_EQ(texts.count(), 2);
    EXPECT_EQ(texts.at(1).at(0).toString(), "Slice:  (0-42): ");
    EXPECT_EQ(caption(select), "Slice:  (0-42): ");
    EXPECT_EQ(values.count(), 0);

    const std::string longLabel(400, 'L');
    select.changeLabel(longLabel.c_str());
    EXPECT_EQ(caption(select), QString(299, 'L'));

    ImageSelect unlabelled(nullptr, "x", 0, 42, 0, nullptr);
    EXPECT_EQ(caption(unlabelled), " (0-42): ");
}

TEST(ImageSelect, EveryStepAnnouncesOnceAndStopsAtBounds)
{
    ImageSelect select(nullptr, "imgSel", 0, 42, 42, "Image Number: ");
    QSignalSpy spy(&select, &ImageSelect::valueChanged);
    select.addStep();
    select.setValue(43);
    select.setValue(0);
    select.subtractStep();
    select.setValue(-1);
    select.setValue(7);
    select.setValue(7);
    EXPECT_EQ(heard(spy), (std::vector<int>{42, 42, 0, 0, 0, 7, 7}));
    EXPECT_EQ(select.findChild<QLCDNumber*>("pixLCD")->intValue(), 7);

    spy.clear();
    QPushButton* plus = stepButton(&select, "+");
    QPushButton* minus = stepButton(&select, "-");
    ASSERT_TRUE(plus && minus);
    QTest::mouseClick(plus, Qt::LeftButton);
    QTest::mouseClick(minus, Qt::LeftButton);
    QTest::mouseClick(minus, Qt::LeftButton);
    EXPECT_EQ(heard(spy), (std::vector<int>{8, 7, 6}));
}

TEST(ImageSelect, RangeChangeResetsValueUnderOldBoundsThenShowsCaption)
{
    ImageSelect select(nullptr, "imgSel", 0, 42, 17, "Image Number: ");
    std::vector<Event> log;
    QObject::connect(&select, &ImageSelect::valueChanged, [&](int v) {
        log.push_back({QString::number(v), select.minimum(), select.maximum()});
    });
    QObject::connect(&select, &ImageSelect::updateText, [&](const QString& text) {
        log.push_back({text, select.minimum(), select.maximum()});
    });

    select.changeMax(99);
    EXPECT_EQ(log, (std::vector<Event>{{"0", 0, 42}, {"Image Number:  (0-99): ", 0, 99}}));
    EXPECT_EQ(caption(select), "Image Number:  (0-99): ");
    EXPECT_EQ(select.findChild<QLCDNumber*>("pixLCD")->intValue(), 0);

    select.setValue(17);
    log.clear();
    select.changeMin(5);
    EXPECT_EQ(log, (std::vector<Event>{{"0", 0, 99}, {"Image Number:  (5-99): ", 5, 99}}));

    // The value now lies below the range: it stays until steps climb into it.
    QSignalSpy spy(&select, &ImageSelect::valueChanged);
    select.subtractStep();
    select.setValue(0);
    for (int i = 0; i < 6; ++i)
        select.addStep();
    select.setValue(4);
    select.setValue(5);
    EXPECT_EQ(heard(spy), (std::vector<int>{0, 0, 1, 2, 3, 4, 5, 6, 6, 5}));
}

TEST(ImageSelect, EmptyRangeHoldsZero)
{
    ImageSelect select(nullptr, "imgSel", 0, 42, 5, "Image Number: ");
    select.changeMax(-1);
    EXPECT_EQ(caption(select), "Image Number:  (0--1): ");

    QSignalSpy spy(&select, &ImageSelect::valueChanged);
    select.addStep();
    select.subtractStep();
    select.setValue(0);
    select.setValue(3);
    EXPECT_EQ(heard(spy), (std::vector<int>{0, 0, 0, 0}));
}
