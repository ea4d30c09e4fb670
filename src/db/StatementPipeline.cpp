#include "db/StatementPipeline.h"

#include <algorithm>

#include "app/Console.h"

namespace vendrake {

namespace {

// The server reads a statement as one packet of a command byte and the text
// and refuses a packet that is not smaller than max_allowed_packet (measured
// with MariaDB 10.11; a limit set below net_buffer_length lets more through).
// It mostly drops the connection while the statement still arrives, so its
// error would not name the size.
bool FitsPacket(size_t size, size_t max_packet) { return size + 1 < max_packet; }

}  // namespace

TStatementPipeline::TStatementPipeline(std::vector<std::unique_ptr<TSession>> sessions,
                                       TSessionOpener open, unsigned retry_seconds,
                                       std::chrono::seconds timeout, TClock& clock)
    : facts_(sessions.front()->Facts()),
      max_packet_(facts_.max_packet),
      open_(std::move(open)),
      retry_seconds_(retry_seconds),
      timeout_(timeout),
      clock_(clock) {
  for (std::unique_ptr<TSession>& session : sessions) {
    max_packet_ = std::min(max_packet_, session->Facts().max_packet);
    lanes_.emplace_back().session = std::move(session);
  }
}

TStatementPipeline::~TStatementPipeline() { Close(); }

void TStatementPipeline::Send(std::string statement, uint64_t rows, uint64_t& accepted) {
  if (separate_) AwaitAll();
  separate_ = false;
  TLane& lane = NextLane();
  Await(lane);
  CheckSize(lane, statement);
  lane.statement = std::move(statement);
  lane.rows = rows;
  lane.accepted = &accepted;
  ++sent_;
  MYSQL* handle = lane.session->Handle();
  if (mysql_send_query(handle, lane.statement.data(), lane.statement.size()) == 0) {
    lane.in_flight = true;
    lane.sent = clock_.Now();
    return;
  }
  // Sent again once those before it were answered, so that successes are
  // counted in order.
  AwaitAll();
  SendAgain(lane, lane.session->ErrorNumber(), lane.session->ErrorText());
  Succeeded(lane);
}

uint64_t TStatementPipeline::Execute(std::string_view statement) {
  AwaitAll();
  TLane& lane = NextLane();
  CheckSize(lane, statement);
  lane.statement = statement;
  lane.accepted = nullptr;
  ++sent_;
  if (mysql_real_query(lane.session->Handle(), statement.data(), statement.size()) != 0) {
    SendAgain(lane, lane.session->ErrorNumber(), lane.session->ErrorText());
  }
  Succeeded(lane);
  return lane.session->MatchedRows();
}

void TStatementPipeline::WriteRowLine(std::string_view line) {
  if (succeeded_ == sent_) {
    WriteOutputLine(line);
  } else {
    held_.emplace_back(sent_, line);
  }
}

void TStatementPipeline::Close() {
  for (TLane& lane : lanes_) {
    Drain(lane);
    lane.session.reset();
  }
}

void TStatementPipeline::Await(TLane& lane) {
  if (!lane.in_flight) return;
  lane.in_flight = false;
  if (!Answers(lane)) {
    SendAgain(
        lane, 2013,
        "Lost connection to server: no answer for " + std::to_string(timeout_.count()) + " s");
  } else if (mysql_read_query_result(lane.session->Handle()) != 0) {
    SendAgain(lane, lane.session->ErrorNumber(), lane.session->ErrorText());
  }
  Succeeded(lane);
}

bool TStatementPipeline::Answers(const TLane& lane) {
  return lane.session->AnswersWithin(lane.sent + timeout_ - clock_.Now());
}

void TStatementPipeline::Drain(TLane& lane) {
  if (lane.in_flight && Answers(lane) && mysql_read_query_result(lane.session->Handle()) == 0 &&
      lane.accepted != nullptr) {
    *lane.accepted += lane.rows;
  }
  lane.in_flight = false;
}

// The lane of the oldest statement in flight comes first.
void TStatementPipeline::AwaitAll() {
  for (size_t i = 0; i < lanes_.size(); ++i) Await(lanes_[(sent_ + i) % lanes_.size()]);
}

void TStatementPipeline::Succeeded(TLane& lane) {
  if (lane.accepted != nullptr) *lane.accepted += lane.rows;
  ++succeeded_;
  while (!held_.empty() && held_.front().first <= succeeded_) {
    WriteOutputLine(held_.front().second);
    held_.pop_front();
  }
}

bool TStatementPipeline::Fits(size_t size) const { return FitsPacket(size, max_packet_); }

void TStatementPipeline::CheckSize(const TLane& lane, std::string_view statement) {
  const size_t limit = lane.session->Facts().max_packet;
  if (FitsPacket(statement.size(), limit)) return;
  // A failure of a statement before it, on another session, is the one to
  // tell.
  AwaitAll();
  Fail(statement, "Statement of " + std::to_string(statement.size()) +
                      " bytes is too large for the server's max_allowed_packet of " +
                      std::to_string(limit) + " bytes");
}

void TStatementPipeline::SendAgain(TLane& lane, unsigned error, std::string text) {
  const std::string& statement = lane.statement;
  bool lost = false;
  TRetryWindow window(retry_seconds_, clock_);
  for (;;) {
    const TErrorClass kind = ClassifyError(error, facts_.cluster_node);
    if (kind == TErrorClass::Final) Fail(statement, text);
    // Once lost, the connection is made anew before anything is sent.
    lost |= kind == TErrorClass::LostConnection;
    const std::optional<TSeconds> wait = window.NextWait();
    if (!wait) Fail(statement, text);
    WriteOutputLine(RetryLine(error, text, *wait));
    window.Sleep(*wait);
    if (lost && !Reopen(lane, error, text)) continue;
    lost = false;
    CheckSize(lane, statement);
    MYSQL* handle = lane.session->Handle();
    if (mysql_real_query(handle, statement.data(), statement.size()) == 0) return;
    error = lane.session->ErrorNumber();
    text = lane.session->ErrorText();
  }
}

bool TStatementPipeline::Reopen(TLane& lane, unsigned& error, std::string& text) {
  TSessionOpening opening = open_();
  if (opening.session == nullptr) {
    error = opening.error;
    text = opening.reason;
    return false;
  }
  const std::string differ = FactsDiffer(facts_, opening.session->Facts());
  if (!differ.empty()) Fail(lane.statement, differ + " on reconnecting");
  lane.session = std::move(opening.session);
  max_packet_ = std::min(max_packet_, lane.session->Facts().max_packet);
  return true;
}

void TStatementPipeline::Fail(std::string_view statement, std::string_view reason) {
  TStatementFailure failure{std::string(statement), std::string(reason)};
  for (TLane& lane : lanes_) Drain(lane);
  throw failure;
}

}  // namespace vendrake
