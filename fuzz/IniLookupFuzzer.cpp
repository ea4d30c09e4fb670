// TIniFile::ReadString on arbitrary file contents, for fixed names and for
// the first key of the file's first section.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "config/ConfigFile.h"

namespace vendrake {
namespace {

// No value read from the file can hold a line end, so a result holding one
// is the fallback.
constexpr std::string_view kFallback = "\n(absent)";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Flip(std::string_view s) {
  std::string flipped(s);
  for (char& c : flipped) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return flipped;
}

// The first "key = value" line under the first "[section]" line, before any
// other section starts; comments are lines starting with ';'.
bool FirstEntry(std::string_view text, std::string_view& section, std::string_view& key,
                std::string_view& value) {
  bool in_section = false;
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    const std::string_view line = Trim(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.find(']') != std::string_view::npos) {
      if (in_section) return false;
      section = Trim(line.substr(1, line.find(']') - 1));
      in_section = true;
      continue;
    }
    const size_t equals = line.find('=');
    if (!in_section || equals == std::string_view::npos) continue;
    key = Trim(line.substr(0, equals));
    value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return true;
  }
  return false;
}

// The result of one lookup, after checking what holds for every lookup:
// the length limit, and names matching whatever their letters' case.
std::string Lookup(const TIniFile& ini, std::string_view section, std::string_view key) {
  const std::string value = ini.ReadString(section, key, kFallback);
  FUZZ_CHECK(value.size() <= TIniFile::kMaxValue);
  FUZZ_CHECK(value == kFallback || value.find('\n') == std::string::npos);
  FUZZ_CHECK(ini.ReadString(Flip(section), Flip(key), kFallback) == value);
  return value;
}

}  // namespace
}  // namespace vendrake

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrake;
  static TScratchFile file;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  file.Write(text);
  const TIniFile ini(file.Path());

  Lookup(ini, "Common", "Host");
  Lookup(ini, "Database", "User");
  Lookup(ini, "", "");
  // No section name can hold a line end, so this falls back, cut.
  const std::string long_fallback(TIniFile::kMaxValue + 100, 'x');
  FUZZ_CHECK(ini.ReadString("\n", "Host", long_fallback) ==
             long_fallback.substr(0, TIniFile::kMaxValue));

  std::string_view section, key, value;
  if (FirstEntry(text, section, key, value)) {
    FUZZ_CHECK(Lookup(ini, section, key) == value.substr(0, TIniFile::kMaxValue));
  }
  return 0;
}
