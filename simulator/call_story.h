// A platform call in words: what it asked and what the device answered, as
// the timeline tells it under the run that made it, and the call as --trace
// shows it. Read off the call's record alone.
#pragma once

#include "device/events.h"

#include <map>
#include <string>

namespace simtool {

class CallStory {
  public:
    // A run begins: its searches and libraries are new.
    void NewRun() {
        searches_.clear();
        libraries_.clear();
    }
    // The sentence for the call; empty for one that did what it was asked
    // and has nothing more to tell.
    std::string Tell(const sim::ev::Call& call);
    // "call CopyFileW(source "...", ...) = 1; outputs".
    static std::string Trace(const sim::ev::Call& call);

  private:
    std::string TellFindFirst(const sim::rec::FindFirstFileW& r, bool failed,
                              const std::string& why);

    std::map<long long, bool> searches_;         // the run's open searches: of the root folder?
    std::map<long long, std::string> libraries_; // the run's loaded libraries, by handle
    // The library a handle holds, by the name the program loaded it by.
    std::string LibraryOf(long long handle) const;
};

} // namespace simtool
