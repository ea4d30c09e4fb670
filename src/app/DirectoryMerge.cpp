#include "app/DirectoryMerge.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <limits>
#include <numeric>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/Console.h"
#include "app/MergedTables.h"

namespace vendrake {

namespace {

// A file's merges into one merged table, done line by line as the file is
// read, with the outcome of loading the whole file into a table of its own
// and then merging column after column: the last non-empty value of a
// cell wins either way, and a new row gets the number the column-wise merge
// would give it once the file is done (see Finish).
class TTableMerge {
 public:
  // header: the file's header fields.
  TTableMerge(TMergedTables& merged, TMergedTable which, const TInputFile& file,
              const TLineFields& header)
      : table_(merged.*which), first_new_row_(table_.RowCount()) {
    int merge = 0;  // the merge's place among this table's merges
    for (const TMerge& m : file.merges) {
      if (m.into != which) continue;
      // The key's position 0 never gives a cell.
      for (int b = 1; b < header.Count(); ++b) {
        if (header[b] == m.column) targets_.push_back({b, merge, m.column});
      }
      ++merge;
    }
    std::stable_sort(targets_.begin(), targets_.end(),
                     [](const TTarget& a, const TTarget& b) { return a.position < b.position; });
  }

  // Merges the data line split into fields, whose key has hash, the
  // file's line_index-th data line.
  void MergeLine(const TLineFields& fields, uint32_t hash, int32_t line_index) {
    int32_t row = -1;
    for (TTarget& target : targets_) {
      if (target.position >= fields.Count()) break;
      const std::string_view value = fields[target.position];
      if (value.empty()) continue;  // empty values are never copied
      if (target.column < 0) target.column = table_.AddColumn(target.name);
      if (row < 0) row = RowOf(fields[0], hash, line_index);
      if (row >= first_new_row_) {
        int& merge = arrivals_[row - first_new_row_].merge;
        merge = std::min(merge, target.merge);
      }
      table_.SetCell(target.column, row, value);
    }
    if (row < 0 && table_.FindRow(fields[0], hash) < 0) {
      silent_.try_emplace(std::string(fields[0]), line_index);
    }
  }

  // A hint only: a line some lines on has a key of hash.
  void Prefetch(uint32_t hash) const {
    if (!targets_.empty()) table_.PrefetchRow(hash);
  }

  // A column-wise merge registers a new row in the first merge in which its
  // key has a value, at the key's first line: rows new in this file are
  // numbered by that merge and then by that line.
  void Finish() {
    std::vector<int32_t> order(arrivals_.size());
    std::iota(order.begin(), order.end(), 0);
    const auto earlier = [this](int32_t a, int32_t b) {
      return arrivals_[a].merge != arrivals_[b].merge ? arrivals_[a].merge < arrivals_[b].merge
                                                      : arrivals_[a].line < arrivals_[b].line;
    };
    if (std::is_sorted(order.begin(), order.end(), earlier)) return;
    std::sort(order.begin(), order.end(), earlier);
    for (int32_t& row : order) row += first_new_row_;
    table_.ReorderRows(first_new_row_, order);
  }

 private:
  struct TTarget {
    int position;  // the field's position in the file's lines
    int merge;
    const char* name;
    int32_t column = -1;  // the table's number of the column, once it has a value
  };
  // Where a new row comes in the column-wise merge.
  struct TArrival {
    int merge;
    int32_t line;  // the data line of the key's first line in the file
  };

  // The row of the key of the data line at line_index, registered if new.
  int32_t RowOf(std::string_view key, uint32_t hash, int32_t line_index) {
    const int32_t count = table_.RowCount();
    const int32_t row = table_.AddRow(key, hash);
    if (row < count) return row;
    int32_t first_line = line_index;
    if (!silent_.empty()) {
      const auto earlier = silent_.find(std::string(key));
      if (earlier != silent_.end()) first_line = earlier->second;
    }
    arrivals_.push_back({std::numeric_limits<int>::max(), first_line});
    return row;
  }

  TTwoDArray& table_;
  const int32_t first_new_row_;     // the table's row count when the file began
  std::vector<TTarget> targets_;    // by position, then merge
  std::vector<TArrival> arrivals_;  // by row number - first_new_row_
  // The first data line of each key not in the table whose lines so far
  // had no value for it; seldom any.
  std::unordered_map<std::string, int32_t> silent_;
};

// The hash of the key guessed for a line ahead (see LeadingField), kept for
// when the line comes: a short key guessed right is not hashed twice.
class TKeyHashes {
 public:
  uint32_t Guess(int line_number, std::string_view key) {
    const uint32_t hash = TTwoDArray::KeyHash(key);
    TGuess& guess = guesses_[line_number % kGuesses];
    guess.line_number = line_number;
    guess.length = key.size() <= sizeof guess.bytes ? static_cast<int>(key.size()) : -1;
    std::copy_n(key.data(), std::max(guess.length, 0), guess.bytes);
    guess.hash = hash;
    return hash;
  }
  uint32_t Of(int line_number, std::string_view key) const {
    const TGuess& guess = guesses_[line_number % kGuesses];
    const bool kept = guess.length >= 0 && guess.line_number == line_number;
    if (kept && key == std::string_view(guess.bytes, guess.length)) return guess.hash;
    return TTwoDArray::KeyHash(key);
  }

