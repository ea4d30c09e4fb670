// Runs programs as their users do, through the shell, and hands back the
// exit code and the bytes of standard output and standard error.
#ifndef VENDRAKE_TESTS_PROGRAMRUN_H_
#define VENDRAKE_TESTS_PROGRAMRUN_H_

#include <functional>
#include <string>

#include "TempDir.h"

namespace vendrake {

struct Outcome {
  int exit_code;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path);

// text as one shell word, so that blanks and quotes in paths stay in it.
std::string ShellQuoted(const std::string& text);

// Runs command; stdout_to replaces the capture of standard output (for
// example "> /dev/full"), stdin_from is the path standard input reads.
Outcome RunCommand(const std::string& command, const std::string& stdout_to = "",
                   const std::string& stdin_from = "/dev/null");

// Runs command with standard input at its end and hands each line of its
// standard output, CR LF included, to watch as it arrives; returns the exit
// code and the whole output, err left empty.
Outcome RunWatched(const std::string& command,
                   const std::function<void(const std::string&)>& watch);

// A copy of the built vendrake in a directory of its own, beside the given
// Config.ini content, as it is installed on a loader computer.
class InstalledVendrake {
 public:
  explicit InstalledVendrake(const std::string& config_ini);
  const std::string& Path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
};

}  // namespace vendrake

#endif  // VENDRAKE_TESTS_PROGRAMRUN_H_
