// parsePgmSlice against the stdio reference on generated and mutated files:
// same result, same samples, same diagnostics.
#include "volume/SliceLoader.h"

#include "PgmReference.h"
#include "SliceFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// What a call prints, caught in one in-memory file for the whole run
// (gtest's capture makes a file on disk per call, which dominated the test).
class StdoutCapture {
public:
    StdoutCapture() : fd_(::memfd_create("stdout", MFD_CLOEXEC))
    {
        if (fd_ < 0)
            throw std::runtime_error("memfd_create failed");
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    ~StdoutCapture() { ::close(fd_); }

    template <typename Fn>
    std::string run(Fn&& fn)
    {
        std::fflush(stdout);
        if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
            throw std::runtime_error("cannot reset the capture");
        int saved = ::dup(STDOUT_FILENO);
        ::dup2(fd_, STDOUT_FILENO);
        fn();
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        std::string text(static_cast<std::size_t>(::lseek(fd_, 0, SEEK_CUR)), '\0');
        if (::pread(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot read the capture");
        return text;
    }

private:
    int fd_;
};

// Runs both readers on the same bytes. The buffers start with different
// patterns, so a sample either reader leaves unwritten shows as a mismatch;
// they are reused because fresh ones per case cost more than the parsing.
class Differ {
public:
    ::testing::AssertionResult operator()(const std::string& text)
    {
        std::string fastOutput = runFast(text);
        std::string referenceOutput = runReference(text);
        if (fastResult_ != referenceResult_)
            return ::testing::AssertionFailure()
                   << "result " << fastResult_ << ", reference " << referenceResult_;
        if (fastOutput != referenceOutput)
            return ::testing::AssertionFailure()
                   << "output \"" << fastOutput << "\", reference \"" << referenceOutput << "\"";
        auto [f, r] = std::mismatch(fast_.begin(), fast_.end(), reference_.begin());
        if (f != fast_.end())
            return ::testing::AssertionFailure() << "sample " << f - fast_.begin() << " is " << *f
                                                 << ", reference " << *r;
        return ::testing::AssertionSuccess();
    }

private:
    std::string runFast(const std::string& text)
    {
        std::memset(fast_.data(), 0xAB, fast_.size() * sizeof(fast_[0]));
        return capture_.run(
            [&] { fastResult_ = parsePgmSlice(fast_.data(), text.data(), text.size()); });
    }

    std::string runReference(const std::string& text)
    {
        std::memset(reference_.data(), 0xCD, reference_.size() * sizeof(reference_[0]));
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
            ::fmemopen(const_cast<char*>(text.data()), text.size(), "r"), std::fclose);
        if (!file)
            throw std::runtime_error("fmemopen failed");
        return capture_.run(
            [&] { referenceResult_ = referenceReadPgm(file.get(), reference_.data()); });
    }

    std::vector<std::uint32_t> fast_ = std::vector<std::uint32_t>(kSliceSamples);
    std::vector<std::uint32_t> reference_ = std::vector<std::uint32_t>(kSliceSamples);
    StdoutCapture capture_;
    int fastResult_ = 0;
    int referenceResult_ = 0;
};

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool oneIn(int n) { return below(n) == 0; }

    std::string space()
    {
        static const char kSpaces[] = " \t\n\v\f\r";
        std::string s(1, kSpaces[below(6)]);
        while (oneIn(3))
            s += kSpaces[below(6)];
        return s;
    }

    std::string digits(int n)
    {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>('0' + below(10));
        return s;
    }

    // Mostly small numbers; now and then signs, leading zeros and digit runs
    // long enough to overflow int and long.
    std::string number()
    {
        std::string s;
        if (oneIn(6))
            s += oneIn(2) ? '-' : '+';
        if (oneIn(8))
            s += std::string(1 + below(3), '0');
        if (oneIn(10))
            return s + digits(4 + below(30));
        return s + std::to_string(below(oneIn(4) ? 1000 : 256));
    }

    std::string junk()
    {
        switch (below(8)) {
        case 0:
            return std::string(1, static_cast<char>(below(256)));
        case 1:
            return std::string(1, '\0');
        case 2:
            return "#";
        case 3:
            return oneIn(2) ? "-" : "+";
        case 4:
            return oneIn(2) ? "P2" : "P5";
        case 5:
            return "256";
        case 6:
            return "4294967552";
        default:
            return std::string(1, "x#\r\n0-"[below(6)]);
        }
    }

    std::string token()
    {
        int pick = below(10);
        if (pick < 6)
            return number();
        if (pick < 9)
            return space();
        return junk();
    }

    std::string header()
    {
        std::string magic = oneIn(12) ? junk() : "P2";
        std::string h = magic + space();
        if (oneIn(4))
            h += "#" + (oneIn(3) ? "" : " " + digits(below(5)) + " words") + (oneIn(6) ? "" : "\n");
        else if (oneIn(10))
            h += "#x ";
        const char* values[] = {"256", "256", "255"};
        for (const char* v : values)
            h += (oneIn(10) ? number() : std::string(v)) + space();
        return h;
    }

    std::string tokenSoup()
    {
        std::string text = oneIn(10) ? "" : header();
        int n = below(120);
        for (int i = 0; i < n; ++i)
            text += token();
        return text;
    }

    std::string netpbmFile()
    {
        std::vector<std::uint8_t> grey(kSliceSamples);
        for (auto& g : grey)
            g = static_cast<std::uint8_t>(below(256));
        return slicefiles::plainPgm(grey);
    }

    // One edit, at the front (where the header is) half of the time.
    void mutate(std::string& text)
    {
        if (text.empty()) {
            text = token();
            return;
        }
        std::size_t at = oneIn(2) ? below(std::min<int>(text.size(), 40)) : below(text.size());
        switch (below(5)) {
        case 0:
            text[at] = static_cast<char>(below(256));
            break;
        case 1:
            text.insert(at, token());
            break;
        case 2:
            text.insert(at, digits(1 + below(40)));
            break;
        case 3:
            text.erase(at, 1 + below(8));
            break;
        default:
            text.resize(at);
            break;
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
        std::string text = g.tokenSoup();
        ASSERT_TRUE(agree(text)) << "seed " << seed << " text:\n" << text;
        for (int edits = g.below(4); edits > 0; --edits)
            g.mutate(text);
        ASSERT_TRUE(agree(text)) << "seed " << seed << " mutated text:\n" << text;
    }
}

TEST(PgmDifferential, AgreesOnWholeSlicesWithEdits)
{
    Differ agree;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        Generator g(seed * 7919);
        std::string text = g.netpbmFile();
        if (seed > 2)
            for (int edits = 1 + g.below(3); edits > 0; --edits)
                g.mutate(text);
        ASSERT_TRUE(agree(text)) << "seed " << seed;
    }
}

// Around the limits of int and long, as header values and as samples.
TEST(PgmDifferential, AgreesOnNumbersAtTheLimitsOfIntAndLong)
{
    Differ agree;
    for (const char* number :
         {"2147483647", "2147483648", "4294967295", "4294967552", "9223372036854775807",
          "9223372036854775808", "9223372036854776064", "18446744073709551615",
          "18446744073709551616", "18446744073709551872", "36893488147419103488",
          "000000000000000000000000256", "-0", "+0", "-"}) {
        for (std::string sign : {"", "-", "+"}) {
            std::string n = sign + number;
            SCOPED_TRACE(n);
            EXPECT_TRUE(agree("P2 " + n + " 256 255 1 2"));
            EXPECT_TRUE(agree("P2 # x\n" + n + " 256 255 1 2"));
            EXPECT_TRUE(agree("P2 256 " + n + " 255 1 2"));
            EXPECT_TRUE(agree("P2 256 256 255 " + n + " 7"));
        }
    }
}

TEST(PgmDifferential, AgreesOnWordsAtTheLengthLimit)
{
    Differ agree;
    for (std::size_t length : {1022, 1023, 1024, 1025, 2046, 2047, 5000}) {
        SCOPED_TRACE(length);
        EXPECT_TRUE(agree(std::string(length, 'P') + " 256 256 255 1"));
        // A digit run as the width word: its first 1,023 characters are the width,
        // and the rest is read as the height.
        EXPECT_TRUE(agree("P2 " + std::string(length - 3, '0') + "256 256 255 1 2"));
        EXPECT_TRUE(agree("P2 " + std::string(length - 3, '0') + "256 255 1 2"));
        EXPECT_TRUE(agree("P2 #" + std::string(length - 1, '\0') + "\n256 256 255 1"));
        EXPECT_TRUE(agree("P2 256 256 255 " + std::string(length, '7')));
    }
}
