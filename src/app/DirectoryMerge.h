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

// Prints "Reading:  <directory>", then loads and merges directory's files.
// Requires ConnectDatabase to have created the merged tables. Raises what
// the loads raise; what was merged before stays in the merged tables.
void ReadDirectory(const std::string& directory);

// Loads the file at directory + "/" + file.name into source, storing only
// the columns file's merges take. Raises what LoadFromFile raises.
void LoadInputFile(TTwoDArray& source, const std::string& directory, const TInputFile& file);

// The merges of file, in their order, from source, the table file was just
// loaded into.
void MergeFile(const TTwoDArray& source, const TInputFile& file);

// Copies the non-empty cells of column from source into destination, row by
// row in the order of source's GetRowKeys, as SetValue of each would.
// destination_rows holds destination's number of each source row, -1 while
// not yet known; it has an entry per source row number, and the caller keeps
// one per source load and destination, shared by the merges in between.
void MergeColumn(TTwoDArray& destination, const TTwoDArray& source, std::string_view column,
                 std::vector<int32_t>& destination_rows);

}  // namespace vendrake

#endif  // VENDRAKE_APP_DIRECTORYMERGE_H_
