#include "db/NightPublisher.h"

#include <utility>

#include "app/Console.h"

namespace vendrake {

namespace {

// The tables a night fills, in the order the writers fill them.
constexpr std::string_view kLiveTables[] = {"symbol_info_f", "symbol_info_t", "alerts_daily"};

// The computer's name in hexadecimal digits: any bytes it holds make a
// name of letters and digits, the same in every letter case setting of
// the server.
std::string HexDigits(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : text) hex.append({kDigits[c >> 4], kDigits[c & 15]});
  return hex;
}

// The statements that replace every row of each staging table into its
// live table, or with limit " LIMIT 0" none.
void AppendPublications(const TNightPublisher& publisher, const char* limit,
                        std::vector<std::string>& statements) {
  for (std::string_view live : kLiveTables) {
    statements.push_back("REPLACE INTO " + std::string(live) + " SELECT * FROM " +
                         publisher.Staging(live) + limit);
  }
}

std::string DropStaging(const TNightPublisher& publisher) {
  std::string drop = "DROP TABLE IF EXISTS ";
  for (std::string_view live : kLiveTables) {
    drop.append(live == kLiveTables[0] ? "" : ", ").append(publisher.Staging(live));
  }
  return drop;
}

}  // namespace

TNightPublisher::TNightPublisher(const TSessionSettings& settings, std::string_view computer,
                                 unsigned retry_seconds, TClock& clock)
    : settings_(settings),
      suffix_("_staged_" + HexDigits(computer)),
      retry_seconds_(retry_seconds),
      clock_(clock) {}

std::string TNightPublisher::Staging(std::string_view live) const {
  return std::string(live) + suffix_;
}

std::optional<TStatementFailure> TNightPublisher::Prepare() {
  std::vector<std::string> statements = {DropStaging(*this)};
  for (std::string_view live : kLiveTables) {
    statements.push_back("CREATE TABLE " + Staging(live) + " LIKE " + std::string(live));
    // The writers' REPLACE into the staging table.
    statements.push_back("REPLACE INTO " + Staging(live) + " SELECT * FROM " + std::string(live) +
                         " LIMIT 0");
  }
  AppendPublications(*this, " LIMIT 0", statements);
  return Attempt(statements, settings_);
}

std::optional<TStatementFailure> TNightPublisher::Publish(const std::string& heartbeat,
                                                          unsigned timeout_seconds) {
  std::vector<std::string> statements = {"START TRANSACTION"};
  AppendPublications(*this, "", statements);
  statements.push_back(heartbeat);
  statements.push_back("COMMIT");
  TSessionSettings settings = settings_;
  settings.timeout_seconds = timeout_seconds;
  TRetryWindow window(retry_seconds_, clock_);
  for (;;) {
    std::optional<TStatementFailure> failure = Attempt(statements, settings);
    if (!failure) break;
    if (ClassifyError(failure->error, cluster_node_) == TErrorClass::Final) return failure;
    const std::optional<TSeconds> wait = window.NextWait();
    if (!wait) return failure;
    WriteOutputLine(RetryLine(failure->error, failure->reason, *wait));
    window.Sleep(*wait);
  }
  // Published; staging tables left by a failure here are the next run's to
  // drop.
  Attempt({DropStaging(*this)}, settings_);
  return std::nullopt;
}

// The session is closed when the attempt ends, so the server rolls back a
// transaction that a failure left open.
std::optional<TStatementFailure> TNightPublisher::Attempt(
    const std::vector<std::string>& statements, const TSessionSettings& settings) {
  const TSessionOpening opening = OpenSession(settings);
  if (opening.session == nullptr) {
    return TStatementFailure{statements.front(), opening.error, opening.reason};
  }
  cluster_node_ = opening.session->Facts().cluster_node;
  MYSQL* handle = opening.session->Handle();
  for (const std::string& statement : statements) {
    if (mysql_real_query(handle, statement.data(), statement.size()) != 0) {
      return TStatementFailure{statement, opening.session->ErrorNumber(),
                               opening.session->ErrorText()};
    }
  }
  return std::nullopt;
}

}  // namespace vendrake
