// TTwoDArray: a table of strings addressed by (column name, row key), filled
// cell by cell: the read phase fills the merged tables from the input files,
// the writers read them. Rows keep their order of arrival. All names and
// keys compare byte for byte.
//
// Rows and columns are numbered from 0 in the order they are first
// registered; a hash table maps each column name to its number, an index of
// the table's own each row key. A cell lives in an array per column indexed
// by row number, so that loading a file or copying a column costs one hash
// lookup per line or row rather than one per cell: a hash entry per cell,
// under a key made of column and row, held the loader at several times the
// database's own time and at many times the input's size in memory.
#ifndef VENDRAKE_TABLES_TWODLOOKUP_H_
#define VENDRAKE_TABLES_TWODLOOKUP_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/StringList.h"
#include "tables/StringStringHashtables.h"

namespace vendrake {

class TTwoDArray {
 public:
  TTwoDArray();
  TTwoDArray(const TTwoDArray&) = delete;
  TTwoDArray& operator=(const TTwoDArray&) = delete;

  void Clear();

  // Replaces list's content with the row keys in arrival order; a key that
  // stood on several lines of a file appears as often.
  void GetRowKeys(TStringList& list) const;

  // Access by number, for callers that walk whole columns. RowOrder lists
  // the row numbers in GetRowKeys' order, RowCount says how many distinct
  // rows there are. RowOrder and RowKey's views are valid until the table
  // changes.
  std::span<const int32_t> RowOrder() const { return row_order_; }
  int32_t RowCount() const { return static_cast<int32_t>(row_keys_.size()); }
  std::string_view RowKey(int32_t row) const { return row_keys_[row]; }
  // -1 when the name or key is not registered.
  int32_t FindColumn(std::string_view name) const;
  int32_t FindRow(std::string_view key) const { return FindRow(key, KeyHash(key)); }
  // Register a name or key when it is new; return its number.
  int32_t AddColumn(std::string_view name);
  int32_t AddRow(std::string_view key) { return AddRow(key, KeyHash(key)); }
  // The same with hash = KeyHash(key), for a caller that looks one key up
  // in several tables.
  static uint32_t KeyHash(std::string_view key);
  int32_t FindRow(std::string_view key, uint32_t hash) const;
  int32_t AddRow(std::string_view key, uint32_t hash);
  // Registers key as a loaded data line does: RowOrder lists it once more,
  // and RowCount grows when it is new. Returns its number.
  int32_t AddLineRow(std::string_view key, uint32_t hash);
  // Numbers the rows from first on anew: row first + k becomes the one that
  // was row order[k], with its key and cells. order is a permutation of
  // first .. RowCount() - 1, rows that AddRow registered (so that RowOrder
  // lists each once, in number order).
  void ReorderRows(int32_t first, std::span<const int32_t> order);
  // A hint only: starts loading the index slot where a key of hash is
  // looked for, so that its lookup some time later does not wait for it.
  void PrefetchRow(uint32_t hash) const {
    if (!row_slots_.empty()) __builtin_prefetch(&row_slots_[hash & (row_slots_.size() - 1)]);
  }
  // The value of a cell of a registered row; column may be -1, which reads
  // as an absent column. The view is valid until the table changes.
  std::string_view CellValue(int32_t column, int32_t row) const;
  // Stores value in a cell of a registered column and row.
  void SetCell(int32_t column, int32_t row, std::string_view value);

 private:
  // A cell's value: up to kInline bytes inside; a longer one in the arena,
  // bytes then holding its place there (see Keep), so that a long value
  // costs its own bytes and no more, and reading it one look into memory.
  // A value of kHuge bytes or more has its length kept in four bytes in
  // front of it.
  struct TCellValue {
    static constexpr uint8_t kInline = 7;
    static constexpr uint8_t kHuge = 0xff;
    char bytes[kInline];
    uint8_t length = 0;
  };
  // A column's cells come in chunks of rows, each made when it gets its
  // first value: a growing column never moves or doubles, and a sparse one
  // holds only the chunks it uses.
  static constexpr int kChunkShift = 12;
  static constexpr int32_t kChunkRows = 1 << kChunkShift;
  using TChunk = std::unique_ptr<TCellValue[]>;
  // A slot of the row index: a row's number, the hash of its key, so that
  // growing never hashes a key again, and the key itself when it is short
  // (see PackedKey), so that a probe for a symbol looks at the slot alone.
  struct TRowSlot {
    uint32_t hash = 0;
    int32_t row = -1;  // -1: free
    uint64_t key = 0;
  };
  // A key of up to 7 bytes, and its length in the top byte; for a longer
  // one its first 7 bytes and kLongKey there.
  static uint64_t PackedKey(std::string_view key);
  static constexpr uint8_t kLongKey = 0xff;

  // Registers a key that is not registered yet; returns its number.
  int32_t NewRow(std::string_view key, uint32_t hash);
  // Enters row in the index, which has a free slot for it.
  void IndexRow(uint32_t hash, int32_t row);
  // Registers a name that is not registered yet; returns its number.
  int32_t NewColumn(std::string_view name);
  // An empty chunk, one of those Clear kept if there are any.
  TChunk NewChunk();
  // The cell of a registered row, or null where no chunk holds it yet.
  const TCellValue* FindCell(int32_t column, int32_t row) const;
  // The cell of a registered row, its chunk made if need be.
  TCellValue& CellToSet(int32_t column, int32_t row);
  // Makes room for n bytes in memory the table owns until Clear (row keys,
  // and values too long for a cell) and returns its place: the number of
  // the arena block shifted by kBlockShift, plus the offset in the block.
  uint64_t Keep(size_t n);
  char* Kept(uint64_t place) const {
    return arena_[place >> kBlockShift].get() + (place & (kArenaBlock - 1));
  }
  static constexpr int kBlockShift = 20;
  static constexpr size_t kArenaBlock = size_t{1} << kBlockShift;
  // Where the arena bytes of a cell's long value start.
  char* LongBytes(const TCellValue& cell) const;

  tHashTable column_set_;                       // column name -> its number
  std::vector<TRowSlot> row_slots_;             // open addressing, a power of two or empty
  std::vector<std::string_view> row_keys_;      // by number, bytes in the arena
  std::vector<uint32_t> row_hashes_;            // KeyHash of each row key, by number
  std::vector<int32_t> row_order_;              // arrival order, repeats included
  std::vector<std::vector<TChunk>> cells_;      // [column][row >> kChunkShift], may be null
  std::vector<TChunk> spare_chunks_;            // kept by Clear for the next load
  std::vector<std::unique_ptr<char[]>> arena_;  // blocks of kept bytes
  size_t arena_block_ = 0;                      // the block being filled
  size_t arena_left_ = 0;                       // its bytes not yet in use
};

}  // namespace vendrake

#endif  // VENDRAKE_TABLES_TWODLOOKUP_H_
