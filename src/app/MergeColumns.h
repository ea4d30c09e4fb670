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
inline const TInputFile kInputFiles[] = {
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

}  // namespace vendrake

#endif  // VENDRAKE_APP_MERGECOLUMNS_H_
