#include "ProgramRun.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vendrake {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";  // ends the quote, adds an escaped one, quotes on
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

Outcome RunCommand(const std::string& command, const std::string& stdout_to,
                   const std::string& stdin_from) {
  TempDir dir;
  const std::string out = stdout_to.empty() ? "> " + ShellQuoted(dir.Path() + "/out") : stdout_to;
  const std::string line = "(" + command + ") " + out + " 2> " + ShellQuoted(dir.Path() + "/err") +
                           " < " + ShellQuoted(stdin_from);
  const int status = std::system(line.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir.Path() + "/out"),
          ReadFile(dir.Path() + "/err")};
}

Outcome RunWatched(const std::string& command,
                   const std::function<void(const std::string&)>& watch) {
  FILE* pipe = popen(("(" + command + ") </dev/null").c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("popen failed: " + command);
  std::string out;
  char line[4096];
  while (fgets(line, sizeof(line), pipe) != nullptr) {
    out += line;
    watch(line);
  }
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, ""};
}

InstalledVendrake::InstalledVendrake(const std::string& config_ini) {
  path_ = dir_.Path() + "/vendrake";
  std::filesystem::copy_file(VENDRAKE_BINARY, path_);
  dir_.Write("Config.ini", config_ini);
}

}  // namespace vendrake
