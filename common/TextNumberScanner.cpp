#include "common/TextNumberScanner.h"

#include <charconv>
#include <cstring>
#include <system_error>

#include "common/TextConversion.h"

namespace ombrel {

namespace {

constexpr size_t kBufferSize = 64 * 1024;
// Digits of a number that a message quotes whole; a longer one is cut, marked by "...".
constexpr size_t kQuotedDigits = 40;

std::string NumberTooLargeMessage(const std::string& fileName, std::string_view number) {
    const std::string quoted = number.size() <= kQuotedDigits
                                   ? std::string(number)
                                   : std::string(number.substr(0, kQuotedDigits)) + "...";
    return Format("The number %s in %s does not fit a 32-bit integer (-2147483648 to 2147483647).",
                  quoted.c_str(), fileName.c_str());
}

}  // namespace

NumberTooLargeError::NumberTooLargeError(const std::string& fileName, std::string_view number)
    : OmbrelError(NumberTooLargeMessage(fileName, number)) {}

int32_t CheckedLeadingInt(std::string_view text, const std::string& fileName) {
    const std::string_view beyond = LeadingIntBeyondRange(text);
    if (!beyond.empty()) throw NumberTooLargeError(fileName, beyond);
    return LeadingInt(text);
}

TextNumberScanner::TextNumberScanner(TextSource& source, std::string fileName)
    : source_(&source), fileName_(std::move(fileName)), buffer_(kBufferSize) {}

TextNumberScanner::TextNumberScanner(std::FILE* file, std::string fileName)
    : fileSource_(std::make_unique<FileTextSource>(file)),
      source_(fileSource_.get()),
      fileName_(std::move(fileName)),
      buffer_(kBufferSize) {}

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
    // Digits beyond int32 are too large however far they run on past the window.
    if (error == std::errc::result_out_of_range)
        throw NumberTooLargeError(fileName_, std::string_view(first, static_cast<size_t>(ptr - first)));
    if (ptr == last && !streamEnded_) return false;  // runs on past the window: not a sane number
    if (error != std::errc()) return false;
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
