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

std::string_view Trimmed(const char* begin, const char* end) {
  while (end > begin && IsBlankOrControl(end[-1])) --end;
  while (begin < end && IsBlankOrControl(*begin)) ++begin;
  return {begin, static_cast<size_t>(end - begin)};
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
  // A hint only: the bytes from the start of a line some lines behind the
  // one Next returned last, when the buffer holds it, else empty. Lines are
  // counted by LF alone, so a file of CR ends gets no hints.
  std::string_view Ahead() const {
    return {buffer_.get() + ahead_, ahead_lines_ == kAhead ? end_ - ahead_ : 0};
  }

 private:
  static constexpr int kAhead = 8;
  // Moves ahead_ on until it is kAhead lines behind begin_ or at end_.
  void StepAhead();

  void Fill();
  // Offset of the first CR or LF at or behind begin_, or end_ when none.
  size_t LineEnd();

  const std::string& path_;
  int fd_;
  std::unique_ptr<char[]> buffer_;
  size_t size_ = 0;
  size_t begin_ = 0;  // first unread byte
  size_t end_ = 0;    // end of the bytes read
  size_t lf_ = 0;     // the first LF at or behind begin_ (end_ for none), when known
  bool lf_known_ = false;
  size_t ahead_ = 0;     // see Ahead
  int ahead_lines_ = 0;  // LFs between begin_ and ahead_, up to kAhead
  bool at_end_ = false;  // no byte will follow end_
};

size_t TLineReader::LineEnd() {
  if (buffer_ == nullptr) return end_;  // nothing read yet, and memchr takes no null
  const char* p = buffer_.get();
  if (!lf_known_ || lf_ < begin_) {
    lf_known_ = true;
    const void* lf = std::memchr(p + begin_, '\n', end_ - begin_);
    lf_ = lf != nullptr ? static_cast<const char*>(lf) - p : end_;
  }
  // The LF is remembered, so that a file whose lines end with CR alone is
  // not searched to its next LF again and again.
  const void* cr = std::memchr(p + begin_, '\r', lf_ - begin_);
  return cr != nullptr ? static_cast<const char*>(cr) - p : lf_;
}

bool TLineReader::Next(std::string_view& line) {
  for (;;) {
    const size_t stop = LineEnd();
    const char* p = buffer_.get();
    // A CR at the end of what was read may be the first half of CR LF.
    const bool complete = stop < end_ && (p[stop] == '\n' || stop + 1 < end_ || at_end_);
    if (complete) {
      line = std::string_view(p + begin_, stop - begin_);
      begin_ = stop + (p[stop] == '\r' && stop + 1 < end_ && p[stop + 1] == '\n' ? 2 : 1);
      StepAhead();
      return true;
    }
    if (!at_end_) {
      Fill();
      continue;
    }
    if (begin_ == end_) return false;
    line = std::string_view(p + begin_, end_ - begin_);
    begin_ = end_;
    return true;
  }
}

void TLineReader::StepAhead() {
  if (ahead_lines_ > 0) --ahead_lines_;
  if (ahead_ < begin_) {
    ahead_ = begin_;
    ahead_lines_ = 0;
  }
  for (; ahead_lines_ < kAhead; ++ahead_lines_) {
    const void* lf = std::memchr(buffer_.get() + ahead_, '\n', end_ - ahead_);
    if (lf == nullptr) {
      ahead_ = end_;  // searched once until the next Fill
      return;
    }
    ahead_ = static_cast<const char*>(lf) - buffer_.get() + 1;
  }
}

// Moves the unread bytes to the front and reads more behind them, growing
// the buffer for a line longer than it.
void TLineReader::Fill() {
  constexpr size_t kFirstSize = size_t{1} << 20;
  if (buffer_ == nullptr || end_ - begin_ == size_) {
    const size_t size = buffer_ == nullptr ? kFirstSize : 2 * size_;
    auto grown = std::make_unique_for_overwrite<char[]>(size);
    if (buffer_ != nullptr) std::memcpy(grown.get(), buffer_.get() + begin_, end_ - begin_);
    buffer_ = std::move(grown);
    size_ = size;
  } else {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
  }
  end_ -= begin_;
  begin_ = 0;
  lf_known_ = false;
  ahead_ = 0;
  ahead_lines_ = 0;
  ssize_t n;
  do {
    n = ::read(fd_, buffer_.get() + end_, size_ - end_);
  } while (n < 0 && errno == EINTR);
  if (n < 0) RaiseOpenError(path_, errno);
  char* read = buffer_.get() + end_;
  const char* zero = static_cast<const char*>(std::memchr(read, '\0', n));
  end_ += (zero != nullptr ? zero : read + n) - read;
  at_end_ = n == 0 || zero != nullptr;
}

}  // namespace

