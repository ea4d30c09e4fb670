#include "config/ConfigFile.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace vendrake {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string Cut(std::string_view value) {
  return std::string(value.substr(0, TIniFile::kMaxValue));
}

// The section name of a "[name]" line, or nothing for any other line.
bool SectionName(std::string_view line, std::string_view& name) {
  if (line.empty() || line.front() != '[') return false;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(line.substr(1, close - 1));
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
  const std::string text = ReadFile(path_);
  std::string_view rest = text;
  bool in_section = false;
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    const std::string_view line = Trim(rest.substr(0, eol));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (line.empty() || line.front() == ';') continue;
    std::string_view name;
    if (SectionName(line, name)) {
      if (in_section) break;  // only the first section of that name counts
      in_section = EqualsIgnoreCase(name, section);
      continue;
    }
    const size_t equals = line.find('=');
    if (!in_section || equals == std::string_view::npos) continue;
    if (EqualsIgnoreCase(Trim(line.substr(0, equals)), key)) {
      return Cut(Unquote(Trim(line.substr(equals + 1))));
    }
  }
  return Cut(fallback);
}

std::string ExecutableConfigPath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer));
  // Without the executable's path there is no file beside it; a relative
  // name would read the working directory's instead.
  if (n <= 0) return {};
  const std::string exe(buffer, n);
  return exe.substr(0, exe.rfind('/') + 1) + "Config.ini";
}

namespace {
// Fixed once, before main runs, like the rest of the start-up state.
const TIniFile ConfigIni(ExecutableConfigPath());
}  // namespace

std::string GetConfigString(std::string_view section, std::string_view key,
                            std::string_view fallback) {
  const std::string shared = ConfigIni.ReadString("Common", key, fallback);
  return ConfigIni.ReadString(section, key, shared);
}

}  // namespace vendrake
