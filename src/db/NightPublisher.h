// Publishes a night whole (db_Publish=Atomic): a reader of the live tables
// sees the night before or the whole new one, the heartbeat with it. The
// writers' statements go into staging tables, one per live table, made
// like it when the run connects (its columns and keys, so they follow the
// schema; not its triggers or foreign keys, which act as the rows reach
// the live table). One transaction then replaces the staged rows into the
// live tables and sends the heartbeat. Staging tables are named after
// their live table and this computer, so that loaders on several
// computers stage apart; a killed run's are dropped when the next run on
// its computer connects.
#ifndef VENDRAKE_DB_NIGHTPUBLISHER_H_
#define VENDRAKE_DB_NIGHTPUBLISHER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/RetryPolicy.h"
#include "db/Session.h"

namespace vendrake {

// A statement that failed, with the server's or client library's error.
struct TStatementFailure {
  std::string statement;
  unsigned error = 0;
  std::string reason;
};

class TNightPublisher {
 public:
  // settings open the publisher's own sessions; computer names the staging
  // tables; clock times the retry windows of retry_seconds.
  TNightPublisher(const TSessionSettings& settings, std::string_view computer,
                  unsigned retry_seconds, TClock& clock);

  // The staging table of the live table live.
  std::string Staging(std::string_view live) const;
  // Drops the staging tables a killed run left and makes them anew, then
  // publishes them empty: each privilege publishing needs beyond Direct's
  // is used once, so a missing one shows now, before any input is read.
  // Returns the statement that failed, if any.
  std::optional<TStatementFailure> Prepare();
  // Publishes the staged rows and heartbeat, an UPDATE, in one transaction,
  // allowing the server timeout_seconds for each of its statements; then
  // drops the staging tables. A transient error, or a connection lost
  // before the outcome of COMMIT was read, rolls back what it can and runs
  // the whole transaction again within the retry window: it replaces rows
  // by their keys from tables that stay until it succeeded, so a second
  // run over a committed one changes nothing. Returns the statement that
  // failed for good, if any.
  std::optional<TStatementFailure> Publish(const std::string& heartbeat, unsigned timeout_seconds);

 private:
  // Runs statements in order on a session opened with settings; the first
  // that fails ends the attempt.
  std::optional<TStatementFailure> Attempt(const std::vector<std::string>& statements,
                                           const TSessionSettings& settings);

  TSessionSettings settings_;
  std::string suffix_;  // of the staging tables' names
  unsigned retry_seconds_;
  TClock& clock_;
  bool cluster_node_ = false;  // the last session's server is a Galera node
};

}  // namespace vendrake

#endif  // VENDRAKE_DB_NIGHTPUBLISHER_H_
