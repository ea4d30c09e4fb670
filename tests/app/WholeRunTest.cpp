// The whole job against a real server: what lands in each table, the
// console output, the batching, and the failure paths with what they leave
// in the database.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "ProgramRun.h"
#include "ServerTests.h"
#include "TempDir.h"
#include "app/TradingDate.h"

namespace vendrake {
namespace {

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) hex.append({kDigits[c >> 4], kDigits[c & 15]});
  return hex;
}

std::string Rows(const std::vector<std::vector<std::string>>& rows) {
  std::string text;
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) text.append(i ? "\t" : "").append(row[i]);
    text.push_back('\n');
  }
  return text;
}

class WholeRun : public testing::Test {
 protected:
  void SetUp() override { Server->ResetTables(); }

  Outcome Vendrake(const std::vector<std::string>& directories,
                   const std::string& config = kRootConfig) {
    const InstalledVendrake vendrake(config);
    return RunCommand(VendrakeCommand(vendrake, Server->Socket(), directories));
  }
  std::string Count(const std::string& table) {
    return Server->Query("SELECT COUNT(*) FROM " + table);
  }
  std::string Heartbeat() { return Server->Query("SELECT last_update FROM monitor_alive"); }
};

// Two directories: the second's non-empty cells replace the first's, its
// empty ones erase nothing, and text with quotes, backslashes, semicolons
// and multibyte UTF-8 lands byte for byte.
struct TwoDirectories {
  TempDir first, second;
  TwoDirectories() {
    first.Write("F_OvernightData.csv",
                "Symbol,Company Name,Sector,Listed Exchange,Previous High,Bunny 130,"
                "Prev Put Volume\r\n"
                "ABC,\"Acme, \"\"Best\"\" Co\",Tech,NYSE,10.5,1.25,100\r\n"
                "abc,O'Brien \\ Sons; Ltd,Tech,NASDAQ,,,\r\n"
                "XCH,,Misc,ARCA,,,\r\n"
                "ZED,Soci\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC,Fin,,,,\r\n");
    first.Write("OvernightData.csv",
                "Symbol,Tick Volatility,Last Price,Correlation Symbol,Avg Daily Volume\r\n"
                "ABC,0.5,12.5,SPY,1000\r\n"
                "ONLY,0.7,3.25,QQQ,\r\n"
                "ZED,,,,\r\n");
    first.Write("TC_OvernightData.csv", "Symbol,Up Days,20 Day StdDev\r\nABC,3,0.125\r\n");
    second.Write("F_OvernightData.csv",
                 "Symbol,Company Name,Listed Exchange,Previous High\n"
                 "ABC,,NYSE,11\n"
                 "NEW,New Co,BATS,\n");
    second.Write("OvernightData.csv", "Symbol,Last Price,Tick Volatility\nABC,13,\n");
    second.Write("TC_OvernightData.csv", "Symbol,Up Days\nabc,-2\n");
  }
  std::vector<std::string> Args() const { return {first.Path(), second.Path()}; }
};

