#include "db/RetryPolicy.h"

#include <gtest/gtest.h>

#include <vector>

namespace vendrake {
namespace {

// Time that moves only when something sleeps on it.
struct TestClock : TClock {
  std::chrono::steady_clock::time_point Now() override { return now; }
  void Sleep(TSeconds wait) override { now += std::chrono::ceil<std::chrono::nanoseconds>(wait); }
  std::chrono::steady_clock::time_point now;
};

// The waits a window gives when each attempt after a wait takes attempt.
std::vector<double> Waits(unsigned seconds, TSeconds attempt) {
  TestClock clock;
  TRetryWindow window(seconds, clock);
  std::vector<double> waits;
  while (const std::optional<TSeconds> wait = window.NextWait()) {
    waits.push_back(wait->count());
    window.Sleep(*wait);
    clock.Sleep(attempt);
  }
  return waits;
}

TEST(RetryWindow, WaitsDoubleToEightSecondsAndEndWhereTheWindowDoes) {
  EXPECT_EQ(Waits(0, TSeconds(0)), std::vector<double>{});
  EXPECT_EQ(Waits(20, TSeconds(0)), (std::vector<double>{0.5, 1, 2, 4, 8, 4.5}));
  EXPECT_EQ(Waits(40, TSeconds(0)), (std::vector<double>{0.5, 1, 2, 4, 8, 8, 8, 8, 0.5}));
  // Time spent in the attempts counts against the window.
  EXPECT_EQ(Waits(20, TSeconds(3)), (std::vector<double>{0.5, 1, 2, 4, 0.5}));
}

TEST(RetryPolicy, ErrorClasses) {
  using enum TErrorClass;
  const struct {
    unsigned error;
    TErrorClass single, cluster;  // on a server, on a Galera node
  } cases[] = {{2006, LostConnection, LostConnection},
               {2013, LostConnection, LostConnection},
               {1053, LostConnection, LostConnection},
               {2002, LostConnection, LostConnection},
               {2003, LostConnection, LostConnection},
               {2005, LostConnection, LostConnection},
               {1040, LostConnection, LostConnection},
               {1213, Transient, Transient},
               {1205, Transient, Transient},
               {1047, Final, Transient},
               {1180, Final, Transient},
               {1045, Final, Final},
               {1146, Final, Final},
               {0, Final, Final}};
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyError(c.error, false), c.single) << c.error;
    EXPECT_EQ(ClassifyError(c.error, true), c.cluster) << c.error;
  }
}

}  // namespace
}  // namespace vendrake
