// Device file times as people write and read them: ISO-8601 UTC text to and
// from 100-ns ticks since 1601, and host modification times to ticks.
#pragma once

#include "device/device.h"

#include <cstdint>
#include <string>

namespace simtool {

// "YYYY-MM-DDTHH:MM:SS[.fffffff]Z" (up to 7 fractional digits, years 1601 to
// 9999) to ticks. False when the text is not such a time.
bool ParseIsoTime(const std::string& text, sim::Ticks& ticks);

// "2026-11-02 10:00:00 UTC", with the fraction of a second when there is one.
std::string FormatTime(sim::Ticks ticks);

// A host file's modification time (seconds and nanoseconds since 1970) as
// ticks; times before 1601 become 0.
sim::Ticks TicksFromUnix(std::int64_t seconds, std::int64_t nanoseconds);

} // namespace simtool