TEST_F(WholeRun, TwoDirectoriesLandRowByRowAsTheFilesSay) {
  const TwoDirectories input;
  const std::string before = ComputeTradingDate();
  const Outcome run = Vendrake(input.Args());
  const std::string after = ComputeTradingDate();
  ASSERT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "Reading:  " + input.first.Path() + "\r\nReading:  " + input.second.Path() +
                         "\r\n"
                         "ABC  (F)\r\nabc  (F)\r\nZED  (F)\r\nXCH  (F)\r\nNEW  (F)\r\n"
                         "ABC  (T)\r\nONLY  (T)\r\nabc  (T)\r\n"
                         "ABC  (D)\r\nabc  (D)\r\nXCH  (D)\r\nONLY  (D)\r\nNEW  (D)\r\n");

  EXPECT_EQ(Server->Query("SELECT HEX(symbol), HEX(company_name), HEX(exchange), constant_flag "
                          "FROM symbol_info_f ORDER BY symbol"),
            Rows({{Hex("ABC"), Hex("Acme, \"Best\" Co"), Hex("NYSE"), "N"},
                  {Hex("NEW"), Hex("New Co"), Hex("BATS"), "N"},
                  {Hex("XCH"), "", Hex("ARCA"), "N"},
                  {Hex("ZED"), Hex("Soci\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"), "", "N"},
                  {Hex("abc"), Hex("O'Brien \\ Sons; Ltd"), Hex("NASDAQ"), "N"}}));

  const std::string n = "NULL";
  EXPECT_EQ(
      Server->Query("SELECT symbol, volatility, last_price, ad_vol, sma_200, sma_50, sma_20, "
                    "up_days, correlation_symbol, correlation_m, correlation_r2, "
                    "f_correlation_m, f_correlation_r2, range_contraction, bunny_130, "
                    "consolidation_days, std_20, average_true_range "
                    "FROM symbol_info_t ORDER BY symbol"),
      Rows({{"ABC", "0.5", "13", "1000", n, n, n, "3", "SPY", n, n, n, n, n, "1.25", n, "0.125", n},
            {"ONLY", "0.7", "3.25", n, n, n, n, n, "QQQ", n, n, n, n, n, n, n, n, n},
            {"abc", n, n, n, n, n, n, "-2", n, n, n, n, n, n, n, n, n, n}}));
  EXPECT_EQ(Server->Query("SELECT COUNT(*) FROM symbol_info_t WHERE last_update IS NULL"), "0\n");

  EXPECT_EQ(
      Server->Query("SELECT d_symbol, advol, list_exch, up_days, volatility, "
                    "range_contraction, sma_200, sma_50, sma_20, bright_volatility, high_p, "
                    "low_p, high_52w, low_52w, std_20, bunny_130, consolidation_days, "
                    "consolidation_high, consolidation_low, average_true_range, "
                    "last_price, high_life, low_life, prev_put_volume, prev_call_volume "
                    "FROM alerts_daily ORDER BY d_symbol"),
      Rows({{"ABC", "1000",  "NYSE", "3", "0.5", n, n, n,    n, n, "11",  n, n,
             n,     "0.125", "1.25", n,   n,     n, n, "13", n, n, "100", n},
            {"NEW", n, "BATS", n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n},
            {"ONLY", n, n, n, "0.7", n, n, n,      n, n, n, n, n,
             n,      n, n, n, n,     n, n, "3.25", n, n, n, n},
            {"XCH", n, "ARCA", n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n, n},
            {"abc", n, "NASDAQ", "-2", n, n, n, n, n, n, n, n, n,
             n,     n, n,        n,    n, n, n, n, n, n, n, n}}));
  const std::string dates = Server->Query("SELECT DISTINCT date FROM alerts_daily");
  EXPECT_TRUE(dates == before + "\n" || dates == after + "\n") << dates;
  const std::string heartbeat = Heartbeat();
  EXPECT_TRUE(heartbeat == before + "\n" || heartbeat == after + "\n") << heartbeat;

  // A second run over the same data replaces every row instead of adding;
  // on an earlier night's rows it adds its own.
  ASSERT_EQ(Vendrake(input.Args()).exit_code, 0);
  EXPECT_EQ(Count("symbol_info_f"), "5\n");
  EXPECT_EQ(Count("symbol_info_t"), "3\n");
  EXPECT_EQ(Count("alerts_daily"), "5\n");
  Server->Query("UPDATE alerts_daily SET date = date - INTERVAL 1 DAY");
  ASSERT_EQ(Vendrake(input.Args()).exit_code, 0);
  EXPECT_EQ(Server->Query("SELECT COUNT(*), COUNT(DISTINCT date) FROM alerts_daily"), "10\t2\n");
}

