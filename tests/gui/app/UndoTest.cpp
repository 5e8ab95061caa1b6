// Edit > Undo and Redo, driven through the controls a user touches.
#include "gui/app/MainWidget.h"

#include "GuiTestSupport.h"
#include "gui/controls/InputRegion.h"
#include "gui/controls/RtSlider.h"
#include "gui/views/DisplayRegion.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace lumidra;

namespace {

class UndoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guitest::writeTestStack(cwd.path() / "data", 2);
        slicefiles::writeFile((cwd.path() / "data/colornfo.txt").string(),
                              "#Number of Regions\n1\n\n#Vessel\n10\n40\n250\n20\n30\n\n");
        window = std::make_unique<MainWidget>();
        ASSERT_TRUE(guitest::shown(*window));
    }

    RtSlider* slider(const char* name) const { return window->findChild<RtSlider*>(name); }
    QAction* action(const char* name) const
    {
        return window->findChild<QMenu*>("Edit")->findChild<QAction*>(name);
    }
    void press(const char* text) const
    {
        for (auto* b : window->findChildren<QPushButton*>())
            if (b->text() == text)
                QTest::mouseClick(b, Qt::LeftButton);
    }
    void drag(RtSlider* s, std::initializer_list<int> values) const
    {
        QSlider* inner = s->innerSlider();
        inner->setSliderDown(true);
        for (int v : values)
            inner->setValue(v);
        inner->setSliderDown(false);
    }
    // What the user sees of the regions: the table, the editor and dr2.
    struct Seen {
        RegionTable table;
        QString name;
        int region;
        std::vector<std::uint8_t> picture;
        bool operator==(const Seen& o) const
        {
            return std::memcmp(table.records(), o.table.records(),
                               sizeof(imgMaterial) * kRegionCount) == 0 &&
                   name == o.name && region == o.region && picture == o.picture;
        }
    };
    Seen seen() const
    {
        const std::uint8_t* rgb = window->colourView()->rgbBuffer();
        return {window->regionTable(),
                window->findChild<QLineEdit*>("nameLE")->text(),
                slider("Region Slider")->currentValue(),
                {rgb, rgb + kRgbBytes}};
    }
    int steps() const { return window->workspace()->undoStack()->count(); }

    guitest::ScratchCwd cwd;
    std::unique_ptr<MainWidget> window;
};

TEST_F(UndoTest, EachEditIsOneStepAndUndoPutsBackWhatTheUserSaw)
{
    std::vector<Seen> before;
    before.push_back(seen());
    drag(slider("Red Slider"), {100, 120, 130});
    EXPECT_EQ(window->regionTable()[0].red, 130);
    before.push_back(seen());
    QPushButton* plus = guitest::stepButton(slider("Green Slider"), "+");
    QTest::mouseClick(plus, Qt::LeftButton);
    before.push_back(seen());
    QTest::mouseClick(plus, Qt::LeftButton);
    before.push_back(seen());
    auto* name = window->findChild<QLineEdit*>("nameLE");
    QTest::keyClicks(name, "Wall");
    EXPECT_STREQ(window->regionTable()[0].name, "VesselWall");
    before.push_back(seen());
    press("Default Regions");
    const Seen last = seen();
    ASSERT_EQ(steps(), 5) << "a drag, two steps, one name, Default Regions";

    // Moving to another region is no step, but Undo brings the user back to
    // the region the step was made on.
    slider("Region Slider")->setValue(3);
    for (int k = 4; k >= 0; --k) {
        action("undoAction")->trigger();
        EXPECT_TRUE(seen() == before[k]) << "undo down to step " << k;
    }
    EXPECT_FALSE(action("undoAction")->isEnabled());
    EXPECT_TRUE(guitest::screenShowsRgb(*window->colourView(), window->colourView()->rgbBuffer(),
                                        kSliceSide));
    for (int k = 0; k < 5; ++k)
        action("redoAction")->trigger();
    EXPECT_TRUE(seen() == last);

    // A new edit after Undo drops what could have been redone.
    action("undoAction")->trigger();
    slider("Blue Slider")->setValue(7);
    EXPECT_FALSE(action("redoAction")->isEnabled());
    EXPECT_EQ(steps(), 5);
}

TEST_F(UndoTest, ShowAllAndARegionFileComeBackAsTheyWere)
{
    press("Show All Regions");
    const Seen all = seen();
    // A slider refuses a value outside 0..255, keeps its own and reports that
    // back into the record as the file is shown: still the file's one step.
    slicefiles::writeFile((cwd.path() / "wide.rif").string(),
                          "#Number of Regions\n1\n#Wide\n-5\n300\n1\n2\n3\n");
    guitest::answerFileDialog(QString::fromStdString((cwd.path() / "wide.rif").string()),
                              [&] { window->clkLoad(); });
    EXPECT_EQ(window->regionTable()[0].max, 40);
    EXPECT_EQ(steps(), 1);
    action("undoAction")->trigger();
    EXPECT_TRUE(seen() == all);
    EXPECT_EQ(window->colourView()->regionIndex(), -1) << "Show All is what dr2 showed";
    action("redoAction")->trigger();
    EXPECT_STREQ(window->regionTable()[0].name, "Wide");
    EXPECT_EQ(window->regionTable()[0].max, 40);
}

} // namespace
