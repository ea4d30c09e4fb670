#include "tables/TwoDLookup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "base/Exceptions.h"

namespace vendrake {

namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 32; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

const char* SkipControl(const char* p, const char* end) {
  while (p < end && IsControl(*p)) ++p;
  return p;
}

void TrimInPlace(std::string& field) {
  size_t end = field.size();
  while (end > 0 && IsBlankOrControl(field[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && IsBlankOrControl(field[begin])) ++begin;
  field.resize(end);
  field.erase(0, begin);
}

// Reads a quoted field whose content starts at p; returns the position
// behind the closing quote, or end when none follows.
const char* ReadQuoted(const char* p, const char* end, char quote, std::string& field) {
  for (;;) {
    const char* q = static_cast<const char*>(std::memchr(p, quote, end - p));
    if (q == nullptr) {
      field.append(p, end);
      p = end;
      break;
    }
    const bool doubled = q + 1 < end && q[1] == quote;
    field.append(p, doubled ? q + 1 : q);
    p = doubled ? q + 2 : q + 1;
    if (!doubled) break;
  }
  return p;
}

// The operating system's text for errno, without trailing blanks, control
// bytes and full stops.
std::string SystemErrorText(int error) {
  std::string text = std::strerror(error);
  while (!text.empty() && (IsBlankOrControl(text.back()) || text.back() == '.')) text.pop_back();
  return text;
}

[[noreturn]] void RaiseOpenError(const std::string& path, int error) {
  std::error_code ignored;
  const std::string full = std::filesystem::absolute(path, ignored).string();
  throw EFOpenError("Cannot open file \"" + full + "\". " + SystemErrorText(error));
}

// Hands out the lines of a file one at a time, reading it in chunks so that
// a large file is never held whole. CR LF, CR and LF end a line, a last line
// end adds no empty line behind it, and a zero byte ends the text. A line's
// view is valid until the next call.
class TLineReader {
 public:
  explicit TLineReader(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) RaiseOpenError(path, errno);
  }
  ~TLineReader() { ::close(fd_); }
  TLineReader(const TLineReader&) = delete;
  TLineReader& operator=(const TLineReader&) = delete;

  bool Next(std::string_view& line);

 private:
  void Fill();

  const std::string& path_;
  int fd_;
  std::string buffer_ = std::string(1 << 20, '\0');
  size_t begin_ = 0;     // first unread byte
  size_t end_ = 0;       // end of the bytes read
  bool at_end_ = false;  // no byte will follow end_
};

bool TLineReader::Next(std::string_view& line) {
  for (;;) {
    const char* p = buffer_.data() + begin_;
    const size_t available = end_ - begin_;
    size_t i = 0;
    while (i < available && p[i] != '\r' && p[i] != '\n') ++i;
    // A CR at the end of what was read may be the first half of CR LF.
    const bool complete = i < available && (p[i] == '\n' || i + 1 < available || at_end_);
    if (complete) {
      line = std::string_view(p, i);
      begin_ += i + (p[i] == '\r' && i + 1 < available && p[i + 1] == '\n' ? 2 : 1);
      return true;
    }
    if (!at_end_) {
      Fill();
      continue;
    }
    if (available == 0) return false;
    line = std::string_view(p, available);
    begin_ = end_;
    return true;
  }
}

// Moves the unread bytes to the front and reads more behind them, growing
// the buffer for a line longer than it.
void TLineReader::Fill() {
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  if (end_ == buffer_.size()) buffer_.resize(2 * buffer_.size());
  ssize_t n;
  do {
    n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
  } while (n < 0 && errno == EINTR);
  if (n < 0) RaiseOpenError(path_, errno);
  const char* read = buffer_.data() + end_;
  const char* zero = static_cast<const char*>(std::memchr(read, '\0', n));
  end_ += (zero != nullptr ? zero : read + n) - read;
  at_end_ = n == 0 || zero != nullptr;
}

void AppendCellKey(std::string& out, std::string_view column, std::string_view row) {
  const auto length = static_cast<uint32_t>(column.size());
  const char suffix[5] = {',', static_cast<char>(length), static_cast<char>(length >> 8),
                          static_cast<char>(length >> 16), static_cast<char>(length >> 24)};
  out.append(column);
  out.push_back(',');
  out.append(row);
  out.append(suffix, sizeof(suffix));
}

}  // namespace

void SplitDelimitedLine(TStringList& list, std::string_view line, char delimiter, char quote) {
  list.Clear();
  line = line.substr(0, line.find('\0'));
  const char* p = line.data();
  const char* const end = p + line.size();
  p = SkipControl(p, end);
  while (p < end) {
    std::string& field = list.AddEmpty();
    if (*p == quote) {
      p = ReadQuoted(p + 1, end, quote, field);
    } else {
      const char* start = p;
      while (p < end && !IsControl(*p) && *p != delimiter) ++p;
      field.assign(start, p);
    }
    TrimInPlace(field);
    p = SkipControl(p, end);
    if (p < end && *p == delimiter) {
      if (p + 1 == end) list.AddEmpty();
      p = SkipControl(p + 1, end);
    }
  }
}

TTwoDArray::TTwoDArray() { columns_.AddEmpty(); }

void TTwoDArray::Clear() {
  columns_.Clear();
  rows_.Clear();
  row_set_.Clear();
  column_set_.Clear();
  cells_.Clear();
  columns_.AddEmpty();
}

std::string TTwoDArray::MakeCellKey(std::string_view column, std::string_view row) {
  std::string key;
  AppendCellKey(key, column, row);
  return key;
}

std::string_view TTwoDArray::CellKey(std::string_view column, std::string_view row) const {
  cell_key_.clear();
  AppendCellKey(cell_key_, column, row);
  return cell_key_;
}

std::string_view TTwoDArray::GetValue(std::string_view column, std::string_view row) const {
  return cells_.Get(CellKey(column, row));
}

void TTwoDArray::SetValue(std::string_view column, std::string_view row, std::string_view value) {
  SetCell(column, row, CellKey(column, row), value);
}

void TTwoDArray::SetCell(std::string_view column, std::string_view row, std::string_view key,
                         std::string_view value) {
  if (!column_set_.ContainsKey(column)) {
    columns_.Add(column);
    column_set_.Put(column, {});
  }
  if (!row_set_.ContainsKey(row)) {
    rows_.Add(row);
    row_set_.Put(row, {});
  }
  cells_.Put(key, value);
}

// Enough cells in flight to keep the memory system busy, few enough that
// their lines stay in the cache until they are used.
constexpr size_t kGroupSize = 32;

void TTwoDArray::GroupKeys(std::span<const TCell> group) const {
  group_keys_.clear();
  group_ends_.clear();
  for (const TCell& cell : group) {
    AppendCellKey(group_keys_, cell.column, cell.row);
    group_ends_.push_back(group_keys_.size());
  }
  // Views only once the buffer has stopped growing.
  group_views_.clear();
  size_t start = 0;
  for (size_t end : group_ends_) {
    group_views_.push_back(std::string_view(group_keys_).substr(start, end - start));
    start = end;
  }
}

void TTwoDArray::PrefetchGroupCells() const {
  for (std::string_view key : group_views_) cells_.Prefetch(key);
  for (std::string_view key : group_views_) cells_.PrefetchChain(key);
}

void TTwoDArray::GetValues(std::span<const TCell> cells, std::string_view* values) const {
  for (size_t begin = 0; begin < cells.size(); begin += kGroupSize) {
    GroupKeys(cells.subspan(begin, std::min(kGroupSize, cells.size() - begin)));
    PrefetchGroupCells();
    for (size_t i = 0; i < group_views_.size(); ++i)
      values[begin + i] = cells_.Get(group_views_[i]);
  }
}

void TTwoDArray::SetValues(std::span<const TCell> cells, const std::string_view* values) {
  for (size_t begin = 0; begin < cells.size(); begin += kGroupSize) {
    const std::span<const TCell> group =
        cells.subspan(begin, std::min(kGroupSize, cells.size() - begin));
    GroupKeys(group);
    for (size_t i = 0; i < group.size(); ++i) {
      row_set_.Prefetch(group[i].row);
      cells_.Prefetch(group_views_[i]);
    }
    for (size_t i = 0; i < group.size(); ++i) {
      row_set_.PrefetchChain(group[i].row);
      cells_.PrefetchChain(group_views_[i]);
    }
    for (size_t i = 0; i < group.size(); ++i) {
      SetCell(group[i].column, group[i].row, group_views_[i], values[begin + i]);
    }
  }
}

void TTwoDArray::LoadFromFile(const std::string& path) {
  Clear();
  TLineReader lines(path);
  std::string_view line;
  if (!lines.Next(line)) RaiseListIndexError(0);  // not even a header line
  SplitDelimitedLine(fields_, line, ',', '"');
  if (fields_.Count() > 0) columns_.Assign(fields_);
  for (int b = 0; b < fields_.Count(); ++b) column_set_.Put(fields_[b], {});
  while (lines.Next(line)) {
    if (line.empty()) continue;
    SplitDelimitedLine(fields_, line, ',', '"');
    const std::string& key = fields_[0];
    rows_.Add(key);
    row_set_.Put(key, {});
    StoreLineCells(key);
  }
}

void TTwoDArray::StoreLineCells(const std::string& row) {
  line_cells_.clear();
  line_fields_.clear();
  int b = 1;
  for (; b < fields_.Count() && b < columns_.Count(); ++b) {
    if (fields_[b].empty()) continue;
    line_cells_.push_back({columns_[b], row});
    line_fields_.push_back(b);
  }
  GroupKeys(line_cells_);
  PrefetchGroupCells();
  for (size_t i = 0; i < group_views_.size(); ++i) {
    cells_.PutNew(group_views_[i], fields_[line_fields_[i]]);
  }
  // A non-empty field that no header name covers fails the load, after the
  // line's earlier cells were stored.
  for (; b < fields_.Count(); ++b) {
    if (!fields_[b].empty()) (void)columns_[b];
  }
}

}  // namespace vendrake
