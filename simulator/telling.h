// Words the timeline and the check share: lists and the device's reasons.
#pragma once

#include "device/config.h"
#include "device/events.h"

#include <cstddef>
#include <string>
#include <vector>

namespace simtool {

// "a, b and c"; past `most` items, the rest counted: "a, b, c and 4 more".
std::string Listed(const std::vector<std::string>& items, std::size_t most = SIZE_MAX);

// Why the device said a call or an effect failed, with the error code when
// there is one: "there is no such file (error 2)".
std::string Why(const sim::Omitted<sim::Text>& why, long long error);
// The same of an effect's event that has its error and why.
template <class K> std::string WhyOf(const K& effect) {
    return Why(effect.why, effect.error.value_or(0));
}

// Why the uninstaller leaves folders the installer made, on this kind of
// device: "on this kind of device it removes no folder more than 2 levels
// deep (...), nor one that still holds anything".
std::string WhyFoldersStay(const sim::Config& device);

// The text with its first letter in capitals, as a sentence begins.
std::string Capitalized(std::string text);

// The texts of a list, as UTF-8, each after prefix.
std::vector<std::string> Texts(const sim::Texts& texts, const std::string& prefix = "");

} // namespace simtool
