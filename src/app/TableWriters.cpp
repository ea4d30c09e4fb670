#include "app/TableWriters.h"

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "app/MergedTables.h"
#include "db/Database.h"

namespace vendrake {

namespace {

// Source columns of the values behind the symbol.
constexpr std::array<std::string_view, 2> SymbolInfoFColumns = {"Company Name", "Listed Exchange"};

// Source columns of the values behind the symbol and last_update.
constexpr std::array<std::string_view, 17> SymbolInfoTColumns = {
    "Tick Volatility",   "Last Price",         "Avg Daily Volume",
    "200 Day SMA",       "50 Day SMA",         "20 Day SMA",
    "Up Days",           "Correlation Symbol", "Correlation M",
    "Correlation R2",    "F Correlation M",    "F Correlation R2",
    "Range Contraction", "Bunny 130",          "Consolidation Days",
    "20 Day StdDev",     "Average True Range"};

// Source columns of the values behind d_symbol and date.
constexpr std::array<std::string_view, 24> AlertsDailyColumns = {
    "Avg Daily Volume",   "Listed Exchange",   "Up Days",
    "Tick Volatility",    "Range Contraction", "200 Day SMA",
    "50 Day SMA",         "20 Day SMA",        "Bright Volatility",
    "Previous High",      "Previous Low",      "52 Week High",
    "52 Week Low",        "20 Day StdDev",     "Bunny 130",
    "Consolidation Days", "Consolidation Top", "Consolidation Bottom",
    "Average True Range", "Last Price",        "Lifetime High",
    "Lifetime Low",       "Prev Put Volume",   "Prev Call Volume"};

// Builds one row's tuple from its key and its values of the writer's
// columns, in their order, into a reused string, and says whether the row
// is to be written.
using TupleBuilder = bool (*)(const std::string& key, std::span<const std::string_view> values,
                              const std::string& trading_date, std::string& tuple);

// Appends ", " and each value as a literal, NULL for an empty one; returns
// whether any value was non-empty.
bool AppendValues(std::span<const std::string_view> values, std::string& tuple) {
  bool any = false;
  for (std::string_view value : values) {
    any |= !value.empty();
    tuple.append(", ").append(QuoteSqlOrNull(value));
  }
  return any;
}

bool SymbolInfoFTuple(const std::string& key, std::span<const std::string_view> values,
                      const std::string&, std::string& tuple) {
  const std::string_view company = values[0], exchange = values[1];
  tuple.append("(").append(QuoteSql(key)).append(", ").append(QuoteSql(company)).append(", ");
  tuple.append(QuoteSql(exchange)).append(", \"N\")");
  return !company.empty() || !exchange.empty();
}

bool SymbolInfoTTuple(const std::string& key, std::span<const std::string_view> values,
                      const std::string&, std::string& tuple) {
  tuple.append("(").append(QuoteSql(key)).append(", NOW()");
  const bool any = AppendValues(values, tuple);
  tuple.append(")");
  return any;
}

bool AlertsDailyTuple(const std::string& key, std::span<const std::string_view> values,
                      const std::string& trading_date, std::string& tuple) {
  tuple.append("(").append(QuoteSql(key)).append(", \"").append(trading_date).append("\"");
  AppendValues(values, tuple);
  tuple.append(")");
  return true;
}

// The frame the three writers share. Each row's values of columns are read
// by number: the columns are looked up once, the rows not at all, as
// RowOrder walks the rows of GetRowKeys in step.
void WriteTable(const TTwoDArray& table, const std::string& prefix, std::string_view tag,
                std::span<const std::string_view> columns, TupleBuilder build, TStringList& rows,
                const std::string& trading_date = "") {
  TAccumulateInsert insert(prefix);
  table.GetRowKeys(rows);
  const std::span<const int32_t> order = table.RowOrder();
  std::vector<int32_t> numbers;
  for (std::string_view column : columns) numbers.push_back(table.FindColumn(column));
  std::vector<std::string_view> values(columns.size());
  std::string tuple;
  for (int i = 0; i < rows.Count(); ++i) {
    const std::string& key = rows[i];
    for (size_t c = 0; c < numbers.size(); ++c) values[c] = table.CellValue(numbers[c], order[i]);
    tuple.clear();
    if (build(key, values, trading_date, tuple)) AddInsertRow(insert, tuple);
    WriteRowLine(key + "  " + std::string(tag));
  }
  FlushInsert(insert);
  EndTable();
}

}  // namespace

void WriteSymbolInfoF(TStringList& rows) {
  WriteTable(*InfoFTable, "REPLACE INTO " + WrittenTable("symbol_info_f"), "(F)",
             SymbolInfoFColumns, SymbolInfoFTuple, rows);
}

void WriteSymbolInfoT(TStringList& rows) {
  WriteTable(*InfoTTable,
             "REPLACE INTO " + WrittenTable("symbol_info_t") +
                 "(symbol, last_update, volatility, last_price, ad_vol, "
                 "sma_200, sma_50, sma_20, up_days, correlation_symbol, correlation_m, "
                 "correlation_r2, f_correlation_m, f_correlation_r2, range_contraction, bunny_130, "
                 "consolidation_days, std_20, average_true_range)",
             "(T)", SymbolInfoTColumns, SymbolInfoTTuple, rows);
}

void WriteAlertsDaily(TStringList& rows, const std::string& trading_date) {
  WriteTable(*AlertsTable,
             "REPLACE INTO " + WrittenTable("alerts_daily") +
                 "(d_symbol, date, advol, list_exch, up_days, volatility, "
                 "range_contraction, sma_200, sma_50, sma_20, bright_volatility, high_p, low_p, "
                 "high_52w, low_52w, std_20, bunny_130, consolidation_days, consolidation_high, "
                 "consolidation_low, average_true_range, last_price, high_life, low_life, "
                 "prev_put_volume, prev_call_volume)",
             "(D)", AlertsDailyColumns, AlertsDailyTuple, rows, trading_date);
}

}  // namespace vendrake
