#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/OmbrelError.h"
#include "common/TextSource.h"

namespace ombrel {

// A number of a user file that does not fit the 32-bit integer it is read into. It is refused, never
// wrapped, saturated or taken for the end of the file: a respondent 4294967297 is not respondent 1.
class NumberTooLargeError : public OmbrelError {
public:
    NumberTooLargeError(const std::string& fileName, std::string_view number);
};

// LeadingInt, except that digits beyond int32 throw NumberTooLargeError naming fileName.
int32_t CheckedLeadingInt(std::string_view text, const std::string& fileName);

// Reads numbers from a text stream the way scanf's "%d" and "%lf" do, without scanf's undefined
// behaviour and independent of the locale: white space (line breaks included) is skipped, then the
// longest prefix that forms a number is taken, and whatever follows stays for the next read (so
// "-1.5-2.5" reads as two numbers, as two fixed-width fields that touch are meant to). A read fails,
// consuming nothing further, when no number starts there, at the end of the stream, or when a number
// runs on for more than kMaxNumberLength characters. An integer that does not fit int32, however many
// digits it has, throws NumberTooLargeError naming the file.
class TextNumberScanner {
public:
    static constexpr size_t kMaxNumberLength = 400;

    // The source stays owned by the caller and is read from its current position; fileName names it
    // in messages.
    TextNumberScanner(TextSource& source, std::string fileName);
    // The same over a stdio stream, which stays owned by the caller.
    TextNumberScanner(std::FILE* file, std::string fileName);

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
    std::string fileName_;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool streamEnded_ = false;
};

}  // namespace ombrel
