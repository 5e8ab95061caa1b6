#include "GdcmReading.h"

#include <gdcmImage.h>
#include <gdcmImageReader.h>
#include <gdcmMediaStorage.h>
#include <gdcmReader.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmStringFilter.h>
#include <gdcmTrace.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>

namespace dicomread {

namespace {

const gdcm::Tag kPixelData(0x7fe0, 0x0010);
const gdcm::Tag kSharedGroups(0x5200, 0x9229);
const gdcm::Tag kPerFrameGroups(0x5200, 0x9230);
const gdcm::Tag kPlanePosition(0x0020, 0x9113);
const gdcm::Tag kPlaneOrientation(0x0020, 0x9116);
const gdcm::Tag kPixelMeasures(0x0028, 0x9110);
const gdcm::Tag kValueTransformation(0x0028, 0x9145);
const gdcm::Tag kPosition(0x0020, 0x0032);
const gdcm::Tag kOrientation(0x0020, 0x0037);
const gdcm::Tag kPixelSpacing(0x0028, 0x0030);
const gdcm::Tag kSliceThickness(0x0018, 0x0050);
const gdcm::Tag kIntercept(0x0028, 0x1052);
const gdcm::Tag kSlope(0x0028, 0x1053);

// A value on one line of the record: no tabs or line ends, no padding.
std::string clean(std::string text)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

class Fields {
public:
    explicit Fields(const gdcm::File& file) { filter_.SetFile(file); }

    std::string of(const gdcm::Tag& tag) const { return clean(filter_.ToString(tag)); }
    std::string of(const gdcm::DataElement& element) const
    {
        return clean(filter_.ToString(element));
    }

