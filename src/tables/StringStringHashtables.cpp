#include "tables/StringStringHashtables.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/Exceptions.h"

namespace vendrake {

namespace {

constexpr size_t kAlign = alignof(THashEntry);
constexpr size_t kFirstBlock = 1024;
constexpr size_t kMaxBlock = 2 << 20;

size_t HeapCapacity(size_t length) { return (length + 15) & ~size_t{15}; }

uint32_t Magnitude(int32_t h) {
  return h < 0 ? 0u - static_cast<uint32_t>(h) : static_cast<uint32_t>(h);
}

size_t EntrySize(size_t key_length) {
  return (sizeof(THashEntry) + key_length + kAlign - 1) & ~(kAlign - 1);
}

}  // namespace

int32_t HashString(std::string_view s) {
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  const size_t length = s.size();
  const size_t words = (length + 1) / 4;  // the terminating zero counts
  uint32_t h = 0;
  for (size_t i = 0; i < words; ++i) {
    const unsigned char* w = b + 4 * i;
    // The last word may end with the terminating zero, which s lacks.
    const uint32_t top = 4 * i + 3 < length ? w[3] : 0;
    const uint32_t word = w[0] | (uint32_t{w[1]} << 8) | (uint32_t{w[2]} << 16) | (top << 24);
    h = (h * 9 + static_cast<uint32_t>(i)) ^ word;
  }
  for (size_t p = 4 * words; p < length; ++p) h = h * 33 + b[p];
  return static_cast<int32_t>(h);
}

THashEntry::THashEntry(std::string_view key, std::string_view value)
    : key_length_(static_cast<uint32_t>(key.size())) {
  std::copy_n(key.data(), key.size(), const_cast<char*>(KeyBytes()));  // key.data() may be null
  SetValue(value);
}

void THashEntry::ReleaseValue() {
  if (HasHeapValue()) delete[] value_.heap;
  value_length_ = 0;
}

void THashEntry::SetValue(std::string_view value) {
  const size_t n = value.size();
  if (n <= kInlineValue) {
    // value may point into the heap buffer that ReleaseValue frees.
    char copy[kInlineValue];
    std::copy_n(value.data(), n, copy);  // value.data() may be null when n is 0
    ReleaseValue();
    std::copy_n(copy, n, value_.inline_bytes);
  } else if (HasHeapValue() && HeapCapacity(value_length_) == HeapCapacity(n)) {
    std::memmove(value_.heap, value.data(), n);
  } else {
    char* buffer = new char[HeapCapacity(n)];
    std::memcpy(buffer, value.data(), n);
    ReleaseValue();
    value_.heap = buffer;
  }
  value_length_ = static_cast<uint32_t>(n);
}

tHashTable::tHashTable(int32_t initial_buckets) {
  if (initial_buckets < 0) throw std::out_of_range("negative bucket count");
  buckets_.assign(initial_buckets, nullptr);
}

tHashTable::~tHashTable() { FreeAllEntries(); }

int32_t tHashTable::BucketIndex(std::string_view key) const {
  return static_cast<int32_t>(SlotOf(Magnitude(HashString(key))));
}

void tHashTable::Rehash(int32_t n) {
  if (n < 0 || (n == 0 && entry_count_ > 0)) throw std::out_of_range("bucket count too small");
  std::vector<THashEntry*> old(n, nullptr);
  old.swap(buckets_);
  ++version_;
  for (THashEntry* entry : old) {
    while (entry != nullptr) {
      THashEntry* next = entry->NextEntry;
      THashEntry*& head = buckets_[BucketIndex(entry->Key())];
      entry->NextEntry = head;
      head = entry;
      entry = next;
    }
  }
}

void tHashTable::Grow() { Rehash(3 * BucketCount() / 2 + 3); }

void tHashTable::Put(std::string_view key, std::string_view value) { PutNew(key, value); }

std::unique_ptr<tHashTableIterator> tHashTable::NewIterator() {
  return std::make_unique<tHashTableIterator>(*this);
}

THashEntry* tHashTable::Find(std::string_view key) const {
  return buckets_.empty() ? nullptr : FindInChain(key, Magnitude(HashString(key)));
}

THashEntry* tHashTable::FindInChain(std::string_view key, uint32_t magnitude) const {
  for (THashEntry* e = buckets_[SlotOf(magnitude)]; e != nullptr; e = e->NextEntry) {
    if (e->Key() == key) {
      return e;
    }
  }
  return nullptr;
}

bool tHashTable::ContainsKey(std::string_view key) const { return Find(key) != nullptr; }

bool tHashTable::ContainsValue(std::string_view value) const {
  for (THashEntry* entry : buckets_) {
    for (; entry != nullptr; entry = entry->NextEntry) {
      if (entry->Value() == value) return true;
    }
  }
  return false;
}

std::string_view tHashTable::Get(std::string_view key) const {
  const THashEntry* entry = Find(key);
  return entry != nullptr ? entry->Value() : std::string_view();
}

bool tHashTable::PutNew(std::string_view key, std::string_view value) {
  // One hash serves the search and, after any growth, the new entry's slot.
  const uint32_t magnitude = Magnitude(HashString(key));
  if (!buckets_.empty()) {
    if (THashEntry* entry = FindInChain(key, magnitude)) {
      entry->SetValue(value);
      return false;
    }
  }
  THashEntry* entry = NewEntry(key, value);
  ++version_;
  ++entry_count_;
  if (int64_t{BucketCount()} * 3 < int64_t{entry_count_} * 4) Grow();
  THashEntry*& head = buckets_[SlotOf(magnitude)];
  entry->NextEntry = head;
  head = entry;
  return true;
}

std::string tHashTable::Remove(std::string_view key) {
  if (buckets_.empty()) return {};
  for (THashEntry** link = &buckets_[BucketIndex(key)]; *link != nullptr;
       link = &(*link)->NextEntry) {
    THashEntry* entry = *link;
    if (entry->Key() != key) continue;
    ++version_;
    std::string value(entry->Value());
    *link = entry->NextEntry;
    FreeEntry(entry);
    --entry_count_;
    return value;
  }
  return {};
}

void tHashTable::Clear() {
  FreeAllEntries();
  std::fill(buckets_.begin(), buckets_.end(), nullptr);
  entry_count_ = 0;
  ++version_;
  block_index_ = 0;
  for (Block& block : blocks_) block.used = 0;
  free_by_size_.clear();
}

THashEntry* tHashTable::NewEntry(std::string_view key, std::string_view value) {
  const size_t size = EntrySize(key.size());
  const size_t size_class = size / kAlign;
  void* memory = nullptr;
  if (size_class < free_by_size_.size() && free_by_size_[size_class] != nullptr) {
    memory = free_by_size_[size_class];
    free_by_size_[size_class] = free_by_size_[size_class]->NextEntry;
  } else {
    while (block_index_ < blocks_.size() &&
           blocks_[block_index_].size - blocks_[block_index_].used < size) {
      ++block_index_;
    }
    if (block_index_ == blocks_.size()) {
      const size_t grown =
          blocks_.empty() ? kFirstBlock : std::min(2 * blocks_.back().size, kMaxBlock);
      const size_t block_size = std::max(grown, size);
      std::unique_ptr<char[], FreeBlock> bytes(static_cast<char*>(std::malloc(block_size)));
      if (bytes == nullptr) throw std::bad_alloc();
      blocks_.push_back({std::move(bytes), block_size, 0});
    }
    Block& block = blocks_[block_index_];
    memory = block.bytes.get() + block.used;
    block.used += size;
  }
  return new (memory) THashEntry(key, value);
}

void tHashTable::FreeBlock::operator()(char* bytes) const { std::free(bytes); }

void tHashTable::FreeEntry(THashEntry* entry) {
  const size_t size_class = EntrySize(entry->key_length_) / kAlign;
  entry->ReleaseValue();
  if (size_class >= free_by_size_.size()) free_by_size_.resize(size_class + 1, nullptr);
  entry->NextEntry = free_by_size_[size_class];
  free_by_size_[size_class] = entry;
}

void tHashTable::FreeAllEntries() {
  for (THashEntry* entry : buckets_) {
    while (entry != nullptr) {
      THashEntry* next = entry->NextEntry;
      entry->~THashEntry();
      entry = next;
    }
  }
}

tHashTableIterator::tHashTableIterator(tHashTable& table)
    : expected_version_(table.Version()), table_(table) {
  if (table_.Count() <= 0) return;
  for (size_t slot = 0; slot < table_.buckets_.size(); ++slot) {
    if (table_.buckets_[slot] != nullptr) {
      current_ = table_.buckets_[slot];
      current_bucket_ = static_cast<int32_t>(slot);
      return;
    }
  }
}

bool tHashTableIterator::IsValid() { return table_.Version() == expected_version_; }

void tHashTableIterator::CheckValid() {
  if (!IsValid()) throw Exception("Iterator no longer valid");
}

void tHashTableIterator::Step() {
  current_ = current_->NextEntry;
  if (current_ != nullptr) return;
  const auto& buckets = table_.buckets_;
  for (size_t slot = current_bucket_ + 1; slot < buckets.size(); ++slot) {
    if (buckets[slot] != nullptr) {
      current_ = buckets[slot];
      current_bucket_ = static_cast<int32_t>(slot);
      return;
    }
  }
}

void tHashTableIterator::Next() {
  CheckValid();
  if (removed_) {
    removed_ = false;  // current_ already is the entry after the removed one
  } else if (current_ != nullptr) {
    Step();
    if (current_ != nullptr) ++position_;
  }
}

void tHashTableIterator::RemoveCurrent() {
  CheckValid();
  if (!OnEntry()) return;
  const std::string key(current_->Key());  // the entry dies in Remove
  Step();
  table_.Remove(key);
  removed_ = true;
  expected_version_ = table_.Version();
}

bool tHashTableIterator::HasNext() {
  CheckValid();
  const int32_t count = table_.Count();
  return position_ < count - 1 || (removed_ && position_ < count);
}

std::string_view tHashTableIterator::CurrentKey() {
  CheckValid();
  return OnEntry() ? current_->Key() : std::string_view();
}

std::string_view tHashTableIterator::CurrentValue() {
  CheckValid();
  return OnEntry() ? current_->Value() : std::string_view();
}

bool tHashTableIterator::IsEntryValid() {
  CheckValid();
  return OnEntry();
}

void tHashTableIterator::SetCurrentValue(std::string_view value) {
  CheckValid();
  if (!OnEntry()) throw Exception("The entry is not valid");
  current_->SetValue(value);
}

}  // namespace vendrake
