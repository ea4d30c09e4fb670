#include "TestServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
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

TestServer::TestServer(std::vector<std::string> options)
    : socket_(dir_.Path() + "/mysqld.sock"), options_(std::move(options)) {
  // A temporary directory of its own: servers started at the same moment in
  // other process namespaces can share a process id, and with it the names
  // of their temporary tables in a shared /tmp. The install script takes it
  // from TMPDIR, and -uroot rather than --user=root, as it hands options
  // such as --tmpdir and --user on unquoted, which splits a path with a
  // blank in it.
  std::filesystem::create_directory(TmpDir());
  Run("TMPDIR=" + ShellQuoted(TmpDir()) +
      " mariadb-install-db --no-defaults --datadir=" + ShellQuoted(dir_.Path() + "/data") +
      " --auth-root-authentication-method=normal --skip-test-db -uroot");
  Start();
  try {
    Run(Client("-e 'CREATE DATABASE mydb'"));
    Run(Client("mydb < " + ShellQuoted(VENDRAKE_SOURCE_DIR "/sql/schema.sql")));
  } catch (...) {
    Stop(SIGTERM);
    throw;
  }
}

void TestServer::Start() {
  if (pid_ > 0) throw std::logic_error("the database server runs already");
  // Made before fork: the child of a threaded process should not allocate.
  std::vector<std::string> args = {"mariadbd",
                                   "--no-defaults",
                                   "--datadir=" + dir_.Path() + "/data",
                                   "--socket=" + socket_,
                                   "--user=root",
                                   "--log-error=" + dir_.Path() + "/server.log",
                                   "--tmpdir=" + TmpDir()};
  args.insert(args.end(), options_.begin(), options_.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
  if (pid == 0) {
    // Its start-up warnings go to its log, not into the test report.
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  pid_ = pid;
  if (WaitUntilReady()) return;
  Stop(SIGKILL);
  throw std::runtime_error("the database server did not start: " +
                           ReadFile(dir_.Path() + "/server.log"));
}

void TestServer::Kill() { Stop(SIGKILL); }

TestServer::~TestServer() { Stop(SIGTERM); }

void TestServer::Stop(int signal) {
  if (pid_ <= 0) return;
  kill(pid_, signal);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool TestServer::WaitUntilReady() {
  for (int attempt = 0; attempt < 300; ++attempt) {
    if (RunCommand(Client("-e 'SELECT 1'")).exit_code == 0) return true;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;  // reaped: its number may be another process's soon
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

std::string TestServer::Client(const std::string& args) const {
  return "mariadb --no-defaults -uroot --socket=" + ShellQuoted(socket_) + " " + args;
}

std::string TestServer::Query(const std::string& sql) const {
  TempDir dir;
  const std::string file = dir.Write("query.sql", sql);
  const Outcome run = RunCommand(Client("--batch --skip-column-names mydb < " + ShellQuoted(file)));
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
