// The main window end to end: real slice files, real dialogs, real views.
#include "gui/app/MainWidget.h"

#include "core/common/SliceGeometry.h"
#include "gui/controls/ImageSelect.h"
#include "gui/controls/RtSlider.h"
#include "gui/views/DisplayRegion.h"

#include "GuiTestSupport.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

using namespace lumidra;

namespace {

using guitest::testGrey;
using guitest::viewColour;

std::array<int, 3> grey(int v)
{
    return {v, v, v};
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guitest::writeTestStack(cwd.path() / "data", 3);
        // Region 0 of the default file paints grey values 10..40.
        slicefiles::writeFile((cwd.path() / "data/colornfo.txt").string(),
                              "#Number of Regions\n1\n\n#Vessel\n10\n40\n250\n20\n30\n\n");
        window = std::make_unique<MainWidget>();
        window->resize(675, 575);
        ASSERT_TRUE(guitest::shown(*window));
    }

    template <class T> T* child(const char* name) const { return window->findChild<T*>(name); }
    RtSlider* editorSlider(const char* name) const
    {
        return child<QWidget>("ir")->findChild<RtSlider*>(name);
    }
    QPushButton* button(const char* text) const
    {
        for (auto* b : window->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    static QPushButton* plusOf(QWidget* control) { return guitest::stepButton(control, "+"); }
    static void press(QPushButton* button)
    {
        QTest::mousePress(button, Qt::LeftButton);
        QTest::mouseRelease(button, Qt::LeftButton);
    }
    bool screensShowTheirBuffers() const
    {
        DisplayRegion* dr1 = window->greyView();
        DisplayRegion* dr2 = window->colourView();
        return guitest::screenShowsRgb(*dr1, dr1->rgbBuffer(), kSliceSide) &&
               guitest::screenShowsRgb(*dr2, dr2->rgbBuffer(), kSliceSide);
    }
    std::vector<std::uint8_t> colourPicture() const
    {
        const std::uint8_t* rgb = window->colourView()->rgbBuffer();
        return {rgb, rgb + kRgbBytes};
    }

    guitest::ScratchCwd cwd;
    std::unique_ptr<MainWidget> window;
};

TEST_F(MainWindowTest, StartsOnSliceZeroWithRegionZeroOfTheDefaultFilePainted)
{
    EXPECT_EQ(window->imageCount(), 3);
    auto* imgSel = child<ImageSelect>("imgSel");
    ASSERT_NE(imgSel, nullptr);
    EXPECT_EQ(imgSel->maximum(), 2);
    EXPECT_EQ(imgSel->currentValue(), 0);
    EXPECT_EQ(child<RtSlider>("Region Slider")->currentValue(), 0);
    EXPECT_EQ(child<RtSlider>("Wavelet Slider")->currentValue(), 4);
    EXPECT_EQ(window->currentWaveletDepth(), 4);

    EXPECT_EQ(child<QLineEdit>("nameLE")->text(), "Vessel");
    EXPECT_EQ(editorSlider("Min Slider")->currentValue(), 10);
    EXPECT_EQ(editorSlider("Red Slider")->currentValue(), 250);

    DisplayRegion* dr1 = window->greyView();
    DisplayRegion* dr2 = window->colourView();
    EXPECT_EQ(viewColour(dr1, 20, 0), grey(20));
    EXPECT_EQ(viewColour(dr2, 20, 0), (std::array<int, 3>{250, 20, 30}));
    EXPECT_EQ(viewColour(dr2, 5, 0), grey(5));
    EXPECT_EQ(viewColour(dr2, 41, 0), grey(41));
    // Records past the file's single one keep their generated state.
    EXPECT_STREQ(window->regionTable()[1].name, "Region1");
    EXPECT_STREQ(window->regionTable()[16].name, "Last Region");

    EXPECT_TRUE(screensShowTheirBuffers());
}

TEST_F(MainWindowTest, RedSliderRedrawsTheColourViewBeforeTheSlotReturns)
{
    QSignalSpy tableSent(window.get(), &MainWidget::updateColorInfo);
    RtSlider* red = editorSlider("Red Slider");
    red->findChild<QSlider*>("minSL")->setValue(77); // as a drag does

    EXPECT_EQ(tableSent.count(), 1);
    EXPECT_EQ(window->regionTable()[0].red, 77);
    EXPECT_EQ(viewColour(window->colourView(), 20, 0), (std::array<int, 3>{77, 20, 30}));
    EXPECT_TRUE(screensShowTheirBuffers());

    // The "+" button echoes through the inner slider: the table goes out twice.
    tableSent.clear();
    press(plusOf(red));
    EXPECT_EQ(tableSent.count(), 2);
    EXPECT_EQ(window->regionTable()[0].red, 78);
}

TEST_F(MainWindowTest, TissueRegionSliderRefillsTheEditorThenPaintsThatRegion)
{
    button("Default Regions")->click();
    DisplayRegion* dr2 = window->colourView();

    // While the editor re-reports region 5's values, dr2 still paints region 0:
    // it switches only through the slider's second connection.
    std::vector<int> regionWhileRefilling;
    QObject::connect(window.get(), &MainWidget::updateColorInfo,
                     [&] { regionWhileRefilling.push_back(dr2->regionIndex()); });
    child<RtSlider>("Region Slider")->findChild<QSlider*>("minSL")->setValue(5); // a drag

    ASSERT_FALSE(regionWhileRefilling.empty());
    for (int r : regionWhileRefilling)
        EXPECT_EQ(r, 0);
    EXPECT_EQ(window->currentRegion(), 5);
    EXPECT_EQ(child<QLineEdit>("nameLE")->text(), "Region5");
    EXPECT_EQ(editorSlider("Min Slider")->currentValue(), 80);
    EXPECT_EQ(editorSlider("Max Slider")->currentValue(), 95);
    EXPECT_EQ(dr2->regionIndex(), 5);
    EXPECT_EQ(viewColour(dr2, 85, 0), (std::array<int, 3>{0, 255, 255}));
    EXPECT_EQ(viewColour(dr2, 20, 0), grey(20));
    // Re-reporting stored region 5's own values back, unchanged.
    EXPECT_STREQ(window->regionTable()[5].name, "Region5");
    EXPECT_EQ(window->regionTable()[5].min, 80);
}

TEST_F(MainWindowTest, ShowAllRegionsLastsUntilTheRegionSliderMoves)
{
    button("Default Regions")->click();
    button("Show All Regions")->click();
    DisplayRegion* dr2 = window->colourView();
    EXPECT_EQ(dr2->regionIndex(), -1);
    EXPECT_EQ(viewColour(dr2, 20, 0), (std::array<int, 3>{0, 255, 0}));    // region 1
    EXPECT_EQ(viewColour(dr2, 100, 0), (std::array<int, 3>{255, 127, 0})); // region 6
    EXPECT_TRUE(screensShowTheirBuffers());

    press(plusOf(child<QWidget>("Region Slider")));
    EXPECT_EQ(dr2->regionIndex(), 1);
    EXPECT_EQ(viewColour(dr2, 100, 0), grey(100));
    EXPECT_EQ(viewColour(dr2, 20, 0), (std::array<int, 3>{0, 255, 0}));
}

TEST_F(MainWindowTest, OpeningADirectoryShowsItsSliceZeroInBothViews)
{
    auto* imgSel = child<ImageSelect>("imgSel");
    imgSel->addStep();
    imgSel->addStep();
    child<RtSlider>("Region Slider")->setValue(3);
    ASSERT_EQ(window->currentImage(), 2);
    EXPECT_EQ(viewColour(window->greyView(), 0, 0), grey(testGrey(0, 0, 2)));

    std::filesystem::path other = cwd.path() / "second scan";
    guitest::writeTestStack(other, 2, 5);
    // No final '/': the window adds it.
    guitest::answerFileDialog(QString::fromStdString(other.string()), [&] { window->selOpen(); });

    EXPECT_EQ(window->imageCount(), 2);
    EXPECT_EQ(imgSel->maximum(), 1);
    EXPECT_EQ(imgSel->currentValue(), 0);
    EXPECT_EQ(window->currentImage(), 0);
    for (DisplayRegion* view : {window->greyView(), window->colourView()}) {
        EXPECT_EQ(view->sliceCount(), 2);
        EXPECT_EQ(view->imageIndex(), 0);
    }
    EXPECT_EQ(viewColour(window->greyView(), 7, 9), grey(testGrey(7, 9, 5)));
    // The view starts again at region 0; the window's current region is kept.
    EXPECT_EQ(window->colourView()->regionIndex(), 0);
    EXPECT_EQ(window->currentRegion(), 3);

    // A cancelled dialog, and a path too long for the 300-byte buffer, change nothing.
    guitest::answerFileDialog(QString(), [&] { window->selOpen(); });
    std::filesystem::path deep = cwd.path();
    for (char c : {'a', 'b', 'c'})
        deep /= std::string(100, c);
    guitest::writeTestStack(deep, 4);
    guitest::answerFileDialog(QString::fromStdString(deep.string()), [&] { window->selOpen(); });
    EXPECT_EQ(window->imageCount(), 2);
    EXPECT_EQ(viewColour(window->greyView(), 7, 9), grey(testGrey(7, 9, 5)));
}

TEST_F(MainWindowTest, WaveletifyAlwaysStartsFromTheColourisedSlice)
{
    std::vector<std::uint8_t> colourised = colourPicture();
    button("Waveletify")->click();
    std::vector<std::uint8_t> first = colourPicture();
    EXPECT_NE(first, colourised);
    button("Waveletify")->click();
    EXPECT_EQ(colourPicture(), first);

    // A new depth shows only at the next Waveletify.
    child<RtSlider>("Wavelet Slider")->setValue(1);
    EXPECT_EQ(window->currentWaveletDepth(), 1);
    EXPECT_EQ(colourPicture(), first);
    button("Waveletify")->click();
    EXPECT_NE(colourPicture(), first);
    EXPECT_TRUE(screensShowTheirBuffers());
}

TEST_F(MainWindowTest, RegionInfoFilesAreSavedAndOpenedThroughTheDialogs)
{
    std::filesystem::path plain = cwd.path() / "tissues";
    guitest::answerFileDialog(QString::fromStdString(plain.string()), [&] { window->clkSave(); });
    std::string saved = testfiles::readFile(cwd.path() / "tissues.rif");
    EXPECT_EQ(
        saved.rfind("#Number of Regions\n17\n\n#Vessel\n10\n40\n250\n20\n30\n\n#Region1\n", 0), 0u);

    // ".rif" anywhere in the path, in any case, means no suffix is added.
    std::filesystem::create_directories(cwd.path() / "sets.RIF.d");
    std::filesystem::path inDir = cwd.path() / "sets.RIF.d" / "brain";
    guitest::answerFileDialog(QString::fromStdString(inDir.string()), [&] { window->clkSave(); });
    EXPECT_TRUE(std::filesystem::exists(inDir));

    // A path that passes 299 characters with ".rif" added is not written.
    std::filesystem::path deep = cwd.path() / std::string(120, 'd') / std::string(120, 'e');
    std::filesystem::create_directories(deep);
    std::string name(299 - deep.string().size() - 1 - 2, 'f');
    guitest::answerFileDialog(QString::fromStdString((deep / name).string()),
                              [&] { window->clkSave(); });
    EXPECT_TRUE(std::filesystem::is_empty(deep));

    editorSlider("Red Slider")->setValue(5);
    ASSERT_EQ(window->regionTable()[0].red, 5);
    guitest::answerFileDialog(QString::fromStdString((cwd.path() / "tissues.rif").string()),
                              [&] { window->clkLoad(); });
    EXPECT_EQ(window->regionTable()[0].red, 250);
    EXPECT_EQ(editorSlider("Red Slider")->currentValue(), 250);
    EXPECT_EQ(viewColour(window->colourView(), 20, 0), (std::array<int, 3>{250, 20, 30}));
    EXPECT_STREQ(window->regionTable()[16].name, "Last"); // names keep their first word
}

TEST_F(MainWindowTest, RegionNamesAreCutTo39Characters)
{
    child<QLineEdit>("nameLE")->setText(QString(60, 'n'));
    EXPECT_EQ(std::strlen(window->regionTable()[0].name), 39u);
}

TEST_F(MainWindowTest, MenusCarryTheirCommandsAndAccelerators)
{
    auto* bar = child<QWidget>("Menu Bar");
    ASSERT_NE(bar, nullptr);
    QStringList titles;
    for (QAction* a : bar->actions())
        titles << a->text();
    // The menus that came later follow the three that were there first.
    EXPECT_EQ(titles, (QStringList{"File", "Wavelet", "Help", "Volume", "Analysis", "Edit"}));

    QStringList items;
    for (const char* menu : {"File Menu", "Wavelet", "Help", "Volume", "Analysis", "Edit"})
        for (QAction* a : bar->findChild<QWidget*>(menu)->actions())
            items << a->text() + "=" + a->shortcut().toString();
    EXPECT_EQ(
        items,
        (QStringList{
            "&Open...=Ctrl+O", "O&pen Region Info...=Ctrl+P", "&Save Region Info...=Ctrl+S", "=",
            "E&xit=Ctrl+X", "Haa&r Wavelet Window...=Ctrl+R", "&Information=Ctrl+I",
            "&About=Ctrl+A", "&Open Volume...=Ctrl+Shift+O", "Open &DICOM Folder...=Ctrl+Shift+D",
            "&Export Region Map...=", "&Intensity Window...=", "Three &Planes...=Ctrl+Shift+P",
            "Region &Analysis...=Ctrl+T", "&Undo=Ctrl+Z", "&Redo=Ctrl+Shift+Z"}));
}

TEST_F(MainWindowTest, InformationBoxIsCaptionedLumidraAndHoldsTheHelpText)
{
    const guitest::MessageShown box = guitest::answerMessageBox([&] { window->selInfo(); });
    EXPECT_EQ(box.title, "Lumidra");
    EXPECT_EQ(box.text, QString::fromLatin1(MainWidget::informationText()));
    EXPECT_EQ(box.text.count('\n'), 29);
    EXPECT_TRUE(box.text.startsWith("When the program starts up"));
    EXPECT_TRUE(box.text.contains("value of this region.  You can see the\n"));
}

// The keys a user presses first. Sent to whatever holds the focus, as typing does.
TEST_F(MainWindowTest, CtrlXAndCtrlAReachTheMenuUntilTheUserTypesInTheNameField)
{
    guitest::makeActive(*window);
    auto typeKey = [](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key, Qt::ControlModifier);
    };
    QSignalSpy quit(window.get(), &MainWidget::signalQuit);
    typeKey(Qt::Key_X);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_STREQ(window->regionTable()[0].name, "Vessel");

    const guitest::MessageShown about = guitest::answerMessageBox([&] { typeKey(Qt::Key_A); });
    EXPECT_EQ(about.title, "Lumidra");
    EXPECT_TRUE(about.text.contains("Lumidra"));

    guitest::makeActive(*window); // the box took the keyboard
    auto* name = child<QLineEdit>("nameLE");
    QTest::mouseClick(name, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), name);
    EXPECT_EQ(guitest::modalsOpenedBy([&] { typeKey(Qt::Key_A); }), 0);
    EXPECT_EQ(name->selectedText(), "Vessel");
    typeKey(Qt::Key_X);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_EQ(name->text(), "");
    EXPECT_STREQ(window->regionTable()[0].name, "");
}

