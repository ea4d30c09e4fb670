#include "config/Settings.h"

#include <strings.h>

#include <charconv>
#include <utility>

#include "base/Exceptions.h"
#include "base/Text.h"
#include "config/ConfigFile.h"

namespace vendrake {

namespace {

constexpr std::pair<const char*, TSslMode> kSslModes[] = {
    {"DISABLED", TSslMode::Disabled},
    {"PREFERRED", TSslMode::Preferred},
    {"REQUIRED", TSslMode::Required},
    {"VERIFY_CA", TSslMode::VerifyCa},
    {"VERIFY_IDENTITY", TSslMode::VerifyIdentity}};

std::string Read(const char* key, std::string_view fallback) {
  return GetConfigString("Vendrake", key, fallback);
}

// The whole number of key from minimum to maximum; what the value is not
// follows its name in the message.
unsigned WholeNumber(const char* key, unsigned fallback, unsigned minimum, unsigned maximum,
                     const std::string& expected) {
  const std::string text = Read(key, std::to_string(fallback));
  unsigned number = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, number);
  VENDRAKE_ASSERT(!text.empty() && parsed.ec == std::errc() && parsed.ptr == end &&
                      number >= minimum && number <= maximum,
                  std::string(key) + "=" + Quoted(text) + " is not a whole number " + expected);
  return number;
}

unsigned Seconds(const char* key, unsigned fallback, unsigned minimum) {
  return WholeNumber(key, fallback, minimum, ~0u,
                     "of seconds" + (minimum > 0 ? " from " + std::to_string(minimum) : ""));
}

}  // namespace

std::optional<TSslMode> ParseSslMode(std::string_view name) {
  const std::string text(name);
  for (const auto& [mode_name, mode] : kSslModes) {
    if (strcasecmp(text.c_str(), mode_name) == 0) return mode;
  }
  return std::nullopt;
}

std::string ConnectFailureMessage(const TSettings& settings) {
  const std::string password = settings.DbPassword.empty() ? "" : "********";
  return "Unable to connect to database.  Host=" + Quoted(settings.DbHost) +
         ", User=" + Quoted(settings.DbUser) + ", Password=" + Quoted(password) +
         ", Database=" + Quoted(settings.DbDatabase);
}

TSettings ReadSettings() {
  TSettings settings;
  settings.DbHost = Read("db_Host", "");
  settings.DbUser = Read("db_User", "");
  settings.DbPassword = Read("db_Password", "");
  settings.DbDatabase = Read("db_Database", settings.DbDatabase);
  settings.DbRetrySeconds = Seconds("db_RetrySeconds", settings.DbRetrySeconds, 0);
  const std::string ssl_mode = Read("db_SslMode", "PREFERRED");
  const std::optional<TSslMode> mode = ParseSslMode(ssl_mode);
  // The mode decides how the connection is made, so its message is that of
  // a refused connection.
  VENDRAKE_ASSERT(mode, ConnectFailureMessage(settings) + ", db_SslMode=" + Quoted(ssl_mode) +
                            " is none of DISABLED, PREFERRED, REQUIRED, VERIFY_CA, "
                            "VERIFY_IDENTITY");
  settings.DbSslMode = *mode;
  settings.DbSslCa = Read("db_SslCa", "");
  settings.DbTimeoutSeconds = Seconds("db_TimeoutSeconds", settings.DbTimeoutSeconds, 1);
  settings.DbConnections =
      WholeNumber("db_Connections", settings.DbConnections, 1, kMostConnections,
                  "from 1 to " + std::to_string(kMostConnections));
  const std::string publish = Read("db_Publish", "Direct");
  VENDRAKE_ASSERT(publish == "Direct" || publish == "Atomic",
                  "db_Publish=" + Quoted(publish) + " is not Direct or Atomic");
  settings.DbPublish = publish == "Atomic" ? TPublish::Atomic : TPublish::Direct;
  return settings;
}

}  // namespace vendrake
