#include "core/dicom/DicomInput.h"

#include "core/common/Parallel.h"
#include "core/dicom/DicomReaderProcess.h"
#include "core/slices/SliceLoader.h"
#include "core/volume/VolumeError.h"
#include "core/volume/VolumeSource.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

namespace lumidra {

namespace fs = std::filesystem;

namespace {

// How long the reader may stay silent on one file before it is taken as
// hung: a header, or the decoding of one file's pixels.
constexpr int kScanTimeoutMs = 30000;
constexpr int kReadTimeoutMs = 120000;
// The fewest files worth a reader process of their own.
constexpr std::size_t kFilesPerScan = 64;
// How deep below the folder given files are looked for.
constexpr int kMaxDepth = 6;
// Files a folder may hold for its search; more is not a scan.
constexpr std::size_t kMaxFiles = 200000;

std::string inQuotes(const std::string& path)
{
    return "'" + path + "'";
}

bool sameNameIgnoringCase(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == y;
           });
}

bool hasDcmExtension(const fs::path& path)
{
    return sameNameIgnoringCase(path.extension().string(), ".DCM");
}

// "DICM" at byte 128 (a DICOM file), or a bare data set starting with a tag
// of group 0002 or 0008, as old files written without a preamble do.
enum class Sniff { Preamble, BareDataSet, Other };

Sniff sniff(const fs::path& path)
{
    char head[132] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(head, sizeof head);
    const std::streamsize got = in.gcount();
    if (got == 132 && std::memcmp(head + 128, "DICM", 4) == 0)
        return Sniff::Preamble;
    if (got >= 8 && ((head[0] == 8 || head[0] == 2) && head[1] == 0 && head[3] == 0))
        return Sniff::BareDataSet;
    return Sniff::Other;
}

bool isSliceDirectory(const fs::path& dir)
{
    std::error_code ec;
    return fs::exists(dir / "slice000", ec) || fs::exists(dir / "slice000.pgm", ec);
}

struct Listing {
    std::string folder;
    std::vector<std::string> files; // worth asking the reader about
    std::size_t skipped = 0;
    std::string named; // the DICOM file given by name, if one was
};

Listing listFiles(const std::string& path)
{
    Listing listing;
    std::error_code ec;
    fs::path folder = path;
    if (!fs::is_directory(path, ec)) {
        if (!fs::exists(path, ec))
            throw VolumeError("cannot open " + inQuotes(path) + ": no such file or directory");
        folder = fs::path(path).parent_path();
        if (folder.empty())
            folder = ".";
        if (!sameNameIgnoringCase(fs::path(path).filename().string(), "DICOMDIR"))
            listing.named = (folder / fs::path(path).filename()).lexically_normal().string();
    }
    listing.folder = folder.string();
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec)
        throw VolumeError("cannot read the folder " + inQuotes(listing.folder) + ": " +
                          ec.message());
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        // Exports nest patient, study and series folders; a folder picked by
        // mistake (a home folder) is not walked to its bottom.
        if (it.depth() >= kMaxDepth)
            it.disable_recursion_pending();
        if (!it->is_regular_file(ec))
            continue;
        const fs::path& file = it->path();
        if (sameNameIgnoringCase(file.filename().string(), "DICOMDIR"))
            continue;
        if (listing.files.size() + listing.skipped >= kMaxFiles)
            throw VolumeError(inQuotes(listing.folder) + " holds more than " +
                              std::to_string(kMaxFiles) + " files");
        if (sniff(file) == Sniff::Other && !hasDcmExtension(file))
            ++listing.skipped;
        else
            listing.files.push_back(file.lexically_normal().string());
    }
    if (ec)
        throw VolumeError("cannot read the folder " + inQuotes(listing.folder) + ": " +
                          ec.message());
    std::sort(listing.files.begin(), listing.files.end());
    return listing;
}

struct ScanPart;
std::vector<DicomImage> scanHeaders(const std::vector<std::string>& files, ScanPart& found);

struct ScanPart {
    std::vector<DicomImage> images;
    std::size_t skipped = 0;
    std::vector<std::string> problems;
    std::string error; // the reader could not be run
};

// The headers of files [begin, end) through the reader; a file the reader
// dies on is named in problems and a new reader goes on from the next one.
ScanPart scanPart(const std::vector<std::string>& all, std::size_t begin, std::size_t end)
{
    ScanPart out;
    const std::vector<std::string> files(all.begin() + static_cast<std::ptrdiff_t>(begin),
                                         all.begin() + static_cast<std::ptrdiff_t>(end));
    try {
        out.images = scanHeaders(files, out);
    } catch (const std::exception& e) {
        out.error = e.what();
    }
    return out;
}

