// autorun-sim check CARD [--devices NAME,...] [--image FILE | --stand-in]
//                        [--set FACT=VALUE]... [--expect FILE] [--json] [--junit FILE|-]
//                        [--explain DEVICE]
//
// A card, as it will be burnt, through its life on every kind of device it
// is for, with a verdict.
#pragma once

#include <string>

namespace simtool {

// Runs the check on the arguments after "check" (argv[0] is "check"). What
// it prints is left in output, for the caller to write; help and errors are
// written at once. Returns the exit status.
int CheckCommand(int argc, char** argv, std::string& output);

} // namespace simtool
