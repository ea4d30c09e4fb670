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
  EXPECT_EQ(GetValue(*AlertsTable(), "Listed Exchange", "A"), "NYSE");
  EXPECT_EQ(GetValue(*InfoFTable(), "Bunny 130", "B"), "");  // not one of its columns
  EXPECT_EQ(GetValue(*InfoTTable(), "Bunny 130", "B"), "2");
}

// What a failed read raised, with the place a refused line carries.
std::string Failure(const Exception& e) {
  std::string text = std::string(e.ClassName()) + ": " + e.Message();
  if (const auto* line = dynamic_cast<const ELoadLineError*>(&e)) {
    text += " at " + line->Path() + ":" + std::to_string(line->Line()) + ":" +
            std::to_string(line->Field());
  }
  return text;
}

// The merge as a file's own table and a copy column after column: each load
// with LoadFromFile, then each merge with MergeColumn. keys gets each
// file's row keys.
std::string MergeColumnWise(const std::string& directory, TMergedTables& tables,
                            std::vector<std::string>& keys) {
  TTwoDArray source;
  for (const TInputFile& file : kInputFiles) {
    try {
      LoadFromFile(source, directory + "/" + file.name);
    } catch (const Exception& e) {
      return Failure(e);
    }
    for (const std::string& key : RowKeys(source)) keys.push_back(file.name + (" " + key));
    for (const TMerge& merge : file.merges) MergeColumn(tables.*merge.into, source, merge.column);
  }
  return "";
}

// A refused line's error carries the file, the line (every line end
// counted) and the field position beside the console's message; the later
// files, missing, are never reached.
TEST_F(DirectoryMerge, RefusedLinesNameTheirPlace) {
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
  TempDir dir;
  const std::string path = dir.Path() + "/" + kInputFiles[0].name;
  for (const auto& c : cases) {
    dir.Write(kInputFiles[0].name, c.content);
    try {
      ReadDirectory(dir.Path(), *merged_);
      ADD_FAILURE() << c.content;
    } catch (const ELoadLineError& e) {
      EXPECT_EQ(Failure(e), "EStringListError: List index out of bounds (" +
                                std::to_string(c.field) + ") at " + path + ":" +
                                std::to_string(c.line) + ":" + std::to_string(c.field))
          << c.content;
    }
  }
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
    std::vector<std::string> headers;  // each file's, as written
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
        headers.push_back(text);
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
    std::vector<std::string> expected_keys, keys;
    // The header each file's report is given, which must outlive the file's
    // chunks.
    std::vector<std::string> reported;
    TFileKeys read;  // as vendrake-check asks for them
    read.file_read = [&](const TInputFile& file, const TStringList& header) {
      for (const std::string& key : RowKeys(read.table)) keys.push_back(file.name + (" " + key));
      std::string text;
      for (int b = 0; b < header.Count(); ++b) text += header[b] + ",";
      text.back() = '\n';
      reported.push_back(text);
    };
    for (const TempDir& dir : dirs) {
      if (expected_error.empty())
        expected_error = MergeColumnWise(dir.Path(), reference, expected_keys);
    }
    // Chunks of a line or less too, so that they end at every place a line
    // may end.
    const size_t chunk_bytes[] = {1, 2, 7, 64, kChunkBytes};
    std::string error;
    try {
      for (const TempDir& dir : dirs) {
        ReadFiles(dir.Path(), kInputFiles, *merged_, &read, chunk_bytes[seed % 5]);
      }
    } catch (const Exception& e) {
      error = Failure(e);
    }
    ASSERT_EQ(error, expected_error) << "seed " << seed;
    if (!error.empty()) continue;
    ASSERT_EQ(keys, expected_keys) << "seed " << seed;
    ASSERT_EQ(reported, headers) << "seed " << seed;
    const TTwoDArray* tables[3] = {InfoFTable(), InfoTTable(), AlertsTable()};
    for (int t = 0; t < 3; ++t) {
      ASSERT_EQ(RowKeys(*tables[t]), RowKeys(*expected[t])) << "seed " << seed << " table " << t;
      for (const TInputFile& file : kInputFiles) {
        for (const TMerge& merge : file.merges) {
          for (const std::string& key : RowKeys(*expected[t])) {
            ASSERT_EQ(GetValue(*tables[t], merge.column, key),
                      GetValue(*expected[t], merge.column, key))
                << "seed " << seed << " " << merge.column << " " << key;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace vendrake
