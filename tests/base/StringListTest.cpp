#include "base/StringList.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"

namespace vendrake {
namespace {

TEST(StringList, IndexOutsideRaisesWithTheIndex) {
  TStringList list;
  list.Add("a");
  EXPECT_EQ(list[0], "a");
  for (int index : {1, -1}) {
    try {
      (void)list[index];
      FAIL() << index;
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(index) + ")");
    }
  }
}

TEST(StringList, RefillAfterClearHoldsOnlyTheNewItems) {
  TStringList list;
  list.Add("a long first item beyond the small-string size");
  list.Add("b");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AddEmpty(), "");
  list.Add(std::string_view("z\0z", 3));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[1], std::string_view("z\0z", 3));
  TStringList copy;
  copy.Add("old");
  copy.Assign(list);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy[1], list[1]);
}

}  // namespace
}  // namespace vendrake