// Values built to break out of a literal land byte for byte, and nothing
// else in the database changes: tab and Ctrl-Z inside quotes, both quote
// kinds, backslashes before quotes, comment markers, statement ends, and
// valid and invalid UTF-8.
TEST_F(WholeRun, HostileValuesAreStoredByteForByte) {
  const std::string symbol = "x\xFF\xFEy";
  const std::string company = "a\tb\x1A\\\"c' --x /* # ;";
  const std::string exchange = "\xE6\x97\xA5\xC3";
  const std::string breakout = "\\'); DROP TABLE symbol_info_t; -- \"";
  TempDir input;
  input.Write("F_OvernightData.csv", "Symbol,Company Name,Listed Exchange\n" + symbol + ",\"" +
                                         "a\tb\x1A\\\"\"c' --x /* # ;\",\"" + exchange +
                                         "\"\nabc,\"\\'); DROP TABLE symbol_info_t; -- \"\"\",N\n");
  input.Write("OvernightData.csv", "Symbol,Correlation Symbol\nabc,\"" + breakout + "\"\"\"\n");
  input.Write("TC_OvernightData.csv", "Symbol\n");
  const Outcome run = Vendrake({input.Path()});
  ASSERT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(
      Server->Query("SELECT HEX(symbol), HEX(company_name), HEX(exchange) FROM "
                    "symbol_info_f ORDER BY symbol"),
      Rows({{Hex("abc"), Hex(breakout), Hex("N")}, {Hex(symbol), Hex(company), Hex(exchange)}}));
  EXPECT_EQ(Server->Query("SELECT HEX(correlation_symbol) FROM symbol_info_t"),
            Hex(breakout + "\"") + "\n");
  EXPECT_EQ(Server->Query("SHOW TABLES"),
            "alerts_daily\nmonitor_alive\nsymbol_info_f\nsymbol_info_t\n");
  EXPECT_EQ(Count("alerts_daily"), "2\n");
}

// Enough rows for several statements per table: every row arrives once,
// with its values, and the rows went out in a handful of statements, over
// several connections, with the console of one.
TEST_F(WholeRun, LargeTablesGoOutInStatementsOfAboutAMegabyte) {
  constexpr int kSymbols = 12000;
  TempDir input;
  WriteNumberedSymbols(input, kSymbols);
  long long up_days_sum = 0;
  for (int i = 0; i < kSymbols; ++i) up_days_sum += i % 50;
  const auto replaces = [] {
    const std::string row = Server->Query("SHOW GLOBAL STATUS LIKE 'Com_replace'");
    return std::stoi(row.substr(row.find('\t') + 1));
  };
  const int replaces_before = replaces();
  const Outcome run = Vendrake({input.Path()});
  ASSERT_EQ(run.exit_code, 0) << run.out.substr(0, 2000);
  const int statements = replaces() - replaces_before;
  // symbol_info_f's tuples make about 0.7 MB, the other two 1.4 and 2 MB.
  EXPECT_GE(statements, 1 + 2 + 2);
  EXPECT_LE(statements, 1 + 2 + 3);
  const std::string sums = std::to_string(kSymbols) + "\t" +
                           std::to_string(kSymbols * (kSymbols - 1) / 2 + kSymbols / 2) + "\t" +
                           std::to_string(up_days_sum) + "\n";
  EXPECT_EQ(Server->Query("SELECT COUNT(*), SUM(last_price), SUM(up_days) FROM symbol_info_t"),
            sums);
  EXPECT_EQ(Server->Query("SELECT COUNT(*), SUM(last_price), SUM(up_days) FROM alerts_daily"),
            sums);
  EXPECT_EQ(Server->Query("SELECT COUNT(*) FROM symbol_info_f WHERE company_name = "
                          "CONCAT('Company number ', SUBSTRING(symbol, 2), ' of a long name')"),
            std::to_string(kSymbols) + "\n");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1 + 3 * kSymbols);
  // The default's several connections print what one does.
  EXPECT_EQ(Vendrake({input.Path()}, std::string(kRootConfig) + "db_Connections=1\n").out, run.out);
}

