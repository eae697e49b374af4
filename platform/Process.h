#pragma once

#include <string>
#include <vector>

namespace ombrel {

// Starts programPath with the given arguments (argv[0] is programPath itself; no shell, so every
// argument reaches the program as it is) in workingFolder, waits for it to end without a time
// limit, and returns its exit status: its exit code, or 128 + the number of the signal that ended it.
// Throws OmbrelError naming the program when it cannot be started (missing, not executable, the
// working folder unusable, no process to be had).
//
// With shieldInterrupts, SIGINT, SIGQUIT and SIGHUP are ignored by the caller while it waits (the
// program itself keeps their usual handling): a Ctrl+C or a closed terminal reaches the program,
// which can stop in its own way, and the caller lives on to tidy up after it.
int RunProgram(const std::string& programPath, const std::vector<std::string>& arguments,
               const std::string& workingFolder, bool shieldInterrupts = false);

}  // namespace ombrel
