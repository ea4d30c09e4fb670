#include "app/Vendrake.h"

#include <new>
#include <string>

#include "app/Console.h"
#include "base/Exceptions.h"
#include "config/ConfigFile.h"

namespace vendrake {

namespace {

// Run-wide settings; they live until the process ends.
std::string DbHost;
std::string DbUser;
std::string DbPassword;
std::string DbDatabase;

void ReadSettings() {
  DbHost = GetConfigString("Vendrake", "db_Host", "");
  DbUser = GetConfigString("Vendrake", "db_User", "");
  DbPassword = GetConfigString("Vendrake", "db_Password", "");
  DbDatabase = GetConfigString("Vendrake", "db_Database", "mydb");
}

void PrintUsage() { WriteOutputLine("List directories to process"); }

// This build carries no database client yet, so the connection that must
// come before any directory is read can never be made.
void ConnectDatabase() { VENDRAKE_ASSERT(false); }

void RunSteps(int argc) {
  OpenConsole();
  ReadSettings();
  if (argc < 2) {
    PrintUsage();
    return;
  }
  ConnectDatabase();
}

// Prints the report of an escaped error, waits for one input line and
// gives the exit code. When the report itself cannot be written there is no
// one left to tell, so the exit code alone carries the failure.
int Report(const Exception& error) {
  try {
    WriteOutputLine(std::string(error.ClassName()) + ":  " + error.Message());
    WriteErrorLine("Hit Enter to continue.");
    ReadInputLine();
  } catch (const Exception&) {
  }
  return 2;
}

}  // namespace

int Run(int argc, char** /*argv*/) {
  try {
    RunSteps(argc);
    return 0;
  } catch (const Exception& error) {
    return Report(error);
  } catch (const std::bad_alloc&) {
    return Report(EOutOfMemory("Out of memory"));
  }
}

}  // namespace vendrake
