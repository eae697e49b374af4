#pragma once

namespace ombrel {

// The stop request of the estimator (its `closeRequested`): set by SIGHUP (the terminal is
// closed), SIGTERM and the first SIGINT, and nothing else, so that the iteration loop stops after
// the current iteration and still writes the restart file. A second SIGINT restores the terminal and
// ends the process at once with status 130.
//
// Also ignores SIGPIPE, so that a reader that went away does not end a run before its restart file
// is written, and installs InstallCrashRestore's handlers, so that no exit leaves the terminal
// without its cursor or echo.
void InstallStopHandlers();

// True once a stop was requested. Safe to call at any time, handlers installed or not.
bool StopRequested();

// Clears the stop request and the count of SIGINTs (for tests, and for a program that goes on after
// handling a stop).
void ResetStopFlag();

}  // namespace ombrel
