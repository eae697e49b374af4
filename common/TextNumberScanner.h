#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/TextSource.h"

namespace ombrel {

// Reads numbers from a text stream the way scanf's "%d" and "%lf" do, without scanf's undefined
// behaviour and independent of the locale: white space (line breaks included) is skipped, then the
// longest prefix that forms a number is taken, and whatever follows stays for the next read (so
// "-1.5-2.5" reads as two numbers, as two fixed-width fields that touch are meant to). A read fails,
// consuming nothing further, when no number starts there, at the end of the stream, when an integer
// does not fit int32, or when a number runs on for more than kMaxNumberLength characters.
class TextNumberScanner {
public:
    static constexpr size_t kMaxNumberLength = 400;

    // The source stays owned by the caller and is read from its current position.
    explicit TextNumberScanner(TextSource& source);
    // The same over a stdio stream, which stays owned by the caller.
    explicit TextNumberScanner(std::FILE* file);

    bool ReadInt(int32_t& value);    // "%d"
    bool ReadDouble(double& value);  // "%lf"
    bool SkipInt();                  // "%*d"
    // True when nothing but white space is left.
    bool AtEnd();

private:
    // Skips white space and makes at least kMaxNumberLength characters available unless the stream
    // ends first. False when the stream ended.
    bool PrepareNumber();
    bool Refill();

    std::unique_ptr<FileTextSource> fileSource_;
    TextSource* source_;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool streamEnded_ = false;
};

}  // namespace ombrel
