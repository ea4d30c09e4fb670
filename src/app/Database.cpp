#include "app/Database.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "app/Console.h"
#include "base/Exceptions.h"

namespace vendrake {

std::string DbHost;
std::string DbUser;
std::string DbPassword;
std::string DbDatabase;

MYSQL* DbConnection = nullptr;
size_t ServerMaxPacket = 0;
TTwoDArray* InfoFTable = nullptr;
TTwoDArray* InfoTTable = nullptr;
TTwoDArray* AlertsTable = nullptr;

namespace {

std::string Quoted(const std::string& text) { return '"' + text + '"'; }

// The password is never shown: a non-empty one appears as a fixed mask, so
// neither it nor its length reaches a console log.
std::string ConnectFailureMessage() {
  const std::string password = DbPassword.empty() ? "" : "********";
  return "Unable to connect to database.  Host=" + Quoted(DbHost) + ", User=" + Quoted(DbUser) +
         ", Password=" + Quoted(password) + ", Database=" + Quoted(DbDatabase);
}

// Prints a statement that was not executed and why, and ends the process.
[[noreturn]] void FailQuery(std::string_view query, std::string_view reason) {
  WriteOutputLine("Error in Query");
  WriteOutputLine(query);
  WriteOutputLine(reason);
  std::exit(1);
}

// The server reads a statement as one packet of a command byte and the text
// and refuses a packet that is not smaller than max_allowed_packet (measured
// with MariaDB 10.11; a limit set below net_buffer_length lets more through).
// It mostly drops the connection while the statement still arrives, so its
// error would not name the size.
bool FitsServerPacket(std::string_view query) {
  return ServerMaxPacket == 0 || query.size() + 1 < ServerMaxPacket;
}

std::string PacketLimitMessage(std::string_view query) {
  return "Statement of " + std::to_string(query.size()) +
         " bytes is too large for the server's max_allowed_packet of " +
         std::to_string(ServerMaxPacket) + " bytes";
}

// Sends a statement of the session's set-up. A failure ends the run as a
// refused connection does, before any input is read.
void SetUpSession(const std::string& statement) {
  VENDRAKE_ASSERT(mysql_real_query(DbConnection, statement.data(), statement.size()) == 0,
                  statement + " failed: " + mysql_error(DbConnection));
}

// The fields of the one row that statement, a SELECT of variables, returns;
// a NULL field reads as empty.
std::vector<std::string> SelectVariables(const std::string& statement, size_t fields) {
  SetUpSession(statement);
  MYSQL_RES* result = mysql_store_result(DbConnection);
  VENDRAKE_ASSERT(result != nullptr, "The server sent no result for " + statement + ": " +
                                         std::string(mysql_error(DbConnection)));
  const MYSQL_ROW row = mysql_fetch_row(result);
  std::vector<std::string> values(fields);
  for (size_t i = 0; row != nullptr && i < fields; ++i) {
    if (row[i] != nullptr) values[i] = row[i];
  }
  mysql_free_result(result);
  return values;
}

size_t ParsePacketLimit(const std::string& text) {
  size_t limit = 0;
  std::from_chars(text.data(), text.data() + text.size(), limit);
  VENDRAKE_ASSERT(limit > 0, "The server sent no max_allowed_packet");
  return limit;
}

// The statements write values as double-quoted literals with the client
// library's backslash escapes. ANSI_QUOTES reads such a literal as a name
// and NO_BACKSLASH_ESCAPES stores the backslashes, so neither may stay in
// the session's mode. The combination words bring ANSI_QUOTES back when
// they are set, so they go too; the words they stand for stay listed.
constexpr std::string_view kLiteralBreakingModes[] = {
    "ANSI_QUOTES", "NO_BACKSLASH_ESCAPES", "ANSI", "DB2", "MAXDB", "MSSQL", "ORACLE", "POSTGRESQL"};

// mode, a comma-separated list of words, without those words.
std::string WithoutLiteralBreakingModes(std::string_view mode) {
  std::string kept;
  while (!mode.empty()) {
    const size_t comma = std::min(mode.find(','), mode.size());
    const std::string_view word = mode.substr(0, comma);
    mode.remove_prefix(std::min(comma + 1, mode.size()));
    if (std::find(std::begin(kLiteralBreakingModes), std::end(kLiteralBreakingModes), word) ==
        std::end(kLiteralBreakingModes)) {
      kept.append(kept.empty() ? "" : ",").append(word);
    }
  }
  return kept;
}

// Gives the session a mode in which the statements mean what they say;
// every other word, strictness included, stays as the server set it. The
// words need no escaping, and single quotes delimit a string in any mode.
void MakeSessionModeSafeForLiterals(const std::string& mode) {
  const std::string safe = WithoutLiteralBreakingModes(mode);
  if (safe == mode) return;
  SetUpSession("SET SESSION sql_mode='" + safe + "'");
  const std::string now = SelectVariables("SELECT @@SESSION.sql_mode", 1)[0];
  VENDRAKE_ASSERT(WithoutLiteralBreakingModes(now) == now,
                  "The session's sql_mode still holds ANSI_QUOTES or NO_BACKSLASH_ESCAPES after "
                  "SET SESSION sql_mode='" +
                      safe + "': " + now);
}

// The batched statement sent last, whose outcome has not been read yet, and
// the row lines written since. The server executes the statement while the
// next one is built; the lines wait for its outcome so that the console
// reads as if each statement had been waited for at once.
std::string InsertInFlight;
std::vector<std::string> HeldLines;

// Reads the outcome of the statement in flight, if any; a failure ends the
// process as it does in ExecuteQuery.
void AwaitInsert() {
  if (InsertInFlight.empty()) return;
  if (mysql_read_query_result(DbConnection) != 0) {
    FailQuery(InsertInFlight, mysql_error(DbConnection));
  }
  InsertInFlight.clear();
  for (const std::string& line : HeldLines) WriteOutputLine(line);
  HeldLines.clear();
}

// Sends query with send once the statement in flight has succeeded. A
// statement over the packet limit, or one send fails, ends the process.
void SendQuery(std::string_view query, int (*send)(MYSQL*, const char*, unsigned long)) {
  AwaitInsert();
  if (!FitsServerPacket(query)) FailQuery(query, PacketLimitMessage(query));
  if (send(DbConnection, query.data(), query.size()) != 0) {
    FailQuery(query, mysql_error(DbConnection));
  }
}

}  // namespace

void ConnectDatabase() {
  VENDRAKE_ASSERT(ClientLibraryStatus == TClientLibraryStatus::Ready);
  DbConnection = mysql_init(nullptr);
  if (DbConnection == nullptr) {
    throw EOutOfMemory("Out of memory: the client library could not allocate a connection");
  }
  MYSQL* connected = mysql_real_connect(DbConnection, DbHost.c_str(), DbUser.c_str(),
                                        DbPassword.c_str(), DbDatabase.c_str(), 0, nullptr, 0);
  VENDRAKE_ASSERT(connected != nullptr, ConnectFailureMessage());
  const std::vector<std::string> session =
      SelectVariables("SELECT @@max_allowed_packet, @@SESSION.sql_mode", 2);
  ServerMaxPacket = ParsePacketLimit(session[0]);
  MakeSessionModeSafeForLiterals(session[1]);
  InfoFTable = new TTwoDArray;
  InfoTTable = new TTwoDArray;
  AlertsTable = new TTwoDArray;
}

void ExecuteQuery(std::string_view query) { SendQuery(query, mysql_real_query); }

std::string EscapeSql(std::string_view value) {
  if (value.empty()) return {};
  std::string result(2 * value.size() + 1, '\0');
  const unsigned long length = mysql_escape_string(result.data(), value.data(), value.size());
  VENDRAKE_ASSERT(length <= 2 * value.size());
  result.resize(length);
  return result;
}

std::string QuoteSql(std::string_view value) { return Quoted(EscapeSql(value)); }

std::string QuoteSqlOrNull(std::string_view value) {
  return value.empty() ? "NULL" : QuoteSql(value);
}

void AddInsertRow(TAccumulateInsert& insert, std::string_view row) {
  insert.Add(row);
  if (insert.IsFull()) FlushInsert(insert);
}

void FlushInsert(TAccumulateInsert& insert) {
  if (insert.IsEmpty()) return;
  std::string statement = insert.TakeStatement();
  SendQuery(statement, mysql_send_query);
  InsertInFlight = std::move(statement);
}

void WriteRowLine(std::string_view line) {
  if (InsertInFlight.empty()) {
    WriteOutputLine(line);
  } else {
    HeldLines.emplace_back(line);
  }
}

}  // namespace vendrake
