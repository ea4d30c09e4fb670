// Line splitting throughput, and the time and peak memory of loading an
// input file of 100,000 symbols (about 30 MB).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tables/TwoDLookup.h"

namespace vendrake {
namespace {

constexpr int kRows = 100'000;
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

std::string Header() {
  std::string header = "Symbol,Company Name,Listed Exchange";
  for (int c = 0; c < kValueColumns; ++c) header += ",Indicator Column " + std::to_string(c);
  return header;
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

// Resident set size in bytes, current or peak since the last reset.
size_t MemoryFigure(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string name;
  size_t kib = 0;
  while (status >> name) {
    if (name == field) {
      status >> kib;
      break;
    }
  }
  return kib * 1024;
}

void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Writes the sample input file once per process; returns its path.
const std::string& SampleFile() {
  static const std::string path = [] {
    std::string name = "/tmp/vendrake-bench-" + std::to_string(::getpid()) + ".csv";
    std::ofstream out(name, std::ios::binary);
    out << Header() << "\r\n";
    for (int row = 0; row < kRows; ++row) out << Line(row) << "\r\n";
    std::atexit([] { std::remove(SampleFile().c_str()); });
    return name;
  }();
  return path;
}

size_t FileSize(const std::string& path) {
  return std::ifstream(path, std::ios::binary | std::ios::ate).tellg();
}

void ReportLoad(benchmark::State& state, size_t peak) {
  const size_t file_size = FileSize(SampleFile());
  state.SetBytesProcessed(state.iterations() * file_size);
  state.counters["file_MB"] = file_size / 1e6;
  state.counters["peak_MB"] = peak / 1e6;
  state.counters["peak_per_file_byte"] = static_cast<double>(peak) / file_size;
}

// A load into a new table, with freed memory handed back to the system
// first: the first file of a run, page faults included. Peak memory is
// taken from the process's first load only, before the heap has a history
// of freed blocks that later loads may or may not get back.
void BM_LoadFromFileCold(benchmark::State& state) {
  const std::string& path = SampleFile();
  static size_t first_peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ::malloc_trim(0);
    auto table = std::make_unique<TTwoDArray>();
    const size_t before = MemoryFigure("VmRSS:");
    ResetPeakMemory();
    state.ResumeTiming();
    table->LoadFromFile(path);
    state.PauseTiming();
    if (first_peak == 0) first_peak = MemoryFigure("VmHWM:") - before;
    table.reset();
    state.ResumeTiming();
  }
  ReportLoad(state, first_peak);
}

// Loads into a table that held such a file before: the later files of a
// directory, which reuse the table's memory.
void BM_LoadFromFileReused(benchmark::State& state) {
  const std::string& path = SampleFile();
  TTwoDArray table;
  table.LoadFromFile(path);
  for (auto _ : state) table.LoadFromFile(path);
  ReportLoad(state, 0);
}

}  // namespace
}  // namespace vendrake

BENCHMARK(vendrake::BM_SplitLine);
BENCHMARK(vendrake::BM_LoadFromFileCold)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(vendrake::BM_LoadFromFileReused)->Unit(benchmark::kMillisecond)->Iterations(5);
