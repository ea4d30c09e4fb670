// A string list's content and a table's row keys as vectors of strings,
// which the tests compare and GoogleTest prints; and the reference the read
// phase is checked against: a file loaded into a table of its own, cell by
// cell, and columns copied from it one after the other.
#ifndef VENDRAKE_TESTS_TABLES_TABLECONTENT_H_
#define VENDRAKE_TESTS_TABLES_TABLECONTENT_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/StringList.h"
#include "tables/TwoDLookup.h"

namespace vendrake {

inline std::vector<std::string> ListContent(const TStringList& list) {
  std::vector<std::string> strings;
  for (int i = 0; i < list.Count(); ++i) strings.push_back(list[i]);
  return strings;
}

inline std::vector<std::string> RowKeys(const TTwoDArray& table) {
  TStringList list;
  table.GetRowKeys(list);
  return ListContent(list);
}

// The cell's value, empty when there is no such cell.
std::string_view GetValue(const TTwoDArray& table, std::string_view column, std::string_view row);

// Registers column and row if they are new, then stores value.
void SetValue(TTwoDArray& table, std::string_view column, std::string_view row,
              std::string_view value);

// Clears table, then loads the file at path line by line: the header's
// names as columns, each data line's key as a row (once per line), its
// non-empty fields as cells. Raises what the read phase raises, at the same
// place; what was loaded before stays.
void LoadFromFile(TTwoDArray& table, const std::string& path);

// Copies the non-empty cells of column from source into destination, row
// by row in the order of source's GetRowKeys, as SetValue of each would.
void MergeColumn(TTwoDArray& destination, const TTwoDArray& source, std::string_view column);

}  // namespace vendrake

#endif  // VENDRAKE_TESTS_TABLES_TABLECONTENT_H_
