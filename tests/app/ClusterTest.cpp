// Vendrake against a Galera cluster while nodes die by SIGKILL in the
// middle of symbol_info_t: a node it does not use, the node the proxy
// sends it to, and the only node it can reach. Prints per case what the
// run went through.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <string>

#include "ServerTests.h"
#include "TestCluster.h"

namespace vendrake {
namespace {

constexpr int kProxy = -1;

// Makes a node's reads wait until it has applied what the cluster
// committed before.
constexpr char kSynced[] = "SET SESSION wsrep_sync_wait = 15; ";

// What a node holds: row counts, the heartbeat, checksums.
std::string Contents(const TestServer& node) {
  return node.Query(
      std::string(kSynced) +
      "SELECT COUNT(*) FROM symbol_info_f; SELECT COUNT(*), "
      "SUM(up_days) FROM symbol_info_t; SELECT COUNT(*) FROM alerts_daily; SELECT "
      "COUNT(last_update) FROM monitor_alive; CHECKSUM TABLE symbol_info_f, symbol_info_t, "
      "alerts_daily, monitor_alive");
}

// What a complete run leaves: every row, up_days i % 50, the heartbeat.
constexpr char kComplete[] = "30000\n30000\t735000\n30000\n1\n";

// The contents every node but skip holds, printed with their row counts;
// expects them to be the same on each.
std::string SameOnEvery(const TestCluster& cluster, int skip) {
  std::string first;
  for (int node = 0; node < TestCluster::kNodes; ++node) {
    if (node == skip) continue;
    const std::string contents = Contents(cluster.Node(node));
    std::string rows = contents.substr(0, contents.find("mydb."));
    std::replace(rows.begin(), rows.end(), '\n', ' ');
    std::replace(rows.begin(), rows.end(), '\t', ' ');
    std::cout << "[ cluster  ]   node " << node
              << ": rows f, t and sum of up_days, d, heartbeat: " << rows << "\n";
    if (first.empty()) first = contents;
    EXPECT_EQ(contents, first) << "node " << node;
  }
  return first;
}

// The symbols S0 ... S<count - 1>, one per line: the row order.
std::string FirstRows(size_t count) {
  std::string rows;
  for (size_t i = 0; i < count; ++i) rows += "S" + std::to_string(i) + "\n";
  return rows;
}

struct Watched {
  Outcome outcome;
  std::string errors;  // of the retry lines, each followed by a blank
  double waited = 0;   // the sum of the waits the retry lines announce
  double pause = 0;    // the longest silence of the console after the kill
};

// Runs vendrake on input through port; kills victim, if any, at the
// 12,000th row line of symbol_info_t.
Watched RunVendrake(const std::string& config, int port, const TempDir& input, TestServer* victim) {
  const InstalledVendrake vendrake(config);
  Watched run;
  int t_lines = 0;
  bool killed = false;
  auto last = std::chrono::steady_clock::now();
  run.outcome = RunWatched(
      "MYSQL_TCP_PORT=" + std::to_string(port) + " " + ShellQuoted(vendrake.Path()) + " " +
          ShellQuoted(input.Path()),
      [&](const std::string& line) {
        const auto now = std::chrono::steady_clock::now();
        if (killed) {
          run.pause = std::max(run.pause, std::chrono::duration<double>(now - last).count());
        }
        last = now;
        if (line.starts_with("Transient server error ")) {
          run.errors += line.substr(23, 4) + " ";
          run.waited += std::stod(line.substr(line.rfind("retrying in ") + 12));
        }
        if (victim != nullptr && line.ends_with("(T)\r\n") && ++t_lines == 12000) {
          victim->Kill();
          killed = true;
        }
      });
  return run;
}

TEST(Cluster, NodeFaultsAreRiddenThroughOrLeaveWholeStatements) {
  TestCluster cluster;
  TempDir input;
  WriteNumberedSymbols(input, 30000);
  const struct {
    const char* name;
    int target;   // the node vendrake connects to, or kProxy
    int victim;   // the node killed, or -1
    bool serves;  // whether the victim holds vendrake's connection
    const char* retry_seconds;
    int exit_code;  // 1: the victim stays down until the run has ended
  } cases[] = {
      {"healthy cluster, node 0", 0, -1, false, "120", 0},
      {"unused node 2 killed, vendrake on node 0", 0, 2, false, "120", 0},
      {"through the proxy, its node 1 killed", kProxy, 1, true, "120", 0},
      {"node 2 alone, killed for good", 2, 2, true, "3", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cluster.Node(0).ResetTables();
    const std::string config =
        std::string(kRootConfig) + "db_Host=127.0.0.1\ndb_RetrySeconds=" + c.retry_seconds + "\n";
    const int port = c.target == kProxy ? cluster.ProxyPort() : cluster.Port(c.target);
    const Watched run =
        RunVendrake(config, port, input, c.victim < 0 ? nullptr : &cluster.Node(c.victim));
    const std::string& out = run.outcome.out;
    EXPECT_EQ(run.outcome.exit_code, c.exit_code)
        << out.substr(out.size() - std::min<size_t>(out.size(), 600));
    std::cout << "[ cluster  ] " << c.name << ": exit " << run.outcome.exit_code << ", "
              << "retries after " << (run.errors.empty() ? "none " : run.errors) << "announcing "
              << run.waited << " s of waits, longest console pause after the kill " << run.pause
              << " s\n";
    EXPECT_EQ(run.errors.find("20") != std::string::npos, c.serves) << run.errors;  // 2006, 2013
    const std::string survivors = SameOnEvery(cluster, c.victim);
    if (c.exit_code == 0) {
      EXPECT_TRUE(survivors.starts_with(kComplete)) << survivors;
    }
    if (c.exit_code == 1) {
      // Whole statements, in row order: the table ends where the failed
      // statement starts, or, when its commit reached the cluster before
      // the node died, where it ends.
      const std::string t = cluster.Node(0).Query(
          std::string(kSynced) +
          "SELECT symbol FROM symbol_info_t ORDER BY CAST(SUBSTRING(symbol, 2) AS UNSIGNED)");
      const size_t stored = std::count(t.begin(), t.end(), '\n');
      EXPECT_EQ(t, FirstRows(stored));
      std::string console;
      for (const std::string& symbol : Progress(out, "(T)")) console += symbol + "\n";
      EXPECT_EQ(console, FirstRows(std::count(console.begin(), console.end(), '\n')));
      const size_t error = out.find("\r\nError in Query\r\nREPLACE INTO symbol_info_t(");
      ASSERT_NE(error, std::string::npos);
      const size_t first = std::stoul(out.substr(out.find("(\"S", error) + 3));
      const size_t last = std::stoul(out.substr(out.rfind("(\"S") + 3));
      EXPECT_TRUE(stored == first || stored == last + 1) << stored << " " << first << " " << last;
      EXPECT_TRUE(survivors.starts_with("30000\n" + std::to_string(stored) + "\t")) << survivors;
      EXPECT_NE(survivors.find("\n0\n0\nmydb."), std::string::npos) << survivors;  // d, heartbeat
      cluster.Rejoin(c.victim);
      EXPECT_EQ(RunVendrake(config, port, input, nullptr).outcome.exit_code, 0);
      EXPECT_TRUE(SameOnEvery(cluster, -1).starts_with(kComplete));
    } else if (c.victim >= 0) {
      cluster.Rejoin(c.victim);
    }
  }
}

}  // namespace
}  // namespace vendrake
