// The read phase on arbitrary file contents, checked against a plain model
// of the file's table built from the same bytes: the data lines' keys in
// order, the last non-empty value of every merged (column, row) and whether
// the read fails. The model splits lines itself but fields with SplitDelimitedLine,
// which split_line_fuzzer covers.
//
// An input starting with 0xFF gets nearly 1 MiB of tabs in front of it (the
// second byte fine-tunes the amount), so that the reader's chunk boundary
// falls into the first 256 fuzzed bytes. The splitter skips control bytes
// before a line's first field, so the tabs must change nothing else: the
// model is built from the bytes without them, and a file of tabs alone
// still has its header line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "app/DirectoryMerge.h"
#include "base/Exceptions.h"
#include "tables/DelimitedLines.h"

namespace vendrake {
namespace {

constexpr size_t kChunk = 1 << 20;  // the reader's first buffer size

struct TModel {
  std::vector<std::string> columns;
  std::vector<std::string> rows;
  std::map<std::pair<std::string, std::string>, std::string> cells;  // (column, row)
  bool fails = false;
};

// CR LF, CR and LF end a line, a last line end adds no empty line, and a
// zero byte ends the text.
std::vector<std::string_view> Lines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string_view> lines;
  // The next CR and LF, each searched again only once passed, so that a
  // padded file costs two memchr sweeps.
  size_t cr = text.find('\r'), lf = text.find('\n');
  size_t begin = 0;
  while (begin < text.size()) {
    if (cr < begin) cr = text.find('\r', begin);
    if (lf < begin) lf = text.find('\n', begin);
    const size_t end = std::min({cr, lf, text.size()});
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++begin;
  }
  return lines;
}

TModel Model(std::string_view text, bool padded) {
  TModel model;
  std::vector<std::string_view> lines = Lines(text);
  if (padded && lines.empty()) lines.emplace_back();
  if (lines.empty()) {
    model.fails = true;
    return model;
  }
  TStringList fields;
  SplitDelimitedLine(fields, lines[0], ',', '"');
  for (int i = 0; i < fields.Count(); ++i) model.columns.push_back(fields[i]);
  if (model.columns.empty()) model.columns.push_back("");
  for (size_t n = 1; n < lines.size(); ++n) {
    if (lines[n].empty()) continue;
    SplitDelimitedLine(fields, lines[n], ',', '"');
    if (fields.Count() == 0) {
      model.fails = true;
      return model;
    }
    const std::string& row = fields[0];
    model.rows.push_back(row);
    for (int b = 1; b < fields.Count(); ++b) {
      if (fields[b].empty()) continue;
      if (static_cast<size_t>(b) >= model.columns.size()) {
        model.fails = true;
        return model;
      }
      model.cells[{model.columns[b], row}] = fields[b];
    }
  }
  return model;
}

// Short names, so that fuzzed headers name them now and then; the empty name
// and a column merged into two tables too.
const TInputFile kFuzzedFile = {"",
                                {{"A", &TMergedTables::InfoFTable},
                                 {"B", &TMergedTables::InfoTTable},
                                 {"", &TMergedTables::AlertsTable},
                                 {"A", &TMergedTables::AlertsTable}}};

std::string_view Cell(const TTwoDArray& table, std::string_view column, std::string_view row) {
  const int32_t number = table.FindColumn(column);
  const int32_t row_number = number < 0 ? -1 : table.FindRow(row);
  return row_number < 0 ? std::string_view() : table.CellValue(number, row_number);
}

}  // namespace
}  // namespace vendrake

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrake;
  static TScratchFile file;
  // The merged tables are shared by all inputs, as the directories of a run
  // share them; only the rows of each input are its own.
  static TMergedTables merged;
  std::vector<std::string> keys;
  TFileKeys read;
  read.file_read = [&](const TInputFile&, const TStringList&) {
    for (const int32_t row : read.table.RowOrder()) keys.emplace_back(read.table.RowKey(row));
  };
  for (TTwoDArray* table : {&merged.InfoFTable, &merged.InfoTTable, &merged.AlertsTable}) {
    table->Clear();
  }
  const std::string& path = file.Path();
  const std::string directory = path.substr(0, path.rfind('/'));
  const std::string name = path.substr(directory.size() + 1);
  TInputFile fuzzed = kFuzzedFile;
  fuzzed.name = name.c_str();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string content;
  const bool padded = size >= 2 && data[0] == 0xFF;
  if (padded) {
    const size_t length = kChunk - 256 + data[1];
    content.reserve(length + size);
    content.assign(length, '\t');
    input.remove_prefix(2);
  }
  content.append(input);
  file.Write(content);

  const TModel model = Model(input, padded);
  // Only the model's failures are expected; anything else, EFOpenError
  // included, escapes and counts as a crash, as the file is there to read.
  bool failed = false;
  try {
    ReadFiles(directory, {&fuzzed, 1}, merged, &read);
  } catch (const EStringListError&) {
    failed = true;
  }
  FUZZ_CHECK(failed == model.fails);
  // How much of a failing file the tables hold is not promised.
  if (failed) return 0;

  FUZZ_CHECK(keys == model.rows);
  const std::set<std::string> row_set(model.rows.begin(), model.rows.end());
  for (const TMerge& merge : kFuzzedFile.merges) {
    for (const std::string& row : row_set) {
      const auto cell = model.cells.find({merge.column, row});
      const std::string_view expected =
          cell == model.cells.end() ? std::string_view() : std::string_view(cell->second);
      FUZZ_CHECK(Cell(merged.*merge.into, merge.column, row) == expected);
    }
  }
  return 0;
}
