// The read phase's plan: the input files of a directory in reading order,
// and which columns of each go into which merged table. The loader and
// vendrake-check both follow it, so that the check reads what the loader
// reads.
#ifndef VENDRAKE_APP_MERGECOLUMNS_H_
#define VENDRAKE_APP_MERGECOLUMNS_H_

#include <initializer_list>

#include "app/MergedTables.h"
#include "tables/TwoDLookup.h"

namespace vendrake {

struct TMerge {
  const char* column;
  TMergedTable into;
};

struct TInputFile {
  const char* name;
  std::initializer_list<TMerge> merges;
};

// The files in reading order and the merges after each, in order; a column
// that goes to two tables is merged into the first named one first. A
// symbol joins a merged table at its first value, so this order gives each
// table the row order in which it is written and printed.
inline const TInputFile kInputFiles[] = {
    {"F_OvernightData.csv",
     {{"Company Name", &TMergedTables::InfoFTable},
      {"Listed Exchange", &TMergedTables::InfoFTable},
      {"Listed Exchange", &TMergedTables::AlertsTable},
      {"Correlation R2", &TMergedTables::InfoTTable},
      {"F Correlation R2", &TMergedTables::InfoTTable},
      {"Previous High", &TMergedTables::AlertsTable},
      {"Previous Low", &TMergedTables::AlertsTable},
      {"52 Week High", &TMergedTables::AlertsTable},
      {"52 Week Low", &TMergedTables::AlertsTable},
      {"Bunny 130", &TMergedTables::InfoTTable},
      {"Bunny 130", &TMergedTables::AlertsTable},
      {"Consolidation Days", &TMergedTables::InfoTTable},
      {"Consolidation Days", &TMergedTables::AlertsTable},
      {"Consolidation Top", &TMergedTables::AlertsTable},
      {"Consolidation Bottom", &TMergedTables::AlertsTable},
      {"Average True Range", &TMergedTables::InfoTTable},
      {"Average True Range", &TMergedTables::AlertsTable},
      {"Lifetime High", &TMergedTables::AlertsTable},
      {"Lifetime Low", &TMergedTables::AlertsTable},
      {"Prev Put Volume", &TMergedTables::AlertsTable},
      {"Prev Call Volume", &TMergedTables::AlertsTable}}},
    {"OvernightData.csv",
     {{"Tick Volatility", &TMergedTables::InfoTTable},
      {"Tick Volatility", &TMergedTables::AlertsTable},
      {"Last Price", &TMergedTables::InfoTTable},
      {"Last Price", &TMergedTables::AlertsTable},
      {"Avg Daily Volume", &TMergedTables::InfoTTable},
      {"Avg Daily Volume", &TMergedTables::AlertsTable},
      {"Correlation Symbol", &TMergedTables::InfoTTable},
      {"Correlation M", &TMergedTables::InfoTTable},
      {"F Correlation M", &TMergedTables::InfoTTable},
      {"Bright Volatility", &TMergedTables::AlertsTable}}},
    {"TC_OvernightData.csv",
     {{"200 Day SMA", &TMergedTables::InfoTTable},
      {"200 Day SMA", &TMergedTables::AlertsTable},
      {"50 Day SMA", &TMergedTables::InfoTTable},
      {"50 Day SMA", &TMergedTables::AlertsTable},
      {"20 Day SMA", &TMergedTables::InfoTTable},
      {"20 Day SMA", &TMergedTables::AlertsTable},
      {"Up Days", &TMergedTables::InfoTTable},
      {"Up Days", &TMergedTables::AlertsTable},
      {"Range Contraction", &TMergedTables::InfoTTable},
      {"Range Contraction", &TMergedTables::AlertsTable},
      {"20 Day StdDev", &TMergedTables::InfoTTable},
      {"20 Day StdDev", &TMergedTables::AlertsTable}}},
};

}  // namespace vendrake

#endif  // VENDRAKE_APP_MERGECOLUMNS_H_