// The server rejects symbol_info_t's statement: it is printed with the
// server's error, symbol_info_f stays written, nothing later runs.
TEST_F(WholeRun, ARejectedStatementEndsTheRunWithCode1) {
  TempDir input;
  input.Write("F_OvernightData.csv", "Symbol,Company Name\nABC,Acme\n");
  input.Write("OvernightData.csv", "Symbol,Last Price\nABC,12\n");
  input.Write("TC_OvernightData.csv", "Symbol,Up Days\nABC,three\n");
  const Outcome run = Vendrake({input.Path()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "");
  const std::string statement =
      "REPLACE INTO symbol_info_t(symbol, last_update, volatility, last_price, ad_vol, sma_200, "
      "sma_50, sma_20, up_days, correlation_symbol, correlation_m, correlation_r2, "
      "f_correlation_m, f_correlation_r2, range_contraction, bunny_130, consolidation_days, "
      "std_20, average_true_range) VALUES (\"ABC\", NOW(), NULL, \"12\", NULL, NULL, NULL, NULL, "
      "\"three\", NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)";
  EXPECT_EQ(run.out, "Reading:  " + input.Path() +
                         "\r\nABC  (F)\r\nABC  (T)\r\nError in Query\r\n" + statement +
                         "\r\nIncorrect integer value: 'three' for column `mydb`.`symbol_info_t`"
                         ".`up_days` at row 1\r\n");
  EXPECT_EQ(Count("symbol_info_f"), "1\n");
  EXPECT_EQ(Count("symbol_info_t"), "0\n");
  EXPECT_EQ(Count("alerts_daily"), "0\n");
  EXPECT_EQ(Heartbeat(), "NULL\n");
}

// With db_Publish=Atomic a reader polling during the run sees the night
// before or the whole new one: every table and the heartbeat of one night.
// A statement rejected in the last table, or the loader killed while it
// writes, leaves every live table as it was, and the next run publishes
// nothing its predecessor staged.
struct AtomicCase {
  const char* put_volume;  // of S10000, in alerts_daily only: "many" is rejected
  bool killed;             // the loader, at the 10000th row line of alerts_daily
  int exit_code;           // as the shell reports it
};

class AtomicNight : public WholeRun, public testing::WithParamInterface<AtomicCase> {};

TEST_P(AtomicNight, ReadersSeeTheNightBeforeOrTheWholeNewOne) {
  const AtomicCase& c = GetParam();
  TempDir old_night, new_night, next_night, scratch;
  WriteNumberedSymbols(old_night, 20000);
  ASSERT_EQ(Vendrake({old_night.Path()}).exit_code, 0);
  Server->Query("UPDATE monitor_alive SET last_update = NULL");
  const std::string kSample =
      "SELECT (SELECT SUM(company_name = 'New') FROM symbol_info_f), "
      "(SELECT SUM(up_days) FROM symbol_info_t), (SELECT SUM(up_days) FROM alerts_daily), "
      "(SELECT COUNT(last_update) FROM monitor_alive)";
  const std::string kSums = "CHECKSUM TABLE symbol_info_f, symbol_info_t, alerts_daily";
  const std::string old_sample = Server->Query(kSample), old_sums = Server->Query(kSums);
  const std::string new_sample = "20000\t140000\t140000\t1\n";
  std::string f = "Symbol,Company Name,Prev Put Volume\n", tc = "Symbol,Up Days\n";
  for (int i = 0; i < 20000; ++i) {
    f += "S" + std::to_string(i) + ",New," + (i == 10000 ? c.put_volume : "1") + "\n";
    tc += "S" + std::to_string(i) + ",7\n";
  }
  new_night.Write("F_OvernightData.csv", f);
  new_night.Write("OvernightData.csv", "Symbol\n");
  new_night.Write("TC_OvernightData.csv", tc);

  // Installed before the reader starts: a client it forks while the copy is
  // open for writing would keep the copy from being executed (ETXTBSY).
  const InstalledVendrake atomic(std::string(kRootConfig) + "db_Publish=Atomic\n");
  std::atomic<bool> running = true;
  std::vector<std::string> samples;
  std::thread reader([&] {
    while (running) samples.push_back(Server->Query(kSample));
  });
  const std::string report = scratch.Path() + "/report", pid = scratch.Path() + "/pid";
  int d_lines = 0;
  const Outcome run = RunWatched(
      "sh -c 'echo $$ >" + pid + " && exec \"$0\" \"$@\"' env VENDRAKE_REPORT=" + report + " " +
          VendrakeCommand(atomic, Server->Socket(), {new_night.Path()}),
      [&](const std::string& line) {
        if (c.killed && line.ends_with("(D)\r\n") && ++d_lines == 10000) {
          kill(std::stoi(ReadFile(pid)), SIGKILL);
        }
      });
  running = false;
  reader.join();
  EXPECT_EQ(run.exit_code, c.exit_code);
  for (const std::string& sample : samples) {
    EXPECT_TRUE(sample == old_sample || sample == new_sample) << sample;
  }
  const bool published = c.exit_code == 0;
  EXPECT_EQ(Server->Query(kSample), published ? new_sample : old_sample);
  // The service is told of the rows published, all or none.
  if (!c.killed) {
    EXPECT_EQ(ReadFile(report),
              published
                  ? "symbol_info_f 20000\nsymbol_info_t 20000\nalerts_daily 20000\nheartbeat 1\n"
                  : "symbol_info_f 0\nsymbol_info_t 0\nalerts_daily 0\n");
  }
  if (published) return;
  EXPECT_EQ(Server->Query(kSums), old_sums);
  WriteNumberedSymbols(next_night, 100);
  EXPECT_EQ(RunCommand(VendrakeCommand(atomic, Server->Socket(), {next_night.Path()})).exit_code,
            0);
  EXPECT_EQ(Server->Query(kSample), "0\t490000\t490000\t1\n");
}

INSTANTIATE_TEST_SUITE_P(WholeRun, AtomicNight,
                         testing::Values(AtomicCase{"1", false, 0}, AtomicCase{"many", false, 1},
                                         AtomicCase{"1", true, 128 + SIGKILL}));

// A refused connection names the settings but never shows the password,
// and no input is read (the directory does not even exist).
TEST_F(WholeRun, ARefusedConnectionIsReportedWithoutThePassword) {
  const Outcome denied =
      Vendrake({"/no/such/dir"}, "[Vendrake]\ndb_User=root\ndb_Password=s3cret\n");
  EXPECT_EQ(denied.exit_code, 2);
  const std::string message =
      "EAssertionFailed:  Unable to connect to database.  Host=\"\", User=\"root\", "
      "Password=\"********\", Database=\"mydb\" (/";
  EXPECT_EQ(denied.out.substr(0, message.size()), message) << denied.out;
  // The server's reason follows on a line of its own.
  EXPECT_TRUE(
      denied.out.ends_with(")\r\nError 1045: Access denied for user 'root'@'localhost' "
                           "(using password: YES)\r\n"))
      << denied.out;
  EXPECT_EQ(denied.out.find("s3cret"), std::string::npos);
  EXPECT_EQ(denied.err, "Hit Enter to continue.\r\n");

  const Outcome unknown = Vendrake({"/no/such/dir"}, "[Common]\ndb_User=root\ndb_Database=nodb\n");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.out.find("Password=\"\", Database=\"nodb\" (/"), std::string::npos)
      << unknown.out;
  EXPECT_TRUE(unknown.out.ends_with(")\r\nError 1049: Unknown database 'nodb'\r\n")) << unknown.out;

  // Staging a night whole needs more than writing it directly.
  Server->Query(
      "CREATE USER writer@localhost; GRANT INSERT, DELETE, UPDATE ON mydb.* TO writer@localhost");
  const Outcome unstaged =
      Vendrake({"/no/such/dir"}, "[Vendrake]\ndb_User=writer\ndb_Publish=Atomic\n");
  Server->Query("DROP USER writer@localhost");
  EXPECT_EQ(unstaged.exit_code, 2);
  EXPECT_TRUE(unstaged.out.starts_with("EAssertionFailed:  Unable to connect to database.  "))
      << unstaged.out;
  EXPECT_NE(unstaged.out.find(")\r\nError 1142: DROP command denied to user 'writer'@'localhost' "
                              "for table `mydb`.`symbol_info_f_staged_"),
            std::string::npos)
      << unstaged.out;
}

