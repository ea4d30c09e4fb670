// The run's database access as the writers and the driver see it: the
// settings, the first connection, the only way SQL text reaches the
// server, the quoting of field values as SQL literals, and the procedures
// that execute batched statements. The sessions, the retry policy and the
// pipeline behind them are units of their own.
#ifndef VENDRAKE_DB_DATABASE_H_
#define VENDRAKE_DB_DATABASE_H_

#include <string>
#include <string_view>

#include "db/AccumulateInsert.h"

namespace vendrake {

extern std::string DbHost;
extern std::string DbUser;
extern std::string DbPassword;
extern std::string DbDatabase;
// Seconds within which a statement that met a transient server error is
// sent again, a whole number; "0" lets the first error end the run.
extern std::string DbRetrySeconds;
// TLS over TCP, named as the stock client's --ssl-mode: DISABLED,
// PREFERRED, REQUIRED, VERIFY_CA or VERIFY_IDENTITY (letter case aside).
extern std::string DbSslMode;
// The file of the certificate authority to trust; empty for the system's.
extern std::string DbSslCa;
// Seconds the server may stay silent while vendrake waits for its answer
// before the connection counts as lost, a whole number from 1.
extern std::string DbTimeoutSeconds;

// How many sessions carry the statements, a whole number from 1 to 64.
extern std::string DbConnections;
// How a night reaches the tables: "Direct", statement by statement into
// the live tables, or "Atomic", staged and published whole (see
// NightPublisher.h).
extern std::string DbPublish;

// Opens the run's sessions with the settings (see Session.h) and creates
// the three merged tables. Raises EAssertionFailed when the client library
// is not ready, a setting is invalid, the server refuses a connection
// (the reason then follows as a line of its own), or a statement of a
// session's set-up fails. Call once, before anything else here.
void ConnectDatabase();

// Reads the outcome of any statement still in flight and closes the
// sessions, so that the server sees the client leave; nothing may be sent
// afterwards. Does nothing before ConnectDatabase.
void CloseDatabase();

// Returns only when the server accepted query, and every batched statement
// still in flight before it. A lost connection, a silent server, a
// deadlock, a lock wait timeout or a cluster node out of its primary
// component is ridden through: the session is made anew if the connection
// was lost and the statement sent again (every statement here is
// idempotent), one console line per wait, until DbRetrySeconds are spent.
// A statement too large for the server's packet limit is not sent; it, or
// one the server rejects for good, is printed with the reason and ends the
// process with exit code 1.
void ExecuteQuery(std::string_view query);

// The table that the statements for the live table live go to: live
// itself, or with Atomic its staging table.
std::string WrittenTable(std::string_view live);

// Ends the night with heartbeat, the monitor_alive UPDATE: executes it, or
// with Atomic, once every statement has succeeded, publishes the staged
// rows and it in one transaction. A failure ends the process as
// ExecuteQuery's does.
void PublishNight(const std::string& heartbeat);

// value escaped by the client library, for the session's character set, for
// use inside a quoted literal; before ConnectDatabase, for the library's
// own.
std::string EscapeSql(std::string_view value);
// The escaped value between double quotes.
std::string QuoteSql(std::string_view value);
// "NULL" for an empty value, else QuoteSql(value).
std::string QuoteSqlOrNull(std::string_view value);

// Adds row to insert and sends the statement at once when that filled it.
void AddInsertRow(TAccumulateInsert& insert, std::string_view row);
// Sends the statement of the tuples insert still holds, if any, without
// waiting for the server to execute it: its outcome is read before the
// session's next statement goes, and a failure then is retried or ends the
// process as ExecuteQuery's does.
void FlushInsert(TAccumulateInsert& insert);
// After a table's last FlushInsert: the next table's statements go only
// once this one's have all succeeded, so that a table whose statement
// failed is the last one written to.
void EndTable();
// Writes a line about a row given to AddInsertRow: at once, or, while
// statements are in flight, once they have succeeded, so that no line
// follows the report of a statement sent before it.
void WriteRowLine(std::string_view line);

}  // namespace vendrake

#endif  // VENDRAKE_DB_DATABASE_H_
