#include "db/NightPublisher.h"

#include <utility>

#include "app/Console.h"
#include "base/Exceptions.h"
#include "db/Session.h"
#include "db/StatementPipeline.h"

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

TNightPublisher::TNightPublisher(const TSettings& settings, std::string_view computer,
                                 TClock& clock)
    : settings_(settings), suffix_("_staged_" + HexDigits(computer)), clock_(clock) {}

std::string TNightPublisher::Staging(std::string_view live) const {
  return std::string(live) + suffix_;
}

void TNightPublisher::Prepare() {
  std::vector<std::string> statements = {DropStaging(*this)};
  for (std::string_view live : kLiveTables) {
    statements.push_back("CREATE TABLE " + Staging(live) + " LIKE " + std::string(live));
    // The writers' REPLACE into the staging table.
    statements.push_back("REPLACE INTO " + Staging(live) + " SELECT * FROM " + std::string(live) +
                         " LIMIT 0");
  }
  AppendPublications(*this, " LIMIT 0", statements);
  // A privilege or a live table is missing: the settings or the server's
  // set-up are to be mended, as for a refusal.
  const std::optional<TFailure> failure = Attempt(statements, settings_);
  if (failure) {
    const std::string error =
        failure->error ? "Error " + std::to_string(failure->error) + ": " : "";
    AssertionFailed(__FILE__, __LINE__, ConnectFailureMessage(settings_), error + failure->reason);
  }
}

uint64_t TNightPublisher::Publish(const std::string& heartbeat, unsigned timeout_seconds) {
  std::vector<std::string> statements = {"START TRANSACTION"};
  AppendPublications(*this, "", statements);
  statements.push_back(heartbeat);
  statements.push_back("COMMIT");
  TSettings settings = settings_;
  settings.DbTimeoutSeconds = timeout_seconds;
  TRetryWindow window(settings_.DbRetrySeconds, clock_);
  for (;;) {
    const std::optional<TFailure> failure = Attempt(statements, settings, statements.size() - 2);
    if (!failure) break;
    const std::optional<TSeconds> wait =
        ClassifyError(failure->error, cluster_node_) == TErrorClass::Final ? std::nullopt
                                                                           : window.NextWait();
    if (!wait) throw TStatementFailure{failure->statement, failure->reason};
    WriteOutputLine(RetryLine(failure->error, failure->reason, *wait));
    window.Sleep(*wait);
  }
  // Published; staging tables left by a failure here are the next run's to
  // drop.
  const uint64_t matched = matched_;
  Attempt({DropStaging(*this)}, settings_);
  return matched;
}

// The session is closed when the attempt ends, so the server rolls back a
// transaction that a failure left open.
std::optional<TNightPublisher::TFailure> TNightPublisher::Attempt(
    const std::vector<std::string>& statements, const TSettings& settings, size_t matched_by) {
  const TSessionOpening opening = OpenSession(settings);
  if (opening.session == nullptr)
    return TFailure{statements.front(), opening.error, opening.reason};
  const TSession& session = *opening.session;
  cluster_node_ = session.Facts().cluster_node;
  for (size_t i = 0; i < statements.size(); ++i) {
    const std::string& statement = statements[i];
    if (mysql_real_query(session.Handle(), statement.data(), statement.size()) != 0) {
      return TFailure{statement, session.ErrorNumber(), session.ErrorText()};
    }
    if (i == matched_by && matched_by > 0) matched_ = session.MatchedRows();
  }
  return std::nullopt;
}

}  // namespace vendrake
