#include "app/TradingDate.h"

#include <gtest/gtest.h>

namespace vendrake {
namespace {

using std::chrono::year_month_day;
using namespace std::chrono_literals;

constexpr int64_t At(int hours, int minutes, int seconds = 0, int ms = 0) {
  return ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
}

TEST(TradingDate, RoundsToTheNearestDayThenSkipsTheWeekend) {
  struct Case {
    year_month_day date;
    int64_t time;
    const char* expected;
  };
  const Case cases[] = {
      {2026y / 12 / 11, At(9, 0), "2026-12-11"},    // Friday morning
      {2026y / 12 / 11, At(18, 0), "2026-12-14"},   // Friday evening: Saturday, Monday
      {2026y / 12 / 12, At(11, 0), "2026-12-14"},   // Saturday
      {2026y / 12 / 12, At(13, 0), "2026-12-14"},   // Saturday afternoon: Sunday
      {2026y / 12 / 13, At(11, 59), "2026-12-14"},  // Sunday
      {2026y / 12 / 13, At(12, 1), "2026-12-14"},   // Sunday afternoon: Monday
      {2026y / 12 / 13, At(23, 59, 59, 999), "2026-12-14"},
      {2026y / 12 / 7, At(12, 0), "2026-12-08"},        // noon, odd day number: up
      {2026y / 12 / 8, At(12, 0), "2026-12-08"},        // noon, even day number: stays
      {2026y / 12 / 8, At(12, 0, 0, 1), "2026-12-09"},  // a millisecond past noon
      {2026y / 12 / 31, At(20, 0), "2027-01-01"},
      {999y / 3 / 1, At(1, 0), "0999-03-01"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TradingDateAt(c.date, c.time), c.expected) << c.expected;
  }
}

TEST(TradingDate, ComputerNameFitsFifteenCharacters) {
  const std::string name = LocalComputerName();
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
}

}  // namespace
}  // namespace vendrake
