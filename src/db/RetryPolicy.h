// Which server errors a statement is sent again after, and for how long:
// the error classes and the retry window. The window reads a clock that a
// caller hands in, so that a test can drive its arithmetic.
#ifndef VENDRAKE_DB_RETRYPOLICY_H_
#define VENDRAKE_DB_RETRYPOLICY_H_

#include <chrono>
#include <optional>
#include <string>

namespace vendrake {

using TSeconds = std::chrono::duration<double>;

// Time as the retry window sees it; SystemClock() is the real one.
class TClock {
 public:
  virtual ~TClock() = default;
  virtual std::chrono::steady_clock::time_point Now() = 0;
  virtual void Sleep(TSeconds wait) = 0;
};
TClock& SystemClock();

enum class TErrorClass {
  LostConnection,  // make the connection again, then send the statement again
  Transient,       // send the statement again on the same connection
  Final,           // the statement failed for good
};

// The class of a client library or server error number; cluster_node says
// whether the session's server is a Galera node (@@wsrep_on), where a node
// out of its primary component fails a statement that another moment may
// take.
TErrorClass ClassifyError(unsigned error, bool cluster_node);

// The waits between attempts at one statement: from half a second,
// doubling to eight, until the window's seconds after its first failure
// are spent. One window per statement; not shared between threads.
class TRetryWindow {
 public:
  TRetryWindow(unsigned seconds, TClock& clock) : seconds_(seconds), clock_(clock) {}

  // The wait before the next attempt, the first call starting the window;
  // none when the window is spent.
  std::optional<TSeconds> NextWait();
  // Waits as NextWait said, on the window's clock.
  void Sleep(TSeconds wait) { clock_.Sleep(wait); }

 private:
  unsigned seconds_;
  TClock& clock_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  TSeconds next_{0.5};
};

// The console line of a wait after error, with its text, before the next
// attempt.
std::string RetryLine(unsigned error, const std::string& text, TSeconds wait);

}  // namespace vendrake

#endif  // VENDRAKE_DB_RETRYPOLICY_H_
