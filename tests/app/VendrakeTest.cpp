// Runs the built program as its users do and checks the console bytes and
// the exit code.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ProgramRun.h"
#include "TempDir.h"

namespace vendrake {
namespace {

Outcome RunVendrake(const std::string& args, const std::string& stdout_to = "",
                    const std::string& stdin_from = "/dev/null") {
  return RunCommand(ShellQuoted(VENDRAKE_BINARY) + " " + args, stdout_to, stdin_from);
}

TEST(Vendrake, WithoutArgumentsPrintsTheUsageLine) {
  const Outcome run = RunVendrake("");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "List directories to process\r\n");
  EXPECT_EQ(run.err, "");
}

// Runs vendrake with arguments, words quoted for the shell, where the
// client library's names find what library_dir holds first; environment
// (NAME=value words, each followed by a blank) comes before it.
Outcome RunWithLibraries(const TempDir& library_dir, const std::string& arguments,
                         const std::string& stdin_from = "/dev/null",
                         const std::string& environment = "") {
  return RunCommand(environment + "LD_LIBRARY_PATH=" + ShellQuoted(library_dir.Path()) + " " +
                        ShellQuoted(VENDRAKE_BINARY) + " " + arguments,
                    "", stdin_from);
}

void ExpectAssertionReport(const Outcome& run, const std::string& message) {
  EXPECT_EQ(run.exit_code, 2);
  // The source path is the same wherever the tree was built.
  const std::string prefix =
      "EAssertionFailed:  " + message + " (/usr/src/vendrake/src/db/Database.cpp, line ";
  EXPECT_EQ(run.out.substr(0, prefix.size()), prefix) << run.out;
  EXPECT_TRUE(run.out.ends_with(")\r\n")) << run.out;
  EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
  EXPECT_EQ(run.err, "Hit Enter to continue.\r\n");
}

// A library lacking one of the entry points the program calls: the run
// stops before any input is read (the directory holds no files, so reading
// it would have raised EFOpenError), with standard input at its end or not.
TEST(Vendrake, AnIncompatibleClientLibraryIsReportedBeforeAnyInputIsRead) {
  TempDir libraries;
  std::filesystem::copy_file(FAKE_CLIENT_INCOMPLETE, libraries.Path() + "/libmariadb.so.3");
  TempDir input;
  const std::string line_file = input.Write("line", "one line\nand more\n");
  for (const std::string& stdin_from : {std::string("/dev/null"), line_file}) {
    ExpectAssertionReport(RunWithLibraries(libraries, ShellQuoted(input.Path()), stdin_from),
                          "Assertion failure");
  }
  const Outcome usage = RunWithLibraries(libraries, "");
  EXPECT_EQ(usage.exit_code, 0);
  EXPECT_EQ(usage.out, "List directories to process\r\n");
}

// Answered or refused before any connection: a library that cannot connect
// is never asked. An option-like argument is refused even beside
// directories, none of which is read.
TEST(Vendrake, OptionsAreAnsweredOrRefusedWithoutConnecting) {
  TempDir libraries;
  std::filesystem::copy_file(FAKE_CLIENT_INCOMPLETE, libraries.Path() + "/libmariadb.so.3");
  const std::string refused =
      " is no option (--help and --version stand alone); a directory of "
      "that name is given as ./";
  const struct {
    std::string args;
    int exit_code;
    std::string out_start, err;
  } cases[] = {
      {"--version", 0, "vendrake 1.", ""},
      {"--help", 0, "Usage: vendrake DIR [DIR ...]\r\n", ""},
      {"-h", 2, "", "vendrake: -h" + refused + "-h\r\n"},
      {"/tmp --help", 2, "", "vendrake: --help" + refused + "--help\r\n"},
      {"/no/such/dir - /tmp", 2, "", "vendrake: -" + refused + "-\r\n"},
  };
  for (const auto& c : cases) {
    const Outcome run = RunWithLibraries(libraries, c.args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.args;
    EXPECT_TRUE(c.exit_code ? run.out.empty()
                            : run.out.starts_with(c.out_start) && run.out.ends_with("\r\n"))
        << c.args << ": " << run.out;
    EXPECT_EQ(run.err, c.err) << c.args;
  }
}

TEST(Vendrake, AMissingClientLibraryIsReportedBeforeAnyInputIsRead) {
  TempDir libraries;  // files of every usual name that no loader accepts
  for (const char* name : {"libmariadb.so.3", "libmysqlclient.so.21", "libmysqlclient.so.20",
                           "libmysqlclient.so.18", "libmariadb.so", "libmysqlclient.so"}) {
    libraries.Write(name, "not a library");
  }
  TempDir input;
  ExpectAssertionReport(RunWithLibraries(libraries, ShellQuoted(input.Path())),
                        "Assertion failure");
}

TEST(Vendrake, AConnectionHandleTheLibraryCannotMakeIsReported) {
  TempDir libraries;
  std::filesystem::copy_file(FAKE_CLIENT_NO_HANDLE, libraries.Path() + "/libmariadb.so.3");
  TempDir input;
  const Outcome run = RunWithLibraries(libraries, input.Path());
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out,
            "EOutOfMemory:  Out of memory: the client library could not allocate a "
            "connection\r\n");
}

// Runs on a stand-in for a MySQL server, which knows no @@wsrep_on and
// answers error 1193 for it, and takes every statement. A load error's
// place follows its report line; a report file that cannot be written is
// told on standard error and changes no exit code.
TEST(Vendrake, RunsOnAMysqlServer) {
  TempDir libraries;
  std::filesystem::copy_file(FAKE_CLIENT_MYSQL, libraries.Path() + "/libmariadb.so.3");
  TempDir input;
  input.Write("OvernightData.csv", "Symbol\n");
  input.Write("TC_OvernightData.csv", "Symbol\n");
  const std::string f = input.Path() + "/F_OvernightData.csv";
  const std::string reading = "Reading:  " + input.Path() + "\r\n";
  const struct {
    std::string f_file, report;
    int exit_code;
    std::string out, err;
  } cases[] = {
      {"Symbol,Company Name\nA,Acme\n", "", 0, reading + "A  (F)\r\n", ""},
      {"Symbol,Company Name\nA,Acme\n\nB,Bee,x\n", "", 2,
       reading + "EStringListError:  List index out of bounds (2)\r\n" + f +
           ", line 4, field position 2: a value at a position the header names no column for\r\n",
       "Hit Enter to continue.\r\n"},
      {"Symbol\n", "/no/such/dir/report", 0, reading,
       "vendrake: cannot write /no/such/dir/report: No such file or directory\r\n"},
  };
  for (const auto& c : cases) {
    input.Write("F_OvernightData.csv", c.f_file);
    const Outcome run = RunWithLibraries(libraries, ShellQuoted(input.Path()), "/dev/null",
                                         "VENDRAKE_REPORT=" + ShellQuoted(c.report) + " ");
    EXPECT_EQ(run.exit_code, c.exit_code) << c.f_file;
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(Vendrake, UnwritableStandardOutputEndsWithCode2WithoutACrash) {
  EXPECT_EQ(RunVendrake("", "> /dev/full").exit_code, 2);
  EXPECT_EQ(RunVendrake("/tmp", "> /dev/full").exit_code, 2);
  const Outcome closed = RunVendrake("", ">&-");
  EXPECT_EQ(closed.exit_code, 2);
  EXPECT_EQ(closed.err, "");
}

}  // namespace
}  // namespace vendrake
