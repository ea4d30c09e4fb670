// vendrake-check: reads the loader's input directories with the loader's
// own code and merge plan, touches no database, and reports what the night's
// run would meet: per file its data lines and symbols, the columns the loader
// takes that the header lacks, the header names it ignores and the symbols
// repeated; per run the rows of each table; and the first problem that would
// end the loader's read phase, by file, line and field position.
#ifndef VENDRAKE_CHECK_INPUTCHECK_H_
#define VENDRAKE_CHECK_INPUTCHECK_H_

#include <string>

namespace vendrake {

// Runs the check for the directories of argv and returns the exit code: 0
// when all is well, 1 with warnings, 2 when the loader's read phase would
// fail or the command line is wrong, 3 when a column the loader reads is
// missing or a file has no data lines. version is what --version prints. A file changed less than
// VENDRAKE_SETTLE_SECONDS (default 60) ago is a warning.
int RunCheck(int argc, char** argv, const char* version);

}  // namespace vendrake

#endif  // VENDRAKE_CHECK_INPUTCHECK_H_