void ForEachFileLine(const std::string& path, const std::function<bool(std::string_view)>& visit) {
  TLineReader lines(path);
  for (std::string_view line; lines.Next(line) && visit(line);) {
  }
}

void TLineFields::Split(std::string_view line, char delimiter, char quote) {
  fields_.clear();
  if (line.size() > unquoted_size_) {
    unquoted_size_ = std::max(line.size(), 2 * unquoted_size_);
    unquoted_ = std::make_unique_for_overwrite<char[]>(unquoted_size_);
  }
  unquoted_next_ = unquoted_.get();
  const char* p = line.data();
  const char* const end = p + line.size();
  p = SkipControl(p, end);
  while (p < end) {
    if (*p == quote) {
      p = ReadQuoted(p + 1, end, quote);
    } else {
      const char* start = p;
      while (p < end && !IsControl(*p) && *p != delimiter) ++p;
      fields_.push_back(Trimmed(start, p));
    }
    p = SkipControl(p, end);
    if (p < end && *p == delimiter) {
      if (p + 1 == end) fields_.emplace_back();
      p = SkipControl(p + 1, end);
    }
  }
}

const char* TLineFields::ReadQuoted(const char* p, const char* end, char quote) {
  const char* q = static_cast<const char*>(std::memchr(p, quote, end - p));
  if (q == nullptr || q + 1 == end || q[1] != quote) {
    // No doubled quote: the field is a view into the line.
    fields_.push_back(Trimmed(p, q != nullptr ? q : end));
    return q != nullptr ? q + 1 : end;
  }
  // A line's unquoted text never outgrows the line, so this buffer suffices.
  char* const start = unquoted_next_;
  for (;;) {
    const bool doubled = q != nullptr && q + 1 < end && q[1] == quote;
    const char* stop = q == nullptr ? end : doubled ? q + 1 : q;
    unquoted_next_ = std::copy(p, stop, unquoted_next_);
    if (!doubled) {
      p = q == nullptr ? end : q + 1;
      break;
    }
    p = q + 2;
    q = static_cast<const char*>(std::memchr(p, quote, end - p));
  }
  fields_.push_back(Trimmed(start, unquoted_next_));
  return p;
}

void SplitDelimitedLine(TStringList& list, std::string_view line, char delimiter, char quote) {
  TLineFields fields;
  fields.Split(line.substr(0, line.find('\0')), delimiter, quote);
  list.Clear();
  for (int i = 0; i < fields.Count(); ++i) list.Add(fields[i]);
}

namespace {

// Numbers are kept in the column table's values as four bytes in host order.
std::string_view NumberBytes(const int32_t& number) {
  return {reinterpret_cast<const char*>(&number), sizeof number};
}

// Long values and row keys are carved from blocks of this size.
constexpr size_t kArenaBlock = 1 << 20;

uint64_t Mix(uint64_t x) {
  x *= 0xbf58476d1ce4e5b9u;
  return x ^ (x >> 31);
}

}  // namespace

uint32_t TTwoDArray::KeyHash(std::string_view key) {
  const char* p = key.data();
  size_t n = key.size();
  uint64_t h = 0x9e3779b97f4a7c15u ^ n;
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    h = Mix(h ^ word);
  }
  uint64_t word = 0;
  std::copy_n(p, n, reinterpret_cast<char*>(&word));  // p may be null when n is 0
  h = Mix(Mix(h ^ word));
  return static_cast<uint32_t>(h >> 32);
}

TTwoDArray::TTwoDArray() = default;

void TTwoDArray::Clear() {
  row_keys_.clear();
  row_hashes_.clear();
  row_order_.clear();
  std::fill(row_slots_.begin(), row_slots_.end(), TRowSlot());
  column_set_.Clear();
  field_columns_.clear();
  for (std::vector<TChunk>& column : cells_) {
    for (TChunk& chunk : column) {
      if (chunk) spare_chunks_.push_back(std::move(chunk));
    }
  }
  cells_.clear();
  long_values_.clear();
  arena_.clear();
  arena_next_ = nullptr;
  arena_left_ = 0;
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
  const std::string_view bytes = column_set_.Get(name);
  if (bytes.empty()) return -1;  // every registered value is four bytes
  int32_t number;
  std::memcpy(&number, bytes.data(), sizeof number);
  return number;
}

int32_t TTwoDArray::AddColumn(std::string_view name) {
  const int32_t number = FindColumn(name);
  return number >= 0 ? number : NewColumn(name);
}

