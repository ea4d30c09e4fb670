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
                           bool may_have_committed) {
  const size_t rows = std::count(stored.begin(), stored.end(), '\n');
  EXPECT_EQ(stored, FirstRows(rows));
  std::string console;
  for (const std::string& symbol : Progress(out, "(T)")) console += symbol + "\n";
  EXPECT_EQ(console, FirstRows(std::count(console.begin(), console.end(), '\n')));
  const size_t error = out.find("\r\nError in Query\r\nREPLACE INTO symbol_info_t(");
  ASSERT_NE(error, std::string::npos);
  const size_t first = std::stoul(out.substr(out.find("(\"S", error) + 3));
  const size_t last = std::stoul(out.substr(out.rfind("(\"S") + 3));
  EXPECT_TRUE(rows == first || (may_have_committed && rows == last + 1))
      << rows << " " << first << " " << last;
}

}  // namespace vendrake
