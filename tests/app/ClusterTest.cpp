// Vendrake against a Galera cluster while nodes die by SIGKILL, or stop
// by SIGSTOP, in the middle of symbol_info_t: a node it does not use, the
// node the proxy sends it to, and the only node it can reach. Prints per
// case what the run went through.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <utility>

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

// Runs vendrake on input through port; kills victim, if any, at the first
// row line of symbol_info_t, while its later statements are in flight, or
// stops it when stop says so. Returns the outcome and the error codes of
// the retry lines, each followed by a blank.
std::pair<Outcome, std::string> RunVendrake(const std::string& config, int port,
                                            const TempDir& input, TestServer* victim,
                                            bool stop = false) {
  const InstalledVendrake vendrake(config);
  std::string errors;
  int t_lines = 0;
  const Outcome run =
      // A run that waits for ever is ended, and fails its case.
      RunWatched("timeout -s KILL 300 env MYSQL_TCP_PORT=" + std::to_string(port) + " " +
                     ShellQuoted(vendrake.Path()) + " " + ShellQuoted(input.Path()),
                 [&](const std::string& line) {
                   if (line.starts_with("Transient server error "))
                     errors += line.substr(23, 4) + " ";
                   if (victim == nullptr || !line.ends_with("(T)\r\n") || ++t_lines != 1) return;
                   stop ? victim->Pause() : victim->Kill();
                 });
  return {run, errors};
}

TEST(Cluster, NodeFaultsAreRiddenThroughOrLeaveWholeStatements) {
  TestCluster cluster;
  TempDir input;
  WriteNumberedSymbols(input, 30000);
  const struct {
    const char* name;
    int target;   // the node vendrake connects to, or kProxy
    int victim;   // the node killed, or -1
    bool stop;    // stopped rather than killed, until the run has ended
    bool serves;  // whether the victim holds vendrake's connection
    const char* settings;
    int exit_code;  // 1: the victim stays down until the run has ended
  } cases[] = {
      {"healthy cluster, node 0", 0, -1, false, false, "", 0},
      {"unused node 2 killed, vendrake on node 0", 0, 2, false, false, "", 0},
      {"through the proxy, its node 1 killed", kProxy, 1, false, true, "", 0},
      {"through the proxy, its node 1 stopped", kProxy, 1, true, true, "db_TimeoutSeconds=10\n", 0},
      {"through the proxy, its node 1 killed, published atomically", kProxy, 1, false, true,
       "db_Publish=Atomic\n", 0},
      {"node 2 alone, killed for good", 2, 2, false, true, "db_RetrySeconds=3\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cluster.Node(0).ResetTables();
    const std::string config = std::string(kRootConfig) + "db_Host=127.0.0.1\n" + c.settings;
    const int port = c.target == kProxy ? cluster.ProxyPort() : cluster.Port(c.target);
    const auto [run, errors] =
        RunVendrake(config, port, input, c.victim < 0 ? nullptr : &cluster.Node(c.victim), c.stop);
    if (c.stop) cluster.Node(c.victim).Kill();
    const std::string& out = run.out;
    EXPECT_EQ(run.exit_code, c.exit_code)
        << out.substr(out.size() - std::min<size_t>(out.size(), 600));
    std::cout << "[ cluster  ] " << c.name << ": retries after " << errors << "\n";
    EXPECT_EQ(errors.find("20") != std::string::npos, c.serves) << errors;  // 2006, 2013
    const std::string survivors = SameOnEvery(cluster, c.victim);
    if (c.exit_code == 0) {
      EXPECT_TRUE(survivors.starts_with(kComplete)) << survivors;
    }
    if (c.exit_code == 1) {
      const std::string t = cluster.Node(0).Query(std::string(kSynced) + kStoredInOrder);
      ExpectWholeStatements(out, t, true);
      const size_t stored = std::count(t.begin(), t.end(), '\n');
      EXPECT_TRUE(survivors.starts_with("30000\n" + std::to_string(stored) + "\t")) << survivors;
      EXPECT_NE(survivors.find("\n0\n0\nmydb."), std::string::npos) << survivors;  // d, heartbeat
      cluster.Rejoin(c.victim);
      EXPECT_EQ(RunVendrake(config, port, input, nullptr).first.exit_code, 0);
      EXPECT_TRUE(SameOnEvery(cluster, -1).starts_with(kComplete));
    } else if (c.victim >= 0) {
      cluster.Rejoin(c.victim);
    }
  }
}

}  // namespace
}  // namespace vendrake
