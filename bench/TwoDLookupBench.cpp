// Line splitting throughput on lines shaped like the overnight files' (the
// read phase as a whole is DirectoryMergeBench's).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tables/DelimitedLines.h"

namespace vendrake {
namespace {

constexpr int kValueColumns = 24;

// A data line shaped like the overnight files: a symbol, a quoted company
// name, an exchange and numbers of varying length.
std::string Line(int row) {
  std::string line =
      "SYM" + std::to_string(row) + ",\"Company " + std::to_string(row) + ", Inc.\",NASDAQ";
  for (int c = 0; c < kValueColumns; ++c) {
    const int n = (row * 31 + c * 17) % 100'000;
    line.append(",").append(std::to_string(n)).append(".").append(std::to_string(n % 9973));
    line.append(std::to_string(c));
  }
  return line;
}

std::vector<std::string> SampleLines() {
  std::vector<std::string> lines;
  for (int row = 0; row < 1000; ++row) lines.push_back(Line(row));
  return lines;
}

void BM_SplitLine(benchmark::State& state) {
  const std::vector<std::string> lines = SampleLines();
  size_t bytes = 0;
  for (const auto& line : lines) bytes += line.size();
  TLineFields fields;
  for (auto _ : state) {
    for (const auto& line : lines) fields.Split(line, ',', '"');
    benchmark::DoNotOptimize(fields.Count());
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}

}  // namespace
}  // namespace vendrake

BENCHMARK(vendrake::BM_SplitLine);
