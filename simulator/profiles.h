// The device profiles: the facts of each kind of device a card is checked
// on, as device descriptions (devices/NAME.json), compiled into autorun-sim.
#pragma once

#include "simulator/description.h"

#include <string>
#include <vector>

namespace simtool {

struct ProfileText {
    const char* name; // the file's name without ".json": "wm5"
    const char* text; // its JSON
};

// Every profile, in the order the check plays them (simulator/CMakeLists.txt
// lists it): the Pocket PCs by age, then the other kinds of device.
const std::vector<ProfileText>& Profiles();

// The profile of that name; null when there is none.
const ProfileText* FindProfile(const std::string& name);

// "pocket-pc-2000, pocket-pc-2002, ...": for messages about unknown names.
std::string ProfileNames();

// The profile read as a description, its source "profile NAME". The profile
// must exist.
Description ReadProfile(const ProfileText& profile);

} // namespace simtool
