#include "app/DirectoryMerge.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/Console.h"
#include "app/MergedTables.h"
#include "base/Exceptions.h"
#include "tables/DelimitedLines.h"

namespace vendrake {

namespace {

// A file's header, and which of its fields the merges take.
struct TFilePlan {
  TStringList header;     // the header's fields
  int named = 1;          // the positions a data line may fill, the key's at least
  std::vector<int> slot;  // by position below named: the field's place in a record, or -1
  int slots = 1;          // a record's width; slot 0 holds the key
};

std::shared_ptr<const TFilePlan> MakePlan(std::string_view header_line, const TInputFile& file) {
  auto plan = std::make_shared<TFilePlan>();
  SplitDelimitedLine(plan->header, header_line, ',', '"');
  plan->named = std::max(1, plan->header.Count());
  plan->slot.assign(plan->named, -1);
  plan->slot[0] = 0;
  for (int b = 1; b < plan->header.Count(); ++b) {
    for (const TMerge& merge : file.merges) {
      if (plan->header[b] == merge.column) {
        plan->slot[b] = plan->slots++;
        break;
      }
    }
  }
  return plan;
}

// A piece of one file: whole lines, read once, split once, and then merged
// by every merger.
struct TChunk {
  int file = 0;        // the file's place in the read
  bool first = false;  // the file's first chunk, which begins with the header
  std::shared_ptr<const TFilePlan> plan;
  std::vector<char> text;
  std::exception_ptr error;  // the file cannot be opened or read, or has no line
  // Split from text: per data line that is not empty, a record of
  // plan->slots fields and its key's hash; lines counts every line, the
  // header's too. A refused line ends the records, bad_line naming it
  // (from 1 in this chunk).
  int lines = 0;
  int bad_line = 0;
  int bad_field = 0;
  std::vector<std::string_view> records;
  std::vector<uint32_t> hashes;
  std::string unquoted;  // fields whose doubled quotes were undone
};

// Splits chunk's lines into records; fields is scratch.
void Split(TChunk& chunk, TLineFields& fields) {
  const TFilePlan& plan = *chunk.plan;
  const std::string_view text(chunk.text.data(), chunk.text.size());
  const auto in_text = [&](std::string_view field) {
    const auto at = reinterpret_cast<uintptr_t>(field.data());
    return at >= reinterpret_cast<uintptr_t>(text.data()) &&
           at < reinterpret_cast<uintptr_t>(text.data() + text.size());
  };
  chunk.lines = chunk.bad_line = chunk.bad_field = 0;
  chunk.records.clear();
  chunk.hashes.clear();
  chunk.unquoted.clear();
  // Never outgrown, so that the views into it stay valid.
  chunk.unquoted.reserve(text.size());
  bool header = chunk.first;
  ForEachLine(text, [&](std::string_view line) {
    ++chunk.lines;
    if (std::exchange(header, false) || line.empty()) return true;
    fields.Split(line, ',', '"');
    int refused = fields.Count() == 0 ? 0 : -1;
    for (int b = plan.named; refused < 0 && b < fields.Count(); ++b) {
      if (!fields[b].empty()) refused = b;
    }
    if (refused >= 0) {
      chunk.bad_line = chunk.lines;
      chunk.bad_field = refused;
      return false;
    }
    const size_t at = chunk.records.size();
    chunk.records.resize(at + plan.slots);
    const int n = std::min(fields.Count(), plan.named);
    for (int b = 0; b < n; ++b) {
      std::string_view field = fields[b];
      if (plan.slot[b] < 0 || field.empty()) continue;
      if (!in_text(field)) {
        const size_t from = chunk.unquoted.size();
        chunk.unquoted.append(field);
        field = std::string_view(chunk.unquoted).substr(from);
      }
      chunk.records[at + plan.slot[b]] = field;
    }
    chunk.hashes.push_back(TTwoDArray::KeyHash(chunk.records[at]));
    return true;
  });
}

// Hands out the files' chunks in order, each file opened once and read
// once; the next file is opened as soon as one ends.
class TChunkSource {
 public:
  TChunkSource(const std::string& directory, std::span<const TInputFile> files, size_t chunk_bytes)
      : directory_(directory), files_(files), chunk_bytes_(chunk_bytes) {}

  std::string Path(int file) const { return directory_ + "/" + files_[file].name; }

