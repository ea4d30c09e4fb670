// The read phase alone: two generated directories of 100,000 symbols each
// read and merged into fresh merged tables, as a nightly run does before it
// writes anything.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/DirectoryMerge.h"
#include "app/MergedTables.h"

namespace vendrake {
namespace {

// The sample directories, generated on first use and removed at exit.
class TSampleDirs {
 public:
  TSampleDirs() {
    if (mkdtemp(root_.data()) == nullptr) std::abort();
    const std::string command = std::string(GENERATE_SAMPLE) + " --symbols 100000 " + root_ +
                                "/day1 " + root_ + "/day2 >/dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
  }
  ~TSampleDirs() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  const std::string& Root() const { return root_; }

 private:
  std::string root_ = "/tmp/vendrake-bench-XXXXXX";
};

const std::string& SampleRoot() {
  static const TSampleDirs dirs;
  return dirs.Root();
}

void BM_ReadTwoDirectories(benchmark::State& state) {
  const std::string& root = SampleRoot();
  for (auto _ : state) {
    CreateMergedTables();
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
