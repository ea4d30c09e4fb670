#include "app/DirectoryMerge.h"

#include <gtest/gtest.h>

#include "TempDir.h"
#include "app/MergedTables.h"
#include "tables/TableContent.h"

namespace vendrake {
namespace {

class DirectoryMerge : public testing::Test {
 protected:
  void SetUp() override { CreateMergedTables(); }
  void TearDown() override {
    for (TTwoDArray** table : {&InfoFTable, &InfoTTable, &AlertsTable}) {
      delete *table;
      *table = nullptr;
    }
  }
};

// Symbols enter a merged table with their first non-empty value, in merge
// order; a header spelled in other letter case brings nothing.
TEST_F(DirectoryMerge, FillsEachMergedTableWithItsColumnsInMergeOrder) {
  TempDir dir;
  dir.Write("F_OvernightData.csv",
            "Symbol,listed exchange,Company Name,Listed Exchange,Bunny 130\n"
            "A,X,,NYSE,\nB,X,Bee,,2\nC,X,,,\n");
  dir.Write("OvernightData.csv", "Symbol,Last Price\nD,4\nA,1\n");
  dir.Write("TC_OvernightData.csv", "Symbol,Up Days\n");
  ReadDirectory(dir.Path() + "/");  // paths hold "//", which is fine
  EXPECT_EQ(RowKeys(*InfoFTable), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(RowKeys(*InfoTTable), (std::vector<std::string>{"B", "D", "A"}));
  EXPECT_EQ(RowKeys(*AlertsTable), (std::vector<std::string>{"A", "B", "D"}));
  EXPECT_EQ(AlertsTable->GetValue("Listed Exchange", "A"), "NYSE");
  EXPECT_EQ(InfoFTable->GetValue("Bunny 130", "B"), "");  // not one of its columns
  EXPECT_EQ(InfoTTable->GetValue("Bunny 130", "B"), "2");
}

}  // namespace
}  // namespace vendrake
