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

}  // namespace

void RaiseOpenError(const std::string& path, int error) {
  std::error_code ignored;
  const std::string full = std::filesystem::absolute(path, ignored).string();
  throw EFOpenError("Cannot open file \"" + full + "\". " + SystemErrorText(error));
}

size_t OffsetOf(std::string_view text, char c, size_t from) {
  if (from >= text.size()) return text.size();  // memchr takes no null
  const void* found = std::memchr(text.data() + from, c, text.size() - from);
  return found != nullptr ? static_cast<const char*>(found) - text.data() : text.size();
}

TChunkReader::TChunkReader(const std::string& path, size_t chunk_bytes)
    : path_(path), chunk_bytes_(chunk_bytes) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) RaiseOpenError(path, errno);
}

TChunkReader::~TChunkReader() { ::close(fd_); }

bool TChunkReader::Next(std::vector<char>& text) {
  text.swap(carry_);
  carry_.clear();
  for (;;) {
    const size_t wanted = std::max(chunk_bytes_, 2 * text.size());
    if (!at_end_ && text.size() < chunk_bytes_) at_end_ = !Read(text, wanted - text.size());
    // A CR at the end may be the first half of a CR LF still unread.
    size_t cut = at_end_ || text.empty() || text.back() != '\r' ? text.size() : text.size() - 1;
    while (cut > 0 && text[cut - 1] != '\n' && text[cut - 1] != '\r') --cut;
    if (at_end_ && cut == 0) cut = text.size();  // a last line without an end
    if (cut > 0) {
      carry_.assign(text.begin() + cut, text.end());
      text.resize(cut);
      return true;
    }
    if (at_end_) return false;
    at_end_ = !Read(text, wanted);  // no line end yet: a longer line
  }
}

bool TChunkReader::Read(std::vector<char>& text, size_t n) {
  const size_t old = text.size();
  text.resize(old + n);
  ssize_t got;
  do {
    got = ::read(fd_, text.data() + old, n);
  } while (got < 0 && errno == EINTR);
  if (got < 0) RaiseOpenError(path_, errno);
  const char* zero = static_cast<const char*>(std::memchr(text.data() + old, '\0', got));
  text.resize(zero != nullptr ? zero - text.data() : old + got);
  return got > 0 && zero == nullptr;
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

}  // namespace vendrake
