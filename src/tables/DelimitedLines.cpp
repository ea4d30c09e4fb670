#include "tables/DelimitedLines.h"

#include <fcntl.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/Exceptions.h"

namespace vendrake {

namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 32; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// The first control byte or delimiter from p on, or end: sixteen bytes a
// step where the line has them, as most fields are around ten bytes long.
const char* UnquotedEnd(const char* p, const char* end, char delimiter) {
#ifdef __SSE2__
  const __m128i last_control = _mm_set1_epi8(31);
  const __m128i delimiters = _mm_set1_epi8(delimiter);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(bytes, last_control), last_control);
    const int stops = _mm_movemask_epi8(_mm_or_si128(control, _mm_cmpeq_epi8(bytes, delimiters)));
    if (stops != 0) return p + __builtin_ctz(static_cast<unsigned>(stops));
  }
#endif
  while (p < end && !IsControl(*p) && *p != delimiter) ++p;
  return p;
}

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
// bytes and full stops. strerror_r, as two readers of one file may fail at
// once on two threads.
std::string SystemErrorText(int error) {
  char buffer[256];
  std::string text = ::strerror_r(error, buffer, sizeof buffer);
  while (!text.empty() && (IsBlankOrControl(text.back()) || text.back() == '.')) text.pop_back();
  return text;
}

[[noreturn]] void RaiseOpenError(const std::string& path, int error) {
  std::error_code ignored;
  const std::string full = std::filesystem::absolute(path, ignored).string();
  throw EFOpenError("Cannot open file \"" + full + "\". " + SystemErrorText(error));
}

}  // namespace

TLineReader::TLineReader(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) RaiseOpenError(path, errno);
}

TLineReader::~TLineReader() { ::close(fd_); }

size_t TLineReader::LineEnd() {
  if (buffer_ == nullptr) return end_;  // nothing read yet, and memchr takes no null
  const char* p = buffer_.get();
  // Both are remembered, so that a file whose lines end with CR alone is
  // not searched to its next LF again and again, nor one of LF ends to its
  // next CR.
  const auto next = [&](char c, size_t& at, bool& known) {
    if (known && at >= begin_) return;
    known = true;
    const void* found = std::memchr(p + begin_, c, end_ - begin_);
    at = found != nullptr ? static_cast<const char*>(found) - p : end_;
  };
  next('\n', lf_, lf_known_);
  next('\r', cr_, cr_known_);
  return std::min(lf_, cr_);
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
      ++line_number_;
      return true;
    }
    if (!at_end_) {
      Fill();
      continue;
    }
    if (begin_ == end_) return false;
    line = std::string_view(p + begin_, end_ - begin_);
    begin_ = end_;
    ++line_number_;
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
  cr_known_ = false;
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
      p = UnquotedEnd(p, end, delimiter);
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

std::string_view Trimmed(std::string_view text) {
  return Trimmed(text.data(), text.data() + text.size());
}

std::string_view LeadingField(std::string_view line) {
  const void* comma = std::memchr(line.data(), ',', line.size());
  return comma == nullptr ? std::string_view()
                          : Trimmed(line.data(), static_cast<const char*>(comma));
}

}  // namespace vendrake
