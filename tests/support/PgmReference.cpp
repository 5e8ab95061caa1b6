#include "PgmReference.h"

#include "core/common/Diagnostics.h"
#include "core/slices/SliceLoader.h"

#include <cstring>

using namespace lumidra;

namespace {

bool readWidth(std::FILE* file, int& width)
{
    char word[1024] = "";
    if (std::fscanf(file, "%1023s", word) != 1)
        return false;
    if (std::strcmp(word, "#") == 0) {
        int c;
        while ((c = std::getc(file)) != EOF && c != '\n') {
        }
        return std::fscanf(file, "%d", &width) == 1;
    }
    return std::sscanf(word, "%d", &width) == 1;
}

} // namespace

int referenceReadPgm(std::FILE* file, std::uint32_t* dst)
{
    std::memset(dst, 0, kSliceSamples * sizeof(std::uint32_t));
    char magic[1024] = "";
    if (std::fscanf(file, "%1023s", magic) != 1)
        magic[0] = '\0';
    if (std::strcmp(magic, "P2") != 0) {
        diag("%s invalid .pgm type", magic);
        return -1;
    }
    int width = 0;
    int height = 0;
    int maxValue = 0;
    bool readable = readWidth(file, width) && std::fscanf(file, "%d", &height) == 1 &&
                    std::fscanf(file, "%d", &maxValue) == 1;
    if (!readable || width != 256 || height != 256 || maxValue != 255) {
        diag("Parameters not correct, should be 256, 256, 255");
        return -1;
    }
    for (int i = 0; i < kSliceSamples; ++i) {
        int value;
        if (std::fscanf(file, "%3d", &value) != 1)
            break;
        dst[i] = static_cast<std::uint32_t>(value) * 16u;
    }
    return kSliceSamples;
}
