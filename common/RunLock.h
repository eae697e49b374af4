#pragma once

#include <string>

namespace ombrel {

// While the estimator writes a study's results it holds an exclusive lock on the study's run lock
// file, so that a reader of the results (the desktop's results view) can tell a run in progress from
// files a run left behind: it must not read half-written histories. The lock is the kernel's
// (flock), so it ends with the process: a file left by a killed run is not locked and says nothing.
class StudyRunLock {
public:
    StudyRunLock() = default;
    ~StudyRunLock();
    StudyRunLock(const StudyRunLock&) = delete;
    StudyRunLock& operator=(const StudyRunLock&) = delete;

    // Creates path when needed and locks it. False when the file cannot be created or is locked by
    // another process; the run goes on without the lock then, as it did before there was one.
    bool Acquire(const std::string& path);
    // Removes the file and drops the lock (the destructor does it too).
    void Release();

private:
    int descriptor_ = -1;
    std::string path_;
};

// True when a process holds the lock of path: a run of the estimator is writing the study's results.
bool StudyRunInProgress(const std::string& path);

}  // namespace ombrel
