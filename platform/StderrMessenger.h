#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "common/Messenger.h"

namespace ombrel {

// Messages of batch and headless runs: "Feldrin Software Ombrel: <message>" and a line end on
// standard error (or the stream given). Nobody can answer a question here, so Ask writes it the same
// way and returns a fixed answer: the one given at construction when the question offers it,
// otherwise the safe one (Cancel, No for a Yes/No question, Ok for an OK message).
class StderrMessenger : public Messenger {
public:
    explicit StderrMessenger(std::FILE* stream = stderr, std::optional<Answer> answer = std::nullopt);

    void Show(const std::string& text, MessageIcon icon) override;
    Answer Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) override;

private:
    void Write(const std::string& text);

    std::FILE* stream_;
    std::optional<Answer> answer_;
};

}  // namespace ombrel
