#include "check/InputCheck.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "app/Console.h"
#include "app/DirectoryMerge.h"
#include "app/MergeColumns.h"
#include "app/MergedTables.h"
#include "app/TradingDate.h"
#include "base/Exceptions.h"
#include "base/Text.h"
#include "config/ConfigFile.h"
#include "tables/TwoDLookup.h"

namespace vendrake {

namespace {

constexpr int kListedRepeats = 10;

// How long an input file must have stood unchanged before it counts as
// complete, unless VENDRAKE_SETTLE_SECONDS (the service's setting) says.
constexpr long kSettleSeconds = 60;

struct TCheck {
  int warnings = 0;
  // A column the loader reads is missing, or a file has no data lines: the
  // load would store NULL over the values stored before, as REPLACE
  // writes whole rows.
  bool stores_nulls = false;
  void Warn(const std::string& text) {
    ++warnings;
    WriteOutputLine("  warning: " + text);
  }
};

std::string UserName() {
  const passwd* user = ::getpwuid(::geteuid());
  return user != nullptr ? user->pw_name : "uid " + std::to_string(::geteuid());
}

// Whether this user can read the settings the loader would read: an
// unreadable file reads as an empty one to the loader, without a word.
void CheckSettings(TCheck& check) {
  const std::string path = ExecutableConfigPath();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const int error = errno;
  if (fd >= 0) {
    ::close(fd);
    WriteOutputLine("Settings: " + path + " can be read by " + UserName());
  } else {
    WriteOutputLine("Settings: " + path);
    check.Warn((error == ENOENT ? std::string("it does not exist")
                                : UserName() + " cannot read it (" + std::strerror(error) + ")") +
               "; the loader would connect with the defaults, User=\"\", Password=\"\"");
  }
}

void ReportHeartbeat() {
  std::string line = "Heartbeat row: " + HeartbeatRowName();
  char host[256] = {};
  if (::gethostname(host, sizeof(host) - 1) == 0 && LocalComputerName() != host) {
    line += std::string(" (the host name ") + host + " is longer than 15 characters)";
  }
  WriteOutputLine(line);
}

void ReportIgnoredNames(const TStringList& names, const std::set<std::string_view>& read) {
  std::string ignored;
  for (int b = 1; b < names.Count(); ++b) {
    if (read.count(names[b]) > 0) continue;
    ignored += (ignored.empty() ? "" : ", ") + Quoted(names[b]);
  }
  if (!ignored.empty()) WriteOutputLine("  header names the loader ignores: " + ignored);
}

// A symbol on several lines of a file keeps, per column, its last non-empty
// value; often that means the export went wrong.
void ReportRepeats(const TTwoDArray& source) {
  std::vector<int> lines(source.RowCount());
  for (int32_t row : source.RowOrder()) ++lines[row];
  int repeated = 0;
  std::string listed;
  for (int32_t row = 0; row < source.RowCount(); ++row) {
    if (lines[row] < 2 || ++repeated > kListedRepeats) continue;
    listed += (listed.empty() ? "" : ", ") + std::string(source.RowKey(row)) + " (" +
              std::to_string(lines[row]) + " lines)";
  }
  if (repeated == 0) return;
  WriteOutputLine("  symbols on more than one line: " + std::to_string(repeated) + ": " + listed +
                  (repeated > kListedRepeats ? ", ..." : ""));
}

long SettleSeconds() {
  const char* setting = std::getenv("VENDRAKE_SETTLE_SECONDS");
  char* end = nullptr;
  const long seconds = setting != nullptr ? std::strtol(setting, &end, 10) : -1;
  return end != nullptr && end != setting && *end == '\0' && seconds >= 0 ? seconds
                                                                          : kSettleSeconds;
}

// A file changed a moment ago may still be being written: the loader would
// take a cut line as complete.
void ReportRecentChange(TCheck& check, const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return;
  const long age = static_cast<long>(std::time(nullptr) - status.st_mtime);
  const long settle = SettleSeconds();
  if (age >= settle) return;
  check.Warn("changed " + std::to_string(age) + " s ago, less than the settle time of " +
             std::to_string(settle) + " s: it may still be being written");
}

void ReportFile(TCheck& check, const TTwoDArray& source, const TStringList& header,
                const std::string& path, const TInputFile& file) {
  WriteOutputLine(path + ": " + std::to_string(source.RowOrder().size()) + " data lines, " +
                  std::to_string(source.RowCount()) + " symbols");
  ReportRecentChange(check, path);
  if (source.RowOrder().empty()) {
    check.Warn("no data lines");
    check.stores_nulls = true;
  }
  std::set<std::string_view> read;  // the columns the loader takes from this file
  for (const TMerge& merge : file.merges) {
    if (read.insert(merge.column).second && source.FindColumn(merge.column) < 0) {
      check.Warn("no column " + Quoted(merge.column) + ": the loader stores nothing from it");
      check.stores_nulls = true;
    }
  }
  ReportIgnoredNames(header, read);
  ReportRepeats(source);
}

// The loader's own error, with the place it carries when it stopped at a
// line, as the loader words it.
void ReportLoadFailure(const std::string& path, const Exception& error) {
  WriteOutputLine("error: " + (error.Detail().empty() ? path : error.Detail()));
  WriteOutputLine("  the loader stops with: " + std::string(error.ClassName()) + ":  " +
                  error.Message());
}

// Reads the directories as the loader's read phase does; false at the first
// file that would end its run, once named.
bool CheckDirectories(TCheck& check, std::span<char* const> directories) {
  TMergedTables merged;
  TFileKeys keys;
  for (const char* name : directories) {
    const std::string directory = name;
    WriteOutputLine("Reading:  " + directory);
    size_t read = 0;  // the files reported
    keys.file_read = [&](const TInputFile& file, const TStringList& header) {
      ReportFile(check, keys.table, header, directory + "/" + file.name, file);
      ++read;
    };
    try {
      ReadFiles(directory, kInputFiles, merged, &keys);
    } catch (const Exception& error) {
      ReportLoadFailure(directory + "/" + kInputFiles[read].name, error);
      return false;
    }
  }
  WriteOutputLine("Rows to write: symbol_info_f " + std::to_string(merged.InfoFTable.RowCount()) +
                  ", symbol_info_t " + std::to_string(merged.InfoTTable.RowCount()) +
                  ", alerts_daily " + std::to_string(merged.AlertsTable.RowCount()));
  return true;
}

int Check(std::span<char* const> directories) {
  OpenConsole();
  // A reader that went away (vendrake-check DIR | head) ends the check
  // quietly, as it ends other tools, rather than with a write error.
  ::signal(SIGPIPE, SIG_DFL);
  TCheck check;
  CheckSettings(check);
  ReportHeartbeat();
  bool passes = true;
  if (directories.empty()) {
    check.Warn("no directory given: the loader only prints its usage line");
  } else {
    passes = CheckDirectories(check, directories);
  }
  const int code = !passes ? 2 : check.stores_nulls ? 3 : check.warnings > 0 ? 1 : 0;
  WriteOutputLine("Result: " + std::to_string(check.warnings) + " warning(s), exit status " +
                  std::to_string(code) +
                  (!passes              ? "; the loader's read phase would fail"
                   : check.stores_nulls ? "; the load would store NULL over stored values"
                                        : ""));
  return code;
}

constexpr char kHelp[] =
    "Usage: vendrake-check [OPTION] [--] DIR...\n"
    "Reads the directories as vendrake would, without a database, and reports\n"
    "what the run would meet: per file its data lines and symbols, the columns\n"
    "vendrake reads that the header lacks, the header names it ignores, repeated\n"
    "symbols; the rows of each table; the first line that would end the run.\n"
    "Also whether this user can read Config.ini beside vendrake, and the\n"
    "heartbeat row of this computer.\n"
    "\n"
    "  --heartbeat-name  print only this computer's monitor_alive row name\n"
    "  --help            print this help\n"
    "  --version         print the version\n"
    "\n"
    "Exit status: 0 all is well, 1 warnings, 2 the read phase would fail (or a\n"
    "wrong command line), 3 a column the loader reads is missing or a file has\n"
    "no data lines (the load would store NULL over stored values).\n";

}  // namespace

int RunCheck(int argc, char** argv, const char* version) {
  int first = 1;
  if (argc > 1 && argv[1][0] == '-') {
    const std::string_view option = argv[1];
    if (option == "--help") return std::fputs(kHelp, stdout) < 0 ? 2 : 0;
    if (option == "--version") return std::printf("vendrake-check %s\n", version) < 0 ? 2 : 0;
    if (option == "--heartbeat-name") return std::puts(HeartbeatRowName().c_str()) < 0 ? 2 : 0;
    if (option != "--") {
      std::fprintf(stderr, "vendrake-check: unknown option %s\nTry vendrake-check --help.\n",
                   argv[1]);
      return 2;
    }
    first = 2;
  }
  try {
    return Check(std::span<char* const>(argv + first, argv + argc));
  } catch (const Exception& error) {
    std::fprintf(stderr, "%s:  %s\n", error.ClassName(), error.Message().c_str());
  } catch (const std::bad_alloc&) {
    std::fputs("EOutOfMemory:  Out of memory\n", stderr);
  }
  return 2;
}

}  // namespace vendrake
