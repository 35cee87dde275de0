// autorun-sim check CARD [--devices NAME,...] [--image FILE | --stand-in]
//                        [--set FACT=VALUE]... [--expect FILE] [--json] [--junit FILE|-]
//                        [--explain DEVICE]
//
// A card, as it will be burnt, through its life on every kind of device it
// is for, with a verdict.
#pragma once

#include "runner/program_runner.h"
#include "simulator/check_report.h"
#include "simulator/description.h"
#include "simulator/profiles.h"

#include <ostream>
#include <string>
#include <vector>

namespace simtool {

// Plays the card's life on each of these profiles, in order, and judges it,
// with the card's notes, into run, whose choice says what runs in place of
// the card's program (run.choice.image's bytes are programs.standIn). kinds
// holds every profile's device, in the order of Profiles(), with any facts
// overridden. With explain, each device's whole timeline is told there too;
// with timelines, each device keeps its own.
void CheckCard(const Description& card, const std::vector<const ProfileText*>& profiles,
               const std::vector<Description>& kinds, runner::ProgramRunner& programs,
               CheckRun& run, std::ostream* explain = nullptr, bool timelines = false);

// Runs the check on the arguments after "check" (argv[0] is "check"). What
// it prints is left in output, for the caller to write; help and errors are
// written at once. Returns the exit status.
int CheckCommand(int argc, char** argv, std::string& output);

} // namespace simtool
