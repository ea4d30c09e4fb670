#include "tables/TwoDLookup.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace vendrake {

namespace {

// Numbers are kept in the column table's values as four bytes in host order.
std::string_view NumberBytes(const int32_t& number) {
  return {reinterpret_cast<const char*>(&number), sizeof number};
}

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
  for (std::vector<TChunk>& column : cells_) {
    for (TChunk& chunk : column) {
      if (chunk) spare_chunks_.push_back(std::move(chunk));
    }
  }
  cells_.clear();
  arena_.clear();
  arena_block_ = 0;
  arena_left_ = 0;
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

uint64_t TTwoDArray::PackedKey(std::string_view key) {
  uint64_t packed = 0;
  const size_t n = std::min<size_t>(key.size(), 7);
  std::copy_n(key.data(), n, reinterpret_cast<char*>(&packed));  // key.data() may be null
  const uint64_t length = key.size() <= 7 ? key.size() : kLongKey;
  return (packed & 0x00ffffffffffffffu) | length << 56;
}

int32_t TTwoDArray::FindRow(std::string_view key, uint32_t hash) const {
  if (row_slots_.empty()) return -1;
  const uint64_t packed = PackedKey(key);
  const bool whole = packed >> 56 != kLongKey;
  const size_t mask = row_slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const TRowSlot& slot = row_slots_[i];
    if (slot.row < 0) return -1;
    if (slot.hash == hash && slot.key == packed && (whole || row_keys_[slot.row] == key))
      return slot.row;
  }
}

int32_t TTwoDArray::AddRow(std::string_view key, uint32_t hash) {
  const int32_t number = FindRow(key, hash);
  return number >= 0 ? number : NewRow(key, hash);
}

int32_t TTwoDArray::AddLineRow(std::string_view key, uint32_t hash) {
  const int32_t row = FindRow(key, hash);
  if (row < 0) return NewRow(key, hash);
  row_order_.push_back(row);  // listed once per line
  return row;
}

void TTwoDArray::ReorderRows(int32_t first, std::span<const int32_t> order) {
  const size_t n = order.size();
  std::vector<int32_t> renumbered(n);  // by old number - first
  for (size_t k = 0; k < n; ++k) renumbered[order[k] - first] = first + static_cast<int32_t>(k);
  for (TRowSlot& slot : row_slots_) {
    if (slot.row >= first) slot.row = renumbered[slot.row - first];
  }
  const auto permute = [&](auto& items) {
    std::vector<std::remove_reference_t<decltype(items[0])>> moved(n);
    for (size_t k = 0; k < n; ++k) moved[k] = items[order[k]];
    std::copy(moved.begin(), moved.end(), items.begin() + first);
  };
  permute(row_keys_);
  permute(row_hashes_);
  std::vector<TCellValue> moved(n);
  for (size_t column = 0; column < cells_.size(); ++column) {
    const auto number = static_cast<int32_t>(column);
    for (size_t k = 0; k < n; ++k) {
      const TCellValue* cell = FindCell(number, order[k]);
      moved[k] = cell != nullptr ? *cell : TCellValue();
    }
    for (size_t k = 0; k < n; ++k) {
      const int32_t row = first + static_cast<int32_t>(k);
      if (moved[k].length > 0 || FindCell(number, row) != nullptr)
        CellToSet(number, row) = moved[k];
    }
  }
}

const TTwoDArray::TCellValue* TTwoDArray::FindCell(int32_t column, int32_t row) const {
  const std::vector<TChunk>& chunks = cells_[column];
  const size_t chunk = row >> kChunkShift;
  if (chunk >= chunks.size() || !chunks[chunk]) return nullptr;
  return &chunks[chunk][row & (kChunkRows - 1)];
}

