// The ✗ a card's author expects (--expect FILE), so that a pipeline passes a
// card whose only failures are accepted ones: a small text file, one a line,
// "DEVICE JUDGEMENT: REASON" ("hpc-pro-2.11 installs: this card is not for
// CE 2.11"), the judgement by its heading or its JSON key. A line that starts
// with "#" is a comment; blank lines are passed over.
#pragma once

#include "simulator/check_report.h"

#include <cstddef>
#include <string>
#include <vector>

namespace simtool {

struct Expectation {
    std::size_t line; // in the file, from 1
    std::string device;
    Column column;
    std::string reason;
};

// Reads the file. A line that names no known device or no judgement, or
// gives no reason, or repeats another, is an InputError that names it.
std::vector<Expectation> ReadExpectations(const std::string& file);

// Marks the expected ✗ of the devices checked, with their reasons, and
// answers the lines whose judgement is no ✗ now; lines about devices that
// were not checked are left alone.
std::vector<Unfailing> Expect(const std::vector<Expectation>& expectations,
                              std::vector<DeviceCheck>& devices);

} // namespace simtool
