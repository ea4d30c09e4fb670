// The server's global sql_mode as administrators set it: vendrake's own
// session drops what would change the meaning of its literals, so values
// land and the console reads as on a default server, and the global mode
// stays as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ServerTests.h"
#include "db/Database.h"

namespace vendrake {
namespace {

std::string GlobalMode() {
  const std::string row = Server->Query("SELECT @@GLOBAL.sql_mode");
  return row.substr(0, row.find('\n'));
}

// Sets the server's global sql_mode for the object's life and then puts
// back the one before, so the other tests see the server as it was.
class GlobalSqlMode {
 public:
  explicit GlobalSqlMode(const std::string& mode) : before_(GlobalMode()) {
    Server->Query("SET GLOBAL sql_mode='" + mode + "'");
    shown_ = GlobalMode();
  }
  ~GlobalSqlMode() { Server->Query("SET GLOBAL sql_mode='" + before_ + "'"); }
  GlobalSqlMode(const GlobalSqlMode&) = delete;
  GlobalSqlMode& operator=(const GlobalSqlMode&) = delete;

  // The mode as the server shows it, combination words expanded.
  const std::string& Shown() const { return shown_; }

 private:
  std::string before_;
  std::string shown_;
};

// The server's general log, kept in a table while the object lives.
class GeneralLog {
 public:
  GeneralLog() { Server->Query("SET GLOBAL log_output='TABLE'; SET GLOBAL general_log=ON"); }
  ~GeneralLog() { Server->Query("SET GLOBAL general_log=OFF; SET GLOBAL log_output=DEFAULT"); }
  GeneralLog(const GeneralLog&) = delete;
  GeneralLog& operator=(const GeneralLog&) = delete;

  void Clear() const { Server->Query("TRUNCATE mysql.general_log"); }
  // The session set-up statements logged since Clear, one a line, in the
  // order logged.
  std::string SetUpStatements() const {
    return Server->Query(
        "SELECT argument FROM mysql.general_log WHERE command_type = 'Query' AND "
        "(argument LIKE 'SELECT @@%' OR argument LIKE 'SET %')");
  }
};

// Values that a changed quoting or escaping would alter or reject: both
// quote kinds, backslashes alone and before quotes, Ctrl-Z, a tab, UTF-8;
// and bytes that lead a two-byte character in gbk, big5, sjis and cp932
// before quotes and backslashes, where escaping blind to the character set
// lets the lead byte swallow the backslash, so that the quote ends the
// literal and the rest of the value becomes SQL.
struct QuotingInput {
  TempDir dir;
  QuotingInput() {
    dir.Write("F_OvernightData.csv",
              "Symbol,Company Name,Listed Exchange\n"
              "\"x\"\"y\\z'\",\"say \"\"hi\"\", it's a\\b \\' \\\"\"\x1A\tend\\\","
              "Soci\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\n"
              "lead,\"\xBF\"\", 0x4e, 0x4e), (0x50574E4544, 0x6576696C, 0x58, 0x4E) #\","
              "\xE0\\\xE0'\x81\"\"\xE0\n"
              "Innocent,Innocent Corp,\xA1\\\n"
              "abc,O'Brien \\\\ Sons,NYSE\n");
    dir.Write("OvernightData.csv", "Symbol,Correlation Symbol\nabc,\"\\\"\"'\\\\\"\n");
    dir.Write("TC_OvernightData.csv", "Symbol,Up Days\nabc,3\n");
  }
};

// One run on fresh tables: what it printed, stored and sent to set up its
// session.
struct Load {
  Outcome run;
  std::string stored;
  std::string set_up;

