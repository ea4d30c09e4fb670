// The write phase's three writers. Each turns one merged table into row
// tuples of one database table, sent as batched REPLACE INTO statements, and
// prints one progress line per row key: "<key>  (F)", "(T)" or "(D)"; and
// the heartbeat that ends a run whose tables were all written. The server's
// rejections come back as TStatementFailure.
#ifndef VENDRAKE_APP_TABLEWRITERS_H_
#define VENDRAKE_APP_TABLEWRITERS_H_

#include <string>

#include "app/Run.h"
#include "base/StringList.h"

namespace vendrake {

// Each writer refills rows, which the caller owns, from its merged table
// of run and counts the rows the server accepted in run.Accepted. run must
// be connected.
void WriteSymbolInfoF(TRun& run, TStringList& rows);
void WriteSymbolInfoT(TRun& run, TStringList& rows);
void WriteAlertsDaily(TRun& run, TStringList& rows, const std::string& trading_date);

// Stamps the row named HeartbeatRowName() with trading_date, with the
// night's publishing when that is atomic. A missing row
// is not an error; run.Accepted.heartbeat tells the rows it matched.
void UpdateMonitorAlive(TRun& run, const std::string& trading_date);

}  // namespace vendrake

#endif  // VENDRAKE_APP_TABLEWRITERS_H_
