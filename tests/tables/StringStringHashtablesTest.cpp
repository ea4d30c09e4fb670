#include "tables/StringStringHashtables.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/Exceptions.h"

namespace vendrake {
namespace {

using Keys = std::vector<std::string>;

Keys WalkKeys(tHashTable& table) {
  Keys keys;
  auto it = table.NewIterator();
  for (; it->IsEntryValid(); it->Next()) keys.emplace_back(it->CurrentKey());
  return keys;
}

// Keys "k<n>" that share one slot of a table with the given bucket count.
Keys KeysInOneSlot(int32_t buckets, size_t how_many) {
  tHashTable probe(buckets);
  Keys keys;
  for (int n = 0; keys.size() < how_many; ++n) {
    const std::string key = "k" + std::to_string(n);
    if (probe.BucketIndex(key) == 0) keys.push_back(key);
  }
  return keys;
}

TEST(HashString, KnownValuesAndSlots) {
  EXPECT_EQ(HashString(""), 0);
  EXPECT_EQ(HashString("a"), 97);
  EXPECT_EQ(HashString("ab"), 3299);
  EXPECT_EQ(HashString("abc"), 0x00636261);
  EXPECT_EQ(HashString("abcd"), 0x64636261);
  EXPECT_EQ(HashString("abcde"), -254824730);
  tHashTable three(3);
  EXPECT_EQ(three.BucketIndex(""), 0);
  EXPECT_EQ(three.BucketIndex("a"), 1);
  EXPECT_EQ(three.BucketIndex("ab"), 2);
  EXPECT_EQ(three.BucketIndex("abc"), 0);
  EXPECT_EQ(three.BucketIndex("abcde"), 2);
  EXPECT_EQ(tHashTable(7).BucketIndex("abcde"), 254824730 % 7);  // the magnitude, not the bits
  // Hashes to -2^31, whose magnitude 2^31 leaves 2 modulo 7.
  const std::string lowest("\x8f\xe3\x38\x0e\x08\x00\x00", 7);
  EXPECT_EQ(HashString(lowest), INT32_MIN);
  EXPECT_EQ(tHashTable(7).BucketIndex(lowest), 2);
}

TEST(HashTable, EmptyTableAnswersWithoutBuckets) {
  tHashTable table;
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.Get("x"), "");
  EXPECT_FALSE(table.ContainsKey("x"));
  EXPECT_FALSE(table.ContainsValue(""));
  EXPECT_EQ(table.Remove("x"), "");
  EXPECT_EQ(table.Version(), 0);
  EXPECT_THROW(tHashTable(-1), std::out_of_range);
}

TEST(HashTable, GrowsByItsOwnRuleAndCountsVersions) {
  tHashTable table;
  const std::vector<int32_t> buckets_after = {3, 3, 7, 7, 7, 13, 13, 13, 13, 22};
  for (size_t i = 0; i < buckets_after.size(); ++i) {
    const int32_t version = table.Version();
    const int32_t buckets = table.BucketCount();
    EXPECT_TRUE(table.PutNew("key" + std::to_string(i), "v"));
    EXPECT_EQ(table.BucketCount(), buckets_after[i]) << i;
    EXPECT_EQ(table.Version(), version + (buckets != table.BucketCount() ? 2 : 1));
  }
  const int32_t version = table.Version();
  EXPECT_FALSE(table.PutNew("key3", "replaced"));
  EXPECT_EQ(table.Version(), version);
  EXPECT_EQ(table.Count(), 10);
  EXPECT_EQ(table.Get("key3"), "replaced");
  table.Remove("absent");
  EXPECT_EQ(table.Version(), version);
  EXPECT_EQ(table.Remove("key3"), "replaced");
  EXPECT_EQ(table.Version(), version + 1);
  table.Rehash(22);
  EXPECT_EQ(table.Version(), version + 2);
  for (int i : {0, 1, 2, 4, 9}) EXPECT_EQ(table.Get("key" + std::to_string(i)), "v");
  table.Clear();
  table.Clear();
  EXPECT_EQ(table.Version(), version + 4);
  EXPECT_EQ(table.BucketCount(), 22);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_FALSE(table.ContainsKey("key0"));
}

TEST(HashTable, IterationFollowsSlotsAndChainHeadsAcrossRehash) {
  tHashTable table;
  for (const char* key : {"a", "b", "c"}) table.Put(key, key);
  // a and b went to slots 1 and 2 of 3; growing to 7 moved them to 6 and 0,
  // and c joined slot 1.
  EXPECT_EQ(WalkKeys(table), (Keys{"b", "c", "a"}));

  tHashTable chained(13);
  const Keys same = KeysInOneSlot(13, 4);
  for (const auto& key : same) chained.Put(key, "v");
  EXPECT_EQ(WalkKeys(chained), (Keys{same[3], same[2], same[1], same[0]}));
  chained.Remove(same[3]);  // head
  chained.Remove(same[1]);  // middle
  EXPECT_EQ(WalkKeys(chained), (Keys{same[2], same[0]}));
  chained.Remove(same[0]);  // tail
  EXPECT_EQ(WalkKeys(chained), (Keys{same[2]}));
}

TEST(HashTable, KeysAreExactBytes) {
  tHashTable table;
  const std::string zero_key("a\0b", 3);
  table.Put("Abc", "upper");
  table.Put("abc", "lower");
  table.Put(zero_key, "zero");
  table.Put("", "empty key");
  EXPECT_EQ(table.Count(), 4);
  EXPECT_EQ(table.Get("Abc"), "upper");
  EXPECT_EQ(table.Get("abc"), "lower");
  EXPECT_EQ(table.Get(zero_key), "zero");
  EXPECT_EQ(table.Get("a"), "");
  EXPECT_EQ(table.Get(""), "empty key");
  EXPECT_TRUE(table.ContainsValue("zero"));
  EXPECT_FALSE(table.ContainsValue("zer"));
}

TEST(HashTable, ValuesOfAnyLengthSurviveReplacement) {
  tHashTable table;
  const std::string long_value(100, 'x');
  const std::vector<std::string> values = {
      "short",    long_value, long_value + "y", "",         std::string(17, 'z'),
      "tiny",     "8 bytes.", "9 bytes..",      "8 bytes!", std::string(16, 'w'),
      "9 bytes!!"};
  for (const auto& value : values) {
    table.Put("k", value);
    EXPECT_EQ(table.Get("k"), value);
  }
  table.Put("k", long_value);
  table.Put("k", table.Get("k").substr(1));  // a view into the value it replaces
  EXPECT_EQ(table.Get("k"), long_value.substr(1));
  table.Put("k", table.Get("k").substr(0, 3));
  EXPECT_EQ(table.Get("k"), "xxx");
  // Freed entries are reused for later ones of the same size.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 50; ++i) table.Put("r" + std::to_string(i), long_value);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(table.Remove("r" + std::to_string(i)), long_value);
  }
  EXPECT_EQ(table.Count(), 1);
  table.Clear();
  table.Put("after clear", long_value);
  EXPECT_EQ(table.Get("after clear"), long_value);
}

