#pragma once

#include <string>
#include <vector>

namespace ombrel {

// Starting a program in a forked child: the child reports what failed before exec over a
// close-on-exec pipe (a successful exec closes it without a word), so the parent can tell the user
// before it waits on anything.

enum class ChildStep : int { Terminal = 0, Folder = 1, Exec = 2 };

struct ChildFailure {
    ChildStep step;
    int error;  // errno in the child
};

// The argv of execv: programPath, then the arguments, then a null pointer. The pointers point into
// storage, which must outlive them; built before fork, since the child may only make
// async-signal-safe calls.
std::vector<char*> ExecArguments(const std::string& programPath, const std::vector<std::string>& arguments,
                                 std::vector<std::string>& storage);

// In the child: sends step and errno over fd and ends the child with status 127. Async-signal-safe.
[[noreturn]] void FailInChild(int fd, ChildStep step);

// In the parent, once its copy of the pipe's write end is closed: reads the child's report until the
// pipe closes. True when the child reported a failure.
bool ReadChildFailure(int fd, ChildFailure& failure);

// Throws OmbrelError: "The program %s could not be started (%s)." with the error's text, or, for a
// failed change into workingFolder, "The program %s could not be started in the folder %s (%s).".
[[noreturn]] void ThrowStartFailure(const std::string& programPath, const std::string& workingFolder,
                                    ChildStep step, int error);

}  // namespace ombrel
