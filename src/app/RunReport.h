// The run report: what the server accepted, for the service that started
// the loader, in the file that VENDRAKE_REPORT names. The console stays as
// it is, so with several connections the counts need a channel of their
// own.
#ifndef VENDRAKE_APP_RUNREPORT_H_
#define VENDRAKE_APP_RUNREPORT_H_

#include "app/Run.h"

namespace vendrake {

// When VENDRAKE_REPORT is set and not empty, replaces the file it names, atomically, with
// one "key value" line per table and one for the heartbeat if it was sent.
// A file that cannot be written is told in one line on standard error and
// is otherwise no failure of the run. Never throws.
void WriteRunReport(const TAccepted& accepted);

}  // namespace vendrake

#endif  // VENDRAKE_APP_RUNREPORT_H_
