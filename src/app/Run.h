// One run of the loader over the directories of its command line, built by
// the driver once it has the settings: the settings, the merged tables the
// read phase fills, the database the write phase writes through, and what
// the server accepted. The phases run on it and report failures by
// throwing; only the driver closes the database and ends the run.
#ifndef VENDRAKE_APP_RUN_H_
#define VENDRAKE_APP_RUN_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "app/MergedTables.h"
#include "config/Settings.h"
#include "db/Database.h"

namespace vendrake {

// What the server took of a run: the rows in statements it accepted, per
// table, and the rows the heartbeat matched, once it was sent.
struct TAccepted {
  uint64_t symbol_info_f = 0;
  uint64_t symbol_info_t = 0;
  uint64_t alerts_daily = 0;
  std::optional<uint64_t> heartbeat;
};

struct TRun {
  explicit TRun(TSettings settings) : Settings(std::move(settings)) {}

  // What reached the live tables: with Atomic nothing until the night was
  // published, with the heartbeat.
  TAccepted Published() const {
    const bool staged = Settings.DbPublish == TPublish::Atomic && !Accepted.heartbeat;
    return staged ? TAccepted() : Accepted;
  }

  const TSettings Settings;
  TMergedTables Tables;
  TAccepted Accepted;
  // Null until connected. Declared last, so that closing it, which reads
  // the outcome of statements still in flight, still counts them.
  std::unique_ptr<TDatabase> DbConnection;
};

}  // namespace vendrake

#endif  // VENDRAKE_APP_RUN_H_
