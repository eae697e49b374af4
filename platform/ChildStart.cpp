#include "platform/ChildStart.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

std::vector<char*> ExecArguments(const std::string& programPath, const std::vector<std::string>& arguments,
                                 std::vector<std::string>& storage) {
    storage.clear();
    storage.reserve(arguments.size() + 1);
    storage.push_back(programPath);
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (std::string& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return argv;
}

void FailInChild(int fd, ChildStep step) {
    const ChildFailure failure{step, errno};
    const char* bytes = reinterpret_cast<const char*>(&failure);
    size_t size = sizeof failure;
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    _exit(127);
}

bool ReadChildFailure(int fd, ChildFailure& failure) {
    size_t received = 0;
    while (received < sizeof failure) {
        const ssize_t count =
            read(fd, reinterpret_cast<char*>(&failure) + received, sizeof failure - received);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        received += static_cast<size_t>(count);
    }
    return received == sizeof failure;
}

void ThrowStartFailure(const std::string& programPath, const std::string& workingFolder, ChildStep step,
                       int error) {
    if (step == ChildStep::Folder) {
        throw OmbrelError(Format("The program %s could not be started in the folder %s (%s).",
                                 programPath.c_str(), workingFolder.c_str(), std::strerror(error)));
    }
    throw OmbrelError(
        Format("The program %s could not be started (%s).", programPath.c_str(), std::strerror(error)));
}

}  // namespace ombrel
