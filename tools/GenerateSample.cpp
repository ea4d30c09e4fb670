// generate_sample: writes reproducible sample input for the loader, the three
// overnight CSV files in each given directory, with the awkward cases real
// exports carry: quoted and multibyte names, blank cells, symbols missing from
// some files, columns in any order, and later directories revising earlier
// values. Every value is derived from (seed, symbol, column, directory index)
// alone, so a directory's content does not depend on what else is written.
// --night writes the shapes the night's exports have instead: numbers of 8
// to 12 bytes, fields quoted or padded with blanks that need not be, three
// ignored columns in every file, more symbols absent, empty lines, and LF
// or CR LF line ends.
//
//   generate_sample [--symbols N] [--seed S] [--night] DIR...
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr uint64_t kMaxSymbols = 1'000'000;
// Directories after this many add no further symbols, so that the ticker
// space never runs out however many directories are asked for.
constexpr size_t kGrowingDirectories = 50;
constexpr size_t kFlushSize = 8 << 20;

// Tell apart the purposes keys are derived for; above any column number.
enum : uint64_t {
  kTickerSalt = 1000,
  kSymbolSalt,
  kPriceSalt,
  kFileSalt,
  kBlankSalt,
  kOrderSalt,
  kFieldSalt,
  kLineSalt
};

// splitmix64's finalizer: nearby inputs give unrelated outputs.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// Folds any number of inputs into one key.
uint64_t Key(uint64_t key) { return key; }
template <typename... T>
uint64_t Key(uint64_t a, uint64_t b, T... rest) {
  return Key(Mix(a ^ (b * 0xD1B54A32D192ED03ULL)), rest...);
}

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
void Shuffle(std::span<T> items, TRandom& random) {
  for (size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[random.Below(i)]);
}

// Text kinds come first: their cells are never left blank.
enum TKind { kCompany, kExchange, kSector, kCorrelationSymbol, kPrice, kReal, kVolume };

// A kPrice value is the symbol's base price times a factor in [lo, hi], with
// the decimals its level calls for; a kReal one without decimals is whole.
struct TColumn {
  const char* name;
  TKind kind;
  double lo = 0;
  double hi = 0;
  int decimals = 0;
  bool extra = false;  // a column the loader ignores
  bool night = false;  // written only in the night's shape
};

constexpr TColumn kFColumns[] = {{"Company Name", kCompany},
                                 {"Listed Exchange", kExchange},
                                 {"Correlation R2", kReal, 0, 1, 4},
                                 {"F Correlation R2", kReal, 0, 1, 4},
                                 {"Previous High", kPrice, 1, 1.05},
                                 {"Previous Low", kPrice, 0.95, 1},
                                 {"52 Week High", kPrice, 1, 1.8},
                                 {"52 Week Low", kPrice, 0.4, 1},
                                 {"Bunny 130", kReal, -100, 200, 2},
                                 {"Consolidation Days", kReal, 0, 120},
                                 {"Consolidation Top", kPrice, 1, 1.15},
                                 {"Consolidation Bottom", kPrice, 0.85, 1},
                                 {"Average True Range", kPrice, 0.005, 0.08},
                                 {"Lifetime High", kPrice, 1.8, 6},
                                 {"Lifetime Low", kPrice, 0.02, 0.4},
                                 {"Prev Put Volume", kVolume, 0, 5e6},
                                 {"Prev Call Volume", kVolume, 0, 8e6},
                                 {"Sector", kSector, 0, 0, 0, true},
                                 {"Beta", kReal, -0.5, 3, 3, true},
                                 {"Short Interest", kVolume, 0, 5e8, 0, true}};