int32_t TTwoDArray::NewColumn(std::string_view name) {
  const auto number = static_cast<int32_t>(cells_.size());
  column_set_.Put(name, NumberBytes(number));
  cells_.emplace_back();
  return number;
}

int32_t TTwoDArray::FindRow(std::string_view key, uint32_t hash) const {
  if (row_slots_.empty()) return -1;
  const size_t mask = row_slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const TRowSlot& slot = row_slots_[i];
    if (slot.row < 0) return -1;
    if (slot.hash == hash && row_keys_[slot.row] == key) return slot.row;
  }
}

int32_t TTwoDArray::AddRow(std::string_view key, uint32_t hash) {
  const int32_t number = FindRow(key, hash);
  return number >= 0 ? number : NewRow(key, hash);
}

int32_t TTwoDArray::NewRow(std::string_view key, uint32_t hash) {
  const auto number = static_cast<int32_t>(row_keys_.size());
  row_keys_.push_back({Keep(key), key.size()});
  row_hashes_.push_back(hash);
  row_order_.push_back(number);
  // At most half the slots in use keeps probes short.
  if (2 * row_keys_.size() > row_slots_.size()) {
    row_slots_.assign(std::max<size_t>(1024, 2 * row_slots_.size()), TRowSlot());
    for (int32_t row = 0; row < number; ++row) IndexRow(row_hashes_[row], row);
  }
  IndexRow(hash, number);
  return number;
}

void TTwoDArray::IndexRow(uint32_t hash, int32_t row) {
  const size_t mask = row_slots_.size() - 1;
  size_t i = hash & mask;
  while (row_slots_[i].row >= 0) i = (i + 1) & mask;
  row_slots_[i] = {hash, row};
}

std::string_view TTwoDArray::CellValue(int32_t column, int32_t row) const {
  if (column < 0) return {};
  const std::vector<TChunk>& chunks = cells_[column];
  const size_t chunk = row >> kChunkShift;
  if (chunk >= chunks.size() || !chunks[chunk]) return {};
  const TCellValue& cell = chunks[chunk][row & (kChunkRows - 1)];
  if (cell.length <= TCellValue::kInline) return {cell.bytes, cell.length};
  uint32_t index;
  std::memcpy(&index, cell.bytes, sizeof index);
  return long_values_[index];
}

void TTwoDArray::SetCell(int32_t column, int32_t row, std::string_view value) {
  std::vector<TChunk>& chunks = cells_[column];
  const size_t chunk = row >> kChunkShift;
  if (chunk >= chunks.size()) chunks.resize(chunk + 1);
  if (!chunks[chunk]) chunks[chunk] = NewChunk();
  TCellValue& cell = chunks[chunk][row & (kChunkRows - 1)];
  if (value.size() <= TCellValue::kInline) {
    cell.length = static_cast<uint8_t>(value.size());
    std::copy_n(value.data(), value.size(), cell.bytes);  // value.data() may be null
  } else {
    const auto index = static_cast<uint32_t>(long_values_.size());
    long_values_.push_back({Keep(value), value.size()});
    cell.length = TCellValue::kLong;
    std::memcpy(cell.bytes, &index, sizeof index);
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
  fields_.Split(line, ',', '"');
  for (int b = 0; b < fields_.Count(); ++b) field_columns_.push_back(AddColumn(fields_[b]));
  while (lines.Next(line)) {
    PrefetchLineRow(lines.Ahead());
    if (line.empty()) continue;
    fields_.Split(line, ',', '"');
    if (fields_.Count() == 0) RaiseListIndexError(0);
    const std::string_view key = fields_[0];
    const uint32_t hash = KeyHash(key);
    int32_t row = FindRow(key, hash);
    if (row < 0) {
      row = NewRow(key, hash);
    } else {
      row_order_.push_back(row);  // listed once per line
    }
    StoreLineCells(row);
  }
}

void TTwoDArray::PrefetchLineRow(std::string_view line) const {
  const char* comma = static_cast<const char*>(std::memchr(line.data(), ',', line.size()));
  if (comma == nullptr || row_slots_.empty()) return;
  const uint32_t hash = KeyHash(Trimmed(line.data(), comma));
  __builtin_prefetch(&row_slots_[hash & (row_slots_.size() - 1)]);
}

void TTwoDArray::StoreLineCells(int32_t row) {
  for (int b = 1; b < fields_.Count(); ++b) {
    if (fields_[b].empty()) continue;
    // A non-empty field that no header name covers fails the load, after
    // the line's earlier cells were stored.
    if (b >= static_cast<int>(field_columns_.size())) RaiseListIndexError(b);
    SetCell(field_columns_[b], row, fields_[b]);
  }
}

}  // namespace vendrake
