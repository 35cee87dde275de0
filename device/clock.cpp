// The virtual clock and its jobs.
#include "device/clock.h"

#include <algorithm>

namespace sim {

Ticks Clock::Now() const {
    const Ticks room = start_ < LatestTime ? LatestTime - start_ : 0;
    return nowMs_ >= room / TicksPerMs ? LatestTime : start_ + nowMs_ * TicksPerMs;
}

void Clock::Schedule(std::uint64_t dueMs, std::function<void()> job) {
    jobs_.push_back({dueMs, nextOrder_++, std::move(job)});
}

void Clock::RunDue(std::uint64_t untilMs) {
    for (;;) {
        auto next = std::min_element(jobs_.begin(), jobs_.end(), [](const Job& a, const Job& b) {
            return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.order < b.order;
        });
        if (next == jobs_.end() || next->dueMs > untilMs) {
            return;
        }
        Job job = std::move(*next);
        jobs_.erase(next);
        nowMs_ = std::max(nowMs_, job.dueMs);
        job.work(); // may schedule more
    }
}

void Clock::Advance(std::uint64_t ms) {
    // Milliseconds saturate too: a program that pauses for ever stops the
    // clock at its end, not at its start.
    const std::uint64_t until = ms > UINT64_MAX - nowMs_ ? UINT64_MAX : nowMs_ + ms;
    RunDue(until);
    nowMs_ = until;
}

void Clock::RunAll() {
    RunDue(UINT64_MAX);
}

} // namespace sim
