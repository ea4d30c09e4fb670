#include "tables/TableContent.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

namespace {

// The file's lines, by a reading of the rules of its own: CR LF, CR and LF
// end a line, a last line end adds none, a zero byte ends the text.
std::vector<std::string> FileLines(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseOpenError(path, errno);
  std::string text;
  char buffer[1 << 16];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, n);
  const int error = errno;
  ::close(fd);
  if (n < 0) RaiseOpenError(path, error);
  text.resize(std::min(text.find('\0'), text.size()));
  std::vector<std::string> lines;
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
    lines.push_back(text.substr(begin, end - begin));
    begin = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

}  // namespace

void LoadFromFile(TTwoDArray& table, const std::string& path) {
  table.Clear();
  const std::vector<std::string> lines = FileLines(path);
  if (lines.empty()) RaiseLoadLineError(path, 1, 0);  // not even a header line
  TLineFields fields;
  fields.Split(lines[0], ',', '"');
  std::vector<int32_t> columns;  // by field position
  for (int b = 0; b < fields.Count(); ++b) columns.push_back(table.AddColumn(fields[b]));
  for (size_t i = 1; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    if (lines[i].empty()) continue;
    fields.Split(lines[i], ',', '"');
    if (fields.Count() == 0) RaiseLoadLineError(path, number, 0);
    const int32_t row = table.AddLineRow(fields[0], TTwoDArray::KeyHash(fields[0]));
    for (int b = 1; b < fields.Count(); ++b) {
      if (fields[b].empty()) continue;
      if (b >= static_cast<int>(columns.size())) RaiseLoadLineError(path, number, b);
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
