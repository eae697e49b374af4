#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace ombrel {

// White space as the C library's isspace sees it in the "C" locale.
bool IsBlank(char c);

// The text without white space at either end.
std::string Trim(std::string_view text);

// Leading-number conversions of user-written text: leading white space skipped, an optional sign,
// then digits up to the first other character; no digits gives 0. Out-of-range values saturate.
int32_t LeadingInt(std::string_view text);
// The sign and digits that LeadingInt reads when they do not fit int32 (and it saturates); empty when
// they fit or there are none.
std::string_view LeadingIntBeyondRange(std::string_view text);
// The same for a decimal floating-point number (as strtod reads it); nothing readable gives 0.0.
double LeadingDouble(std::string_view text);

// True when text ends with suffix, compared without regard to ASCII case.
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Reads one line from a text stream, without its LF and without a CR right before it.
// Returns false at the end of the file when nothing was read.
bool ReadTextLine(std::FILE* file, std::string& line);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ombrel
