#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "common/TextSource.h"

namespace ombrel::test {

// Hands out the text, then fails as a device error would: the reader sees an end, Failed() tells it
// was none.
class FailingTextSource final : public TextSource {
public:
    explicit FailingTextSource(std::string text) : text_(std::move(text)) {}
    bool Failed() const override { return position_ == text_.size(); }

protected:
    size_t Fill(char* buffer, size_t capacity) override {
        const size_t count = std::min(capacity, text_.size() - position_);
        std::memcpy(buffer, text_.data() + position_, count);
        position_ += count;
        return count;
    }

private:
    std::string text_;
    size_t position_ = 0;
};

}  // namespace ombrel::test
