// Quoting and statement building, read back the way the server reads them.
// The input after its first byte is split at 0xFF bytes into values; the
// first byte sets how many values make a tuple. Values in even positions go
// through QuoteSqlOrNull, the others through QuoteSql. The statement is then
// parsed with MySQL's rules for double-quoted literals, and every value must
// come back as it went in.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "db/AccumulateInsert.h"
#include "db/Database.h"
#include "db/mysql.h"

namespace vendrake {
namespace {

using TValue = std::optional<std::string>;  // nullopt stands for NULL
using TTuple = std::vector<TValue>;

constexpr std::string_view kPrefix = "REPLACE INTO t";

bool Consume(std::string_view& s, std::string_view token) {
  if (s.substr(0, token.size()) != token) return false;
  s.remove_prefix(token.size());
  return true;
}

// A double-quoted literal: a backslash escapes the next byte, with \0 \b \n
// \r \t \Z standing for control bytes, \% and \_ keeping their backslash,
// and any other byte standing for itself; a doubled quote is one quote.
bool ParseLiteral(std::string_view& s, std::string& out) {
  if (!Consume(s, "\"")) return false;
  for (;;) {
    if (s.empty()) return false;
    const char c = s.front();
    s.remove_prefix(1);
    if (c == '"') {
      if (!Consume(s, "\"")) return true;
      out += '"';
    } else if (c == '\\') {
      if (s.empty()) return false;
      const char e = s.front();
      s.remove_prefix(1);
      switch (e) {
        case '0':
          out += '\0';
          break;
        case 'b':
          out += '\b';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'Z':
          out += '\x1A';
          break;
        case '%':
        case '_':
          out += '\\';
          out += e;
          break;
        default:
          out += e;
          break;
      }
    } else {
      out += c;
    }
  }
}

bool ParseValue(std::string_view& s, TValue& value) {
  if (Consume(s, "NULL")) {
    value.reset();
    return true;
  }
  value.emplace();
  return ParseLiteral(s, *value);
}

// "<prefix> VALUES (v, v...),(v...)..." into its tuples.
bool ParseStatement(std::string_view s, std::vector<TTuple>& tuples) {
  if (!Consume(s, kPrefix) || !Consume(s, " VALUES ")) return false;
  do {
    if (!Consume(s, "(")) return false;
    TTuple& tuple = tuples.emplace_back();
    do {
      if (!ParseValue(s, tuple.emplace_back())) return false;
    } while (Consume(s, ", "));
    if (!Consume(s, ")")) return false;
  } while (Consume(s, ","));
  return s.empty();
}

}  // namespace
}  // namespace vendrake

// The client library sets up its character sets with the first handle it
// makes; the program escapes only after it connected.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace vendrake;
  if (ClientLibraryStatus != TClientLibraryStatus::Ready) {
    std::fprintf(stderr, "statement_fuzzer: the MariaDB client library did not load\n");
    std::abort();
  }
  static MYSQL* const handle = mysql_init(nullptr);  // kept, as the program keeps its own
  FUZZ_CHECK(handle != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrake;
  // Reused across inputs, as the program reuses its builders: bytes of an
  // earlier, longer statement must not show through.
  static TAccumulateInsert insert{std::string(kPrefix)};
  if (size == 0) return 0;
  const size_t width = 1 + data[0] % 4;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string_view> values;
  for (;;) {
    const size_t separator = rest.find('\xFF');
    values.push_back(rest.substr(0, separator));
    if (separator == std::string_view::npos) break;
    rest.remove_prefix(separator + 1);
  }

  std::vector<TTuple> expected;
  for (size_t first = 0; first < values.size(); first += width) {
    TTuple& tuple = expected.emplace_back();
    std::string text = "(";
    for (size_t i = first; i < values.size() && i < first + width; ++i) {
      const std::string_view value = values[i];
      const bool or_null = (i - first) % 2 == 0;
      if (i > first) text += ", ";
      text += or_null ? QuoteSqlOrNull(value) : QuoteSql(value);
      if (or_null && value.empty()) {
        tuple.emplace_back();
      } else {
        tuple.emplace_back(value);
      }
    }
    text += ")";
    insert.Add(text);
  }
  const std::string statement = insert.TakeStatement();
  FUZZ_CHECK(insert.IsEmpty());

  std::vector<TTuple> parsed;
  FUZZ_CHECK(ParseStatement(statement, parsed));
  FUZZ_CHECK(parsed == expected);
  return 0;
}
