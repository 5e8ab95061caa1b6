// lumidra-dicom-read: the one process in Lumidra that parses DICOM, so that a
// file GDCM aborts on costs that file and never the window or a tool.
//
//   lumidra-dicom-read scan   headers of the files named on standard input
//   lumidra-dicom-read read   pixel data of the files named on standard input
//
// Files are named on standard input, each ended by a NUL byte, and all of
// them are read before anything is written, so the caller may write the
// whole list before reading the answer. Every file gets one answer, flushed
// as soon as it is made: a caller that sees the answers stop knows which
// file stopped the reader. "E" ends a complete run.
//
// scan:  I<TAB>n<TAB>key=value...   an image's header fields
//        S<TAB>n<TAB>reason         a file that is not a DICOM image
// read:  D<TAB>n<TAB>bytes<TAB>bitsAllocated<TAB>signed, then the bytes
//        X<TAB>n<TAB>reason         a file whose pixels cannot be had; the run stops
#include "GdcmReading.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr rlim_t kScanMemory = rlim_t{2} << 30;

std::vector<std::string> namedFiles()
{
    std::vector<std::string> files;
    std::string name;
    int c;
    while ((c = std::getchar()) != EOF) {
        if (c == '\0') {
            files.push_back(name);
            name.clear();
        } else {
            name += static_cast<char>(c);
        }
    }
    if (!name.empty())
        files.push_back(name);
    return files;
}

int scan(const std::vector<std::string>& files)
{
    for (std::size_t n = 0; n < files.size(); ++n) {
        dicomread::scanFile(files[n], n, stdout);
        std::fflush(stdout);
    }
    std::fputs("E\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int read(const std::vector<std::string>& files)
{
    for (std::size_t n = 0; n < files.size(); ++n) {
        const dicomread::Decoded image = dicomread::decodeFile(files[n]);
        if (!image.error.empty()) {
            std::printf("X\t%zu\t%s\n", n, image.error.c_str());
            std::fflush(stdout);
            return 1;
        }
        std::printf("D\t%zu\t%zu\t%u\t%d\n", n, image.bytes.size(), image.bitsAllocated,
                    image.isSigned ? 1 : 0);
        if (std::fwrite(image.bytes.data(), 1, image.bytes.size(), stdout) != image.bytes.size())
            return 1;
    }
    std::fputs("E\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const char* mode = argc == 2 ? argv[1] : "";
    if (std::strcmp(mode, "scan") != 0 && std::strcmp(mode, "read") != 0) {
        std::fputs("usage: lumidra-dicom-read scan|read < NUL-separated file names\n", stderr);
        return 2;
    }
    dicomread::quietGdcm();
    // A header never needs this much; a damaged length that asks GDCM for
    // gigabytes fails at once instead of taking the machine's memory.
    if (mode[0] == 's') {
        const rlimit limit{kScanMemory, kScanMemory};
        setrlimit(RLIMIT_AS, &limit);
    }
    const std::vector<std::string> files = namedFiles();
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    return mode[0] == 's' ? scan(files) : read(files);
}
