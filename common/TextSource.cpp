#include "common/TextSource.h"

#include <algorithm>
#include <cstring>

namespace ombrel {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

bool TextSource::Refill() {
    if (ended_) return false;
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    begin_ = 0;
    end_ = Fill(buffer_.data(), buffer_.size());
    if (end_ == 0) ended_ = true;
    return end_ > 0;
}

int TextSource::Get() {
    if (pushedBack_ != kEnd) {
        const int byte = pushedBack_;
        pushedBack_ = kEnd;
        return byte;
    }
    if (begin_ == end_ && !Refill()) return kEnd;
    return static_cast<unsigned char>(buffer_[begin_++]);
}

int TextSource::Peek() {
    const int byte = Get();
    if (byte != kEnd) Unget(byte);
    return byte;
}

void TextSource::Unget(int byte) {
    if (byte != kEnd) pushedBack_ = byte & 0xff;
}

size_t TextSource::Read(char* data, size_t size) {
    size_t done = 0;
    if (size > 0 && pushedBack_ != kEnd) {
        data[done++] = static_cast<char>(pushedBack_);
        pushedBack_ = kEnd;
    }
    while (done < size) {
        if (begin_ == end_ && !Refill()) break;
        const size_t count = std::min(size - done, end_ - begin_);
        std::memcpy(data + done, buffer_.data() + begin_, count);
        begin_ += count;
        done += count;
    }
    return done;
}

bool TextSource::ReadLine(std::string& line) {
    line.clear();
    int byte = Get();
    if (byte == kEnd) return false;
    for (; byte != kEnd && byte != '\n'; byte = Get()) line.push_back(static_cast<char>(byte));
    return true;
}

size_t MemoryTextSource::Fill(char* buffer, size_t capacity) {
    const size_t count = std::min(capacity, text_.size() - position_);
    std::memcpy(buffer, text_.data() + position_, count);
    position_ += count;
    return count;
}

size_t FileTextSource::Fill(char* buffer, size_t capacity) {
    if (file_ == nullptr) return 0;
    return std::fread(buffer, 1, capacity, file_);
}

}  // namespace ombrel
