#include "platform/PseudoTerminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "platform/ChildStart.h"

namespace ombrel {

namespace {

// How long the destructor lets a hung-up program take to end before it is killed.
constexpr int kHangupGraceMs = 3000;
constexpr int kReapSliceMs = 10;

winsize ToWinsize(const TerminalSize& size) {
    auto clamp16 = [](int value) { return static_cast<unsigned short>(std::clamp(value, 0, 65535)); };
    winsize window{};
    window.ws_row = clamp16(size.rows);
    window.ws_col = clamp16(size.columns);
    window.ws_xpixel = clamp16(size.pixelWidth);
    window.ws_ypixel = clamp16(size.pixelHeight);
    return window;
}

int StatusCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

void SleepMs(int ms) {
    timespec pause{0, static_cast<long>(ms) * 1000000L};
    nanosleep(&pause, nullptr);
}

// Everything the child does between fork and exec: async-signal-safe calls only (the front end has
// other threads).
[[noreturn]] void RunChild(int slave, int reportFd, const char* folder, char* const* argv, int highestFd) {
    // Handlers are reset by exec anyway; ignored signals would stay ignored, so every disposition is
    // made the default before the mask (blocked around fork) is cleared.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) sigaction(signal, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    if (setsid() < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) FailInChild(reportFd, ChildStep::Terminal);
    for (int fd = 0; fd <= 2; ++fd) {
        if (dup2(slave, fd) < 0) FailInChild(reportFd, ChildStep::Terminal);
    }
    if (slave > 2) close(slave);
    if (folder[0] != '\0' && chdir(folder) != 0) FailInChild(reportFd, ChildStep::Folder);

    // Nothing of ours beyond 0 to 2 reaches the program. Marked close-on-exec rather than closed, so
    // that the report pipe stays usable until exec.
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd <= highestFd; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    execv(argv[0], argv);
    FailInChild(reportFd, ChildStep::Exec);
}

}  // namespace

PseudoTerminal::PseudoTerminal(const std::string& programPath, const std::vector<std::string>& arguments,
                               const std::string& workingFolder, const TerminalSize& size) {
    // Everything the child needs is built before fork.
    std::vector<std::string> argumentStorage;
    std::vector<char*> argv = ExecArguments(programPath, arguments, argumentStorage);
    long openMax = sysconf(_SC_OPEN_MAX);
    const int highestFd = openMax > 0 ? static_cast<int>(std::min(openMax, 65536L)) - 1 : 1023;

    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) ThrowStartFailure(programPath, workingFolder, ChildStep::Exec, errno);
    char slaveName[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, slaveName, sizeof slaveName) != 0) {
        const int error = errno;
        close(master);
        ThrowStartFailure(programPath, workingFolder, ChildStep::Exec, error);
    }
    const winsize window = ToWinsize(size);
    ioctl(master, TIOCSWINSZ, &window);
    int slave = open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    int pipeFds[2] = {-1, -1};
    if (slave < 0 || pipe2(pipeFds, O_CLOEXEC) != 0) {
        const int error = errno;
        if (slave >= 0) close(slave);
        close(master);
        ThrowStartFailure(programPath, workingFolder, ChildStep::Exec, error);
    }

    sigset_t all;
    sigset_t previousMask;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previousMask);
    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        close(master);
        RunChild(slave, pipeFds[1], workingFolder.c_str(), argv.data(), highestFd);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    // The slave stays open only in the child, so that its end shows as the end of output.
    close(slave);
    close(pipeFds[1]);
    if (child < 0) {
        close(pipeFds[0]);
        close(master);
        ThrowStartFailure(programPath, workingFolder, ChildStep::Exec, forkError);
    }

    ChildFailure failure{};
    const bool failed = ReadChildFailure(pipeFds[0], failure);
    close(pipeFds[0]);
    if (failed) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        close(master);
        ThrowStartFailure(programPath, workingFolder, failure.step, failure.error);
    }

    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = master;
    child_ = child;
}

PseudoTerminal::~PseudoTerminal() {
    Close();
    for (int waited = 0; !PollExit() && waited < kHangupGraceMs; waited += kReapSliceMs)
        SleepMs(kReapSliceMs);
    Kill();
}

PseudoTerminal::ReadStatus PseudoTerminal::Read(std::string& output, size_t maxBytes) {
    if (master_ < 0) return ReadStatus::End;
    char buffer[16384];
    size_t total = 0;
    while (total < maxBytes) {
        const size_t want = std::min(sizeof buffer, maxBytes - total);
        ssize_t count = read(master_, buffer, want);
        if (count > 0) {
            output.append(buffer, static_cast<size_t>(count));
            total += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return total > 0 ? ReadStatus::Data : ReadStatus::Nothing;
        // 0 or EIO: every slave descriptor is closed, the program has gone. What was read before
        // counts first; the next call reports the end.
        return total > 0 ? ReadStatus::Data : ReadStatus::End;
    }
    return ReadStatus::Data;
}

size_t PseudoTerminal::Write(std::string_view bytes) {
    if (master_ < 0) return 0;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(master_, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return done;
}

void PseudoTerminal::Resize(const TerminalSize& size) {
    if (master_ < 0) return;
    const winsize window = ToWinsize(size);
    ioctl(master_, TIOCSWINSZ, &window);
}

void PseudoTerminal::Close() {
    if (master_ < 0) return;
    close(master_);
    master_ = -1;
}

bool PseudoTerminal::PollExit() {
    if (exitStatus_) return true;
    if (child_ <= 0) return false;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(child_, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == child_) {
        exitStatus_ = StatusCode(status);
    } else if (done < 0) {
        // Reaped by someone else (SIGCHLD ignored): gone, its status lost.
        exitStatus_ = -1;
    }
    return exitStatus_.has_value();
}

void PseudoTerminal::Kill() {
    if (child_ <= 0 || PollExit()) return;
    // Its process group too: whatever it started on the terminal goes with it.
    kill(-child_, SIGKILL);
    kill(child_, SIGKILL);
    int status = 0;
    pid_t done;
    do {
        done = waitpid(child_, &status, 0);
    } while (done < 0 && errno == EINTR);
    exitStatus_ = done == child_ ? StatusCode(status) : -1;
}

}  // namespace ombrel
