// The three merged tables the read phase fills and the writers read, one
// per database table. The run owns them; vendrake-check has its own.
#ifndef VENDRAKE_APP_MERGEDTABLES_H_
#define VENDRAKE_APP_MERGEDTABLES_H_

#include "tables/TwoDLookup.h"

namespace vendrake {

struct TMergedTables {
  TTwoDArray InfoFTable;   // for symbol_info_f
  TTwoDArray InfoTTable;   // for symbol_info_t
  TTwoDArray AlertsTable;  // for alerts_daily
};

// One of the merged tables, as the read phase's plan names it.
using TMergedTable = TTwoDArray TMergedTables::*;

}  // namespace vendrake

#endif  // VENDRAKE_APP_MERGEDTABLES_H_
