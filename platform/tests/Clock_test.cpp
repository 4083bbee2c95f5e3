#include "platform/Clock.h"

#include <gtest/gtest.h>

#include "platform/Random.h"

using namespace qz::platform;

TEST(Clock, FixedClockIsInjectable) {
    // 2020-02-29 23:30:00 UTC, shown at UTC+01:00.
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1583019000));
    FixedClock fixed(when, 60);
    SetClock(&fixed);
    const LocalDateTime t = GetClock().LocalNow();
    SetClock(nullptr);
    EXPECT_EQ(t.year, 2020);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.minute, 30);
    EXPECT_EQ(t.utcOffsetMinutes, 60);
}

TEST(Random, LinearGeneratorIsDeterministicAndInRange) {
    LinearRandom a(42), b(42);
    for (int i = 0; i < 1000; ++i) {
        const uint32_t x = a.Next(26);
        EXPECT_LT(x, 26u);
        EXPECT_EQ(x, b.Next(26));
    }
    EXPECT_EQ(a.Next(0), 0u);
    LinearRandom zero(0);
    EXPECT_EQ(zero.Next(0x10000), 0u);  // first state is 1: 1 * 65536 >> 32
    SetRandomSource(&zero);
    EXPECT_EQ(&Random(), &zero);
    SetRandomSource(nullptr);
    EXPECT_NE(&Random(), &zero);
}
