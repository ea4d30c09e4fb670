#include "tables/TwoDLookup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

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

std::string ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseOpenError(path, errno);
  struct stat info;
  const size_t expected = ::fstat(fd, &info) == 0 && info.st_size > 0 ? info.st_size : 0;
  // One byte more than the size reveals growth without a second resize.
  std::string text(expected + 1, '\0');
  size_t used = 0;
  for (;;) {
    if (used == text.size()) text.resize(2 * text.size());
    const ssize_t n = ::read(fd, text.data() + used, text.size() - used);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      RaiseOpenError(path, error);
    }
    used += n;
  }
  ::close(fd);
  text.resize(used);
  return text;
}

// Cuts text into lines at CR LF, CR and LF; a last line end adds no empty
// line behind it.
std::vector<std::string_view> CutLines(std::string_view text) {
  std::vector<std::string_view> lines;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const char* e = p;
    while (e < end && *e != '\r' && *e != '\n') ++e;
    lines.emplace_back(p, e - p);
    if (e == end) break;
    p = e + (*e == '\r' && e + 1 < end && e[1] == '\n' ? 2 : 1);
  }
  return lines;
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
  if (!column_set_.ContainsKey(column)) {
    columns_.Add(column);
    column_set_.Put(column, {});
  }
  if (!row_set_.ContainsKey(row)) {
    rows_.Add(row);
    row_set_.Put(row, {});
  }
  cells_.Put(CellKey(column, row), value);
}

void TTwoDArray::LoadFromFile(const std::string& path) {
  Clear();
  std::string text = ReadWholeFile(path);
  LoadText(std::string_view(text).substr(0, text.find('\0')));
}

void TTwoDArray::LoadText(std::string_view text) {
  const std::vector<std::string_view> lines = CutLines(text);
  if (lines.empty()) throw EStringListError("List index out of bounds (0)");
  SplitDelimitedLine(fields_, lines[0], ',', '"');
  if (fields_.Count() > 0) columns_.Assign(fields_);
  for (int b = 0; b < fields_.Count(); ++b) column_set_.Put(fields_[b], {});
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    SplitDelimitedLine(fields_, lines[i], ',', '"');
    const std::string& key = fields_[0];
    rows_.Add(key);
    row_set_.Put(key, {});
    StoreLineCells(key);
  }
}

void TTwoDArray::StoreLineCells(const std::string& row) {
  line_keys_.clear();
  line_cells_.clear();
  int b = 1;
  for (; b < fields_.Count() && b < columns_.Count(); ++b) {
    if (fields_[b].empty()) continue;
    const size_t start = line_keys_.size();
    AppendCellKey(line_keys_, columns_[b], row);
    line_cells_.push_back({start, line_keys_.size() - start, b});
  }
  const std::string_view keys = line_keys_;
  for (const LineCell& cell : line_cells_) cells_.Prefetch(keys.substr(cell.start, cell.length));
  for (const LineCell& cell : line_cells_) {
    cells_.PrefetchChain(keys.substr(cell.start, cell.length));
  }
  for (const LineCell& cell : line_cells_) {
    cells_.PutNew(keys.substr(cell.start, cell.length), fields_[cell.field]);
  }
  // A non-empty field that no header name covers fails the load, after the
  // line's earlier cells were stored.
  for (; b < fields_.Count(); ++b) {
    if (!fields_[b].empty()) (void)columns_[b];
  }
}

}  // namespace vendrake
