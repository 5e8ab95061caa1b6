#include "ImportTestSupport.h"
#include "Scans.h"

#include "core/common/Diagnostics.h"
#include "core/slices/SliceLoader.h"
#include "core/volume/VolumeReader.h"
#include "core/volume/VolumeSource.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace lumidra;

namespace fs = std::filesystem;
using namespace importtest;

namespace {

constexpr const char* kBrain = scans::kBrainTemplate;

struct HalfMasses {
    long long front = 0; // anterior half of the volume, upper half of the picture
    long long back = 0;
};

HalfMasses volumeMasses(const nifti_image& nim)
{
    HalfMasses m;
    const auto* voxels = static_cast<const unsigned char*>(nim.data);
    for (std::size_t n = 0; n < nim.nvox; ++n) {
        if (voxels[n] == 0)
            continue;
        const int j = static_cast<int>(n / nim.nx % nim.ny);
        (j >= nim.ny / 2 ? m.front : m.back) += 1;
    }
    return m;
}

} // namespace

// The real template: 181 axial slices, the full 12-bit range, and the head's anterior
// half in the upper half of the viewer's picture.
TEST(ImportBrain, TemplateShowsUpright)
{
    if (!fs::exists(kBrain))
        GTEST_SKIP() << kBrain << " is not installed";
    NiftiImagePtr nim(nifti_image_read(kBrain, 1));
    ASSERT_TRUE(nim && nim->datatype == DT_UINT8);
    int i = 0, j = 0, k = 0;
    nifti_mat44_to_orientation(nim->sto_xyz, &i, &j, &k);
    ASSERT_EQ(j, NIFTI_P2A) << "the halves below assume j runs toward anterior";

    TempDir tmp;
    const RunResult result = runImporter({kBrain, tmp / "brain"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    ASSERT_EQ(fileNames(tmp / "brain").size(), 181u);

    HalfMasses shown;
    std::uint32_t lo = 0xffffffffu, hi = 0;
    for (int z = 0; z < 181; ++z) {
        char name[16];
        std::snprintf(name, sizeof name, "slice%03d", z);
        const auto samples = loadRawSlice(tmp.path() / "brain" / name);
        lo = std::min(lo, *std::min_element(samples.begin(), samples.end()));
        hi = std::max(hi, *std::max_element(samples.begin(), samples.end()));
        for (const auto& [x, y] : shownNonZero(samples))
            (y < kSliceSide / 2 ? shown.front : shown.back) += 1;
    }
    EXPECT_EQ(lo, 0u);
    EXPECT_EQ(hi, 4095u);
    const HalfMasses expected = volumeMasses(*nim);
    ASSERT_NE(expected.front, expected.back) << "the halves would not tell a flip";
    EXPECT_EQ(shown.front, expected.front);
    EXPECT_EQ(shown.back, expected.back);
}

// Opening the template in the window shows exactly what importing it raw and
// opening that directory shows.
TEST(ImportBrain, WindowStackIsTheStackOfTheRawImport)
{
    if (!fs::exists(kBrain))
        GTEST_SKIP() << kBrain << " is not installed";
    TempDir tmp;
    ASSERT_EQ(runImporter({kBrain, tmp / "brain"}).exitCode, 0);
    std::FILE* quiet = std::fopen("/dev/null", "w");
    std::FILE* previous = setDiagStream(quiet);
    const SharedSliceStack imported = loadImageDirectory(tmp.prefix().append("brain/").c_str());
    setDiagStream(previous);
    std::fclose(quiet);

    const SharedSliceStack opened = openVolume(kBrain);
    ASSERT_EQ(opened->count(), 181);
    EXPECT_TRUE(opened->sameSlices(*imported));
    EXPECT_TRUE(std::equal(opened->grey(), opened->grey() + opened->size(), imported->grey()));
    EXPECT_EQ(opened->source()->fitFactor, 1);
}
