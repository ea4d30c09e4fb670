// The write phase's three writers. Each turns one merged table into row
// tuples of one database table, sent as batched REPLACE INTO statements, and
// prints one progress line per row key: "<key>  (F)", "(T)" or "(D)".
#ifndef VENDRAKE_APP_TABLEWRITERS_H_
#define VENDRAKE_APP_TABLEWRITERS_H_

#include <string>

#include "base/StringList.h"

namespace vendrake {

// Each writer refills rows, which the caller owns, from its merged table.
void WriteSymbolInfoF(TStringList& rows);
void WriteSymbolInfoT(TStringList& rows);
void WriteAlertsDaily(TStringList& rows, const std::string& trading_date);

}  // namespace vendrake

#endif  // VENDRAKE_APP_TABLEWRITERS_H_
