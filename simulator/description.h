// A device description: what autorun-sim is to simulate, read from JSON, and
// how it sets up a simulated device. Unusable input is an InputError that
// names the file, the place in it and what is wrong.
#pragma once

#include "device/device.h"
#include "simulator/json_input.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace simtool {

struct Step {
    enum Kind { Insert, Menu, Tap, Remove, Run } kind = Insert;
    std::u16string path; // Tap: the file tapped; Run: the program's path
    std::u16string args; // Run: its command line
};

// What a fact of a kind of device rests on, as a profile gives it: sources
// (their ids in docs/devices.md), or an assumption in words (with any
// sources that bear on it).
struct Standing {
    std::vector<std::string> sources; // "S12", "M4"
    std::string assumed;              // empty: the fact is sourced
};

struct Description {
    std::string source;  // the file it came from, "standard input" or "built-in demo"
    std::string profile; // the device profile it starts from; empty for none
    std::string name;    // what the kind of device is called; empty when unnamed
    // The fields it gives itself that say what kind of device it is
    // ("platform", "osMajor", ...), in the order of DeviceFacts.
    std::vector<std::string> facts;
    // The standing of the facts of its kind of device, by fact: its own
    // "standing", and its profile's for the facts it does not replace.
    std::map<std::string, Standing> standing;
    // The kind of device: its answers, folders, shell, installer and clock.
    // The clock, unless given, starts one minute after the latest time of
    // any entry, so that what the device installs is newer.
    sim::Config config;
    std::vector<sim::Entry> entries; // in order, host folders expanded
    bool hasRegistry = false;        // the list replaces the bare device's keys
    std::vector<std::u16string> registry;
    std::vector<sim::FaultRule> faults;
    bool hasSteps = false; // the description gives its own
    std::vector<Step> steps = {
        {Step::Insert, {}, {}}, {Step::Menu, {}, {}}, {Step::Remove, {}, {}}};
};

// Attribute names of the description and the event log, with their bits.
const std::vector<std::pair<std::string, std::uint32_t>>& AttributeNames();

// The facts of a kind of device a description may give ("platform",
// "osMajor", ...), each of which has a standing in a profile.
const std::vector<std::string>& FactNames();

// Parses a description. Relative "from" folders are taken from baseDir.
Description ParseDescription(const std::string& text, const std::string& file,
                             const std::string& baseDir);
// Reads and parses a description file; "-" reads standard input, whose
// relative "from" folders are taken from the current folder.
Description ReadDescription(const std::string& file);
// The built-in demo.
Description DemoDescription();
// A profile with facts set as the command line's --set gives them,
// "FACT=VALUE" each: VALUE is JSON when it starts as JSON does (a number,
// true, false, an object or an array), else a text. A set fact has no
// standing. An unknown fact, or a value the fact cannot take, is an
// InputError that names it.
Description ProfileWith(const std::string& name, const std::vector<std::string>& sets);
// A card folder on the host as the card \Storage Card of a device, read as a
// "from" folder is: the folder that will be burnt.
Description CardFolderDescription(const std::string& folder);

// A step given on the command line (the index counts from 1): insert, menu,
// remove, or a JSON {"tap": PATH} or {"run": PATH, "args": TEXT} object.
Step ParseCommandLineStep(const std::string& text, std::size_t index);

// Puts the described entries, keys and faults on a device (made with the
// description's config, or another kind's). With an image, every card's
// program file (its "<processor>\autorun.exe", as the device's shell finds
// it) holds it; returns how many cards hold one.
int Populate(const Description& description, sim::Device& device,
             const sim::Content& image = nullptr);

} // namespace simtool
