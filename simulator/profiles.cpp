// Finding and reading the compiled-in device profiles.
#include "simulator/profiles.h"

namespace simtool {

const ProfileText* FindProfile(const std::string& name) {
    for (const ProfileText& profile : Profiles()) {
        if (name == profile.name) {
            return &profile;
        }
    }
    return nullptr;
}

std::string ProfileNames() {
    std::string names;
    for (const ProfileText& profile : Profiles()) {
        names += (names.empty() ? "" : ", ") + std::string(profile.name);
    }
    return names;
}

Description ReadProfile(const ProfileText& profile) {
    Description d = ParseDescription(profile.text, std::string("profile ") + profile.name, ".");
    d.profile = profile.name;
    return d;
}

} // namespace simtool
