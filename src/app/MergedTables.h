// The three merged tables the read phase fills and the writers read, one
// per database table. The run creates them once and they live until the
// process ends; vendrake-check points them at tables of its own.
#ifndef VENDRAKE_APP_MERGEDTABLES_H_
#define VENDRAKE_APP_MERGEDTABLES_H_

#include "tables/TwoDLookup.h"

namespace vendrake {

// Null until CreateMergedTables.
extern TTwoDArray* InfoFTable;
extern TTwoDArray* InfoTTable;
extern TTwoDArray* AlertsTable;

// Makes the three empty tables, in that order; never freed.
void CreateMergedTables();

}  // namespace vendrake

#endif  // VENDRAKE_APP_MERGEDTABLES_H_
