#include "db/Session.h"

#include <poll.h>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <utility>
#include <vector>

#include "base/Exceptions.h"

namespace vendrake {

namespace {

// Debian's trusted authorities, for a verify mode without db_SslCa.
constexpr char kSystemCertificates[] = "/etc/ssl/certs";

// A statement of the set-up that failed, with the server's error.
struct TSetUpFailure {
  unsigned error;
  std::string reason;
};

bool OverTcp(const TSettings& settings) {
  return !settings.DbHost.empty() && settings.DbHost != "localhost";
}

// Bounds every wait of the connection: a server that answers nothing for
// timeout_seconds fails the call with a lost connection (2013).
bool BoundWaits(MYSQL* handle, const TSettings& settings) {
  const unsigned connect = std::min(kConnectSeconds, settings.DbTimeoutSeconds);
  const unsigned timeout = settings.DbTimeoutSeconds;
  return mysql_options(handle, TMysqlOption::ConnectTimeout, &connect) == 0 &&
         mysql_options(handle, TMysqlOption::ReadTimeout, &timeout) == 0 &&
         mysql_options(handle, TMysqlOption::WriteTimeout, &timeout) == 0;
}

// Over TCP the stock client encrypts whenever the server offers TLS, and so
// does this loader unless told otherwise: its statements carry the trading
// data. The local socket needs none. The names of the certificate are
// checked against the host by the connection option, which is what the
// client library reads for it; the flag bit of the same name is not.
bool RequestTls(MYSQL* handle, const TSettings& settings) {
  if (!OverTcp(settings) || settings.DbSslMode == TSslMode::Disabled) return true;
  const bool verify = settings.DbSslMode >= TSslMode::VerifyCa;
  const char* ca = settings.DbSslCa.empty() ? nullptr : settings.DbSslCa.c_str();
  mysql_ssl_set(handle, nullptr, nullptr, ca,
                ca == nullptr && verify ? kSystemCertificates : nullptr, nullptr);
  const char check_names = settings.DbSslMode == TSslMode::VerifyIdentity;
  return mysql_options(handle, TMysqlOption::SslVerifyServerCert, &check_names) == 0;
}

size_t ParsePacketLimit(const std::string& text) {
  size_t limit = 0;
  std::from_chars(text.data(), text.data() + text.size(), limit);
  if (limit == 0) throw TSetUpFailure{0, "The server sent no max_allowed_packet"};
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

}  // namespace

std::string FactsDiffer(const TSessionFacts& first, const TSessionFacts& other) {
  if (other.character_set != first.character_set) {
    return "The session's character set changed from " + first.character_set + " to " +
           other.character_set;
  }
  if (other.cluster_node != first.cluster_node) {
    return std::string("The session's server is ") + (other.cluster_node ? "" : "not ") +
           "a cluster node, unlike the first session's";
  }
  return {};
}

TSession::~TSession() { mysql_close(handle_); }

uint64_t TSession::MatchedRows() const {
  // The client library tells them only in its info text, as "Rows matched:
  // 1  Changed: 0  Warnings: 0".
  const char* info = mysql_info(handle_);
  constexpr std::string_view kMatched = "Rows matched: ";
  const std::string_view text = info != nullptr ? info : "";
  uint64_t rows = 0;
  if (text.starts_with(kMatched)) {
    std::from_chars(text.data() + kMatched.size(), text.data() + text.size(), rows);
  }
  return rows;
}

namespace {

// value escaped with connection's character set, or with the library's own
// when connection is null.
std::string Escaped(MYSQL* connection, std::string_view value) {
  if (value.empty()) return {};
  std::string result(2 * value.size() + 1, '\0');
  const unsigned long length =
      connection != nullptr
          ? mysql_real_escape_string(connection, result.data(), value.data(), value.size())
          : mysql_escape_string(result.data(), value.data(), value.size());
  VENDRAKE_ASSERT(length <= 2 * value.size());
  result.resize(length);
  return result;
}

}  // namespace

std::string TSession::Escape(std::string_view value) const {
  return Escaped(escape_with_connection_ ? handle_ : nullptr, value);
}

std::string EscapeWithoutSession(std::string_view value) { return Escaped(nullptr, value); }

bool TSession::AnswersWithin(std::chrono::steady_clock::duration wait) const {
  pollfd socket = {mysql_get_socket(handle_), POLLIN, 0};
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
  // A failing poll leaves the judgement to the client library's own read.
  return poll(&socket, 1, static_cast<int>(std::max<decltype(milliseconds)>(milliseconds, 0))) != 0;
}

void TSession::Run(const std::string& statement) const {
  if (mysql_real_query(handle_, statement.data(), statement.size()) != 0) {
    throw TSetUpFailure{ErrorNumber(), statement + " failed: " + ErrorText()};
  }
}

std::vector<std::string> TSession::Select(const std::string& statement, size_t fields) const {
  Run(statement);
  MYSQL_RES* result = mysql_store_result(handle_);
  if (result == nullptr) {
    throw TSetUpFailure{ErrorNumber(),
                        "The server sent no result for " + statement + ": " + ErrorText()};
  }
  const MYSQL_ROW row = mysql_fetch_row(result);
  std::vector<std::string> values(fields);
  for (size_t i = 0; row != nullptr && i < fields; ++i) {
    if (row[i] != nullptr) values[i] = row[i];
  }
  mysql_free_result(result);
  return values;
}

namespace {

constexpr char kProbe[] =
    "SELECT @@max_allowed_packet, @@SESSION.sql_mode, @@character_set_client, @@autocommit";
constexpr unsigned kUnknownSystemVariable = 1193;

}  // namespace

// MariaDB and Galera answer whether the server is a cluster node in the
// same round trip; MySQL knows no @@wsrep_on and is no cluster node.
std::vector<std::string> TSession::Probe() const {
  try {
    return Select(std::string(kProbe) + ", @@wsrep_on", 5);
  } catch (const TSetUpFailure& failure) {
    if (failure.error != kUnknownSystemVariable) throw;
  }
  std::vector<std::string> probe = Select(kProbe, 4);
  probe.emplace_back();
  return probe;
}

// Reads in one round trip what the statements depend on and makes the
// session fit them: a mode in which the statements mean what they say
// (every other word, strictness included, stays as the server set it), the
// library told of the character set, and autocommit on, since a session
// that a server's init_connect left in a transaction would roll the whole
// run back when it closes.
void TSession::SetUp() {
  const std::vector<std::string> probe = Probe();
  facts_.max_packet = ParsePacketLimit(probe[0]);
  const std::string safe = WithoutLiteralBreakingModes(probe[1]);
  if (safe != probe[1]) {
    // The words need no escaping, and single quotes delimit a string in any mode.
    const std::string set = "SET SESSION sql_mode='" + safe + "'";
    Run(set);
    const std::string now = Select("SELECT @@SESSION.sql_mode", 1)[0];
    if (WithoutLiteralBreakingModes(now) != now) {
      throw TSetUpFailure{0,
                          "The session's sql_mode still holds ANSI_QUOTES or "
                          "NO_BACKSLASH_ESCAPES after " +
                              set + ": " + now};
    }
  }
  // In gbk, big5, sjis and cp932 a backslash can be the second byte of a
  // character, so escaping that does not know the character set lets a
  // lead byte swallow the backslash meant for a quote.
  facts_.character_set = probe[2];
  escape_with_connection_ = facts_.character_set != mysql_character_set_name(handle_);
  if (escape_with_connection_ && mysql_set_character_set(handle_, facts_.character_set.c_str())) {
    throw TSetUpFailure{ErrorNumber(),
                        "The client library cannot escape for the session's "
                        "character set " +
                            facts_.character_set + ": " + ErrorText()};
  }
  if (probe[3] != "1") Run("SET autocommit=1");
  facts_.cluster_node = probe[4] == "1";
}

TSessionOpening OpenSession(const TSettings& settings) {
  MYSQL* handle = mysql_init(nullptr);
  if (handle == nullptr) {
    throw EOutOfMemory("Out of memory: the client library could not allocate a connection");
  }
  std::unique_ptr<TSession> session(new TSession(handle));
  if (!BoundWaits(handle, settings) || !RequestTls(handle, settings)) {
    return {nullptr, 0, "The client library refuses the connection's options", false};
  }
  if (mysql_real_connect(handle, settings.DbHost.c_str(), settings.DbUser.c_str(),
                         settings.DbPassword.c_str(), settings.DbDatabase.c_str(), 0, nullptr,
                         0) == nullptr) {
    return {nullptr, session->ErrorNumber(), session->ErrorText(), false};
  }
  if (OverTcp(settings) && settings.DbSslMode >= TSslMode::Required &&
      mysql_get_ssl_cipher(handle) == nullptr) {
    return {nullptr, 0, "The server offers no TLS, which the setting db_SslMode requires", false};
  }
  try {
    session->SetUp();
  } catch (const TSetUpFailure& failure) {
    return {nullptr, failure.error, failure.reason, true};
  }
  return {std::move(session), 0, {}, false};
}

}  // namespace vendrake
