#include "tables/TwoDLookup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TempDir.h"
#include "base/Exceptions.h"
#include "tables/DelimitedLines.h"
#include "tables/TableContent.h"

namespace vendrake {
namespace {

using Fields = std::vector<std::string>;

Fields Split(std::string_view line) {
  TStringList list;
  list.Add("left over");
  SplitDelimitedLine(list, line, ',', '"');
  return ListContent(list);
}

TEST(SplitDelimitedLine, FollowsTheFilesOwnRules) {
  const std::vector<std::pair<std::string, Fields>> cases = {
      {"a,b,c", {"a", "b", "c"}},
      {"a,,b", {"a", "", "b"}},
      {"a,b,", {"a", "b", ""}},
      {",", {"", ""}},
      {"", {}},
      {"\t\t", {}},
      {"  ", {""}},
      {" a , b ", {"a", "b"}},
      {"\ta,\tb", {"a", "b"}},
      {"a\tb,c", {"a", "b", "c"}},
      {"a,b,\t", {"a", "b"}},
      {"a,b, ", {"a", "b", ""}},
      {"\"ab\",c", {"ab", "c"}},
      {"\"a,b\",c", {"a,b", "c"}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"\"\",x", {"", "x"}},
      {"\" a \"", {"a"}},
      {"\"a\"\t,b", {"a", "b"}},
      {"\"ab\"cd,e", {"ab", "cd", "e"}},
      {"\"ab\" ,e", {"ab", "", "e"}},
      {" \"a\",b", {"\"a\"", "b"}},
      {"a, \"b\"", {"a", "\"b\""}},
      {" \"a,b\"", {"\"a", "b\""}},
      {"a\"b,c", {"a\"b", "c"}},
      {"\"ab", {"ab"}},
      {"\"a\"\"b", {"a\"b"}},
      {"\"", {""}},
      {"\"a\tb\x1a,c\"", {"a\tb\x1a,c"}},
      {std::string("a,b\0,c", 6), {"a", "b"}},
      {"\xc3\xa9t\xc3\xa9,\xe2\x82\xac", {"\xc3\xa9t\xc3\xa9", "\xe2\x82\xac"}},
  };
  for (const auto& [line, fields] : cases) EXPECT_EQ(Split(line), fields) << line;
}

TEST(TTwoDArray, NamesAndKeysWithCommasStayApart) {
  TTwoDArray table;
  SetValue(table, "a,b", "x", "1");
  SetValue(table, "a", "b,x", "2");
  EXPECT_EQ(GetValue(table, "a,b", "x"), "1");
  EXPECT_EQ(GetValue(table, "a", "b,x"), "2");
}

TEST(TTwoDArray, SetValueRegistersRowsOnceInArrivalOrder) {
  TTwoDArray table;
  EXPECT_EQ(GetValue(table, "any", "pair"), "");
  EXPECT_TRUE(RowKeys(table).empty());
  SetValue(table, "c1", "XYZ", "1");
  SetValue(table, "c2", "XYZ", "2");
  SetValue(table, "c1", "ABC", "3");
  SetValue(table, "c1", "abc", "");
  SetValue(table, "c1", "XYZ", "replaced");
  EXPECT_EQ(RowKeys(table), (Fields{"XYZ", "ABC", "abc"}));
  EXPECT_EQ(GetValue(table, "c1", "XYZ"), "replaced");
  EXPECT_EQ(GetValue(table, "c2", "XYZ"), "2");
  EXPECT_EQ(GetValue(table, "C1", "ABC"), "");
}

class LoadFromFileTest : public ::testing::Test {
 protected:
  // Loads content into table_ and returns what the load raised, if anything.
  std::string Load(std::string_view content) {
    try {
      LoadFromFile(table_, dir_.Write("in.csv", content));
      return "";
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + e.Message();
    }
  }

