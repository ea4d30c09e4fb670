#include "app/TableWriters.h"

#include <array>
#include <string_view>

#include "app/Console.h"
#include "app/Database.h"

namespace vendrake {

namespace {

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

// Builds one row's tuple into a reused string and says whether the row is
// to be written.
using TupleBuilder = bool (*)(const TTwoDArray& table, const std::string& key,
                              const std::string& trading_date, std::string& tuple);

// Appends ", " and each column's value as a literal, NULL for an empty one;
// returns whether any value was non-empty.
template <size_t N>
bool AppendValues(const TTwoDArray& table, const std::string& key,
                  const std::array<std::string_view, N>& columns, std::string& tuple) {
  std::array<TCell, N> cells;
  for (size_t i = 0; i < N; ++i) cells[i] = {columns[i], key};
  std::array<std::string_view, N> values;
  table.GetValues(cells, values.data());
  bool any = false;
  for (std::string_view value : values) {
    any |= !value.empty();
    tuple.append(", ").append(QuoteSqlOrNull(value));
  }
  return any;
}

bool SymbolInfoFTuple(const TTwoDArray& table, const std::string& key, const std::string&,
                      std::string& tuple) {
  const std::string_view company = table.GetValue("Company Name", key);
  const std::string_view exchange = table.GetValue("Listed Exchange", key);
  tuple.append("(").append(QuoteSql(key)).append(", ").append(QuoteSql(company)).append(", ");
  tuple.append(QuoteSql(exchange)).append(", \"N\")");
  return !company.empty() || !exchange.empty();
}

bool SymbolInfoTTuple(const TTwoDArray& table, const std::string& key, const std::string&,
                      std::string& tuple) {
  tuple.append("(").append(QuoteSql(key)).append(", NOW()");
  const bool any = AppendValues(table, key, SymbolInfoTColumns, tuple);
  tuple.append(")");
  return any;
}

bool AlertsDailyTuple(const TTwoDArray& table, const std::string& key,
                      const std::string& trading_date, std::string& tuple) {
  tuple.append("(").append(QuoteSql(key)).append(", \"").append(trading_date).append("\"");
  AppendValues(table, key, AlertsDailyColumns, tuple);
  tuple.append(")");
  return true;
}

// The frame the three writers share.
void WriteTable(const TTwoDArray& table, const char* prefix, std::string_view tag,
                TupleBuilder build, TStringList& rows, const std::string& trading_date = "") {
  TAccumulateInsert insert(prefix);
  table.GetRowKeys(rows);
  std::string tuple;
  for (int i = 0; i < rows.Count(); ++i) {
    const std::string& key = rows[i];
    tuple.clear();
    if (build(table, key, trading_date, tuple)) AddInsertRow(insert, tuple);
    WriteOutputLine(key + "  " + std::string(tag));
  }
  FlushInsert(insert);
}

}  // namespace

void WriteSymbolInfoF(TStringList& rows) {
  WriteTable(*InfoFTable, "REPLACE INTO symbol_info_f", "(F)", SymbolInfoFTuple, rows);
}

void WriteSymbolInfoT(TStringList& rows) {
  WriteTable(*InfoTTable,
             "REPLACE INTO symbol_info_t(symbol, last_update, volatility, last_price, ad_vol, "
             "sma_200, sma_50, sma_20, up_days, correlation_symbol, correlation_m, "
             "correlation_r2, f_correlation_m, f_correlation_r2, range_contraction, bunny_130, "
             "consolidation_days, std_20, average_true_range)",
             "(T)", SymbolInfoTTuple, rows);
}

void WriteAlertsDaily(TStringList& rows, const std::string& trading_date) {
  WriteTable(*AlertsTable,
             "REPLACE INTO alerts_daily(d_symbol, date, advol, list_exch, up_days, volatility, "
             "range_contraction, sma_200, sma_50, sma_20, bright_volatility, high_p, low_p, "
             "high_52w, low_52w, std_20, bunny_130, consolidation_days, consolidation_high, "
             "consolidation_low, average_true_range, last_price, high_life, low_life, "
             "prev_put_volume, prev_call_volume)",
             "(D)", AlertsDailyTuple, rows, trading_date);
}

}  // namespace vendrake
