// The device's virtual clock stops at the latest time a FILETIME holds: a
// program that pauses for ever must not stamp files with a time past it, nor
// wrap round to an earlier one.
#include "device/clock.h"
#include "device/config.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(Clock, StopsAtTheLatestTimeAFiletimeHolds) {
    sim::Clock clock(sim::DefaultClockStart);
    sim::Ticks before = clock.Now();
    // 500 000 pauses of 0xFFFFFFFF ms are past 2^64 ticks.
    for (int i = 0; i < 500000; ++i) {
        clock.Advance(0xFFFFFFFFu);
        ASSERT_GE(clock.Now(), before) << "pause " << i;
        ASSERT_LE(clock.Now(), sim::LatestTime) << "pause " << i;
        before = clock.Now();
    }
    EXPECT_EQ(sim::LatestTime, clock.Now());
    // The milliseconds stop too, at their own end, and work still falls due.
    bool ran = false;
    clock.Schedule(clock.NowMs(), [&ran] { ran = true; });
    clock.Advance(UINT64_MAX);
    EXPECT_TRUE(ran);
    EXPECT_EQ(UINT64_MAX, clock.NowMs());
    EXPECT_EQ(sim::LatestTime, clock.Now());
}

TEST(Clock, JobsRunAtTheirTimeInTheOrderScheduled) {
    sim::Clock clock(sim::DefaultClockStart);
    std::vector<int> order;
    clock.Schedule(2000, [&] { order.push_back(2); });
    clock.Schedule(1000, [&] { order.push_back(1); });
    clock.Schedule(2000, [&] { order.push_back(3); });
    clock.Advance(1500);
    EXPECT_EQ((std::vector<int>{1}), order);
    clock.RunAll();
    EXPECT_EQ((std::vector<int>{1, 2, 3}), order);
    EXPECT_EQ(2000u, clock.NowMs());
}

} // namespace
