// The read phase: one directory's three files are read in turn and fixed
// columns of each are merged into the three merged tables, where the last
// non-empty value of a cell wins and an empty one never erases.
#ifndef VENDRAKE_APP_DIRECTORYMERGE_H_
#define VENDRAKE_APP_DIRECTORYMERGE_H_

#include <cstddef>
#include <functional>
#include <span>
#include <string>

#include "app/MergeColumns.h"
#include "app/MergedTables.h"
#include "base/StringList.h"
#include "tables/TwoDLookup.h"

namespace vendrake {

// Each file's keys, for vendrake-check: table holds the last file's
// header names as columns and its data lines' keys, one row per line
// (RowOrder); file_read is called once the file is merged. One table for
// every file, so that its index grows once.
struct TFileKeys {
  TTwoDArray table;
  std::function<void(const TInputFile& file, const TStringList& header)> file_read;
};

// Prints "Reading:  <directory>", then ReadFiles of the input files into
// merged. Raises what ReadFiles raises; what was merged before stays in
// merged.
void ReadDirectory(const std::string& directory, TMergedTables& merged);

// Bytes of a file read and split at a time.
inline constexpr size_t kChunkBytes = size_t{128} << 10;

// Reads the files directory + "/" + file.name in order and merges them
// into merged as loading each into a table of its own and then
// copying the non-empty cells of each of its merges, column after column,
// would, without storing the files. Each file is opened and read once, the
// next one while this one is merged, in chunks of about chunk_bytes of
// whole lines, each split once; two threads split and merge, one merging
// into AlertsTable and the other into the other tables. keys, if given,
// gets each file's keys, and its file_read is called on the caller's
// thread after each file.
//
// Raises, for the first failing file once the files before it are merged,
// EFOpenError when it cannot be opened or read, and ELoadLineError (an
// EStringListError) with its line and field when it has no line, when a
// non-empty data line yields no field, or when a non-empty field stands at
// a position the header does not name; the merged tables then hold part of
// the file.
void ReadFiles(const std::string& directory, std::span<const TInputFile> files,
               TMergedTables& merged, TFileKeys* keys, size_t chunk_bytes = kChunkBytes);

}  // namespace vendrake

#endif  // VENDRAKE_APP_DIRECTORYMERGE_H_
