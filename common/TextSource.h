#pragma once

// Every text file of a study (the input files, the prepared label file, settings, constraints, the
// custom prior, the restart file, saved draws) is parsed from a TextSource, so that one reader runs on
// a file and on text in memory alike: tests and fuzzers feed it memory, the programs a file.

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "common/FileHandle.h"

namespace ombrel {

class TextSource {
public:
    static constexpr int kEnd = -1;

    virtual ~TextSource() = default;

    // The next byte (0 to 255), or kEnd at the end of the text or on a read error.
    int Get();
    // The next byte without taking it, or kEnd.
    int Peek();
    // Gives back one byte (the last one Get returned) to be read again, as ungetc does; one at a time.
    void Unget(int byte);
    // Up to size bytes; fewer only at the end or on a read error.
    size_t Read(char* data, size_t size);
    // The bytes up to the next "\n" (not included; a "\r" before it stays). False, with line empty,
    // when the text has ended.
    bool ReadLine(std::string& line);
    // True when nothing is left to read.
    bool AtEnd() { return Peek() == kEnd; }
    // True after a read error, as opposed to the end of the text.
    virtual bool Failed() const { return false; }

protected:
    // Fills up to capacity bytes; 0 at the end or on an error.
    virtual size_t Fill(char* buffer, size_t capacity) = 0;

private:
    bool Refill();

    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    int pushedBack_ = kEnd;
    bool ended_ = false;
};

// Text in memory.
class MemoryTextSource final : public TextSource {
public:
    explicit MemoryTextSource(std::string text) : text_(std::move(text)) {}

protected:
    size_t Fill(char* buffer, size_t capacity) override;

private:
    std::string text_;
    size_t position_ = 0;
};

// A stdio stream, read from its current position. Owns the stream when given a FileHandle.
class FileTextSource final : public TextSource {
public:
    explicit FileTextSource(std::FILE* borrowed) : file_(borrowed) {}
    explicit FileTextSource(FileHandle owned) : owned_(std::move(owned)), file_(owned_.Get()) {}

    bool Failed() const override { return file_ == nullptr || std::ferror(file_) != 0; }

protected:
    size_t Fill(char* buffer, size_t capacity) override;

private:
    FileHandle owned_;
    std::FILE* file_;
};

}  // namespace ombrel
