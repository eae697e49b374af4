#include "common/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace ombrel {

StudyRunLock::~StudyRunLock() { Release(); }

bool StudyRunLock::Acquire(const std::string& path) {
    Release();
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) return false;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return false;
    }
    descriptor_ = descriptor;
    path_ = path;
    return true;
}

void StudyRunLock::Release() {
    if (descriptor_ < 0) return;
    // Removed while still locked, so that no reader finds the file unlocked before it goes.
    ::unlink(path_.c_str());
    ::close(descriptor_);
    descriptor_ = -1;
    path_.clear();
}

bool StudyRunInProgress(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    int result = 0;
    do {
        result = ::flock(descriptor, LOCK_SH | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    const bool locked = result != 0 && errno == EWOULDBLOCK;
    ::close(descriptor);
    return locked;
}

}  // namespace ombrel
