#include "common/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace ombrel {

namespace {

// mkstemp creates its file with mode 0600; a result file should get the mode a plain fopen would
// give it. umask() cannot be read without setting it (a race in a threaded front end), so the
// process's mask is taken from /proc when it is there.
mode_t CreationMask() {
    mode_t mask = 022;
    FileHandle status;
    if (status.Open("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status.Get()) != nullptr) {
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8)) & 0777;
                break;
            }
        }
    }
    return mask;
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Open(const std::string& path) {
    Discard();
    struct stat existing {};
    mode_t mode = 0666 & ~CreationMask();
    if (::stat(path.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode) || ::access(path.c_str(), W_OK) != 0) return false;
        mode = existing.st_mode & 07777;
    }
    std::vector<char> name(path.begin(), path.end());
    static constexpr char kSuffix[] = ".tmpXXXXXX";
    name.insert(name.end(), kSuffix, kSuffix + sizeof kSuffix);  // includes the terminating NUL
    int descriptor = ::mkstemp(name.data());
    if (descriptor < 0) return false;
    temporaryPath_.assign(name.data());
    path_ = path;
    // A mode that cannot be set only leaves the file private to its owner; not worth failing for.
    if (::fchmod(descriptor, mode) != 0) errno = 0;
    file_ = FileHandle(::fdopen(descriptor, "wb"));
    if (!file_) {
        ::close(descriptor);
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
        return false;
    }
    return true;
}

bool AtomicFile::Complete(bool syncToDevice) {
    if (!file_) return completed_;
    bool ok = std::ferror(file_.Get()) == 0;
    ok = std::fflush(file_.Get()) == 0 && ok;
    if (ok && syncToDevice) ok = ::fsync(::fileno(file_.Get())) == 0;
    ok = file_.Close() && ok;
    if (!ok) Discard();
    completed_ = ok;
    return ok;
}

bool AtomicFile::Commit(bool syncToDevice) {
    if (!Complete(syncToDevice)) return false;
    completed_ = false;
    const bool ok = std::rename(temporaryPath_.c_str(), path_.c_str()) == 0;
    if (!ok) ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    return ok;
}

void AtomicFile::Discard() {
    file_.Close();
    completed_ = false;
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, bool syncToDevice) {
    AtomicFile file;
    if (!file.Open(path)) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.File()) != bytes.size()) {
        file.Discard();
        return false;
    }
    return file.Commit(syncToDevice);
}

void RemoveStaleTemporaryFiles(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string prefix = target.filename().string() + ".tmp";
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0 &&
            entry.is_regular_file(error))
            std::filesystem::remove(entry.path(), error);
    }
}

}  // namespace ombrel
