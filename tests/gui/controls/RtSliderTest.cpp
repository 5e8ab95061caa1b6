// The stepping slider's echo with its inner slider: how often, in what order
// and with which value a listener hears of each action.
#include "gui/controls/RtSlider.h"

#include "GuiTestSupport.h"

#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using guitest::heard;
using guitest::stepButton;

// What one delivery of valueChanged found: the value, the display and the
// inner slider at that moment.
struct Delivery {
    int value;
    int display;
    int slider;
    bool operator==(const Delivery&) const = default;
};

QRect handleRect(QSlider* slider)
{
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = slider->sliderPosition();
    return slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle,
                                           slider);
}

} // namespace

TEST(RtSlider, BuildsCaptionDisplayAndSliderQuietly)
{
    RtSlider wavelet(nullptr, "Wavelet Slider", 0, 8, 4, "Wavelet Debth");
    QSignalSpy late(&wavelet, &RtSlider::valueChanged);

    auto* caption = wavelet.findChild<QLabel*>("pixLBL");
    auto* display = wavelet.findChild<QLCDNumber*>("pixLCD");
    auto* slider = wavelet.findChild<QSlider*>("minSL");
    ASSERT_TRUE(caption && display && slider);
    EXPECT_EQ(caption->text(), "Wavelet Debth (0-8): ");
    EXPECT_EQ(caption->minimumWidth(), 105);
    EXPECT_EQ(caption->maximumWidth(), 105);
    EXPECT_EQ(display->intValue(), 4);
    EXPECT_EQ(slider->value(), 4);
    EXPECT_EQ(slider->pageStep(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(late.count(), 0);

    RtSlider region(nullptr, "Region Slider", 0, 15, 0, "Tissue Region");
    EXPECT_EQ(region.findChild<QLabel*>("pixLBL")->text(), "Tissue Region (0-15): ");

    RtSlider unlabelled(nullptr, "x", 0, 15, 0, nullptr);
    EXPECT_EQ(unlabelled.findChild<QLabel*>("pixLBL")->text(), " (0-15): ");

    // 299 characters of label fill the caption field: the range part is cut.
    const std::string label(400, 'L');
    RtSlider overlong(nullptr, "x", 0, 255, 0, label.c_str());
    EXPECT_EQ(overlong.findChild<QLabel*>("pixLBL")->text(), QString(299, 'L'));
}

TEST(RtSlider, BoundsAndRefusedValuesAnnounceOnce)
{
    RtSlider depth(nullptr, "x", 0, 8, 8, "d");
    QSignalSpy depthSpy(&depth, &RtSlider::valueChanged);
    depth.addStep();
    depth.setValue(0);
    depth.subtractStep();
    EXPECT_EQ(heard(depthSpy), (std::vector<int>{8, 0, 0, 0}));

    RtSlider colour(nullptr, "x", 0, 255, 10, "c");
    auto* inner = colour.findChild<QSlider*>("minSL");
    QSignalSpy spy(&colour, &RtSlider::valueChanged);
    colour.setValue(256);
    colour.setValue(-1);
    EXPECT_EQ(heard(spy), (std::vector<int>{10, 10}));
    EXPECT_EQ(colour.currentValue(), 10);
    EXPECT_EQ(inner->value(), 10);

    spy.clear();
    colour.setValue(255); // a change echoes back through the inner slider
    colour.setValue(255); // no change: one announcement
    colour.setValue(0);
    EXPECT_EQ(heard(spy), (std::vector<int>{255, 255, 255, 0, 0}));
    EXPECT_EQ(inner->value(), 0);
    EXPECT_EQ(colour.findChild<QLCDNumber*>("pixLCD")->intValue(), 0);
}

TEST(RtSlider, ButtonPressStepsOnMouseDownAndEchoesOnce)
{
    RtSlider region(nullptr, "Region Slider", 0, 15, 3, "Tissue Region");
    auto* display = region.findChild<QLCDNumber*>("pixLCD");
    auto* inner = region.findChild<QSlider*>("minSL");
    std::vector<Delivery> log;
    QObject::connect(&region, &RtSlider::valueChanged, [&](int v) {
        log.push_back({v, display->intValue(), inner->value()});
    });

    QPushButton* plus = stepButton(&region, "+");
    QPushButton* minus = stepButton(&region, "-");
    ASSERT_TRUE(plus && minus);
    QTest::mousePress(plus, Qt::LeftButton);
    // The display is served before any listener, in both deliveries.
    EXPECT_EQ(log, (std::vector<Delivery>{{4, 4, 4}, {4, 4, 4}}));
    QTest::mouseRelease(plus, Qt::LeftButton);
    EXPECT_EQ(log.size(), 2u);

    log.clear();
    QTest::mouseClick(minus, Qt::LeftButton);
    region.setValue(15);
    QTest::mouseClick(plus, Qt::LeftButton); // at the bound: no echo
    EXPECT_EQ(log, (std::vector<Delivery>{
                       {3, 3, 3}, {3, 3, 3}, {15, 15, 15}, {15, 15, 15}, {15, 15, 15}}));
}

TEST(RtSlider, DraggingOrKeyingTheSliderAnnouncesEachValueOnce)
{
    RtSlider region(nullptr, "Region Slider", 0, 15, 3, "Tissue Region");
    region.resize(400, 60);
    ASSERT_TRUE(guitest::shown(region));
    auto* inner = region.findChild<QSlider*>("minSL");
    QSignalSpy spy(&region, &RtSlider::valueChanged);

    QPoint at = handleRect(inner).center();
    QTest::mousePress(inner, Qt::LeftButton, {}, at);
    ASSERT_TRUE(inner->isSliderDown());
    for (int step = 0; step < inner->width() && region.currentValue() < 6; ++step) {
        at.rx() += 1;
        QTest::mouseMove(inner, at);
    }
    QTest::mouseRelease(inner, Qt::LeftButton, {}, at);
    EXPECT_EQ(heard(spy), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(inner->value(), 6);
    EXPECT_EQ(region.findChild<QLCDNumber*>("pixLCD")->intValue(), 6);

    spy.clear();
    inner->setFocus();
    QTest::keyClick(inner, Qt::Key_Right);
    QTest::keyClick(inner, Qt::Key_Right);
    QTest::keyClick(inner, Qt::Key_Left);
    EXPECT_EQ(heard(spy), (std::vector<int>{7, 8, 7}));
    EXPECT_EQ(region.currentValue(), 7);
}

// The echo rules above rest on these toolkit behaviours.
TEST(RtSliderToolkit, SliderEditAndButtonSignalOnlyWhenTheyShould)
{
    QSlider slider;
    slider.setValue(5);
    QSignalSpy moved(&slider, &QSlider::valueChanged);
    slider.setValue(5);
    slider.setValue(6);
    EXPECT_EQ(heard(moved), std::vector<int>{6});

    QLineEdit edit("Grey");
    QSignalSpy edited(&edit, &QLineEdit::textChanged);
    edit.setText("Grey");
    edit.setText("White");
    EXPECT_EQ(edited.count(), 1);

    QPushButton button("+");
    QSignalSpy pressed(&button, &QPushButton::pressed);
    QSignalSpy clicked(&button, &QPushButton::clicked);
    QTest::mousePress(&button, Qt::LeftButton);
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(clicked.count(), 0);
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(clicked.count(), 1);
}
