#include "app/Console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/Exceptions.h"

namespace vendrake {

namespace {

struct Stream {
  int fd;
  const char* name;
};

constexpr Stream kOutput{STDOUT_FILENO, "standard output"};
constexpr Stream kError{STDERR_FILENO, "standard error"};
constexpr Stream kInput{STDIN_FILENO, "standard input"};

[[noreturn]] void RaiseInOutError(const char* action, const Stream& stream, int error) {
  throw EInOutError(std::string("Cannot ") + action + " " + stream.name + ". " +
                    std::strerror(error));
}

void OpenForWriting(const Stream& stream) {
  const int flags = ::fcntl(stream.fd, F_GETFL);
  if (flags < 0) RaiseInOutError("open", stream, errno);
  if ((flags & O_ACCMODE) == O_RDONLY) RaiseInOutError("open", stream, EBADF);
}

void WriteLine(const Stream& stream, std::string_view line) {
  static std::string buffer;  // reused: one program thread, lines of any length
  buffer.assign(line);
  buffer.append("\r\n");
  const char* p = buffer.data();
  size_t left = buffer.size();
  while (left > 0) {
    const ssize_t n = ::write(stream.fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) RaiseInOutError("write to", stream, n < 0 ? errno : EIO);
    p += n;
    left -= n;
  }
}

}  // namespace

void OpenConsole() {
  ::signal(SIGPIPE, SIG_IGN);
  OpenForWriting(kError);
  OpenForWriting(kOutput);
}

void WriteOutputLine(std::string_view line) { WriteLine(kOutput, line); }

void WriteErrorLine(std::string_view line) { WriteLine(kError, line); }

void ReadInputLine() {
  for (;;) {
    char c;
    const ssize_t n = ::read(kInput.fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseInOutError("read from", kInput, errno);
    if (n == 0 || c == '\n') return;
  }
}

}  // namespace vendrake
