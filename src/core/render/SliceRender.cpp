#include "core/render/SliceRender.h"

#include <algorithm>
#include <cstring>
#include <tuple>

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

// The grey, with each value that a region takes in that region's colour.
ColorTable tableOf(const imgMaterial* regions, const RegionByGrey& owner)
{
    ColorTable table = greyTable();
    for (int v = 0; v < 256; ++v)
        if (owner[v] >= 0)
            table[v] = colorOf(regions[owner[v]]);
    return table;
}

// A colour table packed for painting: each colour as four bytes, red first,
// the fourth a spare. Indexed by grey byte (256 entries), or by a sample's
// low twelve bits (4,096 entries: the grey byte is bits 4 to 11, so a sample
// needs no shift).
template <std::size_t N> using PackedTable = std::array<std::uint32_t, N>;

template <std::size_t N> PackedTable<N> packed(const ColorTable& table)
{
    constexpr std::size_t kRun = N / 256; // entries of one grey value
    PackedTable<N> out;
    for (std::size_t v = 0; v < 256; ++v) {
        const std::uint8_t bytes[4] = {table[v][0], table[v][1], table[v][2], 0};
        std::uint32_t colour;
        std::memcpy(&colour, bytes, 4);
        std::fill_n(out.begin() + v * kRun, kRun, colour);
    }
    return out;
}

template <class Voxel> using TableFor = PackedTable<sizeof(Voxel) == 1 ? 256 : 4096>;

// Every mode comes down to one lookup per pixel, in the reversed pixel
// order. A colour is stored as four bytes, whose fourth the next pixel
// overwrites: one store instead of three. The last pixel gets three. Four
// pixels a step, whose loads and stores do not wait on one another.
template <class Voxel>
void paintSlice(const Voxel* slice, const TableFor<Voxel>& table, std::uint8_t* rgb)
{
    // The mask gives a 32-bit index, which a byte index would not be.
    constexpr std::uint32_t kMask = std::tuple_size_v<TableFor<Voxel>> - 1;
    const auto put = [&](int j) {
        const std::uint32_t c = table[slice[sampleOfPixel(j)] & kMask];
        std::memcpy(rgb + 3 * j, &c, 4);
    };
    int j = 0;
    for (; j + 4 < kSliceSamples; j += 4) {
        put(j);
        put(j + 1);
        put(j + 2);
        put(j + 3);
    }
    for (; j + 1 < kSliceSamples; ++j)
        put(j);
    const std::uint32_t last = table[slice[sampleOfPixel(j)] & kMask];
    std::memcpy(rgb + 3 * j, &last, 3);
}

template <class Voxel>
void paintSlice(const Voxel* slice, const ColorTable& table, std::uint8_t* rgb)
{
    paintSlice<Voxel>(slice, packed<std::tuple_size_v<TableFor<Voxel>>>(table), rgb);
}

// The table a mode paints with: grey, one region over grey, or all regions.
ColorTable tableFor(const imgMaterial* regions, int regionNum)
{
    return tableOf(regions, regionsByGrey(regions, regionNum));
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
    return tableOf(regions, regionsByGrey(regions, -1));
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
    if (slice != nullptr)
        paintSlice(slice, tableFor(regions, regionNum), rgb);
}

void renderGrey(const SliceStack* stack, int image, std::uint8_t* rgb)
{
    renderColor(stack, image, nullptr, 0, rgb);
}

void renderColor(const SliceStack* stack, int image, const imgMaterial* regions, int regionNum,
                 std::uint8_t* rgb)
{
    if (rgb == nullptr)
        return;
    if (stack == nullptr || image < 0 || image >= stack->count()) {
        std::fill(rgb, rgb + kRgbBytes, std::uint8_t{0});
        return;
    }
    stack->visitSlice(
        image, [&](auto slice) { paintSlice(slice.data(), tableFor(regions, regionNum), rgb); });
}

} // namespace lumidra
