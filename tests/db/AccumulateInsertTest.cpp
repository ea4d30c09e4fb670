#include "db/AccumulateInsert.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"

namespace vendrake {
namespace {

TEST(AccumulateInsert, StatementsJoinTuplesWithACommaBehindVALUES) {
  TAccumulateInsert insert("REPLACE INTO t");
  EXPECT_TRUE(insert.IsEmpty());
  insert.Add("(1)");
  EXPECT_EQ(insert.TakeStatement(), "REPLACE INTO t VALUES (1)");
  EXPECT_TRUE(insert.IsEmpty());
  // The next statement starts afresh; what is left in the buffer never shows.
  insert.Add("(\"a\", NULL)");
  insert.Add("(2)");
  EXPECT_EQ(insert.TakeStatement(), "REPLACE INTO t VALUES (\"a\", NULL),(2)");
  insert.Add("(3)");
  EXPECT_EQ(insert.TakeStatement(), "REPLACE INTO t VALUES (3)");
}

TEST(AccumulateInsert, IsFullFromExactlyOneMebibyteOfTuplesAndCommas) {
  TAccumulateInsert insert("p");
  insert.Add(std::string(1000000, 'x'));
  insert.Add(std::string(48574, 'y'));  // with its comma: 1,048,575
  EXPECT_FALSE(insert.IsFull());
  insert.Add("");  // one more comma
  EXPECT_TRUE(insert.IsFull());
  EXPECT_EQ(insert.TakeStatement().size(), 1 + 8 + 1048576u);
  EXPECT_FALSE(insert.IsFull());
}

TEST(AccumulateInsert, GrowsToTwiceTheUsedLengthOrWhatIsNeededAndKeepsCapacity) {
  TAccumulateInsert insert("p");
  insert.Add(std::string(2000000, 'z'));
  EXPECT_TRUE(insert.IsFull());
  EXPECT_EQ(insert.Capacity(), 2000001u);
  insert.TakeStatement();
  insert.Add(std::string(10, 'a'));
  EXPECT_EQ(insert.Capacity(), 2000001u);

  TAccumulateInsert doubling("p");
  doubling.Add(std::string(100, 'a'));
  EXPECT_EQ(doubling.Capacity(), 101u);
  doubling.Add("b");  // needs 103, twice the used 100 is more
  EXPECT_EQ(doubling.Capacity(), 200u);
}

TEST(AccumulateInsert, TakingAnEmptyStatementFailsACheck) {
  TAccumulateInsert insert("p");
  try {
    insert.TakeStatement();
    FAIL() << "no exception";
  } catch (const EAssertionFailed& error) {
    EXPECT_EQ(error.Message().rfind("Assertion failure (", 0), 0u) << error.Message();
  }
}

}  // namespace
}  // namespace vendrake
