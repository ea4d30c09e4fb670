// tHashTable: a string-to-string map built as a hash table with separate
// chaining, and its fail-fast iterator.
//
// The layout is part of the contract: HashString picks the slot, a new entry
// heads its chain, the table grows to (3 * buckets) / 2 + 3 slots as soon as
// it holds more than three entries per four slots, and iteration runs slots
// upward, each chain from its head. Version counts structural changes so that
// iterators notice changes made behind their back.
//
// Keys and values are byte strings that may hold any byte. Views returned by
// the table point into its entries and stay valid until the entry is removed
// or given another value, or the table is cleared or destroyed.
//
// Not thread-safe; a table and its iterators belong to one thread.
#ifndef VENDRAKE_TABLES_STRINGSTRINGHASHTABLES_H_
#define VENDRAKE_TABLES_STRINGSTRINGHASHTABLES_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace vendrake {

// The 32-bit hash of the table: four bytes per step, the last one or two
// bytes one at a time.
int32_t HashString(std::string_view s);

// One key/value pair. Made and owned by its table; the key never changes.
// Values of up to kInlineValue bytes live inside the entry, longer ones in a
// buffer of their own. The key bytes follow the object in the same block.
class THashEntry {
 public:
  THashEntry(const THashEntry&) = delete;
  THashEntry& operator=(const THashEntry&) = delete;

  std::string_view Key() const { return {KeyBytes(), key_length_}; }
  std::string_view Value() const {
    return {HasHeapValue() ? value_.heap : value_.inline_bytes, value_length_};
  }

  THashEntry* NextEntry = nullptr;

 private:
  friend class tHashTable;
  friend class tHashTableIterator;
  // Room for a pointer's worth: the numbers the tables map names to fit.
  static constexpr uint32_t kInlineValue = 8;

  // Only through the table or an iterator.
  void SetValue(std::string_view value);
  bool HasHeapValue() const { return value_length_ > kInlineValue; }

  THashEntry(std::string_view key, std::string_view value);
  ~THashEntry() { ReleaseValue(); }
  const char* KeyBytes() const { return reinterpret_cast<const char*>(this + 1); }
  void ReleaseValue();

  union {
    char inline_bytes[kInlineValue];
    char* heap;
  } value_;
  uint32_t value_length_ = 0;
  uint32_t key_length_;
};

class tHashTableIterator;

class tHashTable {
 public:
  // Raises std::out_of_range for a negative count.
  explicit tHashTable(int32_t initial_buckets = 0);
  tHashTable(const tHashTable&) = delete;
  tHashTable& operator=(const tHashTable&) = delete;
  virtual ~tHashTable();

  // Rebuilds every chain for n slots. The caller keeps n >= 1 while the
  // table holds entries.
  virtual void Rehash(int32_t n);
  virtual void Grow();
  virtual void Put(std::string_view key, std::string_view value);
  // The caller owns the iterator; the table must outlive it.
  virtual std::unique_ptr<tHashTableIterator> NewIterator();
  virtual bool ContainsKey(std::string_view key) const;
  virtual bool ContainsValue(std::string_view value) const;
  // The value, or the empty string when the key is absent.
  virtual std::string_view Get(std::string_view key) const;
  // True when a new entry was added, false when an existing value was replaced.
  virtual bool PutNew(std::string_view key, std::string_view value);
  // The removed value (a copy, as its entry is gone), or "" when absent.
  virtual std::string Remove(std::string_view key);
  virtual int32_t Count() const { return entry_count_; }
  virtual void Clear();

  // Slot of key for the current bucket count; needs at least one bucket.
  int32_t BucketIndex(std::string_view key) const;
  int32_t BucketCount() const { return static_cast<int32_t>(buckets_.size()); }
  int32_t Version() const { return static_cast<int32_t>(version_); }

 private:
  friend class tHashTableIterator;

  // The bucket counts fit 32 bits, and a 32-bit division is the cheaper one.
  uint32_t SlotOf(uint32_t magnitude) const {
    return magnitude % static_cast<uint32_t>(buckets_.size());
  }
  THashEntry* Find(std::string_view key) const;
  // Searches the chain of the slot for a key whose hash has this magnitude;
  // needs at least one bucket.
  THashEntry* FindInChain(std::string_view key, uint32_t magnitude) const;
  THashEntry* NewEntry(std::string_view key, std::string_view value);
  void FreeEntry(THashEntry* entry);
  // Releases the values' own buffers; the blocks stay.
  void FreeAllEntries();

  std::vector<THashEntry*> buckets_;
  uint32_t version_ = 0;  // wraps; read as signed through Version()
  int32_t entry_count_ = 0;

  // Entries are carved out of large blocks one after another; freed ones
  // wait on a list per size so that the next entry of that size reuses them.
  // Clear keeps the blocks for the entries that follow.
  struct FreeBlock {
    void operator()(char* bytes) const;
  };
  struct Block {
    std::unique_ptr<char[], FreeBlock> bytes;
    size_t size;
    size_t used;  // bytes carved, entries live or freed
  };
  std::vector<Block> blocks_;
  size_t block_index_ = 0;                 // block being carved
  std::vector<THashEntry*> free_by_size_;  // indexed by size / alignment
};

// Abstract iterator over a string-to-string map.
class tMapIterator {
 public:
  virtual ~tMapIterator() = default;
  virtual void Next() = 0;
  virtual void RemoveCurrent() = 0;
  virtual bool HasNext() = 0;
  virtual std::string_view CurrentKey() = 0;
  virtual std::string_view CurrentValue() = 0;
  virtual bool IsEntryValid() = 0;
  virtual void SetCurrentValue(std::string_view value) = 0;
  virtual bool IsValid() = 0;
};

// Walks a tHashTable in its iteration order. A new iterator already stands
// on the first entry. Every operation but IsValid raises Exception
// "Iterator no longer valid" once the table changed other than through this
// iterator's own RemoveCurrent; value replacements do not count as changes.
class tHashTableIterator : public tMapIterator {
 public:
  explicit tHashTableIterator(tHashTable& table);

  void Next() override;
  void RemoveCurrent() override;
  bool HasNext() override;
  std::string_view CurrentKey() override;
  std::string_view CurrentValue() override;
  bool IsEntryValid() override;
  // Raises Exception "The entry is not valid" without a current entry.
  void SetCurrentValue(std::string_view value) override;
  bool IsValid() override;

 private:
  void CheckValid();
  void Step();
  bool OnEntry() const { return current_ != nullptr && !removed_; }

  int32_t current_bucket_ = 0;  // slot whose chain holds current_
  // The entry stood on; while a removal is pending, the one Next moves to.
  THashEntry* current_ = nullptr;
  int32_t expected_version_;
  bool removed_ = false;  // RemoveCurrent happened, Next not yet
  int32_t position_ = 0;  // index of current_ in iteration order
  tHashTable& table_;
};

}  // namespace vendrake

#endif  // VENDRAKE_TABLES_STRINGSTRINGHASHTABLES_H_
