#pragma once

#include <termios.h>

namespace ombrel {

// Process-wide record of what must be undone on the terminal when the process ends: screens whose
// cursor is hidden and keyboards whose line modes were changed. The record is a fixed table of
// lock-free slots, so RestoreTerminal can run inside a signal handler.
//
// Registration runs on the working thread only. The first registration also registers
// RestoreTerminal with std::atexit, so exit() after a fatal message leaves the terminal usable.

// Remembers that the cursor of the terminal on fd is hidden. Returns false when the table is full.
bool RegisterHiddenCursor(int fd);
void UnregisterHiddenCursor(int fd);

// Remembers the modes to put back on the terminal on fd. Returns false when the table is full.
bool RegisterSavedModes(int fd, const termios& modes);
void UnregisterSavedModes(int fd);

// Shows every hidden cursor and puts back every saved mode. Async-signal-safe: write() and
// tcsetattr() only. The registrations stay, so calling it twice does no harm.
void RestoreTerminal();

// Installs handlers for the signals that end the process abnormally (SIGABRT, SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGQUIT): they restore the terminal and then let the signal's previous action
// (a sanitizer's report or the default core dump) run.
void InstallCrashRestore();

}  // namespace ombrel
