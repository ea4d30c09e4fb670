// The input files' text rules: TLineReader cuts a file into lines, and
// TLineFields (or SplitDelimitedLine, into a string list) cuts a line into
// its fields. TTwoDArray loads files with them, and vendrake-check reads
// with them too, so both read the same bytes the same way.
#ifndef VENDRAKE_TABLES_DELIMITEDLINES_H_
#define VENDRAKE_TABLES_DELIMITEDLINES_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/StringList.h"

namespace vendrake {

// Hands out the lines of a file one at a time, reading it in chunks so that
// a large file is never held whole. CR LF, CR and LF end a line, a last line
// end adds no empty line behind it, and a zero byte ends the text. A line's
// view is valid until the next call. The constructor and Next raise
// EFOpenError "Cannot open file "<absolute path>". <reason>" when the file
// cannot be opened or read. path must outlive the reader.
class TLineReader {
 public:
  explicit TLineReader(const std::string& path);
  ~TLineReader();
  TLineReader(const TLineReader&) = delete;
  TLineReader& operator=(const TLineReader&) = delete;

  bool Next(std::string_view& line);
  // The number of the line Next returned last, from 1; every line end
  // counts, so empty lines have numbers too.
  int LineNumber() const { return line_number_; }
  const std::string& Path() const { return path_; }
  // A hint only: the bytes from the start of a line some lines behind the
  // one Next returned last, when the buffer holds it, else empty. Lines are
  // counted by LF alone, so a file of CR ends gets no hints.
  std::string_view Ahead() const {
    return {buffer_.get() + ahead_, ahead_lines_ == kAhead ? end_ - ahead_ : 0};
  }
  // The number Ahead's line will have, when the lines up to it end in LF.
  int AheadLineNumber() const { return line_number_ + kAhead + 1; }

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
  size_t cr_ = 0;  // the same for CR
  bool cr_known_ = false;
  size_t ahead_ = 0;     // see Ahead
  int ahead_lines_ = 0;  // LFs between begin_ and ahead_, up to kAhead
  bool at_end_ = false;  // no byte will follow end_
  int line_number_ = 0;
};

// Hands visit the lines of the file at path as a load reads them until it
// returns false. Raises EFOpenError as TLineReader does.
void ForEachFileLine(const std::string& path, const std::function<bool(std::string_view)>& visit);

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

// A guess at the first field of line, for hints: the text up to its first
// comma, trimmed (quotes and control bytes not looked at); empty when line
// holds no comma. line need not be whole.
std::string_view LeadingField(std::string_view line);

}  // namespace vendrake

#endif  // VENDRAKE_TABLES_DELIMITEDLINES_H_
