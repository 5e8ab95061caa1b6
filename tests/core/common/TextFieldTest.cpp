#include "core/common/TextField.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lumidra;

namespace {

TEST(TextField, CopyStopsOneShortOfTheFieldAndTerminates)
{
    struct {
        char field[5];
        char guard;
    } buffer;
    std::memset(&buffer, 'G', sizeof buffer);

    EXPECT_EQ(copyBounded(buffer.field, "abcd"), 4u);
    EXPECT_STREQ(buffer.field, "abcd");
    EXPECT_EQ(copyBounded(buffer.field, "abcdefgh"), 4u);
    EXPECT_STREQ(buffer.field, "abcd");
    EXPECT_EQ(copyBounded(buffer.field, nullptr), 0u);
    EXPECT_STREQ(buffer.field, "");
    EXPECT_EQ(copyBounded(buffer.field, 0, "abc"), 0u);
    EXPECT_EQ(buffer.field[0], '\0');
    EXPECT_EQ(buffer.guard, 'G');
}

} // namespace
