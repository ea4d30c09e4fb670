// generate_sample: writes reproducible sample input for the loader, the three
// overnight CSV files in each given directory, with the awkward cases real
// exports carry: quoted and multibyte names, blank cells, symbols missing from
// some files, columns in any order, and later directories revising earlier
// values. Every value is derived from (seed, symbol, column, directory index)
// alone, so a directory's content does not depend on what else is written.
//
//   generate_sample [--symbols N] [--seed S] DIR...
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr uint64_t kMaxSymbols = 1'000'000;
// Directories after this many add no further symbols, which keeps the ticker
// space from running out however many directories are asked for.
constexpr size_t kGrowingDirectories = 50;
constexpr size_t kFlushSize = 8 << 20;

// Separate the purposes keys are derived for; far above any column number.
enum : uint64_t {
  kSymbolStream = 1000,
  kSymbolKeys,
  kPriceSalt,
  kMembershipSalt,
  kBlankCellSalt,
  kBlankRowSalt,
  kColumnOrderSalt = 2000,
  kRowOrderSalt = 3000
};

// splitmix64's finalizer: nearby inputs give unrelated outputs.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

uint64_t Key(uint64_t a, uint64_t b) { return Mix(a ^ Mix(b)); }
uint64_t Key(uint64_t a, uint64_t b, uint64_t c) { return Key(Key(a, b), c); }

double Unit(uint64_t bits) { return static_cast<double>(bits >> 11) * 0x1p-53; }
bool Chance(uint64_t key, double p) { return Unit(key) < p; }

