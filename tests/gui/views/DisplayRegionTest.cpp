// DisplayRegion against real slice files, checked on the screen it draws.
#include "gui/views/DisplayRegion.h"

#include "GuiTestSupport.h"
#include "core/common/SliceGeometry.h"
#include "core/slices/SliceLoader.h"
#include "gui/views/EmptyStackHint.h"

#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace lumidra;

namespace {

constexpr int kFlatGrey = 90;

// Grey value of row r, column c of patterned slice z: not symmetric in r and
// c, and different per slice, so a flip, a transpose or a wrong slice shows.
int patternGrey(int z, int r, int c)
{
    return (7 * r + 3 * c + 61 * z) % 256;
}

using GreyOf = std::function<int(int r, int c)>;

void writeRawSlice(const std::string& path, const GreyOf& grey)
{
    std::vector<std::uint16_t> samples;
    for (int r = 0; r < kSliceSide; ++r)
        for (int c = 0; c < kSliceSide; ++c)
            // The low four bits are below the grey scale and must not matter.
            samples.push_back(static_cast<std::uint16_t>((grey(r, c) << 4) | (c & 0xF)));
    slicefiles::writeFile(path, slicefiles::rawSlice(samples));
}

// A directory of `count` patterned slices; `flatLast` makes the last one a
// single grey value throughout.
std::string makeSliceDir(const std::string& dir, int count, int firstPattern, bool flatLast)
{
    std::filesystem::create_directories(dir);
    for (int z = 0; z < count; ++z) {
        const std::string path = dir + slicefiles::sliceName(z, "");
        if (flatLast && z == count - 1)
            writeRawSlice(path, [](int, int) { return kFlatGrey; });
        else
            writeRawSlice(path, [&](int r, int c) { return patternGrey(firstPattern + z, r, c); });
    }
    return dir;
}

// 17 records: record k holds 16k..16k+15 in a colour of its own, record 16
// everything. Colours stay clear of the grey ramp so a painted pixel is told
// from an unpainted one.
std::array<imgMaterial, 17> generatedTable()
{
    std::array<imgMaterial, 17> table{};
    for (int k = 0; k < 17; ++k) {
        std::snprintf(table[k].name, sizeof table[k].name, "Region%d", k);
        table[k].min = 16 * k;
        table[k].max = 16 * k + 15;
        table[k].red = 10 + 14 * k;
        table[k].green = 250 - 9 * k;
        table[k].blue = 3 + 5 * k;
    }
    table[16].min = 0;
    table[16].max = 255;
    return table;
}

QRgb grey(int v)
{
    return qRgb(v, v, v);
}

QRgb colourOf(const imgMaterial& m)
{
    return qRgb(m.red & 0xFF, m.green & 0xFF, m.blue & 0xFF);
}

using guitest::ScreenColour;
using guitest::screenShows;

// Slice row r is shown at screen row r, mirrored.
ScreenColour patternOnScreen(int z, const std::function<QRgb(int v)>& paint)
{
    return [z, paint](int x, int y) {
        const int sample = sampleShownAt(x, y);
        return paint(patternGrey(z, sample / kSliceSide, sample % kSliceSide));
    };
}

ScreenColour greyPattern(int z)
{
    return patternOnScreen(z, grey);
}

void showAndWait(QWidget& w)
{
    ASSERT_TRUE(guitest::shown(w));
}

class DisplayRegionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path().toStdString() + "/";
        // data/: three patterned slices and a flat one; other/: two slices
        // with other patterns; empty/: nothing.
        dataDir = makeSliceDir(root + "data/", 4, 0, true);
        otherDir = makeSliceDir(root + "other/", 2, 5, false);
        emptyDir = root + "empty/";
        std::filesystem::create_directories(emptyDir);
    }

    // The first constructor always reads ./data/ of the current directory.
    std::unique_ptr<DisplayRegion> makeViewInRoot(int image)
    {
        const auto saved = std::filesystem::current_path();
        std::filesystem::current_path(root);
        auto view = std::make_unique<DisplayRegion>(nullptr, "view", image);
        std::filesystem::current_path(saved);
        return view;
    }

    // data/ on screen, slice 2, every region shown: a view a load must reset.
    void showAllOnSlice2(DisplayRegion& view, imgMaterial* table)
    {
        view.changeImageDir(dataDir.data());
        view.changeRegions(table);
        view.changeRegionNum(-1);
        view.changeImage(2);
        showAndWait(view);
    }

    QTemporaryDir tmp;
    std::string root, dataDir, otherDir, emptyDir;
};

