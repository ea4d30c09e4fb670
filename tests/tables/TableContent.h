// A string list's content and a table's row keys as vectors of strings,
// which the tests compare and GoogleTest prints.
#ifndef VENDRAKE_TESTS_TABLES_TABLECONTENT_H_
#define VENDRAKE_TESTS_TABLES_TABLECONTENT_H_

#include <string>
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

}  // namespace vendrake

#endif  // VENDRAKE_TESTS_TABLES_TABLECONTENT_H_
