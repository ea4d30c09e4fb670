#include "app/RunReport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "base/Exceptions.h"

namespace vendrake {

namespace {

std::string ReportText(const TAccepted& accepted) {
  std::string text = "symbol_info_f " + std::to_string(accepted.symbol_info_f) +
                     "\nsymbol_info_t " + std::to_string(accepted.symbol_info_t) +
                     "\nalerts_daily " + std::to_string(accepted.alerts_daily) + "\n";
  if (accepted.heartbeat) text += "heartbeat " + std::to_string(*accepted.heartbeat) + "\n";
  return text;
}

// Writes text to path through a file beside it, so that a reader sees the
// old report or the new one, never a part; errno tells a failure.
bool ReplaceFile(const std::string& path, const std::string& text) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int write_error = errno;
  if (close(fd) == 0 && written && rename(temporary.c_str(), path.c_str()) == 0) return true;
  const int error = written ? errno : write_error;
  unlink(temporary.c_str());
  errno = error;
  return false;
}

}  // namespace

void WriteRunReport(const TAccepted& accepted) {
  const char* path = std::getenv("VENDRAKE_REPORT");
  if (path == nullptr || *path == '\0' || ReplaceFile(path, ReportText(accepted))) return;
  try {
    WriteErrorLine(std::string("vendrake: cannot write ") + path + ": " + std::strerror(errno));
  } catch (const Exception&) {
    // No console either: the missing report tells the service.
  }
}

}  // namespace vendrake