std::vector<DicomImage> scanHeaders(const std::vector<std::string>& files, ScanPart& found)
{
    std::vector<DicomImage> images;
    std::size_t next = 0;
    while (next < files.size()) {
        const std::vector<std::string> part(files.begin() + static_cast<std::ptrdiff_t>(next),
                                            files.end());
        std::unique_ptr<DicomReaderRun> reader = takeDicomReader();
        DicomReaderRun& run = *reader;
        run.send("scan", part);
        std::size_t done = 0;
        bool ended = false;
        std::string line;
        while (run.readLine(line, kScanTimeoutMs)) {
            if (line == "E") {
                ended = done == part.size();
                break;
            }
            std::optional<ScanAnswer> answer = parseScanAnswer(line);
            if (!answer || answer->file != done)
                break;
            if (answer->kind == ScanAnswer::Kind::Image) {
                answer->image.path = part[done];
                images.push_back(std::move(answer->image));
            } else {
                ++found.skipped;
            }
            ++done;
        }
        if (ended) {
            keepDicomReader(std::move(reader));
            break;
        }
        // Every file answered, but the list not ended: nothing to blame.
        if (done == part.size())
            break;
        if (done == 0 && run.failedToStart())
            throw VolumeError("cannot run the DICOM reader " + inQuotes(dicomReaderPath()));
        found.problems.push_back(inQuotes(part[done]) +
                                 ": the DICOM reader stopped on this file (damaged, or a form "
                                 "GDCM cannot parse); left out");
        next += done + 1;
    }
    return images;
}

VoxelType voxelTypeOf(int bits, bool isSigned)
{
    if (bits == 8)
        return isSigned ? VoxelType::Int8 : VoxelType::UInt8;
    if (bits == 16)
        return isSigned ? VoxelType::Int16 : VoxelType::UInt16;
    return isSigned ? VoxelType::Int32 : VoxelType::UInt32;
}

std::string seriesName(const DicomSeries& series)
{
    std::string name = "series " + series.tag;
    if (!series.description.empty())
        name.append(" (").append(series.description).append(")");
    return name;
}

// Decodes files [begin, end) of the series into their slices of scan. The
// first thing that goes wrong is returned; empty when all went well.
std::string decodeFiles(const DicomSeries& series, std::size_t begin, std::size_t end,
                        const std::vector<std::vector<std::size_t>>& slotOf, ScanVoxels& scan)
{
    if (begin >= end)
        return {};
    const std::size_t sliceBytes = static_cast<std::size_t>(scan.nx) *
                                   static_cast<std::size_t>(scan.ny) * voxelBytes(scan.type);
    std::vector<std::string> files;
    for (std::size_t i = begin; i < end; ++i)
        files.push_back(series.images[i].path);
    std::unique_ptr<DicomReaderRun> reader = takeDicomReader();
    DicomReaderRun& run = *reader;
    run.send("read", files);
    std::string line;
    std::vector<char> frames;
    for (std::size_t i = begin; i < end; ++i) {
        const DicomImage& image = series.images[i];
        const std::string name = inQuotes(image.path);
        if (!run.readLine(line, kReadTimeoutMs))
            return name + ": the DICOM reader stopped on this file (damaged, or a form GDCM "
                          "cannot decode)";
        if (line.rfind("X\t", 0) == 0) {
            const std::size_t tab = line.find('\t', 2);
            return name + ": " + (tab == std::string::npos ? line : line.substr(tab + 1));
        }
        const std::size_t expected = sliceBytes * static_cast<std::size_t>(image.frames);
        char kind = 0;
        std::size_t n = 0, bytes = 0;
        unsigned bits = 0;
        int isSigned = 0;
        if (std::sscanf(line.c_str(), "%c\t%zu\t%zu\t%u\t%d", &kind, &n, &bytes, &bits,
                        &isSigned) != 5 ||
            kind != 'D' || n != i - begin)
            return name + ": the DICOM reader's answer is damaged";
        if (bytes != expected || voxelTypeOf(static_cast<int>(bits), isSigned) != scan.type)
            return name + ": its pixel data decodes to " + std::to_string(bytes) + " bytes of " +
                   std::to_string(bits) + "-bit samples, not the " + std::to_string(expected) +
                   " its header announces";
        unsigned char* const voxels = scan.bytes.get();
        if (image.frames == 1) {
            if (!run.readBytes(reinterpret_cast<char*>(voxels + slotOf[i][0] * sliceBytes), bytes,
                               kReadTimeoutMs))
                return name + ": the DICOM reader stopped in this file's pixels";
            continue;
        }
        frames.resize(bytes);
        if (!run.readBytes(frames.data(), bytes, kReadTimeoutMs))
            return name + ": the DICOM reader stopped in this file's pixels";
        for (std::size_t f = 0; f < slotOf[i].size(); ++f)
            std::memcpy(voxels + slotOf[i][f] * sliceBytes, frames.data() + f * sliceBytes,
                        sliceBytes);
    }
    if (run.readLine(line, kReadTimeoutMs) && line == "E")
        keepDicomReader(std::move(reader));
    return {};
}

