// Settings from Config.ini, the INI file beside the running executable.
// Lookups never fail: a missing file, section or key yields the fallback.
#ifndef VENDRAKE_CONFIG_CONFIGFILE_H_
#define VENDRAKE_CONFIG_CONFIGFILE_H_

#include <string>
#include <string_view>

namespace vendrake {

// Reads values from one INI file, re-reading the file on every lookup and
// keeping nothing open. Follows what existing files were written for:
// section and key names match case-insensitively, blanks around names and
// values are dropped, one pair of matching quotes around a value is removed,
// lines starting with ';' are comments, the first matching section and the
// first matching key in it win.
class TIniFile {
 public:
  // Longest value handed out; longer values and defaults are cut, as the
  // lookup these files were written for reads into 2048 bytes, terminating
  // zero included, so no program ever saw more of a value.
  static constexpr size_t kMaxValue = 2047;

  explicit TIniFile(std::string path) : path_(std::move(path)) {}

  // The key's value in section, or fallback when the file, the section or
  // the key is absent; either way cut to kMaxValue bytes.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  const std::string& FileName() const { return path_; }

 private:
  std::string path_;
};

// Directory of /proc/self/exe followed by "Config.ini"; empty, so that
// every lookup falls back, when the executable's path is unknown.
std::string ExecutableConfigPath();

// The key from section, else from section "Common", else fallback.
std::string GetConfigString(std::string_view section, std::string_view key,
                            std::string_view fallback);

}  // namespace vendrake

#endif  // VENDRAKE_CONFIG_CONFIGFILE_H_
