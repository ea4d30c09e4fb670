// Runs the built program as its users do and checks the console bytes and
// the exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>

#include "TempDir.h"

namespace vendrake {
namespace {

struct Outcome {
  int exit_code;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Runs vendrake with the given arguments; redirections replace the
// default capture of standard output and standard input.
Outcome RunVendrake(const std::string& args, const std::string& stdout_to = "",
                    const std::string& stdin_from = "/dev/null") {
  TempDir dir;
  const std::string out = stdout_to.empty() ? "> " + dir.Path() + "/out" : stdout_to;
  const std::string command = std::string(VENDRAKE_BINARY) + " " + args + " " + out + " 2> " +
                              dir.Path() + "/err < " + stdin_from;
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status)) << command;
  return {WEXITSTATUS(status), ReadAll(dir.Path() + "/out"), ReadAll(dir.Path() + "/err")};
}

TEST(Vendrake, WithoutArgumentsPrintsTheUsageLine) {
  const Outcome run = RunVendrake("");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "List directories to process\r\n");
  EXPECT_EQ(run.err, "");
}

TEST(Vendrake, AnEscapedErrorIsReportedAndEndsWithCode2) {
  TempDir input;
  const std::string line_file = input.Write("line", "one line\nand more\n");
  for (const std::string& stdin_from : {std::string("/dev/null"), line_file}) {
    const Outcome run = RunVendrake(input.Path(), "", stdin_from);
    EXPECT_EQ(run.exit_code, 2);
    const std::string prefix = "EAssertionFailed:  Assertion failure (/";
    EXPECT_EQ(run.out.substr(0, prefix.size()), prefix) << run.out;
    EXPECT_NE(run.out.find("/src/app/Vendrake.cpp, line "), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with(")\r\n")) << run.out;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
    EXPECT_EQ(run.err, "Hit Enter to continue.\r\n");
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
