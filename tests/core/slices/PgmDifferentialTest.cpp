// parsePgmSlice, by every way of reading samples the processor supports,
// against the stdio reference on generated and mutated text: same result,
// same samples, same diagnostics.
#include "core/slices/PgmScan.h"
#include "core/slices/SliceLoader.h"

#include "CaptureStdout.h"
#include "PgmReference.h"
#include "SliceFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace lumidra;

using pgmscan::SampleScan;

namespace {

// The buffers start with different patterns, so a sample one reader leaves
// unwritten shows; they are reused, as fresh ones cost more than parsing.
class Differ {
public:
    ::testing::AssertionResult operator()(const std::string& text)
    {
        std::memset(want_.data(), 0xCD, want_.size() * sizeof(want_[0]));
        int wanted = 0;
        std::string wantedOutput = capturedStdout([&] {
            std::FILE* file = ::fmemopen(const_cast<char*>(text.data()), text.size(), "r");
            wanted = referenceReadPgm(file, want_.data());
            std::fclose(file);
        });
        for (SampleScan scan : pgmscan::kEveryScan) {
            if (!pgmscan::supported(scan))
                continue;
            std::memset(got_.data(), 0xAB, got_.size() * sizeof(got_[0]));
            int result = 0;
            std::string output = capturedStdout(
                [&] { result = parsePgmSliceWith(scan, got_.data(), text.data(), text.size()); });
            auto [g, w] = std::mismatch(got_.begin(), got_.end(), want_.begin());
            if (result != wanted || output != wantedOutput || g != got_.end())
                return ::testing::AssertionFailure()
                       << "sample scan " << static_cast<int>(scan) << ": result " << result
                       << " (reference " << wanted << "), output \"" << output << "\" (\""
                       << wantedOutput << "\"), first differing sample " << (g - got_.begin());
        }
        return ::testing::AssertionSuccess();
    }

private:
    std::vector<std::uint32_t> got_ = std::vector<std::uint32_t>(kSliceSamples);
    std::vector<std::uint32_t> want_ = std::vector<std::uint32_t>(kSliceSamples);
};

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool oneIn(int n) { return below(n) == 0; }

    std::string digits(int n)
    {
        std::string s;
        while (n-- > 0)
            s += static_cast<char>('0' + below(10));
        return s;
    }

    // Mostly small numbers and white space; now and then signs, leading
    // zeros, runs long enough to overflow long, comment marks, NULs, any
    // byte, and stretches of plain samples long enough to fill a block.
    std::string token()
    {
        static const std::string kOdd[] = {
            "#", "# ", "#x", "-", "+", "P2", "P5", "4294967552", std::string(1, '\0')};
        int pick = below(24);
        if (pick < 10)
            return (oneIn(6) ? std::string(oneIn(2) ? "-" : "+") : "") + (oneIn(8) ? "00" : "") +
                   (oneIn(10) ? digits(4 + below(30))
                              : std::to_string(below(oneIn(4) ? 1000 : 256)));
        if (pick < 17)
            return std::string(1 + oneIn(3), " \t\n\v\f\r"[below(6)]);
        if (pick < 19)
            return kOdd[below(std::size(kOdd))];
        if (pick < 23)
            return std::string(1, static_cast<char>(below(256)));
        std::string plain;
        for (int n = 20 + below(40); n > 0; --n)
            plain += std::to_string(below(256)) + (oneIn(8) ? "\n" : " ");
        return plain;
    }

    std::string text()
    {
        std::string t = oneIn(10) ? "" : "P2 ";
        if (oneIn(4))
            t += oneIn(2) ? "# a comment\n" : "#\n";
        t += oneIn(10) ? token() : "256 256 255\n";
        for (int n = below(150); n > 0; --n)
            t += token();
        return t;
    }

    std::string netpbmFile()
    {
        std::vector<std::uint8_t> grey(kSliceSamples);
        for (auto& g : grey)
            g = static_cast<std::uint8_t>(oneIn(3) ? 0 : below(256));
        return slicefiles::plainPgm(grey);
    }

