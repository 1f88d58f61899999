// Time oracles shared by the date and time tests: the civil calendar of std::chrono, the rules of
// the two summer-time zones the tests switch to, and a fixture that runs a test under each zone.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace time_oracle {

inline int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
inline int64_t DaysOf(int y, unsigned m, unsigned d) {
  return std::chrono::sys_days{std::chrono::year{y} / m / d}.time_since_epoch().count();
}
inline std::chrono::year_month_day CivilOf(int64_t days) {
  return std::chrono::year_month_day{std::chrono::sys_days{std::chrono::days{days}}};
}

// Seconds east of UTC at Unix time t, by the rules in force since 2007.
inline int64_t RuleOffset(const std::string& zone, int64_t t) {
  using namespace std::chrono;
  const year y = CivilOf(FloorDiv(t, 86400)).year();
  auto at = [](sys_days d, int hourUtc) { return d.time_since_epoch().count() * 86400 + hourUtc * 3600; };
  if (zone == "Europe/Paris")  // last Sunday of March to last Sunday of October, 01:00 UTC
    return t >= at(y / March / Sunday[last], 1) && t < at(y / October / Sunday[last], 1) ? 7200 : 3600;
  if (zone == "America/New_York")  // second Sunday of March 02:00 EST to first Sunday of November 02:00 EDT
    return t >= at(y / March / Sunday[2], 7) && t < at(y / November / Sunday[1], 6) ? -14400 : -18000;
  return 0;
}

// The instants whose wall-clock time in zone is wall: none in a skipped hour, two in a repeated one.
inline std::vector<int64_t> InstantsOfLocal(const std::string& zone, int64_t wall) {
  std::vector<int64_t> out;
  for (int64_t offset : {-18000, -14400, 0, 3600, 7200})
    if (RuleOffset(zone, wall - offset) == offset) out.push_back(wall - offset);
  return out;
}

// A test run with TZ set to the parameter, restored afterwards (each binary derives its own suite).
class ZoneTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (const char* old = getenv("TZ")) saved_ = old;
    setenv("TZ", zone_.c_str(), 1);
    tzset();
  }
  void TearDown() override {
    saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
    tzset();
  }
  const std::string zone_ = GetParam();

 private:
  std::optional<std::string> saved_;
};

}  // namespace time_oracle

#define INSTANTIATE_ZONE_TESTS(fixture) \
  INSTANTIATE_TEST_SUITE_P(Zones, fixture, testing::Values("UTC", "Europe/Paris", "America/New_York"))
