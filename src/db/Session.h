// One database session as the statements need it: connected with the
// run's settings (TLS as they ask, every wait bounded), its packet limit
// known, its sql_mode safe for double-quoted backslash-escaped literals,
// values escaped for its character set, autocommit on. OpenSession builds
// one whole or says why it could not; no half-made session exists.
#ifndef VENDRAKE_DB_SESSION_H_
#define VENDRAKE_DB_SESSION_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Settings.h"
#include "db/mysql.h"

namespace vendrake {

// Connecting waits at most this, or DbTimeoutSeconds when that is shorter;
// any other wait for the server DbTimeoutSeconds, after which the
// connection counts as lost.
inline constexpr unsigned kConnectSeconds = 10;

// What the statements depend on, read when the session opened.
struct TSessionFacts {
  size_t max_packet = 0;      // max_allowed_packet in bytes
  std::string character_set;  // character_set_client, escaped for
  bool cluster_node = false;  // @@wsrep_on: a Galera node; MySQL has none
};

struct TSessionOpening;

// Why a session with facts other cannot take the statements of one with
// first: built for another character set, or told transient errors from
// final ones by another kind of server. Empty when it can.
std::string FactsDiffer(const TSessionFacts& first, const TSessionFacts& other);

// An open session; owns its connection and closes it when destroyed.
class TSession {
 public:
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  MYSQL* Handle() const { return handle_; }
  const TSessionFacts& Facts() const { return facts_; }
  // value escaped for the session's character set, for use inside a
  // quoted literal.
  std::string Escape(std::string_view value) const;
  // Whether an answer starts to arrive within wait (at once when wait is
  // over); a statement's outcome read then cannot wait longer than the
  // connection's read timeout.
  bool AnswersWithin(std::chrono::steady_clock::duration wait) const;
  // Why the last statement on the connection failed.
  unsigned ErrorNumber() const { return mysql_errno(handle_); }
  std::string ErrorText() const { return mysql_error(handle_); }
  // The rows the last UPDATE matched, changed or not.
  uint64_t MatchedRows() const;

 private:
  friend TSessionOpening OpenSession(const TSettings& settings);
  explicit TSession(MYSQL* handle) : handle_(handle) {}
  void SetUp();
  // The values the set-up reads: max_allowed_packet, sql_mode,
  // character_set_client, autocommit and wsrep_on (empty where unknown).
  std::vector<std::string> Probe() const;
  // Sends a statement of the set-up; a failure throws.
  void Run(const std::string& statement) const;
  // The fields of the one row that statement, a SELECT of variables,
  // returns; a NULL field reads as empty.
  std::vector<std::string> Select(const std::string& statement, size_t fields) const;

  MYSQL* handle_;
  TSessionFacts facts_;
  bool escape_with_connection_ = false;
};

// A session, or why none opened: the client library's or the server's
// error number (0 for a refusal of this program's own, such as no TLS where
// the settings demand it) and its text. set_up tells a statement of the
// session's set-up failing from a connection refused.
struct TSessionOpening {
  std::unique_ptr<TSession> session;
  unsigned error = 0;
  std::string reason;
  bool set_up = false;
};

// Connects and sets the session up. Raises EOutOfMemory when the client
// library cannot make a handle; the library must be Ready.
TSessionOpening OpenSession(const TSettings& settings);

// value escaped as for the client library's own character set, without a
// session.
std::string EscapeWithoutSession(std::string_view value);

}  // namespace vendrake

#endif  // VENDRAKE_DB_SESSION_H_
