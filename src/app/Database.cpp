#include "app/Database.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

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

// The session's value, which the server sends as the text of the one field
// of one row. Runs while ServerMaxPacket is still 0, so unchecked.
size_t ReadServerMaxPacket() {
  ExecuteQuery("SELECT @@max_allowed_packet");
  MYSQL_RES* result = mysql_store_result(DbConnection);
  VENDRAKE_ASSERT(result != nullptr, "The server sent no result for SELECT @@max_allowed_packet: " +
                                         std::string(mysql_error(DbConnection)));
  const MYSQL_ROW row = mysql_fetch_row(result);
  size_t limit = 0;
  if (row != nullptr && row[0] != nullptr) {
    std::from_chars(row[0], row[0] + std::strlen(row[0]), limit);
  }
  mysql_free_result(result);
  VENDRAKE_ASSERT(limit > 0, "The server sent no max_allowed_packet");
  return limit;
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
  ServerMaxPacket = ReadServerMaxPacket();
  InfoFTable = new TTwoDArray;
  InfoTTable = new TTwoDArray;
  AlertsTable = new TTwoDArray;
}

void ExecuteQuery(std::string_view query) {
  if (!FitsServerPacket(query)) FailQuery(query, PacketLimitMessage(query));
  if (mysql_real_query(DbConnection, query.data(), query.size()) != 0) {
    FailQuery(query, mysql_error(DbConnection));
  }
}

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
  if (!insert.IsEmpty()) ExecuteQuery(insert.TakeStatement());
}

}  // namespace vendrake
