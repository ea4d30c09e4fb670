// TAccumulateInsert gathers row tuples into one multi-row statement,
// "<prefix> VALUES <tuple>,<tuple>...". It knows nothing of SQL beyond that;
// callers pass complete tuple texts and execute what TakeStatement returns.
// One reusable buffer holds the tuples, so filling a statement of a megabyte
// allocates only when the buffer must grow.
#ifndef VENDRAKE_DB_ACCUMULATEINSERT_H_
#define VENDRAKE_DB_ACCUMULATEINSERT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace vendrake {

class TAccumulateInsert {
 public:
  // Tuple characters at which a statement is due: a megabyte keeps the
  // statements per table few and each far below the servers' usual
  // max_allowed_packet.
  static constexpr size_t kFullSize = 1 << 20;

  explicit TAccumulateInsert(std::string prefix) : Prefix(std::move(prefix)) {}
  TAccumulateInsert(const TAccumulateInsert&) = delete;
  TAccumulateInsert& operator=(const TAccumulateInsert&) = delete;

  void Add(std::string_view row);
  bool IsEmpty() const { return Used == 0; }
  // Counts the tuples and their commas only, not the prefix.
  bool IsFull() const { return Used >= kFullSize; }
  // The statement of the tuples added since the last one; the builder is
  // empty afterwards and keeps its capacity. Requires !IsEmpty().
  std::string TakeStatement();
  // The tuples the next TakeStatement will hold.
  size_t RowCount() const { return Rows; }
  // The length of the statement with one more tuple of row characters.
  size_t StatementSizeWith(size_t row) const;
  size_t Capacity() const { return Buffer.size(); }

 private:
  static constexpr std::string_view kValues = " VALUES ";

  const std::string Prefix;
  std::string Buffer;  // its size is the capacity; [0, Used) is meaningful
  size_t Used = 0;
  size_t Rows = 0;
};

}  // namespace vendrake

#endif  // VENDRAKE_DB_ACCUMULATEINSERT_H_
