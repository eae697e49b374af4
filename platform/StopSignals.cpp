#include "platform/StopSignals.h"

#include <unistd.h>

#include <atomic>
#include <csignal>

#include "platform/TerminalRestore.h"

namespace ombrel {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "signal handlers need lock-free flags");

std::atomic<bool> stopRequested{false};
std::atomic<int> interruptCount{0};

void StopHandler(int signal) {
    if (signal == SIGINT && interruptCount.fetch_add(1) >= 1) {
        RestoreTerminal();
        _exit(130);
    }
    stopRequested.store(true);
}

}  // namespace

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = StopHandler;
    // Blocking the other stop signals keeps two of them from interleaving inside the handler.
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGHUP);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGINT);
    action.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);

    InstallCrashRestore();
}

bool StopRequested() { return stopRequested.load(); }

void ResetStopFlag() {
    interruptCount.store(0);
    stopRequested.store(false);
}

}  // namespace ombrel
