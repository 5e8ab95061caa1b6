#include "volume/SliceLoader.h"

#include "SliceFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint32_t kUnwritten = 0xDEADBEEF;
const char* const kBadHeader = "Parameters not correct, should be 256, 256, 255";

struct Parsed {
    int result = 0;
    std::vector<std::uint32_t> samples = std::vector<std::uint32_t>(kSliceSamples, kUnwritten);
    std::string output;
};

Parsed parsePgm(std::string_view text)
{
    Parsed p;
    testing::internal::CaptureStdout();
    p.result = parsePgmSlice(p.samples.data(), text.data(), text.size());
    p.output = testing::internal::GetCapturedStdout();
    return p;
}

Parsed parseRaw(std::string_view bytes)
{
    Parsed p;
    auto data = reinterpret_cast<const unsigned char*>(bytes.data());
    p.result = parseRawSlice(p.samples.data(), data, bytes.size());
    return p;
}

// Index of the first sample that differs from value at or after from; -1 if none.
long firstOtherThan(const std::vector<std::uint32_t>& samples, std::size_t from,
                    std::uint32_t value)
{
    for (std::size_t i = from; i < samples.size(); ++i)
        if (samples[i] != value)
            return static_cast<long>(i);
    return -1;
}

const std::string kHeader = "P2\n256 256\n255\n";

} // namespace

TEST(RawSlice, SamplesAreBigEndianPairsAndAShortFileEndsInZeros)
{
    Parsed p = parseRaw(std::string_view("\x01\x02\x03\x04", 4));
    EXPECT_EQ(p.result, 2);
    EXPECT_EQ(p.samples[0], 258u);
    EXPECT_EQ(p.samples[1], 772u);
    EXPECT_EQ(firstOtherThan(p.samples, 2, 0), -1);

    // No sign extension of the high byte; a trailing partial group is not a sample.
    p = parseRaw(std::string_view("\xFF\xFF\x10\x00\x05\x06\x07", 7));
    EXPECT_EQ(p.result, 2);
    EXPECT_EQ(p.samples[0], 65535u);
    EXPECT_EQ(p.samples[1], 4096u);
    EXPECT_EQ(firstOtherThan(p.samples, 2, 0), -1);

    p = parseRaw({});
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(firstOtherThan(p.samples, 0, 0), -1);
}

TEST(RawSlice, ReadsOneSliceOfALongerFile)
{
    std::vector<std::uint16_t> values(kSliceSamples + 8);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::uint16_t>(i * 2654435761u >> 7);
    Parsed p = parseRaw(slicefiles::rawSlice(values));
    EXPECT_EQ(p.result, kSliceSamples);
    for (int i = 0; i < kSliceSamples; ++i)
        ASSERT_EQ(p.samples[i], values[i]) << "sample " << i;
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
    struct Case {
        std::string_view header;
        bool fits;
    };
    const Case cases[] = {
        {"P2\n# written by hand 256\n256 256\n255\n", true},
        {"P2 256 256 255\n", true},
        {"P2\n#\n256 256 255 ", true},
        {"P2\r\n256 256\r\n255\r\n", true},
        {"P2\n+256 0256 255\n", true},
        {"P2\n256abc 256 255\n", true},          // the width is read from the front of its word
        {std::string_view("P2\0junk 256 256 255 ", 20), true}, // the magic ends at the NUL
        {"P2\n4294967552 256 255\n", true},      // 2^32 + 256 keeps its low 32 bits
        {"P2\n-4294967040 256 255\n", true},
        {"P2\n#written by hand\n256 256\n255\n", false},
        {"P2\n# no line end 256 256 255", false},
        {"P2\n256 512\n255\n", false},
        {"P2\n256 256\n4095\n", false},
        {"P2\n99999999999999999999 256 255\n", false}, // saturates, then stores -1
        {"P2\n18446744073709551872 256 255\n", false}, // 2^64 + 256 saturates too
        {"P2\n256 256\n", false},
        {"P2\n256 - 256 255\n", false},
        {"P2\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.header));
        Parsed p = parsePgm(std::string(c.header) + " 1 2");
        if (c.fits) {
            EXPECT_EQ(p.result, kSliceSamples);
            EXPECT_EQ(p.output, "");
            EXPECT_EQ(p.samples[0], 16u);
            EXPECT_EQ(p.samples[1], 32u);
            EXPECT_EQ(firstOtherThan(p.samples, 2, 0), -1);
        } else {
            EXPECT_EQ(p.result, -1);
            EXPECT_EQ(p.output, kBadHeader);
            EXPECT_EQ(firstOtherThan(p.samples, 0, 0), -1);
        }
    }
}

TEST(PgmSlice, AWrongMagicIsNamedUpToItsFirst1023Characters)
{
    Parsed p = parsePgm("P5\n256 256\n255\n");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.output, "P5 invalid .pgm type");
    EXPECT_EQ(firstOtherThan(p.samples, 0, 0), -1);

    EXPECT_EQ(parsePgm(" \n\t").output, " invalid .pgm type");
    EXPECT_EQ(parsePgm(std::string_view("\0P2", 3)).output, " invalid .pgm type");
    EXPECT_EQ(parsePgm("P2x 256 256 255").output, "P2x invalid .pgm type");

    std::string longWord(5000, 'W');
    EXPECT_EQ(parsePgm(longWord).output, std::string(1023, 'W') + " invalid .pgm type");
}

TEST(PgmSlice, ASampleFieldHoldsAtMostThreeCharacters)
{
    Parsed p = parsePgm(kHeader + "255255 1234 -12 +7 -123 007 0x5");
    const std::uint32_t expected[] = {4080, 4080, 123 * 16, 4 * 16, static_cast<std::uint32_t>(-12 * 16),
                                      7 * 16, static_cast<std::uint32_t>(-12 * 16), 3 * 16,
                                      7 * 16, 0};
    EXPECT_EQ(p.result, kSliceSamples);
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(p.samples[i], expected[i]) << "sample " << i;
    // "x5" is not a number: the slice ends there.
    EXPECT_EQ(firstOtherThan(p.samples, std::size(expected), 0), -1);
}

TEST(PgmSlice, AFieldThatIsNotANumberEndsTheSlice)
{
    for (std::string_view tail : {"1 2 x 3", "1 2 - 3", "1 2 +", "1 2", "1 2\n\n  "}) {
        SCOPED_TRACE(std::string(tail));
        Parsed p = parsePgm(kHeader + std::string(tail));
        EXPECT_EQ(p.result, kSliceSamples);
        EXPECT_EQ(p.samples[0], 16u);
        EXPECT_EQ(p.samples[1], 32u);
        EXPECT_EQ(firstOtherThan(p.samples, 2, 0), -1);
    }
}

TEST(PgmSlice, SamplesAfterTheLastAreIgnored)
{
    std::string text = kHeader;
    for (int i = 0; i < kSliceSamples; ++i)
        text += "9 ";
    text += "1 1 1";
    Parsed p = parsePgm(text);
    EXPECT_EQ(p.result, kSliceSamples);
    EXPECT_EQ(firstOtherThan(p.samples, 0, 144), -1);
}
