// The program's console. Every line ends with CR LF and goes to the
// operating system in one write(2), so nothing waits in a user-space buffer
// when the process ends or halts. Every write and read is checked; a failure
// raises EInOutError.
#ifndef VENDRAKE_APP_CONSOLE_H_
#define VENDRAKE_APP_CONSOLE_H_

#include <string_view>

namespace vendrake {

// Checks that standard error, then standard output, are open for writing.
// A closed pipe then shows as a failed write instead of killing the process.
void OpenConsole();

void WriteOutputLine(std::string_view line);
void WriteErrorLine(std::string_view line);

// Reads one line from standard input: up to LF, CR LF or the end of input,
// at which it returns at once.
void ReadInputLine();

}  // namespace vendrake

#endif  // VENDRAKE_APP_CONSOLE_H_
