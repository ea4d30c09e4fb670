// TTwoDArray against a plain model of what it must do, written for clarity
// rather than speed: random sequences of loads of generated files, SetValue,
// GetValue, GetRowKeys and Clear, with every result compared. The names,
// keys and values come from small sets, so that repeats, commas, case
// differences, empty keys and values too long to sit in a cell are common.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"
#include "base/Exceptions.h"
#include "tables/DelimitedLines.h"
#include "tables/TableContent.h"
#include "tables/TwoDLookup.h"

namespace vendrake {
namespace {

using Strings = std::vector<std::string>;

const Strings kColumns = {"A", "a", "B", "A,B", "Last Price", ""};
const Strings kRows = {"X", "x", "Y", "X,Y", "", "a key longer than a cell holds"};

class TModel {
 public:
  void Clear() { *this = TModel(); }

  // Loads the lines of a file (after the reader's splitting); returns the
  // error message, or "" on success.
  std::string Load(const Strings& lines) {
    Clear();
    if (lines.empty()) return Error(0);
    TStringList fields;
    SplitDelimitedLine(fields, lines[0], ',', '"');
    if (fields.Count() > 0) columns_ = ListContent(fields);
    for (const std::string& name : ListContent(fields)) column_set_.insert(name);
    for (size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      SplitDelimitedLine(fields, lines[i], ',', '"');
      if (fields.Count() == 0) return Error(0);
      const Strings line = ListContent(fields);
      rows_.push_back(line[0]);
      row_set_.insert(line[0]);
      for (size_t b = 1; b < line.size(); ++b) {
        if (line[b].empty()) continue;
        if (b >= columns_.size()) return Error(static_cast<int>(b));
        cells_[{columns_[b], line[0]}] = line[b];
      }
    }
    return "";
  }

  void SetValue(const std::string& column, const std::string& row, const std::string& value) {
    if (column_set_.insert(column).second) columns_.push_back(column);
    if (row_set_.insert(row).second) rows_.push_back(row);
    cells_[{column, row}] = value;
  }

  std::string GetValue(const std::string& column, const std::string& row) const {
    const auto cell = cells_.find({column, row});
    return cell == cells_.end() ? "" : cell->second;
  }

  const Strings& Rows() const { return rows_; }

 private:
  static std::string Error(int index) {
    return "List index out of bounds (" + std::to_string(index) + ")";
  }

  Strings columns_ = {""};
  std::set<std::string> column_set_;
  Strings rows_;
  std::set<std::string> row_set_;
  std::map<std::pair<std::string, std::string>, std::string> cells_;
};

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  bool Chance(int percent) { return Below(100) < static_cast<size_t>(percent); }
  const std::string& Pick(const Strings& strings) { return strings[Below(strings.size())]; }

  std::string Value() {
    switch (Below(5)) {
      case 0:
        return "";
      case 1:
        return std::to_string(Below(1000));
      case 2:
        return "twelve bytes";  // exactly what a cell holds inline
      case 3:
        return "\"Quoted\", Inc. and a longer name";
      default:
        return std::string(1 + Below(Chance(2) ? 100'000 : 40), static_cast<char>('a' + Below(26)));
    }
  }

  // A field as a file writes it: quoted when it must be, and sometimes
  // when it need not be.
  std::string Field(const std::string& text) {
    const bool needs = text.find_first_of(",\"") != std::string::npos;
    if (!needs && !Chance(10)) return text;
    std::string quoted = "\"";
    for (char c : text) quoted.append(c == '"' ? "\"\"" : std::string(1, c));
    return quoted + "\"";
  }

  // The lines of a file: a header of known and repeated names (sometimes
  // none), data lines with short, long and extra fields, empty lines and,
  // in one file of three, a bad line somewhere: control bytes alone, or a
  // non-empty field past the header. Files of many lines have mostly new
  // keys, so that rows are numbered past a column's first chunk, and some
  // that repeat.
  Strings Lines(size_t data_lines) {
    Strings lines;
    std::string header;
    const size_t columns = Chance(5) ? 0 : 1 + Below(6);
    for (size_t c = 0; c < columns; ++c) header += (c ? "," : "") + Field(Pick(kColumns));
    lines.push_back(header);
    const size_t bad = Chance(33) ? Below(data_lines + 1) : data_lines;
    for (size_t i = 0; i < data_lines; ++i) {
      if (Chance(2)) {
        lines.push_back("");
        continue;
      }
      std::string key = Pick(kRows);
      if (data_lines > 100 && Chance(95)) key = "r" + std::to_string(Chance(90) ? i : Below(i + 1));
      std::string line = Field(key);
      const size_t fields = Below(columns + (Chance(3) ? 3 : 1));
      for (size_t b = 1; b <= fields; ++b) line += "," + Field(b < columns ? Value() : "");
      if (i == bad) line = Chance(50) ? "\t\x01" : line + ",past the header";
      lines.push_back(line);
    }
    return lines;
  }

  // The file's bytes: the lines joined by line ends of every kind. A last
  // line that is empty keeps its end, or it would not be there at all.
  std::string Text(const Strings& lines) {
    static const Strings kEnds = {"\r\n", "\n", "\r"};
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
      text += lines[i];
      if (i + 1 < lines.size() || lines[i].empty() || Chance(50)) text += Pick(kEnds);
    }
    return text;
  }

 private:
  std::mt19937 random_;
};

// The row keys, and every cell of the columns the set can name in the rows
// the set names, or in every row.
void ExpectSameContent(const TTwoDArray& table, const TModel& model, const std::string& step,
                       bool every_row) {
  ASSERT_EQ(RowKeys(table), model.Rows()) << step;
  for (const std::string& column : kColumns) {
    for (const std::string& row : every_row ? model.Rows() : kRows) {
      ASSERT_EQ(GetValue(table, column, row), model.GetValue(column, row))
          << step << " column " << column << " row " << row;
    }
  }
}

TEST(TTwoDArrayModel, RandomOperationsGiveTheModelsResults) {
  TempDir dir;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    Generator random(seed);
    TTwoDArray table;
    TModel model;
    for (int op = 0; op < 120; ++op) {
      const std::string step = "seed " + std::to_string(seed) + " op " + std::to_string(op);
      const size_t kind = random.Below(20);
      if (kind < 3) {
        // Sometimes thousands of lines, so that the columns grow past a
        // chunk and the long values fill more than one block.
        const Strings lines = random.Lines(random.Chance(5) ? 6000 : random.Below(12));
        std::string error;
        try {
          LoadFromFile(table, dir.Write("in.csv", random.Text(lines)));
        } catch (const EStringListError& e) {
          error = e.Message();
        }
        ASSERT_EQ(error, model.Load(lines)) << step;
      } else if (kind < 11) {
        const std::string& column = random.Pick(kColumns);
        const std::string& row = random.Pick(kRows);
        const std::string value = random.Value();
        SetValue(table, column, row, value);
        model.SetValue(column, row, value);
      } else if (kind == 11) {
        table.Clear();
        model.Clear();
      }
      ExpectSameContent(table, model, step, kind < 3);
    }
  }
}

}  // namespace
}  // namespace vendrake
