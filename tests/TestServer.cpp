#include "TestServer.h"

#include <fcntl.h>
#include <pwd.h>
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

TestServer::TestServer(std::vector<std::string> options, Data data)
    : socket_(dir_.Path() + "/mysqld.sock"), options_(std::move(options)), data_(data) {
  // A temporary directory of its own: servers started at the same moment in
  // other process namespaces can share a process id, and with it the names
  // of their temporary tables in a shared /tmp. The install script takes it
  // from TMPDIR, and -uroot rather than --user=root, as it hands options
  // such as --tmpdir and --user on unquoted, which splits a path with a
  // blank in it.
  std::filesystem::create_directory(TmpDir());
  if (data_ == Data::kFromCluster) {
    Start();
    return;
  }
  Run("TMPDIR=" + ShellQuoted(TmpDir()) + " mariadb-install-db --no-defaults --datadir=" +
      ShellQuoted(DataDir()) + " --auth-root-authentication-method=normal --skip-test-db -uroot");
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
  if (data_ == Data::kFromCluster) {
    // The state transfer's rsync daemon runs as nobody: it must reach the
    // data directory and own it, to give it the donor's mode.
    std::filesystem::remove_all(DataDir());
    std::filesystem::create_directory(DataDir());
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || chown(DataDir().c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
      throw std::runtime_error("cannot give the data directory to nobody");
    }
    std::filesystem::permissions(dir_.Path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
  }
  // Made before fork: the child of a threaded process should not allocate.
  std::vector<std::string> args = {"mariadbd",
                                   "--no-defaults",
                                   "--datadir=" + DataDir(),
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
  throw std::runtime_error("the database server did not start: " + Log());
}

void TestServer::Kill() { Stop(SIGKILL); }

void TestServer::Pause() {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void TestServer::Resume() {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

std::string TestServer::Log() const { return ReadFile(dir_.Path() + "/server.log"); }

TestServer::~TestServer() { Stop(SIGTERM); }

void TestServer::Stop(int signal) {
  if (pid_ <= 0) return;
  kill(pid_, signal);
  kill(pid_, SIGCONT);  // a paused server acts on the signal only then
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
