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

namespace ombrel {

// A failure whose message the estimator writes as plain text on its console instead of showing it in
// a message box (the result writers' file errors).
class ConsoleError : public OmbrelError {
public:
    using OmbrelError::OmbrelError;
};

}  // namespace ombrel
