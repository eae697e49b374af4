#include "platform/Process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

constexpr int kShieldedSignals[] = {SIGINT, SIGQUIT, SIGHUP};
constexpr int kShieldedCount = sizeof kShieldedSignals / sizeof kShieldedSignals[0];

// What failed in the child before exec, sent back over a close-on-exec pipe: a successful exec
// closes the pipe without a word.
struct ChildFailure {
    int step;  // 0 chdir, 1 exec
    int error;
};

void WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

[[noreturn]] void FailInChild(int fd, int step) {
    ChildFailure failure{step, errno};
    WriteAll(fd, &failure, sizeof failure);
    _exit(127);
}

}  // namespace

int RunProgram(const std::string& programPath, const std::vector<std::string>& arguments,
               const std::string& workingFolder, bool shieldInterrupts) {
    // Everything the child needs is built before fork: after it, only async-signal-safe calls.
    std::vector<std::string> argumentCopies;
    argumentCopies.reserve(arguments.size() + 1);
    argumentCopies.push_back(programPath);
    argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentCopies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw OmbrelError(
            Format("The program %s could not be started (%s).", programPath.c_str(), std::strerror(errno)));
    }

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction previous[kShieldedCount] {};
    if (shieldInterrupts) {
        for (int i = 0; i < kShieldedCount; ++i) sigaction(kShieldedSignals[i], &ignore, &previous[i]);
    }
    auto restoreSignals = [&] {
        if (!shieldInterrupts) return;
        for (int i = 0; i < kShieldedCount; ++i) sigaction(kShieldedSignals[i], &previous[i], nullptr);
    };

    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        // Ignored signals stay ignored across exec; the program gets the dispositions we had.
        if (shieldInterrupts) {
            for (int i = 0; i < kShieldedCount; ++i) sigaction(kShieldedSignals[i], &previous[i], nullptr);
        }
        if (!workingFolder.empty() && chdir(workingFolder.c_str()) != 0) FailInChild(pipeFds[1], 0);
        execv(argv[0], argv.data());
        FailInChild(pipeFds[1], 1);
    }
    const int forkError = errno;
    close(pipeFds[1]);
    if (child < 0) {
        close(pipeFds[0]);
        restoreSignals();
        throw OmbrelError(Format("The program %s could not be started (%s).", programPath.c_str(),
                                 std::strerror(forkError)));
    }

    ChildFailure failure{};
    size_t received = 0;
    while (received < sizeof failure) {
        ssize_t count =
            read(pipeFds[0], reinterpret_cast<char*>(&failure) + received, sizeof failure - received);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        received += static_cast<size_t>(count);
    }
    close(pipeFds[0]);

    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    const int waitError = errno;
    restoreSignals();

    if (received == sizeof failure) {
        if (failure.step == 0) {
            throw OmbrelError(Format("The program %s could not be started in the folder %s (%s).",
                                     programPath.c_str(), workingFolder.c_str(),
                                     std::strerror(failure.error)));
        }
        throw OmbrelError(Format("The program %s could not be started (%s).", programPath.c_str(),
                                 std::strerror(failure.error)));
    }
    if (waited < 0) {
        throw OmbrelError(Format("The end of the program %s could not be awaited (%s).", programPath.c_str(),
                                 std::strerror(waitError)));
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

}  // namespace ombrel
