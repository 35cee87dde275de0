// The instructions the images ran, written out for the coverage report of
// the device image (tests/wince/coverage.py reads them).
#pragma once

#include "runner/image_program.h"

#include <string>

namespace runner {

// Appends to file what the images of every machine ran over program's runs
// so far, one range a line: the machine's name, then the range's start and
// end relative to the image base, in hex ("ARM 0x1000 0x1010"). False, with
// error set, when the file cannot be written.
bool AppendExecuted(const ImageProgram& program, const std::string& file, std::string& error);

} // namespace runner
