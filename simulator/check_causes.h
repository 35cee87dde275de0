// What the device's record shows led to a verdict, each in a few words: what
// a program searched on the cards and what they held there, which times it
// compared, which name the uninstaller was given. Read off the recorded calls
// and effects alone, never from the rules of the program that made them.
#pragma once

#include "device/device.h"

#include <cstddef>
#include <string>
#include <vector>

namespace simtool {

// A file of a card that the check counts as a package: one ending in ".cab".
bool IsPackage(const sim::Entry& entry);

// A stretch of the device's record, events [from, to), and what the cards
// held when it began.
struct RecordSpan {
    const std::vector<sim::Event>& events;
    std::size_t from;
    std::size_t to;
    const std::vector<sim::Entry>& cards;
};

// The parts of the device whose events name the facts of this kind of
// device that decided them.
enum RecordParts {
    RunParts = 1,       // the shell's starts and the loader's refusals
    InstallerParts = 2, // the cabinet installer's checks
    RemovalParts = 4,   // the uninstaller and the Configuration Manager
};

// Adds to facts, each once, the device's facts that the span's events of
// those parts name as what decided them ("processor"); with removedOnly, of
// a removal only those that removed something.
void FactsNamed(const RecordSpan& span, int parts, bool removedOnly,
                std::vector<std::string>& facts);

// The searches for a pattern ("*", "?") on the cards that the runs of the
// span made, as they gave them, each once.
std::vector<std::u16string> CardSearches(const RecordSpan& span);

// For each search on the cards, what the card held where it looked: "the
// program searched \Storage Card\2577\*.cab, where the card holds
// autorun.exe"; then the cards' packages no search looked at.
std::vector<std::string> SearchCauses(const RecordSpan& span);

// The times the runs of the span compared, each with the file that a search
// of the same run found with that time: "the program compared the time of A
// (T1) with the time of B (T2): the first is earlier".
std::vector<std::string> ComparedTimes(const RecordSpan& span);

// The names the uninstallers were given up to an event, and the names the
// cabinet installer installed applications under, each once.
struct NamesGiven {
    std::vector<std::u16string> given;     // to Unload.exe
    std::vector<std::u16string> asked;     // of the Configuration Manager's UnInstall provider
    std::vector<std::u16string> installed; // by the cabinet installer
    // Some name was given and some installed, and none given is one installed.
    bool Differ() const;
};
NamesGiven UninstallNames(const std::vector<sim::Event>& events, std::size_t to);

// The names the uninstaller was given up to event `to`, and the names the
// cabinet installer installed applications under, when none of those given
// is one installed: "the uninstaller was given "X", and what was installed is
// "Y"". Empty when they agree, or when either is missing.
std::vector<std::string> UninstallerNames(const std::vector<sim::Event>& events, std::size_t to);

} // namespace simtool
