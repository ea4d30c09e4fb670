#include "app/TradingDate.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace vendrake {

namespace {

using std::chrono::days;
using std::chrono::sys_days;

constexpr int64_t kHalfDay = 12 * 60 * 60 * 1000;
constexpr sys_days kDayZero = std::chrono::year{1899} / 12 / 30;

}  // namespace

std::string TradingDateAt(std::chrono::year_month_day date, int64_t milliseconds_of_day) {
  sys_days day = date;
  const bool odd = (day - kDayZero).count() % 2 != 0;
  if (milliseconds_of_day > kHalfDay || (milliseconds_of_day == kHalfDay && odd)) day += days(1);
  const unsigned weekday = std::chrono::weekday(day).iso_encoding();
  if (weekday == 6) day += days(2);
  if (weekday == 7) day += days(1);
  const std::chrono::year_month_day result(day);
  char text[32];
  std::snprintf(text, sizeof(text), "%.4d-%.2d-%.2d", static_cast<int>(result.year()),
                static_cast<int>(static_cast<unsigned>(result.month())),
                static_cast<int>(static_cast<unsigned>(result.day())));
  return text;
}

std::string ComputeTradingDate() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  tm local;
  localtime_r(&now.tv_sec, &local);
  const std::chrono::year_month_day date{std::chrono::year{local.tm_year + 1900},
                                         std::chrono::month(local.tm_mon + 1),
                                         std::chrono::day(local.tm_mday)};
  const int64_t seconds = (local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec;
  return TradingDateAt(date, seconds * 1000 + now.tv_nsec / 1000000);
}

std::string LocalComputerName() {
  char name[16];
  // gethostname fails for a name that does not fit with its terminator.
  if (gethostname(name, sizeof(name)) != 0) return "Unknown";
  name[sizeof(name) - 1] = '\0';
  return name;
}

std::string HeartbeatRowName() { return "Overnight " + LocalComputerName(); }

}  // namespace vendrake