// Both buttons regenerate the current record; an editor left showing the old
// values would write them back at the next step.
TEST_F(MainWindowTest, DefaultAndClearRegionsRefillTheEditor)
{
    child<RtSlider>("Region Slider")->setValue(5);
    child<QLineEdit>("nameLE")->setText("Stale");
    editorSlider("Min Slider")->setValue(3);
    editorSlider("Red Slider")->setValue(200);

    button("Default Regions")->click();
    EXPECT_EQ(child<QLineEdit>("nameLE")->text(), "Region5");
    EXPECT_EQ(editorSlider("Min Slider")->currentValue(), 80);
    EXPECT_EQ(editorSlider("Max Slider")->currentValue(), 95);
    EXPECT_EQ(editorSlider("Red Slider")->currentValue(), 0);
    EXPECT_EQ(editorSlider("Green Slider")->currentValue(), 255);
    EXPECT_EQ(editorSlider("Blue Slider")->currentValue(), 255);
    press(plusOf(editorSlider("Red Slider")));
    EXPECT_EQ(window->regionTable()[5].red, 1);

    editorSlider("Green Slider")->setValue(99);
    child<QLineEdit>("nameLE")->setText("Stale");
    button("Clear Regions")->click();
    EXPECT_EQ(child<QLineEdit>("nameLE")->text(), "Region5");
    for (const char* colour : {"Red Slider", "Green Slider", "Blue Slider"})
        EXPECT_EQ(editorSlider(colour)->currentValue(), 0) << colour;
    press(plusOf(editorSlider("Green Slider")));
    EXPECT_EQ(window->regionTable()[5].green, 1);
    EXPECT_STREQ(window->regionTable()[5].name, "Region5");
}

