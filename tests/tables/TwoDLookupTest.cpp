#include "tables/TwoDLookup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TempDir.h"
#include "base/Exceptions.h"
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

TEST(TTwoDArray, CellKeysCarryTheColumnLength) {
  EXPECT_EQ(TTwoDArray::MakeCellKey("Last Price", "ABC"),
            std::string("Last Price,ABC,\x0a\x00\x00\x00", 19));
  EXPECT_NE(TTwoDArray::MakeCellKey("a,b", "x"), TTwoDArray::MakeCellKey("a", "b,x"));
  TTwoDArray table;
  table.SetValue("a,b", "x", "1");
  table.SetValue("a", "b,x", "2");
  EXPECT_EQ(table.GetValue("a,b", "x"), "1");
  EXPECT_EQ(table.GetValue("a", "b,x"), "2");
}

TEST(TTwoDArray, SetValueRegistersRowsOnceInArrivalOrder) {
  TTwoDArray table;
  EXPECT_EQ(table.GetValue("any", "pair"), "");
  EXPECT_TRUE(RowKeys(table).empty());
  table.SetValue("c1", "XYZ", "1");
  table.SetValue("c2", "XYZ", "2");
  table.SetValue("c1", "ABC", "3");
  table.SetValue("c1", "abc", "");
  table.SetValue("c1", "XYZ", "replaced");
  EXPECT_EQ(RowKeys(table), (Fields{"XYZ", "ABC", "abc"}));
  EXPECT_EQ(table.GetValue("c1", "XYZ"), "replaced");
  EXPECT_EQ(table.GetValue("c2", "XYZ"), "2");
  EXPECT_EQ(table.GetValue("C1", "ABC"), "");
}

class LoadFromFileTest : public ::testing::Test {
 protected:
  // Loads content into table_ and returns what the load raised, if anything.
  std::string Load(std::string_view content) {
    try {
      table_.LoadFromFile(dir_.Write("in.csv", content));
      return "";
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + e.Message();
    }
  }

  TempDir dir_;
  TTwoDArray table_;
};

TEST_F(LoadFromFileTest, ReadsCellsByHeaderName) {
  table_.SetValue("Last Price", "OLD", "gone after load");
  EXPECT_EQ(Load("K,Last Price,Company Name\r\nABC,12.5,\r\n"), "");
  EXPECT_EQ(RowKeys(table_), (Fields{"ABC"}));
  EXPECT_EQ(table_.GetValue("Last Price", "ABC"), "12.5");
  EXPECT_EQ(table_.GetValue("Company Name", "ABC"), "");
  EXPECT_EQ(table_.GetValue("K", "ABC"), "");
  EXPECT_EQ(table_.GetValue("Last Price", "OLD"), "");
}

TEST_F(LoadFromFileTest, LinesRepeatsBlanksAndLineEnds) {
  EXPECT_EQ(Load("K,P,P,Q\nABC,1,,x\n\n\rabc,2\rABC,,3\r\n  \n\"Name, Inc.\",\"say \"\"hi\"\"\"\n"
                 "short\nlong,1,2,3,,,\n"),
            "");
  EXPECT_EQ(RowKeys(table_), (Fields{"ABC", "abc", "ABC", "", "Name, Inc.", "short", "long"}));
  EXPECT_EQ(table_.GetValue("P", "ABC"), "3");  // later line and later position win
  EXPECT_EQ(table_.GetValue("Q", "ABC"), "x");  // an empty cell erases nothing
  EXPECT_EQ(table_.GetValue("P", "abc"), "2");
  EXPECT_EQ(table_.GetValue("P", "Name, Inc."), "say \"hi\"");
  EXPECT_EQ(table_.GetValue("Q", "long"), "3");
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
  EXPECT_EQ(table_.GetValue("A", "X"), first);
  EXPECT_EQ(table_.GetValue("A", "Z"), huge);
  EXPECT_EQ(table_.GetValue("A", "W"), "1");
}

TEST_F(LoadFromFileTest, MalformedLinesFailAndKeepWhatCameBefore) {
  EXPECT_EQ(Load("K,A\nX,1\n\t\x01\nY,2\n"), "EStringListError: List index out of bounds (0)");
  EXPECT_EQ(RowKeys(table_), (Fields{"X"}));
  EXPECT_EQ(Load("K,A,B\nX,1\nY,2,3,,4\nZ,5\n"), "EStringListError: List index out of bounds (4)");
  EXPECT_EQ(RowKeys(table_), (Fields{"X", "Y"}));
  EXPECT_EQ(table_.GetValue("B", "Y"), "3");
  EXPECT_EQ(table_.GetValue("A", "Z"), "");
}

// A refused line's error carries the file, the line (every line end
// counted) and the field position beside the console's message.
TEST_F(LoadFromFileTest, RefusedLinesNameTheirPlace) {
  const struct {
    std::string content;
    int line, field;
  } cases[] = {
      {"", 1, 0},                            // no header line
      {std::string("\0S,A\n", 5), 1, 0},     // a zero byte ends the text
      {"S,A\r\nX,1\r\nY,1,2\r\n", 3, 2},     // CR LF
      {"S,A\rX,1\r\rY,1,2", 4, 2},           // CR, an empty line counted
      {"S,A\n\n\x01\x02\n", 3, 0},           // control bytes only
      {"S,A\nX,1,,\nY,\"1,5\",,3\n", 3, 3},  // empty fields pass, quoted commas are text
      {"\nX,1\n", 2, 1},                     // an empty header names the key only
  };
  for (const auto& c : cases) {
    const std::string path = dir_.Write("in.csv", c.content);
    try {
      table_.LoadFromFile(path);
      ADD_FAILURE() << c.content;
    } catch (const ELoadLineError& e) {
      EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(c.field) + ")");
      EXPECT_EQ(std::string(e.ClassName()) + e.Path(), "EStringListError" + path);
      EXPECT_EQ(e.Line(), c.line) << c.content;
      EXPECT_EQ(e.Field(), c.field) << c.content;
    }
  }
}

TEST_F(LoadFromFileTest, UnopenableFilesNameTheAbsolutePathAndReason) {
  table_.SetValue("c", "r", "v");
  char* cwd = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(dir_.Path().c_str()), 0);
  try {
    table_.LoadFromFile("missing/F_OvernightData.csv");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + dir_.Path() +
                               "/missing/F_OvernightData.csv\". No such file or directory");
  }
  EXPECT_EQ(::chdir(cwd), 0);
  free(cwd);
  EXPECT_TRUE(RowKeys(table_).empty());
  try {
    table_.LoadFromFile(dir_.Path());
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + dir_.Path() + "\". Is a directory");
  }
}

}  // namespace
}  // namespace vendrake