// A setting outside its range ends the run before any input is read (the
// directory does not even exist), naming the setting.
TEST_F(WholeRun, ASettingOutOfItsRangeEndsTheRunBeforeAnyInputIsRead) {
  for (const std::string setting :
       {"db_Connections=\"0", "db_Connections=\"65", "db_Connections=\"two",
        "db_TimeoutSeconds=\"0", "db_Publish=\"atomic"}) {
    const Outcome run = Vendrake({"/no/such/dir"}, std::string(kRootConfig) + setting + "\"\n");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.out.starts_with("EAssertionFailed:  " + setting + "\" is not")) << run.out;
  }
}

// A missing second file ends the run after the first was merged; nothing
// reaches the database.
TEST_F(WholeRun, AMissingInputFileEndsTheRunBeforeAnythingIsWritten) {
  TempDir input;
  input.Write("F_OvernightData.csv", "Symbol,Company Name\nABC,Acme\n");
  const Outcome run = Vendrake({input.Path()});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out, "Reading:  " + input.Path() + "\r\nEFOpenError:  Cannot open file \"" +
                         input.Path() + "/OvernightData.csv\". No such file or directory\r\n");
  EXPECT_EQ(Count("symbol_info_f"), "0\n");
  EXPECT_EQ(Heartbeat(), "NULL\n");
  // This run's session, and every earlier one on this server, was closed.
  EXPECT_EQ(Server->Log().find("Aborted connection"), std::string::npos);
}