TTwoDArray::TCellValue& TTwoDArray::CellToSet(int32_t column, int32_t row) {
  std::vector<TChunk>& chunks = cells_[column];
  const size_t chunk = row >> kChunkShift;
  if (chunk >= chunks.size()) chunks.resize(chunk + 1);
  if (!chunks[chunk]) chunks[chunk] = NewChunk();
  return chunks[chunk][row & (kChunkRows - 1)];
}

int32_t TTwoDArray::NewRow(std::string_view key, uint32_t hash) {
  const auto number = static_cast<int32_t>(row_keys_.size());
  char* kept = Kept(Keep(key.size()));
  std::copy_n(key.data(), key.size(), kept);  // key.data() may be null when it is empty
  row_keys_.push_back({kept, key.size()});
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
  row_slots_[i] = {hash, row, PackedKey(row_keys_[row])};
}

std::string_view TTwoDArray::CellValue(int32_t column, int32_t row) const {
  const TCellValue* found = column >= 0 ? FindCell(column, row) : nullptr;
  if (found == nullptr) return {};
  const TCellValue& cell = *found;
  if (cell.length <= TCellValue::kInline) return {cell.bytes, cell.length};
  const char* bytes = LongBytes(cell);
  if (cell.length != TCellValue::kHuge) return {bytes, cell.length};
  uint32_t length;
  std::memcpy(&length, bytes, sizeof length);
  return {bytes + sizeof length, length};
}

char* TTwoDArray::LongBytes(const TCellValue& cell) const {
  uint64_t place = 0;
  std::memcpy(&place, cell.bytes, TCellValue::kInline);
  return Kept(place);
}

void TTwoDArray::SetCell(int32_t column, int32_t row, std::string_view value) {
  TCellValue& cell = CellToSet(column, row);
  const size_t n = value.size();
  if (n <= TCellValue::kInline) {
    cell.length = static_cast<uint8_t>(n);
    std::copy_n(value.data(), n, cell.bytes);  // value.data() may be null
    return;
  }
  if (n < TCellValue::kHuge && cell.length > TCellValue::kInline && n <= cell.length) {
    // Where the long value before it fits, the new one takes its place: a
    // later directory brings most values again, often byte for byte.
    std::memmove(LongBytes(cell), value.data(), n);
    cell.length = static_cast<uint8_t>(n);
    return;
  }
  const uint32_t length = static_cast<uint32_t>(n);
  const size_t prefix = n < TCellValue::kHuge ? 0 : sizeof length;
  const uint64_t place = Keep(prefix + n);
  char* bytes = Kept(place);
  std::memcpy(bytes, &length, prefix);
  std::memcpy(bytes + prefix, value.data(), n);
  std::memcpy(cell.bytes, &place, TCellValue::kInline);
  cell.length = prefix == 0 ? static_cast<uint8_t>(n) : TCellValue::kHuge;
}

TTwoDArray::TChunk TTwoDArray::NewChunk() {
  if (spare_chunks_.empty()) return std::make_unique<TCellValue[]>(kChunkRows);
  TChunk chunk = std::move(spare_chunks_.back());
  spare_chunks_.pop_back();
  std::fill_n(chunk.get(), kChunkRows, TCellValue());
  return chunk;
}

uint64_t TTwoDArray::Keep(size_t n) {
  if (n > kArenaBlock / 16) {
    // A block of its own, so that the block being filled is not abandoned.
    arena_.push_back(std::make_unique_for_overwrite<char[]>(n));
    return uint64_t{arena_.size() - 1} << kBlockShift;
  }
  // Even an empty key gets a place inside a block.
  if (arena_left_ == 0 || n > arena_left_) {
    arena_.push_back(std::make_unique_for_overwrite<char[]>(kArenaBlock));
    arena_block_ = arena_.size() - 1;
    arena_left_ = kArenaBlock;
  }
  const uint64_t place = (uint64_t{arena_block_} << kBlockShift) + (kArenaBlock - arena_left_);
  arena_left_ -= n;
  return place;
}

}  // namespace vendrake
