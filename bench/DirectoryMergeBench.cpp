// The read phase alone: two generated directories of 100,000 symbols each
// read and merged into fresh merged tables, as a nightly run does before it
// writes anything.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "app/Database.h"
#include "app/DirectoryMerge.h"

namespace vendrake {
namespace {

const std::string& SampleRoot() {
  static const std::string root = [] {
    std::string dir = "/tmp/vendrake-bench-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) std::abort();
    const std::string command = std::string(GENERATE_SAMPLE) + " --symbols 100000 " + dir +
                                "/day1 " + dir + "/day2 >/dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
    return dir;
  }();
  return root;
}

void BM_ReadTwoDirectories(benchmark::State& state) {
  const std::string& root = SampleRoot();
  for (auto _ : state) {
    InfoFTable = new TTwoDArray;
    InfoTTable = new TTwoDArray;
    AlertsTable = new TTwoDArray;
    ReadDirectory(root + "/day1");
    ReadDirectory(root + "/day2");
    state.PauseTiming();
    for (TTwoDArray* table : {InfoFTable, InfoTTable, AlertsTable}) delete table;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ReadTwoDirectories)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace
}  // namespace vendrake