constexpr TColumn kOvernightColumns[] = {
    {"Tick Volatility", kReal, 0, 5, 4},          {"Last Price", kPrice, 0.97, 1.03},
    {"Avg Daily Volume", kVolume, 1000, 2e8},     {"Correlation Symbol", kCorrelationSymbol},
    {"Correlation M", kReal, -2, 2, 4},           {"F Correlation M", kReal, -2, 2, 4},
    {"Bright Volatility", kReal, 0, 100, 2},      {"Bid Ask Spread", kReal, 0, 0.5, 4, true},
    {"Float Shares", kVolume, 1e5, 5e9, 0, true}, {"VWAP", kPrice, 0.98, 1.02, 0, true, true}};

constexpr TColumn kTcColumns[] = {
    {"200 Day SMA", kPrice, 0.7, 1.3},     {"50 Day SMA", kPrice, 0.8, 1.2},
    {"20 Day SMA", kPrice, 0.9, 1.1},      {"Up Days", kReal, -15, 15},
    {"Range Contraction", kReal, 0, 1, 4}, {"20 Day StdDev", kPrice, 0.005, 0.1},
    {"RSI 14", kReal, 0, 100, 2, true},    {"MACD", kReal, -5, 5, 4, true},
    {"Sector", kSector, 0, 0, 0, true}};

enum { kFFile, kOvernightFile, kTcFile, kFileCount };
constexpr const char* kFileNames[kFileCount] = {"F_OvernightData.csv", "OvernightData.csv",
                                                "TC_OvernightData.csv"};
constexpr std::span<const TColumn> kFileColumns[kFileCount] = {kFColumns, kOvernightColumns,
                                                               kTcColumns};

constexpr const char* kWords[] = {
    "Acme",    "Widgets", "Global", "Northern", "Pacific",  "Summit",   "Harbor",      "Quantum",
    "Granite", "Pioneer", "Atlas",  "Falcon",   "Sterling", "Beacon",   "Apex",        "Redwood",
    "Energy",  "Systems", "Foods",  "Capital",  "Motors",   "Networks", "Therapeutics"};
constexpr const char* kSuffixes[] = {"Inc", "Inc.", "Corp", "Holdings", "Ltd", "Group", "plc"};
constexpr const char* kForeignNames[] = {
    "Société Générale", "日本電気",  "Müller Holding AG",  "Nestlé",   "Ørsted A/S",
    "Škoda Works",      "Zürich Re", "Ελληνικά Πετρέλαια", "삼성전자", "Łódź Café Sp. z o.o."};
constexpr const char* kExchanges[] = {"NYSE", "NYSE", "NASDAQ", "NASDAQ", "ARCA", "AMEX", "BATS"};
constexpr const char* kSectors[] = {"Technology",         "Health Care", "Financials", "Energy",
                                    "Consumer, Cyclical", "Utilities",   "Industrials"};
constexpr const char* kIndexSymbols[] = {"SPY", "QQQ", "IWM", "DIA"};

