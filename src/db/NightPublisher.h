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

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Settings.h"
#include "db/RetryPolicy.h"

namespace vendrake {

class TNightPublisher {
 public:
  // settings open the publisher's own sessions; computer names the staging
  // tables; clock times the retry windows.
  TNightPublisher(const TSettings& settings, std::string_view computer, TClock& clock);

  // The staging table of the live table live.
  std::string Staging(std::string_view live) const;
  // Drops the staging tables a killed run left and makes them anew, then
  // publishes them empty: each privilege publishing needs beyond Direct's
  // is used once, so a missing one shows now, before any input is read.
  // Raises EAssertionFailed as for a refused connection when a statement
  // fails, its error on the line of the reason.
  void Prepare();
  // Publishes the staged rows and heartbeat, an UPDATE, in one transaction,
  // allowing the server timeout_seconds for each of its statements; then
  // drops the staging tables. A transient error, or a connection lost
  // before the outcome of COMMIT was read, rolls back what it can and runs
  // the whole transaction again within the retry window: it replaces rows
  // by their keys from tables that stay until it succeeded, so a second
  // run over a committed one changes nothing. Returns the rows the
  // heartbeat matched; throws TStatementFailure for a statement that failed
  // for good.
  uint64_t Publish(const std::string& heartbeat, unsigned timeout_seconds);

 private:
  // A statement of an attempt that failed, with its error number.
  struct TFailure {
    std::string statement;
    unsigned error = 0;
    std::string reason;
  };
  // Runs statements in order on a session opened with settings; the first
  // that fails ends the attempt. Keeps the rows that statement number
  // matched_by, if given, matched.
  std::optional<TFailure> Attempt(const std::vector<std::string>& statements,
                                  const TSettings& settings, size_t matched_by = 0);

  TSettings settings_;
  std::string suffix_;  // of the staging tables' names
  TClock& clock_;
  uint64_t matched_ = 0;
  bool cluster_node_ = false;  // the last session's server is a Galera node
};

}  // namespace vendrake

#endif  // VENDRAKE_DB_NIGHTPUBLISHER_H_
