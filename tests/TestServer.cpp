#include "TestServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "ProgramRun.h"
#include "app/TradingDate.h"

namespace vendrake {

namespace {

void Run(const std::string& command) {
  const Outcome run = RunCommand(command);
  if (run.exit_code != 0) throw std::runtime_error(command + " failed: " + run.err);
}

}  // namespace

TestServer::TestServer() : socket_(dir_.Path() + "/mysqld.sock") {
  const std::string data = dir_.Path() + "/data";
  Run("mariadb-install-db --no-defaults --datadir=" + data +
      " --auth-root-authentication-method=normal --skip-test-db --user=root");
  Start();
  Run("mariadb --no-defaults -uroot --socket=" + socket_ + " -e 'CREATE DATABASE mydb'");
  Run("mariadb --no-defaults -uroot --socket=" + socket_ +
      " mydb < " VENDRAKE_SOURCE_DIR "/sql/schema.sql");
}

void TestServer::Start() {
  const std::string data = dir_.Path() + "/data";
  pid_ = fork();
  if (pid_ == 0) {
    // Its start-up warnings go to its log, not into the test report.
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    const std::string datadir = "--datadir=" + data;
    const std::string socket = "--socket=" + socket_;
    const std::string log = "--log-error=" + dir_.Path() + "/server.log";
    execlp("mariadbd", "mariadbd", "--no-defaults", datadir.c_str(), socket.c_str(),
           "--skip-networking", "--user=root", log.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  WaitUntilReady();
}

void TestServer::Kill() {
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

TestServer::~TestServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

void TestServer::WaitUntilReady() const {
  const std::string probe = "mariadb --no-defaults -uroot --socket=" + socket_ + " -e 'SELECT 1'";
  for (int attempt = 0; attempt < 300; ++attempt) {
    if (RunCommand(probe).exit_code == 0) return;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  throw std::runtime_error("the database server did not start: " +
                           ReadFile(dir_.Path() + "/server.log"));
}

std::string TestServer::Query(const std::string& sql) const {
  TempDir dir;
  const std::string file = dir.Write("query.sql", sql);
  const Outcome run = RunCommand("mariadb --no-defaults -uroot --socket=" + socket_ +
                                 " --batch --skip-column-names mydb < " + file);
  if (run.exit_code != 0) throw std::runtime_error("query failed: " + sql + "\n" + run.err);
  return run.out;
}

void TestServer::ResetTables() const {
  Query(
      "DELETE FROM symbol_info_f; DELETE FROM symbol_info_t; DELETE FROM alerts_daily;"
      "DELETE FROM monitor_alive; INSERT INTO monitor_alive VALUES ('Overnight " +
      LocalComputerName() + "', NULL);");
}

}  // namespace vendrake
