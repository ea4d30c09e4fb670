// The date a run's data belongs to, which labels every alerts_daily row and
// the heartbeat, and the name of this computer's monitor_alive row, which
// the heartbeat stamps with that date. Nothing here touches the database,
// so vendrake-check shares it.
#ifndef VENDRAKE_APP_TRADINGDATE_H_
#define VENDRAKE_APP_TRADINGDATE_H_

#include <chrono>
#include <string>

namespace vendrake {

// The trading date for the local time now, as "YYYY-MM-DD".
std::string ComputeTradingDate();

// The trading date for a local date and the milliseconds elapsed of that
// day. After noon it is the next day, as an evening run loads the data of
// the next session. At noon exactly it is the even day number counted from
// 1899-12-30: the date is that day count with its fraction rounded half to
// even, the default rounding of floating point, so it agrees with programs
// that round the same day value. A Saturday or Sunday moves on to the
// Monday, the next day with a session.
std::string TradingDateAt(std::chrono::year_month_day date, int64_t milliseconds_of_day);

// This computer's name, or "Unknown" when it cannot be had in 15 characters:
// loader computers are named within the 15 characters of a NetBIOS name,
// which their monitor_alive rows are named by, and a cut name could be the
// row of another computer that shares its first 15 characters.
std::string LocalComputerName();

// The name of this computer's monitor_alive row: "Overnight " and
// LocalComputerName().
std::string HeartbeatRowName();

}  // namespace vendrake

#endif  // VENDRAKE_APP_TRADINGDATE_H_
