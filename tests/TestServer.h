// A throw-away MariaDB server for the tests: a fresh data directory and a
// socket under a temporary directory, by default no network port, user root
// without a password, and a database "mydb" made from the project's schema. The
// mariadb command-line client, not the code under test, reads it back.
#ifndef VENDRAKE_TESTS_TESTSERVER_H_
#define VENDRAKE_TESTS_TESTSERVER_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "TempDir.h"

namespace vendrake {

class TestServer {
 public:
  // Where the data come from: made here, schema included, or sent at every
  // start by the Galera cluster the server joins (options say which), into
  // an emptied data directory.
  enum class Data { kMadeHere, kFromCluster };

  // Starts the server with options for mariadbd, and waits until it
  // answers; throws when it cannot, leaving no server behind.
  explicit TestServer(std::vector<std::string> options = {"--skip-networking"},
                      Data data = Data::kMadeHere);
  // Stops the server, if it runs, and waits for it to end.
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  const std::string& Socket() const { return socket_; }

  // Ends the server at once with SIGKILL, as a crash would; does nothing
  // when it does not run.
  void Kill();
  // Stops the server's process with SIGSTOP, as a hung machine would: its
  // connections stay open and say nothing; Resume lets it go on. Each
  // does nothing when the server does not run.
  void Pause();
  void Resume();
  // Starts the server on its data and waits until it answers; the
  // constructor does so first, a test again after Kill. Throws when it
  // cannot, or when the server already runs.
  void Start();

  // Runs sql in mydb and returns the result rows, one per line, fields
  // separated by tabs, without column names. Throws on an error.
  std::string Query(const std::string& sql) const;
  // What the server wrote to its error log so far.
  std::string Log() const;
  // Empties the four tables and gives this computer its monitor_alive row.
  void ResetTables() const;

 private:
  // Whether the server answers before it ends or time runs out.
  bool WaitUntilReady();
  // Sends signal to the server it started, if that still runs, and reaps it.
  void Stop(int signal);
  // The mariadb client on the server, as root, with the given arguments.
  std::string Client(const std::string& args) const;

  std::string TmpDir() const { return dir_.Path() + "/tmp"; }
  std::string DataDir() const { return dir_.Path() + "/data"; }

  TempDir dir_;
  std::string socket_;
  std::vector<std::string> options_;
  Data data_;
  pid_t pid_ = -1;  // the running server's id, else -1; only an id > 0 is signalled
};

}  // namespace vendrake

#endif  // VENDRAKE_TESTS_TESTSERVER_H_
