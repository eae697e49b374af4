#pragma once

// Text pieces shared by the analyses: numbers written the same on every machine, and a reader of
// whitespace-separated tokens that knows the line of each.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/TextSource.h"

namespace ombrel {

// value with decimals digits after a '.', whatever the locale; "NA" for a value that is not finite.
// A value that rounds to zero is written without a minus sign.
std::string FixedDecimal(double value, int decimals);

// Whole-token conversions: false unless all of text is the number (a leading '+' allowed).
bool ParseInt(std::string_view text, int32_t& value);
bool ParseFiniteDouble(std::string_view text, double& value);

// Tokens separated by white space, across lines (LF or CR LF), each with the line it stands on.
class TokenReader {
public:
    // The source stays owned by the caller; path names the file in messages.
    TokenReader(TextSource& source, std::string path);

    // The next whole line (for files with a line structure); false at the end. Tokens of the line
    // being read are dropped.
    bool ReadLine(std::string& line);
    // The next token; false at the end of the text.
    bool Next(std::string& token);
    // The line of the last token or line read (1-based; 0 before the first).
    int64_t Line() const { return line_; }
    const std::string& Path() const { return path_; }

    // Throws OmbrelError "<path>, line <n>: <problem>" at the current line.
    [[noreturn]] void Fail(const std::string& problem) const;
    // ParseInt of a token of this file; an integer beyond int32 throws NumberTooLargeError naming the
    // file instead of passing for text that is no number.
    bool ParseFileInt(std::string_view token, int32_t& value) const;
    // The next token as a number, or Fail with "<what> is missing" or "<what> is not a ... number".
    int32_t NextInt(const std::string& what);
    double NextDouble(const std::string& what);

private:
    TextSource& source_;
    std::string path_;
    std::string current_;
    size_t position_ = 0;
    int64_t line_ = 0;
};

}  // namespace ombrel