// Paths go to the file system in its own encoding (UTF-8 here), and the
// 299-byte limit counts bytes of that encoding, not characters.
TEST_F(MainWindowTest, PathsOutsideLatin1AreFoundAndSavedUnderTheirOwnNames)
{
    const std::filesystem::path scans = cwd.path() / "Müller" / "脑";
    guitest::writeTestStack(scans, 2, 5);
    guitest::answerFileDialog(QString::fromStdString(scans.string()), [&] { window->selOpen(); });
    EXPECT_EQ(window->imageCount(), 2);
    EXPECT_EQ(viewColour(window->greyView(), 7, 9), grey(testGrey(7, 9, 5)));

    guitest::answerFileDialog(QString::fromStdString((scans / "区域").string()),
                              [&] { window->clkSave(); });
    EXPECT_TRUE(std::filesystem::is_regular_file(scans / "区域.rif"));
    editorSlider("Red Slider")->setValue(5);
    guitest::answerFileDialog(QString::fromStdString((scans / "区域.rif").string()),
                              [&] { window->clkLoad(); });
    EXPECT_EQ(window->regionTable()[0].red, 250);

    // Fewer than 299 characters, but three bytes each: refused like a cancel.
    std::filesystem::path wide = cwd.path();
    for (int part = 0; part < 2; ++part) {
        std::string name;
        for (int k = 0; k < 50; ++k)
            name += "脑";
        wide /= name;
    }
    ASSERT_LT(QString::fromStdString(wide.string()).size(), 299);
    ASSERT_GT(wide.string().size(), 299u);
    guitest::writeTestStack(wide, 3);
    guitest::answerFileDialog(QString::fromStdString(wide.string()), [&] { window->selOpen(); });
    EXPECT_EQ(window->imageCount(), 2);
}

