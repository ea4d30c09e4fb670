// Every input column through the merge and the writers to the database
// columns it feeds. Each cell's value names its column, symbol and
// directory, so a column read from the wrong file, merged into the wrong
// table, misspelled or written to the wrong place shows as a wrong cell.
// The mapping below is this test's own, written from the table layouts,
// not taken from the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "ServerTests.h"
#include "TempDir.h"
#include "app/TradingDate.h"

namespace vendrake {
namespace {

enum TFile { kF, kO, kTC };
const char* const kFileNames[] = {"F_OvernightData.csv", "OvernightData.csv",
                                  "TC_OvernightData.csv"};

// An input column, the file that holds it, and the column it lands in in
// symbol_info_f, symbol_info_t and alerts_daily (nullptr: none).
struct TInputColumn {
  TFile file;
  const char* name;
  const char* info_f;
  const char* info_t;
  const char* alerts;
};

constexpr TInputColumn kColumns[] = {
    {kF, "Company Name", "company_name", nullptr, nullptr},
    {kF, "Listed Exchange", "exchange", nullptr, "list_exch"},
    {kF, "Correlation R2", nullptr, "correlation_r2", nullptr},
    {kF, "F Correlation R2", nullptr, "f_correlation_r2", nullptr},
    {kF, "Previous High", nullptr, nullptr, "high_p"},
    {kF, "Previous Low", nullptr, nullptr, "low_p"},
    {kF, "52 Week High", nullptr, nullptr, "high_52w"},
    {kF, "52 Week Low", nullptr, nullptr, "low_52w"},
    {kF, "Bunny 130", nullptr, "bunny_130", "bunny_130"},
    {kF, "Consolidation Days", nullptr, "consolidation_days", "consolidation_days"},
    {kF, "Consolidation Top", nullptr, nullptr, "consolidation_high"},
    {kF, "Consolidation Bottom", nullptr, nullptr, "consolidation_low"},
    {kF, "Average True Range", nullptr, "average_true_range", "average_true_range"},
    {kF, "Lifetime High", nullptr, nullptr, "high_life"},
    {kF, "Lifetime Low", nullptr, nullptr, "low_life"},
    {kF, "Prev Put Volume", nullptr, nullptr, "prev_put_volume"},
    {kF, "Prev Call Volume", nullptr, nullptr, "prev_call_volume"},
    {kO, "Tick Volatility", nullptr, "volatility", "volatility"},
    {kO, "Last Price", nullptr, "last_price", "last_price"},
    {kO, "Avg Daily Volume", nullptr, "ad_vol", "advol"},
    {kO, "Correlation Symbol", nullptr, "correlation_symbol", nullptr},
    {kO, "Correlation M", nullptr, "correlation_m", nullptr},
    {kO, "F Correlation M", nullptr, "f_correlation_m", nullptr},
    {kO, "Bright Volatility", nullptr, nullptr, "bright_volatility"},
    {kTC, "200 Day SMA", nullptr, "sma_200", "sma_200"},
    {kTC, "50 Day SMA", nullptr, "sma_50", "sma_50"},
    {kTC, "20 Day SMA", nullptr, "sma_20", "sma_20"},
    {kTC, "Up Days", nullptr, "up_days", "up_days"},
    {kTC, "Range Contraction", nullptr, "range_contraction", "range_contraction"},
    {kTC, "20 Day StdDev", nullptr, "std_20", "std_20"},
};
constexpr int kColumnCount = std::size(kColumns);

// Symbols S1 to S3 stand in every file, S4 only in the TC files, so that
// it belongs in no symbol_info_f row.
constexpr int kSymbols = 4;

// The cell of column c (1-based) and symbol s in directory d (1 or 2):
// "<c><s><d>" as a number, or empty where the symbol has no line in the
// file or the directory's gap rule leaves the cell empty. The rules give
// cells empty in one directory only and a few empty in both.
std::string Cell(int c, int s, int d) {
  const bool no_line = s == 4 && kColumns[c - 1].file != kTC;
  const bool gap = d == 1 ? (c + s) % 4 == 0 : (c + 3 * s) % 5 == 0;
  return no_line || gap ? "" : std::to_string(100 * c + 10 * s + d);
}

// The later directory's value where it has one, else the earlier's.
std::string Merged(int c, int s) {
  const std::string later = Cell(c, s, 2);
  return later.empty() ? Cell(c, s, 1) : later;
}

// Writes file f of directory d: the second directory lists its columns and
// its lines in reverse order.
void WriteFile(const TempDir& dir, TFile f, int d) {
  std::vector<int> columns;
  for (int c = 1; c <= kColumnCount; ++c) {
    if (kColumns[c - 1].file == f) columns.push_back(c);
  }
  std::vector<int> symbols;
  for (int s = 1; s <= kSymbols; ++s) {
    if (s < 4 || f == kTC) symbols.push_back(s);
  }
  if (d == 2) {
    std::reverse(columns.begin(), columns.end());
    std::reverse(symbols.begin(), symbols.end());
  }
  std::string text = "Symbol";
  for (int c : columns) text.append(",").append(kColumns[c - 1].name);
  for (int s : symbols) {
    text.append("\nS").append(std::to_string(s));
    for (int c : columns) text.append(",").append(Cell(c, s, d));
  }
  dir.Write(kFileNames[f], text + "\n");
}

// A written table: its key, a check of the column the program fills
// itself (an SQL condition), and how an empty value is stored.
struct TTable {
  std::string name;
  std::string key;
  const char* TInputColumn::*column;
  std::string own_column_check;
  std::string empty;
};

TEST(ColumnMapping, EveryInputColumnLandsInItsDatabaseColumns) {
  Server->ResetTables();
  TempDir first, second;
  for (TFile f : {kF, kO, kTC}) {
    WriteFile(first, f, 1);
    WriteFile(second, f, 2);
  }
  const std::string before = ComputeTradingDate();
  const Outcome run = RunCommand(VendrakeCommand(InstalledVendrake(kRootConfig), Server->Socket(),
                                                 {first.Path(), second.Path()}));
  const std::string after = ComputeTradingDate();
  ASSERT_EQ(run.exit_code, 0) << run.out;

  const TTable tables[] = {
      {"symbol_info_f", "symbol", &TInputColumn::info_f, "constant_flag = 'N'", ""},
      {"symbol_info_t", "symbol", &TInputColumn::info_t, "last_update > NOW() - INTERVAL 1 HOUR",
       "NULL"},
      {"alerts_daily", "d_symbol", &TInputColumn::alerts,
       "date IN ('" + before + "', '" + after + "')", "NULL"},
  };
  for (const TTable& table : tables) {
    std::string select = "SELECT " + table.key + ", " + table.own_column_check;
    std::vector<int> mapped;  // numbers of the input columns the table holds
    for (int c = 1; c <= kColumnCount; ++c) {
      const char* column = kColumns[c - 1].*table.column;
      if (column == nullptr) continue;
      select.append(", ").append(column);
      mapped.push_back(c);
    }
    // A row for every symbol with a value in one of the table's columns.
    std::string expected;
    for (int s = 1; s <= kSymbols; ++s) {
      std::string row = "S" + std::to_string(s) + "\t1";
      bool any = false;
      for (int c : mapped) {
        const std::string value = Merged(c, s);
        any |= !value.empty();
        row.append("\t").append(value.empty() ? table.empty : value);
      }
      if (any) expected += row + "\n";
    }
    EXPECT_EQ(Server->Query(select + " FROM " + table.name + " ORDER BY " + table.key), expected)
        << table.name;
    // The key, the program's own column and the mapped ones are all.
    EXPECT_EQ(Server->Query("SELECT COUNT(*) FROM information_schema.columns WHERE "
                            "table_schema = 'mydb' AND table_name = '" +
                            table.name + "'"),
              std::to_string(mapped.size() + 2) + "\n")
        << table.name;
  }
}

}  // namespace
}  // namespace vendrake
