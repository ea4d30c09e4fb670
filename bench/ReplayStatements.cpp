// replay_statements: sends statements captured from a run to a server over
// several connections at once, as fast as the server takes them, and prints
// the seconds the load took. Nothing is built, escaped or checked while the
// clock runs, so this is the floor for any client sending those statements
// over that many connections.
//
//   replay_statements SOCKET DATABASE CONNECTIONS SESSION_FILE LOAD_FILE
//
// Both files hold one statement a line in hex, as HEX() gives it. Each
// connection first runs the session's statements, untimed. The load's
// statements are then taken in order by whichever connection is free, one
// statement in flight per connection; the last one is sent only once all
// the others succeeded, as a run's heartbeat is.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "db/mysql.h"

namespace {

using vendrake::MYSQL;

constexpr char kUsage[] =
    "usage: replay_statements SOCKET DATABASE CONNECTIONS SESSION_FILE LOAD_FILE\n";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  throw std::runtime_error(std::string("not a hex digit: ") + c);
}

std::vector<std::string> ReadHexLines(const char* path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(std::string("cannot read ") + path);
  std::vector<std::string> statements;
  for (std::string line; std::getline(in, line);) {
    if (line.size() % 2 != 0) throw std::runtime_error(std::string("odd hex line in ") + path);
    std::string& text = statements.emplace_back(line.size() / 2, '\0');
    for (size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char>(HexDigit(line[2 * i]) * 16 + HexDigit(line[2 * i + 1]));
    }
  }
  return statements;
}

// Runs statement and drops any result set. A failure ends the process: a
// floor is only a floor if every statement succeeded.
void Execute(MYSQL* connection, std::string_view statement) {
  if (vendrake::mysql_real_query(connection, statement.data(), statement.size()) != 0) {
    std::fprintf(stderr, "replay_statements: error %u: %s\n  in %.200s\n",
                 vendrake::mysql_errno(connection), vendrake::mysql_error(connection),
                 std::string(statement).c_str());
    std::exit(1);
  }
  if (vendrake::MYSQL_RES* result = vendrake::mysql_store_result(connection)) {
    vendrake::mysql_free_result(result);
  }
}

// Connections are opened on the main thread: the client library initialises
// itself on the first one, and that is not safe to race.
MYSQL* Connect(const char* socket, const char* database) {
  MYSQL* connection = vendrake::mysql_init(nullptr);
  if (connection == nullptr) throw std::runtime_error("out of memory for a connection");
  if (vendrake::mysql_real_connect(connection, nullptr, "root", nullptr, database, 0, socket, 0) ==
      nullptr) {
    throw std::runtime_error(std::string("cannot connect: ") + vendrake::mysql_error(connection));
  }
  return connection;
}

// Sends all but the last of load over connections, then the last; returns
// the seconds from the first send to the last outcome.
double Replay(const std::vector<MYSQL*>& connections, const std::vector<std::string>& load) {
  std::atomic<size_t> next{0};
  const size_t shared = load.empty() ? 0 : load.size() - 1;
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> senders;
  for (MYSQL* connection : connections) {
    senders.emplace_back([&, connection] {
      for (size_t i = next++; i < shared; i = next++) Execute(connection, load[i]);
    });
  }
  for (std::thread& sender : senders) sender.join();
  if (!load.empty()) Execute(connections.front(), load.back());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc == 6 ? std::atoi(argv[3]) : 0;
  if (count < 1) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  try {
    if (vendrake::ClientLibraryStatus != vendrake::TClientLibraryStatus::Ready) {
      throw std::runtime_error("the MariaDB client library (libmariadb.so.3) cannot be loaded");
    }
    const std::vector<std::string> session = ReadHexLines(argv[4]);
    const std::vector<std::string> load = ReadHexLines(argv[5]);
    std::vector<MYSQL*> connections;
    for (int i = 0; i < count; ++i) {
      connections.push_back(Connect(argv[1], argv[2]));
      for (const std::string& statement : session) Execute(connections.back(), statement);
    }
    std::printf("%.6f\n", Replay(connections, load));
    for (MYSQL* connection : connections) vendrake::mysql_close(connection);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "replay_statements: %s\n", e.what());
    return 1;
  }
  return 0;
}
