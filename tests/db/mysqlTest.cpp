#include "db/mysql.h"

#include <gtest/gtest.h>

namespace vendrake {
namespace {

// Every test leaves the installed client library loaded, as the program
// has it from start-up.
class ClientLibrary : public testing::Test {
 protected:
  void TearDown() override { LoadClientLibrary(nullptr); }
};

TEST_F(ClientLibrary, TheInstalledLibraryIsLoadedAtStartUp) {
  EXPECT_EQ(ClientLibraryStatus, TClientLibraryStatus::Ready);
  EXPECT_NE(mysql_init, nullptr);
  EXPECT_NE(mysql_escape_string, nullptr);
}

TEST_F(ClientLibrary, StatusFollowsEachLoadAndUnload) {
  EXPECT_EQ(LoadClientLibrary("/no/such/libmariadb.so.3"), TClientLibraryStatus::Missing);
  EXPECT_EQ(ClientLibraryStatus, TClientLibraryStatus::Missing);
  FreeClientLibrary();
  EXPECT_EQ(ClientLibraryStatus, TClientLibraryStatus::Undefined);
  FreeClientLibrary();  // nothing loaded
  EXPECT_EQ(ClientLibraryStatus, TClientLibraryStatus::Undefined);
  EXPECT_EQ(LoadClientLibrary(nullptr), TClientLibraryStatus::Ready);
}

// One absent name makes the library unusable, but the others are still
// looked up; a later load replaces the library and every slot.
TEST_F(ClientLibrary, AMissingEntryPointMakesItIncompatible) {
  EXPECT_EQ(LoadClientLibrary(FAKE_CLIENT_INCOMPLETE), TClientLibraryStatus::Incompatible);
  EXPECT_EQ(mysql_escape_string, nullptr);
  ASSERT_NE(mysql_error, nullptr);
  EXPECT_STREQ(mysql_error(nullptr), "fake");
  EXPECT_NE(mysql_real_query, nullptr);
  EXPECT_EQ(LoadClientLibrary(nullptr), TClientLibraryStatus::Ready);
  EXPECT_NE(mysql_escape_string, nullptr);
  static MYSQL* const handle = mysql_init(nullptr);  // kept for the rest of the process
  EXPECT_STRNE(mysql_error(handle), "fake");
}

}  // namespace
}  // namespace vendrake
