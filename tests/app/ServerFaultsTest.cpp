// The server failing the run: not there at all, gone in the middle of the
// write phase, or with a packet limit too small for a statement. Each case
// that harms its server gets a server of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ServerTests.h"
#include "db/Database.h"

namespace vendrake {
namespace {

TEST(ServerFaults, AServerThatIsNotRunningIsReportedBeforeAnyInputIsRead) {
  const InstalledVendrake vendrake(kRootConfig);
  TempDir input;
  const Outcome run =
      RunCommand(VendrakeCommand(vendrake, input.Path() + "/no.sock", {input.Path()}));
  EXPECT_EQ(run.exit_code, 2);
  const std::string message =
      "EAssertionFailed:  Unable to connect to database.  Host=\"\", User=\"root\", "
      "Password=\"\", Database=\"mydb\" (/";
  EXPECT_EQ(run.out.substr(0, message.size()), message) << run.out;
  EXPECT_TRUE(run.out.ends_with(")\r\nError 2002: Can't connect to local server through socket '" +
                                input.Path() + "/no.sock' (2)\r\n"))
      << run.out;
  EXPECT_EQ(run.out.find("Reading:"), std::string::npos);
}

// The server dies by SIGKILL while symbol_info_t is written, or with
// db_Publish=Atomic as the night is published, and is started again on the
// same socket unless the case says otherwise; or its process is stopped by
// SIGSTOP, silent with its connections open, and goes on after a few
// seconds unless the case says otherwise.
struct LostServerCase {
  bool killed;  // else stopped
  const char* settings;
  bool back;  // restarted, or resumed, during the run
  int exit_code;
  bool publishing = false;  // at the last row line, else the first of symbol_info_t
};

class LostServer : public testing::TestWithParam<LostServerCase> {};

// With a retry window the run rides through the restart: exit code 0, every
// row stored, the console as on a quiet night but for the lines of the
// waits; a pause shorter than the timeout is only waited for. Without a
// window, or when the server stays away, the run ends with code 1 and the
// connection error, and the table holds whole statements only (for a
// stopped server that went on after the run, the failed one may be among
// them), or with Atomic nothing at all.
TEST_P(LostServer, DuringTheWritePhaseLeavesWholeStatementsOrCompletes) {
  const LostServerCase& c = GetParam();
  TestServer server;
  TempDir input;
  WriteNumberedSymbols(input, 30000);
  const InstalledVendrake vendrake(std::string(kRootConfig) + c.settings);
  const bool atomic = std::string(c.settings).find("db_Publish=Atomic") != std::string::npos;
  int lines = 0;
  std::thread resume;
  // A run that waits for ever is ended, and fails the case.
  const Outcome run = RunWatched(
      "timeout -s KILL 120 env " + VendrakeCommand(vendrake, server.Socket(), {input.Path()}),
      [&](const std::string& line) {
        if (!line.ends_with(c.publishing ? "(D)\r\n" : "(T)\r\n")) return;
        if (++lines != (c.publishing ? 30000 : 1)) return;
        if (!c.killed) {
          server.Pause();
          if (c.back) {
            resume = std::thread([&server] {
              std::this_thread::sleep_for(std::chrono::seconds(5));
              server.Resume();
            });
          }
          return;
        }
        server.Kill();
        if (c.back) server.Start();
      });
  if (resume.joinable()) resume.join();
  if (!c.killed) server.Resume();
  if (c.killed && !c.back) server.Start();
  ASSERT_NE(run.exit_code, -1);
  const std::string& out = run.out;
  EXPECT_EQ(server.Query("SELECT COUNT(*) FROM symbol_info_f"),
            atomic && c.exit_code != 0 ? "0\n" : "30000\n");
  ASSERT_EQ(run.exit_code, c.exit_code)
      << out.substr(out.size() - std::min<size_t>(out.size(), 500));
  if (c.exit_code == 0) {
    EXPECT_EQ(out.find("\r\nTransient server error 20") != std::string::npos, c.killed);
    EXPECT_EQ(Progress(out, "(T)").size(), 30000u);
    EXPECT_EQ(server.Query("SELECT COUNT(*), SUM(up_days) FROM symbol_info_t"), "30000\t735000\n");
    EXPECT_EQ(server.Query("SELECT COUNT(*) FROM alerts_daily"), "30000\n");
    // The session was closed, not dropped.
    EXPECT_EQ(server.Log().find("Aborted connection"), std::string::npos);
    return;
  }
  EXPECT_TRUE(out.ends_with("\r\nLost connection to server during query\r\n") ||
              out.ends_with("\r\nServer has gone away\r\n") || out.ends_with("(111)\r\n") ||
              out.ends_with("(2)\r\n") || out.ends_with("system error: 110\r\n"))
      << out.substr(out.rfind("\r\n", out.size() - 3));
  if (atomic) {
    EXPECT_EQ(server.Query(kStoredInOrder), "");
  } else {
    ExpectWholeStatements(out, server.Query(kStoredInOrder), !c.killed);
  }
  EXPECT_EQ(server.Query("SELECT COUNT(*) FROM alerts_daily"), "0\n");
}

INSTANTIATE_TEST_SUITE_P(
    ServerFaults, LostServer,
    testing::Values(LostServerCase{true, "db_RetrySeconds=0\n", true, 1},
                    LostServerCase{true, "db_RetrySeconds=3\n", false, 1},
                    LostServerCase{true, "db_RetrySeconds=120\n", true, 0},
                    LostServerCase{false, "", true, 0},
                    LostServerCase{false, "db_RetrySeconds=3\ndb_TimeoutSeconds=2\n", false, 1},
                    LostServerCase{true, "db_Publish=Atomic\ndb_RetrySeconds=0\n", true, 1},
                    LostServerCase{true, "db_Publish=Atomic\n", true, 0, true}));

// The server comes back, but no longer lets vendrake's user in: the
// reconnection is refused for good, which ends the run at once with the
// server's reason instead of being tried for the whole window.
TEST(ServerFaults, AReconnectionRefusedForGoodEndsTheRunAtOnce) {
  TestServer server;
  server.Query("CREATE USER plain@localhost; GRANT ALL ON mydb.* TO plain@localhost");
  TempDir input;
  WriteNumberedSymbols(input, 30000);
  const InstalledVendrake vendrake("[Vendrake]\ndb_User=plain\n");
  int t_lines = 0;
  const Outcome run = RunWatched(VendrakeCommand(vendrake, server.Socket(), {input.Path()}),
                                 [&](const std::string& line) {
                                   if (!line.ends_with("(T)\r\n") || ++t_lines != 1) return;
                                   server.Query("DROP USER plain@localhost");  // its session stays
                                   server.Kill();
                                   server.Start();
                                 });
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(
      run.out.ends_with("\r\nAccess denied for user 'plain'@'localhost' (using password: NO)\r\n"))
      << run.out.substr(run.out.rfind("\r\n", run.out.size() - 3));
  EXPECT_EQ(run.out.find("(using password: NO); retrying"), std::string::npos);
  ExpectWholeStatements(run.out, server.Query(kStoredInOrder), false);
}

// The server rejects two statements in the middle of symbol_info_t's, over
// the connections the case names: the first one in row order is reported,
// the statements before it stay, those in flight beside it are awaited, and
// the console shows the rows up to the one that completed the failed
// statement, not that one nor any later row, though the program builds the
// next statement while the server executes.
class Connections : public testing::TestWithParam<int> {};

TEST_P(Connections, ARejectedStatementInTheMiddleEndsTheOutputWhereItWasSent) {
  Server->ResetTables();
  TempDir input;
  WriteNumberedSymbols(input, 20000);
  std::string tc = "Symbol,Up Days\n";
  for (int i = 0; i < 20000; ++i) {
    tc += "S" + std::to_string(i) + (i == 9000 || i == 19000 ? ",three\n" : ",1\n");
  }
  input.Write("TC_OvernightData.csv", tc);
  const std::string config = kRootConfig + ("db_Connections=" + std::to_string(GetParam()) + "\n");
  const Outcome run =
      RunCommand(VendrakeCommand(InstalledVendrake(config), Server->Socket(), {input.Path()}));
  EXPECT_EQ(run.exit_code, 1);
  const std::string intro = "\r\nError in Query\r\nREPLACE INTO symbol_info_t(";
  const size_t error = run.out.find(intro);
  ASSERT_NE(error, std::string::npos);
  const size_t statement_end = run.out.find("\r\n", error + intro.size());
  const std::string statement = run.out.substr(error, statement_end - error);
  EXPECT_NE(statement.find("(\"S9000\", NOW()"), std::string::npos);
  size_t tuples = 0;
  for (size_t at = 0; (at = statement.find("(\"S", at)) != std::string::npos; ++at) ++tuples;

  const size_t stored = std::stoul(statement.substr(statement.find("(\"S") + 3));  // before it
  ASSERT_GT(stored, 0u);  // a whole statement before the failed one
  const std::vector<std::string> printed = Progress(run.out, "(T)");
  ASSERT_EQ(printed.size(), stored + tuples - 1);
  EXPECT_EQ(printed.back(), "S" + std::to_string(stored + tuples - 2));
  EXPECT_EQ(run.out.find("(T)\r\n", error), std::string::npos);
  ExpectWholeStatements(run.out, Server->Query(kStoredInOrder), false, GetParam());
  EXPECT_EQ(Server->Query("SELECT COUNT(*) FROM alerts_daily"), "0\n");
  EXPECT_EQ(Server->Query("SELECT COUNT(last_update) FROM monitor_alive"), "0\n");
}

INSTANTIATE_TEST_SUITE_P(ServerFaults, Connections, testing::Values(1, kDefaultConnections));

// Under a packet limit below a full statement (1 MiB: the old default) the
// statements end early enough to fit and every row lands, counted in the
// run report. A row that fits no statement is not sent; the report names
// its size and the limit of vendrake's session, which SET GLOBAL reaches.
TEST(ServerFaults, StatementsFitTheServersPacketLimitAndARowOverItIsRefusedWhole) {
  TestServer server;
  server.ResetTables();
  server.Query("SET GLOBAL max_allowed_packet = 1048576");
  TempDir input;
  WriteNumberedSymbols(input, 12000);  // symbol_info_t and alerts_daily need two statements
  const std::string report = input.Path() + "/report";
  const InstalledVendrake vendrake(kRootConfig);
  const std::string command = "VENDRAKE_REPORT=" + ShellQuoted(report) + " " +
                              VendrakeCommand(vendrake, server.Socket(), {input.Path()});
  const Outcome loaded = RunCommand(command);
  EXPECT_EQ(loaded.exit_code, 0) << loaded.out.substr(loaded.out.size() - 300);
  EXPECT_EQ(server.Query("SELECT COUNT(*) FROM symbol_info_t"), "12000\n");
  EXPECT_EQ(ReadFile(report),
            "symbol_info_f 12000\nsymbol_info_t 12000\nalerts_daily 12000\nheartbeat 1\n");

  // With a row too long for its column before it, on the other
  // connection, that row's rejection is the failure told.
  const std::string f_file = ReadFile(input.Path() + "/F_OvernightData.csv");
  const std::string big(1048576, 'x');
  const std::string big_statement =
      "REPLACE INTO symbol_info_f VALUES (\"BIG\", \"" + big + "\", \"NYSE\", \"N\")";
  const struct {
    std::string before_big, statement_start, reason_start, report;
  } cases[] = {
      {"", big_statement + "\r\n",
       "Statement of " + std::to_string(big_statement.size()) +
           " bytes is too large for the server's "
           "max_allowed_packet of 1048576 bytes\r\n",
       "symbol_info_f 12000\nsymbol_info_t 0\nalerts_daily 0\n"},
      {"LONG," + std::string(256, 'x') + ",NYSE\n", "REPLACE INTO symbol_info_f VALUES (\"S0\"",
       "Data too long for column 'company_name' at row 12001\r\n",
       "symbol_info_f 0\nsymbol_info_t 0\nalerts_daily 0\n"},
  };
  for (const auto& c : cases) {
    input.Write("F_OvernightData.csv", f_file + c.before_big + "BIG," + big + ",NYSE\n");
    const Outcome run = RunCommand(command);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "");
    const std::string intro = "\r\nError in Query\r\n";
    const size_t found = run.out.find(intro + c.statement_start);
    ASSERT_NE(found, std::string::npos) << run.out.substr(0, 2000);
    const size_t end = run.out.find("\r\n", found + intro.size());
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(run.out.substr(end + 2, c.reason_start.size()), c.reason_start);
    EXPECT_EQ(ReadFile(report), c.report);
  }
  EXPECT_EQ(server.Log().find("Aborted connection"), std::string::npos);  // closed, not dropped
}

// At the limit read at connect time the largest statement the server takes
// is sent and stored, and one byte more is refused before it is sent. The
// client library reads MYSQL_UNIX_PORT once, so every test that connects in
// this process uses the shared server.
TEST(ServerFaults, TheLargestStatementUnderThePacketLimitIsSentAndOneByteMoreIsNot) {
  TestServer& server = *Server;
  server.ResetTables();
  const std::string limit = server.Query("SELECT @@GLOBAL.max_allowed_packet");
  server.Query("SET GLOBAL max_allowed_packet = 1048576");
  setenv("MYSQL_UNIX_PORT", server.Socket().c_str(), 1);
  TSettings settings;
  settings.DbUser = "root";
  TDatabase database(settings);
  // Trailing blanks, which the server skips, give the statement its size.
  const auto statement = [](const std::string& symbol, size_t size) {
    std::string text = "REPLACE INTO symbol_info_f VALUES ('" + symbol + "', 'Edge Co', '', 'N')";
    text.resize(size, ' ');
    return text;
  };
  database.ExecuteQuery(statement("FITS", 1048574));
  try {
    database.ExecuteQuery(statement("OVER", 1048575));
    ADD_FAILURE() << "sent";
  } catch (const TStatementFailure& failure) {
    EXPECT_EQ(failure.reason,
              "Statement of 1048575 bytes is too large for the server's max_allowed_packet of "
              "1048576 bytes");
  }
  EXPECT_EQ(server.Query("SELECT symbol FROM symbol_info_f"), "FITS\n");
  server.Query("SET GLOBAL max_allowed_packet = " + limit);
}

}  // namespace
}  // namespace vendrake
