#include "core/volume/WindowPolicy.h"

#include "core/volume/ScanValues.h"

#include <charconv>
#include <cmath>

namespace lumidra {

namespace {

// A whole field as one number; a leading '+' is taken as people write it.
std::optional<double> numberField(std::string_view text)
{
    if (text.size() > 1 && text[0] == '+' && text[1] != '-')
        text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<WindowPolicy> parseWindowPolicy(std::string_view text, std::string& error)
{
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '\'').append(text).append(1, '\'');
    if (text == "robust")
        return WindowPolicy{WindowRule::Robust};
    if (text == "ct")
        return WindowPolicy{WindowRule::Ct};
    if (text == "minmax")
        return WindowPolicy{WindowRule::MinMax};
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        error = quoted + " is not a window: use " + kWindowPolicies;
        return std::nullopt;
    }
    const std::optional<double> low = numberField(text.substr(0, colon));
    const std::optional<double> high = numberField(text.substr(colon + 1));
    if (!low || !high || !std::isfinite(*low) || !std::isfinite(*high)) {
        error = quoted + " is not a window: LO:HI takes two numbers, such as -100:80";
        return std::nullopt;
    }
    if (!(*low < *high)) {
        error = quoted + " is not a window: LO must be below HI";
        return std::nullopt;
    }
    return WindowPolicy{WindowRule::Fixed, *low, *high};
}

std::string windowPolicyText(const WindowPolicy& policy)
{
    if (policy.rule == WindowRule::Fixed)
        return exactNumber(policy.low) + ":" + exactNumber(policy.high);
    return windowRuleName(policy.rule);
}

WindowRule ruleFor(const WindowPolicy& policy, std::string_view modality)
{
    if (policy.rule != WindowRule::Auto)
        return policy.rule;
    return modality == "CT" ? WindowRule::Ct : WindowRule::Robust;
}

IntensityWindow resolveWindow(const WindowPolicy& policy, const ScanValues& values,
                              std::string_view modality)
{
    IntensityWindow w;
    w.rule = ruleFor(policy, modality);
    switch (w.rule) {
    case WindowRule::Ct:
        w.low = kCtLowHu;
        w.high = kCtLowHu + kTopSample;
        break;
    case WindowRule::Fixed:
        w.low = policy.low;
        w.high = policy.high;
        break;
    case WindowRule::MinMax:
        w.low = values.min;
        w.high = values.max;
        break;
    case WindowRule::Auto: // resolved above
    case WindowRule::Robust:
        w.low = values.lowPercentile;
        w.high = values.highPercentile;
        break;
    }
    return w;
}

} // namespace lumidra
