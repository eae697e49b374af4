#include "analysis/AnalysisText.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"

namespace ombrel {

std::string FixedDecimal(double value, int decimals) {
    if (!std::isfinite(value)) return "NA";
    char buffer[400];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return "NA";
    std::string text(buffer, end);
    // "-0.0000" says nothing that "0.0000" does not.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

namespace {

std::string_view WithoutPlus(std::string_view text) {
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    return text;
}

}  // namespace

bool ParseInt(std::string_view text, int32_t& value) {
    text = WithoutPlus(text);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool ParseFiniteDouble(std::string_view text, double& value) {
    text = WithoutPlus(text);
    auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    return error == std::errc() && end == text.data() + text.size() && !text.empty() && std::isfinite(value);
}

TokenReader::TokenReader(TextSource& source, std::string path) : source_(source), path_(std::move(path)) {}

bool TokenReader::ReadLine(std::string& line) {
    if (!source_.ReadLine(line)) {
        if (source_.Failed()) throw OmbrelError(Format("%s could not be read to its end.", path_.c_str()));
        current_.clear();
        position_ = 0;
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++line_;
    current_.clear();
    position_ = 0;
    return true;
}

bool TokenReader::Next(std::string& token) {
    for (;;) {
        while (position_ < current_.size() && IsBlank(current_[position_])) ++position_;
        if (position_ < current_.size()) break;
        std::string line;
        if (!ReadLine(line)) return false;
        current_ = std::move(line);
    }
    const size_t start = position_;
    while (position_ < current_.size() && !IsBlank(current_[position_])) ++position_;
    token.assign(current_, start, position_ - start);
    return true;
}

void TokenReader::Fail(const std::string& problem) const {
    throw OmbrelError(
        Format("%s, line %lld: %s", path_.c_str(), static_cast<long long>(line_), problem.c_str()));
}

bool TokenReader::ParseFileInt(std::string_view token, int32_t& value) const {
    if (ParseInt(token, value)) return true;
    const std::string_view text = WithoutPlus(token);
    int32_t ignored = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), ignored);
    if (error == std::errc::result_out_of_range && end == text.data() + text.size())
        throw NumberTooLargeError(path_, token);
    return false;
}

int32_t TokenReader::NextInt(const std::string& what) {
    std::string token;
    if (!Next(token)) Fail(what + " is missing (the file ends here)");
    int32_t value = 0;
    if (!ParseFileInt(token, value))
        Fail(Format("%s is \"%s\", not a whole number", what.c_str(), token.c_str()));
    return value;
}

double TokenReader::NextDouble(const std::string& what) {
    std::string token;
    if (!Next(token)) Fail(what + " is missing (the file ends here)");
    double value = 0.0;
    if (!ParseFiniteDouble(token, value))
        Fail(Format("%s is \"%s\", not a finite number", what.c_str(), token.c_str()));
    return value;
}

}  // namespace ombrel
