#include "app/DirectoryMerge.h"

#include <algorithm>
#include <vector>

#include "app/Console.h"
#include "app/Database.h"

namespace vendrake {

namespace {

struct TMerge {
  const char* column;
  TTwoDArray** into;
};

struct TInputFile {
  const char* name;
  std::initializer_list<TMerge> merges;
};

// The files in reading order and the merges after each, in order; a column
// that goes to two tables is merged into the first named one first. A
// symbol joins a merged table at its first value, so this order gives each
// table the row order in which it is written and printed.
const TInputFile kInputFiles[] = {
    {"F_OvernightData.csv",
     {{"Company Name", &InfoFTable},
      {"Listed Exchange", &InfoFTable},
      {"Listed Exchange", &AlertsTable},
      {"Correlation R2", &InfoTTable},
      {"F Correlation R2", &InfoTTable},
      {"Previous High", &AlertsTable},
      {"Previous Low", &AlertsTable},
      {"52 Week High", &AlertsTable},
      {"52 Week Low", &AlertsTable},
      {"Bunny 130", &InfoTTable},
      {"Bunny 130", &AlertsTable},
      {"Consolidation Days", &InfoTTable},
      {"Consolidation Days", &AlertsTable},
      {"Consolidation Top", &AlertsTable},
      {"Consolidation Bottom", &AlertsTable},
      {"Average True Range", &InfoTTable},
      {"Average True Range", &AlertsTable},
      {"Lifetime High", &AlertsTable},
      {"Lifetime Low", &AlertsTable},
      {"Prev Put Volume", &AlertsTable},
      {"Prev Call Volume", &AlertsTable}}},
    {"OvernightData.csv",
     {{"Tick Volatility", &InfoTTable},
      {"Tick Volatility", &AlertsTable},
      {"Last Price", &InfoTTable},
      {"Last Price", &AlertsTable},
      {"Avg Daily Volume", &InfoTTable},
      {"Avg Daily Volume", &AlertsTable},
      {"Correlation Symbol", &InfoTTable},
      {"Correlation M", &InfoTTable},
      {"F Correlation M", &InfoTTable},
      {"Bright Volatility", &AlertsTable}}},
    {"TC_OvernightData.csv",
     {{"200 Day SMA", &InfoTTable},
      {"200 Day SMA", &AlertsTable},
      {"50 Day SMA", &InfoTTable},
      {"50 Day SMA", &AlertsTable},
      {"20 Day SMA", &InfoTTable},
      {"20 Day SMA", &AlertsTable},
      {"Up Days", &InfoTTable},
      {"Up Days", &AlertsTable},
      {"Range Contraction", &InfoTTable},
      {"Range Contraction", &AlertsTable},
      {"20 Day StdDev", &InfoTTable},
      {"20 Day StdDev", &AlertsTable}}},
};

}  // namespace

void MergeColumn(TTwoDArray& destination, const TTwoDArray& source, std::string_view column,
                 const TStringList& rows) {
  // Rows go in batches, so that the lookups of a batch overlap.
  constexpr int kBatch = 256;
  std::vector<TCell> cells;
  std::vector<std::string_view> values;
  for (int begin = 0; begin < rows.Count(); begin += kBatch) {
    cells.clear();
    for (int i = begin; i < std::min(rows.Count(), begin + kBatch); ++i) {
      cells.push_back({column, rows[i]});
    }
    values.resize(cells.size());
    source.GetValues(cells, values.data());
    size_t kept = 0;  // empty values are never copied
    for (size_t i = 0; i < cells.size(); ++i) {
      if (values[i].empty()) continue;
      cells[kept] = cells[i];
      values[kept++] = values[i];
    }
    destination.SetValues(std::span(cells.data(), kept), values.data());
  }
}

void ReadDirectory(const std::string& directory) {
  WriteOutputLine("Reading:  " + directory);
  TTwoDArray source;
  TStringList rows;
  for (const TInputFile& file : kInputFiles) {
    source.LoadFromFile(directory + "/" + file.name);
    // Every merge of a file walks the same rows, so they are taken once.
    source.GetRowKeys(rows);
    for (const TMerge& merge : file.merges) MergeColumn(**merge.into, source, merge.column, rows);
  }
}

}  // namespace vendrake
