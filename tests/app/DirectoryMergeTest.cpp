#include "app/DirectoryMerge.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "TempDir.h"
#include "app/MergedTables.h"
#include "base/Exceptions.h"
#include "tables/TableContent.h"

namespace vendrake {
namespace {

class DirectoryMerge : public testing::Test {
 protected:
  void SetUp() override { merged_ = std::make_unique<TMergedTables>(); }
  void TearDown() override { merged_.reset(); }

  std::unique_ptr<TMergedTables> merged_;
  const TTwoDArray* InfoFTable() const { return &merged_->InfoFTable; }
  const TTwoDArray* InfoTTable() const { return &merged_->InfoTTable; }
  const TTwoDArray* AlertsTable() const { return &merged_->AlertsTable; }
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
  ReadDirectory(dir.Path() + "/", *merged_);  // paths hold "//", which is fine
  EXPECT_EQ(RowKeys(*InfoFTable()), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(RowKeys(*InfoTTable()), (std::vector<std::string>{"B", "D", "A"}));
  EXPECT_EQ(RowKeys(*AlertsTable()), (std::vector<std::string>{"A", "B", "D"}));
  EXPECT_EQ(AlertsTable()->GetValue("Listed Exchange", "A"), "NYSE");
  EXPECT_EQ(InfoFTable()->GetValue("Bunny 130", "B"), "");  // not one of its columns
  EXPECT_EQ(InfoTTable()->GetValue("Bunny 130", "B"), "2");
}

// The merge as a file's own table and a copy column after column: each load
// with LoadFromFile, then each merge with MergeColumn.
std::string MergeColumnWise(const std::string& directory, TMergedTables& tables) {
  TTwoDArray source;
  for (const TInputFile& file : kInputFiles) {
    try {
      source.LoadFromFile(directory + "/" + file.name);
    } catch (const Exception& e) {
      return e.Message();
    }
    std::vector<std::vector<int32_t>> rows(3, std::vector<int32_t>(source.RowCount(), -1));
    for (const TMerge& merge : file.merges) {
      const int t = merge.into == &TMergedTables::InfoFTable   ? 0
                    : merge.into == &TMergedTables::InfoTTable ? 1
                                                               : 2;
      MergeColumn(tables.*merge.into, source, merge.column, rows[t]);
    }
  }
  return "";
}

// Random files of few keys, blank and repeated cells, shuffled and doubled
// header names and now and then a bad line: read as the run reads them, the
// merged tables hold what the column-wise merge gives, rows in its order.
TEST_F(DirectoryMerge, GivesWhatTheColumnWiseMergeGives) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    TearDown();
    SetUp();
    std::mt19937 random(seed);
    const auto below = [&](size_t n) {
      return std::uniform_int_distribution<size_t>(0, n - 1)(random);
    };
    TempDir dirs[2];
    for (const TempDir& dir : dirs) {
      for (const TInputFile& file : kInputFiles) {
        std::vector<std::string> names{"Symbol", "Other"};
        for (const TMerge& merge : file.merges) names.push_back(merge.column);
        std::shuffle(names.begin() + 1, names.end(), random);
        names.resize(1 + below(names.size()));
        if (below(4) == 0) names.push_back(names[below(names.size())]);
        std::string text;
        for (const std::string& name : names) text += name + ",";
        text.back() = '\n';
        for (size_t line = below(40); line > 0; --line) {
          const std::string key(1, "ABCDEFabc"[below(9)]);
          text += below(20) == 0 ? "" : below(5) == 0 ? "\"" + key + "\"" : key;
          for (size_t b = 1; b < names.size() + (below(50) == 0); ++b)
            text += std::string(",") + (below(3) == 0 ? ""
                                        : below(2)    ? "\" 5 \""
                                                      : "a value longer than a cell");
          text += below(2) ? "\n" : "\r\n";
        }
        dir.Write(file.name, text);
      }
    }
    TMergedTables reference;
    const TTwoDArray* expected[3] = {&reference.InfoFTable, &reference.InfoTTable,
                                     &reference.AlertsTable};
    std::string expected_error;
    for (const TempDir& dir : dirs) {
      if (expected_error.empty()) expected_error = MergeColumnWise(dir.Path(), reference);
    }
    std::string error;
    try {
      for (const TempDir& dir : dirs) ReadDirectory(dir.Path(), *merged_);
    } catch (const Exception& e) {
      error = e.Message();
    }
    ASSERT_EQ(error, expected_error) << "seed " << seed;
    if (!error.empty()) continue;
    const TTwoDArray* tables[3] = {InfoFTable(), InfoTTable(), AlertsTable()};
    for (int t = 0; t < 3; ++t) {
      ASSERT_EQ(RowKeys(*tables[t]), RowKeys(*expected[t])) << "seed " << seed << " table " << t;
      for (const TInputFile& file : kInputFiles) {
        for (const TMerge& merge : file.merges) {
          for (const std::string& key : RowKeys(*expected[t])) {
            ASSERT_EQ(tables[t]->GetValue(merge.column, key),
                      expected[t]->GetValue(merge.column, key))
                << "seed " << seed << " " << merge.column << " " << key;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace vendrake
