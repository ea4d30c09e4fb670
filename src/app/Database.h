// The program's one database connection, the only way SQL text reaches the
// server, the quoting of field values as SQL literals, and the procedures
// that execute batched statements. Also the run-wide state they share: the
// settings, the connection with its packet limit and the three merged
// tables, which all live until the process ends.
#ifndef VENDRAKE_APP_DATABASE_H_
#define VENDRAKE_APP_DATABASE_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "db/AccumulateInsert.h"
#include "db/mysql.h"
#include "tables/TwoDLookup.h"

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

// Null until ConnectDatabase succeeds; never closed or freed.
extern MYSQL* DbConnection;
// The connection's max_allowed_packet in bytes, read by ConnectDatabase; 0
// until then, which ExecuteQuery takes as no limit known.
extern size_t ServerMaxPacket;
extern TTwoDArray* InfoFTable;
extern TTwoDArray* InfoTTable;
extern TTwoDArray* AlertsTable;

// Connects with the settings (over TCP asking for TLS as DbSslMode says),
// reads the connection's packet limit, takes ANSI_QUOTES and
// NO_BACKSLASH_ESCAPES out of the session's sql_mode when it holds them (the
// server's global mode stays as it is), makes the client library escape for
// the session's character set, and creates the three merged tables. Raises
// EAssertionFailed when the client library is not ready, a setting is
// invalid, the server refuses the connection, or a statement of the
// session's set-up fails. Call once, before anything else here.
void ConnectDatabase();

// Returns only when the server accepted query, and any batched statement
// still in flight before it. A lost connection, a deadlock, a lock wait
// timeout or a cluster node out of its primary component is ridden through:
// the connection is made again if it was lost and the statement sent again
// (every statement here is idempotent), one console line per wait, until
// DbRetrySeconds are spent. A statement too large for the server's packet
// limit is not sent; it, or one the server rejects for good, is printed with
// the reason and ends the process with exit code 1.
void ExecuteQuery(std::string_view query);

// value escaped by the client library, for the session's character set, for
// use inside a quoted literal.
std::string EscapeSql(std::string_view value);
// The escaped value between double quotes.
std::string QuoteSql(std::string_view value);
// "NULL" for an empty value, else QuoteSql(value).
std::string QuoteSqlOrNull(std::string_view value);

// Adds row to insert and sends the statement at once when that filled it.
void AddInsertRow(TAccumulateInsert& insert, std::string_view row);
// Sends the statement of the tuples insert still holds, if any, without
// waiting for the server to execute it: its outcome is read before the next
// statement goes, by the next FlushInsert or ExecuteQuery, and a failure
// then is retried or ends the process as ExecuteQuery's does.
void FlushInsert(TAccumulateInsert& insert);
// Writes a line about a row given to AddInsertRow: at once, or, while a
// statement is in flight, once it has succeeded, so that no line follows
// the report of a statement sent before it.
void WriteRowLine(std::string_view line);

}  // namespace vendrake

#endif  // VENDRAKE_APP_DATABASE_H_
