// autorun-sim check: a card's life played on one kind of device, and judged
// from what the device holds and what it recorded, never from the rules of
// the program that runs.
//
// The life: insert, tap the Programs-menu entry, remove, insert again (the
// card swapped back), tap, remove.
#pragma once

#include "device/device.h"
#include "runner/program_runner.h"
#include "simulator/card_program.h"
#include "simulator/description.h"

#include <ostream>
#include <string>
#include <vector>

namespace simtool {

enum class Verdict { Pass, Fail, NotJudged };

// A fact of the kind of device that a verdict rests on, which its profile
// gives as an assumption.
struct Assumption {
    std::string fact;    // "processor"
    std::string assumed; // the assumption, in the profile's words
};

struct Judgement {
    Verdict verdict = Verdict::Pass;
    std::string why; // for Fail and NotJudged: one line, in the device's words
    // What the device's record shows led to it, each in a few words: what
    // the program searched, the name the uninstaller was given, the times
    // the program compared.
    std::vector<std::string> causes;
    // For a Fail, what to change where the record implies it, each in a few
    // words: "put the card's program in 1824\ as well".
    std::vector<std::string> remedies = {};
    // The device's facts the verdict rests on, as its record names them
    // ("processor"), and those of them that its profile assumes.
    std::vector<std::string> facts = {};
    std::vector<Assumption> assumes = {};
    // For a Fail that the card's author expects (--expect): why, in their
    // words; empty when it is not expected.
    std::string expected = {};

    // The reason as the table tells it: why, then each cause.
    std::string Reason() const;
    bool Expected() const {
        return verdict == Verdict::Fail && !expected.empty();
    }
};

// The judgements, one column each, in the table's order.
enum Column {
    Installs,     // the first insertion leaves the package's application installed or current
    MenuAdded,    // ... and a new entry in the Programs menu
    TapStarts,    // the tap starts a file that the package installed
    RemovalClean, // after each removal nothing that the card's life added remains
    WorksAgain,   // the second insertion and tap work as the first did
    RunsClean,    // no run crashes, and no misuse of the platform is recorded
    Columns
};

// The column's heading in the table, and its key in the JSON document.
const char* Heading(Column column);
const char* Key(Column column);

// A registry value that the card's life added or changed and a removal did
// not put back, under a key the device had before.
struct LeftValue {
    std::string key;   // with its root
    std::string name;  // empty: the key's default value
    bool added = true; // else changed (or deleted)
};

struct DeviceCheck {
    std::string device;          // the profile's name: "wm5"
    std::string name;            // what the kind of device is called
    std::uint32_t processor = 0; // its processor type, which names its card folder
    CardProgram program;         // what the device's shell starts from the card
    Judgement judgements[Columns];
    bool crashed = false; // a run crashed (not a file the device would not start)
    // Left after a removal (the first one that left anything), as the device
    // names them: files and folders ("\..."), then keys ("HKEY_...\...");
    // and the values it left in keys the device had before.
    std::vector<std::string> left;
    std::vector<LeftValue> leftValues;
    // Left after removal and allowed: the shell's own copy of the card's program.
    std::vector<std::string> allowed;
    // The folders the installer made that the uninstaller left, as it
    // recorded them (in the first removal that left any).
    std::vector<std::string> foldersLeft;
    // What the verdict does not cover, one line each: a package's setup DLL,
    // which the simulated device does not run.
    std::vector<std::string> notes;
    // The searches on the cards that the programs made, as they gave them
    // ("\Storage Card\2577\*.cab"), each once.
    std::vector<std::u16string> searched;
    // The device's timeline, as --explain tells it, when it was asked for.
    std::string timeline;

    // Every judgement passes.
    bool Passes() const;
    // It does not pass, and each judgement that fails is expected.
    bool FailsAsExpected() const;
};

// The card on one kind of device: the card description's entries, registry,
// faults, clock and uninstaller time, with the profile's facts.
Description OnDevice(const Description& card, const Description& profile);

// Where --explain tells a device's whole timeline, and what runs in place of
// the card's program.
struct Explain {
    std::ostream& out;
    const ProgramChoice& choice;
};

// Plays the card's life on a device of that description with these programs
// and judges it, each verdict with the assumptions of the description's
// profile it rests on; with `explain`, tells the timeline there too.
DeviceCheck CheckDevice(const Description& onDevice, runner::ProgramRunner& programs,
                        const Explain* explain = nullptr);

} // namespace simtool