    // An attribute of a functional group sequence's first item: the value of
    // attr within the macro sequence macro.
    std::string inGroup(const gdcm::DataSet& item, const gdcm::Tag& macro,
                        const gdcm::Tag& attr) const
    {
        if (!item.FindDataElement(macro))
            return {};
        const auto sq = item.GetDataElement(macro).GetValueAsSQ();
        if (!sq || sq->GetNumberOfItems() < 1)
            return {};
        const gdcm::DataSet& inner = sq->GetItem(1).GetNestedDataSet();
        return inner.FindDataElement(attr) ? of(inner.GetDataElement(attr)) : std::string();
    }

private:
    gdcm::StringFilter filter_;
};

// The items of a top-level sequence, or none.
gdcm::SmartPointer<gdcm::SequenceOfItems> sequence(const gdcm::DataSet& ds, const gdcm::Tag& tag)
{
    if (!ds.FindDataElement(tag))
        return nullptr;
    return ds.GetDataElement(tag).GetValueAsSQ();
}

// A multi-frame file's attribute, from its shared functional groups or else
// its first frame's.
std::string groupValue(const Fields& fields, const gdcm::DataSet& ds, const gdcm::Tag& macro,
                       const gdcm::Tag& attr)
{
    for (const gdcm::Tag& groups : {kSharedGroups, kPerFrameGroups}) {
        const auto sq = sequence(ds, groups);
        if (sq && sq->GetNumberOfItems() > 0) {
            std::string value = fields.inGroup(sq->GetItem(1).GetNestedDataSet(), macro, attr);
            if (!value.empty())
                return value;
        }
    }
    return {};
}

void writeRecord(std::FILE* out, std::size_t n, const Fields& fields, const gdcm::DataSet& ds)
{
    std::string line = "I\t" + std::to_string(n);
    auto put = [&](const char* key, const std::string& value) {
        line.append("\t").append(key).append("=").append(value);
    };
    auto tag = [&](uint16_t group, uint16_t element) {
        return fields.of(gdcm::Tag(group, element));
    };
    put("uid", tag(0x0020, 0x000e));
    put("number", tag(0x0020, 0x0011));
    put("description", tag(0x0008, 0x103e));
    put("modality", tag(0x0008, 0x0060));
    put("rows", tag(0x0028, 0x0010));
    put("columns", tag(0x0028, 0x0011));
    put("frames", tag(0x0028, 0x0008));
    put("acquisition", tag(0x0020, 0x0012));
    put("samples", tag(0x0028, 0x0002));
    put("photometric", tag(0x0028, 0x0004));
    put("bits", tag(0x0028, 0x0100));
    put("stored", tag(0x0028, 0x0101));
    put("signed", tag(0x0028, 0x0103));
    put("imagetype", tag(0x0008, 0x0008));
    put("mosaic", fields.of(gdcm::Tag(0x0019, 0x100a)));

    auto plainOrGroup = [&](const gdcm::Tag& attr, const gdcm::Tag& macro) {
        std::string value = fields.of(attr);
        return value.empty() ? groupValue(fields, ds, macro, attr) : value;
    };
    put("orientation", plainOrGroup(kOrientation, kPlaneOrientation));
    put("spacing", plainOrGroup(kPixelSpacing, kPixelMeasures));
    put("thickness", plainOrGroup(kSliceThickness, kPixelMeasures));
    put("slope", plainOrGroup(kSlope, kValueTransformation));
    put("intercept", plainOrGroup(kIntercept, kValueTransformation));
    put("position", fields.of(kPosition));

    // An enhanced multi-frame file places each frame in its own item.
    if (const auto frames = sequence(ds, kPerFrameGroups)) {
        std::string positions;
        for (gdcm::SequenceOfItems::SizeType i = 1; i <= frames->GetNumberOfItems(); ++i) {
            const std::string p =
                fields.inGroup(frames->GetItem(i).GetNestedDataSet(), kPlanePosition, kPosition);
            positions.append(i > 1 ? ";" : "").append(p);
        }
        put("framepositions", positions);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out);
}

// Where an element of the given length starts: the first place in head
// holding the pixel data's tag followed by that length.
std::optional<std::size_t> pixelElementAt(const std::string& head, bool big, bool isExplicit,
                                          std::uint32_t length)
{
    const char* tag = big ? "\x7f\xe0\x00\x10" : "\xe0\x7f\x10\x00";
    const std::size_t lengthAt = isExplicit ? 8 : 4;
    for (std::size_t at = head.find(tag, 0, 4); at != std::string::npos;
         at = head.find(tag, at + 1, 4)) {
        if (at + lengthAt + 4 > head.size())
            break;
        const auto* l = reinterpret_cast<const unsigned char*>(head.data() + at + lengthAt);
        const std::uint32_t found = big ? (std::uint32_t{l[0]} << 24 | std::uint32_t{l[1]} << 16 |
                                           std::uint32_t{l[2]} << 8 | l[3])
                                        : (std::uint32_t{l[3]} << 24 | std::uint32_t{l[2]} << 16 |
                                           std::uint32_t{l[1]} << 8 | l[0]);
        if (found == length)
            return at;
    }
    return std::nullopt;
}

// The bytes of uncompressed pixel data that the file announces but does not
// hold: GDCM reads a file cut short in its pixel data with no more than a
// warning and pads what is missing. 0 for a complete file, and when the
// element cannot be found in the file's first megabytes.
std::uint64_t missingPixelBytes(const std::string& path, const gdcm::TransferSyntax& ts,
                                std::uint32_t length)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    const std::uint64_t size = static_cast<std::uint64_t>(in.tellg());
    in.seekg(0);
    const bool big = ts.GetSwapCode() == gdcm::SwapCode::BigEndian;
    for (const std::uint64_t limit : {std::uint64_t{1} << 16, std::uint64_t{1} << 23}) {
        std::string head(static_cast<std::size_t>(std::min(size, limit)), '\0');
        in.seekg(0);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        if (const auto at = pixelElementAt(head, big, ts.IsExplicit(), length)) {
            const std::uint64_t end = *at + (ts.IsExplicit() ? 12 : 8) + std::uint64_t{length};
            return end > size ? end - size : 0;
        }
        if (size <= limit)
            break;
    }
    return 0;
}

} // namespace

