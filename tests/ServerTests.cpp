#include "ServerTests.h"

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

}  // namespace vendrake
