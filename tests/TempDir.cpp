#include "TempDir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vendrake {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vendrake-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, std::string_view content) const {
  const std::string path = path_ + "/" + name;
  std::ofstream(path, std::ios::binary).write(content.data(), content.size());
  return path;
}

}  // namespace vendrake