// Slices with a slope and intercept of their own become float values in
// the scan's units, so one slope and intercept fits all.
void applyRescale(const DicomSeries& series, const std::vector<std::size_t>& imageOfSlot,
                  ScanVoxels& scan)
{
    const DicomImage& first = series.images.front();
    const bool same = std::all_of(series.images.begin(), series.images.end(), [&](auto& im) {
        return im.slope == first.slope && im.intercept == first.intercept;
    });
    if (same) {
        scan.slope = first.slope == 0 ? 1.0 : first.slope;
        scan.inter = first.intercept;
        return;
    }
    const std::size_t plane = static_cast<std::size_t>(scan.nx) * static_cast<std::size_t>(scan.ny);
    auto values = std::make_unique<unsigned char[]>(scan.voxelCount() * sizeof(float));
    withVoxelType(scan.type, [&](auto zero) {
        using T = decltype(zero);
        for (std::size_t k = 0; k < imageOfSlot.size(); ++k) {
            const DicomImage& image = series.images[imageOfSlot[k]];
            const double slope = image.slope == 0 ? 1.0 : image.slope;
            for (std::size_t v = k * plane; v < (k + 1) * plane; ++v) {
                const float value = static_cast<float>(
                    static_cast<double>(voxelOf<T>(scan.bytes.get(), v)) * slope + image.intercept);
                std::memcpy(values.get() + v * sizeof(float), &value, sizeof value);
            }
        }
        return 0;
    });
    scan.bytes = std::move(values);
    scan.type = VoxelType::Float32;
    scan.slope = 1.0;
    scan.inter = 0.0;
}

NiftiGeometry niftiGeometryOf(const ScanVoxels& scan)
{
    NiftiGeometry g;
    mat44 m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = static_cast<float>(scan.toMm[r][c]);
    m.m[3][3] = 1.0f;
    float dx = 0, dy = 0, dz = 0, qfac = 1;
    nifti_mat44_to_quatern(m, &g.quaternB, &g.quaternC, &g.quaternD, &g.qoffsetX, &g.qoffsetY,
                           &g.qoffsetZ, &dx, &dy, &dz, &qfac);
    g.pixdim = {qfac,
                static_cast<float>(scan.voxelMm[0]),
                static_cast<float>(scan.voxelMm[1]),
                static_cast<float>(scan.voxelMm[2]),
                0,
                0,
                0,
                0};
    g.xyztUnits = NIFTI_UNITS_MM;
    g.qformCode = NIFTI_XFORM_SCANNER_ANAT;
    g.sformCode = NIFTI_XFORM_SCANNER_ANAT;
    for (int c = 0; c < 4; ++c) {
        g.srowX[c] = m.m[0][c];
        g.srowY[c] = m.m[1][c];
        g.srowZ[c] = m.m[2][c];
    }
    return g;
}

ScanVoxels decodeSeries(const DicomSeries& series, int threads)
{
    const DicomImage& first = series.images.front();
    ScanVoxels scan;
    scan.nx = series.columns;
    scan.ny = series.rows;
    scan.nz = static_cast<int>(series.slices.size());
    scan.type = voxelTypeOf(first.bitsAllocated, first.isSigned);
    if (scan.voxelCount() > static_cast<std::size_t>(kMaxVolumeVoxels))
        throw VolumeError("it has " + std::to_string(scan.voxelCount()) +
                          " voxels, more than the " + std::to_string(kMaxVolumeVoxels) +
                          " a volume may have");
    scan.bytes = std::make_unique_for_overwrite<unsigned char[]>(scan.byteCount());
    std::vector<std::vector<std::size_t>> slotOf(series.images.size());
    std::vector<std::size_t> imageOfSlot(series.slices.size());
    for (std::size_t k = 0; k < series.slices.size(); ++k) {
        const DicomSlice& slice = series.slices[k];
        std::vector<std::size_t>& slots = slotOf[slice.image];
        slots.resize(static_cast<std::size_t>(series.images[slice.image].frames));
        slots[static_cast<std::size_t>(slice.frame)] = k;
        imageOfSlot[k] = slice.image;
    }
    // Several readers at once: decoding, not the pipe, is what takes the time.
    const std::size_t count = series.images.size();
    std::vector<std::string> errors(partsFor(count, threads, 8));
    inParallel(
        count, threads,
        [&](std::size_t part, std::size_t begin, std::size_t end) {
            try {
                errors[part] = decodeFiles(series, begin, end, slotOf, scan);
            } catch (const std::exception& e) {
                errors[part] = e.what();
            }
        },
        8);
    for (const std::string& error : errors)
        if (!error.empty())
            throw VolumeError(error);
    applyRescale(series, imageOfSlot, scan);
    const DicomGeometry geometry = dicomGeometry(series);
    scan.voxelMm = geometry.voxelMm;
    scan.toMm = geometry.toMm;
    scan.geometry = niftiGeometryOf(scan);
    scan.modality = series.modality;
    return scan;
}

} // namespace

