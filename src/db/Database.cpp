#include "db/Database.h"

#include <utility>
#include <vector>

#include "base/Exceptions.h"
#include "base/Text.h"
#include "db/RetryPolicy.h"
#include "db/mysql.h"

namespace vendrake {

namespace {

// The line after the refusal: the client library's or the server's words,
// which never hold the password.
std::string RefusalReason(const TSessionOpening& opening) {
  if (opening.error == 0) return opening.reason;
  return "Error " + std::to_string(opening.error) + ": " + opening.reason;
}

// A session with settings; a refusal ends the run before any input is
// read, as its usual cause is a setting.
std::unique_ptr<TSession> StartingSession(const TSettings& settings) {
  TSessionOpening opening = OpenSession(settings);
  if (opening.set_up) AssertionFailed(__FILE__, __LINE__, opening.reason);
  if (opening.session == nullptr) {
    AssertionFailed(__FILE__, __LINE__, ConnectFailureMessage(settings), RefusalReason(opening));
  }
  return std::move(opening.session);
}

// The run's sessions, each opened once: they get no second try.
std::vector<std::unique_ptr<TSession>> StartingSessions(const TSettings& settings) {
  VENDRAKE_ASSERT(ClientLibraryStatus == TClientLibraryStatus::Ready);
  std::vector<std::unique_ptr<TSession>> sessions;
  while (sessions.size() < settings.DbConnections) {
    sessions.push_back(StartingSession(settings));
    // A proxy may send each connection to another server.
    const std::string differ = FactsDiffer(sessions.front()->Facts(), sessions.back()->Facts());
    VENDRAKE_ASSERT(differ.empty(), differ + " in session " + std::to_string(sessions.size()));
  }
  return sessions;
}

}  // namespace

TDatabase::TDatabase(const TSettings& settings, std::string_view computer)
    : settings_(settings),
      pipeline_(std::make_unique<TStatementPipeline>(
          StartingSessions(settings_), [this] { return OpenSession(settings_); },
          settings_.DbRetrySeconds, std::chrono::seconds(settings_.DbTimeoutSeconds),
          SystemClock())) {
  if (settings_.DbPublish == TPublish::Direct) return;
  publisher_ = std::make_unique<TNightPublisher>(settings_, computer, SystemClock());
  publisher_->Prepare();
}

std::string TDatabase::WrittenTable(std::string_view live) const {
  return publisher_ ? publisher_->Staging(live) : std::string(live);
}

namespace {

// The publishing statements may keep the server silent for a second per
// this many rows they move, on top of the silence allowed any statement:
// 100,000 symbols x 2 on tables with 30 nights of history took 55 s, about
// 5,500 rows a second, on a loaded machine. Allowing too little would
// only run the transaction again after the first one rolled back.
constexpr unsigned kRowsPerSecond = 1000;

}  // namespace

uint64_t TDatabase::PublishNight(const std::string& heartbeat) {
  if (!publisher_) return ExecuteQuery(heartbeat);
  pipeline_->AwaitAll();
  return publisher_->Publish(heartbeat, settings_.DbTimeoutSeconds + rows_ / kRowsPerSecond);
}

uint64_t TDatabase::ExecuteQuery(std::string_view query) { return pipeline_->Execute(query); }

void TDatabase::AddInsertRow(TAccumulateInsert& insert, std::string_view row, uint64_t& accepted) {
  if (!insert.IsEmpty() && !pipeline_->Fits(insert.StatementSizeWith(row.size()))) {
    FlushInsert(insert, accepted);
  }
  insert.Add(row);
  ++rows_;
  if (insert.IsFull()) FlushInsert(insert, accepted);
}

void TDatabase::FlushInsert(TAccumulateInsert& insert, uint64_t& accepted) {
  if (insert.IsEmpty()) return;
  const uint64_t rows = insert.RowCount();
  pipeline_->Send(insert.TakeStatement(), rows, accepted);
}

std::string EscapeSql(std::string_view value, const TSession* session) {
  return session != nullptr ? session->Escape(value) : EscapeWithoutSession(value);
}

std::string QuoteSql(std::string_view value, const TSession* session) {
  return Quoted(EscapeSql(value, session));
}

std::string QuoteSqlOrNull(std::string_view value, const TSession* session) {
  return value.empty() ? "NULL" : QuoteSql(value, session);
}

}  // namespace vendrake
