// lumidra-dicom-read: the one process in Lumidra that parses DICOM, so that a
// file GDCM aborts on costs that file and never the window or a tool.
//
//   lumidra-dicom-read scan|read   one list of files on standard input
//   lumidra-dicom-read serve       batches, one after another, until the input ends
//
// A list names each file followed by a NUL byte and ends with an empty name
// (or the end of the input). A batch is the word "scan" or "read", a NUL,
// then a list. Each list is read whole before anything is written, so the
// caller may write it before reading the answers. Every file gets one
// answer, flushed as soon as it is made: a caller that sees the answers
// stop knows which file stopped the reader. "E" ends each complete list.
//
// scan:  I<TAB>n<TAB>key=value...   an image's header fields
//        S<TAB>n<TAB>reason         a file that is not a DICOM image
// read:  D<TAB>n<TAB>bytes<TAB>bitsAllocated<TAB>signed, then the bytes
//        X<TAB>n<TAB>reason         a file whose pixels cannot be had; the list stops there
//
// A server is started ahead of need: GDCM's start-up (its dictionaries)
// takes tens of milliseconds, done while the caller is busy elsewhere.
#include "GdcmReading.h"

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// While it scans headers the reader keeps below this much memory: a header
// never needs it, and a damaged length asking GDCM for gigabytes fails at
// once instead of taking the machine's memory.
constexpr rlim_t kScanMemory = rlim_t{2} << 30;

// One NUL-ended name; nullopt at the end of the input.
std::optional<std::string> nextName()
{
    std::string name;
    int c;
    while ((c = std::getchar()) != EOF && c != '\0')
        name += static_cast<char>(c);
    if (c == EOF && name.empty())
        return std::nullopt;
    return name;
}

std::vector<std::string> namedFiles()
{
    std::vector<std::string> files;
    while (std::optional<std::string> name = nextName()) {
        if (name->empty())
            break;
        files.push_back(std::move(*name));
    }
    return files;
}

#ifdef __SANITIZE_ADDRESS__
// AddressSanitizer reserves terabytes of address space, which an address
// space limit would take from it: in a sanitized build the same cap is the
// sanitizer's largest allocation.
extern "C" const char* __asan_default_options()
{
    return "max_allocation_size_mb=2048:allocator_may_return_null=1";
}

void limitMemory(bool) {}
#else
void limitMemory(bool scanning)
{
    const rlim_t cap = scanning ? kScanMemory : RLIM_INFINITY;
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    if (limit.rlim_max == RLIM_INFINITY || cap <= limit.rlim_max) {
        limit.rlim_cur = cap;
        setrlimit(RLIMIT_AS, &limit);
    }
}
#endif

bool scan(const std::vector<std::string>& files)
{
    limitMemory(true);
    for (std::size_t n = 0; n < files.size(); ++n) {
        dicomread::scanFile(files[n], n, stdout);
        std::fflush(stdout);
    }
    std::fputs("E\n", stdout);
    return std::fflush(stdout) == 0;
}

bool read(const std::vector<std::string>& files)
{
    limitMemory(false);
    for (std::size_t n = 0; n < files.size(); ++n) {
        const dicomread::Decoded image = dicomread::decodeFile(files[n]);
        if (!image.error.empty()) {
            std::printf("X\t%zu\t%s\n", n, image.error.c_str());
            return std::fflush(stdout) == 0;
        }
        std::printf("D\t%zu\t%zu\t%u\t%d\n", n, image.bytes.size(), image.bitsAllocated,
                    image.isSigned ? 1 : 0);
        if (std::fwrite(image.bytes.data(), 1, image.bytes.size(), stdout) != image.bytes.size())
            return false;
    }
    std::fputs("E\n", stdout);
    return std::fflush(stdout) == 0;
}

bool batch(const std::string& mode)
{
    if (mode == "scan")
        return scan(namedFiles());
    if (mode == "read")
        return read(namedFiles());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode != "scan" && mode != "read" && mode != "serve") {
        std::fputs("usage: lumidra-dicom-read scan|read|serve < NUL-separated file names\n",
                   stderr);
        return 2;
    }
    dicomread::quietGdcm();
    // Each file's buffers are as large as the last one's: kept in the heap
    // and reused, not mapped afresh (and faulted in page by page) per file.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    if (mode != "serve")
        return batch(mode) ? 0 : 1;
    while (std::optional<std::string> word = nextName()) {
        if (!batch(*word))
            return 1;
    }
    return 0;
}
