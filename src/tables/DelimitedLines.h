// The input files' text rules: TChunkReader and ForEachLine cut a file into
// lines, and TLineFields (or SplitDelimitedLine, into a string list) cuts a
// line into its fields. The read phase reads with them, for the loader and
// for vendrake-check alike.
#ifndef VENDRAKE_TABLES_DELIMITEDLINES_H_
#define VENDRAKE_TABLES_DELIMITEDLINES_H_

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/StringList.h"

namespace vendrake {

// Raises EFOpenError "Cannot open file "<absolute path>". <reason>" for
// the system error code error.
[[noreturn]] void RaiseOpenError(const std::string& path, int error);

// Hands out a file's text in chunks of whole lines, each read once. CR LF,
// CR and LF end a line, and a zero byte ends the text; a chunk ends behind a
// line end (never between the CR and the LF of one) or, the last one, at
// the end of the text. The constructor and Next raise EFOpenError when the
// file cannot be opened or read.
class TChunkReader {
 public:
  TChunkReader(const std::string& path, size_t chunk_bytes);
  ~TChunkReader();
  TChunkReader(const TChunkReader&) = delete;
  TChunkReader& operator=(const TChunkReader&) = delete;

  // Replaces text with the next lines: about chunk_bytes of them, or one
  // line if that is longer. The buffer is reused, grown as need be. False,
  // text empty, when the text has ended.
  bool Next(std::vector<char>& text);

 private:
  // Appends up to n bytes of the file to text; false once there are none.
  bool Read(std::vector<char>& text, size_t n);

  const std::string path_;
  const size_t chunk_bytes_;
  int fd_;
  std::vector<char> carry_;  // the bytes behind the last chunk's end
  bool at_end_ = false;      // no byte will follow carry_
};

// Calls visit with each line of text (whole lines, as TChunkReader hands
// them out), in order, until visit returns false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit);

// The fields of one line, as views into the line or, for a quoted field with
// doubled quotes, into the splitter's own buffer: no string is made per
// field. The views are valid until the next Split and while the line's bytes
// live. The rules are the input files' own: only control bytes (1..31)
// separate fields besides the delimiter, every field is trimmed of bytes
// <= 32, quote opens a quoted field only as a field's first character (a
// doubled quote inside stands for one), text behind a closing quote becomes
// a field of its own, and a delimiter that ends the line adds an empty field.
class TLineFields {
 public:
  void Split(std::string_view line, char delimiter, char quote);
  int Count() const { return static_cast<int>(fields_.size()); }
  std::string_view operator[](int index) const { return fields_[index]; }

 private:
  // Reads a quoted field whose content starts at p; returns the position
  // behind the closing quote, or end when none follows.
  const char* ReadQuoted(const char* p, const char* end, char quote);

  std::vector<std::string_view> fields_;
  std::unique_ptr<char[]> unquoted_;  // room for a line's worth of unquoted text
  size_t unquoted_size_ = 0;
  char* unquoted_next_ = nullptr;
};

// Replaces list's content with the fields of line by TLineFields' rules. A
// zero byte ends the line.
void SplitDelimitedLine(TStringList& list, std::string_view line, char delimiter, char quote);

// text without the bytes <= 32 at its start and end.
std::string_view Trimmed(std::string_view text);

// The offset of the first c in text from offset from on, text.size() when
// there is none.
size_t OffsetOf(std::string_view text, char c, size_t from);

template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  // The next CR and the next LF are each searched for again only once
  // passed, so that lines with one kind of end cost one sweep of each.
  size_t cr = OffsetOf(text, '\r', 0), lf = OffsetOf(text, '\n', 0);
  for (size_t begin = 0; begin < text.size();) {
    if (cr < begin) cr = OffsetOf(text, '\r', begin);
    if (lf < begin) lf = OffsetOf(text, '\n', begin);
    const size_t end = std::min(cr, lf);
    if (!visit(text.substr(begin, end - begin))) return;
    begin = end + 1;
    if (end == cr && lf == begin) ++begin;  // CR LF
  }
}

}  // namespace vendrake

#endif  // VENDRAKE_TABLES_DELIMITEDLINES_H_
