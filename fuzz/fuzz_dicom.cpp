// The reader process's answers as the core parses them, on arbitrary bytes,
// then grouped into series: no crash, and every series that opens has its
// slices in order, evenly enough spaced, each naming a frame of one of its
// images, with a finite geometry.
#include "core/dicom/DicomSeries.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

using namespace lumidra;

namespace {

void check(const DicomSeries& series)
{
    for (std::size_t k = 0; k < series.slices.size(); ++k) {
        const DicomSlice& slice = series.slices[k];
        if (slice.image >= series.images.size() || slice.frame < 0 ||
            slice.frame >= series.images[slice.image].frames)
            std::abort();
        if (k > 0 && !(slice.along > series.slices[k - 1].along))
            std::abort();
    }
    if (series.slices.size() > 1 && !(series.spacing > 0))
        std::abort();
    const DicomGeometry g = dicomGeometry(series);
    for (const auto& row : g.toMm)
        for (const double v : row)
            if (!std::isfinite(v))
                std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<DicomImage> images;
    while (!text.empty() && images.size() < 256) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::optional<ScanAnswer> answer = parseScanAnswer(text.substr(0, end));
        // Frames beyond what a file could hold would only spend memory.
        if (answer && answer->kind == ScanAnswer::Kind::Image && answer->image.frames <= 4096) {
            answer->image.path = std::to_string(images.size());
            images.push_back(std::move(answer->image));
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    for (const DicomSeries& series : groupDicomSeries(std::move(images)))
        if (series.problem.empty())
            check(series);
    return 0;
}