    // One edit, half of the time among the first 40 bytes, where the header is.
    void mutate(std::string& t)
    {
        std::size_t at = t.empty() ? 0 : below(oneIn(2) ? std::min<int>(t.size(), 40) : t.size());
        switch (below(5)) {
        case 0:
            t.insert(at, 1, static_cast<char>(below(256)));
            break;
        case 1:
            t.insert(at, token());
            break;
        case 2:
            t.insert(at, digits(1 + below(40)));
            break;
        case 3:
            t.erase(at, 1 + below(8));
            break;
        default:
            t.resize(at);
        }
    }

private:
    std::mt19937 rng_;
};

} // namespace

TEST(PgmDifferential, AgreesOnGeneratedAndMutatedText)
{
    Differ agree;
    for (unsigned seed = 1; seed <= 3000; ++seed) {
        Generator g(seed);
        std::string text = g.text();
        ASSERT_TRUE(agree(text)) << "seed " << seed << ":\n" << text;
        for (int edits = 1 + g.below(3); edits > 0; --edits)
            g.mutate(text);
        ASSERT_TRUE(agree(text)) << "seed " << seed << ", mutated:\n" << text;
    }
}

TEST(PgmDifferential, AgreesOnWholeSlicesWithEdits)
{
    Differ agree;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        Generator g(seed);
        std::string text = g.netpbmFile();
        for (int edits = seed > 2 ? 1 + g.below(3) : 0; edits > 0; --edits)
            g.mutate(text);
        ASSERT_TRUE(agree(text)) << "seed " << seed;
    }
}

// More samples than a slice holds, its last one falling at each place in a
// block: nothing may be stored past it.
TEST(PgmDifferential, AgreesWhereTheSliceEndsInsideABlock)
{
    Differ agree;
    std::string ones;
    for (int i = 0; i < kSliceSamples; ++i)
        ones += "1 ";
    for (int shortBy = 0; shortBy <= 34; ++shortBy) {
        std::string text = "P2 256 256 255\n" + ones.substr(0, 2 * (kSliceSamples - shortBy));
        for (int i = 0; i < 40; ++i)
            text += i % 5 == 0 ? "7\n" : "254 ";
        EXPECT_TRUE(agree(text)) << "short by " << shortBy;
    }
}

// Numbers around the limits of int and long, and words around the length
// of the word buffer, where the header reads them.
TEST(PgmDifferential, AgreesAtTheLimitsOfNumbersAndWords)
{
    Differ agree;
    for (std::string n : {"2147483648", "4294967295", "4294967552", "9223372036854775807",
                          "9223372036854775808", "18446744073709551615", "18446744073709551872",
                          "36893488147419103488", "000000000000000000000000256", "0", "-"}) {
        for (const std::string& number : {n, "-" + n, "+" + n}) {
            EXPECT_TRUE(agree("P2 " + number + " 256 255 1 2")) << number;
            EXPECT_TRUE(agree("P2 # x\n" + number + " 256 255 1 2")) << number;
            EXPECT_TRUE(agree("P2 256 " + number + " 255 1 2")) << number;
            EXPECT_TRUE(agree("P2 256 256 255 " + number + " 7")) << number;
        }
    }
    for (std::size_t length : {1022, 1023, 1024, 1025, 2047, 5000}) {
        EXPECT_TRUE(agree(std::string(length, 'P') + " 256 256 255 1")) << length;
        // A long width word: its first 1,023 characters are the width, the rest the height.
        EXPECT_TRUE(agree("P2 " + std::string(length - 3, '0') + "256 256 255 1 2")) << length;
        EXPECT_TRUE(agree("P2 " + std::string(length - 3, '0') + "256 255 1 2")) << length;
        EXPECT_TRUE(agree("P2 #" + std::string(length - 1, '\0') + "\n256 256 255 1")) << length;
    }
}