TEST_F(DisplayRegionTest, ShowsSliceRowZeroOnTopMirroredAndBlackOutsideTheStack)
{
    auto view = makeViewInRoot(1);
    EXPECT_EQ(view->objectName(), "view");
    EXPECT_EQ(view->minimumSize(), QSize(kSliceSide, kSliceSide));
    EXPECT_EQ(view->maximumSize(), QSize(kSliceSide, kSliceSide));
    EXPECT_EQ(view->sliceCount(), 4);
    EXPECT_EQ(view->imageIndex(), 1);
    showAndWait(*view);
    EXPECT_TRUE(screenShows(*view, greyPattern(1)));
    view->changeImage(2);
    EXPECT_TRUE(screenShows(*view, greyPattern(2)));

    for (int outside : {4, -1, 1 << 20}) {
        view->changeImage(outside);
        EXPECT_TRUE(screenShows(*view, [](int, int) { return grey(0); })) << outside;
    }
    view->changeImage(0);
    EXPECT_TRUE(screenShows(*view, greyPattern(0)));
}

TEST_F(DisplayRegionTest, PaintsOneRegionOrAllRegions)
{
    auto table = generatedTable();
    DisplayRegion view(nullptr, "dr2", 0);
    view.changeImageDir(dataDir.data());
    showAndWait(view);
    EXPECT_TRUE(screenShows(view, greyPattern(0)));

    // Without a table a region number changes nothing: still grey.
    view.changeRegionNum(3);
    EXPECT_TRUE(screenShows(view, greyPattern(0)));

    view.changeRegions(table.data());
    view.changeImage(1);
    auto oneRegion = [&](int k) {
        return [&, k](int v) {
            return v >= table[k].min && v <= table[k].max ? colourOf(table[k]) : grey(v);
        };
    };
    EXPECT_TRUE(screenShows(view, patternOnScreen(1, oneRegion(3))));

    view.changeRegionNum(0);
    EXPECT_TRUE(screenShows(view, patternOnScreen(1, oneRegion(0))));

    view.changeRegionNum(-1);
    EXPECT_TRUE(
        screenShows(view, patternOnScreen(1, [&](int v) { return colourOf(table[v / 16]); })));
}

TEST_F(DisplayRegionTest, AnnouncesTheCountWhileTheOldPictureIsStillHeld)
{
    DisplayRegion view(nullptr, "dr1", 0);
    QSignalSpy spy(&view, &DisplayRegion::numPixChanged);
    view.changeImageDir(otherDir.data());
    EXPECT_EQ(view.announceNumPix(), 2);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 2);

    view.changeImage(1);
    const std::vector<std::uint8_t> before(view.rgbBuffer(), view.rgbBuffer() + kRgbBytes);
    const std::weak_ptr<const lumidra::SliceStack> oldStack = view.sliceStack();

    std::vector<std::uint8_t> seen;
    bool oldStackHeld = false;
    std::vector<std::uint8_t> afterChangeImage;
    // The main window answers a new count by sending slice indices of the new
    // range back to the view, which still holds the old, smaller stack.
    QObject::connect(&view, &DisplayRegion::numPixChanged, [&](int count) {
        seen.assign(view.rgbBuffer(), view.rgbBuffer() + kRgbBytes);
        oldStackHeld = view.sliceStack() == oldStack.lock();
        view.changeImage(count - 1);
        afterChangeImage.assign(view.rgbBuffer(), view.rgbBuffer() + kRgbBytes);
    });
    view.changeImageDir(dataDir.data());

    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(2).at(0).toInt(), 4);
    EXPECT_EQ(seen, before);
    EXPECT_TRUE(oldStackHeld);
    // Slice 3 lies outside the two-slice stack still held: black, not a read past it.
    EXPECT_EQ(afterChangeImage, std::vector<std::uint8_t>(kRgbBytes, 0));
    EXPECT_TRUE(oldStack.expired()) << "replaced stack kept alive";

    // The load itself then shows slice 0 of the new directory.
    showAndWait(view);
    EXPECT_TRUE(screenShows(view, greyPattern(0)));
    view.changeImage(3);
    EXPECT_TRUE(screenShows(view, [](int, int) { return grey(kFlatGrey); }));
}

