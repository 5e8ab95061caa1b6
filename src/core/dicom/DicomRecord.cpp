#include "core/dicom/DicomRecord.h"

#include <charconv>
#include <cmath>

namespace lumidra {

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\0'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.remove_suffix(1);
    return text;
}

std::optional<int> parseInt(std::string_view text)
{
    const std::optional<double> value = parseDecimal(text);
    if (!value || *value != std::floor(*value) || std::fabs(*value) > 2e9)
        return std::nullopt;
    return static_cast<int>(*value);
}

// A backslash-separated list of exactly N decimals.
template <std::size_t N> std::optional<std::array<double, N>> parseList(std::string_view text)
{
    std::array<double, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t end = text.find('\\');
        if ((end == std::string_view::npos) != (i + 1 == N))
            return std::nullopt;
        const std::optional<double> value = parseDecimal(text.substr(0, end));
        if (!value)
            return std::nullopt;
        out[i] = *value;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return out;
}

void applyField(DicomImage& image, std::string_view key, std::string_view value)
{
    auto positive = [&](int& field) {
        const std::optional<int> n = parseInt(value);
        if (n && *n > 0)
            field = *n;
    };
    if (key == "uid")
        image.seriesUid = value;
    else if (key == "number")
        image.seriesNumber = parseInt(value);
    else if (key == "description")
        image.description = value;
    else if (key == "modality")
        image.modality = value;
    else if (key == "acquisition")
        image.acquisition = parseInt(value);
    else if (key == "rows")
        positive(image.rows);
    else if (key == "columns")
        positive(image.columns);
    else if (key == "frames")
        positive(image.frames);
    else if (key == "samples")
        positive(image.samples);
    else if (key == "photometric")
        image.photometric = value;
    else if (key == "bits")
        positive(image.bitsAllocated);
    else if (key == "signed")
        image.isSigned = parseInt(value) == 1;
    else if (key == "imagetype")
        image.imageType = value;
    else if (key == "mosaic")
        positive(image.mosaicTiles);
    else if (key == "orientation")
        image.orientation = parseList<6>(value);
    else if (key == "position")
        image.position = parseList<3>(value);
    else if (key == "spacing")
        image.pixelSpacing = parseList<2>(value);
    else if (key == "thickness")
        image.thickness = parseDecimal(value).value_or(0.0);
    else if (key == "slope")
        image.slope = parseDecimal(value).value_or(1.0);
    else if (key == "intercept")
        image.intercept = parseDecimal(value).value_or(0.0);
    else if (key == "framepositions") {
        while (!value.empty()) {
            const std::size_t end = std::min(value.find(';'), value.size());
            const std::optional<Vec3> p = parseList<3>(value.substr(0, end));
            if (!p) {
                image.framePositions.clear();
                return;
            }
            image.framePositions.push_back(*p);
            value.remove_prefix(std::min(end + 1, value.size()));
        }
    }
}

} // namespace

bool DicomImage::isMosaic() const
{
    return mosaicTiles > 1 || imageType.find("MOSAIC") != std::string::npos;
}

std::optional<double> parseDecimal(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<ScanAnswer> parseScanAnswer(std::string_view line)
{
    if (line.size() < 3 || line[1] != '\t' || (line[0] != 'I' && line[0] != 'S'))
        return std::nullopt;
    ScanAnswer answer;
    answer.kind = line[0] == 'I' ? ScanAnswer::Kind::Image : ScanAnswer::Kind::Skipped;
    line.remove_prefix(2);
    const std::size_t tab = std::min(line.find('\t'), line.size());
    const auto [end, ec] = std::from_chars(line.data(), line.data() + tab, answer.file);
    if (tab == 0 || ec != std::errc() || end != line.data() + tab)
        return std::nullopt;
    line.remove_prefix(std::min(tab + 1, line.size()));
    if (answer.kind == ScanAnswer::Kind::Skipped) {
        answer.reason = line;
        return answer;
    }
    while (!line.empty()) {
        const std::size_t next = std::min(line.find('\t'), line.size());
        const std::string_view field = line.substr(0, next);
        const std::size_t eq = field.find('=');
        if (eq == std::string_view::npos)
            return std::nullopt;
        applyField(answer.image, field.substr(0, eq), field.substr(eq + 1));
        line.remove_prefix(std::min(next + 1, line.size()));
    }
    return answer;
}

} // namespace lumidra
