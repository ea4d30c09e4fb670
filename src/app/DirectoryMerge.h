// The read phase: one directory's three files are loaded in turn and fixed
// columns of each are merged into the three merged tables, where the last
// non-empty value of a cell wins and an empty one never erases.
#ifndef VENDRAKE_APP_DIRECTORYMERGE_H_
#define VENDRAKE_APP_DIRECTORYMERGE_H_

#include <string>

#include "app/MergeColumns.h"
#include "tables/TwoDLookup.h"

namespace vendrake {

// Prints "Reading:  <directory>", then reads and merges directory's files
// with ReadInputFile. Requires ConnectDatabase to have created the merged
// tables. Raises what the loads raise; what was merged before stays in the
// merged tables.
void ReadDirectory(const std::string& directory);

// Reads the file directory + "/" + file.name and merges it into the merged
// tables as loading it into a table of its own and then copying the
// non-empty cells of each of file's merges, column after column, would,
// without storing the file, in two passes on two threads (one merging into
// InfoFTable and InfoTTable, the other into AlertsTable). rows, if given,
// gets the file's header names and the keys of its data lines, once per
// line. Raises EFOpenError when the file cannot be opened or read, and
// ELoadLineError (an EStringListError) with its line and field when it has
// no line, when a non-empty data line yields no field, or when a non-empty
// field stands at a position the header does not name; the merged tables
// then hold part of the file.
void ReadInputFile(const std::string& directory, const TInputFile& file, TTwoDArray* rows);

}  // namespace vendrake

#endif  // VENDRAKE_APP_DIRECTORYMERGE_H_
