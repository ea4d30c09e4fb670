#include "db/Database.h"

#include <charconv>
#include <memory>
#include <utility>
#include <vector>

#include "app/MergedTables.h"
#include "app/TradingDate.h"
#include "base/Exceptions.h"
#include "base/Text.h"
#include "db/NightPublisher.h"
#include "db/RetryPolicy.h"
#include "db/Session.h"
#include "db/StatementPipeline.h"
#include "db/mysql.h"

namespace vendrake {

std::string DbHost;
std::string DbUser;
std::string DbPassword;
std::string DbDatabase;
std::string DbRetrySeconds = "120";
std::string DbSslMode = "PREFERRED";
std::string DbSslCa;
std::string DbTimeoutSeconds = "60";
std::string DbConnections = "2";
std::string DbPublish = "Direct";

namespace {

// The settings every session of the run is opened with, fixed by
// ConnectDatabase, and the run's pipeline.
TSessionSettings Settings;
std::unique_ptr<TStatementPipeline> Pipeline;
// With Atomic, the publisher of the night, and the rows given to it so far.
std::unique_ptr<TNightPublisher> Publisher;
size_t StagedRows = 0;

// The password is never shown: a non-empty one appears as a fixed mask, so
// neither it nor its length reaches a console log.
std::string ConnectFailureMessage() {
  const std::string password = DbPassword.empty() ? "" : "********";
  return "Unable to connect to database.  Host=" + Quoted(DbHost) + ", User=" + Quoted(DbUser) +
         ", Password=" + Quoted(password) + ", Database=" + Quoted(DbDatabase);
}

TSslMode SslModeSetting() {
  const std::optional<TSslMode> mode = ParseSslMode(DbSslMode);
  if (mode) return *mode;
  AssertionFailed(__FILE__, __LINE__,
                  ConnectFailureMessage() + ", db_SslMode=" + Quoted(DbSslMode) +
                      " is none of DISABLED, PREFERRED, REQUIRED, VERIFY_CA, VERIFY_IDENTITY");
}

// The whole number that text holds, or none.
std::optional<unsigned> WholeNumber(const std::string& text) {
  unsigned number = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, number);
  if (parsed.ec != std::errc() || parsed.ptr != end || text.empty()) return std::nullopt;
  return number;
}

// The whole number of seconds of the setting key, at least minimum.
unsigned SecondsSetting(const char* key, const std::string& text, unsigned minimum) {
  const std::optional<unsigned> seconds = WholeNumber(text);
  VENDRAKE_ASSERT(seconds && *seconds >= minimum,
                  std::string(key) + "=" + Quoted(text) + " is not a whole number of seconds" +
                      (minimum > 0 ? " from " + std::to_string(minimum) : ""));
  return *seconds;
}

// More sessions than this would only crowd the server's threads.
constexpr unsigned kMostConnections = 64;

unsigned ConnectionsSetting() {
  const std::optional<unsigned> connections = WholeNumber(DbConnections);
  VENDRAKE_ASSERT(connections && *connections >= 1 && *connections <= kMostConnections,
                  "db_Connections=" + Quoted(DbConnections) + " is not a whole number from 1 to " +
                      std::to_string(kMostConnections));
  return *connections;
}

bool AtomicSetting() {
  if (DbPublish == "Atomic") return true;
  VENDRAKE_ASSERT(DbPublish == "Direct",
                  "db_Publish=" + Quoted(DbPublish) + " is not Direct or Atomic");
  return false;
}

// The server lets a statement that moves rows take this long for each
// 10,000 of them, on top of the silence allowed for any statement.
constexpr unsigned kPublishSecondsPerRows = 10000;

// The line after the refusal: the client library's or the server's words,
// which never hold the password.
std::string RefusalReason(const TSessionOpening& opening) {
  if (opening.error == 0) return opening.reason;
  return "Error " + std::to_string(opening.error) + ": " + opening.reason;
}

// A session with the settings; a refusal ends the run before any input is
// read, as its usual cause is a setting.
std::unique_ptr<TSession> StartingSession() {
  TSessionOpening opening = OpenSession(Settings);
  if (opening.set_up) AssertionFailed(__FILE__, __LINE__, opening.reason);
  if (opening.session == nullptr) {
    AssertionFailed(__FILE__, __LINE__, ConnectFailureMessage(), RefusalReason(opening));
  }
  return std::move(opening.session);
}

}  // namespace

