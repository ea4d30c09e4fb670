// Carries the run's statements to the server over its sessions, in the
// order given, and keeps the console in that order: a row line written
// while statements are in flight is held until every statement sent before
// it has succeeded. Each session has at most one statement in flight;
// statements are dealt to the sessions in turn and their outcomes read in
// the order they were sent. A statement that meets a transient error is
// sent again on its session, made anew when the connection was lost, within
// the retry window. One that fails for good is thrown as a
// TStatementFailure once every statement sent before it has succeeded and
// every other one in flight has been answered, so that the failure told is
// the first in the order of sending, whatever the number of sessions.
#ifndef VENDRAKE_DB_STATEMENTPIPELINE_H_
#define VENDRAKE_DB_STATEMENTPIPELINE_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/RetryPolicy.h"
#include "db/Session.h"

namespace vendrake {

// Opens a new session with the run's settings.
using TSessionOpener = std::function<TSessionOpening()>;

// A statement that failed for good, with the server's or the pipeline's
// reason. Not an Exception: the run prints it as its own report and ends
// with exit code 1, without the exception report.
struct TStatementFailure {
  std::string statement;
  std::string reason;
};

class TStatementPipeline {
 public:
  // sessions: at least one, all open; the first one's facts hold for the
  // run. open makes a session anew after a lost connection; clock times
  // the retry windows of retry_seconds. A statement whose answer has not
  // begun timeout after it was sent counts as lost with its connection,
  // however long the others' were awaited meanwhile.
  TStatementPipeline(std::vector<std::unique_ptr<TSession>> sessions, TSessionOpener open,
                     unsigned retry_seconds, std::chrono::seconds timeout, TClock& clock);
  // Close().
  ~TStatementPipeline();
  TStatementPipeline(const TStatementPipeline&) = delete;
  TStatementPipeline& operator=(const TStatementPipeline&) = delete;

  // Sends statement, which holds rows rows, without waiting for its
  // outcome; first awaits the one its session still has in flight. Once the
  // server accepted it, rows are added to accepted, which must outlive the
  // pipeline.
  void Send(std::string statement, uint64_t rows, uint64_t& accepted);
  // Lets the next statement go only once every one sent so far has
  // succeeded, so that a failure leaves nothing of what follows written.
  void Separate() { separate_ = true; }
  // Returns once statement, and every one sent before it, has succeeded,
  // with the rows statement, an UPDATE, matched.
  uint64_t Execute(std::string_view statement);
  // Whether a statement of size bytes fits every session's packet limit.
  bool Fits(size_t size) const;
  // Writes line now, or once every statement sent so far has succeeded.
  void WriteRowLine(std::string_view line);
  // The session whose character set values are escaped for.
  const TSession& Escaping() const { return *lanes_.front().session; }
  // Reads the outcome of every statement in flight, whatever it is, and
  // closes the sessions; then nothing more may be sent. Repeatable.
  void Close();
  // Returns once every statement sent so far has succeeded.
  void AwaitAll();

 private:
  struct TLane {
    std::unique_ptr<TSession> session;
    std::string statement;  // the last one sent
    uint64_t rows = 0;      // its rows, added to *accepted once it succeeded
    uint64_t* accepted = nullptr;
    bool in_flight = false;
    std::chrono::steady_clock::time_point sent;  // of the statement in flight
  };

  TLane& NextLane() { return lanes_[sent_ % lanes_.size()]; }
  // Reads the outcome of lane's statement, if in flight, sending it again
  // after a transient error; then it and every statement before it have
  // succeeded.
  void Await(TLane& lane);
  // Whether lane's answer begins before its statement's timeout is over.
  bool Answers(const TLane& lane);
  // Reads the outcome of lane's statement, if in flight and answered,
  // counting its rows if it succeeded, and forgets it; for the end of a run.
  void Drain(TLane& lane);
  // Sends lane's statement again, synchronously, after it failed with
  // error and text, until the server accepts it.
  void SendAgain(TLane& lane, unsigned error, std::string text);
  // Makes lane's session anew; false, with error and text set, when that
  // failed.
  bool Reopen(TLane& lane, unsigned& error, std::string& text);
  // Marks lane's statement, the next in order, as succeeded: counts its
  // rows and writes the lines that waited for it.
  void Succeeded(TLane& lane);
  // Refuses a statement the lane's session cannot take whole, once every
  // statement before it was answered, so that an earlier failure is told.
  void CheckSize(const TLane& lane, std::string_view statement);
  // Reads the outcome of the other statements in flight, all sent after
  // statement, and throws statement's failure for reason.
  [[noreturn]] void Fail(std::string_view statement, std::string_view reason);

  std::vector<TLane> lanes_;
  TSessionFacts facts_;  // the first session's
  size_t max_packet_;    // the least of the sessions' packet limits
  TSessionOpener open_;
  unsigned retry_seconds_;
  std::chrono::seconds timeout_;
  TClock& clock_;
  bool separate_ = false;   // the next Send awaits every statement first
  uint64_t sent_ = 0;       // statements sent, numbered from 0 in order
  uint64_t succeeded_ = 0;  // the statements 0 to succeeded_ - 1 have succeeded
  // Row lines, each with the number of statements that must have succeeded
  // before it is written.
  std::deque<std::pair<uint64_t, std::string>> held_;
};

}  // namespace vendrake

#endif  // VENDRAKE_DB_STATEMENTPIPELINE_H_
