// The run's database as the writers and the driver see it: the sessions,
// opened with the run's settings, and the pipeline that carries every
// statement to the server; the quoting of field values as SQL literals;
// and the procedures that execute batched statements. The sessions, the
// retry policy and the pipeline behind them are units of their own.
#ifndef VENDRAKE_DB_DATABASE_H_
#define VENDRAKE_DB_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config/Settings.h"
#include "db/AccumulateInsert.h"
#include "db/NightPublisher.h"
#include "db/Session.h"
#include "db/StatementPipeline.h"

namespace vendrake {

// Owned by the run. A statement that fails for good comes back to the
// caller as a TStatementFailure; destroying the object then reads the
// outcome of any statement still in flight and closes the sessions, so that
// the server sees the client leave.
class TDatabase {
 public:
  // Opens settings.DbConnections sessions. Raises EAssertionFailed when the
  // client library is not ready, the server refuses a connection (the
  // reason then follows as a line of its own), a statement of a session's
  // set-up fails, or a session meets another server than the first. With
  // Atomic, computer names the staging tables, which are made now (see
  // TNightPublisher::Prepare).
  explicit TDatabase(const TSettings& settings, std::string_view computer = {});
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  // Returns only when the server accepted query, and every batched
  // statement still in flight before it, with the rows query, an UPDATE,
  // matched. A lost connection, a silent server, a deadlock, a lock wait
  // timeout or a cluster node out of its primary component is ridden
  // through: the session is made anew if the connection was lost and the
  // statement sent again (every statement here is idempotent), one console
  // line per wait, until DbRetrySeconds are spent. A statement too large
  // for the server's packet limit is not sent.
  uint64_t ExecuteQuery(std::string_view query);

  // Adds row to insert and sends the statement at once when that filled
  // it. Where the server's packet limit is below a full statement, the
  // statement is sent before row when row would take it over the limit.
  // accepted, which must outlive this object, counts the rows of insert's
  // statements that the server accepted.
  void AddInsertRow(TAccumulateInsert& insert, std::string_view row, uint64_t& accepted);
  // Sends the statement of the tuples insert still holds, if any, without
  // waiting for the server to execute it: its outcome is read before the
  // session's next statement goes, and a failure then is retried or thrown
  // as ExecuteQuery's.
  void FlushInsert(TAccumulateInsert& insert, uint64_t& accepted);
  // After a table's last FlushInsert: the next table's statements go only
  // once this one's have all succeeded, so that a table whose statement
  // failed is the last one written to.
  void EndTable() { pipeline_->Separate(); }
  // Writes a line about a row given to AddInsertRow: at once, or, while
  // statements are in flight, once they have succeeded, so that no line
  // follows the report of a statement sent before it.
  void WriteRowLine(std::string_view line) { pipeline_->WriteRowLine(line); }
  // The session whose character set values are escaped for.
  const TSession& Escaping() const { return pipeline_->Escaping(); }
  // The table that the statements for the live table live go to: live
  // itself, or with Atomic its staging table.
  std::string WrittenTable(std::string_view live) const;
  // Ends the night with heartbeat, the monitor_alive UPDATE, and returns
  // the rows it matched: executes it, or with Atomic, once every statement
  // has succeeded, publishes the staged rows and it in one transaction.
  uint64_t PublishNight(const std::string& heartbeat);

 private:
  const TSettings settings_;  // for the sessions made anew
  std::unique_ptr<TStatementPipeline> pipeline_;
  std::unique_ptr<TNightPublisher> publisher_;  // with Atomic
  uint64_t rows_ = 0;                           // given to AddInsertRow
};

// value escaped by the client library, for session's character set, for use
// inside a quoted literal; without a session, for the library's own.
std::string EscapeSql(std::string_view value, const TSession* session = nullptr);
// The escaped value between double quotes.
std::string QuoteSql(std::string_view value, const TSession* session = nullptr);
// "NULL" for an empty value, else QuoteSql(value, session).
std::string QuoteSqlOrNull(std::string_view value, const TSession* session = nullptr);

}  // namespace vendrake

#endif  // VENDRAKE_DB_DATABASE_H_