DicomFolder findDicomSeries(const std::string& path, int threads)
{
    Listing listing = listFiles(path);
    DicomFolder found;
    found.folder = listing.folder;
    found.skipped = listing.skipped;
    if (threads < 1)
        threads = defaultWorkThreads();
    if (!listing.files.empty())
        startDicomReadersAhead(threads);
    // Each reader takes a share of the files; a small folder is one reader's.
    std::vector<ScanPart> parts(partsFor(listing.files.size(), threads, kFilesPerScan));
    inParallel(
        listing.files.size(), threads,
        [&](std::size_t part, std::size_t begin, std::size_t end) {
            parts[part] = scanPart(listing.files, begin, end);
        },
        kFilesPerScan);
    std::vector<DicomImage> images;
    for (ScanPart& part : parts) {
        if (!part.error.empty())
            throw VolumeError(part.error);
        images.insert(images.end(), std::make_move_iterator(part.images.begin()),
                      std::make_move_iterator(part.images.end()));
        found.skipped += part.skipped;
        found.problems.insert(found.problems.end(), part.problems.begin(), part.problems.end());
    }
    found.series = groupDicomSeries(std::move(images));
    found.chosen = found.series.size();
    for (std::size_t s = 0; s < found.series.size() && !listing.named.empty(); ++s)
        for (const DicomImage& image : found.series[s].images)
            if (image.path == listing.named)
                found.chosen = s;
    return found;
}

LoadedVolume readDicomSeries(const DicomSeries& series, const WindowPolicy& policy,
                             Placement placement, int threads)
{
    try {
        if (!series.problem.empty())
            throw VolumeError(series.problem);
        if (series.slices.empty())
            throw VolumeError("it holds no images");
        return loadScan(decodeSeries(series, threads), policy, placement, threads);
    } catch (const std::bad_alloc&) {
        throw VolumeError("DICOM " + seriesName(series) + " is too large to hold in memory");
    } catch (const VolumeError& e) {
        std::string line = "DICOM ";
        line.append(seriesName(series)).append(": ").append(e.what());
        throw VolumeError(line);
    }
}

SharedSliceStack openDicomSeries(const DicomSeries& series, const WindowPolicy& policy)
{
    const int threads = defaultWorkThreads();
    const LoadedVolume volume = readDicomSeries(series, policy, Placement::Fit, threads);
    return volumeStack(volume.source, threads, availableMemory());
}

std::string describeDicomFolder(const DicomFolder& found)
{
    std::string line = inQuotes(found.folder);
    if (found.series.empty())
        line.append(" holds no DICOM images");
    else
        line.append(" holds ").append(std::to_string(found.series.size())).append(" DICOM series");
    if (found.skipped > 0)
        line.append("; ").append(std::to_string(found.skipped)).append(" other file(s) skipped");
    for (const std::string& problem : found.problems)
        line.append("; ").append(problem);
    return line;
}

bool isDicomInput(const std::string& path)
{
    std::error_code ec;
    const fs::path p(path);
    if (!fs::is_directory(p, ec)) {
        if (!fs::is_regular_file(p, ec))
            return false;
        return sameNameIgnoringCase(p.filename().string(), "DICOMDIR") || hasDcmExtension(p) ||
               sniff(p) == Sniff::Preamble;
    }
    if (isSliceDirectory(p))
        return false;
    // A look at the first files is enough: a DICOM folder is all DICOM.
    std::size_t looked = 0;
    fs::recursive_directory_iterator it(p, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator() && looked < 64; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        ++looked;
        const fs::path& file = it->path();
        if (sameNameIgnoringCase(file.filename().string(), "DICOMDIR") || hasDcmExtension(file) ||
            sniff(file) == Sniff::Preamble)
            return true;
    }
    return false;
}

} // namespace lumidra
