// What the device answers a program's call with, besides its result: whether
// it failed, with the error code and why in the device's words, and any
// misuse of the platform it noted. Each part of the device answers so.
#pragma once

#include "platform/platform.h"

#include <string>
#include <utility>

namespace sim {

struct Answer {
    platform::LONG error = 0;
    std::string why;    // empty: the call did what it was asked
    std::string misuse; // empty: none noted

    bool Failed() const {
        return !why.empty();
    }
};

// A call that fails with error, for the reason why.
inline Answer Fails(platform::LONG error, std::string why) {
    return Answer{error, std::move(why), std::string()};
}
// A call that fails because the program misused the platform.
inline Answer Misused(platform::LONG error, std::string why, std::string misuse) {
    return Answer{error, std::move(why), std::move(misuse)};
}

} // namespace sim
