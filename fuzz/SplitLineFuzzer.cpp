// SplitDelimitedLine on arbitrary bytes. The first byte picks the delimiter
// and the quote, the rest is the line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "tables/DelimitedLines.h"
#include "tables/TwoDLookup.h"

namespace vendrake {
namespace {

constexpr char kDelimiters[] = {',', ';', '\t', '|'};
constexpr char kQuotes[] = {'"', '\''};

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// Every field quoted, inner quotes doubled: whatever the fields hold, this
// line must split back into the same fields.
std::string QuoteAll(const TStringList& fields, char delimiter, char quote) {
  std::string line;
  for (int i = 0; i < fields.Count(); ++i) {
    if (i > 0) line += delimiter;
    line += quote;
    for (char c : fields[i]) {
      if (c == quote) line += quote;
      line += c;
    }
    line += quote;
  }
  return line;
}

}  // namespace
}  // namespace vendrake

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrake;
  // Kept across inputs, as the loader keeps its list from line to line, so
  // that storage left by a longer line must not leak into a shorter one.
  static TStringList fields;
  static TStringList again;
  if (size == 0) return 0;
  const char delimiter = kDelimiters[data[0] % 4];
  const char quote = kQuotes[(data[0] / 4) % 2];
  const std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string_view text = line.substr(0, line.find('\0'));

  SplitDelimitedLine(fields, line, delimiter, quote);
  FUZZ_CHECK(static_cast<size_t>(fields.Count()) <= text.size() + 1);
  for (int i = 0; i < fields.Count(); ++i) {
    const std::string& field = fields[i];
    FUZZ_CHECK(field.size() <= text.size());
    FUZZ_CHECK(field.find('\0') == std::string::npos);
    FUZZ_CHECK(field.empty() ||
               (!IsBlankOrControl(field.front()) && !IsBlankOrControl(field.back())));
  }

  SplitDelimitedLine(again, QuoteAll(fields, delimiter, quote), delimiter, quote);
  FUZZ_CHECK(again.Count() == fields.Count());
  for (int i = 0; i < fields.Count(); ++i) FUZZ_CHECK(again[i] == fields[i]);
  return 0;
}
