#include "tables/TwoDLookup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

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

namespace {

// Numbers are kept in the hash tables' values as four bytes in host order.
std::string_view NumberBytes(const int32_t& number) {
  return {reinterpret_cast<const char*>(&number), sizeof number};
}

int32_t FindNumber(const tHashTable& set, std::string_view key) {
  const std::string_view bytes = set.Get(key);
  if (bytes.empty()) return -1;  // every registered value is four bytes
  int32_t number;
  std::memcpy(&number, bytes.data(), sizeof number);
  return number;
}

// Long values and row keys are carved from blocks of this size.
constexpr size_t kArenaBlock = 1 << 20;

}  // namespace

TTwoDArray::TTwoDArray() { columns_.AddEmpty(); }

void TTwoDArray::Clear() {
  columns_.Clear();
  row_keys_.clear();
  row_order_.clear();
  row_set_.Clear();
  column_set_.Clear();
  field_columns_.clear();
  for (std::vector<TChunk>& column : cells_) {
    for (TChunk& chunk : column) {
      if (chunk) spare_chunks_.push_back(std::move(chunk));
    }
  }
  cells_.clear();
  arena_.clear();
  arena_next_ = nullptr;
  arena_left_ = 0;
  columns_.AddEmpty();
}

std::string TTwoDArray::MakeCellKey(std::string_view column, std::string_view row) {
  const auto length = static_cast<uint32_t>(column.size());
  const char suffix[5] = {',', static_cast<char>(length), static_cast<char>(length >> 8),
                          static_cast<char>(length >> 16), static_cast<char>(length >> 24)};
  std::string key;
  key.reserve(column.size() + row.size() + sizeof suffix + 1);
  key.append(column).append(",").append(row).append(suffix, sizeof suffix);
  return key;
}

void TTwoDArray::GetRowKeys(TStringList& list) const {
  list.Clear();
  for (int32_t row : row_order_) list.Add(row_keys_[row]);
}

int32_t TTwoDArray::FindColumn(std::string_view name) const {
  return FindNumber(column_set_, name);
}

int32_t TTwoDArray::FindRow(std::string_view key) const { return FindNumber(row_set_, key); }

int32_t TTwoDArray::AddColumn(std::string_view name) {
  const int32_t number = FindColumn(name);
  if (number >= 0) return number;
  columns_.Add(name);
  return NewColumn(name);
}

int32_t TTwoDArray::NewColumn(std::string_view name) {
  const auto number = static_cast<int32_t>(cells_.size());
  column_set_.Put(name, NumberBytes(number));
  cells_.emplace_back();
  return number;
}

int32_t TTwoDArray::AddRow(std::string_view key) {
  const int32_t number = FindRow(key);
  return number >= 0 ? number : NewRow(key);
}

int32_t TTwoDArray::NewRow(std::string_view key) {
  const auto number = static_cast<int32_t>(row_keys_.size());
  row_keys_.push_back({Keep(key), key.size()});
  row_order_.push_back(number);
  row_set_.Put(key, NumberBytes(number));
  return number;
}

std::string_view TTwoDArray::CellValue(int32_t column, int32_t row) const {
  if (column < 0) return {};
  const std::vector<TChunk>& chunks = cells_[column];
  const size_t chunk = row >> kChunkShift;
  if (chunk >= chunks.size() || !chunks[chunk]) return {};
  const TCellValue& cell = chunks[chunk][row & (kChunkRows - 1)];
  if (cell.length <= TCellValue::kInline) return {cell.bytes, cell.length};
  const char* kept;
  std::memcpy(&kept, cell.bytes, sizeof kept);
  return {kept, cell.length};
}

void TTwoDArray::SetCell(int32_t column, int32_t row, std::string_view value) {
  std::vector<TChunk>& chunks = cells_[column];
  const size_t chunk = row >> kChunkShift;
  if (chunk >= chunks.size()) chunks.resize(chunk + 1);
  if (!chunks[chunk]) chunks[chunk] = NewChunk();
  TCellValue& cell = chunks[chunk][row & (kChunkRows - 1)];
  cell.length = static_cast<uint32_t>(value.size());
  if (value.size() <= TCellValue::kInline) {
    if (!value.empty()) std::memcpy(cell.bytes, value.data(), value.size());
  } else {
    const char* kept = Keep(value);
    std::memcpy(cell.bytes, &kept, sizeof kept);
  }
}

TTwoDArray::TChunk TTwoDArray::NewChunk() {
  if (spare_chunks_.empty()) return std::make_unique<TCellValue[]>(kChunkRows);
  TChunk chunk = std::move(spare_chunks_.back());
  spare_chunks_.pop_back();
  std::fill_n(chunk.get(), kChunkRows, TCellValue());
  return chunk;
}

const char* TTwoDArray::Keep(std::string_view bytes) {
  char* kept;
  if (bytes.size() > kArenaBlock / 16) {
    // A block of its own, so that the block being filled is not abandoned.
    arena_.push_back(std::make_unique_for_overwrite<char[]>(bytes.size()));
    kept = arena_.back().get();
  } else {
    if (bytes.size() > arena_left_) {
      arena_.push_back(std::make_unique_for_overwrite<char[]>(kArenaBlock));
      arena_next_ = arena_.back().get();
      arena_left_ = kArenaBlock;
    }
    kept = arena_next_;
    arena_next_ += bytes.size();
    arena_left_ -= bytes.size();
  }
  if (!bytes.empty()) std::memcpy(kept, bytes.data(), bytes.size());
  return kept;
}

std::string_view TTwoDArray::GetValue(std::string_view column, std::string_view row) const {
  const int32_t column_number = FindColumn(column);
  if (column_number < 0) return {};
  const int32_t row_number = FindRow(row);
  return row_number < 0 ? std::string_view() : CellValue(column_number, row_number);
}

void TTwoDArray::SetValue(std::string_view column, std::string_view row, std::string_view value) {
  const int32_t column_number = AddColumn(column);
  SetCell(column_number, AddRow(row), value);
}

void TTwoDArray::LoadFromFile(const std::string& path) {
  Clear();
  TLineReader lines(path);
  std::string_view line;
  if (!lines.Next(line)) RaiseListIndexError(0);  // not even a header line
  SplitDelimitedLine(fields_, line, ',', '"');
  if (fields_.Count() > 0) columns_.Assign(fields_);
  for (int b = 0; b < fields_.Count(); ++b) {
    // columns_ already holds the header by position.
    const int32_t number = FindColumn(fields_[b]);
    field_columns_.push_back(number >= 0 ? number : NewColumn(fields_[b]));
  }
  while (lines.Next(line)) {
    if (line.empty()) continue;
    SplitDelimitedLine(fields_, line, ',', '"');
    const std::string& key = fields_[0];
    int32_t row = FindRow(key);
    if (row < 0) {
      row = NewRow(key);
    } else {
      row_order_.push_back(row);  // listed once per line
    }
    StoreLineCells(row);
  }
}

void TTwoDArray::StoreLineCells(int32_t row) {
  for (int b = 1; b < fields_.Count(); ++b) {
    if (fields_[b].empty()) continue;
    // A non-empty field that no header name covers fails the load, after
    // the line's earlier cells were stored.
    if (b >= columns_.Count()) RaiseListIndexError(b);
    SetCell(field_columns_[b], row, fields_[b]);
  }
}

}  // namespace vendrake
