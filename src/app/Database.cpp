#include "app/Database.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>
#include <vector>

#include "app/Console.h"
#include "base/Exceptions.h"

namespace vendrake {

std::string DbHost;
std::string DbUser;
std::string DbPassword;
std::string DbDatabase;
std::string DbRetrySeconds = "120";
std::string DbSslMode = "PREFERRED";
std::string DbSslCa;

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

// The session's character_set_client as the first connection found it.
// Values are escaped for it: with the library's own escaping when the
// library assumes that character set, else with the connection's, once the
// library was told. In gbk, big5, sjis and cp932 a backslash can be the
// second byte of a character, so escaping that does not know the character
// set lets a lead byte swallow the backslash meant for a quote.
std::string SessionCharacterSet;
bool EscapeWithConnection = false;

void FollowSessionCharacterSet(const std::string& name) {
  SessionCharacterSet = name;
  EscapeWithConnection = name != mysql_character_set_name(DbConnection);
  if (!EscapeWithConnection) return;
  VENDRAKE_ASSERT(mysql_set_character_set(DbConnection, name.c_str()) == 0,
                  "The client library cannot escape for the session's character set " + name +
                      ": " + mysql_error(DbConnection));
}

// Reads what the statements depend on and makes the session fit them; a
// failure raises EAssertionFailed.
void PrepareSession() {
  const std::vector<std::string> session =
      SelectVariables("SELECT @@max_allowed_packet, @@SESSION.sql_mode, @@character_set_client", 3);
  ServerMaxPacket = ParsePacketLimit(session[0]);
  MakeSessionModeSafeForLiterals(session[1]);
  FollowSessionCharacterSet(session[2]);
}

enum class TSslMode { Disabled, Preferred, Required, VerifyCa, VerifyIdentity };

constexpr std::pair<const char*, TSslMode> kSslModes[] = {
    {"DISABLED", TSslMode::Disabled},
    {"PREFERRED", TSslMode::Preferred},
    {"REQUIRED", TSslMode::Required},
    {"VERIFY_CA", TSslMode::VerifyCa},
    {"VERIFY_IDENTITY", TSslMode::VerifyIdentity}};

TSslMode SslMode = TSslMode::Preferred;

TSslMode ParseSslMode() {
  for (const auto& [name, mode] : kSslModes) {
    if (strcasecmp(DbSslMode.c_str(), name) == 0) return mode;
  }
  AssertionFailed(__FILE__, __LINE__,
                  ConnectFailureMessage() + ", db_SslMode=" + Quoted(DbSslMode) +
                      " is none of DISABLED, PREFERRED, REQUIRED, VERIFY_CA, VERIFY_IDENTITY");
}

// The client library's CLIENT_SSL_VERIFY_SERVER_CERT: the certificate must
// name the host connected to.
constexpr unsigned long kVerifyServerCert = 1UL << 30;
// Debian's trusted authorities, for a verify mode without db_SslCa.
constexpr char kSystemCertificates[] = "/etc/ssl/certs";

bool OverTcp() { return !DbHost.empty() && DbHost != "localhost"; }

// Over TCP the stock client encrypts whenever the server offers TLS, and so
// does this loader unless told otherwise: its statements carry the trading
// data. The local socket needs none. Returns the client flags to connect
// with.
unsigned long RequestTls(MYSQL* handle) {
  if (!OverTcp() || SslMode == TSslMode::Disabled) return 0;
  const bool verify = SslMode >= TSslMode::VerifyCa;
  const char* ca = DbSslCa.empty() ? nullptr : DbSslCa.c_str();
  mysql_ssl_set(handle, nullptr, nullptr, ca,
                ca == nullptr && verify ? kSystemCertificates : nullptr, nullptr);
  return SslMode == TSslMode::VerifyIdentity ? kVerifyServerCert : 0;
}

// Replaces DbConnection by a new connection with the settings; returns why
// it failed, empty on success. A connection the mode demands TLS of and
// that has none counts as refused.
std::string OpenConnection() {
  MYSQL* handle = mysql_init(nullptr);
  if (handle == nullptr) {
    throw EOutOfMemory("Out of memory: the client library could not allocate a connection");
  }
  if (DbConnection != nullptr) mysql_close(DbConnection);
  DbConnection = handle;
  const unsigned long flags = RequestTls(handle);
  if (mysql_real_connect(handle, DbHost.c_str(), DbUser.c_str(), DbPassword.c_str(),
                         DbDatabase.c_str(), 0, nullptr, flags) == nullptr) {
    return mysql_error(handle);
  }
  if (OverTcp() && SslMode >= TSslMode::Required && mysql_get_ssl_cipher(handle) == nullptr) {
    return "The server offers no TLS, which db_SslMode=" + DbSslMode + " requires";
  }
  return {};
}

unsigned ParseRetrySeconds() {
  unsigned seconds = 0;
  const char* end = DbRetrySeconds.data() + DbRetrySeconds.size();
  const auto parsed = std::from_chars(DbRetrySeconds.data(), end, seconds);
  VENDRAKE_ASSERT(
      parsed.ec == std::errc() && parsed.ptr == end && !DbRetrySeconds.empty(),
      "db_RetrySeconds=" + Quoted(DbRetrySeconds) + " is not a whole number of seconds");
  return seconds;
}

unsigned RetrySeconds = 0;

bool IsLostConnection(unsigned error) {
  return error == 2006 || error == 2013;  // server gone away, lost during query
}

// Errors after which the same statement may well succeed a moment later:
// a deadlock or a cluster's certification conflict, a lock wait timeout, a
// node outside the primary component, a commit the cluster could not
// replicate.
bool IsTransient(unsigned error) {
  return IsLostConnection(error) || error == 1213 || error == 1205 || error == 1047 ||
         error == 1180;
}

// The waits between attempts at one statement: from half a second,
// doubling to eight, until RetrySeconds after the first failure.
class TRetryWindow {
 public:
  // Writes the line of the wait and waits; false when the window is spent.
  bool Wait(unsigned error, const std::string& text) {
    const auto now = std::chrono::steady_clock::now();
    if (!started_) deadline_ = now + std::chrono::seconds(RetrySeconds);
    started_ = true;
    if (now >= deadline_) return false;
    const std::chrono::duration<double> wait =
        std::min<std::chrono::duration<double>>(next_, deadline_ - now);
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.3g", wait.count());
    WriteOutputLine("Transient server error " + std::to_string(error) + ": " + text +
                    "; retrying in " + seconds + " s");
    std::this_thread::sleep_for(wait);
    next_ = std::min(next_ * 2, std::chrono::duration<double>(8));
    return true;
  }

