#include "platform/Clock.h"

#include <ctime>

#include "platform/Random.h"

namespace qz::platform {

namespace {

LocalDateTime FromTm(const std::tm& tm, int millisecond, int offsetMinutes) {
    LocalDateTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = millisecond;
    t.utcOffsetMinutes = offsetMinutes;
    return t;
}

int Milliseconds(std::chrono::system_clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    return static_cast<int>(((ms.count() % 1000) + 1000) % 1000);
}

SystemClock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

Clock* g_clock = nullptr;
RandomSource* g_random = nullptr;

}  // namespace

std::chrono::system_clock::time_point SystemClock::Now() { return std::chrono::system_clock::now(); }

LocalDateTime SystemClock::ToLocal(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    return FromTm(tm, Milliseconds(when), static_cast<int>(tm.tm_gmtoff / 60));
}

LocalDateTime FixedClock::ToLocal(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when) + offset_ * 60;
    std::tm tm{};
    gmtime_r(&t, &tm);
    return FromTm(tm, Milliseconds(when), offset_);
}

Clock& GetClock() { return g_clock ? *g_clock : DefaultClock(); }
void SetClock(Clock* clock) { g_clock = clock; }

RandomSource& Random() {
    if (g_random) return *g_random;
    static LinearRandom source([] {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    }());
    return source;
}
void SetRandomSource(RandomSource* source) { g_random = source; }

}  // namespace qz::platform
