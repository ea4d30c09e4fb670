#include "app/TableWriters.h"

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "app/TradingDate.h"

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
// Values are escaped for session's character set.
using TupleBuilder = bool (*)(const TSession& session, const std::string& key,
                              std::span<const std::string_view> values,
                              const std::string& trading_date, std::string& tuple);

// Appends ", " and each value as a literal, NULL for an empty one; returns
// whether any value was non-empty.
bool AppendValues(const TSession& session, std::span<const std::string_view> values,
                  std::string& tuple) {
  bool any = false;
  for (std::string_view value : values) {
    any |= !value.empty();
    tuple.append(", ").append(QuoteSqlOrNull(value, &session));
  }
  return any;
}

bool SymbolInfoFTuple(const TSession& session, const std::string& key,
                      std::span<const std::string_view> values, const std::string&,
                      std::string& tuple) {
  const std::string_view company = values[0], exchange = values[1];
  tuple.append("(").append(QuoteSql(key, &session)).append(", ");
  tuple.append(QuoteSql(company, &session)).append(", ");
  tuple.append(QuoteSql(exchange, &session)).append(", \"N\")");
  return !company.empty() || !exchange.empty();
}

bool SymbolInfoTTuple(const TSession& session, const std::string& key,
                      std::span<const std::string_view> values, const std::string&,
                      std::string& tuple) {
  tuple.append("(").append(QuoteSql(key, &session)).append(", NOW()");
  const bool any = AppendValues(session, values, tuple);
  tuple.append(")");
  return any;
}

bool AlertsDailyTuple(const TSession& session, const std::string& key,
                      std::span<const std::string_view> values, const std::string& trading_date,
                      std::string& tuple) {
  tuple.append("(").append(QuoteSql(key, &session)).append(", \"").append(trading_date);
  tuple.append("\"");
  AppendValues(session, values, tuple);
  tuple.append(")");
  return true;
}

// The frame the three writers share. Each row's values of columns are read
// by number: the columns are looked up once, the rows not at all, as
// RowOrder walks the rows of GetRowKeys in step. The statements name the
// table target, or what the database writes in its stead, and then names,
// its columns; accepted counts the rows the server took.
void WriteTable(TDatabase& database, const TTwoDArray& table, std::string_view target,
                const char* names, std::string_view tag, std::span<const std::string_view> columns,
                TupleBuilder build, TStringList& rows, uint64_t& accepted,
                const std::string& trading_date = "") {
  TAccumulateInsert insert("REPLACE INTO " + database.WrittenTable(target) + names);
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
    // The session escaped for may be made anew after any statement.
    if (build(database.Escaping(), key, values, trading_date, tuple)) {
      database.AddInsertRow(insert, tuple, accepted);
    }
    database.WriteRowLine(key + "  " + std::string(tag));
  }
  database.FlushInsert(insert, accepted);
  database.EndTable();
}

}  // namespace

void WriteSymbolInfoF(TRun& run, TStringList& rows) {
  WriteTable(*run.DbConnection, run.Tables.InfoFTable, "symbol_info_f", "", "(F)",
             SymbolInfoFColumns, SymbolInfoFTuple, rows, run.Accepted.symbol_info_f);
}

void WriteSymbolInfoT(TRun& run, TStringList& rows) {
  WriteTable(*run.DbConnection, run.Tables.InfoTTable, "symbol_info_t",
             "(symbol, last_update, volatility, last_price, ad_vol, "
             "sma_200, sma_50, sma_20, up_days, correlation_symbol, correlation_m, "
             "correlation_r2, f_correlation_m, f_correlation_r2, range_contraction, bunny_130, "
             "consolidation_days, std_20, average_true_range)",
             "(T)", SymbolInfoTColumns, SymbolInfoTTuple, rows, run.Accepted.symbol_info_t);
}

void WriteAlertsDaily(TRun& run, TStringList& rows, const std::string& trading_date) {
  WriteTable(*run.DbConnection, run.Tables.AlertsTable, "alerts_daily",
             "(d_symbol, date, advol, list_exch, up_days, volatility, "
             "range_contraction, sma_200, sma_50, sma_20, bright_volatility, high_p, low_p, "
             "high_52w, low_52w, std_20, bunny_130, consolidation_days, consolidation_high, "
             "consolidation_low, average_true_range, last_price, high_life, low_life, "
             "prev_put_volume, prev_call_volume)",
             "(D)", AlertsDailyColumns, AlertsDailyTuple, rows, run.Accepted.alerts_daily,
             trading_date);
}

void UpdateMonitorAlive(TRun& run, const std::string& trading_date) {
  TDatabase& database = *run.DbConnection;
  run.Accepted.heartbeat = database.PublishNight(
      "UPDATE monitor_alive SET last_update=\"" + trading_date + "\" WHERE name=\"" +
      EscapeSql(HeartbeatRowName(), &database.Escaping()) + "\"");
}

}  // namespace vendrake