// A splitmix64 stream; own code rather than <random> so that the output does
// not depend on the standard library's distributions.
class TRandom {
 public:
  explicit TRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next() { return Mix(state_ += 0x9E3779B97F4A7C15ULL); }
  uint64_t Below(uint64_t n) {
    return static_cast<uint64_t>((static_cast<unsigned __int128>(Next()) * n) >> 64);
  }
  double Real(double lo, double hi) { return lo + (hi - lo) * Unit(Next()); }
  bool Chance(double p) { return Unit(Next()) < p; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

template <typename T>
void Shuffle(std::vector<T>& items, TRandom& random) {
  for (size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[random.Below(i)]);
}

enum TKind { kCompany, kExchange, kSector, kCorrelationSymbol, kPrice, kReal, kInteger, kVolume };

// kPrice values are the symbol's base price times a factor in [lo, hi].
struct TColumn {
  const char* name;
  TKind kind;
  double lo = 0;
  double hi = 0;
  int decimals = 0;    // kByPrice: as many as the price level calls for
  bool extra = false;  // a column the loader ignores
};

constexpr int kByPrice = -1;

constexpr TColumn kFColumns[] = {{"Company Name", kCompany},
                                 {"Listed Exchange", kExchange},
                                 {"Correlation R2", kReal, 0, 1, 4},
                                 {"F Correlation R2", kReal, 0, 1, 4},
                                 {"Previous High", kPrice, 1.0, 1.05, kByPrice},
                                 {"Previous Low", kPrice, 0.95, 1.0, kByPrice},
                                 {"52 Week High", kPrice, 1.0, 1.8, kByPrice},
                                 {"52 Week Low", kPrice, 0.4, 1.0, kByPrice},
                                 {"Bunny 130", kReal, -100, 200, 2},
                                 {"Consolidation Days", kInteger, 0, 120},
                                 {"Consolidation Top", kPrice, 1.0, 1.15, kByPrice},
                                 {"Consolidation Bottom", kPrice, 0.85, 1.0, kByPrice},
                                 {"Average True Range", kPrice, 0.005, 0.08, 4},
                                 {"Lifetime High", kPrice, 1.8, 6.0, kByPrice},
                                 {"Lifetime Low", kPrice, 0.02, 0.4, kByPrice},
                                 {"Prev Put Volume", kVolume, 0, 5e6},
                                 {"Prev Call Volume", kVolume, 0, 8e6},
                                 {"Sector", kSector, 0, 0, 0, true},
                                 {"Beta", kReal, -0.5, 3, 3, true},
                                 {"Short Interest", kVolume, 1000, 5e8, 0, true}};

constexpr TColumn kOvernightColumns[] = {
    {"Tick Volatility", kReal, 0, 5, 4},         {"Last Price", kPrice, 0.97, 1.03, kByPrice},
    {"Avg Daily Volume", kVolume, 1000, 2e8},    {"Correlation Symbol", kCorrelationSymbol},
    {"Correlation M", kReal, -2, 2, 4},          {"F Correlation M", kReal, -2, 2, 4},
    {"Bright Volatility", kReal, 0, 100, 2},     {"Bid Ask Spread", kReal, 0, 0.5, 4, true},
    {"Float Shares", kVolume, 1e5, 5e9, 0, true}};

constexpr TColumn kTcColumns[] = {
    {"200 Day SMA", kPrice, 0.7, 1.3, kByPrice}, {"50 Day SMA", kPrice, 0.8, 1.2, kByPrice},
    {"20 Day SMA", kPrice, 0.9, 1.1, kByPrice},  {"Up Days", kInteger, -15, 15},
    {"Range Contraction", kReal, 0, 1, 4},       {"20 Day StdDev", kPrice, 0.005, 0.1, 4},
    {"RSI 14", kReal, 0, 100, 2, true},          {"MACD", kReal, -5, 5, 4, true},
    {"Sector", kSector, 0, 0, 0, true}};

enum { kFFile, kOvernightFile, kTcFile, kFileCount };

struct TFile {
  const char* name;
  std::span<const TColumn> columns;
};

constexpr TFile kFiles[kFileCount] = {{"F_OvernightData.csv", kFColumns},
                                      {"OvernightData.csv", kOvernightColumns},
                                      {"TC_OvernightData.csv", kTcColumns}};

constexpr const char* kWords[] = {
    "Acme",    "Widgets", "Global",   "Northern", "Pacific",      "Summit",   "Harbor",
    "Quantum", "Silver",  "Granite",  "Pioneer",  "Atlas",        "Cedar",    "Falcon",
    "Liberty", "Orion",   "Vertex",   "Sterling", "Beacon",       "Frontier", "Keystone",
    "Apex",    "Horizon", "Redwood",  "Titan",    "Union",        "Energy",   "Systems",
    "Foods",   "Capital", "Networks", "Minerals", "Therapeutics", "Motors",   "Logistics"};
constexpr const char* kSuffixes[] = {"Inc", "Inc.", "Corp", "Holdings", "Ltd", "Group", "plc"};
constexpr const char* kForeignNames[] = {
    "Société Générale", "日本電気",  "Müller Holding AG",  "Nestlé",   "Ørsted A/S",
    "Škoda Works",      "Zürich Re", "Ελληνικά Πετρέλαια", "삼성전자", "Łódź Café Sp. z o.o."};
constexpr const char* kExchanges[] = {"NYSE", "NYSE", "NASDAQ", "NASDAQ", "ARCA", "AMEX", "BATS"};
constexpr const char* kSectors[] = {"Technology",         "Health Care", "Financials", "Energy",
                                    "Consumer, Cyclical", "Utilities",   "Industrials"};
constexpr const char* kIndexSymbols[] = {"SPY", "QQQ", "IWM", "DIA"};

// Short tickers are popular, so they run out first; a taken one is redrawn.
std::string UniqueTicker(TRandom& random, std::vector<bool>& taken) {
  static constexpr uint64_t kCumulativePercent[] = {1, 5, 35, 80, 100};
  for (;;) {
    const uint64_t draw = random.Below(100);
    size_t length = 1;
    while (kCumulativePercent[length - 1] <= draw) ++length;
    std::string ticker;
    size_t code = 0;
    for (size_t i = 0; i < length; ++i) {
      const uint64_t letter = random.Below(26);
      ticker.push_back(static_cast<char>('A' + letter));
      code = code * 27 + letter + 1;
    }
    if (!taken[code]) {
      taken[code] = true;
      return ticker;
    }
  }
}

// Tickers are unique, and a class suffix or a lowercase twin (every 200th
// symbol, of the one before) is derived from exactly one of them, so every
// symbol is unique. The sequence is drawn in
// order, so a longer list starts with a shorter one.
std::vector<std::string> MakeSymbols(size_t count, uint64_t seed) {
  TRandom random(Key(seed, kSymbolStream));
  std::vector<bool> taken(27 * 27 * 27 * 27 * 27);
  std::vector<std::string> symbols;
  symbols.reserve(count);
  while (symbols.size() < count) {
    if (symbols.size() % 200 == 199) {
      std::string twin = symbols.back();
      for (char& c : twin) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
      symbols.push_back(std::move(twin));
      continue;
    }
    symbols.push_back(UniqueTicker(random, taken));
    if (random.Chance(0.02)) symbols.back() += random.Chance(0.5) ? ".A" : ".B";
  }
  return symbols;
}

std::string CompanyName(TRandom& random) {
  const std::string first = random.Pick(kWords);
  const std::string second = random.Pick(kWords);
  const std::string suffix = random.Pick(kSuffixes);
  const uint64_t kind = random.Below(1000);
  if (kind < 10) return std::string();
  if (kind < 30) return first + ", " + second + " & Co";
  if (kind < 40) return first + " \"" + second + "\" " + suffix;
  if (kind < 50) return "O'" + first + " " + suffix;
  if (kind < 55) return first + "\\" + second + " " + suffix;
  if (kind < 60) return first + "; " + second + " " + suffix;
  if (kind < 80) return random.Pick(kForeignNames);
  return first + " " + second + " " + suffix;
}

// Quotes text when it holds a delimiter or a quote, or when asked to.
void AppendText(std::string& out, std::string_view text, bool quote) {
  if (!quote && text.find_first_of(",\"") == std::string_view::npos) {
    out.append(text);
    return;
  }
  out.push_back('"');
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

void AppendInteger(std::string& out, int64_t value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof(digits), value).ptr);
}

// Plain fixed-point text: no exponent, and well under 10 significant digits
// for the ranges used here, so the value survives a DOUBLE column unchanged.
void AppendFixed(std::string& out, double value, int decimals) {
  static constexpr int64_t kScale[] = {1, 10, 100, 1000, 10000};
  int64_t scaled = std::llround(value * static_cast<double>(kScale[decimals]));
  if (scaled < 0) {
    out.push_back('-');
    scaled = -scaled;
  }
  AppendInteger(out, scaled / kScale[decimals]);
  if (decimals == 0) return;
  char digits[4];
  int64_t fraction = scaled % kScale[decimals];
  for (int i = decimals - 1; i >= 0; --i, fraction /= 10) {
    digits[i] = static_cast<char>('0' + fraction % 10);
  }
  out.push_back('.');
  out.append(digits, decimals);
}

// Log-uniform, as real volumes are; lo itself is possible.
int64_t Volume(TRandom& random, double lo, double hi) {
  const double spread = std::exp(random.Real(0, std::log(hi - lo + 1)));
  return static_cast<int64_t>(lo + std::floor(spread) - 1);
}

int PriceDecimals(double price) { return price < 1 ? 4 : price < 10 ? 3 : 2; }

// About 1 % of symbols are only in OvernightData.csv; 2 % more lack
// F_OvernightData.csv and another 2 % lack TC_OvernightData.csv.
bool InFile(uint64_t symbol_key, int file) {
  const uint64_t draw = Key(symbol_key, kMembershipSalt) % 1000;
  if (file == kOvernightFile) return true;
  if (draw < 10) return false;
  return file == kFFile ? draw >= 30 : draw < 30 || draw >= 50;
}

// A later directory revises about 30 % of the values of the one before; a
// cell takes its value from the latest directory that revised it.
uint64_t RevisionKey(uint64_t cell_key, size_t index) {
  for (size_t d = index; d > 0; --d) {
    const uint64_t key = Key(cell_key, d);
    if (Chance(key, 0.3)) return key;
  }
  return cell_key;
}

// Symbol stays first; the others are shuffled, and each ignored column goes
// in front of another one, so that they sit between the rest.
std::vector<size_t> ColumnOrder(int file, uint64_t key) {
  TRandom random(key);
  const std::span<const TColumn> columns = kFiles[file].columns;
  std::vector<size_t> order;
  for (size_t c = 0; c < columns.size(); ++c) {
    if (!columns[c].extra) order.push_back(c);
  }
  Shuffle(order, random);
  for (size_t c = 0; c < columns.size(); ++c) {
    if (columns[c].extra) order.insert(order.begin() + random.Below(order.size()), c);
  }
  return order;
}

// How many new symbols each later directory brings.
size_t AddedSymbols(size_t base_count) { return std::max<size_t>(1, base_count / 200); }

[[noreturn]] void FailWriting(const std::filesystem::path& path) {
  throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
}

void WriteOut(std::FILE* file, std::string& text, const std::filesystem::path& path) {
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) FailWriting(path);
  text.clear();
}

