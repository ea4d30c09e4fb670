#include "app/Vendrake.h"

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "app/Console.h"
#include "app/DirectoryMerge.h"
#include "app/TableWriters.h"
#include "app/TradingDate.h"
#include "base/Exceptions.h"
#include "config/ConfigFile.h"
#include "db/Database.h"

namespace vendrake {

namespace {

void ReadSettings() {
  DbHost = GetConfigString("Vendrake", "db_Host", "");
  DbUser = GetConfigString("Vendrake", "db_User", "");
  DbPassword = GetConfigString("Vendrake", "db_Password", "");
  DbDatabase = GetConfigString("Vendrake", "db_Database", "mydb");
  DbRetrySeconds = GetConfigString("Vendrake", "db_RetrySeconds", DbRetrySeconds);
  DbSslMode = GetConfigString("Vendrake", "db_SslMode", DbSslMode);
  DbSslCa = GetConfigString("Vendrake", "db_SslCa", "");
  DbTimeoutSeconds = GetConfigString("Vendrake", "db_TimeoutSeconds", DbTimeoutSeconds);
  DbConnections = GetConfigString("Vendrake", "db_Connections", DbConnections);
  DbPublish = GetConfigString("Vendrake", "db_Publish", DbPublish);
}

void PrintUsage() { WriteOutputLine("List directories to process"); }

constexpr const char* kHelp[] = {
    "Usage: vendrake DIR [DIR ...]",
    "Merges the three files of each directory, later directories winning, and",
    "writes them into the database that Config.ini beside the program names.",
    "Without arguments it prints the line \"List directories to process\".",
    "",
    "  --help     print this help",
    "  --version  print the version",
};

// The only arguments that are not directories, answered before any
// connection; a directory of either name is given as ./--help.
bool PrintInformation(std::string_view argument, const char* version) {
  if (argument == "--version") {
    WriteOutputLine(std::string("vendrake ") + version);
  } else if (argument == "--help") {
    for (const char* line : kHelp) WriteOutputLine(line);
  } else {
    return false;
  }
  return true;
}

void WriteAllTables() {
  const std::string trading_date = ComputeTradingDate();
  TStringList rows;
  WriteSymbolInfoF(rows);
  WriteSymbolInfoT(rows);
  WriteAlertsDaily(rows, trading_date);
  UpdateMonitorAlive(trading_date);
}

void RunSteps(int argc, char** argv, const char* version) {
  OpenConsole();
  if (argc == 2 && PrintInformation(argv[1], version)) return;
  ReadSettings();
  if (argc < 2) {
    PrintUsage();
    return;
  }
  ConnectDatabase();
  for (int i = 1; i < argc; ++i) ReadDirectory(argv[i]);
  WriteAllTables();
  CloseDatabase();
}

// Prints the report of an escaped error, closes the session, waits for one
// input line and gives the exit code. When the report itself cannot be
// written there is no one left to tell, so the exit code alone carries the
// failure.
int Report(const Exception& error) {
  try {
    WriteOutputLine(std::string(error.ClassName()) + ":  " + error.Message());
    if (!error.Detail().empty()) WriteOutputLine(error.Detail());
    CloseDatabase();
    WriteErrorLine("Hit Enter to continue.");
    ReadInputLine();
  } catch (const Exception&) {
  }
  return 2;
}

}  // namespace

int Run(int argc, char** argv, const char* version) {
  try {
    RunSteps(argc, argv, version);
    return 0;
  } catch (const Exception& error) {
    return Report(error);
  } catch (const std::bad_alloc&) {
    return Report(EOutOfMemory("Out of memory"));
  } catch (const std::exception& error) {
    return Report(Exception(error.what()));
  }
}

}  // namespace vendrake
