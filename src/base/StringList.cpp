#include "base/StringList.h"

#include "base/Exceptions.h"

namespace vendrake {

namespace {

std::string ListIndexMessage(int index) {
  return "List index out of bounds (" + std::to_string(index) + ")";
}

}  // namespace

void RaiseListIndexError(int index) { throw EStringListError(ListIndexMessage(index)); }

namespace {

std::string LoadLineProblem(int line, int field) {
  if (line == 1) return "no header line";
  if (field == 0) return "a line without a field, only control bytes";
  return "a value at a position the header names no column for";
}

}  // namespace

void RaiseLoadLineError(const std::string& path, int line, int field) {
  throw ELoadLineError(ListIndexMessage(field),
                       path + ", line " + std::to_string(line) + ", field position " +
                           std::to_string(field) + ": " + LoadLineProblem(line, field),
                       path, line, field);
}

const std::string& TStringList::operator[](int index) const {
  if (index < 0 || index >= count_) RaiseListIndexError(index);
  return items_[index];
}

std::string& TStringList::AddEmpty() {
  if (count_ == static_cast<int>(items_.size())) items_.emplace_back();
  std::string& item = items_[count_++];
  item.clear();
  return item;
}

void TStringList::Assign(const TStringList& other) {
  Clear();
  for (int i = 0; i < other.count_; ++i) Add(other.items_[i]);
}

}  // namespace vendrake