class TSampleWriter {
 public:
  TSampleWriter(std::vector<std::string> symbols, size_t base_count, uint64_t seed)
      : symbols_(std::move(symbols)), base_count_(base_count), seed_(seed) {}

  void WriteDirectory(const std::filesystem::path& dir, size_t index) const {
    std::filesystem::create_directories(dir);
    const size_t universe =
        base_count_ + std::min(index, kGrowingDirectories) * AddedSymbols(base_count_);
    for (int file = 0; file < kFileCount; ++file) {
      WriteFile(dir / kFiles[file].name, file, index, universe);
    }
  }

 private:
  void WriteFile(const std::filesystem::path& path, int file, size_t index, size_t universe) const {
    const std::vector<size_t> order = ColumnOrder(file, Key(seed_, kColumnOrderSalt + file, index));
    std::vector<uint32_t> rows(universe);
    std::iota(rows.begin(), rows.end(), 0);
    TRandom random(Key(seed_, kRowOrderSalt + file, index));
    Shuffle(rows, random);

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> output(std::fopen(path.c_str(), "wb"),
                                                           std::fclose);
    if (output == nullptr) FailWriting(path);
    std::string out = "Symbol";
    out.reserve(kFlushSize + kFlushSize / 8);
    for (size_t c : order) out.append(",").append(kFiles[file].columns[c].name);
    out.append("\r\n");
    for (uint32_t symbol : rows) {
      const uint64_t symbol_key = Key(seed_, kSymbolKeys, symbol);
      if (!InFile(symbol_key, file)) continue;
      AppendRow(out, symbol, symbol_key, file, order, index);
      if (out.size() >= kFlushSize) WriteOut(output.get(), out, path);
    }
    WriteOut(output.get(), out, path);
    if (std::fclose(output.release()) != 0) FailWriting(path);
  }

