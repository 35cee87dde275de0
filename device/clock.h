// The device's virtual clock, and the work scheduled on it: nothing really
// waits. The programs the shell starts beside the running one are jobs that
// fall due as the clock moves.
#pragma once

#include "device/store.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace sim {

// The latest time a FILETIME can hold; the clock stops there, never wraps.
constexpr Ticks LatestTime = 0x7FFFFFFFFFFFFFFFull;

// CompareFileTime's answer: greater than 0 when a is later than b, 0 when
// they are equal, less than 0 when a is earlier.
inline int CompareTimes(Ticks a, Ticks b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

class Clock {
  public:
    explicit Clock(Ticks start) : start_(start) {}

    // Milliseconds since the start.
    std::uint64_t NowMs() const {
        return nowMs_;
    }
    // The time as a FILETIME counts it, at most LatestTime.
    Ticks Now() const;

    // Runs job when the clock reaches dueMs (at once, if it has). Jobs due at
    // the same time run in the order they were scheduled.
    void Schedule(std::uint64_t dueMs, std::function<void()> job);
    // Moves the clock on by ms, running the jobs that fall due on the way,
    // each at its own time.
    void Advance(std::uint64_t ms);
    // Runs every job still waiting, in time order.
    void RunAll();

  private:
    struct Job {
        std::uint64_t dueMs;
        std::uint64_t order;
        std::function<void()> work;
    };
    void RunDue(std::uint64_t untilMs);

    Ticks start_;
    std::uint64_t nowMs_ = 0;
    std::uint64_t nextOrder_ = 0;
    std::vector<Job> jobs_;
};

} // namespace sim
