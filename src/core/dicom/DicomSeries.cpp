#include "core/dicom/DicomSeries.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

namespace lumidra {

namespace {

Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double dot(const Vec3& a, const Vec3& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

std::string fixed(double value, int digits)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

std::string point(const Vec3& p)
{
    std::string text = "(";
    text.append(fixed(p[0], 2)).append(", ").append(fixed(p[1], 2)).append(", ");
    return text.append(fixed(p[2], 2)).append(")");
}

// Where no orientation is given, a single slice lies as the patient does.
constexpr std::array<double, 6> kAxialOrientation = {1, 0, 0, 0, 1, 0};

std::array<double, 6> orientationOf(const DicomImage& image)
{
    return image.orientation.value_or(kAxialOrientation);
}

Vec3 normalOf(const std::array<double, 6>& o)
{
    Vec3 n = cross({o[0], o[1], o[2]}, {o[3], o[4], o[5]});
    const double length = std::sqrt(dot(n, n));
    if (length > 0)
        for (double& c : n)
            c /= length;
    return n;
}

// What splits one series into volumes besides its UID.
std::string shapeKey(const DicomImage& image)
{
    std::string key = std::to_string(image.rows) + "x" + std::to_string(image.columns);
    if (image.orientation)
        for (const double c : *image.orientation) {
            double rounded = std::round(c * 1e3) / 1e3;
            if (rounded == 0)
                rounded = 0; // no "-0.000"
            key.append(" ").append(fixed(rounded, 3));
        }
    return key;
}

std::string fileName(const DicomSeries& series, const DicomSlice& slice)
{
    return "'" + series.images[slice.image].path + "'";
}

// The slices of a group's images; a problem when frames cannot be placed.
std::string collectSlices(DicomSeries& series)
{
    for (std::size_t i = 0; i < series.images.size(); ++i) {
        const DicomImage& image = series.images[i];
        if (image.frames > 1) {
            if (image.framePositions.size() != static_cast<std::size_t>(image.frames))
                return "'" + image.path + "' holds " + std::to_string(image.frames) +
                       " frames without a position for each";
            for (int f = 0; f < image.frames; ++f)
                series.slices.push_back({i, f, image.framePositions[static_cast<std::size_t>(f)]});
        } else {
            series.slices.push_back({i, 0, image.position.value_or(Vec3{})});
        }
    }
    return {};
}

std::string formatProblem(const DicomSeries& series)
{
    const DicomImage& first = series.images.front();
    if (first.isMosaic()) {
        std::string tiles = first.mosaicTiles > 1 ? std::to_string(first.mosaicTiles) + " slices"
                                                  : "several slices";
        return "a Siemens mosaic (" + tiles +
               " tiled in each image), which Lumidra does not split: convert it to NIfTI "
               "first, for instance with dcm2niix";
    }
    for (const DicomImage& image : series.images) {
        if (image.samples != 1 && image.samples != 3)
            return "'" + image.path + "' has " + std::to_string(image.samples) +
                   " samples per pixel; Lumidra reads greyscale images only";
        if (image.samples != 1 || image.photometric.rfind("MONOCHROME", 0) != 0)
            return "'" + image.path + "' is a colour image (" + image.photometric +
                   "); Lumidra reads greyscale images only";
        if (image.bitsAllocated != 8 && image.bitsAllocated != 16 && image.bitsAllocated != 32)
            return "'" + image.path + "' has " + std::to_string(image.bitsAllocated) +
                   "-bit pixels; 8, 16 and 32 are read";
        if (image.bitsAllocated != first.bitsAllocated || image.isSigned != first.isSigned)
            return "its images store their pixels in different formats";
    }
    const bool placed = std::all_of(series.images.begin(), series.images.end(), [](auto& im) {
        return im.orientation && (im.position || im.frames > 1);
    });
    if (!placed && series.images.size() + static_cast<std::size_t>(first.frames) > 2)
        return "its images do not say where they lie (ImagePositionPatient and "
               "ImageOrientationPatient), so their order is unknown";
    return {};
}

// Orders the slices along the normal and takes the spacing from their
// positions, or says why it cannot.
void orderSlices(DicomSeries& series)
{
    const Vec3 normal = normalOf(orientationOf(series.images.front()));
    for (DicomSlice& slice : series.slices)
        slice.along = dot(slice.position, normal);
    std::stable_sort(series.slices.begin(), series.slices.end(),
                     [](const DicomSlice& a, const DicomSlice& b) { return a.along < b.along; });
    if (series.slices.size() < 2)
        return;
    std::vector<double> steps;
    for (std::size_t k = 1; k < series.slices.size(); ++k) {
        const DicomSlice& a = series.slices[k - 1];
        const DicomSlice& b = series.slices[k];
        if (b.along - a.along < 1e-3) {
            series.problem = "two slices lie at one position " + point(a.position) + ": " +
                             fileName(series, a) + " and " + fileName(series, b);
            return;
        }
        steps.push_back(b.along - a.along);
    }
    std::vector<double> sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t mid = sorted.size() / 2;
    series.spacing = sorted.size() % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2.0;
    std::size_t worst = 0;
    for (std::size_t k = 1; k < steps.size(); ++k)
        if (std::fabs(steps[k] - series.spacing) > std::fabs(steps[worst] - series.spacing))
            worst = k;
    const double off = std::fabs(steps[worst] - series.spacing) / series.spacing;
    if (off <= kSpacingSameFraction)
        return;
    std::string where = "a step of " + fixed(steps[worst], 3) + " mm between slices at " +
                        point(series.slices[worst].position) + " and " +
                        point(series.slices[worst + 1].position) + " where the series steps " +
                        fixed(series.spacing, 3) + " mm";
    if (off <= kSpacingWarnFraction)
        series.warning = "the slices are not quite evenly spaced: " + where;
    else
        series.problem = "the slices are not evenly spaced (a missing slice?): " + where;
}

DicomSeries makeSeries(std::vector<DicomImage> images)
{
    DicomSeries series;
    const DicomImage& first = images.front();
    series.uid = first.seriesUid;
    series.number = first.seriesNumber;
    series.description = first.description;
    series.modality = first.modality;
    series.rows = first.rows;
    series.columns = first.columns;
    series.images = std::move(images);
    series.problem = formatProblem(series);
    if (series.problem.empty())
        series.problem = collectSlices(series);
    if (series.problem.empty())
        orderSlices(series);
    return series;
}

bool positionsRepeat(const std::vector<DicomImage>& images)
{
    std::set<std::tuple<long long, long long, long long>> seen;
    for (const DicomImage& image : images) {
        auto place = [&](const Vec3& p) {
            return std::make_tuple(std::llround(p[0] * 1e3), std::llround(p[1] * 1e3),
                                   std::llround(p[2] * 1e3));
        };
        if (image.frames > 1) {
            for (const Vec3& p : image.framePositions)
                if (!seen.insert(place(p)).second)
                    return true;
        } else if (image.position && !seen.insert(place(*image.position)).second) {
            return true;
        }
    }
    return false;
}

// Splits images by a key, in order of each key's first image.
template <typename Key>
std::vector<std::vector<DicomImage>> splitBy(std::vector<DicomImage> images, Key key)
{
    std::vector<std::vector<DicomImage>> groups;
    std::map<decltype(key(images.front())), std::size_t> index;
    for (DicomImage& image : images) {
        const auto [it, added] = index.try_emplace(key(image), groups.size());
        if (added)
            groups.emplace_back();
        groups[it->second].push_back(std::move(image));
    }
    return groups;
}

void giveTags(std::vector<DicomSeries>& all)
{
    std::map<std::string, int> uses;
    auto base = [](const DicomSeries& s) {
        return s.number ? std::to_string(*s.number) : std::string("0");
    };
    for (const DicomSeries& s : all)
        ++uses[base(s)];
    std::map<std::string, int> given;
    for (DicomSeries& s : all) {
        s.tag = base(s);
        if (uses[s.tag] > 1)
            s.tag.append(".").append(std::to_string(++given[s.tag]));
    }
}

} // namespace

std::vector<DicomSeries> groupDicomSeries(std::vector<DicomImage> images)
{
    std::vector<DicomSeries> all;
    if (images.empty())
        return all;
    for (auto& byUid : splitBy(std::move(images), [](const DicomImage& i) { return i.seriesUid; }))
        for (auto& byShape : splitBy(std::move(byUid), shapeKey)) {
            if (!positionsRepeat(byShape)) {
                all.push_back(makeSeries(std::move(byShape)));
                continue;
            }
            auto byAcquisition = splitBy(
                std::move(byShape), [](const DicomImage& i) { return i.acquisition.value_or(-1); });
            for (auto& part : byAcquisition)
                all.push_back(makeSeries(std::move(part)));
        }
    std::stable_sort(all.begin(), all.end(), [](const DicomSeries& a, const DicomSeries& b) {
        return std::make_tuple(a.number.value_or(0), a.uid) <
               std::make_tuple(b.number.value_or(0), b.uid);
    });
    giveTags(all);
    return all;
}

DicomGeometry dicomGeometry(const DicomSeries& series)
{
    const DicomImage& first = series.images.front();
    const std::array<double, 6> o = orientationOf(first);
    const Vec3 row = {o[0], o[1], o[2]};
    const Vec3 column = {o[3], o[4], o[5]};
    const std::array<double, 2> pixel = first.pixelSpacing.value_or(std::array<double, 2>{});
    const Vec3 origin = series.slices.front().position;
    Vec3 step = normalOf(o);
    double along = first.thickness;
    if (series.slices.size() > 1) {
        const Vec3& last = series.slices.back().position;
        const double gaps = static_cast<double>(series.slices.size() - 1);
        for (int r = 0; r < 3; ++r)
            step[r] = (last[r] - origin[r]) / gaps;
        along = series.spacing;
    } else if (along > 0) {
        for (double& c : step)
            c *= along;
    }
    DicomGeometry g;
    g.voxelMm = {pixel[1], pixel[0], along};
    const double columnMm = pixel[1] > 0 ? pixel[1] : 1.0;
    const double rowMm = pixel[0] > 0 ? pixel[0] : 1.0;
    for (int r = 0; r < 3; ++r) {
        const double lpsToRas = r < 2 ? -1.0 : 1.0;
        g.toMm[r] = {lpsToRas * row[r] * columnMm, lpsToRas * column[r] * rowMm, lpsToRas * step[r],
                     lpsToRas * origin[r]};
    }
    return g;
}

} // namespace lumidra
