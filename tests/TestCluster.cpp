#include "TestCluster.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "ServerTests.h"

namespace vendrake {

namespace {

constexpr char kState[] =
    "SELECT GROUP_CONCAT(VARIABLE_VALUE ORDER BY VARIABLE_NAME SEPARATOR ' ') FROM "
    "information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME IN ('WSREP_CLUSTER_SIZE', "
    "'WSREP_CLUSTER_STATUS', 'WSREP_LOCAL_STATE_COMMENT')";

std::string Address(int port) { return "127.0.0.1:" + std::to_string(port); }

}  // namespace

TestCluster::TestCluster() : proxy_port_(FreePort()) {
  for (int node = 0; node < kNodes; ++node) {
    ports_.push_back({FreePort(), FreePort(), FreePort(), FreePort()});
  }
  nodes_.push_back(std::make_unique<TestServer>(NodeOptions(0)));
  for (int node = 1; node < kNodes; ++node) {
    nodes_.push_back(
        std::make_unique<TestServer>(NodeOptions(node), TestServer::Data::kFromCluster));
    AwaitMembers(node + 1);
  }
  // Set up as the common Galera recipes do: a MySQL health check (every
  // 200 ms here, two failures take a node out), sessions idle for hours
  // allowed, and the sessions of a node marked down left open. A
  // connection that finds its node dead goes to the next.
  Node(0).Query("CREATE USER haproxy_check@'127.0.0.1'");
  std::string config =
      "defaults\n  mode tcp\n  timeout connect 1s\n  timeout client 8h\n  timeout server 8h\n"
      "  retries 1\n  option redispatch\nlisten galera\n  bind " +
      Address(proxy_port_) +
      "\n  balance first\n  option tcpka\n  option mysql-check user haproxy_check\n";
  for (int node : {1, 2, 0}) {
    config += "  server node" + std::to_string(node) + " " + Address(Port(node)) +
              " check inter 200ms fall 2 rise 2\n";
  }
  const std::string file = proxy_dir_.Write("haproxy.cfg", config);
  const char* argv[] = {"haproxy", "-db", "-q", "-f", file.c_str(), nullptr};
  if (posix_spawnp(&proxy_pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) !=
      0) {
    throw std::runtime_error("haproxy did not start");
  }
}

TestCluster::~TestCluster() {
  if (proxy_pid_ > 0) {
    kill(proxy_pid_, SIGTERM);
    waitpid(proxy_pid_, nullptr, 0);
  }
  // The joiners leave first, so that each node shuts down in a cluster
  // that knows it goes.
  while (!nodes_.empty()) nodes_.pop_back();
}

std::vector<std::string> TestCluster::NodeOptions(int node) const {
  std::string members;
  for (const Ports& ports : ports_) members += (members.empty() ? "" : ",") + Address(ports.group);
  const Ports& own = ports_[node];
  // A shorter suspect timeout: the survivors agree to drop a killed node
  // after about 3 s rather than 5. A node alone decides that another is
  // gone only after 10 s, so that one starved of CPU by a busy machine is
  // not cut off and the cluster split.
  std::vector<std::string> options = {
      "--port=" + std::to_string(own.client), "--bind-address=127.0.0.1", "--wsrep-on=ON",
      "--wsrep-provider=/usr/lib/galera/libgalera_smm.so",
      "--wsrep-cluster-address=gcomm://" + members,
      // A name of its own: a node of another cluster on this machine that
      // reaches one of these ports, say one its killed peer held, is refused.
      "--wsrep-cluster-name=vendrake-" + std::to_string(getpid()),
      "--wsrep-node-address=" + Address(own.group),
      "--wsrep-sst-receive-address=" + Address(own.state_transfer),
      "--wsrep-provider-options=ist.recv_addr=" + Address(own.incremental) +
          ";gcache.size=32M;evs.keepalive_period=PT0.5S;evs.suspect_timeout=PT3S;"
          "evs.inactive_timeout=PT10S;evs.install_timeout=PT5S",
      "--wsrep-sst-method=rsync", "--binlog-format=ROW", "--innodb-autoinc-lock-mode=2"};
  if (node == 0) options.push_back("--wsrep-new-cluster");
  return options;
}

void TestCluster::AwaitMembers(int members) const {
  const std::string expected = std::to_string(members) + " Primary Synced\n";
  for (int attempt = 0; attempt < 600; ++attempt) {
    int agreeing = 0;
    for (const auto& node : nodes_) {
      try {
        agreeing += node->Query(kState) == expected;
      } catch (const std::runtime_error&) {
        // a killed node, or one not yet started
      }
    }
    if (agreeing == members) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  throw std::runtime_error("the cluster did not settle with " + std::to_string(members) +
                           " members");
}

void TestCluster::Rejoin(int node) {
  AwaitMembers(kNodes - 1);
  Node(node).Start();
  AwaitMembers(kNodes);
}

}  // namespace vendrake