  Load(const QuotingInput& input, const GeneralLog& log, const std::string& config = kRootConfig) {
    Server->ResetTables();
    log.Clear();
    run = RunCommand(
        VendrakeCommand(InstalledVendrake(config), Server->Socket(), {input.dir.Path()}));
    set_up = log.SetUpStatements();
    stored = Server->Query(
        "SELECT HEX(symbol), HEX(company_name), HEX(exchange) FROM symbol_info_f ORDER BY 1;"
        "SELECT HEX(symbol), HEX(correlation_symbol) FROM symbol_info_t ORDER BY 1;"
        "SELECT HEX(d_symbol), HEX(list_exch), up_days FROM alerts_daily ORDER BY 1;"
        "SELECT COUNT(last_update) FROM monitor_alive");
  }
};

// Every byte value, CR, LF and zero included, which no input line can
// carry, stored as the company names of symbols bytes0 (0 to 127) and
// bytes128 (128 to 255), quoted as vendrake quotes.
void StoreEveryByte() {
  setenv("MYSQL_UNIX_PORT", Server->Socket().c_str(), 1);
  TSettings settings;
  settings.DbUser = "root";
  TDatabase database(settings);
  const TSession* session = &database.Escaping();
  for (const int first : {0, 128}) {
    std::string bytes;
    for (int c = first; c < first + 128; ++c) bytes.push_back(static_cast<char>(c));
    database.ExecuteQuery("REPLACE INTO symbol_info_f VALUES (" +
                          QuoteSql("bytes" + std::to_string(first), session) + ", " +
                          QuoteSql(bytes, session) + ", \"-\", \"N\")");
  }
}

std::string EveryByteInHex() {
  std::string hex;
  for (int c = 0; c < 256; ++c) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02X", c);
    hex += digits;
    if (c == 127 || c == 255) hex += '\n';
  }
  return hex;
}

// What each of the run's sessions sends to set itself up, in turn.
std::string EverySession(const std::string& set_up) {
  std::string all;
  for (int i = 0; i < kDefaultConnections; ++i) all += set_up;
  return all;
}

constexpr char kProbe[] =
    "SELECT @@max_allowed_packet, @@SESSION.sql_mode, @@character_set_client, @@autocommit, "
    "@@wsrep_on\n";

// The reference is a run on the server's default mode, whose values the
// whole-run tests check one by one.
TEST(SessionSqlMode, ValuesLandAndTheConsoleReadsAsOnADefaultServer) {
  const QuotingInput input;
  const GeneralLog log;
  const Load reference(input, log);
  ASSERT_EQ(reference.run.exit_code, 0) << reference.run.out;
  EXPECT_EQ(reference.set_up, EverySession(kProbe));  // a default server receives no SET
  const std::string every_byte = EveryByteInHex();

  // Each global mode, and the session mode vendrake makes of it.
  const struct {
    const char* global;
    const char* session;
  } modes[] = {
      {"NO_BACKSLASH_ESCAPES", ""},
      {"ANSI", "REAL_AS_FLOAT,PIPES_AS_CONCAT,IGNORE_SPACE"},
      {"ORACLE",
       "PIPES_AS_CONCAT,IGNORE_SPACE,NO_KEY_OPTIONS,NO_TABLE_OPTIONS,NO_FIELD_OPTIONS,"
       "NO_AUTO_CREATE_USER,SIMULTANEOUS_ASSIGNMENT"},
      {"ANSI_QUOTES,NO_BACKSLASH_ESCAPES,STRICT_ALL_TABLES", "STRICT_ALL_TABLES"},
  };
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.global);
    const GlobalSqlMode global(mode.global);
    const Load load(input, log);
    EXPECT_EQ(load.run.exit_code, 0);
    EXPECT_EQ(load.run.out, reference.run.out);
    EXPECT_EQ(load.run.err, reference.run.err);
    EXPECT_EQ(load.stored, reference.stored);
    EXPECT_EQ(load.set_up, EverySession(kProbe + std::string("SET SESSION sql_mode='") +
                                        mode.session + "'\nSELECT @@SESSION.sql_mode\n"));
    StoreEveryByte();
    EXPECT_EQ(Server->Query("SELECT HEX(company_name) FROM symbol_info_f WHERE symbol LIKE "
                            "'bytes%' ORDER BY LENGTH(symbol)"),
              every_byte);
    EXPECT_EQ(GlobalMode(), global.Shown());
  }
}