  // Fills chunk's text, file, first, plan and error; false when every file
  // was read, or the read stopped at an error.
  bool Next(TChunk& chunk) {
    chunk.error = nullptr;
    chunk.first = false;
    while (!stopped_ && file_ < static_cast<int>(files_.size())) {
      chunk.file = file_;
      try {
        if (reader_ == nullptr) {
          reader_ = std::make_unique<TChunkReader>(Path(file_), chunk_bytes_);
          chunk.first = true;
        }
        if (reader_->Next(chunk.text)) {
          if (chunk.first) plan_ = MakePlan(FirstLine(chunk.text), files_[file_]);
          chunk.plan = plan_;
          return true;
        }
        if (chunk.first) RaiseLoadLineError(Path(file_), 1, 0);  // not even a header line
        reader_.reset();
        ++file_;
      } catch (...) {
        chunk.error = std::current_exception();
        stopped_ = true;
        return true;
      }
    }
    return false;
  }

 private:
  static std::string_view FirstLine(const std::vector<char>& text) {
    std::string_view first;
    ForEachLine({text.data(), text.size()}, [&](std::string_view line) {
      first = line;
      return false;
    });
    return first;
  }

  const std::string& directory_;
  const std::span<const TInputFile> files_;
  const size_t chunk_bytes_;
  int file_ = 0;
  bool stopped_ = false;
  std::unique_ptr<TChunkReader> reader_;
  std::shared_ptr<const TFilePlan> plan_;
};

// A file's merges into one merged table, done line by line as the file is
// read, with the outcome of loading the whole file into a table of its own
// and then merging column after column: the last non-empty value of a
// cell wins either way, and a new row gets the number the column-wise merge
// would give it once the file is done (see Finish).
class TTableMerge {
 public:
  TTableMerge(TMergedTables& merged, TMergedTable which, const TInputFile& file,
              const TFilePlan& plan)
      : table_(merged.*which), first_new_row_(table_.RowCount()) {
    int merge = 0;  // the merge's place among this table's merges
    for (const TMerge& m : file.merges) {
      if (m.into != which) continue;
      // The key's position 0 never gives a cell.
      for (int b = 1; b < plan.header.Count(); ++b) {
        if (plan.header[b] == m.column) targets_.push_back({plan.slot[b], merge, m.column});
      }
      ++merge;
    }
    // Slots are numbered in position order.
    std::stable_sort(targets_.begin(), targets_.end(),
                     [](const TTarget& a, const TTarget& b) { return a.slot < b.slot; });
  }

  // Merges a data line's record (see TChunk), whose key has hash, the
  // file's line_index-th data line.
  void MergeLine(const std::string_view* record, uint32_t hash, int32_t line_index) {
    int32_t row = -1;
    for (TTarget& target : targets_) {
      const std::string_view value = record[target.slot];
      if (value.empty()) continue;  // empty values are never copied
      if (target.column < 0) target.column = table_.AddColumn(target.name);
      if (row < 0) row = RowOf(record[0], hash, line_index);
      if (row >= first_new_row_) {
        int& merge = arrivals_[row - first_new_row_].merge;
        merge = std::min(merge, target.merge);
      }
      table_.SetCell(target.column, row, value);
    }
    if (row < 0 && table_.FindRow(record[0], hash) < 0) {
      silent_.try_emplace(std::string(record[0]), line_index);
    }
  }

  // A hint only: a line some lines on has a key of hash.
  void Prefetch(uint32_t hash) const {
    if (!targets_.empty()) table_.PrefetchRow(hash);
  }

  // A column-wise merge registers a new row in the first merge in which its
  // key has a value, at the key's first line: rows new in this file are
  // numbered by that merge and then by that line.
  void Finish() {
    std::vector<int32_t> order(arrivals_.size());
    std::iota(order.begin(), order.end(), 0);
    const auto earlier = [this](int32_t a, int32_t b) {
      return arrivals_[a].merge != arrivals_[b].merge ? arrivals_[a].merge < arrivals_[b].merge
                                                      : arrivals_[a].line < arrivals_[b].line;
    };
    if (std::is_sorted(order.begin(), order.end(), earlier)) return;
    std::sort(order.begin(), order.end(), earlier);
    for (int32_t& row : order) row += first_new_row_;
    table_.ReorderRows(first_new_row_, order);
  }

 private:
  struct TTarget {
    int slot;  // the field's place in a line's record
    int merge;
    const char* name;
    int32_t column = -1;  // the table's number of the column, once it has a value
  };
  // Where a new row comes in the column-wise merge.
  struct TArrival {
    int merge;
    int32_t line;  // the data line of the key's first line in the file
  };