 private:
  static constexpr int kGuesses = 16;
  struct TGuess {
    int line_number = 0;
    int length = -1;  // -1: too long to be kept
    char bytes[7];
    uint32_t hash = 0;
  };
  TGuess guesses_[kGuesses];
};

// Reads the file at path and merges it into tables, registering its lines'
// keys in rows too if given. Raises what LoadFromFile raises, at the same
// line and field.
void LoadAndMerge(const std::string& path, const TInputFile& file, TMergedTables& merged,
                  std::initializer_list<TMergedTable> tables, TTwoDArray* rows) {
  TLineReader lines(path);
  TLineFields fields;
  std::string_view line;
  if (!lines.Next(line)) RaiseLoadLineError(path, 1, 0);  // not even a header line
  fields.Split(line, ',', '"');
  // A header without fields still names the key column.
  const int named = std::max(1, fields.Count());
  if (rows != nullptr) {
    for (int b = 0; b < fields.Count(); ++b) rows->AddColumn(fields[b]);
  }
  std::vector<TTableMerge> merges;
  for (TMergedTable table : tables) merges.emplace_back(merged, table, file, fields);
  TKeyHashes hashes;
  for (int32_t line_index = 0; lines.Next(line);) {
    const uint32_t ahead = hashes.Guess(lines.AheadLineNumber(), LeadingField(lines.Ahead()));
    for (TTableMerge& merge : merges) merge.Prefetch(ahead);
    if (rows != nullptr) rows->PrefetchRow(ahead);
    if (line.empty()) continue;
    fields.Split(line, ',', '"');
    if (fields.Count() == 0) RaiseLoadLineError(path, lines.LineNumber(), 0);
    for (int b = named; b < fields.Count(); ++b) {
      if (!fields[b].empty()) RaiseLoadLineError(path, lines.LineNumber(), b);
    }
    const uint32_t hash = hashes.Of(lines.LineNumber(), fields[0]);
    if (rows != nullptr) rows->AddLineRow(fields[0], hash);
    for (TTableMerge& merge : merges) merge.MergeLine(fields, hash, line_index);
    ++line_index;
  }
  for (TTableMerge& merge : merges) merge.Finish();
}

}  // namespace

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

void ReadInputFile(const std::string& directory, const TInputFile& file, TMergedTables& merged,
                   TTwoDArray* rows) {
  const std::string path = directory + "/" + file.name;
  // Each core reads the file and merges into tables of its own, so that
  // nothing is shared but the file. Both meet the same first problem of the
  // file, if it has one. The other thread takes the tables with more of the
  // file's merges, as this one has rows too and starts later.
  const std::initializer_list<TMergedTable> info = {&TMergedTables::InfoFTable,
                                                    &TMergedTables::InfoTTable};
  const std::initializer_list<TMergedTable> alerts = {&TMergedTables::AlertsTable};
  int balance = 0;  // merges into AlertsTable less those into the others
  for (const TMerge& merge : file.merges) {
    balance += merge.into == &TMergedTables::AlertsTable ? 1 : -1;
  }
  const std::initializer_list<TMergedTable>& own = balance < 0 ? alerts : info;
  const std::initializer_list<TMergedTable>& others = balance < 0 ? info : alerts;
  std::exception_ptr other_error;
  const auto other_pass = [&] {
    try {
      LoadAndMerge(path, file, merged, others, nullptr);
    } catch (...) {
      other_error = std::current_exception();
    }
  };
  std::thread other;
  try {
    other = std::thread(other_pass);
  } catch (const std::system_error&) {
    other_pass();  // no thread to be had: one pass after the other
  }
  std::exception_ptr error;
  try {
    LoadAndMerge(path, file, merged, own, rows);
  } catch (...) {
    error = std::current_exception();
  }
  if (other.joinable()) other.join();
  if (error) std::rethrow_exception(error);
  if (other_error) std::rethrow_exception(other_error);
}

void ReadDirectory(const std::string& directory, TMergedTables& merged) {
  WriteOutputLine("Reading:  " + directory);
  for (const TInputFile& file : kInputFiles) ReadInputFile(directory, file, merged, nullptr);
}

}  // namespace vendrake
