#pragma once

// Binary files of the system (the prepared data file, the scratch file, the estimator's draw files)
// are little-endian int32 and IEEE-754 float64 with no header. They are written and read through
// these small sink and source interfaces so that tests can use memory or a stream that fails.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/FileHandle.h"

namespace ombrel {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all bytes or returns false.
    virtual bool Write(const void* data, size_t size) = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes; returns how many were read (fewer only at the end or on an error).
    virtual size_t Read(void* data, size_t size) = 0;
    // Goes back to the first byte; returns false when that is not possible.
    virtual bool Rewind() = 0;
};

// Little-endian encoding, independent of the host's byte order.
void EncodeInt32(int32_t value, unsigned char out[4]);
void EncodeFloat64(double value, unsigned char out[8]);
int32_t DecodeInt32(const unsigned char in[4]);
double DecodeFloat64(const unsigned char in[8]);

bool WriteInt32(ByteSink& sink, int32_t value);
bool WriteFloat64(ByteSink& sink, double value);
// Reads one value; false when the source ended (or failed) before all its bytes.
bool ReadInt32(ByteSource& source, int32_t& value);
bool ReadFloat64(ByteSource& source, double& value);
// Reads count float64 values in one read.
bool ReadFloat64Run(ByteSource& source, double* values, size_t count);

// A binary file opened through stdio. Owns the FILE handle.
class FileByteStream : public ByteSink, public ByteSource {
public:
    FileByteStream() = default;
    ~FileByteStream() override;
    FileByteStream(const FileByteStream&) = delete;
    FileByteStream& operator=(const FileByteStream&) = delete;

    // mode as for fopen ("wb", "rb", "w+b", ...). Returns false when the file cannot be opened.
    bool Open(const std::string& path, const char* mode);
    bool IsOpen() const { return static_cast<bool>(file_); }
    // Gives the open file a stdio buffer of this many bytes (call before the first read or write).
    bool SetBufferSize(size_t size);
    // Flushes and closes; false when the flush failed (a full device shows up here).
    bool Close();

    bool Write(const void* data, size_t size) override;
    size_t Read(void* data, size_t size) override;
    bool Rewind() override;

private:
    std::vector<char> buffer_;  // before file_: the stream may use it until it is closed
    FileHandle file_;
};

// Bytes in memory: a sink that collects them, a source that hands them out.
class MemoryByteSink : public ByteSink {
public:
    bool Write(const void* data, size_t size) override;
    const std::vector<unsigned char>& Bytes() const { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
};

class MemoryByteSource : public ByteSource {
public:
    explicit MemoryByteSource(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
    size_t Read(void* data, size_t size) override;
    bool Rewind() override;

private:
    std::vector<unsigned char> bytes_;
    size_t position_ = 0;
};

}  // namespace ombrel
