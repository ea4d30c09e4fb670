// What the tests that need a database server share.
#ifndef VENDRAKE_TESTS_SERVERTESTS_H_
#define VENDRAKE_TESTS_SERVERTESTS_H_

#include <string>
#include <vector>

#include "ProgramRun.h"
#include "TempDir.h"
#include "TestServer.h"

namespace vendrake {

// The server of this test program, running for its whole duration.
extern TestServer* Server;

// Writes the three files of a directory of symbols S0, S1, ...: company
// "Company number <i> of a long name" on NYSE, last price <i>.5 and
// up days <i> % 50.
void WriteNumberedSymbols(const TempDir& dir, int symbols);

// The command line that runs vendrake on directories against the server at
// socket, every path quoted.
std::string VendrakeCommand(const InstalledVendrake& vendrake, const std::string& socket,
                            const std::vector<std::string>& directories);

// A loopback port that nothing listens on at this moment.
int FreePort();

// The symbols of the progress lines that end with tag, in their order.
std::vector<std::string> Progress(const std::string& out, const std::string& tag);

// vendrake's default number of connections.
inline constexpr int kDefaultConnections = 2;

// For a run on WriteNumberedSymbols' input that failed in symbol_info_t,
// given the symbols that table holds in symbol order, one per line: the
// console's rows are S0, S1, ... in order, and the table holds whole
// statements: S0 up to where the failed statement starts or, when
// may_have_committed (a server that got its commit before it died), where
// it ends; and, sent on the other connections of the run's connections
// after the failed one, up to connections - 1 more runs of rows.
void ExpectWholeStatements(const std::string& out, const std::string& stored,
                           bool may_have_committed, int connections = kDefaultConnections);

// The symbols of symbol_info_t in symbol order, for ExpectWholeStatements.
inline constexpr char kStoredInOrder[] =
    "SELECT symbol FROM symbol_info_t ORDER BY CAST(SUBSTRING(symbol, 2) AS UNSIGNED)";

// Config.ini content that logs in as root to mydb.
inline constexpr char kRootConfig[] = "[Vendrake]\ndb_User=root\n";

}  // namespace vendrake

#endif  // VENDRAKE_TESTS_SERVERTESTS_H_
