// The run driver: console set-up, settings, usage line, the run over the
// directories named on the command line, and the exception report.
#ifndef VENDRAKE_APP_VENDRAKE_H_
#define VENDRAKE_APP_VENDRAKE_H_

namespace vendrake {

// Runs the whole job and returns the process exit code: 0 when the run
// completed or printed its usage line, its help or its version (the only
// argument --help or --version); 1 when a statement failed for good, which
// is printed with its reason; 2 when an error was reported, or an argument
// that starts with - was refused before anything else was done.
int Run(int argc, char** argv, const char* version);

}  // namespace vendrake

#endif  // VENDRAKE_APP_VENDRAKE_H_
