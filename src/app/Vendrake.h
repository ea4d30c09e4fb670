// The run driver: console set-up, settings, usage line, the run over the
// directories named on the command line, and the exception report.
#ifndef VENDRAKE_APP_VENDRAKE_H_
#define VENDRAKE_APP_VENDRAKE_H_

namespace vendrake {

// Runs the whole job and returns the process exit code: 0 when the run
// completed or printed its usage line, its help or its version (the only
// argument --help or --version), 2 when an error was reported. A statement
// the server rejects ends the process with exit code 1 instead.
int Run(int argc, char** argv, const char* version);

}  // namespace vendrake

#endif  // VENDRAKE_APP_VENDRAKE_H_
