#include "core/regions/RegionFile.h"

#include "core/common/AtomicFile.h"
#include "core/common/Diagnostics.h"

#include <cstring>

namespace lumidra {

namespace {

bool writeRecords(std::FILE* out, const imgMaterial* records, int count)
{
    if (std::fprintf(out, "#Number of Regions\n%d\n\n", count) < 0)
        return false;
    for (int k = 0; k < count; ++k) {
        const imgMaterial& r = records[k];
        // A name that fills its field without a NUL must not be read past.
        const int nameLength = static_cast<int>(strnlen(r.name, sizeof r.name));
        if (std::fprintf(out, "#%.*s\n%d\n%d\n%d\n%d\n%d\n\n", nameLength, r.name, r.min, r.max,
                         r.red, r.green, r.blue) < 0)
            return false;
    }
    return true;
}

bool saveRegions(const char* path, const imgMaterial* records, int count)
{
    if (std::strlen(path) > static_cast<std::size_t>(kMaxRegionPath))
        return false;
    if (count > 0 && !records)
        return false;
    return static_cast<bool>(writeFileAtomically(
        path, [&](std::FILE* out) { return writeRecords(out, records, count); }));
}

} // namespace

int writeRegionFile(const imgMaterial* records, int count, const char* path)
{
    if (!path)
        path = kDefaultRegionFile;
    if (!saveRegions(path, records, count)) {
        diag("File not written: %s\n", path);
        return -1;
    }
    return 0;
}

} // namespace lumidra
