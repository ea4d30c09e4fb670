// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
#ifndef VENDRAKE_TESTS_TEMPDIR_H_
#define VENDRAKE_TESTS_TEMPDIR_H_

#include <string>
#include <string_view>

namespace vendrake {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Writes content as the file name inside the directory; returns its path.
  std::string Write(const std::string& name, std::string_view content) const;

 private:
  std::string path_;
};

}  // namespace vendrake

#endif  // VENDRAKE_TESTS_TEMPDIR_H_
