#include "app/Database.h"

#include <cstdlib>

#include "app/Console.h"
#include "base/Exceptions.h"

namespace vendrake {

std::string DbHost;
std::string DbUser;
std::string DbPassword;
std::string DbDatabase;

MYSQL* DbConnection = nullptr;
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
  InfoFTable = new TTwoDArray;
  InfoTTable = new TTwoDArray;
  AlertsTable = new TTwoDArray;
}

void ExecuteQuery(std::string_view query) {
  if (mysql_real_query(DbConnection, query.data(), query.size()) == 0) return;
  WriteOutputLine("Error in Query");
  WriteOutputLine(query);
  WriteOutputLine(mysql_error(DbConnection));
  std::exit(1);
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