  // About 4 % of value cells are blank, and 0.5 % of rows have no values.
  void AppendRow(std::string& out, uint32_t symbol, uint64_t symbol_key, int file,
                 const std::vector<size_t>& order, size_t index) const {
    const std::span<const TColumn> columns = kFiles[file].columns;
    const bool blank_row = Chance(Key(symbol_key, kBlankRowSalt + file, index), 0.005);
    const double price = std::exp(TRandom(Key(symbol_key, kPriceSalt)).Real(-1.6, 7.6));
    out.append(symbols_[symbol]);
    for (size_t c : order) {
      out.push_back(',');
      const uint64_t cell_key = Key(symbol_key, file * 64 + c);
      const bool text = columns[c].kind <= kSector;
      if (text) {
        AppendCell(out, columns[c], cell_key, price);
      } else if (!blank_row && !Chance(Key(cell_key, kBlankCellSalt, index), 0.04)) {
        AppendCell(out, columns[c], RevisionKey(cell_key, index), price);
      }
    }
    out.append("\r\n");
  }

  void AppendCell(std::string& out, const TColumn& column, uint64_t key, double price) const {
    TRandom random(key);
    switch (column.kind) {
      case kCompany: {
        const std::string name = CompanyName(random);
        AppendText(out, name, random.Chance(0.02));
        break;
      }
      case kExchange:
        out.append(random.Pick(kExchanges));
        break;
      case kSector:
        AppendText(out, random.Pick(kSectors), false);
        break;
      case kCorrelationSymbol:
        out.append(random.Chance(0.6) ? random.Pick(kIndexSymbols)
                                      : symbols_[random.Below(base_count_)].c_str());
        break;
      case kPrice:
        AppendFixed(out, price * random.Real(column.lo, column.hi),
                    column.decimals == kByPrice ? PriceDecimals(price) : column.decimals);
        break;
      case kReal:
        AppendFixed(out, random.Real(column.lo, column.hi), column.decimals);
        break;
      case kInteger:
        AppendInteger(out, static_cast<int64_t>(column.lo) +
                               static_cast<int64_t>(
                                   random.Below(static_cast<uint64_t>(column.hi - column.lo) + 1)));
        break;
      case kVolume:
        AppendInteger(out, Volume(random, column.lo, column.hi));
        break;
    }
  }

  const std::vector<std::string> symbols_;
  const size_t base_count_;  // the symbols of directory 0
  const uint64_t seed_;
};

struct TOptions {
  uint64_t symbols = 1000;
  uint64_t seed = 1;
  std::vector<std::string> dirs;
};

bool ParseNumber(std::string_view text, uint64_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// Returns what is wrong with the command line, or an empty string.
std::string ParseOptions(int argc, char** argv, TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg != "--symbols" && arg != "--seed") {
      if (arg.starts_with("--")) return "unknown option " + arg;
      options.dirs.push_back(arg);
    } else if (i + 1 == argc) {
      return arg + " needs a value";
    } else if (!ParseNumber(argv[++i], arg == "--symbols" ? options.symbols : options.seed)) {
      return arg + " takes a non-negative integer, not \"" + argv[i] + "\"";
    }
  }
  if (options.symbols == 0 || options.symbols > kMaxSymbols) return "--symbols must be 1..1000000";
  if (options.dirs.empty()) return "no directory given";
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  const std::string error = ParseOptions(argc, argv, options);
  if (!error.empty()) {
    std::fprintf(stderr,
                 "generate_sample: %s\nusage: generate_sample [--symbols N] [--seed S] DIR...\n",
                 error.c_str());
    return 2;
  }
  try {
    const size_t growing = std::min(options.dirs.size() - 1, kGrowingDirectories);
    const size_t count = options.symbols + growing * AddedSymbols(options.symbols);
    const TSampleWriter writer(MakeSymbols(count, options.seed), options.symbols, options.seed);
    for (size_t i = 0; i < options.dirs.size(); ++i) writer.WriteDirectory(options.dirs[i], i);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "generate_sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
