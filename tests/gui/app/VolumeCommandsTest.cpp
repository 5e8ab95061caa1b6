// The window's volume commands and start-up sources, with real files and dialogs.
#include "gui/app/MainWidget.h"

#include "CaptureStdout.h"
#include "GuiTestSupport.h"
#include "NiftiFiles.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"
#include "gui/controls/ImageSelect.h"
#include "gui/controls/RtSlider.h"
#include "gui/views/DisplayRegion.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace lumidra;

namespace {

// Grey of slice sample p as a view shows it (its RGB buffer runs in reverse sample order).
int shownGrey(const DisplayRegion* view, int p)
{
    return view->rgbBuffer()[3 * (65535 - p)];
}

// A 30 x 20 x 4 volume whose values differ per voxel and per plane.
std::string writeScan(const std::filesystem::path& dir)
{
    auto nim = niftifiles::makeVolume(DT_INT16, 30, 20, 4);
    for (std::size_t n = 0; n < nim->nvox; ++n)
        niftifiles::setVoxel(*nim, n, static_cast<double>((n * 13) % 1000));
    const std::string path = (dir / "scan.nii.gz").string();
    niftifiles::saveVolume(*nim, path);
    return path;
}

class VolumeWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guitest::writeTestStack(cwd.path() / "data", 3);
        window = std::make_unique<MainWidget>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        scan = writeScan(cwd.path());
    }

    guitest::ScratchCwd cwd;
    std::unique_ptr<MainWidget> window;
    std::string scan;
};

} // namespace

TEST_F(VolumeWindowTest, OpenVolumeResetsTheViewsAsOpeningADirectoryDoes)
{
    auto* imgSel = window->findChild<ImageSelect*>("imgSel");
    imgSel->addStep();
    imgSel->addStep();
    window->findChild<RtSlider*>("Region Slider")->setValue(3);

    guitest::answerFileDialog(QString::fromStdString(scan), [&] { window->selOpenVolume(); });

    EXPECT_EQ(window->imageCount(), 4);
    EXPECT_EQ(imgSel->maximum(), 3);
    EXPECT_EQ(imgSel->currentValue(), 0);
    EXPECT_EQ(window->currentImage(), 0);
    EXPECT_EQ(window->currentRegion(), 3);
    EXPECT_EQ(window->colourView()->regionIndex(), 0);
    const SharedSliceStack& held = window->greyView()->sliceStack();
    ASSERT_TRUE(held && held->source());
    EXPECT_EQ(window->colourView()->sliceStack(), held) << "read once, held by both views";
    const SharedSliceStack reread = openVolume(scan);
    EXPECT_TRUE(held->sameSlices(*reread));
    for (int p : {0, 127 * 256 + 128, 65535})
        EXPECT_EQ(shownGrey(window->greyView(), p), held->greySlice(0)[p]) << p;
    EXPECT_TRUE(guitest::screenShowsRgb(*window->greyView(), window->greyView()->rgbBuffer(), 256));

    // A volume that cannot be read is one line on standard output; the views keep theirs.
    imgSel->addStep();
    const std::string said = capturedStdout([&] {
        EXPECT_FALSE(window->openVolumeFile(LUMIDRA_CORPUS_DIR "/nifti/truncated.nii.gz"));
    });
    EXPECT_EQ(said.rfind("Volume not opened: "), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    EXPECT_EQ(window->greyView()->sliceStack(), held);
    EXPECT_EQ(window->imageCount(), 4);
    EXPECT_EQ(window->currentImage(), 1);

    // Chosen in the dialog, the failure is also a message box with the reason.
    const guitest::MessageShown box = guitest::answerMessageBox([&] {
        guitest::answerFileDialog(LUMIDRA_CORPUS_DIR "/nifti/truncated.nii.gz",
                                  [&] { window->selOpenVolume(); });
    });
    EXPECT_TRUE(box.text.contains("truncated")) << box.text.toStdString();

    // Cancelled: nothing happens.
    guitest::answerFileDialog(QString(), [&] { window->selOpenVolume(); });
    EXPECT_EQ(window->greyView()->sliceStack(), held);

    // The next volume opens through the window chosen for volumes.
    window->setVolumeWindow({WindowRule::MinMax});
    ASSERT_TRUE(window->openVolumeFile(scan));
    const SharedSliceStack minmax = window->greyView()->sliceStack();
    EXPECT_TRUE(minmax->sameSlices(*openVolume(scan, {WindowRule::MinMax})));
    EXPECT_FALSE(minmax->sameSlices(*reread)) << "opened by default through robust";
}

TEST_F(VolumeWindowTest, ExportRegionMapWritesTheMapOfWhatTheWindowHolds)
{
    ASSERT_TRUE(window->openVolumeFile(scan));
    const std::filesystem::path target = cwd.path() / "maps" / "scan map.NII.gz";
    std::filesystem::create_directory(cwd.path() / "maps");
    std::string said;
    guitest::answerFileDialog(QString::fromStdString(target.string()), [&] {
        said = capturedStdout([&] { window->selExportRegionMap(); });
    });
    const std::string prefix = (cwd.path() / "maps" / "scan map").string();
    EXPECT_EQ(said, "Region map written: " + prefix + ".nii.gz, " + prefix + ".label.txt, " +
                        prefix + ".ctbl\n");
    const niftifiles::NiftiImagePtr map = niftifiles::readWithNifticlib(prefix + ".nii.gz");
    ASSERT_TRUE(map);
    EXPECT_EQ(map->nx * map->ny * map->nz, 30 * 20 * 4) << "the source's voxels, not the stack";

    // Into a folder that does not exist: one line, nothing written.
    const std::string failed =
        capturedStdout([&] { EXPECT_FALSE(window->exportRegionMap(prefix + "/none/map")); });
    EXPECT_EQ(failed.rfind("Region map not written: "), 0u) << failed;
    const guitest::MessageShown box = guitest::answerMessageBox([&] {
        guitest::answerFileDialog(QString::fromStdString(prefix + "/none/map.nii.gz"),
                                  [&] { window->selExportRegionMap(); });
    });
    EXPECT_TRUE(box.text.contains("none/map")) << box.text.toStdString();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cwd.path() / "maps"), {}), 3);
}

TEST(MainWindowStartup, ShowsTheGivenDirectoryOrStackInsteadOfData)
{
    guitest::ScratchCwd cwd;
    guitest::writeTestStack(cwd.path() / "data", 3);
    guitest::writeTestStack(cwd.path() / "other", 2, 5);
    {
        MainWidget window(StartupImages{(cwd.path() / "other/").string(), nullptr, {}});
        EXPECT_EQ(window.imageCount(), 2);
        EXPECT_EQ(window.findChild<ImageSelect*>("imgSel")->maximum(), 1);
        EXPECT_EQ(shownGrey(window.colourView(), 7 + 256 * 9), guitest::testGrey(7, 9, 5));
    }
    const SharedSliceStack stack = openVolume(writeScan(cwd.path()));
    MainWidget window(StartupImages{std::string(), stack, {}});
    EXPECT_EQ(window.imageCount(), 4);
    EXPECT_EQ(window.greyView()->sliceStack(), stack);
    EXPECT_EQ(window.colourView()->sliceStack(), stack);
    EXPECT_EQ(shownGrey(window.greyView(), 127 * 256 + 128), stack->greySlice(0)[127 * 256 + 128]);
}
