#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrel {

// The size a terminal reports to its program (TIOCGWINSZ). The estimator centres its window only
// when both pixel sizes are not 0.
struct TerminalSize {
    int rows = 25;
    int columns = 80;
    int pixelWidth = 0;
    int pixelHeight = 0;
};

// A program running on a pseudo-terminal of its own: the console of the estimator when the front end
// starts it. The program is the leader of a new session whose controlling terminal is the slave
// side; we hold the master side, read what the program writes and type into it.
//
// Closing the master side hangs the terminal up: the kernel sends SIGHUP to the program, which is
// the estimator's close event (it stops after the current iteration and writes its restart file).
//
// Single-threaded use; one object per program. The destructor never leaves a zombie: it closes the
// master side, waits a few seconds for the program to end, then kills it.
class PseudoTerminal {
public:
    enum class ReadStatus {
        Data,     // bytes were appended
        Nothing,  // nothing waiting now
        End,      // the program's side is closed (the program ended) or the master side was closed
    };

    // Starts programPath with the arguments (argv[0] is programPath; no shell) in workingFolder (empty:
    // the current directory). The child gets default signal dispositions, an empty signal mask and no
    // descriptors of ours beyond 0 to 2. Throws OmbrelError naming the program when it cannot be
    // started (missing, not executable, the folder unusable, no terminal to be had); the failure is
    // known before the constructor returns, so nobody waits on a program that never ran.
    PseudoTerminal(const std::string& programPath, const std::vector<std::string>& arguments,
                   const std::string& workingFolder, const TerminalSize& size);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The master descriptor (non-blocking) to watch for output; -1 once closed.
    int MasterFd() const { return master_; }
    pid_t ProcessId() const { return child_; }

    // Appends at most maxBytes of what the program wrote, without blocking.
    ReadStatus Read(std::string& output, size_t maxBytes = 65536);
    // Types bytes into the program's terminal. Returns how many were taken: a full input queue (a
    // program that reads no keys) drops the rest, as a terminal does; nothing is taken once closed.
    size_t Write(std::string_view bytes);
    // New size; the kernel tells the program with SIGWINCH.
    void Resize(const TerminalSize& size);

    // Closes the master side (the program gets SIGHUP). Further reads report End.
    void Close();
    bool IsOpen() const { return master_ >= 0; }

    // Looks, without blocking, whether the program has ended; reaps it when it has.
    bool PollExit();
    bool HasExited() const { return exitStatus_.has_value(); }
    // Exit code, or 128 + the signal that ended it, or -1 when it was reaped elsewhere (SIGCHLD
    // ignored); nothing while it runs.
    std::optional<int> ExitStatus() const { return exitStatus_; }
    // Ends the program at once (SIGKILL), for a program that ignores the hang-up.
    void Kill();

private:
    int master_ = -1;
    pid_t child_ = -1;
    std::optional<int> exitStatus_;
};

}  // namespace ombrel