  // The row of the key of the data line at line_index, registered if new.
  int32_t RowOf(std::string_view key, uint32_t hash, int32_t line_index) {
    const int32_t count = table_.RowCount();
    const int32_t row = table_.AddRow(key, hash);
    if (row < count) return row;
    int32_t first_line = line_index;
    if (!silent_.empty()) {
      const auto earlier = silent_.find(std::string(key));
      if (earlier != silent_.end()) first_line = earlier->second;
    }
    arrivals_.push_back({std::numeric_limits<int>::max(), first_line});
    return row;
  }

  TTwoDArray& table_;
  const int32_t first_new_row_;     // the table's row count when the file began
  std::vector<TTarget> targets_;    // by slot, then merge
  std::vector<TArrival> arrivals_;  // by row number - first_new_row_
  // The first data line of each key not in the table whose lines so far
  // had no value for it; seldom any.
  std::unordered_map<std::string, int32_t> silent_;
};

// One thread's share of the merges: either those into AlertsTable or all
// others, file after file, chunk after chunk in order. The other share also
// registers each file's keys, if asked to.
class TMerger {
 public:
  TMerger(const TChunkSource& source, std::span<const TInputFile> files, TMergedTables& merged,
          bool alerts, TFileKeys* keys)
      : source_(source), files_(files), merged_(merged), alerts_(alerts), keys_(keys) {}

  // Merges chunk, the next one. Raises the error that ends the read there,
  // if it has one: its own, or the refused line's.
  void Merge(const TChunk& chunk) {
    if (chunk.file != file_) EndFile();
    file_ = chunk.file;
    if (chunk.error) std::rethrow_exception(chunk.error);
    if (chunk.first) BeginFile(chunk.plan);
    const size_t slots = chunk.plan->slots;
    const size_t records = chunk.hashes.size();
    // Index slots of keys some records on are requested early, so that
    // their waits for memory overlap.
    constexpr size_t kAhead = 8;
    for (size_t i = 0; i < records; ++i) {
      if (i + kAhead < records) {
        for (TTableMerge& merge : merges_) merge.Prefetch(chunk.hashes[i + kAhead]);
      }
      const std::string_view* record = &chunk.records[i * slots];
      if (keys_ != nullptr) keys_->table.AddLineRow(record[0], chunk.hashes[i]);
      for (TTableMerge& merge : merges_) merge.MergeLine(record, chunk.hashes[i], data_lines_);
      ++data_lines_;
    }
    if (chunk.bad_line > 0) {
      RaiseLoadLineError(source_.Path(file_), lines_ + chunk.bad_line, chunk.bad_field);
    }
    lines_ += chunk.lines;
  }

  // Ends the last file.
  void EndFile() {
    if (file_ < 0) return;
    for (TTableMerge& merge : merges_) merge.Finish();
    merges_.clear();
    if (keys_ != nullptr) keys_->file_read(files_[file_], plan_->header);
    file_ = -1;
  }

 private:
  void BeginFile(const std::shared_ptr<const TFilePlan>& shared) {
    // Shared, as the file's last chunks may make room for the next file's
    // before EndFile.
    plan_ = shared;
    const TFilePlan& plan = *shared;
    lines_ = 0;
    data_lines_ = 0;
    std::vector<TMergedTable> tables;
    for (const TMerge& merge : files_[file_].merges) {
      const TMergedTable table = merge.into;
      if ((table == &TMergedTables::AlertsTable) != alerts_) continue;
      if (std::find(tables.begin(), tables.end(), table) == tables.end()) tables.push_back(table);
    }
    for (TMergedTable table : tables) merges_.emplace_back(merged_, table, files_[file_], plan);
    if (keys_ != nullptr) {
      keys_->table.Clear();
      for (int b = 0; b < plan.header.Count(); ++b) keys_->table.AddColumn(plan.header[b]);
    }
  }

  const TChunkSource& source_;
  const std::span<const TInputFile> files_;
  TMergedTables& merged_;
  const bool alerts_;
  TFileKeys* const keys_;  // null, or for the share that is not alerts_
  int file_ = -1;          // the file being merged, -1 between files
  std::shared_ptr<const TFilePlan> plan_;
  int lines_ = 0;       // the file's lines in the chunks merged before
  int data_lines_ = 0;  // the file's records merged before
  std::vector<TTableMerge> merges_;
};

// The chunks in flight and who does what next: each thread merges its
// share of every chunk in order and, when its next chunk is not ready,
// reads and splits the next one to be read. Reads go one at a time, in
// order; splits and merges run side by side.
class TPipeline {
 public:
  TPipeline(TChunkSource& source, std::span<TMerger* const> mergers)
      : source_(source), mergers_(mergers), next_(mergers.size()) {}

