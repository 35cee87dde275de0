// What autorun-sim check tells: the program that ran and the card's notes,
// then the table, one row per device and one column per judgement, each
// failed or unjudged cell with a line saying why; or the same as one JSON
// document; and the exit status it makes.
#pragma once

#include "simulator/check.h"

#include <ostream>
#include <string>
#include <vector>

namespace simtool {

// An expected ✗ that is not one now, from a line of the --expect file.
struct Unfailing {
    std::size_t line;
    std::string device;
    Column column;
    std::string reason;
    Verdict verdict; // what it is now
};

struct CheckRun {
    std::string card;                 // as given on the command line
    ProgramChoice choice;             // what runs in place of the card's program
    std::vector<std::string> set;     // the facts --set gives every device: "processor=2577"
    std::vector<std::string> notes;   // facts of the card itself (simulator/check_notes.h)
    std::vector<std::string> unused;  // fields of the card description the check does not use
    std::vector<DeviceCheck> devices; // in the order played
    std::string expect;               // the --expect file; empty for none
    std::vector<Unfailing> unfailing; // its lines whose ✗ is none now
};

// The program each device started from the card, in words: the card's own
// image (its path and machine), the --image, the stand-in, or none. One for
// each different file the devices started.
std::vector<std::string> Programs(const CheckRun& run);
// The same, joined with "; ".
std::string ProgramText(const CheckRun& run);

// Exit statuses of the check.
constexpr int CheckPasses = 0;
constexpr int CheckCrashed = 3;
constexpr int CheckFails = 4;

// 3 when a run crashed on any device (unless that ✗ is expected), else 4
// when a device neither passes nor fails only as expected, else 0.
int CheckStatus(const std::vector<DeviceCheck>& devices);

// The cell's mark: ✓, ✗, (✗) for an expected ✗, or –, with ? after it when
// the verdict rests on an assumption.
std::string Mark(const Judgement& judgement);
// How many verdicts rest on an assumption.
int Assumed(const std::vector<DeviceCheck>& devices);
// "rests on an assumption: A; see docs/devices.md", for one assumption.
std::string RestsOn(const Assumption& assumption);

void WriteCheckTable(std::ostream& out, const CheckRun& run);
void WriteCheckJson(std::ostream& out, const CheckRun& run);

} // namespace simtool
