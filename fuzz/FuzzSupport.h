// Helpers shared by the fuzz targets: a failed check that libFuzzer records
// as a crash, and a scratch file for the code that reads its input from disk.
#ifndef VENDRAKE_FUZZ_FUZZSUPPORT_H_
#define VENDRAKE_FUZZ_FUZZSUPPORT_H_

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vendrake {

// Aborts with the failed condition, so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// One file per process that every input overwrites, so the code under test
// reads it through the same system calls as a real input file. Its name is
// removed at once and the code opens it through /proc, so that nothing is
// left behind, not even by a crash.
class TScratchFile {
 public:
  TScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/vendrake-fuzz-XXXXXX";
    fd_ = ::mkstemp(path_.data());
    if (fd_ < 0) {
      std::perror("mkstemp");
      std::abort();
    }
    ::unlink(path_.c_str());
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~TScratchFile() { ::close(fd_); }
  TScratchFile(const TScratchFile&) = delete;
  TScratchFile& operator=(const TScratchFile&) = delete;

  void Write(std::string_view content) {
    FUZZ_CHECK(::ftruncate(fd_, 0) == 0);
    size_t done = 0;
    while (done < content.size()) {
      const ssize_t n = ::pwrite(fd_, content.data() + done, content.size() - done, done);
      FUZZ_CHECK(n > 0);
      done += n;
    }
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_;
};

}  // namespace vendrake

#endif  // VENDRAKE_FUZZ_FUZZSUPPORT_H_