 private:
  bool started_ = false;
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::duration<double> next_{0.5};
};

// A new connection set up as the first one was; returns why it failed,
// empty on success. Statements already built were escaped for the first
// session's character set, so a session in another one cannot take them.
std::string Reconnect(std::string_view query) {
  std::string failure = OpenConnection();
  if (!failure.empty()) return failure;
  const std::string before = SessionCharacterSet;
  try {
    PrepareSession();
  } catch (const EAssertionFailed& error) {
    const std::string server = mysql_error(DbConnection);
    return server.empty() ? error.Message() : server;
  }
  if (SessionCharacterSet != before) {
    FailQuery(query, "The session's character set changed from " + before + " to " +
                         SessionCharacterSet + " on reconnecting");
  }
  return {};
}

// After query failed on DbConnection: waits and reconnects as the error
// asks until query may be sent again, or ends the process with the last
// error when it is not transient or the window is spent.
void RideThrough(std::string_view query, TRetryWindow& window) {
  unsigned error = mysql_errno(DbConnection);
  std::string text = mysql_error(DbConnection);
  if (!IsTransient(error)) FailQuery(query, text);
  const bool lost = IsLostConnection(error);
  while (window.Wait(error, text)) {
    if (!lost) return;
    text = Reconnect(query);
    if (text.empty()) return;
    // Whatever made the new connection fail, the server may yet come back.
    error = mysql_errno(DbConnection);
  }
  FailQuery(query, text);
}

// Sends query again, synchronously, after its first attempt failed, until
// the server accepts it.
void SendAgain(std::string_view query) {
  TRetryWindow window;
  do {
    RideThrough(query, window);
    if (!FitsServerPacket(query)) FailQuery(query, PacketLimitMessage(query));
  } while (mysql_real_query(DbConnection, query.data(), query.size()) != 0);
}

// The batched statement sent last, whose outcome has not been read yet, and
// the row lines written since. The server executes the statement while the
// next one is built; the lines wait for its outcome so that the console
// reads as if each statement had been waited for at once.
std::string InsertInFlight;
std::vector<std::string> HeldLines;

// Reads the outcome of the statement in flight, if any, sending it again
// after a transient failure.
void AwaitInsert() {
  if (InsertInFlight.empty()) return;
  if (mysql_read_query_result(DbConnection) != 0) SendAgain(InsertInFlight);
  InsertInFlight.clear();
  for (const std::string& line : HeldLines) WriteOutputLine(line);
  HeldLines.clear();
}

// Sends query with send once the statement in flight has succeeded. A
// statement over the packet limit ends the process. Returns false when the
// first send failed and query was then executed to its end.
bool SendQuery(std::string_view query, int (*send)(MYSQL*, const char*, unsigned long)) {
  AwaitInsert();
  if (!FitsServerPacket(query)) FailQuery(query, PacketLimitMessage(query));
  if (send(DbConnection, query.data(), query.size()) == 0) return true;
  SendAgain(query);
  return false;
}

}  // namespace

void ConnectDatabase() {
  VENDRAKE_ASSERT(ClientLibraryStatus == TClientLibraryStatus::Ready);
  SslMode = ParseSslMode();
  RetrySeconds = ParseRetrySeconds();
  // The first connection gets no second try: its usual cause is a setting.
  VENDRAKE_ASSERT(OpenConnection().empty(), ConnectFailureMessage());
  PrepareSession();
  InfoFTable = new TTwoDArray;
  InfoTTable = new TTwoDArray;
  AlertsTable = new TTwoDArray;
}

void ExecuteQuery(std::string_view query) { SendQuery(query, mysql_real_query); }

std::string EscapeSql(std::string_view value) {
  if (value.empty()) return {};
  std::string result(2 * value.size() + 1, '\0');
  const unsigned long length =
      EscapeWithConnection
          ? mysql_real_escape_string(DbConnection, result.data(), value.data(), value.size())
          : mysql_escape_string(result.data(), value.data(), value.size());
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
  if (SendQuery(statement, mysql_send_query)) InsertInFlight = std::move(statement);
}

void WriteRowLine(std::string_view line) {
  if (InsertInFlight.empty()) {
    WriteOutputLine(line);
  } else {
    HeldLines.emplace_back(line);
  }
}

}  // namespace vendrake
