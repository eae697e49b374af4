#include "common/TextNumberScanner.h"

#include <charconv>
#include <cstring>
#include <system_error>

#include "common/TextConversion.h"

namespace ombrel {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

TextNumberScanner::TextNumberScanner(TextSource& source) : source_(&source), buffer_(kBufferSize) {}

TextNumberScanner::TextNumberScanner(std::FILE* file)
    : fileSource_(std::make_unique<FileTextSource>(file)), source_(fileSource_.get()), buffer_(kBufferSize) {}

bool TextNumberScanner::Refill() {
    if (streamEnded_) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    size_t count = source_->Read(buffer_.data() + end_, buffer_.size() - end_);
    if (count == 0) streamEnded_ = true;
    end_ += count;
    return count > 0;
}

bool TextNumberScanner::PrepareNumber() {
    for (;;) {
        while (begin_ < end_ && IsBlank(buffer_[begin_])) ++begin_;
        if (begin_ < end_) break;
        if (!Refill()) return false;
    }
    while (end_ - begin_ < kMaxNumberLength && Refill()) {
    }
    return true;
}

bool TextNumberScanner::ReadInt(int32_t& value) {
    if (!PrepareNumber()) return false;
    const char* first = buffer_.data() + begin_;
    const char* last = buffer_.data() + end_;
    const char* start = first;
    if (start < last && *start == '+') {  // from_chars takes only a minus sign
        ++start;
        if (start < last && *start == '-') return false;
    }
    int32_t parsed = 0;
    auto [ptr, error] = std::from_chars(start, last, parsed);
    if (error != std::errc()) return false;
    if (ptr == last && !streamEnded_) return false;  // runs on past the window: not a sane number
    value = parsed;
    begin_ += static_cast<size_t>(ptr - first);
    return true;
}

bool TextNumberScanner::SkipInt() {
    int32_t ignored = 0;
    return ReadInt(ignored);
}

bool TextNumberScanner::ReadDouble(double& value) {
    if (!PrepareNumber()) return false;
    const char* first = buffer_.data() + begin_;
    const char* last = buffer_.data() + end_;
    const char* start = first;
    if (start < last && *start == '+') {
        ++start;
        if (start < last && *start == '-') return false;
    }
    double parsed = 0.0;
    auto [ptr, error] = std::from_chars(start, last, parsed, std::chars_format::general);
    if (error != std::errc()) return false;
    if (ptr == last && !streamEnded_) return false;
    value = parsed;
    begin_ += static_cast<size_t>(ptr - first);
    return true;
}

bool TextNumberScanner::AtEnd() { return !PrepareNumber(); }

}  // namespace ombrel
