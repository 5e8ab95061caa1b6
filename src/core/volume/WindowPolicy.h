#pragma once

#include "core/volume/VolumeIntensity.h"

#include <optional>
#include <string>
#include <string_view>

namespace lumidra {

struct ScanValues;

// How a scan's values become 12-bit samples, as the user chose it:
//   robust  low and high at the 0.5th and 99.5th percentiles of the finite values
//   ct      sample = value + 1,024 (HU), clipped
//   LO:HI   low and high given, in the scan's units (rule Fixed)
//   minmax  low and high at the smallest and largest finite value
// and Auto, the default when nothing is chosen: ct for a scan that says it
// is CT, robust for any other.
struct WindowPolicy {
    WindowRule rule = WindowRule::Auto;
    double low = 0.0; // Fixed only
    double high = 0.0;

    bool operator==(const WindowPolicy&) const = default;
};

// The policies --window takes, for usage texts.
constexpr const char* kWindowPolicies = "robust, ct, minmax or LO:HI";

// Reads "robust", "ct", "minmax" or "LO:HI" (two finite numbers, LO below
// HI, a decimal point whatever the locale). Anything else gives nothing and
// one line saying why in `error`.
std::optional<WindowPolicy> parseWindowPolicy(std::string_view text, std::string& error);

// The text that reads back to the policy ("auto" for Auto).
std::string windowPolicyText(const WindowPolicy& policy);

// The rule a policy takes for a scan of the given modality ("CT", "MR", or
// empty when the file does not say).
WindowRule ruleFor(const WindowPolicy& policy, std::string_view modality);

// The window the policy gives a scan whose values are summed up by values
// (ranked, when the rule is robust).
IntensityWindow resolveWindow(const WindowPolicy& policy, const ScanValues& values,
                              std::string_view modality);

} // namespace lumidra
