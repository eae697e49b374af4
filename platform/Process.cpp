#include "platform/Process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "platform/ChildStart.h"

namespace ombrel {

namespace {

constexpr int kShieldedSignals[] = {SIGINT, SIGQUIT, SIGHUP};
constexpr int kShieldedCount = sizeof kShieldedSignals / sizeof kShieldedSignals[0];

}  // namespace

int RunProgram(const std::string& programPath, const std::vector<std::string>& arguments,
               const std::string& workingFolder, bool shieldInterrupts) {
    // Everything the child needs is built before fork: after it, only async-signal-safe calls.
    std::vector<std::string> argumentStorage;
    std::vector<char*> argv = ExecArguments(programPath, arguments, argumentStorage);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) ThrowStartFailure(programPath, workingFolder, ChildStep::Exec, errno);

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
        if (!workingFolder.empty() && chdir(workingFolder.c_str()) != 0) {
            FailInChild(pipeFds[1], ChildStep::Folder);
        }
        execv(argv[0], argv.data());
        FailInChild(pipeFds[1], ChildStep::Exec);
    }
    const int forkError = errno;
    close(pipeFds[1]);
    if (child < 0) {
        close(pipeFds[0]);
        restoreSignals();
        ThrowStartFailure(programPath, workingFolder, ChildStep::Exec, forkError);
    }

    ChildFailure failure{};
    const bool failed = ReadChildFailure(pipeFds[0], failure);
    close(pipeFds[0]);

    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    const int waitError = errno;
    restoreSignals();

    if (failed) ThrowStartFailure(programPath, workingFolder, failure.step, failure.error);
    if (waited < 0) {
        throw OmbrelError(Format("The end of the program %s could not be awaited (%s).", programPath.c_str(),
                                 std::strerror(waitError)));
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

}  // namespace ombrel
