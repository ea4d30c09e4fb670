// Connects as vendrake does (the server from MYSQL_UNIX_PORT, root, mydb)
// and stores every byte value, quoted as vendrake quotes, as the company
// names of symbols bytes0 (0 to 127) and bytes128 (128 to 255). No input line
// can carry CR, LF or a zero byte, so the tests send them through this; a
// program of its own, since a process connects only once.
#include <cstdio>
#include <string>

#include "base/Exceptions.h"
#include "db/Database.h"

int main() {
  using namespace vendrake;
  try {
    DbUser = "root";
    DbDatabase = "mydb";
    ConnectDatabase();
    for (const int first : {0, 128}) {
      std::string bytes;
      for (int c = first; c < first + 128; ++c) bytes.push_back(static_cast<char>(c));
      ExecuteQuery("REPLACE INTO symbol_info_f VALUES (" +
                   QuoteSql("bytes" + std::to_string(first)) + ", " + QuoteSql(bytes) + ", " +
                   QuoteSql("-") + ", " + QuoteSql("N") + ")");
    }
  } catch (const Exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
  return 0;
}
