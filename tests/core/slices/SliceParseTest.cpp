// Values the slice rules pin down, on bytes in memory. Agreement with glibc
// on arbitrary text is PgmDifferentialTest's part.
#include "core/slices/SliceLoader.h"

#include "SliceFiles.h"

#include "CaptureStdout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using namespace lumidra;

namespace {

struct Parsed {
    int result = 0;
    std::vector<std::uint32_t> samples = std::vector<std::uint32_t>(kSliceSamples, 0xDEADBEEF);
    std::string output;
};

Parsed parsePgm(std::string_view text)
{
    Parsed p;
    p.output = capturedStdout(
        [&] { p.result = parsePgmSlice(p.samples.data(), text.data(), text.size()); });
    return p;
}

// Whether every sample from `from` on is 0, as on every path nothing was read.
bool zerosFrom(const std::vector<std::uint32_t>& samples, std::size_t from)
{
    return std::all_of(samples.begin() + from, samples.end(), [](auto s) { return s == 0; });
}

const std::string kHeader = "P2\n256 256\n255\n";

} // namespace

TEST(RawSlice, SamplesAreBigEndianPairsAndMissingOnesAreZero)
{
    auto parse = [](std::string_view bytes, Parsed& p) {
        p.result = parseRawSlice(
            p.samples.data(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    };
    // The high byte is not sign-extended; a trailing partial group is no sample.
    Parsed p;
    parse(std::string_view("\x01\x02\x03\x04\xFF\xFF\x10\x00\x05\x06\x07", 11), p);
    EXPECT_EQ(p.result, 4);
    EXPECT_EQ(p.samples[0], 258u);
    EXPECT_EQ(p.samples[1], 772u);
    EXPECT_EQ(p.samples[2], 65535u);
    EXPECT_EQ(p.samples[3], 4096u);
    EXPECT_TRUE(zerosFrom(p.samples, 4));

    // Eight samples a step in the vector loop: every count around a step.
    std::vector<std::uint16_t> values(kSliceSamples + 8);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::uint16_t>(i * 2654435761u >> 7);
    std::string bytes = slicefiles::rawSlice(values);
    for (std::size_t size : {std::size_t{0}, std::size_t{28}, std::size_t{32}, std::size_t{36},
                             kRawSliceBytes - 4, kRawSliceBytes, bytes.size()}) {
        Parsed q;
        parse(std::string_view(bytes).substr(0, size), q);
        int expected = static_cast<int>(std::min(size, kRawSliceBytes) / 2);
        ASSERT_EQ(q.result, expected) << size;
        EXPECT_TRUE(std::equal(q.samples.begin(), q.samples.begin() + expected, values.begin()));
        EXPECT_TRUE(zerosFrom(q.samples, expected)) << size;
    }
}

TEST(PgmSlice, ANetpbmFileGivesEverySampleTimesSixteen)
{
    std::vector<std::uint8_t> grey(kSliceSamples);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    grey.back() = 255;
    Parsed p = parsePgm(slicefiles::plainPgm(grey));
    EXPECT_EQ(p.result, kSliceSamples);
    EXPECT_EQ(p.output, "");
    for (int i = 0; i < kSliceSamples; ++i)
        ASSERT_EQ(p.samples[i], grey[i] * 16u) << "sample " << i;
    EXPECT_EQ(p.samples.back(), 4080u);
}

TEST(PgmSlice, HeaderVariants)
{
    const std::pair<std::string_view, bool> cases[] = {
        {"P2\n# written by hand 256\n256 256\n255\n", true},
        {"P2 256 256 255\n", true},
        {"P2\r\n256 256\r\n255\r\n", true},
        {"P2\n256abc 256 255\n", true},                        // the width is the word's front
        {std::string_view("P2\0junk 256 256 255 ", 20), true}, // the magic ends at the NUL
        {"P2\n4294967552 256 255\n", true},                    // 2^32 + 256 keeps its low bits
        {"P2\n#written by hand\n256 256\n255\n", false},
        {"P2\n# no line end 256 256 255", false},
        {"P2\n256 512\n255\n", false},
        {"P2\n256 256\n4095\n", false},
        {"P2\n18446744073709551872 256 255\n", false}, // 2^64 + 256 saturates: -1
        {"P2\n256 - 256 255\n", false},
    };
    for (auto [header, fits] : cases) {
        Parsed p = parsePgm(std::string(header) + " 1 2");
        if (fits) {
            EXPECT_EQ(p.result, kSliceSamples) << header;
            EXPECT_EQ(p.output, "") << header;
            EXPECT_EQ(p.samples[1], 32u) << header;
            EXPECT_TRUE(zerosFrom(p.samples, 2)) << header;
        } else {
            EXPECT_EQ(p.result, -1) << header;
            EXPECT_EQ(p.output, "Parameters not correct, should be 256, 256, 255") << header;
            EXPECT_TRUE(zerosFrom(p.samples, 0)) << header;
        }
    }
}

TEST(PgmSlice, AWrongMagicIsNamedUpToItsFirst1023Characters)
{
    Parsed p = parsePgm("P5\n256 256\n255\n");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.output, "P5 invalid .pgm type");
    EXPECT_TRUE(zerosFrom(p.samples, 0));
    EXPECT_EQ(parsePgm(" \n\t").output, " invalid .pgm type");
    EXPECT_EQ(parsePgm(std::string(5000, 'W')).output,
              std::string(1023, 'W') + " invalid .pgm type");
}

TEST(PgmSlice, AFieldHoldsAtMostThreeCharactersAndANonNumberEndsTheSlice)
{
    Parsed p = parsePgm(kHeader + "255255 1234 -12 +7 -123 0x5");
    const int expected[] = {255, 255, 123, 4, -12, 7, -12, 3, 0};
    EXPECT_EQ(p.result, kSliceSamples);
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(p.samples[i], static_cast<std::uint32_t>(expected[i] * 16)) << "sample " << i;
    EXPECT_TRUE(zerosFrom(p.samples, std::size(expected))); // "x5" ends it

    for (std::string_view tail : {"1 2 x 3", "1 2 - 3", "1 2 +", "1 2\n\n  "}) {
        Parsed q = parsePgm(kHeader + std::string(tail));
        EXPECT_EQ(q.result, kSliceSamples) << tail;
        EXPECT_EQ(q.samples[1], 32u) << tail;
        EXPECT_TRUE(zerosFrom(q.samples, 2)) << tail;
    }
}
