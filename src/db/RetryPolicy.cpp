#include "db/RetryPolicy.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace vendrake {

namespace {

class TSystemClock : public TClock {
 public:
  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
  void Sleep(TSeconds wait) override { std::this_thread::sleep_for(wait); }
};

}  // namespace

TClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

TErrorClass ClassifyError(unsigned error, bool cluster_node) {
  switch (error) {
    case 2006:  // server gone away
    case 2013:  // lost during the query, or silent past the timeout
    case 1053:  // the server shuts down cleanly
    case 2002:  // no server on the socket, as while it restarts
    case 2003:  // no server on the port
    case 2005:  // host name not resolved, as while a resolver restarts
    case 1040:  // too many connections
      return TErrorClass::LostConnection;
    case 1213:  // deadlock, or a cluster's certification conflict
    case 1205:  // lock wait timeout
      return TErrorClass::Transient;
    case 1047:  // node outside the primary component
    case 1180:  // a commit the cluster could not replicate
      // Elsewhere they mean what they say, and a second try gets the same.
      return cluster_node ? TErrorClass::Transient : TErrorClass::Final;
    default:
      return TErrorClass::Final;
  }
}

std::optional<TSeconds> TRetryWindow::NextWait() {
  const auto now = clock_.Now();
  if (!deadline_) deadline_ = now + std::chrono::seconds(seconds_);
  if (now >= *deadline_) return std::nullopt;
  const TSeconds wait = std::min<TSeconds>(next_, *deadline_ - now);
  next_ = std::min(next_ * 2, TSeconds(8));
  return wait;
}

std::string RetryLine(unsigned error, const std::string& text, TSeconds wait) {
  char seconds[32];
  std::snprintf(seconds, sizeof(seconds), "%.3g", wait.count());
  return "Transient server error " + std::to_string(error) + ": " + text + "; retrying in " +
         seconds + " s";
}

}  // namespace vendrake
