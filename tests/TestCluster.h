// A throw-away Galera cluster of three mariadbd nodes on loopback ports,
// each with its own data, and HAProxy before it sending every client to the
// first healthy node. Node 0 makes the schema and bootstraps the cluster;
// the others take their data from it by state transfer. Owns the processes
// and stops them all when it goes.
#ifndef VENDRAKE_TESTS_TESTCLUSTER_H_
#define VENDRAKE_TESTS_TESTCLUSTER_H_

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestServer.h"

namespace vendrake {

class TestCluster {
 public:
  static constexpr int kNodes = 3;

  // Starts the nodes one by one and then the proxy; throws when a node
  // does not join.
  TestCluster();
  ~TestCluster();
  TestCluster(const TestCluster&) = delete;
  TestCluster& operator=(const TestCluster&) = delete;

  // The client port of a node.
  int Port(int node) const { return ports_[node].client; }
  // The proxy's port. Its first choice is node 1: node 0 is never killed,
  // so that no restart ever has to bootstrap the cluster again.
  int ProxyPort() const { return proxy_port_; }
  TestServer& Node(int node) const { return *nodes_[node]; }

  // Starts a killed node again, once the others have dropped it, on empty
  // data, and waits until every node is synced in one cluster.
  void Rejoin(int node);
  // Waits until the nodes that answer form a primary component of size
  // members, all synced; throws when time runs out.
  void AwaitMembers(int members) const;

 private:
  struct Ports {
    int client, group, state_transfer, incremental;
  };
  std::vector<std::string> NodeOptions(int node) const;

  std::vector<Ports> ports_;
  std::vector<std::unique_ptr<TestServer>> nodes_;
  TempDir proxy_dir_;
  int proxy_port_;
  pid_t proxy_pid_ = -1;
};

}  // namespace vendrake

#endif  // VENDRAKE_TESTS_TESTCLUSTER_H_
