#pragma once

#include <string>

namespace ombrel {

// A folder of one's own under parent, removed with its contents when this ends: several estimations
// may run at once, each giving its estimator a names file of its own. Throws OmbrelError when it
// cannot be created.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::string& parent);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace ombrel