  // Runs the mergers numbered mine on this thread until the read ends or
  // stops at an error.
  void Run(std::span<const int> mine) {
    TLineFields fields;
    std::unique_lock lock(mutex_);
    try {
      while (Step(lock, mine, fields)) {
      }
    } catch (...) {
      if (!lock.owns_lock()) lock.lock();
      if (!failure_) failure_ = std::current_exception();
      stop_ = true;
      changed_.notify_all();
    }
  }

  // The error that stopped the read, once every Run has returned.
  std::exception_ptr Failure() const { return failure_; }

 private:
  static constexpr size_t kChunks = 4;
  enum TState { kFree, kFilling, kReady };
  struct TSlot {
    TChunk chunk;
    TState state = kFree;
    uint64_t sequence = 0;  // the chunk's place in the read
    int pending = 0;        // mergers yet to merge it
  };

  // Does one thing; false when this thread is done.
  bool Step(std::unique_lock<std::mutex>& lock, std::span<const int> mine, TLineFields& fields) {
    if (stop_) return false;
    bool done = true;
    for (const int m : mine) {
      uint64_t& next = next_[m];
      if (next == end_) continue;
      done = false;
      TSlot& slot = slots_[next % kChunks];
      if (slot.state != kReady || slot.sequence != next) continue;
      lock.unlock();
      mergers_[m]->Merge(slot.chunk);
      lock.lock();
      if (--slot.pending == 0) slot.state = kFree;
      ++next;
      changed_.notify_all();
      return true;
    }
    if (done) {
      for (const int m : mine) mergers_[m]->EndFile();
      return false;
    }
    TSlot& slot = slots_[read_ % kChunks];
    if (reading_ || read_ == end_ || slot.state != kFree) {
      changed_.wait(lock);
      return true;
    }
    reading_ = true;
    slot.state = kFilling;
    slot.sequence = read_;
    lock.unlock();
    const bool more = source_.Next(slot.chunk);
    lock.lock();
    reading_ = false;
    if (!more) {
      slot.state = kFree;
      end_ = read_;
      changed_.notify_all();
      return true;
    }
    ++read_;
    changed_.notify_all();
    lock.unlock();
    if (!slot.chunk.error) Split(slot.chunk, fields);
    lock.lock();
    slot.state = kReady;
    slot.pending = static_cast<int>(mergers_.size());
    changed_.notify_all();
    return true;
  }

  TChunkSource& source_;
  const std::span<TMerger* const> mergers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  TSlot slots_[kChunks];
  uint64_t read_ = 0;                                    // the chunks handed out to be read
  uint64_t end_ = std::numeric_limits<uint64_t>::max();  // the number of chunks, once known
  bool reading_ = false;
  std::vector<uint64_t> next_;  // by merger: the next chunk it merges
  bool stop_ = false;
  std::exception_ptr failure_;
};

}  // namespace

void ReadFiles(const std::string& directory, std::span<const TInputFile> files,
               TMergedTables& merged, TFileKeys* keys, size_t chunk_bytes) {
  TChunkSource source(directory, files, chunk_bytes);
  TMerger info(source, files, merged, false, keys);
  TMerger alerts(source, files, merged, true, nullptr);
  TMerger* const mergers[] = {&info, &alerts};
  TPipeline pipeline(source, mergers);
  // This thread merges the share that reports files, as only it may write
  // to the console.
  std::thread other;
  try {
    other = std::thread([&] { pipeline.Run(std::initializer_list<int>{1}); });
    pipeline.Run(std::initializer_list<int>{0});
  } catch (const std::system_error&) {
    pipeline.Run(std::initializer_list<int>{0, 1});  // no thread to be had: both shares here
  }
  if (other.joinable()) other.join();
  if (pipeline.Failure()) std::rethrow_exception(pipeline.Failure());
}

void ReadDirectory(const std::string& directory, TMergedTables& merged) {
  WriteOutputLine("Reading:  " + directory);
  ReadFiles(directory, kInputFiles, merged, nullptr);
}

}  // namespace vendrake
