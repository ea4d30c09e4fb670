#include "tables/TableContent.h"

#include "base/Exceptions.h"
#include "tables/DelimitedLines.h"

namespace vendrake {

std::string_view GetValue(const TTwoDArray& table, std::string_view column, std::string_view row) {
  const int32_t number = table.FindColumn(column);
  const int32_t row_number = number < 0 ? -1 : table.FindRow(row);
  return row_number < 0 ? std::string_view() : table.CellValue(number, row_number);
}

void SetValue(TTwoDArray& table, std::string_view column, std::string_view row,
              std::string_view value) {
  const int32_t number = table.AddColumn(column);
  table.SetCell(number, table.AddRow(row), value);
}

void LoadFromFile(TTwoDArray& table, const std::string& path) {
  table.Clear();
  TLineReader lines(path);
  TLineFields fields;
  std::string_view line;
  if (!lines.Next(line)) RaiseLoadLineError(path, 1, 0);  // not even a header line
  fields.Split(line, ',', '"');
  std::vector<int32_t> columns;  // by field position
  for (int b = 0; b < fields.Count(); ++b) columns.push_back(table.AddColumn(fields[b]));
  while (lines.Next(line)) {
    if (line.empty()) continue;
    fields.Split(line, ',', '"');
    if (fields.Count() == 0) RaiseLoadLineError(path, lines.LineNumber(), 0);
    const int32_t row = table.AddLineRow(fields[0], TTwoDArray::KeyHash(fields[0]));
    for (int b = 1; b < fields.Count(); ++b) {
      if (fields[b].empty()) continue;
      if (b >= static_cast<int>(columns.size())) RaiseLoadLineError(path, lines.LineNumber(), b);
      table.SetCell(columns[b], row, fields[b]);
    }
  }
}

void MergeColumn(TTwoDArray& destination, const TTwoDArray& source, std::string_view column) {
  const int32_t from = source.FindColumn(column);
  for (const int32_t row : source.RowOrder()) {
    const std::string_view value = source.CellValue(from, row);
    if (!value.empty()) SetValue(destination, column, source.RowKey(row), value);
  }
}

}  // namespace vendrake
