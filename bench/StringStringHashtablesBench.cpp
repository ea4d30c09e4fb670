// tHashTable against std::unordered_map on the keys the tables hash: the
// symbols of a large run, each registered once with its four-byte number.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tables/StringStringHashtables.h"

namespace vendrake {
namespace {

constexpr int kSymbols = 1'000'000;

// Symbols of one to five letters and a share with a class suffix, in no
// particular order, as the input files list them.
const std::vector<std::string>& RowKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> all;
    all.reserve(kSymbols);
    for (int s = 0; s < kSymbols; ++s) {
      std::string symbol;
      for (unsigned n = static_cast<unsigned>(s) * 2654435761u % 11'881'376u; n != 0; n /= 26) {
        symbol.push_back(static_cast<char>('A' + n % 26));
      }
      if (s % 17 == 0) symbol += ".A";
      all.push_back(symbol);
    }
    return all;
  }();
  return keys;
}

constexpr const char* kValue = "\x01\x02\x03";  // a row number's bytes

void BM_HashTablePutNew(benchmark::State& state) {
  const auto& keys = RowKeys();
  for (auto _ : state) {
    auto table = std::make_unique<tHashTable>();
    for (const auto& key : keys) table->PutNew(key, kValue);
    benchmark::DoNotOptimize(table->Count());
    state.PauseTiming();  // destruction is not part of the insertions
    table.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_UnorderedMapInsert(benchmark::State& state) {
  const auto& keys = RowKeys();
  for (auto _ : state) {
    auto map = std::make_unique<std::unordered_map<std::string, std::string>>();
    for (const auto& key : keys) map->insert_or_assign(key, kValue);
    benchmark::DoNotOptimize(map->size());
    state.PauseTiming();  // destruction is not part of the insertions
    map.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_HashTableGet(benchmark::State& state) {
  const auto& keys = RowKeys();
  tHashTable table;
  for (const auto& key : keys) table.PutNew(key, kValue);
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& key : keys) total += table.Get(key).size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_UnorderedMapFind(benchmark::State& state) {
  const auto& keys = RowKeys();
  std::unordered_map<std::string, std::string> map;
  for (const auto& key : keys) map.insert_or_assign(key, kValue);
  for (auto _ : state) {
    size_t total = 0;
    for (const auto& key : keys) total += map.find(key)->second.size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

}  // namespace
}  // namespace vendrake

BENCHMARK(vendrake::BM_HashTablePutNew)->Unit(benchmark::kMillisecond);
BENCHMARK(vendrake::BM_UnorderedMapInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(vendrake::BM_HashTableGet)->Unit(benchmark::kMillisecond);
BENCHMARK(vendrake::BM_UnorderedMapFind)->Unit(benchmark::kMillisecond);