// The dialog helper fails the test, rather than hanging it, when a command
// opens no dialog or when its dialog refuses the answer and stays open.
TEST_F(MainWindowTest, ADialogThatNeverOpensOrNeverClosesFailsWithAMessage)
{
    testing::TestPartResultArray failures;
    {
        testing::ScopedFakeTestPartResultReporter catcher(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        guitest::answerFileDialog("tissues", [] {});
        // An open dialog refuses a file that does not exist and stays open.
        guitest::answerModal<QFileDialog>(
            "a file dialog", [&] { window->clkLoad(); },
            [&](QFileDialog* dialog) {
                dialog->selectFile((cwd.path() / "absent.rif").c_str());
                QMetaObject::invokeMethod(dialog, "accept");
            },
            500);
    }
    ASSERT_EQ(failures.size(), 2);
    const std::string neverOpened = failures.GetTestPartResult(0).message();
    const std::string neverClosed = failures.GetTestPartResult(1).message();
    EXPECT_NE(neverOpened.find("returned without opening a file dialog"), std::string::npos)
        << neverOpened;
    EXPECT_NE(neverClosed.find("still open 500 ms after a file dialog was answered"),
              std::string::npos)
        << neverClosed;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, ExitAndClosingTheWindowBothEndTheProgram)
{
    QSignalSpy quit(window.get(), &MainWidget::signalQuit);
    window->findChild<QWidget*>("File Menu")->actions().at(4)->trigger();
    EXPECT_EQ(quit.count(), 1);

    window->clkNewWavelet(); // another top-level window stays open
    window->close();
    EXPECT_EQ(quit.count(), 2);
    QApplication::closeAllWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

namespace {

TEST(MainWindowWithoutSlices, OpensWithBlackViewsAndAnEmptySelectorRange)
{
    guitest::ScratchCwd cwd; // no data/ at all
    MainWidget window;
    ASSERT_TRUE(guitest::shown(window));
    EXPECT_EQ(window.imageCount(), 0);
    auto* imgSel = window.findChild<ImageSelect*>("imgSel");
    EXPECT_EQ(imgSel->maximum(), -1);
    imgSel->addStep();
    EXPECT_EQ(imgSel->currentValue(), 0);
    // Both views name the folder that held no slices, as an absolute path.
    const QString data = QDir::current().absoluteFilePath("data");
    for (DisplayRegion* view : {window.greyView(), window.colourView()}) {
        EXPECT_TRUE(guitest::showsOnlyTheEmptyStackHint(view, view->rgbBuffer(), 256));
        EXPECT_EQ(view->loadedDirectory(), data);
    }
    // Without a default region file the table is the generated one, all black.
    EXPECT_STREQ(window.regionTable()[0].name, "Region0");
    EXPECT_EQ(window.regionTable()[16].max, 255);
}

} // namespace

// dr2 is copied from a view that loads ./data/ a second time: the slices are
// dr1's, so both views hold dr1's stack; File → Open keeps it that way.
TEST_F(MainWindowTest, BothViewsHoldOneStackAfterStartUpAndAfterOpen)
{
    EXPECT_EQ(window->colourView()->sliceStack(), window->greyView()->sliceStack());
    std::filesystem::path other = cwd.path() / "other";
    guitest::writeTestStack(other, 2, 5);
    guitest::answerFileDialog(QString::fromStdString(other.string()), [&] { window->selOpen(); });
    ASSERT_EQ(window->greyView()->sliceCount(), 2);
    EXPECT_EQ(window->colourView()->sliceStack(), window->greyView()->sliceStack());
}
