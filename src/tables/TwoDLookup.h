// TTwoDArray: a table of strings addressed by (column name, row key), loaded
// from a comma-separated file whose first line names the columns and whose
// first field is each line's row key, or filled cell by cell. Rows keep their
// order of arrival. All names and keys compare byte for byte.
#ifndef VENDRAKE_TABLES_TWODLOOKUP_H_
#define VENDRAKE_TABLES_TWODLOOKUP_H_

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/StringList.h"
#include "tables/StringStringHashtables.h"

namespace vendrake {

// Replaces list's content with the fields of line. The rules are the input
// files' own: only control bytes (1..31) separate fields besides the
// delimiter, every field is trimmed of bytes <= 32, quote opens a quoted field
// only as a field's first character (a doubled quote inside stands for one),
// text behind a closing quote becomes a field of its own, and a delimiter
// that ends the line adds an empty field. A zero byte ends the line.
void SplitDelimitedLine(TStringList& list, std::string_view line, char delimiter, char quote);

// A cell named by its column and row key.
struct TCell {
  std::string_view column;
  std::string_view row;
};

class TTwoDArray {
 public:
  TTwoDArray();
  TTwoDArray(const TTwoDArray&) = delete;
  TTwoDArray& operator=(const TTwoDArray&) = delete;

  void Clear();

  // Clears the table, then loads the file at path. Raises EFOpenError when
  // it cannot be opened or read, and EStringListError when it has no line,
  // when a non-empty data line yields no field, or when a non-empty field
  // stands at a position the header does not name. What was loaded before
  // the failing line stays.
  void LoadFromFile(const std::string& path);

  // Replaces list's content with the row keys in arrival order; a key that
  // stood on several lines of a file appears as often.
  void GetRowKeys(TStringList& list) const { list.Assign(rows_); }

  // The cell's value, empty when there is no such cell. The view is valid
  // until the table changes.
  std::string_view GetValue(std::string_view column, std::string_view row) const;

  // Registers column and row if they are new, then stores value.
  void SetValue(std::string_view column, std::string_view row, std::string_view value);

  // GetValue and SetValue of many cells, in order, with the same results.
  // The cells' memory is touched ahead in groups, so that in a large table
  // their cache misses overlap instead of queueing. values has one entry
  // per cell; the views GetValues yields are valid until the table changes.
  void GetValues(std::span<const TCell> cells, std::string_view* values) const;
  void SetValues(std::span<const TCell> cells, const std::string_view* values);

  // column, ',', row, ',', then the byte length of column as four
  // little-endian bytes, which keeps pairs apart whose parts hold commas.
  static std::string MakeCellKey(std::string_view column, std::string_view row);

 private:
  // Builds the cell key in cell_key_, reused so lookups do not allocate.
  std::string_view CellKey(std::string_view column, std::string_view row) const;
  // Builds the cell keys of group in group_keys_ and their views in
  // group_views_.
  void GroupKeys(std::span<const TCell> group) const;
  // Touches the slots of the group's cell keys, then their chain heads.
  void PrefetchGroupCells() const;
  void SetCell(std::string_view column, std::string_view row, std::string_view key,
               std::string_view value);
  // Stores the non-empty fields of the data line in fields_ under row, as
  // one group: its cell keys are built and their slots touched first, so
  // that the cache misses of a large table overlap instead of queueing.
  void StoreLineCells(const std::string& row);

  tHashTable column_set_;  // registered column names, empty values
  tHashTable row_set_;     // registered row keys, empty values
  TStringList columns_;    // column names by field position; [0] names the key
  TStringList rows_;       // row keys in arrival order
  tHashTable cells_;       // cell key -> value
  // Scratch for the line being loaded: its fields, and its non-empty cells
  // with the field position of each.
  TStringList fields_;
  std::vector<TCell> line_cells_;
  std::vector<int> line_fields_;
  mutable std::string cell_key_;
  mutable std::string group_keys_;
  mutable std::vector<size_t> group_ends_;  // of each key in group_keys_
  mutable std::vector<std::string_view> group_views_;
};

}  // namespace vendrake

#endif  // VENDRAKE_TABLES_TWODLOOKUP_H_
