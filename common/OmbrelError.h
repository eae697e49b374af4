#pragma once

#include <stdexcept>
#include <string>

namespace ombrel {

// A failed check deep inside an operation. The text is the message for the user; it is thrown where
// the check fails and shown once, by whoever runs the operation (the command's edge).
class OmbrelError : public std::runtime_error {
public:
    explicit OmbrelError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace ombrel
