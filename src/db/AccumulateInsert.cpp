#include "db/AccumulateInsert.h"

#include <algorithm>
#include <cstring>

#include "base/Exceptions.h"

namespace vendrake {

void TAccumulateInsert::Add(std::string_view row) {
  // Room for a comma is counted even before the first tuple: one spare byte
  // spares a special case.
  const size_t needed = row.size() + 1 + Used;
  if (needed > Buffer.size()) Buffer.resize(std::max(2 * Used, needed));
  if (Used > 0) Buffer[Used++] = ',';
  if (!row.empty()) std::memcpy(Buffer.data() + Used, row.data(), row.size());
  Used += row.size();
  ++Rows;
}

size_t TAccumulateInsert::StatementSizeWith(size_t row) const {
  return Prefix.size() + kValues.size() + Used + (Used > 0) + row;
}

std::string TAccumulateInsert::TakeStatement() {
  VENDRAKE_ASSERT(!IsEmpty());
  std::string statement;
  statement.reserve(Prefix.size() + kValues.size() + Used);
  statement.append(Prefix).append(kValues).append(Buffer, 0, Used);
  Used = 0;
  Rows = 0;
  return statement;
}

}  // namespace vendrake