  TempDir dir_;
  TTwoDArray table_;
};

TEST_F(LoadFromFileTest, ReadsCellsByHeaderName) {
  SetValue(table_, "Last Price", "OLD", "gone after load");
  EXPECT_EQ(Load("K,Last Price,Company Name\r\nABC,12.5,\r\n"), "");
  EXPECT_EQ(RowKeys(table_), (Fields{"ABC"}));
  EXPECT_EQ(GetValue(table_, "Last Price", "ABC"), "12.5");
  EXPECT_EQ(GetValue(table_, "Company Name", "ABC"), "");
  EXPECT_EQ(GetValue(table_, "K", "ABC"), "");
  EXPECT_EQ(GetValue(table_, "Last Price", "OLD"), "");
}

TEST_F(LoadFromFileTest, LinesRepeatsBlanksAndLineEnds) {
  EXPECT_EQ(Load("K,P,P,Q\nABC,1,,x\n\n\rabc,2\rABC,,3\r\n  \n\"Name, Inc.\",\"say \"\"hi\"\"\"\n"
                 "short\nlong,1,2,3,,,\n"),
            "");
  EXPECT_EQ(RowKeys(table_), (Fields{"ABC", "abc", "ABC", "", "Name, Inc.", "short", "long"}));
  EXPECT_EQ(GetValue(table_, "P", "ABC"), "3");  // later line and later position win
  EXPECT_EQ(GetValue(table_, "Q", "ABC"), "x");  // an empty cell erases nothing
  EXPECT_EQ(GetValue(table_, "P", "abc"), "2");
  EXPECT_EQ(GetValue(table_, "P", "Name, Inc."), "say \"hi\"");
  EXPECT_EQ(GetValue(table_, "Q", "long"), "3");
}

TEST_F(LoadFromFileTest, EmptyHeaderOnlyAndTruncatedFiles) {
  EXPECT_EQ(Load("K,A\n"), "");
  EXPECT_TRUE(RowKeys(table_).empty());
  EXPECT_EQ(Load("\n"), "");
  EXPECT_EQ(Load(std::string("K,A\nX,1\n\0Y,2\n", 13)), "");
  EXPECT_EQ(RowKeys(table_), (Fields{"X"}));
  EXPECT_EQ(Load("\nX,1\n"), "EStringListError: List index out of bounds (1)");
  EXPECT_EQ(Load(""), "EStringListError: List index out of bounds (0)");
  EXPECT_EQ(Load(std::string("\0K,A\n", 5)), "EStringListError: List index out of bounds (0)");
}

TEST_F(LoadFromFileTest, LinesAcrossReadChunksStayWhole) {
  // The reader takes a megabyte at a time: a line end on the boundary, a
  // line longer than the chunk, and a zero byte far into the file.
  const std::string first(1'048'575 - 7, 'v');
  const std::string huge(3'000'000, 'w');
  EXPECT_EQ(
      Load("K,A\r\nX," + first + "\r\nY,2\nZ," + huge + "\rW,1" + std::string(1, '\0') + "V,9\n"),
      "");
  EXPECT_EQ(RowKeys(table_), (Fields{"X", "Y", "Z", "W"}));
  EXPECT_EQ(GetValue(table_, "A", "X"), first);
  EXPECT_EQ(GetValue(table_, "A", "Z"), huge);
  EXPECT_EQ(GetValue(table_, "A", "W"), "1");
}

TEST_F(LoadFromFileTest, MalformedLinesFailAndKeepWhatCameBefore) {
  EXPECT_EQ(Load("K,A\nX,1\n\t\x01\nY,2\n"), "EStringListError: List index out of bounds (0)");
  EXPECT_EQ(RowKeys(table_), (Fields{"X"}));
  EXPECT_EQ(Load("K,A,B\nX,1\nY,2,3,,4\nZ,5\n"), "EStringListError: List index out of bounds (4)");
  EXPECT_EQ(RowKeys(table_), (Fields{"X", "Y"}));
  EXPECT_EQ(GetValue(table_, "B", "Y"), "3");
  EXPECT_EQ(GetValue(table_, "A", "Z"), "");
}

TEST_F(LoadFromFileTest, UnopenableFilesNameTheAbsolutePathAndReason) {
  SetValue(table_, "c", "r", "v");
  char* cwd = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(dir_.Path().c_str()), 0);
  try {
    LoadFromFile(table_, "missing/F_OvernightData.csv");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + dir_.Path() +
                               "/missing/F_OvernightData.csv\". No such file or directory");
  }
  EXPECT_EQ(::chdir(cwd), 0);
  free(cwd);
  EXPECT_TRUE(RowKeys(table_).empty());
  try {
    LoadFromFile(table_, dir_.Path());
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + dir_.Path() + "\". Is a directory");
  }
}

}  // namespace
}  // namespace vendrake
