// TStringList: an ordered list of byte strings with 0-based, bounds-checked
// access. Clear keeps the strings' storage so that a list refilled again and
// again (one line's fields after another) stops allocating once warm.
#ifndef VENDRAKE_BASE_STRINGLIST_H_
#define VENDRAKE_BASE_STRINGLIST_H_

#include <string>
#include <string_view>
#include <vector>

namespace vendrake {

// Raises EStringListError "List index out of bounds (<index>)".
[[noreturn]] void RaiseListIndexError(int index);
// Raises ELoadLineError: the same message for field, and the place.
[[noreturn]] void RaiseLoadLineError(const std::string& path, int line, int field);

class TStringList {
 public:
  int Count() const { return count_; }

  // Raises the list index error when index is not below Count().
  const std::string& operator[](int index) const;

  void Add(std::string_view text) { AddEmpty().assign(text); }
  // Appends an empty string and returns it for the caller to fill; the
  // reference is valid until the next Add or AddEmpty.
  std::string& AddEmpty();
  void Clear() { count_ = 0; }
  // Makes this list an element-wise copy of other.
  void Assign(const TStringList& other);

 private:
  std::vector<std::string> items_;  // items_[count_..] are spare storage
  int count_ = 0;
};

}  // namespace vendrake

#endif  // VENDRAKE_BASE_STRINGLIST_H_
