#include "core/render/SliceRender.h"

#include <algorithm>

namespace lumidra {

namespace {

// Start of slice `image`, or null when the stack has no such slice. The
// offset is taken in size_t so that a long stack cannot overflow it.
const std::uint8_t* sliceStart(const std::uint8_t* slices, int numPix, int image)
{
    if (slices == nullptr || numPix <= 0 || image < 0 || image >= numPix)
        return nullptr;
    return slices + sliceOffset(image);
}

// Unsigned comparison: a negative min lies above every grey value, a negative
// max above them too, so the former matches nothing and the latter reaches 255.
bool holds(const imgMaterial& region, std::uint32_t v)
{
    return static_cast<std::uint32_t>(region.min) <= v &&
           v <= static_cast<std::uint32_t>(region.max);
}

std::array<std::uint8_t, 3> colorOf(const imgMaterial& region)
{
    return {colourByte(region.red), colourByte(region.green), colourByte(region.blue)};
}

ColorTable greyTable()
{
    ColorTable table{};
    for (int v = 0; v < 256; ++v) {
        const auto g = static_cast<std::uint8_t>(v);
        table[v] = {g, g, g};
    }
    return table;
}

ColorTable oneRegionTable(const imgMaterial& region)
{
    ColorTable table = greyTable();
    for (std::uint32_t v = 0; v < 256; ++v) {
        if (holds(region, v))
            table[v] = colorOf(region);
    }
    return table;
}

// Every mode comes down to one lookup per pixel, in the reversed pixel order.
void paintSlice(const std::uint8_t* slice, const ColorTable& table, std::uint8_t* rgb)
{
    for (int j = 0; j < kSliceSamples; ++j) {
        const auto& c = table[slice[sampleOfPixel(j)]];
        rgb[3 * j] = c[0];
        rgb[3 * j + 1] = c[1];
        rgb[3 * j + 2] = c[2];
    }
}

// The slice to draw, or null after painting rgb black when the stack has none.
const std::uint8_t* sliceOrBlack(const std::uint8_t* slices, int numPix, int image,
                                 std::uint8_t* rgb)
{
    const std::uint8_t* slice = sliceStart(slices, numPix, image);
    if (slice == nullptr)
        std::fill(rgb, rgb + kRgbBytes, std::uint8_t{0});
    return slice;
}

} // namespace

ColorTable buildColorTable(const imgMaterial* regions)
{
    ColorTable table = greyTable();
    if (regions == nullptr)
        return table;
    for (std::uint32_t v = 0; v < 256; ++v) {
        for (int k = 0; k < kRegionCount; ++k) {
            if (holds(regions[k], v)) {
                table[v] = colorOf(regions[k]);
                break;
            }
        }
    }
    return table;
}

void renderGrey(const std::uint8_t* slices, int numPix, int image, std::uint8_t* rgb)
{
    renderColor(slices, numPix, image, nullptr, 0, rgb);
}

void renderColor(const std::uint8_t* slices, int numPix, int image, const imgMaterial* regions,
                 int regionNum, std::uint8_t* rgb)
{
    if (rgb == nullptr)
        return;
    const std::uint8_t* slice = sliceOrBlack(slices, numPix, image, rgb);
    if (slice == nullptr)
        return;
    if (regions == nullptr || regionNum >= kRegionCount) {
        paintSlice(slice, greyTable(), rgb);
        return;
    }
    if (regionNum < 0) {
        paintSlice(slice, buildColorTable(regions), rgb);
        return;
    }
    paintSlice(slice, oneRegionTable(regions[regionNum]), rgb);
}

} // namespace lumidra