TEST_F(DisplayRegionTest, DirectoryChangeResetsSliceAndRegionAndEmptyDirectoryShowsTheHint)
{
    auto table = generatedTable();
    DisplayRegion view(nullptr, "dr2", 0);
    showAllOnSlice2(view, table.data());

    view.changeImageDir(otherDir.data());
    EXPECT_EQ(view.imageIndex(), 0);
    EXPECT_EQ(view.regionIndex(), 0);
    EXPECT_EQ(view.regionTable(), table.data());
    EXPECT_TRUE(screenShows(
        view, patternOnScreen(5, [&](int v) { return v <= 15 ? colourOf(table[0]) : grey(v); })));

    QSignalSpy spy(&view, &DisplayRegion::numPixChanged);
    view.changeImageDir(emptyDir.data());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 0);
    EXPECT_EQ(view.sliceCount(), 0);
    EXPECT_EQ(view.loadedDirectory(), QDir::cleanPath(QString::fromStdString(emptyDir)));
    EXPECT_TRUE(guitest::showsOnlyTheEmptyStackHint(&view, view.rgbBuffer(), kSliceSide));
    view.changeImage(0);
    view.changeRegionNum(-1);
    EXPECT_TRUE(guitest::showsOnlyTheEmptyStackHint(&view, view.rgbBuffer(), kSliceSide));

    // The hint's painter leaves no GL state behind that would spoil the next picture.
    view.changeImageDir(otherDir.data());
    EXPECT_TRUE(screenShows(
        view, patternOnScreen(5, [&](int v) { return v <= 15 ? colourOf(table[0]) : grey(v); })));
}

TEST(EmptyStackHint, NamesTheFolderAbsoluteAndClean)
{
    guitest::ScratchCwd cwd;
    const QString here = QDir::currentPath();
    EXPECT_EQ(displayedDirectory("./data/"), here + "/data");
    EXPECT_EQ(displayedDirectory("scans/../other/"), here + "/other");
    EXPECT_EQ(displayedDirectory("/srv/scans/brain/"), "/srv/scans/brain");
    EXPECT_EQ(displayedDirectory("/"), "/");
    // Lumidra is started with no folder at all in the copy made for dr2.
    DisplayRegion view(nullptr, "dr1", 0);
    DisplayRegion copy(nullptr, "dr2", view);
    EXPECT_EQ(copy.loadedDirectory(), here + "/data");
}

// A stack read elsewhere (a volume) is taken as a directory is: slice 0,
// region 0, the count announced while the old stack is still held.
TEST_F(DisplayRegionTest, ShowStackTakesAStackAsADirectoryChangeDoes)
{
    auto table = generatedTable();
    DisplayRegion view(nullptr, "dr2", 0);
    showAllOnSlice2(view, table.data());
    const std::weak_ptr<const lumidra::SliceStack> oldStack = view.sliceStack();
    bool oldStackHeld = false;
    QSignalSpy spy(&view, &DisplayRegion::numPixChanged);
    QObject::connect(&view, &DisplayRegion::numPixChanged,
                     [&] { oldStackHeld = view.sliceStack() == oldStack.lock(); });

    const lumidra::SharedSliceStack other = lumidra::loadImageDirectory(otherDir.data());
    view.showStack(other);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 2);
    EXPECT_TRUE(oldStackHeld);
    EXPECT_TRUE(oldStack.expired());
    EXPECT_EQ(view.sliceStack(), other);
    EXPECT_EQ(view.imageIndex(), 0);
    EXPECT_EQ(view.regionIndex(), 0);
    EXPECT_TRUE(screenShows(
        view, patternOnScreen(5, [&](int v) { return v <= 15 ? colourOf(table[0]) : grey(v); })));
}

TEST_F(DisplayRegionTest, CopySharesTheStackAndOutlivesItsSource)
{
    auto table = generatedTable();
    auto source = makeViewInRoot(1);
    auto copy = std::make_unique<DisplayRegion>(nullptr, "dr2", *source);

    EXPECT_EQ(copy->objectName(), "dr2");
    EXPECT_EQ(copy->sliceStack().get(), source->sliceStack().get());
    EXPECT_EQ(copy->sliceCount(), 4);
    EXPECT_EQ(copy->imageIndex(), 1);
    EXPECT_EQ(copy->regionIndex(), 0);
    EXPECT_EQ(copy->regionTable(), nullptr);
    EXPECT_NE(copy->rgbBuffer(), source->rgbBuffer());
    EXPECT_TRUE(std::equal(copy->rgbBuffer(), copy->rgbBuffer() + kRgbBytes, source->rgbBuffer()));

    // A copy of a coloured view renders in colour straight away.
    source->changeRegions(table.data());
    source->changeRegionNum(5);
    DisplayRegion colourCopy(nullptr, "c", *source);
    EXPECT_EQ(colourCopy.regionIndex(), 5);
    EXPECT_TRUE(std::equal(colourCopy.rgbBuffer(), colourCopy.rgbBuffer() + kRgbBytes,
                           source->rgbBuffer()));

    const auto shared = copy->sliceStack().get();
    source->changeImageDir(otherDir.data());
    source.reset();
    EXPECT_EQ(copy->sliceStack().get(), shared);
    EXPECT_EQ(copy->sliceStack().use_count(), 2); // copy and colourCopy

    showAndWait(*copy);
    EXPECT_TRUE(screenShows(*copy, greyPattern(1)));
    copy->changeImage(2);
    EXPECT_TRUE(screenShows(*copy, greyPattern(2)));
}

