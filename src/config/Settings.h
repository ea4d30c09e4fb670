// The run's settings: every key of Config.ini that the loader reads, read,
// parsed and checked once at start, before anything is connected or read.
// A value is never looked up again afterwards.
#ifndef VENDRAKE_CONFIG_SETTINGS_H_
#define VENDRAKE_CONFIG_SETTINGS_H_

#include <optional>
#include <string>
#include <string_view>

namespace vendrake {

// TLS over TCP, named as the stock client's --ssl-mode.
enum class TSslMode { Disabled, Preferred, Required, VerifyCa, VerifyIdentity };

// The mode named, letter case aside; none for a name of no mode.
std::optional<TSslMode> ParseSslMode(std::string_view name);

// How a night reaches the tables: statement by statement into the live
// tables, or staged and published whole (see db/NightPublisher.h).
enum class TPublish { Direct, Atomic };

struct TSettings {
  std::string DbHost;
  std::string DbUser;
  std::string DbPassword;
  std::string DbDatabase = "mydb";
  // Seconds within which a statement that met a transient server error is
  // sent again; 0 lets the first error end the run.
  unsigned DbRetrySeconds = 120;
  TSslMode DbSslMode = TSslMode::Preferred;
  // The file of the certificate authority to trust; empty for the system's.
  std::string DbSslCa;
  // Seconds the server may stay silent while vendrake waits for its answer
  // before the connection counts as lost; at least 1.
  unsigned DbTimeoutSeconds = 60;
  // How many sessions carry the statements, 1 to kMostConnections.
  unsigned DbConnections = 2;
  TPublish DbPublish = TPublish::Direct;
};

// More sessions than this would only crowd the server's threads.
inline constexpr unsigned kMostConnections = 64;

// Reads every key from section "Vendrake", with "Common" as the fallback.
// Raises EAssertionFailed naming the key and its value when a value is
// invalid.
TSettings ReadSettings();

// The message of a connection refused with settings. The password is never
// shown: a non-empty one appears as a fixed mask, so neither it nor its
// length reaches a console log.
std::string ConnectFailureMessage(const TSettings& settings);

}  // namespace vendrake

#endif  // VENDRAKE_CONFIG_SETTINGS_H_
