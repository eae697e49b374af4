#include "common/ByteStream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace ombrel {

void EncodeInt32(int32_t value, unsigned char out[4]) {
    uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

void EncodeFloat64(double value, unsigned char out[8]) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

int32_t DecodeInt32(const unsigned char in[4]) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

double DecodeFloat64(const unsigned char in[8]) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(in[i]) << (8 * i);
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool WriteInt32(ByteSink& sink, int32_t value) {
    unsigned char bytes[4];
    EncodeInt32(value, bytes);
    return sink.Write(bytes, sizeof bytes);
}

bool WriteFloat64(ByteSink& sink, double value) {
    unsigned char bytes[8];
    EncodeFloat64(value, bytes);
    return sink.Write(bytes, sizeof bytes);
}

bool ReadInt32(ByteSource& source, int32_t& value) {
    unsigned char bytes[4];
    if (source.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    value = DecodeInt32(bytes);
    return true;
}

bool ReadFloat64(ByteSource& source, double& value) {
    unsigned char bytes[8];
    if (source.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    value = DecodeFloat64(bytes);
    return true;
}

bool ReadFloat64Run(ByteSource& source, double* values, size_t count) {
    const size_t size = count * sizeof(double);
    if (source.Read(values, size) != size) return false;
    if constexpr (std::endian::native != std::endian::little) {
        unsigned char* bytes = reinterpret_cast<unsigned char*>(values);
        for (size_t i = 0; i < count; ++i) {
            unsigned char copy[8];
            std::memcpy(copy, bytes + 8 * i, 8);
            values[i] = DecodeFloat64(copy);
        }
    }
    return true;
}

// Closed before the buffer it may have been given goes away.
FileByteStream::~FileByteStream() { Close(); }

bool FileByteStream::Open(const std::string& path, const char* mode) {
    Close();
    return file_.Open(path, mode);
}

bool FileByteStream::Close() { return file_.Close(); }

bool FileByteStream::SetBufferSize(size_t size) {
    if (!file_) return false;
    buffer_.resize(size);
    return std::setvbuf(file_.Get(), buffer_.data(), _IOFBF, buffer_.size()) == 0;
}

bool FileByteStream::Write(const void* data, size_t size) {
    if (!file_) return false;
    return std::fwrite(data, 1, size, file_.Get()) == size;
}

size_t FileByteStream::Read(void* data, size_t size) {
    if (!file_) return 0;
    return std::fread(data, 1, size, file_.Get());
}

bool FileByteStream::Rewind() {
    if (!file_) return false;
    return std::fseek(file_.Get(), 0, SEEK_SET) == 0;
}

bool MemoryByteSink::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + size);
    return true;
}

size_t MemoryByteSource::Read(void* data, size_t size) {
    size_t available = bytes_.size() - position_;
    size_t count = std::min(size, available);
    if (count > 0) std::memcpy(data, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

bool MemoryByteSource::Rewind() {
    position_ = 0;
    return true;
}

}  // namespace ombrel