TEST(HashTableIterator, WalksEveryEntryOnceAndReportsHasNext) {
  tHashTable table;
  for (int i = 0; i < 30; ++i) table.Put(std::to_string(i), "v" + std::to_string(i));
  auto it = table.NewIterator();
  int visited = 0;
  while (it->IsEntryValid()) {
    EXPECT_EQ(it->CurrentValue(), "v" + std::string(it->CurrentKey()));
    EXPECT_EQ(it->HasNext(), visited < 29);
    ++visited;
    it->Next();
  }
  EXPECT_EQ(visited, 30);
  it->Next();
  it->RemoveCurrent();
  EXPECT_FALSE(it->IsEntryValid());
  EXPECT_EQ(table.Count(), 30);

  tHashTable empty;
  auto none = empty.NewIterator();
  EXPECT_FALSE(none->IsEntryValid());
  EXPECT_FALSE(none->HasNext());
  EXPECT_EQ(none->CurrentKey(), "");
  EXPECT_EQ(none->CurrentValue(), "");
}

TEST(HashTableIterator, RemoveCurrentLeavesAPendingRemoval) {
  tHashTable table;
  for (int i = 0; i < 5; ++i) table.Put(std::to_string(i), "v");
  const Keys order = WalkKeys(table);
  auto it = table.NewIterator();
  it->RemoveCurrent();
  EXPECT_FALSE(it->IsEntryValid());
  EXPECT_EQ(it->CurrentKey(), "");
  EXPECT_TRUE(it->HasNext());
  it->RemoveCurrent();
  EXPECT_EQ(table.Count(), 4);
  try {
    it->SetCurrentValue("x");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "The entry is not valid");
  }
  it->Next();
  EXPECT_EQ(it->CurrentKey(), order[1]);
  while (it->IsEntryValid()) {
    it->RemoveCurrent();
    EXPECT_EQ(it->HasNext(), table.Count() > 0);
    it->Next();
  }
  EXPECT_EQ(table.Count(), 0);
  EXPECT_TRUE(it->IsValid());
}

TEST(HashTableIterator, FailsFastAfterOutsideStructuralChangesOnly) {
  tHashTable table(100);
  table.Put("a", "1");
  table.Put("b", "2");
  auto first = table.NewIterator();
  auto second = table.NewIterator();
  table.Put("a", "changed");
  second->SetCurrentValue("set");
  EXPECT_TRUE(first->IsValid());
  first->RemoveCurrent();
  EXPECT_TRUE(first->IsValid());
  EXPECT_FALSE(second->IsValid());
  try {
    second->Next();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "Iterator no longer valid");
  }
  EXPECT_THROW(second->SetCurrentValue("x"), Exception);
  table.Put("c", "new key, no growth");
  EXPECT_EQ(table.BucketCount(), 100);
  EXPECT_THROW(first->HasNext(), Exception);
  EXPECT_THROW(first->CurrentKey(), Exception);
}

}  // namespace
}  // namespace vendrake
