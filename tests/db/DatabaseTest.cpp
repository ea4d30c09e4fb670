#include "db/Database.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "db/mysql.h"

namespace vendrake {
namespace {

using namespace std::string_literals;

// The client library sets up its character sets with the first handle it
// makes; the program escapes only after it connected.
TEST(Quoting, ValuesBecomeOneDoubleQuotedLiteralOrNull) {
  static MYSQL* const handle = mysql_init(nullptr);  // kept, as the program keeps its own
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(QuoteSqlOrNull(""), "NULL");
  EXPECT_EQ(QuoteSql(""), "\"\"");
  EXPECT_EQ(QuoteSqlOrNull("1.5"), "\"1.5\"");
  EXPECT_EQ(QuoteSql("a\"b'c\\d;e"), "\"a\\\"b\\'c\\\\d;e\"");
  EXPECT_EQ(QuoteSql("x\ny\r\x1Az"), "\"x\\ny\\r\\Zz\"");
  EXPECT_EQ(EscapeSql("a\0b"s), "a\\0b");
  EXPECT_EQ(EscapeSql("Soci\xC3\xA9t\xC3\xA9"), "Soci\xC3\xA9t\xC3\xA9");
  // The worst case fills the room of twice the length exactly.
  EXPECT_EQ(EscapeSql("\"\"\""), "\\\"\\\"\\\"");
}

// Without a ready client library nothing is attempted.
TEST(Connection, NeedsAReadyClientLibrary) {
  FreeClientLibrary();
  try {
    TDatabase database{TSettings()};
    ADD_FAILURE() << "no exception";
  } catch (const EAssertionFailed& error) {
    EXPECT_EQ(error.Message().rfind("Assertion failure (", 0), 0u) << error.Message();
  }
  LoadClientLibrary(nullptr);
}

}  // namespace
}  // namespace vendrake
