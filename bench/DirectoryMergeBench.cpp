// The read phase alone: two generated directories of 100,000 symbols each
// read and merged into fresh merged tables, as a nightly run does before it
// writes anything; once on generate_sample's own data and once on the
// night's shapes (--night). Reports the input's bytes per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/DirectoryMerge.h"
#include "app/MergedTables.h"

namespace vendrake {
namespace {

// The sample directories, generated on first use and removed at exit.
class TSampleDirs {
 public:
  explicit TSampleDirs(const char* options) {
    if (mkdtemp(root_.data()) == nullptr) std::abort();
    const std::string command = std::string(GENERATE_SAMPLE) + " --symbols 100000 " + options +
                                " " + root_ + "/day1 " + root_ + "/day2 >/dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
    for (const auto& file : std::filesystem::recursive_directory_iterator(root_)) {
      if (file.is_regular_file()) bytes_ += file.file_size();
    }
  }
  ~TSampleDirs() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  const std::string& Root() const { return root_; }
  uintmax_t Bytes() const { return bytes_; }

 private:
  std::string root_ = "/tmp/vendrake-bench-XXXXXX";
  uintmax_t bytes_ = 0;
};

const TSampleDirs& SampleDirs(bool night) {
  static const TSampleDirs sample("");
  static const TSampleDirs night_shapes("--night");
  return night ? night_shapes : sample;
}

// state.range(0): 1 for the night's shapes.
void BM_ReadTwoDirectories(benchmark::State& state) {
  const TSampleDirs& dirs = SampleDirs(state.range(0) == 1);
  const std::string& root = dirs.Root();
  for (auto _ : state) {
    auto merged = std::make_unique<TMergedTables>();
    ReadDirectory(root + "/day1", *merged);
    ReadDirectory(root + "/day2", *merged);
    state.PauseTiming();
    merged.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * dirs.Bytes()));
}
BENCHMARK(BM_ReadTwoDirectories)
    ->ArgName("night")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace
}  // namespace vendrake
