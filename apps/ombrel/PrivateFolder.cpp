#include "apps/ombrel/PrivateFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace fs = std::filesystem;

PrivateFolder::PrivateFolder(const std::string& parent) {
    std::string pattern = (fs::path(parent) / "ombrel-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw OmbrelError(Format("No private working folder could be created in %s (%s).", parent.c_str(),
                                 std::strerror(errno)));
    }
    path_ = buffer.data();
}

PrivateFolder::~PrivateFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

}  // namespace ombrel