void ConnectDatabase() {
  VENDRAKE_ASSERT(ClientLibraryStatus == TClientLibraryStatus::Ready);
  Settings = {DbHost,
              DbUser,
              DbPassword,
              DbDatabase,
              SslModeSetting(),
              DbSslCa,
              SecondsSetting("db_TimeoutSeconds", DbTimeoutSeconds, 1)};
  const unsigned retry_seconds = SecondsSetting("db_RetrySeconds", DbRetrySeconds, 0);
  const unsigned connections = ConnectionsSetting();
  const bool atomic = AtomicSetting();
  // The sessions get no second try.
  std::vector<std::unique_ptr<TSession>> sessions;
  while (sessions.size() < connections) {
    sessions.push_back(StartingSession());
    // A proxy may send each connection to another server.
    const std::string differ = FactsDiffer(sessions.front()->Facts(), sessions.back()->Facts());
    VENDRAKE_ASSERT(differ.empty(), differ + " in session " + std::to_string(sessions.size()));
  }
  Pipeline = std::make_unique<TStatementPipeline>(
      std::move(sessions), [] { return OpenSession(Settings); }, retry_seconds,
      std::chrono::seconds(Settings.timeout_seconds), SystemClock());
  if (atomic) {
    Publisher = std::make_unique<TNightPublisher>(Settings, LocalComputerName(), retry_seconds,
                                                  SystemClock());
    // A privilege staging needs is missing, or a live table is: the
    // settings or the server's set-up are to be mended, as for a refusal.
    const std::optional<TStatementFailure> failure = Publisher->Prepare();
    if (failure) {
      AssertionFailed(__FILE__, __LINE__, ConnectFailureMessage(),
                      RefusalReason({nullptr, failure->error, failure->reason, false}));
    }
  }
  CreateMergedTables();
}

void CloseDatabase() { Pipeline.reset(); }

void ExecuteQuery(std::string_view query) { Pipeline->Execute(query); }

std::string EscapeSql(std::string_view value) {
  return Pipeline ? Pipeline->Escape(value) : EscapeWithoutSession(value);
}

std::string QuoteSql(std::string_view value) { return Quoted(EscapeSql(value)); }

std::string QuoteSqlOrNull(std::string_view value) {
  return value.empty() ? "NULL" : QuoteSql(value);
}

std::string WrittenTable(std::string_view live) {
  return Publisher ? Publisher->Staging(live) : std::string(live);
}

void PublishNight(const std::string& heartbeat) {
  if (!Publisher) return ExecuteQuery(heartbeat);
  Pipeline->AwaitAll();
  const std::optional<TStatementFailure> failure =
      Publisher->Publish(heartbeat, Settings.timeout_seconds + StagedRows / kPublishSecondsPerRows);
  if (failure) Pipeline->Fail(failure->statement, failure->reason);
}

void AddInsertRow(TAccumulateInsert& insert, std::string_view row) {
  ++StagedRows;
  insert.Add(row);
  if (insert.IsFull()) FlushInsert(insert);
}

void FlushInsert(TAccumulateInsert& insert) {
  if (!insert.IsEmpty()) Pipeline->Send(insert.TakeStatement());
}

void EndTable() { Pipeline->Separate(); }

void WriteRowLine(std::string_view line) { Pipeline->WriteRowLine(line); }

}  // namespace vendrake
