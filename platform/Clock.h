#pragma once
// The process's clock, replaceable so that tests see fixed dates.

#include <chrono>
#include <cstdint>

namespace qz::platform {

// A moment as the local calendar shows it, with the local offset from UTC.
struct LocalDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int utcOffsetMinutes = 0;  // local time minus UTC
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::system_clock::time_point Now() = 0;
    virtual LocalDateTime ToLocal(std::chrono::system_clock::time_point when) = 0;
    LocalDateTime LocalNow() { return ToLocal(Now()); }
};

// The system clock with the system's time zone.
class SystemClock final : public Clock {
public:
    std::chrono::system_clock::time_point Now() override;
    LocalDateTime ToLocal(std::chrono::system_clock::time_point when) override;
};

// A clock that always answers the same moment, in UTC plus a fixed offset.
class FixedClock final : public Clock {
public:
    FixedClock(std::chrono::system_clock::time_point when, int utcOffsetMinutes = 0)
        : when_(when), offset_(utcOffsetMinutes) {}
    std::chrono::system_clock::time_point Now() override { return when_; }
    LocalDateTime ToLocal(std::chrono::system_clock::time_point when) override;

private:
    std::chrono::system_clock::time_point when_;
    int offset_;
};

Clock& GetClock();
// Replaces the shared clock (not owned); nullptr restores the system clock.
void SetClock(Clock* clock);

}  // namespace qz::platform