// Mostly 3 and 4 letters, as on the exchanges. Short tickers run out first;
// a taken one is redrawn.
std::string UniqueTicker(TRandom& random, std::vector<bool>& taken) {
  for (;;) {
    const uint64_t draw = random.Below(100);
    const size_t length = 1 + (draw >= 1) + (draw >= 5) + (draw >= 35) + (draw >= 80);
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
// symbol is unique. A longer list starts with a shorter one.
std::vector<std::string> MakeSymbols(size_t count, uint64_t seed) {
  TRandom random(Key(seed, kTickerSalt));
  std::vector<bool> taken(27 * 27 * 27 * 27 * 27);
  std::vector<std::string> symbols;
  symbols.reserve(count);
  while (symbols.size() < count) {
    if (symbols.size() % 200 == 199) {
      std::string twin = symbols.back();
      for (char& c : twin) c |= 0x20;  // lowercases letters, keeps the dot
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

// How a field is written around its text: quoted even when it need not be,
// and blanks before and after it, which the loader trims.
struct TFieldDress {
  bool quote = false;
  int lead = 0;
  int trail = 0;
};

// Quotes text when it holds a delimiter or a quote, or when dress asks to.
// Blanks go inside the quotes: a blank before an opening quote would make it
// text, and one behind the closing quote a field of its own.
void AppendText(std::string& out, std::string_view text, const TFieldDress& dress) {
  const bool quote = dress.quote || text.find_first_of(",\"") != std::string_view::npos;
  if (quote) out.push_back('"');
  out.append(dress.lead, ' ');
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.append(dress.trail, ' ');
  if (quote) out.push_back('"');
}

// Appends by length: the (first, last) overload takes a much slower path.
void AppendInteger(std::string& out, int64_t value) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
  out.append(digits, static_cast<size_t>(end - digits));
}

// Plain fixed-point text: no exponent, and well under 10 significant digits
// for the ranges used here, so the value survives a DOUBLE column unchanged.
// Integer arithmetic is much faster than formatting the double.
void AppendFixed(std::string& out, double value, int decimals) {
  static constexpr int64_t kScale[] = {1, 10, 100, 1000, 10000};
  const int64_t scale = kScale[decimals];
  const int64_t scaled = std::llround(value * static_cast<double>(scale));
  if (scaled < 0) out.push_back('-');
  AppendInteger(out, std::abs(scaled) / scale);
  if (decimals == 0) return;
  // Behind a leading 1 the fraction keeps its leading zeros; the 1 becomes the point.
  const size_t point = out.size();
  AppendInteger(out, scale + std::abs(scaled) % scale);
  out[point] = '.';
}

// Log-uniform, as real volumes are; lo itself is possible.
int64_t Volume(TRandom& random, double lo, double hi) {
  const double spread = std::exp(random.Real(0, std::log(hi - lo + 1)));
  return static_cast<int64_t>(lo + std::floor(spread) - 1);
}

// A number of 8 to 12 bytes, as the night's exports write prices (four
// decimals) and large volumes.
void AppendNightNumber(std::string& out, TRandom& random, const TColumn& column) {
  const uint64_t length = 8 + random.Below(5);
  const bool fraction = column.kind != kVolume;
  uint64_t digits = fraction ? length - 1 : length;
  if (column.lo < 0 && random.Chance(0.3)) {
    out.push_back('-');
    --digits;
  }
  for (uint64_t i = 0; i < digits; ++i) {
    if (fraction && i + 4 == digits) out.push_back('.');
    out.push_back(static_cast<char>((i == 0 ? '1' + random.Below(9) : '0' + random.Below(10))));
  }
}

// About 1 % of symbols are only in OvernightData.csv; 2 % more lack
// F_OvernightData.csv and another 2 % lack TC_OvernightData.csv. In the
// night's shape each file of each directory lacks 5 % of them.
bool InFile(uint64_t symbol_key, int file, size_t index, bool night) {
  if (night) return !Chance(Key(symbol_key, kFileSalt, file, index), 0.05);
  const uint64_t draw = Key(symbol_key, kFileSalt) % 1000;
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

// Symbol stays first and the rest are shuffled; an ignored column is never
// last, so that such columns always sit between the others. The night's
// columns come last in their lists.
std::vector<size_t> ColumnOrder(int file, TRandom& random, bool night) {
  const std::span<const TColumn> columns = kFileColumns[file];
  std::vector<size_t> order(columns.size());
  std::iota(order.begin(), order.end(), 0);
  while (!night && columns[order.back()].night) order.pop_back();
  Shuffle(std::span(order), random);
  while (columns[order.back()].extra) std::rotate(order.begin(), order.end() - 1, order.end());
  return order;
}

// Rows are shuffled within blocks only: the order differs between files while
// reads of the symbol list stay close together, which is much faster.
std::vector<uint32_t> RowOrder(uint32_t count, TRandom& random) {
  constexpr size_t kBlock = 4096;
  std::vector<uint32_t> rows(count);
  std::iota(rows.begin(), rows.end(), 0);
  for (size_t begin = 0; begin < count; begin += kBlock) {
    Shuffle(std::span(rows).subspan(begin, std::min(kBlock, count - begin)), random);
  }
  return rows;
}

// Each later directory brings a few new symbols.
size_t SymbolCount(size_t base_count, size_t index) {
  return base_count + std::min(index, kGrowingDirectories) * std::max<size_t>(1, base_count / 200);
}

std::runtime_error WriteError(const std::filesystem::path& path) {
  return std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
}

// What every directory draws on.
struct TUniverse {
  std::vector<std::string> symbols;
  size_t base_count;  // the symbols of directory 0
  uint64_t seed;
  bool night;  // the night's shape
};

// Writes the cell's text into text; returns whether it is to be quoted
// even if it need not be.
bool CellText(std::string& text, const TUniverse& universe, const TColumn& column, uint64_t key,
              double price) {
  TRandom random(key);
  if (universe.night && column.kind >= kPrice) {
    AppendNightNumber(text, random, column);
    return false;
  }
  switch (column.kind) {
    case kCompany: {
      // Drawn in this order since the first version of the data.
      const bool quote = random.Chance(0.02);
      text = CompanyName(random);
      return quote;
    }
    case kExchange:
      text.append(random.Pick(kExchanges));
      break;
    case kSector:
      text.append(random.Pick(kSectors));
      break;
    case kCorrelationSymbol:
      text.append(random.Chance(0.6) ? random.Pick(kIndexSymbols)
                                     : universe.symbols[random.Below(universe.base_count)].c_str());
      break;
    case kPrice:
      AppendFixed(text, price * random.Real(column.lo, column.hi),
                  price < 1    ? 4
                  : price < 10 ? 3
                               : 2);
      break;
    case kReal:
      AppendFixed(text, random.Real(column.lo, column.hi), column.decimals);
      break;
    case kVolume:
      AppendInteger(text, Volume(random, column.lo, column.hi));
      break;
  }
  return false;
}

// In the night's shape one field in ten is quoted and one in five padded
// with one to three blanks before, behind or on both sides.
TFieldDress Dress(const TUniverse& universe, uint64_t key) {
  TFieldDress dress;
  if (!universe.night) return dress;
  TRandom random(Key(key, kFieldSalt));
  dress.quote = random.Chance(0.1);
  if (random.Chance(0.2)) {
    const uint64_t sides = 1 + random.Below(3);
    if (sides & 1) dress.lead = 1 + static_cast<int>(random.Below(3));
    if (sides & 2) dress.trail = 1 + static_cast<int>(random.Below(3));
  }
  return dress;
}

// Appends the symbol's line if the file has one. About 4 % of value cells are
// blank, and 0.5 % of lines have no values. In the night's shape 2 % of
// lines are followed by an empty one.
void AppendRow(std::string& out, const TUniverse& universe, uint32_t symbol, int file,
               const std::vector<size_t>& order, size_t index, std::string_view line_end) {
  const std::span<const TColumn> columns = kFileColumns[file];
  const uint64_t symbol_key = Key(universe.seed, kSymbolSalt, symbol);
  if (!InFile(symbol_key, file, index, universe.night)) return;
  const bool blank_row = Chance(Key(symbol_key, kBlankSalt, file, index), 0.005);
  const double price = std::exp(TRandom(Key(symbol_key, kPriceSalt)).Real(-1.6, 7.6));
  const uint64_t line_key = Key(symbol_key, kLineSalt, file, index);
  AppendText(out, universe.symbols[symbol], Dress(universe, line_key));
  std::string text;
  for (size_t c : order) {
    out.push_back(',');
    const uint64_t cell_key = Key(symbol_key, file * 64 + c);
    text.clear();
    bool quote = false;
    if (columns[c].kind <= kSector) {
      quote = CellText(text, universe, columns[c], cell_key, price);
    } else if (!blank_row && !Chance(Key(cell_key, kBlankSalt, index), 0.04)) {
      quote = CellText(text, universe, columns[c], RevisionKey(cell_key, index), price);
    }
    TFieldDress dress = Dress(universe, Key(cell_key, index));
    dress.quote |= quote;
    AppendText(out, text, dress);
  }
  out.append(line_end);
  if (universe.night && Chance(line_key, 0.02)) out.append(line_end);
}

// Errors stick to the stream, so one look at the end covers every write.
void WriteFile(const std::filesystem::path& path, const TUniverse& universe, int file, size_t index,
               uint32_t symbol_count) {
  TRandom random(Key(universe.seed, kOrderSalt, file, index));
  const std::vector<size_t> order = ColumnOrder(file, random, universe.night);
  // The night's files end their lines with LF or with CR LF, one in two each.
  const std::string_view line_end =
      universe.night && random.Chance(0.5) ? std::string_view("\n") : std::string_view("\r\n");
  std::FILE* output = std::fopen(path.c_str(), "wb");
  if (output == nullptr) throw WriteError(path);
  std::string out = "Symbol";
  out.reserve(kFlushSize + kFlushSize / 8);
  for (size_t c : order) out.append(",").append(kFileColumns[file][c].name);
  out.append(line_end);
  for (uint32_t symbol : RowOrder(symbol_count, random)) {
    AppendRow(out, universe, symbol, file, order, index, line_end);
    if (out.size() < kFlushSize) continue;
    std::fwrite(out.data(), 1, out.size(), output);
    out.clear();
  }
  std::fwrite(out.data(), 1, out.size(), output);
  const bool failed = std::ferror(output) != 0;
  if (std::fclose(output) != 0 || failed) throw WriteError(path);
}

void WriteDirectory(const std::filesystem::path& dir, const TUniverse& universe, size_t index) {
  std::filesystem::create_directories(dir);
  const size_t count = SymbolCount(universe.base_count, index);
  for (int file = 0; file < kFileCount; ++file) {
    WriteFile(dir / kFileNames[file], universe, file, index, static_cast<uint32_t>(count));
  }
}

struct TOptions {
  uint64_t symbols = 1000;
  uint64_t seed = 1;
  bool night = false;
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
    if (arg == "--night") {
      options.night = true;
    } else if (arg != "--symbols" && arg != "--seed") {
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

constexpr char kUsage[] = "usage: generate_sample [--symbols N] [--seed S] [--night] DIR...\n";

constexpr char kHelp[] =
    "Writes F_OvernightData.csv, OvernightData.csv and TC_OvernightData.csv of\n"
    "sample data into each DIR, created if missing; later directories change,\n"
    "blank or add values. The output depends only on N, S, --night and the order\n"
    "of DIRs.\n"
    "\n"
    "  --symbols N  symbols of the first directory, 1..1000000 (default 1000)\n"
    "  --seed S     seed of the data (default 1)\n"
    "  --night      the night's shapes: numbers of 8 to 12 bytes, 10 % of fields\n"
    "               quoted and 20 % padded with blanks, three ignored columns per\n"
    "               file, 5 % of symbols absent per file, 2 % empty lines, LF or\n"
    "               CR LF line ends\n"
    "  --help       print this help\n";

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    return std::printf("%s%s", kUsage, kHelp) < 0 ? 1 : 0;
  }
  TOptions options;
  const std::string error = ParseOptions(argc, argv, options);
  if (!error.empty()) {
    std::fprintf(stderr, "generate_sample: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  try {
    const size_t count = SymbolCount(options.symbols, options.dirs.size() - 1);
    const TUniverse universe{MakeSymbols(count, options.seed), options.symbols, options.seed,
                             options.night};
    for (size_t i = 0; i < options.dirs.size(); ++i) WriteDirectory(options.dirs[i], universe, i);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "generate_sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
