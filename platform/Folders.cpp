#include "platform/Folders.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/OmbrelError.h"

namespace ombrel {

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

std::string ProgramFolder() {
    // readlink does not say how long the name is, only that it filled the buffer: grow until not.
    std::string path(256, '\0');
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) {
            throw OmbrelError(std::string("The program folder could not be found (/proc/self/exe: ") +
                              std::strerror(errno) + ").");
        }
        if (static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            break;
        }
        if (path.size() >= (1u << 20))
            throw OmbrelError("The program folder could not be found (path too long).");
        path.resize(path.size() * 2);
    }
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        throw OmbrelError("The program folder could not be found (" + path + ").");
    return path.substr(0, slash + 1);
}

std::string SettingsFolder() { return ChooseSettingsFolder(ProgramFolder(), std::getenv("HOME")); }

std::string ChooseSettingsFolder(const std::string& programFolder, const char* home) {
    std::string program = WithSlash(programFolder);
    if (access(program.c_str(), W_OK) == 0) return program;

    if (home == nullptr || home[0] == '\0') {
        throw OmbrelError("No folder for the settings: the program folder " + program +
                          " is not writable and HOME is not set.");
    }
    std::string fallback = WithSlash(home) + ".config/ombrel/";
    std::error_code error;
    std::filesystem::create_directories(fallback, error);
    if (!error && !std::filesystem::is_directory(fallback, error)) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    if (!error && access(fallback.c_str(), W_OK) != 0)
        error = std::error_code(errno, std::generic_category());
    if (error) {
        throw OmbrelError("No folder for the settings: the program folder " + program +
                          " is not writable and the folder " + fallback + " could not be created (" +
                          error.message() + ").");
    }
    return fallback;
}

}  // namespace ombrel
