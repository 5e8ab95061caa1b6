// Volume > Open DICOM Folder...: a series opened into both views through the
// workspace, the series dialog for a folder of several, and a bad folder
// leaving the window as it was.
#include "gui/app/MainWidget.h"

#include "CaptureStdout.h"
#include "DicomFiles.h"
#include "GuiTestSupport.h"
#include "core/volume/VolumeSource.h"
#include "gui/app/DicomSeriesDialog.h"
#include "gui/views/DisplayRegion.h"

#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace lumidra;

namespace {

class DicomWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guitest::writeTestStack(cwd.path() / "data", 3);
        window = std::make_unique<MainWidget>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // A CT of 20 x 16 pixels and the given number of slices.
    std::string writeCt(const std::string& name, const std::vector<std::string>& more = {})
    {
        const std::string folder = (cwd.path() / name).string();
        std::vector<std::string> options = {"--synthetic-ct", "20", "16", "5", "--modality", "CT"};
        options.insert(options.end(), more.begin(), more.end());
        dicomfiles::writeSeries(folder, options);
        return folder;
    }

    guitest::ScratchCwd cwd;
    std::unique_ptr<MainWidget> window;
};

} // namespace

TEST_F(DicomWindowTest, OpenDicomFolderReplacesTheStackAndABadFolderLeavesIt)
{
    const std::string ct = writeCt("ct");
    QSignalSpy replaced(window->workspace(), &Workspace::stackReplaced);
    guitest::answerFileDialog(QString::fromStdString(ct), [&] { window->selOpenDicomFolder(); });
    EXPECT_EQ(replaced.count(), 1) << "one step through the workspace";
    EXPECT_EQ(window->imageCount(), 5);
    const SharedSliceStack held = window->greyView()->sliceStack();
    ASSERT_TRUE(held && held->source());
    EXPECT_EQ(window->colourView()->sliceStack(), held);
    EXPECT_EQ(window->workspace()->stack(), held);
    EXPECT_EQ(held->source()->scan().modality, "CT");
    EXPECT_EQ(held->source()->window().rule, WindowRule::Ct);
    EXPECT_EQ(window->imageSource(), ct);

    // A series with a slice missing: one line, a message box, the stack kept.
    const std::string gap = writeCt("gap", {"--skip-slice", "2"});
    std::string why;
    const std::string said =
        capturedStdout([&] { EXPECT_FALSE(window->openDicomPath(gap, &why)); });
    EXPECT_EQ(said.rfind("DICOM series not opened: DICOM series 1"), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    EXPECT_NE(why.find("missing slice"), std::string::npos) << why;
    const guitest::MessageShown box = guitest::answerMessageBox([&] {
        guitest::answerFileDialog(QString::fromStdString(gap),
                                  [&] { window->selOpenDicomFolder(); });
    });
    EXPECT_TRUE(box.text.contains("not evenly spaced")) << box.text.toStdString();
    EXPECT_FALSE(window->openDicomPath((cwd.path() / "data").string()));
    EXPECT_EQ(window->greyView()->sliceStack(), held);
    EXPECT_EQ(window->imageCount(), 5);
    EXPECT_EQ(replaced.count(), 1);
}

TEST_F(DicomWindowTest, AFolderOfSeveralSeriesAsksWhichToOpen)
{
    const std::string both = writeCt("both", {"--series-number", "3"});
    dicomfiles::writeSeries(both, {"--synthetic-ct", "8", "8", "2", "--series-number", "8",
                                   "--seed", "8", "--description", "small"});
    bool opened = false;
    guitest::answerModal<DicomSeriesDialog>(
        "the series dialog", [&] { opened = window->openDicomPath(both); },
        [](DicomSeriesDialog* dialog) {
            auto* table = dialog->findChild<QTableWidget*>("seriesTable");
            ASSERT_TRUE(table);
            ASSERT_EQ(table->rowCount(), 2);
            EXPECT_EQ(table->item(1, 1)->text(), "small");
            EXPECT_EQ(table->item(1, 3)->text(), "8 x 8");
            EXPECT_EQ(table->item(1, 4)->text(), "2");
            dialog->choose(1);
            dialog->accept();
        });
    EXPECT_TRUE(opened);
    EXPECT_EQ(window->imageCount(), 2);
    EXPECT_EQ(window->imageSource(), both + "#8");

    // Cancelled: nothing changes.
    const SharedSliceStack held = window->greyView()->sliceStack();
    guitest::answerModal<DicomSeriesDialog>(
        "the series dialog", [&] { opened = window->openDicomPath(both); },
        [](DicomSeriesDialog* dialog) { dialog->reject(); });
    EXPECT_FALSE(opened);
    EXPECT_EQ(window->greyView()->sliceStack(), held);
}
