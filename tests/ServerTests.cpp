#include "ServerTests.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace vendrake {

TestServer* Server = nullptr;

void WriteNumberedSymbols(const TempDir& dir, int symbols) {
  std::string f = "Symbol,Company Name,Listed Exchange\n";
  std::string o = "Symbol,Last Price\n";
  std::string tc = "Symbol,Up Days\n";
  for (int i = 0; i < symbols; ++i) {
    const std::string symbol = "S" + std::to_string(i);
    f += symbol + ",Company number " + std::to_string(i) + " of a long name,NYSE\n";
    o += symbol + "," + std::to_string(i) + ".5\n";
    tc += symbol + "," + std::to_string(i % 50) + "\n";
  }
  dir.Write("F_OvernightData.csv", f);
  dir.Write("OvernightData.csv", o);
  dir.Write("TC_OvernightData.csv", tc);
}

std::string VendrakeCommand(const InstalledVendrake& vendrake, const std::string& socket,
                            const std::vector<std::string>& directories) {
  std::string command =
      "MYSQL_UNIX_PORT=" + ShellQuoted(socket) + " " + ShellQuoted(vendrake.Path());
  for (const std::string& directory : directories) command += " " + ShellQuoted(directory);
  return command;
}

int FreePort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(probe, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

std::vector<std::string> Progress(const std::string& out, const std::string& tag) {
  std::vector<std::string> symbols;
  const std::string ending = "  " + tag + "\r";
  size_t begin = 0;
  for (size_t end; (end = out.find('\n', begin)) != std::string::npos; begin = end + 1) {
    const std::string line = out.substr(begin, end - begin);
    if (line.ends_with(ending)) symbols.push_back(line.substr(0, line.size() - ending.size()));
  }
  return symbols;
}

namespace {

// The symbols S0 ... S<count - 1>, one per line: the row order.
std::string FirstRows(size_t count) {
  std::string rows;
  for (size_t i = 0; i < count; ++i) rows += "S" + std::to_string(i) + "\n";
  return rows;
}

}  // namespace

void ExpectWholeStatements(const std::string& out, const std::string& stored,
                           bool may_have_committed, int connections) {
  std::string console;
  for (const std::string& symbol : Progress(out, "(T)")) console += symbol + "\n";
  EXPECT_EQ(console, FirstRows(std::count(console.begin(), console.end(), '\n')));
  const size_t error = out.find("\r\nError in Query\r\nREPLACE INTO symbol_info_t(");
  ASSERT_NE(error, std::string::npos) << out.substr(out.size() - std::min<size_t>(out.size(), 300));
  const size_t first = std::stoul(out.substr(out.find("(\"S", error) + 3));
  const size_t last = std::stoul(out.substr(out.rfind("(\"S") + 3));
  std::vector<size_t> rows;
  for (size_t at = 0; at < stored.size(); at = stored.find('\n', at) + 1)
    rows.push_back(std::stoul(stored.substr(at + 1)));
  // Distinct rows in order: all of S0 to S<first - 1> when first of them are below first.
  const size_t before = std::lower_bound(rows.begin(), rows.end(), first) - rows.begin();
  const size_t failed = std::upper_bound(rows.begin(), rows.end(), last) - rows.begin() - before;
  EXPECT_EQ(before, first);
  EXPECT_TRUE(failed == 0 || (may_have_committed && failed == last - first + 1)) << failed;
  int runs = 0;  // of rows after the failed statement
  for (size_t i = before + failed; i < rows.size(); ++i)
    runs += i == before + failed || rows[i - 1] + 1 != rows[i];
  EXPECT_LE(runs, connections - 1) << stored.substr(0, 1000);
}

}  // namespace vendrake
