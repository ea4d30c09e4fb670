#include "app/DirectoryMerge.h"

#include <map>
#include <span>
#include <vector>

#include "app/Console.h"
#include "app/MergeColumns.h"
#include "app/MergedTables.h"

namespace vendrake {

void MergeColumn(TTwoDArray& destination, const TTwoDArray& source, std::string_view column,
                 std::vector<int32_t>& destination_rows) {
  const int32_t from = source.FindColumn(column);
  if (from < 0) return;
  int32_t to = -1;
  const std::span<const int32_t> order = source.RowOrder();
  // Index slots of rows still to be looked up are requested some rows
  // ahead, so that their waits for memory overlap.
  constexpr size_t kAhead = 16;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i + kAhead < order.size() && destination_rows[order[i + kAhead]] < 0)
      destination.PrefetchRowOf(source, order[i + kAhead]);
    const int32_t row = order[i];
    const std::string_view value = source.CellValue(from, row);
    if (value.empty()) continue;  // empty values are never copied
    // Registered in SetValue's order: the column, then the row.
    if (to < 0) to = destination.AddColumn(column);
    int32_t& target = destination_rows[row];
    if (target < 0) target = destination.AddRowOf(source, row);
    destination.SetCell(to, target, value);
  }
}

void ReadDirectory(const std::string& directory) {
  WriteOutputLine("Reading:  " + directory);
  TTwoDArray source;
  for (const TInputFile& file : kInputFiles) {
    source.LoadFromFile(directory + "/" + file.name);
    // Each merged table's row number of every source row, found once per
    // file rather than once per merged column.
    std::map<const TTwoDArray*, std::vector<int32_t>> rows_in;
    for (const TMerge& merge : file.merges) {
      std::vector<int32_t>& rows = rows_in[*merge.into];
      rows.resize(source.RowCount(), -1);
      MergeColumn(**merge.into, source, merge.column, rows);
    }
  }
}

}  // namespace vendrake
