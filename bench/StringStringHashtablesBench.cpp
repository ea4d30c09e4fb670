// tHashTable against std::unordered_map on the cell keys of a real load:
// one key per (column, symbol), inserted row by row.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tables/StringStringHashtables.h"
#include "tables/TwoDLookup.h"

namespace vendrake {
namespace {

constexpr int kColumns = 20;
constexpr int kSymbols = 50'000;  // 1,000,000 keys

const std::vector<std::string>& CellKeys() {
  static const std::vector<std::string> keys = [] {
    const char* names[kColumns] = {
        "Company Name",    "Listed Exchange",    "Correlation R2",    "F Correlation R2",
        "Previous High",   "Previous Low",       "52 Week High",      "52 Week Low",
        "Bunny 130",       "Consolidation Days", "Consolidation Top", "Average True Range",
        "Lifetime High",   "Lifetime Low",       "Prev Put Volume",   "Prev Call Volume",
        "Tick Volatility", "Last Price",         "Avg Daily Volume",  "200 Day SMA"};
    std::vector<std::string> all;
    all.reserve(kColumns * kSymbols);
    for (int s = 0; s < kSymbols; ++s) {
      std::string symbol = "S";
      symbol += std::to_string(s * 7919 % 1'000'003);
      for (const char* name : names) all.push_back(TTwoDArray::MakeCellKey(name, symbol));
    }
    return all;
  }();
  return keys;
}

constexpr const char* kValue = "123.4567";

void BM_HashTablePutNew(benchmark::State& state) {
  const auto& keys = CellKeys();
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
  const auto& keys = CellKeys();
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
  const auto& keys = CellKeys();
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
  const auto& keys = CellKeys();
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
