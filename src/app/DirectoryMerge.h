// The read phase: one directory's three files are loaded in turn and fixed
// columns of each are merged into the three merged tables, where the last
// non-empty value of a cell wins and an empty one never erases.
#ifndef VENDRAKE_APP_DIRECTORYMERGE_H_
#define VENDRAKE_APP_DIRECTORYMERGE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/MergeColumns.h"
#include "tables/TwoDLookup.h"

namespace vendrake {

// Prints "Reading:  <directory>", then reads and merges directory's files
// into merged with ReadInputFile. Raises what the loads raise; what was
// merged before stays in merged.
void ReadDirectory(const std::string& directory, TMergedTables& merged);

// Reads the file directory + "/" + file.name and merges it into merged as
// loading it into a table of its own with LoadFromFile and then
// MergeColumn of each of file's merges in their order would, without storing
// the file, in two passes on two threads (one merging into InfoFTable and
// InfoTTable, the other into AlertsTable). rows, if given, gets the file's header names and
// its lines' keys as LoadFromFile would register them. Raises what
// LoadFromFile would raise; the merged tables then hold part of the file.
void ReadInputFile(const std::string& directory, const TInputFile& file, TMergedTables& merged,
                   TTwoDArray* rows);

// Copies the non-empty cells of column from source into destination, row by
// row in the order of source's GetRowKeys, as SetValue of each would.
// destination_rows holds destination's number of each source row, -1 while
// not yet known; it has an entry per source row number, and the caller keeps
// one per source load and destination, shared by the merges in between.
void MergeColumn(TTwoDArray& destination, const TTwoDArray& source, std::string_view column,
                 std::vector<int32_t>& destination_rows);

}  // namespace vendrake

#endif  // VENDRAKE_APP_DIRECTORYMERGE_H_
