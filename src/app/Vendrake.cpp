#include "app/Vendrake.h"

#include <exception>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "app/Console.h"
#include "app/DirectoryMerge.h"
#include "app/Run.h"
#include "app/RunReport.h"
#include "app/TableWriters.h"
#include "app/TradingDate.h"
#include "base/Exceptions.h"

namespace vendrake {

namespace {

void PrintUsage() { WriteOutputLine("List directories to process"); }

constexpr const char* kHelp[] = {
    "Usage: vendrake DIR [DIR ...]",
    "Merges the three files of each directory, later directories winning, and",
    "writes them into the database that Config.ini beside the program names.",
    "Without arguments it prints the line \"List directories to process\".",
    "A directory whose name starts with - is given as ./-NAME.",
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

// An argument that looks like an option, which a misspelt --help or a
// stray flag in a start-up script would be; none for a command line of
// directories only.
const char* OptionArgument(std::span<char* const> arguments) {
  for (const char* argument : arguments) {
    if (argument[0] == '-') return argument;
  }
  return nullptr;
}

void WriteAllTables(TRun& run) {
  const std::string trading_date = ComputeTradingDate();
  TStringList rows;
  WriteSymbolInfoF(run, rows);
  WriteSymbolInfoT(run, rows);
  WriteAlertsDaily(run, rows, trading_date);
  UpdateMonitorAlive(run, trading_date);
}

void RunPhases(TRun& run, std::span<char* const> directories) {
  run.DbConnection = std::make_unique<TDatabase>(run.Settings, LocalComputerName());
  for (const char* directory : directories) ReadDirectory(directory, run.Tables);
  WriteAllTables(run);
  run.DbConnection.reset();
}

// Prints the report of an escaped error, closes the database, waits for
// one input line and gives the exit code. When the report itself cannot be
// written there is no one left to tell, so the exit code alone carries the
// failure.
int Report(TRun* run, const Exception& error) {
  try {
    WriteOutputLine(std::string(error.ClassName()) + ":  " + error.Message());
    if (!error.Detail().empty()) WriteOutputLine(error.Detail());
    if (run != nullptr) run->DbConnection.reset();
    WriteErrorLine("Hit Enter to continue.");
    ReadInputLine();
  } catch (const Exception&) {
  }
  return 2;
}

// The exception report of whatever escaped the current try block.
int ReportCurrent(TRun* run) {
  try {
    throw;
  } catch (const Exception& error) {
    return Report(run, error);
  } catch (const std::bad_alloc&) {
    return Report(run, EOutOfMemory("Out of memory"));
  } catch (const std::exception& error) {
    return Report(run, Exception(error.what()));
  }
}

// Prints the statement that failed for good and why, after every other
// statement in flight was answered, and gives exit code 1; 2 when the
// console cannot take it.
int ReportFailedStatement(TRun& run, const TStatementFailure& failure) {
  try {
    WriteOutputLine("Error in Query");
    WriteOutputLine(failure.statement);
    WriteOutputLine(failure.reason);
    run.DbConnection.reset();
    return 1;
  } catch (...) {
    return ReportCurrent(&run);
  }
}

// The run over the directories; its settings are read first.
int RunDirectories(std::span<char* const> directories) {
  std::unique_ptr<TRun> run;
  int code = 0;
  try {
    run = std::make_unique<TRun>(ReadSettings());
    RunPhases(*run, directories);
  } catch (const TStatementFailure& failure) {
    code = ReportFailedStatement(*run, failure);
  } catch (...) {
    code = ReportCurrent(run.get());
  }
  WriteRunReport(run != nullptr ? run->Published() : TAccepted());
  return code;
}

}  // namespace

int Run(int argc, char** argv, const char* version) {
  const std::span<char* const> arguments(argv + 1, argc - 1);
  try {
    OpenConsole();
    if (arguments.size() == 1 && PrintInformation(arguments[0], version)) return 0;
    if (const char* option = OptionArgument(arguments)) {
      WriteErrorLine(std::string("vendrake: ") + option +
                     " is no option (--help and --version stand alone); a directory of that "
                     "name is given as ./" +
                     option);
      return 2;
    }
    if (arguments.empty()) {
      PrintUsage();
      return 0;
    }
  } catch (...) {
    return ReportCurrent(nullptr);
  }
  return RunDirectories(arguments);
}

}  // namespace vendrake