// Counts the paints the view makes, so a redraw left to the event loop shows.
class CountingView : public DisplayRegion {
public:
    using DisplayRegion::DisplayRegion;
    int paints = 0;

protected:
    void paintGL() override
    {
        ++paints;
        DisplayRegion::paintGL();
    }
};

TEST_F(DisplayRegionTest, EverySlotRedrawsBeforeItReturns)
{
    auto table = generatedTable();
    CountingView view(nullptr, "dr2", 0);
    view.changeImageDir(dataDir.data());
    EXPECT_EQ(view.paints, 0) << "a hidden view paints nothing";
    showAndWait(view);

    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"changeRegions", [&] { view.changeRegions(table.data()); }},
        {"changeImage", [&] { view.changeImage(2); }},
        {"changeRegionNum", [&] { view.changeRegionNum(-1); }},
        {"changeImageDir", [&] { view.changeImageDir(otherDir.data()); }},
        {"showStack", [&] { view.showStack(lumidra::loadImageDirectory(dataDir.data())); }},
        {"waveletIfy", [&] { view.waveletIfy(3); }},
    };
    for (const auto& [name, call] : calls) {
        const int before = view.paints;
        call();
        EXPECT_GT(view.paints, before) << name;
    }
}

TEST_F(DisplayRegionTest, WaveletIfyReplacesThePictureUntilTheNextRender)
{
    auto table = generatedTable();
    // Paint the flat slice's grey value in a colour whose red differs from it.
    table[2].min = kFlatGrey;
    table[2].max = kFlatGrey;
    table[2].red = 200;
    DisplayRegion view(nullptr, "dr2", 0);
    view.changeImageDir(dataDir.data());
    view.changeRegions(table.data());
    view.changeRegionNum(2);
    view.changeImage(3);
    showAndWait(view);
    EXPECT_TRUE(screenShows(view, [&](int, int) { return colourOf(table[2]); }));

    // Depth 0: the red channel, in grey.
    view.waveletIfy(0);
    EXPECT_TRUE(screenShows(view, [](int, int) { return grey(200); }));

    // Each call decomposes what is shown: a flat picture keeps its value in
    // the low-pass corner, drawn at the bottom-left, and mid-grey elsewhere.
    const int bottom = kSliceSide - 1;
    view.waveletIfy(1);
    EXPECT_TRUE(screenShows(
        view, [&](int x, int y) { return x < 128 && bottom - y < 128 ? grey(200) : grey(128); }));
    view.waveletIfy(1);
    EXPECT_TRUE(screenShows(
        view, [&](int x, int y) { return x < 64 && bottom - y < 64 ? grey(200) : grey(128); }));

    view.changeImage(3);
    EXPECT_TRUE(screenShows(view, [&](int, int) { return colourOf(table[2]); }));
}

} // namespace

namespace {

// Each view loads the directory itself: while the files stay the same the
// two keep one stack; a file changed between their loads gives each its own.
TEST_F(DisplayRegionTest, TwoViewsKeepOneStackUntilAFileChangesBetweenTheirLoads)
{
    DisplayRegion first(nullptr, "dr1", 0);
    DisplayRegion second(nullptr, "dr2", 0);
    first.changeImageDir(dataDir.data());
    second.changeImageDir(dataDir.data());
    EXPECT_EQ(second.sliceStack(), first.sliceStack());

    const int changedPattern = 9;
    makeSliceDir(root + "changed/", 2, changedPattern - 1, false);
    std::filesystem::copy_file(root + "changed/slice001", dataDir + "slice001",
                               std::filesystem::copy_options::overwrite_existing);
    second.changeImageDir(dataDir.data());
    ASSERT_NE(second.sliceStack(), first.sliceStack());

    showAndWait(first);
    showAndWait(second);
    for (DisplayRegion* view : {&first, &second})
        view->changeImage(1);
    EXPECT_TRUE(screenShows(first, greyPattern(1)));
    EXPECT_TRUE(screenShows(second, greyPattern(changedPattern)));
    for (DisplayRegion* view : {&first, &second})
        view->changeImage(2);
    EXPECT_TRUE(screenShows(first, greyPattern(2)));
    EXPECT_TRUE(screenShows(second, greyPattern(2)));

    // The next load of the directory finds the latest stack and keeps it.
    first.changeImageDir(dataDir.data());
    EXPECT_EQ(first.sliceStack(), second.sliceStack());
}

} // namespace
