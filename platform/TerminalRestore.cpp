#include "platform/TerminalRestore.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iterator>

namespace ombrel {

namespace {

constexpr int kSlotCount = 8;

static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers need lock-free flags");

// A slot is written by the working thread while inactive and published by setting `active`;
// the handler reads only active slots.
struct CursorSlot {
    std::atomic<bool> active;
    int fd;
};

struct ModeSlot {
    std::atomic<bool> active;
    int fd;
    termios modes;
};

CursorSlot cursorSlots[kSlotCount];
ModeSlot modeSlots[kSlotCount];
bool atExitRegistered = false;

void RestoreAtExit() { RestoreTerminal(); }

void EnsureAtExit() {
    if (atExitRegistered) return;
    atExitRegistered = std::atexit(RestoreAtExit) == 0;
}

void WriteAll(int fd, const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}

constexpr int kCrashSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGQUIT};
struct sigaction previousCrashActions[std::size(kCrashSignals)];
bool crashRestoreInstalled = false;

void CrashHandler(int signal, siginfo_t* info, void*) {
    int savedErrno = errno;
    RestoreTerminal();
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
        if (kCrashSignals[i] == signal) sigaction(signal, &previousCrashActions[i], nullptr);
    }
    // A fault raised by the processor repeats when the handler returns and then meets the previous
    // action; a signal sent by someone has to be sent again.
    if (info == nullptr || info->si_code <= 0) raise(signal);
    errno = savedErrno;
}

}  // namespace

bool RegisterHiddenCursor(int fd) {
    EnsureAtExit();
    for (CursorSlot& slot : cursorSlots) {
        if (slot.active.load() && slot.fd == fd) return true;
    }
    for (CursorSlot& slot : cursorSlots) {
        if (!slot.active.load()) {
            slot.fd = fd;
            slot.active.store(true);
            return true;
        }
    }
    return false;
}

void UnregisterHiddenCursor(int fd) {
    for (CursorSlot& slot : cursorSlots) {
        if (slot.active.load() && slot.fd == fd) slot.active.store(false);
    }
}

bool RegisterSavedModes(int fd, const termios& modes) {
    EnsureAtExit();
    // The first saved modes of a terminal are its original ones; a second keyboard on the same
    // terminal must not replace them with the changed modes.
    for (ModeSlot& slot : modeSlots) {
        if (slot.active.load() && slot.fd == fd) return true;
    }
    for (ModeSlot& slot : modeSlots) {
        if (!slot.active.load()) {
            slot.fd = fd;
            slot.modes = modes;
            slot.active.store(true);
            return true;
        }
    }
    return false;
}

void UnregisterSavedModes(int fd) {
    for (ModeSlot& slot : modeSlots) {
        if (slot.active.load() && slot.fd == fd) slot.active.store(false);
    }
}

void RestoreTerminal() {
    static const char kShowCursor[] = "\x1b[?25h";
    for (CursorSlot& slot : cursorSlots) {
        if (slot.active.load()) WriteAll(slot.fd, kShowCursor, sizeof kShowCursor - 1);
    }
    for (ModeSlot& slot : modeSlots) {
        if (slot.active.load()) tcsetattr(slot.fd, TCSANOW, &slot.modes);
    }
}

void InstallCrashRestore() {
    if (crashRestoreInstalled) return;
    struct sigaction action {};
    action.sa_sigaction = CrashHandler;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
        sigaction(kCrashSignals[i], &action, &previousCrashActions[i]);
    }
    crashRestoreInstalled = true;
}

}  // namespace ombrel