// The heartbeat names this computer: escaped when the name holds a quote
// or a backslash, "Unknown" when it is longer than 15 characters. Renaming
// the computer needs a UTS namespace of its own, so root.
TEST_F(WholeRun, TheHeartbeatRowIsFoundByTheComputerName) {
  if (RunCommand("unshare --uts true").exit_code != 0) GTEST_SKIP() << "cannot rename the host";
  TempDir input;
  input.Write("F_OvernightData.csv", "Symbol,Company Name\nABC,Acme\n");
  input.Write("OvernightData.csv", "Symbol\n");
  input.Write("TC_OvernightData.csv", "Symbol\n");
  Server->Query(
      "INSERT INTO monitor_alive VALUES ('Overnight Unknown', NULL), "
      "('Overnight q\"b\\\\c', NULL)");
  InstalledVendrake vendrake(kRootConfig);
  for (const std::string name : {"a-name-of-16-chr", "q\"b\\c"}) {
    const Outcome run = RunCommand("MYSQL_UNIX_PORT=" + ShellQuoted(Server->Socket()) +
                                   " unshare --uts sh -c 'printf %s \"$1\" "
                                   ">/proc/sys/kernel/hostname && exec \"$2\" \"$3\"' sh " +
                                   ShellQuoted(name) + " " + ShellQuoted(vendrake.Path()) + " " +
                                   ShellQuoted(input.Path()));
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  }
  EXPECT_EQ(Server->Query("SELECT name FROM monitor_alive WHERE last_update IS NOT NULL "
                          "ORDER BY name"),
            "Overnight Unknown\nOvernight q\"b\\\\c\n");
}

}  // namespace
}  // namespace vendrake