void quietGdcm()
{
    gdcm::Trace::SetDebug(false);
    gdcm::Trace::SetWarning(false);
    gdcm::Trace::SetError(false);
}

void scanFile(const std::string& path, std::size_t n, std::FILE* out)
{
    auto skip = [&](const std::string& why) {
        std::fprintf(out, "S\t%zu\t%s\n", n, clean(why).c_str());
    };
    try {
        gdcm::Reader reader;
        reader.SetFileName(path.c_str());
        if (!reader.ReadUpToTag(kPixelData)) {
            skip("not a DICOM file");
            return;
        }
        const gdcm::File& file = reader.GetFile();
        gdcm::MediaStorage ms;
        ms.SetFromFile(file);
        if (ms == gdcm::MediaStorage::MediaStorageDirectoryStorage) {
            skip("a DICOMDIR");
            return;
        }
        const gdcm::DataSet& ds = file.GetDataSet();
        if (!ds.FindDataElement(gdcm::Tag(0x0028, 0x0010)) ||
            !ds.FindDataElement(gdcm::Tag(0x0028, 0x0011))) {
            skip("a DICOM file without an image");
            return;
        }
        const Fields fields(file);
        writeRecord(out, n, fields, ds);
    } catch (const std::exception& e) {
        skip(std::string("unreadable: ") + e.what());
    } catch (...) {
        skip("unreadable");
    }
}

Decoded decodeFile(const std::string& path)
{
    Decoded out;
    try {
        gdcm::ImageReader reader;
        reader.SetFileName(path.c_str());
        if (!reader.Read()) {
            out.error = "cannot read the image";
            return out;
        }
        const gdcm::Image& image = reader.GetImage();
        const unsigned* dims = image.GetDimensions();
        const gdcm::PixelFormat& pf = image.GetPixelFormat();
        const unsigned long long frames = image.GetNumberOfDimensions() > 2 ? dims[2] : 1;
        const unsigned long long expected = static_cast<unsigned long long>(dims[0]) * dims[1] *
                                            frames * pf.GetSamplesPerPixel() * pf.GetPixelSize();
        const unsigned long length = image.GetBufferLength();
        if (length != expected) {
            out.error = "the image decodes to " + std::to_string(length) + " bytes, not the " +
                        std::to_string(expected) + " its size needs";
            return out;
        }
        // GDCM pads short uncompressed pixel data; a file cut short is refused.
        const gdcm::DataSet& ds = reader.GetFile().GetDataSet();
        const gdcm::TransferSyntax& ts = reader.GetFile().GetHeader().GetDataSetTransferSyntax();
        if (ds.FindDataElement(kPixelData)) {
            const gdcm::ByteValue* bv = ds.GetDataElement(kPixelData).GetByteValue();
            const std::uint64_t missing =
                bv && !ts.IsEncapsulated() ? missingPixelBytes(path, ts, bv->GetLength()) : 0;
            if (bv && (bv->GetLength() < expected || missing > 0)) {
                out.error =
                    "the file is cut short: " +
                    std::to_string(std::max<std::uint64_t>(
                        missing, expected - std::min<std::uint64_t>(expected, bv->GetLength()))) +
                    " bytes of its pixel data are missing";
                return out;
            }
        }
        out.bytes.resize(length);
        if (!image.GetBuffer(out.bytes.data())) {
            out.bytes.clear();
            out.error = "cannot decode the pixel data";
            return out;
        }
        out.bitsAllocated = pf.GetBitsAllocated();
        out.isSigned = pf.GetPixelRepresentation() == 1;
    } catch (const std::exception& e) {
        out.bytes.clear();
        out.error = std::string("cannot decode the pixel data: ") + e.what();
    } catch (...) {
        out.bytes.clear();
        out.error = "cannot decode the pixel data";
    }
    return out;
}

} // namespace dicomread