// A server that sets up its users' sessions through init_connect, which
// the client library cannot know of: another character set, or autocommit
// off, in which the run's statements would be one transaction rolled back
// at its end. SUPER skips init_connect, so the runs log in as a plain user.
TEST(SessionCharacterSet, HostileValuesLandByteForByteInEverySessionInitConnectMakes) {
  const QuotingInput input;
  const GeneralLog log;
  const Load reference(input, log);
  EXPECT_NE(reference.stored.find("\n496E6E6F63656E74\t"), std::string::npos);  // "Innocent"
  EXPECT_EQ(reference.stored.find("50574E4544"), std::string::npos);            // "PWNED"
  EXPECT_TRUE(reference.stored.ends_with("\n1\n"));                             // the heartbeat
  Server->Query("CREATE USER plain@localhost; GRANT ALL ON mydb.* TO plain@localhost");
  const struct {
    std::string init_connect, set_up;  // vendrake's own statements after the probe
  } cases[] = {
      {"SET NAMES gbk", "SET NAMES gbk\n"},       {"SET NAMES big5", "SET NAMES big5\n"},
      {"SET NAMES sjis", "SET NAMES sjis\n"},     {"SET NAMES cp932", "SET NAMES cp932\n"},
      {"SET autocommit=0", "SET autocommit=1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.init_connect);
    Server->Query("SET GLOBAL init_connect='" + c.init_connect + "'");
    const Load load(input, log, "[Vendrake]\ndb_User=plain\n");
    EXPECT_EQ(load.run.exit_code, 0) << load.run.out;
    EXPECT_EQ(load.run.out, reference.run.out);
    EXPECT_EQ(load.stored, reference.stored);
    EXPECT_EQ(load.set_up, EverySession(c.init_connect + "\n" + kProbe + c.set_up));
  }
  Server->Query("SET GLOBAL init_connect=''; DROP USER plain@localhost");
}

// An account allowed one statement an hour: the first run's SET is its
// second statement, the second run's probe its third. Each run ends as a
// refused connection does, naming the statement, before reading input.
TEST(SessionSqlMode, AFailedProbeOrSetEndsTheRunBeforeAnyInputIsRead) {
  const QuotingInput input;
  Server->ResetTables();
  Server->Query(
      "CREATE USER quota@localhost WITH MAX_QUERIES_PER_HOUR 1;"
      "GRANT ALL ON mydb.* TO quota@localhost");
  const GlobalSqlMode global("NO_BACKSLASH_ESCAPES");
  const InstalledVendrake vendrake("[Vendrake]\ndb_User=quota\n");
  for (const std::string statement :
       {"SET SESSION sql_mode=''",
        "SELECT @@max_allowed_packet, @@SESSION.sql_mode, @@character_set_client, @@autocommit, "
        "@@wsrep_on"}) {
    const Outcome run = RunCommand(VendrakeCommand(vendrake, Server->Socket(), {input.dir.Path()}));
    EXPECT_EQ(run.exit_code, 2);
    const std::string message = "EAssertionFailed:  " + statement +
                                " failed: User 'quota' has exceeded the 'max_queries_per_hour' "
                                "resource (current value: 1) (/";
    EXPECT_EQ(run.out.substr(0, message.size()), message) << run.out;
    EXPECT_EQ(run.out.find("Reading:"), std::string::npos);
    EXPECT_EQ(run.err, "Hit Enter to continue.\r\n");
  }
  EXPECT_EQ(Server->Query("SELECT COUNT(*) FROM symbol_info_f"), "0\n");
  Server->Query("DROP USER quota@localhost");
}

}  // namespace
}  // namespace vendrake
